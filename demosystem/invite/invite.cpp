// The production's scene objects and the effect table that playback and the resource loader
// index with a function resource's id.
#include "demosystem/invite/intro.h"

c_intro intro;
c_welcome welcome;
c_compos compos;
c_partyevents partyevents;
c_screen screen;
c_finalscreen finalscreen;

c_demofunction *demofunction[NUM_DEMOFUNCTIONS] = {
    &intro, &welcome, &compos, &partyevents, &screen, &finalscreen,
};

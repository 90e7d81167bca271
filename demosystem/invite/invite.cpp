// The production's scene objects and their effect table.
#include "demosystem/invite/invite.h"

#include "demosystem/invite/intro.h"

c_intro intro;
c_welcome welcome;
c_compos compos;
c_partyevents partyevents;
c_screen screen;
c_finalscreen finalscreen;

namespace {

c_demofunction *const scenes[] = {
    &intro, &welcome, &compos, &partyevents, &screen, &finalscreen,
};

}  // namespace

const s_effecttable invite_effects = {scenes, static_cast<int>(sizeof scenes / sizeof *scenes)};

// Effect scenes: hard-coded parts of the production that the timeline calls through the
// effect table. A function resource's id indexes `demofunction`; its scene gets one `Init`
// after every resource has loaded, then one `Update` per frame while an effect event of the
// function kind covers the current time.
#pragma once
#include "mox/corebitmap.h"

class c_demo;
struct s_effectevent;

class c_demofunction {
public:
    s_bitmap bmp_effect;  // a canvas a scene may use; the base class does not touch it
    int time;   // sample frames since the start of the event showing the scene
    int state;  // markers passed strictly inside the event's span before the current time

    virtual void Init(c_demo *demo) = 0;
    // Draws the scene into the currently selected framebuffer.
    virtual void Update(c_demo *demo, s_effectevent *event) = 0;

protected:
    // The scenes are globals that live for the whole run and are never deleted through
    // the base.
    ~c_demofunction() = default;
};

// Entries of the effect table of this production.
constexpr int NUM_DEMOFUNCTIONS = 6;

// The effect table; null entries are skipped.
extern c_demofunction *demofunction[NUM_DEMOFUNCTIONS];

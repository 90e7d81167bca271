// Effect scenes: hard-coded parts of a production that the timeline calls through the effect
// table that the program hands to its demo object. A function resource's id indexes that
// table; its scene gets one `Init` after every resource has loaded, then one `Update` per
// frame while an effect event of the function kind covers the current time.
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
    // The scenes live as long as the effect table that lists them and are never deleted
    // through the base.
    ~c_demofunction() = default;
};

// The effect table a program hands to its demo object: entry i is the scene of function
// resources with id i; null entries are skipped.
struct s_effecttable {
    c_demofunction *const *entry;
    int count;
};

// The scene of function id `id`, or null when the id lies outside the table or its entry is
// empty.
c_demofunction *EffectScene(const s_effecttable &table, int id);

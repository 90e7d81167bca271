// Effect scenes: hard-coded parts of a production that the timeline calls through the effect
// table that the program hands to its demo object. A function resource's id indexes that
// table; its scene gets one `Init` after every resource has loaded. While an effect event of
// the function kind covers the current time, playback steps the scene on a fixed tick of
// music time and then lets it draw, so that a picture depends only on the music position:
// the same at any frame rate, after a seek and in a still.
#pragma once
#include <cstdint>

#include "mox/corebitmap.h"

class c_demo;
struct s_effectevent;

// Ticks of a scene's own evolution per second of music; at 60 frames per second a scene
// steps once per frame.
constexpr int SCENE_TICKS_PER_SECOND = 60;

// A scene's own pseudo-random sequence, seeded when the scene restarts, so that catching up
// after a seek draws the same numbers as playing through, whatever else draws numbers.
struct s_scenerandom {
    uint64_t state;
};
void SceneSeed(s_scenerandom *r, uint64_t seed);
// Next number of the sequence, 0 .. 2^31 - 1.
int SceneRandom(s_scenerandom *r);

// Where playback has brought a scene: the event (its record and span, so that an edited
// event counts as another) and the ticks stepped in it. Kept by playback only.
struct s_sceneclock {
    const s_effectevent *event;
    int start, length;
    long long ticks;
};

class c_demofunction {
public:
    s_bitmap bmp_effect;  // a canvas a scene may use; the base class does not touch it
    // Set by playback before each Restart, Tick and Update: sample frames since the start of
    // the event showing the scene, and the markers passed strictly inside the event's span
    // before that time. During Restart and Tick the demo's `position` is the tick's own.
    int time;
    int state;
    s_sceneclock clock;

    // Fetches the scene's media once every resource has loaded, then restarts.
    virtual void Init(c_demo *demo) = 0;
    // Puts what ticks evolve back to how an event starts, reseeding the scene's random
    // sequence. A scene without such state keeps the default.
    virtual void Restart(c_demo *) {}
    // One tick of the scene's own evolution, without drawing.
    virtual void Tick(c_demo *) {}
    // Draws the scene as it stands into the currently selected framebuffer, leaving what
    // ticks evolve alone.
    virtual void Update(c_demo *demo, s_effectevent *event) = 0;
    // True when Update may draw with the depth test on: playback then clears the layer's
    // depth buffer before each Update. A scene that draws only with the test off, as every 2D
    // call of the core library leaves it, says false and saves that clear every frame.
    virtual bool TestsDepth() const { return true; }

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

// Ticks a scene evolves in one event at most (ten minutes' worth): later the scene keeps
// drawing the state it reached then, which bounds the work of any jump.
constexpr long long SCENE_MAX_TICKS = 10 * 60 * SCENE_TICKS_PER_SECOND;

// Ticks a scene has stepped `time` sample frames into its event at `rate` frames per second:
// the first at the event's start, then one every 1/60 s, at most SCENE_MAX_TICKS. None
// before the start.
long long SceneTicksAt(long long time, int rate);

// Shows `scene` for `event` at the demo's position: steps it to the tick the position has
// reached (on from where it stands when the position moved forward in the same event, else
// from a restart at the event's start), then draws it. Program thread only.
void RunScene(c_demo *demo, c_demofunction *scene, s_effectevent *event);

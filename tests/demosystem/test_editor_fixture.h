// Editor tests: a demo with five layers, a silent music that never advances (the sound system
// is not running, so only the editor moves its offset) and the editor set up on a 1920 x 1080
// GUI over a 1920 x 1080 video, so GUI and window pixels agree. Input goes through the
// driver's message hooks; the mouse mode without a position lets the tests place the cursor
// through mox_mouse_x and mox_mouse_y.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "gl_context.h"
#include "mox/mox.h"
#include "support/demo_owner.h"

namespace editor_test {

constexpr int WIDTH = 1920, HEIGHT = 1080;
// With five layers the timeline block starts at 1080 - (7 x 64 + 32).
constexpr int TIMELINEY = 600;
constexpr int TIMELINEX = 192;
constexpr int SCALE = 512;  // frames per GUI pixel at zoom 8.0
constexpr int MUSICFRAMES = 60 * 44100;

// Top of layer i's row.
constexpr int RowTop(int i) { return HEIGHT - 64 - 64 * i; }
// The playhead moves right from the timeline's left edge until this many pixels of time lie
// before it.
constexpr int LEAD = 160;
// GUI x of time t while the position is p.
constexpr int XOf(int t, int p = 0) {
    return TIMELINEX + (p / SCALE < LEAD ? p / SCALE : LEAD) + (t - p) / SCALE;
}

class Editor : public ::testing::Test {
protected:
    test_support::DemoPtr owner = test_support::NewDemo();
    c_demo &d = *owner;
    s_font font{};  // no glyphs: draws nothing

    void SetUp() override {
        ASSERT_TRUE(gltest_init(WIDTH, HEIGHT)) << "no GL context (display?)";
        for (int vk = 0; vk < 256; vk++) mox_keyevent(vk, 0);
        for (int bit : {1, 2, 4}) mox_mousebuttonevent(bit, 0);
        MOX_SetMouseMode(2);
        Sync();
        d.Init(64, 48, 1);
        for (int i = 0; i < DEMO_MAXLAYERS; i++) d.CreateLayer(16, 16, "layer");
        s_sound &m = d.demomusic;
        m.numchannels = 1;
        m.bits = 16;
        m.samplerate = 44100;
        m.length = MUSICFRAMES;
        m.size = MUSICFRAMES * 2;
        m.buffer = calloc(MUSICFRAMES, 2);
        m.active = 1;
        d.InitGUI(WIDTH, HEIGHT, &font, &font, nullptr);
        d.gui_timeliney = TIMELINEY;
        Cursor(960, 100);
    }

    void TearDown() override {
        for (int vk = 0; vk < 256; vk++) mox_keyevent(vk, 0);
        for (int bit : {1, 2, 4}) mox_mousebuttonevent(bit, 0);
        Sync();
        MOX_SetMouseMode(0);
        d.Release();
    }

    // Forgets the trigger bits, so the next press of any key triggers again.
    static void Sync() {
        int key, trig;
        MOX_GetKeys(&key, &trig);
    }

    void Frame() { d.HandleGUI(); }
    void Frames(int n) {
        for (int i = 0; i < n; i++) d.HandleGUI();
    }

    // Presses key `vk` for one frame with the modifier keys `mods` held.
    void Tap(int vk, std::initializer_list<int> mods = {}) { Hold(vk, 1, mods); }
    void Hold(int vk, int frames, std::initializer_list<int> mods = {}) {
        for (int m : mods) mox_keyevent(m, 1);
        mox_keyevent(vk, 1);
        Frames(frames);
        mox_keyevent(vk, 0);
        for (int m : mods) mox_keyevent(m, 0);
        Sync();
    }

    void Cursor(int x, int y) {
        mox_mouse_x = x;
        mox_mouse_y = y;
    }
    // A click: the button goes down for a frame and up in the next.
    void Click(int x, int y, int bit = 1) {
        Cursor(x, y);
        mox_mousebuttonevent(bit, 1);
        Frame();
        mox_mousebuttonevent(bit, 0);
        Frame();
    }

    int Offset() const { return (int)Soundsystem_GetSoundOffset(d.demomusic); }
    void Seek(int t) {
        Soundsystem_SetSoundOffset(&d.demomusic, (uint64_t)t);
        d.position = t;
    }

    // A resource descriptor at index i with no loaded data.
    void Resource(int i, int type, const char *name, int numparams = 0) {
        s_demoresource &r = d.resource[i];
        r.id = i;
        r.type = type;
        snprintf(r.name, sizeof r.name, "%s", name);
        r.numparams = numparams;
        if (d.numresources <= i) d.numresources = i + 1;
    }

    // Selects entry n of an edit kind on layer l as a click would.
    void Select(int l, int kind, int n) {
        d.ClearSelection();
        d.gui_selected_layer = l;
        d.gui_selected_eventtype = kind;
        d.gui_selected_event = n;
    }
};

}  // namespace editor_test

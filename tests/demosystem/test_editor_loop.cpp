// Loop region in the editor: its ends set by keys at the play position or the mouse cursor,
// looping on and off, and the jump back at its end, after which a scene restarts and catches
// up to the loop's start exactly as a fresh seek there does.
#include "demosystem/demosystem_loop.h"
#include "demosystem/test_editor_fixture.h"
#include "log_capture.h"

namespace {

using namespace editor_test;

// A scene that counts its restarts and ticks.
class CountingScene : public c_demofunction {
public:
    void Init(c_demo *) override {}
    void Restart(c_demo *) override {
        restarts++;
        ticks = 0;
    }
    void Tick(c_demo *) override { ticks++; }
    void Update(c_demo *, s_effectevent *) override {}
    int restarts = 0;
    long long ticks = 0;
};

class Loop : public Editor {};

TEST_F(Loop, KeysSetTheEndsAndPlaybackJumpsBackAtTheEnd) {
    LogCapture log;
    Tap('L');
    EXPECT_TRUE(log.Has("edit.loop_unset"));
    EXPECT_FALSE(d.gui_looping);

    Seek(88200);
    Tap('I');
    Seek(44100);
    Tap('O');
    // Set in the other order, the ends still make the region.
    EXPECT_EQ(d.gui_loopstart, 44100);
    EXPECT_EQ(d.gui_loopend, 88200);
    // Ctrl: the end at the mouse cursor's time.
    Cursor(XOf(100000, 44100), TIMELINEY + 40);
    Tap('O', {MOX_VK_CONTROL});
    EXPECT_NEAR(d.gui_loopend, 100000, SCALE);
    Tap('L');
    ASSERT_TRUE(d.gui_looping);

    // Playing on past the end: back to the start. Paused, or before the end: no jump.
    d.gui_paused = false;
    Seek(d.gui_loopend - 10);
    FollowLoop(d);
    EXPECT_EQ(Offset(), d.gui_loopend - 10);
    Seek(d.gui_loopend + 300);
    FollowLoop(d);
    EXPECT_EQ(Offset(), 44100);
    EXPECT_EQ(d.position, 44100);
    d.gui_paused = true;
    Seek(d.gui_loopend + 300);
    FollowLoop(d);
    EXPECT_EQ(Offset(), d.gui_loopend + 300);

    // Off: plays through.
    d.gui_paused = false;
    Tap('L');
    EXPECT_FALSE(d.gui_looping);
    FollowLoop(d);
    EXPECT_EQ(Offset(), d.gui_loopend + 300);

    // Snapping on: the ends land on the grid (whole beats at 125 bpm).
    d.gui_snap = 1;
    Seek(30000);
    Tap('I');
    EXPECT_EQ(d.gui_loopstart, 21168);
}

TEST_F(Loop, SceneRestartsAndCatchesUpAtTheLoopStart) {
    static CountingScene scene;
    static c_demofunction *const table[] = {&scene};
    d.effects = {table, 1};
    Resource(0, RESOURCE_FUNCTION, "count");
    d.resource[0].loadOK = 1;
    d.CreateEventA(&d.layer[0], 11025, 400000, EFFECT_FUNCTION, 0, 0, nullptr);
    d.gui_loopstart = 44100;
    d.gui_loopend = 88200;
    d.gui_looping = true;
    d.gui_paused = false;

    Seek(80000);
    d.HandleDemo();
    EXPECT_EQ(scene.ticks, SceneTicksAt(80000 - 11025, 44100));
    const int restarts = scene.restarts;
    Seek(88250);
    d.UpdateGUI();  // the loop's end reached: back to its start
    d.HandleDemo();
    EXPECT_EQ(d.position, 44100);
    EXPECT_EQ(scene.restarts, restarts + 1);
    EXPECT_EQ(scene.ticks, SceneTicksAt(44100 - 11025, 44100));
    d.effects = {};
}

}  // namespace

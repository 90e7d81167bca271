// Parameter editing of a selected effect event or transform key through the keys: time and
// length moves and marker snaps, event values, curve types and the nine transform floats, and
// values at the ends of their ranges.
#include <climits>

#include "demosystem/test_editor_fixture.h"

namespace {

using namespace editor_test;

constexpr int D = 4096;  // a held step at zoom 8.0: 8 x 512 frames

class Params : public Editor {
protected:
    s_demolayer &l = d.layer[0];

    // An effect event on layer 0 with the given values, selected on parameter line `line`.
    s_effectevent &Event(int t, int length, int line, std::initializer_list<float> values = {}) {
        const std::vector<float> v(values);
        Resource(0, RESOURCE_SHADER, "sh", (int)v.size());
        d.CreateEventA(&l, t, length, EFFECT_SHADER, 0, (int)v.size(), v.data());
        Select(0, EDIT_EFFECT, l.numevents - 1);
        d.gui_selected_parameter = line;
        return l.event[l.numevents - 1];
    }

    s_transformevent &Key(int t, int parent, int line) {
        d.CreateEventTransform(&l, t, 0, parent, 0, 0, 0, 0, 0, 0, 1, 1, 1);
        Select(0, EDIT_TRANSFORM, l.numevents_transform - 1);
        d.gui_selected_parameter = line;
        return l.event_transform[l.numevents_transform - 1];
    }
};

TEST_F(Params, TimeMovesWithoutBoundsAndSnapsToMarkers) {
    s_effectevent &e = Event(10000, 50000, 0);
    Hold(MOX_VK_RIGHT, 2);
    EXPECT_EQ(e.t, 10000 + 2 * D);
    Hold(MOX_VK_LEFT, 5);
    EXPECT_EQ(e.t, 10000 - 3 * D);
    // The step follows the zoom: 8 GUI pixels.
    d.gui_zoom = 2.0f;
    Hold(MOX_VK_RIGHT, 1);
    EXPECT_EQ(e.t, 10000 - 3 * D + 1024);

    d.CreateMarker(5000, 0);
    d.CreateMarker(70000, 0);
    e.t = 10000;
    Tap(MOX_VK_LEFT, {MOX_VK_CONTROL});
    EXPECT_EQ(e.t, 5000);
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_EQ(e.t, 70000);
    // No marker after it: the event goes to time 0.
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_EQ(e.t, 0);
    // Both in one frame: back to the marker before, then on to the one after.
    e.t = 60000;
    mox_keyevent(MOX_VK_CONTROL, 1);
    mox_keyevent(MOX_VK_LEFT, 1);
    mox_keyevent(MOX_VK_RIGHT, 1);
    Frame();
    mox_keyevent(MOX_VK_CONTROL, 0);
    mox_keyevent(MOX_VK_LEFT, 0);
    mox_keyevent(MOX_VK_RIGHT, 0);
    Sync();
    EXPECT_EQ(e.t, 70000);
}

TEST_F(Params, LengthMovesDownToZeroAndSnapsItsEnd) {
    s_effectevent &e = Event(10000, 3 * D, 1);
    Hold(MOX_VK_RIGHT, 1);
    EXPECT_EQ(e.length, 4 * D);
    Hold(MOX_VK_LEFT, 10);
    EXPECT_EQ(e.length, 0);
    EXPECT_EQ(e.t, 10000);

    // Ctrl+Right: the end goes to the first marker after it.
    d.CreateMarker(12000, 0);
    d.CreateMarker(30000, 0);
    d.CreateMarker(90000, 0);
    e.length = 5000;
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_EQ(e.length, 20000);
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_EQ(e.length, 80000);
    // With no marker after the end the length stays.
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_EQ(e.length, 80000);

    // Ctrl+Left: the end goes to the last marker before it, keeping 8192 frames.
    Tap(MOX_VK_LEFT, {MOX_VK_CONTROL});
    EXPECT_EQ(e.length, 20000);
    Tap(MOX_VK_LEFT, {MOX_VK_CONTROL});
    EXPECT_EQ(e.length, 8192);  // the marker at 12000 lies closer than that to the start
    Tap(MOX_VK_LEFT, {MOX_VK_CONTROL});
    EXPECT_EQ(e.length, 8192);
}

TEST_F(Params, ValuesStepByOnePerPressAndNotBelowZero) {
    s_effectevent &e = Event(0, 1000, 2, {0.5f, 3.0f});
    Tap(MOX_VK_LEFT);
    EXPECT_FLOAT_EQ(e.value[0], -0.5f);
    Tap(MOX_VK_LEFT);
    EXPECT_FLOAT_EQ(e.value[0], -0.5f);
    Hold(MOX_VK_RIGHT, 10);  // once per press, however long it is held
    EXPECT_FLOAT_EQ(e.value[0], 0.5f);
    for (int i = 0; i < 50; i++) Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_FLOAT_EQ(e.value[0], 50.5f);
    EXPECT_FLOAT_EQ(e.value[1], 3.0f);

    // Values past the event's count stay 0, as the block promises.
    d.gui_selected_parameter = 4;
    Tap(MOX_VK_RIGHT);
    EXPECT_EQ(e.value[2], 0.0f);
    d.gui_selected_parameter = 40;
    Tap(MOX_VK_RIGHT);
    EXPECT_EQ(e.numvalues, 2);
}

TEST_F(Params, CurveTypeCyclesThroughTheFirstFour) {
    s_transformevent &k = Key(100, 0, 1);
    int seen[4];
    for (int &s : seen) {
        Tap(MOX_VK_RIGHT);
        s = k.curvetype;
    }
    EXPECT_EQ(seen[0], 1);
    EXPECT_EQ(seen[1], 2);
    EXPECT_EQ(seen[2], 3);
    EXPECT_EQ(seen[3], 0);
    Tap(MOX_VK_LEFT);
    EXPECT_EQ(k.curvetype, 3);
    // A curve type from the file beyond the four lands among them.
    k.curvetype = CURVE_RANDOM;
    Tap(MOX_VK_RIGHT);
    EXPECT_EQ(k.curvetype, 1);
    k.curvetype = INT_MIN;
    Tap(MOX_VK_LEFT);
    EXPECT_EQ(k.curvetype, 3);
}

TEST_F(Params, TransformFloatsStepByLineKind) {
    s_transformevent &k = Key(100, 0, 5);  // Rotate X
    Hold(MOX_VK_RIGHT, 3);
    EXPECT_FLOAT_EQ(k.rotx, 3.0f);
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_FLOAT_EQ(k.rotx, 93.0f);
    Hold(MOX_VK_LEFT, 2, {MOX_VK_CONTROL});  // Ctrl acts once per press
    EXPECT_FLOAT_EQ(k.rotx, 3.0f);

    d.gui_selected_parameter = 8;  // Scale X
    Hold(MOX_VK_RIGHT, 5);
    EXPECT_NEAR(k.scalex, 1.05f, 1e-5f);
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_NEAR(k.scalex, 2.05f, 1e-5f);

    d.gui_selected_parameter = 4;  // Transform Z
    Tap(MOX_VK_LEFT, {MOX_VK_CONTROL});
    Hold(MOX_VK_LEFT, 1);
    EXPECT_NEAR(k.z, -1.01f, 1e-5f);

    // Every line edits its own float and no other.
    const float before[9] = {k.x, k.y, k.z, k.rotx, k.roty, k.rotz, k.scalex, k.scaley, k.scalez};
    for (int line = 2; line <= 10; line++) {
        d.gui_selected_parameter = line;
        Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    }
    const float after[9] = {k.x, k.y, k.z, k.rotx, k.roty, k.rotz, k.scalex, k.scaley, k.scalez};
    for (int i = 0; i < 9; i++) {
        EXPECT_FLOAT_EQ(after[i] - before[i], i >= 3 && i <= 5 ? 90.0f : 1.0f) << "float " << i;
    }
}

TEST_F(Params, TransformKeyTimeMovesAndIsHeldInsideItsParent) {
    d.CreateEventA(&l, 0, 20000, EFFECT_IMAGE, 0, 0, nullptr);
    d.CreateEventA(&l, 20000, 10000, EFFECT_IMAGE, 0, 0, nullptr);
    s_transformevent &k = Key(21000, 1, 0);
    Hold(MOX_VK_RIGHT, 2);
    EXPECT_EQ(k.t, 21000 + 2 * D);
    // Past its parent's end it stops there, in the frame of the move.
    Hold(MOX_VK_RIGHT, 1);
    EXPECT_EQ(k.t, 30000);
    d.CreateMarker(5000, 0);
    Tap(MOX_VK_LEFT, {MOX_VK_CONTROL});
    EXPECT_EQ(k.t, 20000);
}

TEST_F(Params, TransformKeyWithAParentOutsideTheEventsIsStillEdited) {
    d.CreateEventA(&l, 0, 20000, EFFECT_IMAGE, 0, 0, nullptr);
    for (int parent : {-3, 1, 64, 100000}) {
        s_transformevent &k = Key(500, parent, 0);
        Hold(MOX_VK_RIGHT, 1);
        EXPECT_EQ(k.t, 500 + D) << parent;
        d.UpdateGUI();
        EXPECT_EQ(k.t, 500 + D) << parent;
        EXPECT_EQ(k.parent, parent);
        d.ClearTimeline();
        d.CreateEventA(&l, 0, 20000, EFFECT_IMAGE, 0, 0, nullptr);
    }
    EXPECT_EQ(l.event[0].t, 0);
    EXPECT_EQ(l.event[0].length, 20000);
}

TEST_F(Params, TimesAtTheEndsOfTheirRangeHoldThere) {
    s_effectevent &e = Event(INT_MAX - 100, INT_MAX, 0);
    Hold(MOX_VK_RIGHT, 2);
    EXPECT_EQ(e.t, INT_MAX);
    d.gui_selected_parameter = 1;
    Hold(MOX_VK_RIGHT, 2);
    EXPECT_EQ(e.length, INT_MAX);
    d.CreateMarker(10, 0);
    Tap(MOX_VK_LEFT, {MOX_VK_CONTROL});
    EXPECT_EQ(e.length, 8192);  // the marker lies before the start
    d.gui_zoom = 3e7f;          // scrubbing steps beyond the range of a time
    d.ClearSelection();
    Seek(1000);
    Hold(MOX_VK_RIGHT, 1);
    EXPECT_EQ(Offset(), MUSICFRAMES - 1);
    Hold(MOX_VK_LEFT, 1);
    EXPECT_EQ(Offset(), 0);
}

}  // namespace

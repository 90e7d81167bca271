// Editor state and input under GL: set-up, showing and hiding, the mouse's hit tests, the
// key commands of each selection, navigation and zoom, markers, adding and deleting entries,
// clearing and saving, and commands that find no target or a full table.
#include <SDL2/SDL.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/corefile.h"
#include "demosystem/test_editor_fixture.h"
#include "support/media.h"
#include "support/scratch.h"
#include "log_capture.h"

namespace {

using namespace editor_test;

TEST_F(Editor, InitSetsTheStateCreatesItsTargetsAndTitlesTheWindow) {
    EXPECT_EQ(d.gui_width, WIDTH);
    EXPECT_EQ(d.gui_height, HEIGHT);
    EXPECT_EQ(d.gui_layerheight, 64);
    EXPECT_EQ(d.gui_waveformheight, 128);
    EXPECT_EQ(d.gui_timelinex, 192);
    EXPECT_EQ(d.gui_detailsx, 1540);
    EXPECT_EQ(d.gui_detailsy, 48);
    EXPECT_EQ(d.gui_resourcex, 4);
    EXPECT_EQ(d.gui_resourcey, 48);
    EXPECT_EQ(d.gui_selected_resource, -1);
    EXPECT_EQ(d.gui_selected_marker, -1);
    EXPECT_EQ(d.gui_selected_layer, -1);
    EXPECT_EQ(d.gui_selected_event, -1);
    EXPECT_EQ(d.gui_selected_eventtype, 0);
    EXPECT_FLOAT_EQ(d.gui_zoom, 8.0f);
    EXPECT_FALSE(d.gui_paused);
    EXPECT_TRUE(d.gui_visible);
    EXPECT_EQ(d.guifont1, &font);
    EXPECT_EQ(d.spr_guicursor, nullptr);
    EXPECT_EQ(d.bmp_waveform.width, WIDTH);
    EXPECT_EQ(d.bmp_waveform.height, 128);
    ASSERT_GE(d.gui_framebuffer_id, 0);
    EXPECT_EQ(MOX_framebuffers[d.gui_framebuffer_id].width, WIDTH);
    EXPECT_EQ(MOX_framebuffers[d.gui_framebuffer_id].flags, MOX_FRAMEBUFFER_LINEAR);
    EXPECT_STREQ(SDL_GetWindowTitle(SDL_GL_GetCurrentWindow()), "FENTRO v0.2b");

    // A fresh timeline block before the first drawing: just the marker strip at the bottom.
    auto other = test_support::NewDemo();
    other->InitGUI(800, 600, &font, &font, nullptr);
    EXPECT_EQ(other->gui_timeliney, 568);
}

TEST_F(Editor, SpacePausesAndResumesAndDropsSelectionAndPick) {
    d.gui_selected_resource = 0;
    Select(0, 0, -1);
    Tap(MOX_VK_SPACE);
    EXPECT_TRUE(d.gui_paused);
    EXPECT_EQ(d.demomusic.active, 0);
    EXPECT_EQ(d.gui_selected_layer, -1);
    EXPECT_EQ(d.gui_selected_resource, -1);
    Tap(MOX_VK_SPACE);
    EXPECT_FALSE(d.gui_paused);
    EXPECT_EQ(d.demomusic.active, 1);

    // Enter (or 1) only pauses.
    Tap('1');
    EXPECT_TRUE(d.gui_paused);
    EXPECT_EQ(d.demomusic.active, 0);
    Tap(MOX_VK_RETURN);
    EXPECT_TRUE(d.gui_paused);
}

TEST_F(Editor, TabHidesAndOnlyTabShowsAgain) {
    Tap(MOX_VK_TAB);
    EXPECT_FALSE(d.gui_visible);
    // Hidden: the demo's frame is drawn and no other key acts.
    mox_keyevent(MOX_VK_SPACE, 1);
    mox_keyevent(MOX_VK_UP, 1);
    d.UpdateGUI();
    mox_keyevent(MOX_VK_SPACE, 0);
    mox_keyevent(MOX_VK_UP, 0);
    Sync();
    EXPECT_FALSE(d.gui_paused);
    EXPECT_FLOAT_EQ(d.gui_zoom, 8.0f);
    EXPECT_FALSE(d.gui_visible);
    mox_keyevent(MOX_VK_TAB, 1);
    d.UpdateGUI();
    mox_keyevent(MOX_VK_TAB, 0);
    Sync();
    EXPECT_TRUE(d.gui_visible);
}

TEST_F(Editor, HiddenOverlayShowsTheDemoFrameInTheCurrentTarget) {
    d.gui_visible = false;
    MOX_SetFrameBuffer(d.framebuffer_id);
    MOX_ClearFrameBuffer(0xff0000ff);
    MOX_SetFrameBuffer(d.gui_framebuffer_id);
    MOX_ClearFrameBuffer(0xff00ff00);
    d.UpdateGUI();
    EXPECT_EQ(gltest_pixel(500, 500), 0xff0000ffu);
    // Over its own framebuffer the frame is there already and stays.
    MOX_SetFrameBuffer(d.framebuffer_id);
    d.UpdateGUI();
    EXPECT_EQ(gltest_pixel(10, 10), 0xff0000ffu);
}

TEST_F(Editor, VisibleOverlayDrawsIntoItsOwnFramebufferAndThenTakesInput) {
    Cursor(100, 10);  // over nothing
    mox_keyevent(MOX_VK_SPACE, 1);
    d.UpdateGUI();
    mox_keyevent(MOX_VK_SPACE, 0);
    Sync();
    ASSERT_NE(MOX_FrameBuffer, nullptr);
    EXPECT_EQ(MOX_FrameBuffer->id, d.gui_framebuffer_id);
    EXPECT_EQ(d.gui_timeliney, TIMELINEY);
    EXPECT_TRUE(d.gui_paused);
}

TEST_F(Editor, CursorFollowsTheMouseScaledToTheGuiSize) {
    d.gui_width = 960;
    d.gui_height = 540;
    Cursor(1919, 1001);
    Frame();
    EXPECT_EQ(d.gui_cursorx, 959);
    EXPECT_EQ(d.gui_cursory, 500);
}

TEST_F(Editor, LabelClickSelectsTheLayerAndTogglesIt) {
    Click(50, RowTop(2) + 30);
    EXPECT_EQ(d.gui_selected_layer, 2);
    EXPECT_EQ(d.gui_selected_eventtype, 0);
    EXPECT_FALSE(d.layer[2].visible);
    Click(50, RowTop(2) + 30);
    EXPECT_TRUE(d.layer[2].visible);
    // Layer 0 is the bottom row; a row's top line belongs to no layer.
    Click(50, RowTop(0) + 1);
    EXPECT_EQ(d.gui_selected_layer, 0);
    Click(50, RowTop(1));
    EXPECT_EQ(d.gui_selected_layer, -1);
    EXPECT_TRUE(d.layer[1].visible);
}

TEST_F(Editor, HitTestPrefersCameraThenTransformThenValueThenEffect) {
    s_demolayer &l = d.layer[1];
    d.CreateEventA(&l, 0, 100 * SCALE, EFFECT_IMAGE, 0, 0, nullptr);
    d.CreateEventValue(&l, 40 * SCALE, 1, 0, 0.5f);
    d.CreateEventTransform(&l, 40 * SCALE, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    d.CreateEventCamera(&l, 60 * SCALE, 60, 0, 0, 0, 0, 0, 0);
    int type = -1;
    // The camera key's box runs 16 pixels right of its time.
    EXPECT_EQ(d.GetSelectedEvent(&l, &type, 60 * SCALE, 30), 0);
    EXPECT_EQ(type, EDIT_CAMERA);
    EXPECT_EQ(d.GetSelectedEvent(&l, &type, 76 * SCALE - 1, 5), 0);
    EXPECT_EQ(type, EDIT_CAMERA);
    // The transform key only in its square in the middle of the row.
    EXPECT_EQ(d.GetSelectedEvent(&l, &type, 41 * SCALE, 25), 0);
    EXPECT_EQ(type, EDIT_TRANSFORM);
    EXPECT_EQ(d.GetSelectedEvent(&l, &type, 41 * SCALE, 24), 0);
    EXPECT_EQ(type, EDIT_VALUE);
    // The value key 16 pixels either side of its time.
    EXPECT_EQ(d.GetSelectedEvent(&l, &type, 24 * SCALE, 50), 0);
    EXPECT_EQ(type, EDIT_VALUE);
    EXPECT_EQ(d.GetSelectedEvent(&l, &type, 24 * SCALE - 1, 50), 0);
    EXPECT_EQ(type, EDIT_EFFECT);
    // The effect event up to its end, exclusive.
    EXPECT_EQ(d.GetSelectedEvent(&l, &type, 100 * SCALE - 1, 50), 0);
    EXPECT_EQ(type, EDIT_EFFECT);
    EXPECT_EQ(d.GetSelectedEvent(&l, &type, 100 * SCALE, 50), -1);
    EXPECT_EQ(type, 0);

    // Through the mouse, at position 0 where x 192 is time 0.
    Click(XOf(41 * SCALE), RowTop(1) + 30);
    EXPECT_EQ(d.gui_selected_layer, 1);
    EXPECT_EQ(d.gui_selected_eventtype, EDIT_TRANSFORM);
    EXPECT_EQ(d.gui_selected_event, 0);
    Click(XOf(90 * SCALE), RowTop(1) + 30);
    EXPECT_EQ(d.gui_selected_eventtype, EDIT_EFFECT);
    Click(XOf(200 * SCALE), RowTop(1) + 30);
    EXPECT_EQ(d.gui_selected_layer, 1);
    EXPECT_EQ(d.gui_selected_eventtype, 0);
    EXPECT_EQ(d.gui_selected_event, -1);
}

TEST_F(Editor, MarkerClickNeedsThePixelRightOfItsTime) {
    d.CreateMarker(10 * SCALE, 0);
    Click(XOf(10 * SCALE), TIMELINEY + 10);
    EXPECT_EQ(d.gui_selected_marker, -1);
    EXPECT_EQ(d.gui_selected_markerarea, 1);
    Click(XOf(10 * SCALE) + 1, TIMELINEY + 10);
    EXPECT_EQ(d.gui_selected_marker, 0);
    Click(XOf(10 * SCALE) + 24, TIMELINEY + 10);
    EXPECT_EQ(d.gui_selected_marker, -1);

    // Away from every marker the strip is still selected, and Tab adds a type-0 marker at the
    // current position.
    Seek(5 * SCALE);
    d.marker[0].type = 2;
    Click(1500, TIMELINEY + 31);
    EXPECT_EQ(d.gui_selected_markerarea, 1);
    {
        LogCapture log;
        Tap(MOX_VK_TAB);
        EXPECT_TRUE(log.Has("edit.special_key"));
    }
    ASSERT_EQ(d.nummarkers, 2);
    EXPECT_EQ(d.marker[0].t, 5 * SCALE);
    EXPECT_EQ(d.marker[0].type, 0);
    EXPECT_TRUE(d.gui_visible);
}

TEST_F(Editor, RightClickClearsSelectionAndPick) {
    Resource(0, RESOURCE_TEXTURE, "a");
    Click(50, RowTop(0) + 30);
    d.gui_selected_resource = 0;
    Click(1000, 300, 2);
    EXPECT_EQ(d.gui_selected_layer, -1);
    EXPECT_EQ(d.gui_selected_resource, -1);
}

TEST_F(Editor, PickedResourceIsPlacedBehindTheCursorOnce) {
    for (int i = 0; i < 3; i++) Resource(i, RESOURCE_TEXTURE, "tex");
    Resource(3, RESOURCE_SHADER, "shade", 6);
    // Rows of 32 pixels from y 112; a row below the last resource picks nothing.
    Click(100, 112 + 2 * 32 + 5);
    EXPECT_EQ(d.gui_selected_resource, 2);
    Click(100, 112 + 4 * 32 + 5);
    EXPECT_EQ(d.gui_selected_resource, 2);
    Click(100, 112 + 3 * 32);
    ASSERT_EQ(d.gui_selected_resource, 3);

    Seek(1000 * SCALE);
    const int x = 700;
    // The playhead stands where the position is drawn; the cursor time counts from there.
    const int cursortime = 1000 * SCALE + (x - XOf(1000 * SCALE, 1000 * SCALE)) * SCALE;
    testing::internal::CaptureStdout();
    Click(x, RowTop(3) + 20);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(d.layer[3].numevents, 1);
    const s_effectevent &e = d.layer[3].event[0];
    EXPECT_EQ(e.t, cursortime - 128 * SCALE);
    EXPECT_EQ(e.id, 3);
    EXPECT_EQ(e.type, EFFECT_SHADER);
    EXPECT_EQ(e.numvalues, 6);
    EXPECT_EQ(d.gui_selected_resource, -1);
    EXPECT_EQ(d.gui_selected_layer, 3);
    // The next click selects instead of placing again; the event ends at the cursor time.
    Click(x - 1, RowTop(3) + 20);
    EXPECT_EQ(d.layer[3].numevents, 1);
    EXPECT_EQ(d.gui_selected_eventtype, EDIT_EFFECT);
}

TEST_F(Editor, FullLayerKeepsThePickAndPlacesNothing) {
    Resource(0, RESOURCE_TEXTURE, "tex");
    for (int i = 0; i < DEMO_MAXEVENTS; i++) {
        d.CreateEventA(&d.layer[0], 100000000 + i, 1, EFFECT_IMAGE, 0, 0, nullptr);
    }
    d.gui_selected_resource = 0;
    Click(700, RowTop(0) + 20);
    EXPECT_EQ(d.layer[0].numevents, DEMO_MAXEVENTS);
    EXPECT_EQ(d.gui_selected_resource, 0);
}

TEST_F(Editor, TabAndAltAddKeysAtTheCursorTimeAndSelectThem) {
    Click(50, RowTop(2) + 30);  // the label column: selects the layer
    Click(50, RowTop(2) + 30);  // and shows it again
    Cursor(TIMELINEX + 10, 100);
    Seek(2000);
    Tap(MOX_VK_TAB);
    s_demolayer &l = d.layer[2];
    ASSERT_EQ(l.numevents_value, 1);
    EXPECT_EQ(l.event_value[0].t, 2000 + (TIMELINEX + 10 - XOf(2000, 2000)) * SCALE);
    EXPECT_EQ(l.event_value[0].type, VALUE_BLEND);
    EXPECT_EQ(l.event_value[0].curvetype, CURVE_LINEAR);
    EXPECT_FLOAT_EQ(l.event_value[0].value, 0.5f);
    EXPECT_EQ(d.gui_selected_eventtype, EDIT_VALUE);
    EXPECT_EQ(d.gui_selected_event, 0);

    Tap(MOX_VK_TAB, {MOX_VK_CONTROL});
    ASSERT_EQ(l.numevents_transform, 1);
    const s_transformevent &k = l.event_transform[0];
    EXPECT_EQ(k.curvetype, CURVE_SMOOTH);
    EXPECT_EQ(k.x, 0.0f);
    EXPECT_EQ(k.rotz, 0.0f);
    EXPECT_EQ(k.scalex, 1.0f);
    EXPECT_EQ(k.scalez, 1.0f);
    EXPECT_EQ(d.gui_selected_eventtype, EDIT_TRANSFORM);

    Tap('C');
    Tap(MOX_VK_MENU);
    EXPECT_EQ(l.numevents_transform, 3);
    EXPECT_EQ(l.numevents_value, 1);
    EXPECT_TRUE(d.gui_visible);
}

TEST_F(Editor, AltWithoutALayerChangesNothing) {
    Tap('C');
    Tap(MOX_VK_MENU);
    for (int i = 0; i < DEMO_MAXLAYERS; i++) EXPECT_EQ(d.layer[i].numevents_transform, 0);
    EXPECT_TRUE(d.gui_visible);
}

TEST_F(Editor, FullTablesTakeNoNewEntries) {
    s_demolayer &l = d.layer[0];
    for (int i = 0; i < DEMO_MAXKEYS; i++) {
        d.CreateEventValue(&l, i, 1, 0, 0.0f);
        d.CreateEventTransform(&l, i, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    }
    for (int i = 0; i < DEMO_MAXMARKERS; i++) d.CreateMarker(i, 0);
    Select(0, 0, -1);
    Tap(MOX_VK_TAB);
    Tap(MOX_VK_TAB, {MOX_VK_CONTROL});
    Tap('C');
    EXPECT_EQ(l.numevents_value, DEMO_MAXKEYS);
    EXPECT_EQ(l.numevents_transform, DEMO_MAXKEYS);
    EXPECT_EQ(d.gui_selected_eventtype, 0);
    EXPECT_TRUE(d.gui_visible);

    d.ClearSelection();
    d.gui_selected_markerarea = 1;
    Tap(MOX_VK_TAB);
    EXPECT_EQ(d.nummarkers, DEMO_MAXMARKERS);
    EXPECT_TRUE(d.gui_visible);
}

TEST_F(Editor, DeleteRemovesTheSelectedEntryOrWithShiftAllOfItsKind) {
    s_demolayer &l = d.layer[1];
    for (int i = 0; i < 4; i++) d.CreateEventValue(&l, i * 100, 1, 0, 0.1f * i);
    d.CreateEventTransform(&l, 50, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    d.CreateEventCamera(&l, 60, 60, 0, 0, 0, 0, 0, 0);
    d.CreateEventA(&l, 0, 1000, EFFECT_IMAGE, 0, 0, nullptr);

    Select(1, EDIT_VALUE, 1);
    Tap(MOX_VK_DELETE);
    ASSERT_EQ(l.numevents_value, 3);
    EXPECT_EQ(l.event_value[1].t, 200);
    EXPECT_EQ(d.gui_selected_eventtype, 0);
    EXPECT_EQ(d.gui_selected_layer, -1);

    Select(1, EDIT_VALUE, 2);
    Tap(MOX_VK_BACK, {MOX_VK_SHIFT});
    EXPECT_EQ(l.numevents_value, 0);
    EXPECT_EQ(l.numevents_transform, 1);
    EXPECT_EQ(l.numevents_camera, 1);
    EXPECT_EQ(l.numevents, 1);

    Select(1, EDIT_CAMERA, 0);
    Tap(MOX_VK_DELETE, {MOX_VK_CONTROL});
    EXPECT_EQ(l.numevents_camera, 0);
    EXPECT_EQ(l.numevents_transform, 1);
    // An effect event's transform keys go with it.
    Select(1, EDIT_EFFECT, 0);
    Tap('2');
    EXPECT_EQ(l.numevents, 0);
    EXPECT_EQ(l.numevents_transform, 0);
}

TEST_F(Editor, ClearCommandsEmptyTheirTablesAndTheSelection) {
    auto fill = [&] {
        d.CreateMarker(10, 0);
        d.CreateEventValue(&d.layer[0], 5, 1, 0, 1.0f);
        d.CreateEventCamera(&d.layer[4], 5, 60, 0, 0, 0, 0, 0, 0);
    };
    fill();
    Select(0, EDIT_VALUE, 0);
    Tap('X', {MOX_VK_SHIFT});
    EXPECT_EQ(d.nummarkers, 0);
    EXPECT_EQ(d.layer[0].numevents_value, 1);
    EXPECT_EQ(d.gui_selected_eventtype, 0);

    fill();
    Tap('X', {'C'});
    EXPECT_EQ(d.nummarkers, 1);
    EXPECT_EQ(d.layer[0].numevents_value, 0);
    EXPECT_EQ(d.layer[4].numevents_camera, 0);

    // (Ctrl+X is the clipboard's cut.)
    fill();
    d.gui_selected_markerarea = 1;
    d.gui_selected_marker = 0;
    Tap('X');
    EXPECT_EQ(d.nummarkers, 0);
    EXPECT_EQ(d.layer[0].numevents_value, 0);
    EXPECT_EQ(d.gui_selected_marker, -1);
    EXPECT_EQ(d.numlayers, DEMO_MAXLAYERS);
}

TEST_F(Editor, SelectionPastTheEndOfItsTableActsOnNothing) {
    s_demolayer &l = d.layer[0];
    d.CreateEventValue(&l, 1000, 1, 0, 0.5f);
    d.CreateEventValue(&l, 2000, 1, 0, 0.5f);
    d.CreateMarker(3000, 0);
    // A selection left behind by tables emptied elsewhere (a key table, the markers).
    Select(0, EDIT_VALUE, 2);
    Hold(MOX_VK_LEFT, 3);
    Hold(MOX_VK_UP, 3);
    Tap(MOX_VK_RIGHT, {MOX_VK_SHIFT});
    EXPECT_EQ(l.event_value[1].t, 2000);
    EXPECT_FLOAT_EQ(l.event_value[1].value, 0.5f);
    EXPECT_EQ(l.event_value[2].t, 0);
    EXPECT_EQ(Offset(), 0);
    EXPECT_FLOAT_EQ(d.gui_zoom, 8.0f);

    Select(7, EDIT_VALUE, 0);  // not a layer
    Hold(MOX_VK_RIGHT, 2);
    Tap(MOX_VK_DELETE);
    EXPECT_EQ(l.numevents_value, 2);
    EXPECT_EQ(l.event_value[0].t, 1000);

    d.ClearSelection();
    d.gui_selected_markerarea = 1;
    d.gui_selected_marker = 4;
    Hold(MOX_VK_LEFT, 2);
    Tap(MOX_VK_UP, {MOX_VK_SHIFT});
    Tap(MOX_VK_DELETE);
    EXPECT_EQ(d.nummarkers, 1);
    EXPECT_EQ(d.marker[0].t, 3000);
    EXPECT_EQ(d.marker[0].type, 0);
}

TEST_F(Editor, ValueKeysMoveBetweenTheirNeighbours) {
    s_demolayer &l = d.layer[0];
    d.CreateEventValue(&l, 3000, 1, 0, 0.5f);
    d.CreateEventValue(&l, 10000, 1, 0, 0.5f);
    d.CreateEventValue(&l, 90000000, 1, 0, 0.5f);
    Select(0, EDIT_VALUE, 1);
    Hold(MOX_VK_LEFT, 1);  // d = 8 x 512
    EXPECT_EQ(l.event_value[1].t, 10000 - 4096);
    Hold(MOX_VK_LEFT, 5);
    EXPECT_EQ(l.event_value[1].t, 3000);
    Select(0, EDIT_VALUE, 0);
    Hold(MOX_VK_LEFT, 5);
    EXPECT_EQ(l.event_value[0].t, 0);
    Select(0, EDIT_VALUE, 2);
    Hold(MOX_VK_RIGHT, 3000);
    EXPECT_EQ(l.event_value[2].t, 99999999);

    // Values step by 0.05 while held; Ctrl sets the ends.
    Hold(MOX_VK_UP, 20);
    EXPECT_NEAR(l.event_value[2].value, 1.0f, 0.06f);
    const float top = l.event_value[2].value;
    Hold(MOX_VK_UP, 3);
    EXPECT_EQ(l.event_value[2].value, top);
    Tap(MOX_VK_DOWN, {MOX_VK_CONTROL});
    EXPECT_EQ(l.event_value[2].value, 0.0f);
    Tap(MOX_VK_UP, {MOX_VK_CONTROL});
    EXPECT_EQ(l.event_value[2].value, 1.0f);

    // Ctrl+Left/Right snap the time to markers.
    d.CreateMarker(5000, 0);
    d.CreateMarker(7000, 0);
    Select(0, EDIT_VALUE, 1);
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_EQ(l.event_value[1].t, 5000);
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_EQ(l.event_value[1].t, 7000);
    Tap(MOX_VK_LEFT, {MOX_VK_CONTROL});
    EXPECT_EQ(l.event_value[1].t, 5000);
}

TEST_F(Editor, ShiftStepsThroughEntriesAndJumpsThere) {
    s_demolayer &l = d.layer[0];
    d.CreateEventCamera(&l, -500, 60, 0, 0, 0, 0, 0, 0);
    d.CreateEventCamera(&l, 44100, 60, 0, 0, 0, 0, 0, 0);
    d.CreateEventCamera(&l, 88200, 60, 0, 0, 0, 0, 0, 0);
    Select(0, EDIT_CAMERA, 1);
    Tap(MOX_VK_RIGHT, {MOX_VK_SHIFT});
    EXPECT_EQ(d.gui_selected_event, 2);
    EXPECT_EQ(d.position, 88200);
    EXPECT_EQ(Offset(), 88200);
    EXPECT_TRUE(d.gui_paused);
    EXPECT_EQ(d.demomusic.active, 1);  // the music keeps its play state
    // At the end the index stays, and the jump is made again.
    Seek(0);
    Tap(MOX_VK_RIGHT, {MOX_VK_SHIFT});
    EXPECT_EQ(d.gui_selected_event, 2);
    EXPECT_EQ(Offset(), 88200);
    Tap(MOX_VK_LEFT, {MOX_VK_SHIFT});
    Tap(MOX_VK_LEFT, {MOX_VK_SHIFT});
    EXPECT_EQ(d.gui_selected_event, 0);
    EXPECT_EQ(d.position, 0);
    EXPECT_EQ(Offset(), 0);
    EXPECT_EQ(l.event_camera[0].t, -500);

    // Camera keys move without bounds and snap to markers with Ctrl.
    Hold(MOX_VK_LEFT, 2);
    EXPECT_EQ(l.event_camera[0].t, -500 - 2 * 4096);
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_EQ(l.event_camera[0].t, 0);  // no marker after it
}

TEST_F(Editor, EffectEventsWalkThroughTheResources) {
    Resource(0, RESOURCE_TEXTURE, "tex");
    Resource(1, RESOURCE_FUNCTION, "scene", 5);
    Resource(2, RESOURCE_SHADER, "shade", 7);
    s_demolayer &l = d.layer[0];
    d.CreateEventA(&l, 0, 1000, EFFECT_SHADER, 2, 7, nullptr);
    Select(0, EDIT_EFFECT, 0);
    Tap(MOX_VK_UP, {MOX_VK_SHIFT});
    EXPECT_EQ(l.event[0].id, 0);
    EXPECT_EQ(l.event[0].type, EFFECT_IMAGE);
    Tap(MOX_VK_DOWN, {MOX_VK_SHIFT});
    EXPECT_EQ(l.event[0].id, 2);
    EXPECT_EQ(l.event[0].type, EFFECT_SHADER);
    Tap(MOX_VK_DOWN, {MOX_VK_SHIFT});
    EXPECT_EQ(l.event[0].id, 1);
    EXPECT_EQ(l.event[0].type, EFFECT_FUNCTION);
    EXPECT_EQ(l.event[0].numvalues, 5);

    // An index from the file outside the table comes back inside it.
    l.event[0].id = 5000;
    Tap(MOX_VK_DOWN, {MOX_VK_SHIFT});
    EXPECT_EQ(l.event[0].id, 2);
    l.event[0].id = -7;
    Tap(MOX_VK_UP, {MOX_VK_SHIFT});
    EXPECT_EQ(l.event[0].id, 0);

    // Without resources there is nothing to walk to.
    d.numresources = 0;
    Tap(MOX_VK_UP, {MOX_VK_SHIFT});
    Tap(MOX_VK_DOWN, {MOX_VK_SHIFT});
    EXPECT_EQ(l.event[0].id, 0);
    EXPECT_EQ(l.event[0].type, EFFECT_IMAGE);
}

TEST_F(Editor, ParameterLineStaysWithinTheSelectedEntrysLines) {
    s_demolayer &l = d.layer[0];
    const float v[3] = {0, 0, 0};
    Resource(0, RESOURCE_SHADER, "sh", 3);
    d.CreateEventA(&l, 0, 1000, EFFECT_SHADER, 0, 3, v);
    d.CreateEventTransform(&l, 10, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    Select(0, EDIT_EFFECT, 0);
    Hold(MOX_VK_UP, 1);
    EXPECT_EQ(d.gui_selected_parameter, 0);
    for (int i = 0; i < 8; i++) Tap(MOX_VK_DOWN);
    EXPECT_EQ(d.gui_selected_parameter, 4);  // numvalues + 1
    Tap(MOX_VK_UP);
    EXPECT_EQ(d.gui_selected_parameter, 3);

    Select(0, EDIT_TRANSFORM, 0);
    for (int i = 0; i < 14; i++) Tap(MOX_VK_DOWN);
    EXPECT_EQ(d.gui_selected_parameter, 10);
    // Shift steps through the keys and does nothing else that frame.
    Tap(MOX_VK_UP, {MOX_VK_SHIFT});
    EXPECT_EQ(d.gui_selected_parameter, 10);
}

TEST_F(Editor, MarkersMoveBetweenNeighboursAndChangeType) {
    d.CreateMarker(1000, 0);
    d.CreateMarker(20000, 3);
    d.CreateMarker(30000, 1);
    d.gui_selected_markerarea = 1;
    d.gui_selected_marker = 0;
    Hold(MOX_VK_LEFT, 3);
    EXPECT_EQ(d.marker[0].t, 0);
    Hold(MOX_VK_RIGHT, 10);
    EXPECT_EQ(d.marker[0].t, 20000);
    d.gui_selected_marker = 2;
    Hold(MOX_VK_RIGHT, 3);
    EXPECT_EQ(d.marker[2].t, 30000);
    Hold(MOX_VK_LEFT, 1);
    EXPECT_EQ(d.marker[2].t, 30000 - 4096);

    d.gui_selected_marker = 1;
    Tap(MOX_VK_UP, {MOX_VK_SHIFT});
    EXPECT_EQ(d.marker[1].type, 0);
    Tap(MOX_VK_DOWN, {MOX_VK_SHIFT});
    Tap(MOX_VK_DOWN, {MOX_VK_SHIFT});
    EXPECT_EQ(d.marker[1].type, 2);

    // Stepping moves the music, but neither the position nor the pause flag.
    Tap(MOX_VK_RIGHT, {MOX_VK_SHIFT});
    EXPECT_EQ(d.gui_selected_marker, 2);
    EXPECT_EQ(Offset(), 30000 - 4096);
    Tap(MOX_VK_RIGHT, {MOX_VK_SHIFT});
    EXPECT_EQ(d.gui_selected_marker, 2);
    Tap(MOX_VK_LEFT, {MOX_VK_SHIFT});
    Tap(MOX_VK_LEFT, {MOX_VK_SHIFT});
    Tap(MOX_VK_LEFT, {MOX_VK_SHIFT});
    EXPECT_EQ(d.gui_selected_marker, 0);
    EXPECT_EQ(Offset(), 20000);
    EXPECT_EQ(d.position, 0);
    EXPECT_FALSE(d.gui_paused);

    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_EQ(d.marker[0].t, 20512);
    EXPECT_EQ(d.marker[2].t, 30000 - 4096 + 512);
    Tap(MOX_VK_LEFT, {MOX_VK_CONTROL});
    EXPECT_EQ(d.marker[0].t, 20000);

    Tap(MOX_VK_BACK);
    EXPECT_EQ(d.nummarkers, 2);
    EXPECT_EQ(d.marker[0].t, 20000);  // the former second marker
    EXPECT_EQ(d.gui_selected_marker, -1);
    EXPECT_EQ(d.gui_selected_markerarea, 0);
}

TEST_F(Editor, MarkerDeletedInAFrameTakesNoFurtherCommands) {
    d.CreateMarker(1000, 1);
    d.CreateMarker(9000, 1);
    d.gui_selected_markerarea = 1;
    d.gui_selected_marker = 0;
    // Delete together with Shift+Up and a held Right in one frame.
    mox_keyevent(MOX_VK_SHIFT, 1);
    mox_keyevent(MOX_VK_UP, 1);
    mox_keyevent(MOX_VK_DELETE, 1);
    Frame();
    mox_keyevent(MOX_VK_SHIFT, 0);
    mox_keyevent(MOX_VK_UP, 0);
    mox_keyevent(MOX_VK_DELETE, 0);
    Sync();
    ASSERT_EQ(d.nummarkers, 1);
    EXPECT_EQ(d.marker[0].t, 9000);
    EXPECT_EQ(d.marker[0].type, 1);
}

TEST_F(Editor, NavigationScrubsZoomsAndJumpsToMarkers) {
    Seek(100000);
    Hold(MOX_VK_LEFT, 1);
    EXPECT_EQ(Offset(), 100000 - 8192);  // zoom x 1024 per frame
    EXPECT_TRUE(d.gui_paused);
    EXPECT_EQ(d.demomusic.active, 0);
    Hold(MOX_VK_LEFT, 20);
    EXPECT_EQ(Offset(), 0);
    Hold(MOX_VK_RIGHT, 2);
    EXPECT_EQ(Offset(), 2 * 8192);
    Seek(MUSICFRAMES - 100);
    Hold(MOX_VK_RIGHT, 1);
    EXPECT_EQ(Offset(), MUSICFRAMES - 1);

    // Ctrl+Right past the last marker goes to 0; Ctrl+Left just after a marker goes to the
    // one before it.
    d.CreateMarker(50000, 0);
    d.CreateMarker(100000, 0);
    Seek(100000 + 4000);
    Tap(MOX_VK_LEFT, {MOX_VK_CONTROL});
    EXPECT_EQ(Offset(), 50000);
    d.gui_paused = false;
    Seek(100000 + 9000);
    Tap(MOX_VK_LEFT, {MOX_VK_CONTROL});
    EXPECT_EQ(Offset(), 100000);
    EXPECT_TRUE(d.gui_paused);
    Seek(60000);
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_EQ(Offset(), 100000);
    Seek(100000);
    Tap(MOX_VK_RIGHT, {MOX_VK_CONTROL});
    EXPECT_EQ(Offset(), 0);
}

TEST_F(Editor, ZoomStaysAboveOne) {
    Hold(MOX_VK_DOWN, 70);
    EXPECT_GT(d.gui_zoom, 1.0f);
    Hold(MOX_VK_DOWN, 1);
    EXPECT_NEAR(d.gui_zoom, 0.9f, 0.001f);
    Hold(MOX_VK_DOWN, 5);
    EXPECT_NEAR(d.gui_zoom, 0.9f, 0.001f);
    Hold(MOX_VK_UP, 1);
    EXPECT_NEAR(d.gui_zoom, 1.0f, 0.001f);

    d.gui_zoom = 8.0f;
    for (int i = 0; i < 10; i++) Tap(MOX_VK_DOWN, {MOX_VK_CONTROL});
    EXPECT_EQ(d.gui_zoom, 1.0f);
    Tap(MOX_VK_UP, {MOX_VK_CONTROL});
    EXPECT_EQ(d.gui_zoom, 2.0f);
    // A step of 1.0 from just above 1.0 stops at 1.0 instead of reaching 0.
    d.gui_zoom = 1.0001f;
    Tap(MOX_VK_DOWN, {MOX_VK_CONTROL});
    EXPECT_EQ(d.gui_zoom, 1.0f);
}

TEST_F(Editor, ResourceListScrollsWithinItsRows) {
    for (int i = 0; i < 18; i++) Resource(i, RESOURCE_TEXTURE, "tex");
    Tap(MOX_VK_UP, {MOX_VK_SHIFT});
    EXPECT_EQ(d.gui_resourcestart, 0);
    // Above five layers' timeline 15 rows fit: the list scrolls until the last one shows.
    for (int i = 0; i < 5; i++) Tap(MOX_VK_DOWN, {MOX_VK_SHIFT});
    EXPECT_EQ(d.gui_resourcestart, 3);
    // The rows follow the scroll position; no row is drawn or hit below the last that fits.
    Click(100, 112 + 14 * 32 + 1);
    EXPECT_EQ(d.gui_selected_resource, 17);
    Click(100, 112 + 15 * 32 + 1, 2);
    Click(100, 112 + 15 * 32 + 1);
    EXPECT_EQ(d.gui_selected_resource, -1);
}

// Saving: Z writes demo.fentro into the mounted directory and keeps the version it replaces.
class Saving : public Editor {
protected:
    test_support::TempDir dir;

    void SetUp() override {
        Editor::SetUp();
        ASSERT_FALSE(dir.path().empty());
        snprintf(d.title, sizeof d.title, "saved");
        d.CreateMarker(4410, 2);
    }
    void TearDown() override {
        corefile_closeimage();
        Editor::TearDown();
    }

    std::string Read(const std::string &name) {
        std::ifstream in(dir / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void Save() {
        testing::internal::CaptureStdout();
        Tap('Z');
        testing::internal::GetCapturedStdout();
    }
};

TEST_F(Saving, KeepsThePreviousProjectAsBackup) {
    test_support::WriteFile(dir / "demo.fentro", "#title \"before\"\n");
    ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
    Save();
    const std::string first = Read("demo.fentro");
    EXPECT_EQ(first.rfind("#title \"saved\"\n", 0), 0u) << first;
    EXPECT_NE(first.find("#marker 4410,2"), std::string::npos) << first;
    EXPECT_EQ(Read("backup.fentro"), "#title \"before\"\n");

    d.CreateMarker(8820, 0);
    Save();
    EXPECT_EQ(Read("backup.fentro"), first);
    EXPECT_NE(Read("demo.fentro").find("#marker 8820,0"), std::string::npos);
}

TEST_F(Saving, FirstSaveHasNoBackup) {
    ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
    Save();
    EXPECT_TRUE(test_support::fs::exists(dir / "demo.fentro"));
    EXPECT_FALSE(test_support::fs::exists(dir / "backup.fentro"));
}

TEST_F(Saving, WritesNothingWithoutAMountedDirectory) {
    test_support::WriteFile(dir / "demo.fentro", "old");
    LogCapture log;
    Save();
    EXPECT_EQ(Read("demo.fentro"), "old");
    EXPECT_FALSE(test_support::fs::exists(dir / "backup.fentro"));
    EXPECT_TRUE(log.Has("project.save_nodir"));
    EXPECT_FALSE(log.Has("edit.saved"));
}

TEST_F(Saving, UnknownLinesSurviveTwoSavesAndTheBackup) {
    test_support::WriteFile(dir / "demo.fentro",
                            "// made by hand\n#renderwidth 64\n#renderheight 48\n#demotype 1\n"
                            "#evnt 1,2\n#marker 100,1\n\nsome notes\n#layer \"a\"\n"
                            "#eventvalue 0,1,0,0.125\n#eventvalue 10,1,0,0.005\n"
                            "#eventvalue 20,1,0,1234.567\n#eventvalue 30,1,0,0.5\n");
    ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
    {
        LogCapture log;
        testing::internal::CaptureStdout();
        d.Load("demo.fentro");
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(log.Count("project.lines_kept"), 1);
        EXPECT_FALSE(log.Has("project.lines_skipped"));
    }
    Save();
    const std::string first = Read("demo.fentro");
    // After the records, in their order; floats in their shortest exact form, hundredths as
    // they always were.
    const std::string kept = "\n// made by hand\n#evnt 1,2\nsome notes\n\n";
    ASSERT_GE(first.size(), kept.size());
    EXPECT_EQ(first.substr(first.size() - kept.size()), kept) << first;
    EXPECT_NE(first.find("#eventvalue 0,1,0,0.125\n#eventvalue 10,1,0,0.005\n"
                         "#eventvalue 20,1,0,1234.567\n#eventvalue 30,1,0,0.50\n"),
              std::string::npos)
        << first;

    d.CreateMarker(200, 0);
    Save();
    const std::string second = Read("demo.fentro");
    EXPECT_EQ(second.substr(second.size() - kept.size()), kept) << second;
    EXPECT_EQ(Read("backup.fentro"), first);
}

TEST_F(Saving, WhatDidNotLoadIsSaidOnTheScreen) {
    std::string text =
        "#renderwidth 64\n#renderheight 48\n#demotype 1\n#marker x\n"
        "#eventvalue 0,1,0,1\n";
    for (int i = 0; i < DEMO_MAXLAYERS + 1; i++) text += "#layer \"l\"\n#event 0,10,1,0,0:\n";
    test_support::WriteFile(dir / "demo.fentro", text);
    ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
    gui_consolelevel = LOG_ERROR;
    core_setlogsink(GuiLogSink, &d);
    testing::internal::CaptureStdout();
    d.Load("demo.fentro");
    core_setlogsink(nullptr, nullptr);
    testing::internal::GetCapturedStdout();
    gui_consolelevel = LOG_PROGRESS;
    std::vector<std::string> ids;
    for (int i = 0; i < d.gui_nummessages; i++) ids.push_back(d.gui_messages[i].id);
    EXPECT_NE(std::find(ids.begin(), ids.end(), "project.lines_skipped"), ids.end());
    EXPECT_NE(std::find(ids.begin(), ids.end(), "project.layer_dropped"), ids.end());
    EXPECT_NE(std::find(ids.begin(), ids.end(), "project.records_dropped"), ids.end());
}

TEST_F(Saving, KeepsTheTenLatestSavesStamped) {
    ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
    for (int i = 0; i < 10; i++) {
        test_support::WriteFile(dir / ("backup-2020010" + std::to_string(i) + "-120000.fentro"),
                                "old");
    }
    test_support::WriteFile(dir / "backup-notes.fentro", "mine");
    Save();
    int stamped = 0;
    std::string newest;
    for (const auto &entry : test_support::fs::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("backup-20", 0) != 0) continue;
        stamped++;
        newest = std::max(newest, name);
    }
    EXPECT_EQ(stamped, 10);
    EXPECT_FALSE(test_support::fs::exists(dir / "backup-20200100-120000.fentro"));
    EXPECT_TRUE(test_support::fs::exists(dir / "backup-20200101-120000.fentro"));
    EXPECT_TRUE(test_support::fs::exists(dir / "backup-notes.fentro"));
    EXPECT_EQ(Read(newest), Read("demo.fentro"));

    // The same text again makes no new copy and leaves the backup alone.
    test_support::WriteFile(dir / "backup.fentro", "kept");
    LogCapture log;
    Save();
    EXPECT_TRUE(log.Has("edit.save_unchanged"));
    EXPECT_EQ(Read("backup.fentro"), "kept");
}

TEST_F(Saving, AFailedSaveSaysWhyAndKeepsTheEditsUnsaved) {
    ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
    test_support::fs::create_directory(dir / "demo.fentro");
    d.CreateMarker(300, 1);
    Frame();
    ASSERT_TRUE(d.Unsaved());
    LogCapture log;
    Save();
    EXPECT_TRUE(log.Has("project.save_failed"));
    EXPECT_FALSE(log.Has("edit.saved"));
    EXPECT_TRUE(d.Unsaved());
    EXPECT_TRUE(test_support::fs::is_directory(dir / "demo.fentro"));
}

}  // namespace

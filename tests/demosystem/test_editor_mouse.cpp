// Editor and the mouse under GL: a window of any size (the editor screen follows a resize,
// and at 1280 x 720, 1920 x 1080 and 3840 x 2160 a click lands on what is drawn there), and
// dragging (events, an event's end, keys, several at once, a marker alone, a selection box,
// seeking on the waveform), the wheel, each with undo.
#include <algorithm>
#include <vector>

#include "demosystem/demosystem_grid.h"
#include "demosystem/demosystem_undo.h"
#include "demosystem/test_editor_fixture.h"
#include "log_capture.h"

namespace {

using namespace editor_test;

// Colours (0xRRGGBB) that only these things have on the screen.
constexpr uint32_t IMAGE_EVENT = 0x203050, SHADER_EVENT = 0x305020;
constexpr uint32_t CAMERA_KEY = 0xffff00, MARKER_KIND1 = 0x80ff80, NOT_LOADED = 0xff0000;
constexpr uint32_t PREVIEW = 0x0000ff;

struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    bool Found() const { return x1 >= 0; }
    int Cx() const { return (x0 + x1) / 2; }
    int Cy() const { return (y0 + y1) / 2; }
};

class Mouse : public Editor {
protected:
    void TearDown() override {
        // The video layer goes back to the size the other tests expect.
        mox_resizeevent(WIDTH, HEIGHT);
        Editor::TearDown();
    }

    // The editor screen as drawn, and where the pixels of one colour lie in it.
    std::vector<uint32_t> pixels;
    int shownw = 0, shownh = 0;
    void Capture() {
        shownw = MOX_GetFrameBufferWidth();
        shownh = MOX_GetFrameBufferHeight();
        std::vector<uint8_t> rgba((size_t)shownw * shownh * 4);
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, shownw, shownh, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        pixels.assign((size_t)shownw * shownh, 0);
        for (int y = 0; y < shownh; y++)
            for (int x = 0; x < shownw; x++) {
                const uint8_t *p = &rgba[((size_t)(shownh - 1 - y) * shownw + x) * 4];
                pixels[(size_t)y * shownw + x] = (uint32_t)p[0] << 16 | p[1] << 8 | p[2];
            }
    }
    Box Find(uint32_t colour) const {
        Box b;
        for (int y = 0; y < shownh; y++)
            for (int x = 0; x < shownw; x++)
                if (pixels[(size_t)y * shownw + x] == colour) {
                    b.x0 = std::min(b.x0, x), b.y0 = std::min(b.y0, y);
                    b.x1 = std::max(b.x1, x), b.y1 = std::max(b.y1, y);
                }
        return b;
    }

    // A frame as the editor host runs it: drawing, then input.
    void Update() {
        testing::internal::CaptureStdout();
        d.UpdateGUI();
        testing::internal::GetCapturedStdout();
    }
    // Left button down at (x, y), moved to (x2, y2) over some frames, released there.
    void Drag(int x, int y, int x2, int y2, std::initializer_list<int> mods = {}) {
        for (int m : mods) mox_keyevent(m, 1);
        Cursor(x, y);
        mox_mousebuttonevent(1, 1);
        Frame();
        for (int k = 1; k <= 4; k++) {
            Cursor(x + (x2 - x) * k / 4, y + (y2 - y) * k / 4);
            Frame();
        }
        mox_mousebuttonevent(1, 0);
        Frame();
        for (int m : mods) mox_keyevent(m, 0);
        Sync();
    }
    void Undo() { Tap('U'); }
};

TEST_F(Mouse, AtThreeWindowSizesClicksLandOnWhatIsDrawn) {
    for (int i = 0; i < 3; i++) Resource(i, RESOURCE_TEXTURE, "tex");
    d.resource[0].loadOK = d.resource[2].loadOK = 1;  // resource 1 carries the red mark
    testing::internal::CaptureStdout();
    d.CreateEventA(&d.layer[2], 40000, 60000, EFFECT_IMAGE, 0, 0, nullptr);
    d.CreateEventA(&d.layer[4], 40000, 60000, EFFECT_SHADER, 0, 0, nullptr);
    testing::internal::GetCapturedStdout();
    d.CreateEventCamera(&d.layer[0], 150000, 45, 0, 0, 0, 0, 0, 0);
    d.CreateMarker(250000, 1);
    d.renderwidth = 320, d.renderheight = 180;

    for (auto [w, h] : {std::pair{1280, 720}, {1920, 1080}, {3840, 2160}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        // The window is resized: the next frame's screen has its size.
        mox_resizeevent(w, h);
        MOX_SetFrameBuffer(d.framebuffer_id);
        MOX_ClearFrameBuffer(0xffff0000);  // the production's picture: blue
        Cursor(w - 2, 2);
        Update();
        ASSERT_EQ(d.gui_width, w);
        ASSERT_EQ(d.gui_height, h);
        ASSERT_EQ(MOX_GetFrameBufferWidth(), w);
        d.ClearSelection();
        Update();
        Capture();

        // Everything is on the screen, and the preview keeps the production's aspect ratio
        // above the timeline.
        const Box image = Find(IMAGE_EVENT), shader = Find(SHADER_EVENT);
        const Box camera = Find(CAMERA_KEY), marker = Find(MARKER_KIND1);
        const Box mark = Find(NOT_LOADED), preview = Find(PREVIEW);
        for (const Box &b : {image, shader, camera, marker, mark, preview}) {
            ASSERT_TRUE(b.Found());
            EXPECT_LT(b.x1, w);
            EXPECT_LT(b.y1, h);
        }
        const int pw = preview.x1 - preview.x0 + 1, ph = preview.y1 - preview.y0 + 1;
        EXPECT_NEAR((double)pw / ph, 16.0 / 9.0, 0.02);
        EXPECT_LT(preview.y1, marker.y0);
        EXPECT_GT(pw, w / 3);
        // Layer 4 lies above layer 2.
        EXPECT_LT(shader.y1, image.y0);

        Click(image.Cx(), image.Cy());
        EXPECT_EQ(d.gui_selected_layer, 2);
        EXPECT_EQ(d.gui_selected_eventtype, EDIT_EFFECT);
        Click(shader.Cx(), shader.Cy());
        EXPECT_EQ(d.gui_selected_layer, 4);
        EXPECT_EQ(d.gui_selected_eventtype, EDIT_EFFECT);
        Click(camera.Cx(), camera.Cy());
        EXPECT_EQ(d.gui_selected_layer, 0);
        EXPECT_EQ(d.gui_selected_eventtype, EDIT_CAMERA);
        Click(marker.Cx(), marker.Cy());
        EXPECT_EQ(d.gui_selected_marker, 0);
        // The mark hangs below its row's text, into the next row: its top is its row's.
        Click(mark.Cx(), mark.y0 + 1);
        EXPECT_EQ(d.gui_selected_resource, 1);
        Click(mark.Cx(), mark.Cy(), 2);
        // Clicks just outside land on nothing.
        Click(image.x1 + (image.x1 - image.x0), image.Cy());
        EXPECT_EQ(d.gui_selected_eventtype, 0);
        Click(marker.x1 + 4 * (marker.x1 - marker.x0), marker.Cy());
        EXPECT_EQ(d.gui_selected_marker, -1);
    }
}

TEST_F(Mouse, DraggingMovesEventsKeysAndAnEventsEndWithUndo) {
    testing::internal::CaptureStdout();
    d.CreateEventA(&d.layer[1], 100 * SCALE, 200 * SCALE, EFFECT_IMAGE, 0, 0, nullptr);
    d.CreateEventTransform(&d.layer[1], 150 * SCALE, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    testing::internal::GetCapturedStdout();
    d.CreateEventValue(&d.layer[3], 100 * SCALE, VALUE_BLEND, 0, 0.5f);
    d.CreateEventValue(&d.layer[3], 400 * SCALE, VALUE_BLEND, 0, 0.5f);
    EditHistoryReset(d.gui_history.get(), d);
    s_demolayer &l1 = d.layer[1], &l3 = d.layer[3];

    // The event moves by the cursor's way, its transform key with it; one undo step.
    Drag(XOf(200 * SCALE), RowTop(1) + 10, XOf(200 * SCALE) + 60, RowTop(1) + 12);
    EXPECT_EQ(l1.event[0].t, 160 * SCALE);
    EXPECT_EQ(l1.event[0].length, 200 * SCALE);
    EXPECT_EQ(l1.event_transform[0].t, 210 * SCALE);
    Undo();
    EXPECT_EQ(l1.event[0].t, 100 * SCALE);
    EXPECT_EQ(l1.event_transform[0].t, 150 * SCALE);

    // Its end: the length follows; the start stays.
    Drag(XOf(300 * SCALE) - 2, RowTop(1) + 10, XOf(300 * SCALE) + 48, RowTop(1) + 10);
    EXPECT_EQ(l1.event[0].t, 100 * SCALE);
    EXPECT_EQ(l1.event[0].length, 250 * SCALE);
    // Dragged past its start, at least a pixel of it stays.
    Drag(XOf(350 * SCALE) - 2, RowTop(1) + 10, XOf(0), RowTop(1) + 10);
    EXPECT_EQ(l1.event[0].length, SCALE);
    Undo();
    Undo();
    EXPECT_EQ(l1.event[0].length, 200 * SCALE);

    // A value key past its neighbour: the table stays in order and the key stays selected.
    Drag(XOf(100 * SCALE), RowTop(3) + 32, XOf(100 * SCALE) + 400, RowTop(3) + 32);
    EXPECT_EQ(l3.event_value[0].t, 400 * SCALE);
    EXPECT_EQ(l3.event_value[1].t, 500 * SCALE);
    EXPECT_EQ(d.gui_selected_event, 1);
    EXPECT_EQ(d.gui_selected_eventtype, EDIT_VALUE);
    // A jitter of a pixel moves nothing.
    Drag(XOf(500 * SCALE), RowTop(3) + 32, XOf(500 * SCALE) + 1, RowTop(3) + 32);
    EXPECT_EQ(l3.event_value[1].t, 500 * SCALE);
    Undo();
    EXPECT_EQ(l3.event_value[0].t, 100 * SCALE);
    EXPECT_EQ(l3.event_value[1].t, 400 * SCALE);
    EXPECT_EQ(EditHistoryUndoSteps(*d.gui_history), 0);

    // With the grid on, a dragged event lands on the nearest beat (120 bpm: 22050 frames),
    // its end too.
    d.bpm = 120;
    d.gui_snap = GRID_BEAT;
    Drag(XOf(200 * SCALE), RowTop(1) + 10, XOf(200 * SCALE) + 40, RowTop(1) + 10);
    EXPECT_EQ(l1.event[0].t, 3 * 22050);  // 100 + 40 pixels: 71680 frames
    const int end = 3 * 22050 + 200 * SCALE;
    Drag(XOf(end) - 2, RowTop(1) + 10, XOf(end) + 38, RowTop(1) + 10);
    EXPECT_EQ(l1.event[0].t + l1.event[0].length, 9 * 22050);  // 189030 frames
}

TEST_F(Mouse, SeveralSelectedMoveTogetherAndABoxSelects) {
    for (int k = 0; k < 4; k++)
        d.CreateEventValue(&d.layer[0], (100 + 100 * k) * SCALE, 1, 0, 0.5f);
    d.CreateEventCamera(&d.layer[2], 150 * SCALE, 45, 0, 0, 0, 0, 0, 0);
    EditHistoryReset(d.gui_history.get(), d);

    // Shift+click adds a key of another layer; both move with one drag and come back with
    // one undo.
    Click(XOf(100 * SCALE), RowTop(0) + 32);
    mox_keyevent(MOX_VK_SHIFT, 1);
    Click(XOf(150 * SCALE) + 4, RowTop(2) + 30);
    mox_keyevent(MOX_VK_SHIFT, 0);
    EXPECT_TRUE(d.IsSelected(0, EDIT_VALUE, 0));
    EXPECT_TRUE(d.IsSelected(2, EDIT_CAMERA, 0));
    Drag(XOf(150 * SCALE) + 4, RowTop(2) + 30, XOf(150 * SCALE) + 24, RowTop(2) + 30);
    EXPECT_EQ(d.layer[0].event_value[0].t, 120 * SCALE);
    EXPECT_EQ(d.layer[2].event_camera[0].t, 170 * SCALE);
    EXPECT_EQ(d.layer[0].event_value[1].t, 200 * SCALE);
    Undo();
    EXPECT_EQ(d.layer[0].event_value[0].t, 100 * SCALE);
    EXPECT_EQ(d.layer[2].event_camera[0].t, 150 * SCALE);

    // Shift+click on a selected one takes it out.
    Click(XOf(100 * SCALE), RowTop(0) + 32);
    mox_keyevent(MOX_VK_SHIFT, 1);
    Click(XOf(150 * SCALE) + 4, RowTop(2) + 30);
    Click(XOf(150 * SCALE) + 4, RowTop(2) + 30);
    mox_keyevent(MOX_VK_SHIFT, 0);
    EXPECT_TRUE(d.IsSelected(0, EDIT_VALUE, 0));
    EXPECT_FALSE(d.IsSelected(2, EDIT_CAMERA, 0));

    // A box over the middle two keys of layer 0 from an empty place selects just them; Shift
    // and a box over layer 2's key adds it.
    Drag(XOf(180 * SCALE), RowTop(0) + 5, XOf(330 * SCALE), RowTop(0) + 60);
    EXPECT_FALSE(d.IsSelected(0, EDIT_VALUE, 0));
    EXPECT_TRUE(d.IsSelected(0, EDIT_VALUE, 1));
    EXPECT_TRUE(d.IsSelected(0, EDIT_VALUE, 2));
    EXPECT_FALSE(d.IsSelected(0, EDIT_VALUE, 3));
    Drag(XOf(140 * SCALE), RowTop(2) + 5, XOf(170 * SCALE), RowTop(2) + 60, {MOX_VK_SHIFT});
    EXPECT_TRUE(d.IsSelected(0, EDIT_VALUE, 1));
    EXPECT_TRUE(d.IsSelected(2, EDIT_CAMERA, 0));
    // Delete takes all the selected ones.
    Tap(MOX_VK_DELETE);
    EXPECT_EQ(d.layer[0].numevents_value, 2);
    EXPECT_EQ(d.layer[2].numevents_camera, 0);
    Undo();
    EXPECT_EQ(d.layer[0].numevents_value, 4);
    EXPECT_EQ(d.layer[2].numevents_camera, 1);
}

TEST_F(Mouse, MarkerMovesAloneSeekAndWheel) {
    d.CreateMarker(100 * SCALE, 0);
    d.CreateMarker(200 * SCALE, 1);
    d.CreateMarker(300 * SCALE, 2);
    EditHistoryReset(d.gui_history.get(), d);
    // The middle marker, dragged past the last, moves alone; the table stays in order and
    // the dragged marker stays selected.
    Drag(XOf(200 * SCALE) + 10, TIMELINEY + 16, XOf(200 * SCALE) + 160, TIMELINEY + 16);
    EXPECT_EQ(d.marker[0].t, 100 * SCALE);
    EXPECT_EQ(d.marker[1].t, 300 * SCALE);
    EXPECT_EQ(d.marker[2].t, 350 * SCALE);
    EXPECT_EQ(d.marker[2].type, 1);
    EXPECT_EQ(d.gui_selected_marker, 2);
    Undo();
    EXPECT_EQ(d.marker[1].t, 200 * SCALE);

    // A click on the waveform band seeks to the time under it; dragging there scrubs.
    const int wave = TIMELINEY + 32 + 60;
    Click(XOf(500 * SCALE), wave);
    EXPECT_EQ(Offset(), 500 * SCALE);
    Seek(0);
    Drag(XOf(400 * SCALE), wave, XOf(400 * SCALE) + 100, wave);
    EXPECT_EQ(Offset(), 500 * SCALE);
    EXPECT_EQ(d.nummarkers, 3);

    // The wheel scrolls in time (down: later), never before the start; with Ctrl it zooms.
    Seek(100000);
    mox_wheelevent(-1);
    Frame();
    const int later = Offset();
    EXPECT_GT(later, 100000);
    mox_wheelevent(1);
    mox_wheelevent(1);
    Frame();
    EXPECT_LT(Offset(), 100000);
    for (int i = 0; i < 50; i++) mox_wheelevent(1);
    Frame();
    EXPECT_EQ(Offset(), 0);
    mox_keyevent(MOX_VK_CONTROL, 1);
    mox_wheelevent(1);
    Frame();
    EXPECT_LT(d.gui_zoom, 8.0f);
    for (int i = 0; i < 40; i++) mox_wheelevent(1);
    Frame();
    EXPECT_GE(d.gui_zoom, 1.0f);
    mox_wheelevent(-1);
    Frame();
    mox_keyevent(MOX_VK_CONTROL, 0);
    Sync();
    EXPECT_GT(d.gui_zoom, 1.0f);
}

}  // namespace

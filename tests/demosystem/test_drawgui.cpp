// Editor screen under GL: frame, preview, title and play time, the timeline block with its
// layer rows, events and keys, the markers, the waveform and the cursor, read back from the
// editor's framebuffer.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/coredebug.h"
#include "demosystem/demosystem_undo.h"
#include "test_drawgui_fixture.h"

namespace drawgui_test {
namespace {

constexpr uint32_t BACKGROUND = 0x202020, BLACK = 0x000000, WHITE = 0xffffff;
constexpr uint32_t POSITION = 0x4040ff, RED = 0xff0000, CURVE = 0x00ff00;
constexpr uint32_t CAMERA = 0xffff00, TRANSFORM = 0x2080ff, WAVE = 0x00ffff;
constexpr uint32_t EVENT_COLOURS[7] = {0x303030, 0x203050, 0x302050, 0x305020,
                                       0x502030, 0x205030, 0x503020};
constexpr uint32_t MARKER_COLOURS[4] = {0xffffff, 0x80ff80, 0x8080ff, 0x80ffff};

using Screen = DrawGUITest;

TEST_F(Screen, FiveLayersPlaceTheTimelineBlockAt600) {
    AddLayers(5);
    Draw();
    EXPECT_EQ(demo->gui_timeliney, 600);
    // Marker strip 600..631 over the dark backdrop, waveform band and rows black from 632.
    EXPECT_EQ(Pixel(1700, 599), BACKGROUND);
    EXPECT_EQ(Pixel(1000, 600), BACKGROUND);
    EXPECT_EQ(Pixel(1000, 631), BACKGROUND);
    EXPECT_EQ(Pixel(100, 632), BLACK);
    EXPECT_EQ(Pixel(100, 759), BLACK);
    // Layer 4 starts at 760, layer 0 at 1016: their row backgrounds begin 2 rows lower.
    EXPECT_EQ(Pixel(1000, 761), BLACK);
    EXPECT_EQ(Pixel(1000, 762), BACKGROUND);
    EXPECT_EQ(Pixel(1000, 1017), BLACK);
    EXPECT_EQ(Pixel(1000, 1018), BACKGROUND);
    // Position line 4 wide over the block, handle 32 x 32 on the strip.
    for (int x : {190, 193}) EXPECT_EQ(Pixel(x, 1079), POSITION) << x;
    EXPECT_EQ(Pixel(194, 700), BLACK);
    EXPECT_EQ(Pixel(176, 600), POSITION);
    EXPECT_EQ(Pixel(207, 631), POSITION);
    EXPECT_EQ(Pixel(175, 610), BACKGROUND);
    EXPECT_EQ(Pixel(180, 632), BLACK);
    // Labels, and the zoom line under the marker strip.
    EXPECT_EQ(read_text(4, layer_top(0) + 8).text, "[1] L0");
    EXPECT_EQ(read_text(4, layer_top(4) + 8).text, "[5] L4");
    const s_text zoom = read_text(4, 632);
    EXPECT_EQ(zoom.text, "Zoom: 8.00");
    EXPECT_EQ(zoom.font, 1);
}

TEST_F(Screen, PreviewTitleAndPlayTime) {
    AddLayers(1);
    demo->SetTitle("party");
    demo->duration = 205;
    std::vector<uint8_t> silence(2646100, 128);
    SetMusic8(silence, 1);
    Soundsystem_SetSoundOffset(&demo->demomusic, 2646000);
    // The demo's picture: a red frame.
    MOX_SetFrameBuffer(demo->framebuffer_id);
    MOX_ClearFrameBuffer(0xff0000ff);
    Draw();
    EXPECT_EQ(demo->position, 2646000);
    EXPECT_EQ(demo->gui_timeliney, H - 224);
    // Preview 1152 wide, 1152 x 180 / 320 = 648 high, at (384, 64).
    EXPECT_EQ(Pixel(384, 64), RED);
    EXPECT_EQ(Pixel(1535, 711), RED);
    EXPECT_EQ(Pixel(383, 100), BACKGROUND);
    EXPECT_EQ(Pixel(1536, 100), BACKGROUND);
    EXPECT_EQ(Pixel(800, 63), BACKGROUND);
    EXPECT_EQ(Pixel(800, 712), BACKGROUND);

    const s_text title = read_text(4, 0);
    EXPECT_EQ(title.text, "party (320,180)");
    EXPECT_EQ(title.font, 1);
    const s_text time = read_text(W - 384, 0);
    EXPECT_EQ(time.text, "01:00.00 / 03:25.00");
    EXPECT_EQ(time.font, 1);
    // The credit line is centred, in the normal font.
    int left = -1;
    for (int x = 500; x < W / 2 && left < 0; x++)
        if ((gltest_pixel(x, 0) >> 8 & 0xff) == FONT_GREEN) left = x;
    ASSERT_GT(left, 500);
    const s_text credit = read_text(left, 0);
    EXPECT_EQ(credit.font, 2);
    EXPECT_NEAR(left + (int)credit.text.size(), W / 2, 2);
}

TEST_F(Screen, PlayTimeOfLongMusicAndWithoutMusic) {
    AddLayers(1);
    SetMusic8(std::vector<uint8_t>(16, 128), 1);
    // 20 minutes at 44100 Hz: hundredths need more than 32 bits.
    Seek(44100 * 1200 + 22050);
    Draw();
    EXPECT_EQ(read_text(W - 384, 0).text, "20:00.50 / 00:00.00");
    // Music without a rate is no music: the time runs at 44100 frames a second over the
    // project's length (its last event's end, at least a minute).
    demo->demomusic.samplerate = 0;
    AddEffect(0, 44100 * 90, 44100 * 3, EFFECT_IMAGE, 0);
    Draw();
    EXPECT_EQ(read_text(W - 384, 0).text, "20:00.50 / 01:33.00 no music");
    demo->demomusic.buffer = nullptr;
    demo->layer[0].numevents = 0;
    Draw();
    EXPECT_EQ(read_text(W - 384, 0).text, "20:00.50 / 01:00.00 no music");
    demo->layer[0].numevents = 1;
}

TEST_F(Screen, MessagesAndTheUnsavedMark) {
    AddLayers(1);
    demo->SetTitle("party");
    demo->GuiMessage(LOG_WARNING, "project.lines_kept", "- Project: 2 lines kept\n");
    demo->GuiMessage(LOG_ERROR, "project.save_failed", "- Save: not written (disk full)\n");
    Draw();
    // Newest lowest, over the preview just above the timeline.
    const int y = demo->gui_timeliney - 16 - 36;
    EXPECT_EQ(read_text(384 + 28, y + 4).text, "Save: not written (disk full)");
    EXPECT_EQ(read_text(384 + 28, y - 36 + 4).text, "Project: 2 lines kept");
    EXPECT_EQ(Pixel(384 + 8, y + 12), 0xff4040u);
    EXPECT_EQ(Pixel(384 + 8, y - 36 + 12), 0xffc040u);
    EXPECT_EQ(read_text(4, 0).text, "party (320,180)");

    demo->gui_history = std::make_shared<s_edithistory>();
    EditHistoryReset(demo->gui_history.get(), *demo);
    demo->CreateMarker(100, 0);
    EditHistoryRecord(demo->gui_history.get(), *demo, 1);
    Draw();
    EXPECT_EQ(read_text(4, 0).text, "party (320,180) *");
}

TEST_F(Screen, EventsAtZoomAndPosition) {
    AddLayers(2);
    demo->gui_zoom = 4.0f;  // 256 frames a pixel
    Seek(100000);
    demo->numresources = 1;
    snprintf(demo->resource[0].name, DEMO_NAMESIZE, "pic");
    // Layer 0: an event 64 pixels after the position, 100 pixels long.
    AddEffect(0, 100000 + 64 * 256, 100 * 256, EFFECT_IMAGE, 0);
    // Layer 1: an event that began 300 pixels ago and lasts 500.
    AddEffect(1, 100000 - 300 * 256, 500 * 256, EFFECT_FUNCTION, 0);
    Draw();

    // The playhead stands at TIMELINEX + gui_sliderx, with some time before it in view.
    const int playhead = TIMELINEX + demo->gui_sliderx;
    EXPECT_GT(demo->gui_sliderx, 0);
    EXPECT_EQ(Pixel(playhead - 2, 1079), POSITION);
    const int top0 = layer_top(0), sx = playhead + 64;
    EXPECT_EQ(Pixel(sx + 4, top0 + 30), EVENT_COLOURS[1]);
    EXPECT_EQ(Pixel(sx + 95, top0 + 30), EVENT_COLOURS[1]);
    EXPECT_EQ(Pixel(sx + 96, top0 + 30), BLACK);  // black background to sx + 103
    EXPECT_EQ(Pixel(sx + 103, top0 + 30), BLACK);
    EXPECT_EQ(Pixel(sx + 104, top0 + 30), BACKGROUND);
    EXPECT_EQ(Pixel(sx + 3, top0 + 30), BACKGROUND);
    EXPECT_EQ(Pixel(sx + 50, top0 + 1), BLACK);
    EXPECT_EQ(Pixel(sx + 50, top0 + 3), BLACK);
    EXPECT_EQ(Pixel(sx + 50, top0 + 4), EVENT_COLOURS[1]);
    EXPECT_EQ(read_text(sx + 4, top0 + 4).text, "[Image]   pic");

    // Its left part lies under the label column; the rest shows right of it.
    const int top1 = layer_top(1);
    EXPECT_EQ(Pixel(150, top1 + 30), BLACK);
    EXPECT_EQ(Pixel(TIMELINEX + 10, top1 + 30), EVENT_COLOURS[4]);
    EXPECT_EQ(Pixel(playhead + 195, top1 + 30), EVENT_COLOURS[4]);
    EXPECT_EQ(Pixel(playhead + 196, top1 + 30), BLACK);
}

TEST_F(Screen, EventColoursByTypeAndNamesOutsideTheTables) {
    AddLayers(1);
    Seek(0);
    // Type 9 takes colour 9 mod 7, type -3 colour 4; an unknown type and a resource outside
    // the table have no names.
    AddEffect(0, 512 * 100, 512 * 50, 9, 77);
    AddEffect(0, 512 * 200, 512 * 50, -3, -1);
    AddEffect(0, 512 * 5000, 512 * 50, EFFECT_TEXT, 0);  // right of the screen
    Draw();
    const int top = layer_top(0);
    EXPECT_EQ(Pixel(TIMELINEX + 120, top + 30), EVENT_COLOURS[2]);
    EXPECT_EQ(Pixel(TIMELINEX + 220, top + 30), EVENT_COLOURS[4]);
    EXPECT_EQ(read_text(TIMELINEX + 104, top + 4, 3).text, "[]");
}

TEST_F(Screen, SelectedEventAndParentOfSelectedTransformKey) {
    AddLayers(2);
    Seek(0);
    AddEffect(0, 512 * 10, 512 * 40, EFFECT_IMAGE, 0);
    AddEffect(1, 512 * 10, 512 * 40, EFFECT_IMAGE, 0);
    AddEffect(1, 512 * 100, 512 * 40, EFFECT_IMAGE, 0);
    Select(0, EDIT_EFFECT, 0);
    Draw();
    const int sx = TIMELINEX + 10;
    // Outline: white from sx, under the inner box that starts at sx + 4.
    EXPECT_EQ(Pixel(sx, layer_top(0) + 2), WHITE);
    EXPECT_EQ(Pixel(sx + 3, layer_top(0) + 30), WHITE);
    EXPECT_EQ(Pixel(sx + 3, layer_top(1) + 30), BACKGROUND);
    // The selected layer's label column is lighter.
    EXPECT_EQ(Pixel(100, layer_top(0) + 40), BACKGROUND);
    EXPECT_EQ(Pixel(100, layer_top(1) + 40), BLACK);

    s_demolayer *l1 = &demo->layer[1];
    demo->CreateEventTransform(l1, 512 * 110, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    Select(1, EDIT_TRANSFORM, 0);
    ::testing::internal::CaptureStdout();
    demo->DrawGUI();
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(Pixel(sx + 2, layer_top(1) + 30), BACKGROUND);
    EXPECT_EQ(Pixel(TIMELINEX + 100 + 2, layer_top(1) + 30), RED);
    EXPECT_EQ(Pixel(TIMELINEX + 100, layer_top(1) + 2), RED);
}

TEST_F(Screen, HiddenLayerUsesTheNormalFontAndStillShowsItsEvents) {
    AddLayers(2);
    Seek(0);
    demo->numresources = 1;
    snprintf(demo->resource[0].name, DEMO_NAMESIZE, "x");
    AddEffect(0, 512 * 10, 512 * 60, EFFECT_IMAGE, 0);
    AddEffect(1, 512 * 10, 512 * 60, EFFECT_IMAGE, 0);
    demo->layer[1].visible = false;
    Draw();
    const s_text shown = read_text(4, layer_top(0) + 8);
    const s_text hidden = read_text(4, layer_top(1) + 8);
    EXPECT_EQ(shown.font, 1);
    EXPECT_EQ(hidden.text, "[2] L1");
    EXPECT_EQ(hidden.font, 2);
    EXPECT_EQ(read_text(TIMELINEX + 14, layer_top(0) + 4).font, 1);
    const s_text label = read_text(TIMELINEX + 14, layer_top(1) + 4);
    EXPECT_EQ(label.text, "[Image]   x");
    EXPECT_EQ(label.font, 2);
    EXPECT_EQ(Pixel(TIMELINEX + 40, layer_top(1) + 30), EVENT_COLOURS[1]);
}

// Rows (from the row's top) where column x changes from white to green to black, the
// highlight, curve and shadow lines, or -1.
int CurveRow(int x, int top) {
    for (int y = top; y + 2 < top + 64; y++)
        if (rgb_of(gltest_pixel(x, y)) == WHITE && rgb_of(gltest_pixel(x, y + 1)) == CURVE &&
            rgb_of(gltest_pixel(x, y + 2)) == BLACK)
            return y + 1 - top;
    return -1;
}

TEST_F(Screen, ValueKeysFormOneCurve) {
    AddLayers(2);
    Seek(0);
    s_demolayer *l = &demo->layer[0];
    demo->CreateEventValue(l, 512 * 20, VALUE_BLEND, 0, 0.5f);
    demo->CreateEventValue(l, 512 * 220, VALUE_EFFECTVALUE1, 0, 0.5f);
    demo->CreateEventValue(l, 512 * 420, VALUE_BLEND, 0, 1.0f);
    demo->CreateEventValue(&demo->layer[1], 512 * 20, VALUE_BLEND, 0, 0.5f);
    Select(0, EDIT_VALUE, 1);
    Draw();
    const int top = layer_top(0);
    // 0.5 lies 56 - 24 = 32 rows below the row's top; the line may fall on either side of
    // the pixel boundary.
    const int row = CurveRow(TIMELINEX + 120, top);
    EXPECT_GE(row, 31);
    EXPECT_LE(row, 33);
    // Key dots: white, the selected one red, each in a black square.
    EXPECT_EQ(Pixel(TIMELINEX + 20, top + 32), WHITE);
    EXPECT_EQ(Pixel(TIMELINEX + 20 - 5, top + 32), BLACK);
    EXPECT_EQ(Pixel(TIMELINEX + 220, top + 32), RED);
    EXPECT_EQ(Pixel(TIMELINEX + 420, top + 8), WHITE);
    // A layer with a single key shows no key.
    EXPECT_EQ(Pixel(TIMELINEX + 20, layer_top(1) + 32), BACKGROUND);
}

TEST_F(Screen, CameraAndTransformKeys) {
    AddLayers(1);
    Seek(0);
    s_demolayer *l = &demo->layer[0];
    demo->CreateEventCamera(l, 512 * 10, 45, 0, 0, 0, 0, 0, 0);
    demo->CreateEventCamera(l, 512 * 40, 45, 0, 0, 0, 0, 0, 0);
    AddEffect(0, 512 * 60, 512 * 100, EFFECT_IMAGE, 0);
    ::testing::internal::CaptureStdout();
    demo->CreateEventTransform(l, 512 * 80, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    demo->CreateEventTransform(l, 512 * 120, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    ::testing::internal::GetCapturedStdout();
    Select(0, EDIT_CAMERA, 1);
    Draw();
    const int top = layer_top(0);
    EXPECT_EQ(Pixel(TIMELINEX + 10 + 7, top + 30), CAMERA);
    EXPECT_EQ(Pixel(TIMELINEX + 10, top + 30), BLACK);
    EXPECT_EQ(Pixel(TIMELINEX + 10 + 7, top + 8), BLACK);
    EXPECT_EQ(Pixel(TIMELINEX + 40 + 7, top + 30), RED);
    // Transform squares with black corners.
    const int tx = TIMELINEX + 80;
    EXPECT_EQ(Pixel(tx + 8, top + 32), TRANSFORM);
    EXPECT_EQ(Pixel(tx + 4, top + 24), TRANSFORM);
    for (int dx : {0, 12})
        for (int dy : {24, 36}) EXPECT_EQ(Pixel(tx + dx + 1, top + dy + 1), BLACK);

    Select(0, EDIT_TRANSFORM, 1);
    Draw();
    EXPECT_EQ(Pixel(TIMELINEX + 120 + 8, top + 32), RED);
    EXPECT_EQ(Pixel(tx + 8, top + 32), TRANSFORM);
}

TEST_F(Screen, TransformKeysAreHeldInsideTheirParent) {
    AddLayers(1);
    Seek(0);
    s_demolayer *l = &demo->layer[0];
    AddEffect(0, 10000, 20000, EFFECT_IMAGE, 0);
    ::testing::internal::CaptureStdout();
    demo->CreateEventTransform(l, 50000, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);  // after the end
    demo->CreateEventTransform(l, 500, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);    // before the start
    demo->CreateEventTransform(l, 70000, 0, 5, 0, 0, 0, 0, 0, 0, 1, 1, 1);  // no such parent
    demo->CreateEventTransform(l, 80000, 0, -1, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    ::testing::internal::GetCapturedStdout();
    Draw();
    EXPECT_EQ(l->event_transform[0].t, 30000);
    EXPECT_EQ(l->event_transform[1].t, 10000);
    EXPECT_EQ(l->event_transform[2].t, 70000);
    EXPECT_EQ(l->event_transform[3].t, 80000);
    EXPECT_EQ(Pixel(TIMELINEX + 30000 / 512 + 8, layer_top(0) + 32), TRANSFORM);
}

TEST_F(Screen, MarkersByTypeSelectionAndIndex) {
    AddLayers(1);
    Seek(0);
    for (int i = 0; i < 5; i++) demo->CreateMarker(512 * (40 + 100 * i), i);  // type 4 -> 0
    demo->CreateMarker(512 * 5000, 1);                                        // right of the screen
    demo->CreateMarker(-512 * 50, 2);  // left of the timeline
    demo->gui_selected_marker = 2;
    Draw();
    const int ty = demo->gui_timeliney;
    for (int i = 0; i < 5; i++) {
        const int sx = TIMELINEX + 40 + 100 * i;
        EXPECT_EQ(Pixel(sx + 12, ty + 16), MARKER_COLOURS[i & 3]) << i;
        EXPECT_EQ(Pixel(sx + 1, ty + 1), i == 2 ? RED : BACKGROUND) << i;
        const s_text number = read_text(sx + 30, ty - 12);
        EXPECT_EQ(number.text, std::to_string(i));
        EXPECT_EQ(number.font, 1);
    }
    EXPECT_EQ(Pixel(TIMELINEX + 1000, ty + 16), BACKGROUND);

    demo->gui_selected_markerarea = 1;
    Draw();
    EXPECT_EQ(Pixel(TIMELINEX + 1000, ty + 16), 0x402020u);
    EXPECT_EQ(Pixel(TIMELINEX - 20, ty + 16), BACKGROUND);
}

TEST_F(Screen, CursorOrPickedResource) {
    AddLayers(1);
    // Below the help text, right of the preview.
    const int cx = 1600, cy = 700;
    demo->gui_cursorx = cx;
    demo->gui_cursory = cy;
    Draw();
    EXPECT_EQ(Pixel(cx, cy), WHITE);
    EXPECT_EQ(Pixel(cx + 15, cy + 15), WHITE);
    EXPECT_EQ(Pixel(cx + 16, cy + 16), BACKGROUND);

    // A cursor sprite goes under the square.
    static s_bitmap image;
    static s_sprite cursor;
    MOX_CreateBitmap(24, 24, &image);
    MOX_ClearBitmapWithColor(image, (int)0xff00ff00);  // green
    MOX_GetSprite(0, 0, 24, 24, image, &cursor);
    demo->spr_guicursor = &cursor;
    Draw();
    EXPECT_EQ(Pixel(cx + 5, cy + 5), WHITE);
    EXPECT_EQ(Pixel(cx + 20, cy + 20), CURVE);

    demo->numresources = 2;
    snprintf(demo->resource[1].name, DEMO_NAMESIZE, "logo");
    demo->gui_selected_resource = 1;
    Draw();
    EXPECT_EQ(Pixel(cx - 128, cy + 47), 0x405060u);
    EXPECT_EQ(Pixel(cx + 127, cy), 0x405060u);
    EXPECT_EQ(Pixel(cx + 128, cy), BACKGROUND);
    EXPECT_EQ(Pixel(cx + 5, cy + 5), 0x405060u);
    const s_text label = read_text(cx - 126, cy);
    EXPECT_EQ(label.text, "logo");
    EXPECT_EQ(label.font, 1);

    // A pick past the table shows the box without a name.
    demo->gui_selected_resource = 40;
    Draw();
    EXPECT_EQ(Pixel(cx, cy + 20), 0x405060u);
    EXPECT_EQ(read_text(cx - 126, cy).text, "");
}

TEST_F(Screen, NoFontsAndBrokenCountsDrawWithoutText) {
    AddLayers(2);
    Seek(0);
    demo->guifont1 = nullptr;
    demo->guifont2 = nullptr;
    AddEffect(0, 512 * 10, 512 * 60, EFFECT_IMAGE, 5000);
    demo->CreateMarker(512 * 10, 0);
    Select(0, EDIT_VALUE, 7);  // no value key 7
    demo->gui_selected_resource = 3;
    demo->gui_zoom = 0.0f;
    Draw();
    EXPECT_EQ(read_text(4, 0).text, "");

    // Counts beyond their tables are read only up to the capacities.
    demo->guifont1 = &font1();
    demo->numlayers = 99;
    demo->nummarkers = 1 << 20;
    demo->numresources = -4;
    demo->gui_zoom = 8.0f;
    Draw();
    EXPECT_EQ(demo->gui_timeliney, H - ((DEMO_MAXLAYERS + 2) * 64 + 32));
}

TEST_F(Screen, RenderSizeAndFramebuffersThatDoNotFit) {
    AddLayers(1);
    Seek(1234);
    // No render size: no preview, and no division by it.
    demo->renderwidth = 0;
    Draw();
    EXPECT_EQ(Pixel(800, 200), BACKGROUND);
    demo->renderwidth = 1;
    demo->renderheight = 1 << 30;
    Draw();
    // Without the editor's framebuffer nothing is drawn, and the time and the timeline's top
    // still follow the music and the layers.
    MOX_SetFrameBuffer(0);
    MOX_ClearFrameBuffer(0xff0000ff);
    demo->gui_framebuffer_id = 99;
    demo->numlayers = 0;
    Seek(777);
    Draw();
    EXPECT_EQ(demo->position, 777);
    EXPECT_EQ(demo->gui_timeliney, H - 160);
    EXPECT_EQ(MOX_FrameBuffer->id, 0);
    EXPECT_EQ(Pixel(10, 10), RED);
}

// Waveform pixels of column x as a string: '|' waveform, '-' zero line, '.' empty.
std::string Column(const s_bitmap &bmp, int x) {
    std::string s;
    for (int y = 0; y < bmp.height; y++) {
        const unsigned p = MOX_GetPixel(x, y, bmp);
        s += p == 0xff00ffffu ? '|' : p == 0xffffffffu ? '-' : p == 0 ? '.' : '?';
    }
    return s;
}

std::string Expected(int from, int to) {
    std::string s(128, '.');
    for (int y = from; y < to; y++) s[y] = '|';
    s[76] = '-';
    return s;
}

using Waveform = DrawGUITest;

TEST_F(Waveform, KnownSignalAtTheTimelineScale) {
    AddLayers(1);
    // Mono: +16384 in even pixel steps of 512 frames, -16384 in odd ones.
    std::vector<int16_t> s(512 * 40);
    for (size_t i = 0; i < s.size(); i++) s[i] = (i / 512) % 2 ? -16384 : 16384;
    SetMusic16(s, 1);
    Draw();
    const s_bitmap &b = demo->bmp_waveform;
    // The sample at index 0 is never shown; +16384 reaches 76 + 38.4, -16384 76 - 38.4.
    EXPECT_EQ(Column(b, 0), Expected(0, 0));
    EXPECT_EQ(Column(b, 1), Expected(37, 76));
    EXPECT_EQ(Column(b, 2), Expected(77, 114));
    EXPECT_EQ(Column(b, 39), Expected(37, 76));
    EXPECT_EQ(Column(b, 40), Expected(0, 0));  // past the end
    EXPECT_EQ(Column(b, W - 1), Expected(0, 0));
    // The band on the screen, at the timeline's left edge below the marker strip.
    const int top = demo->gui_timeliney + 32;
    EXPECT_EQ(Pixel(TIMELINEX + 2, top + 100), WAVE);
    EXPECT_EQ(Pixel(TIMELINEX + 2, top + 76), WHITE);
    EXPECT_EQ(Pixel(TIMELINEX + 2, top + 120), BLACK);
    EXPECT_EQ(Pixel(TIMELINEX + 3, top + 50), WAVE);
    // Full scale down reaches 76 + 76.8 and is cut at the band's edge.
    std::fill(s.begin(), s.end(), (int16_t)32767);
    SetMusic16(s, 1);
    Draw();
    EXPECT_EQ(Column(b, 5), Expected(77, 128));
}

TEST_F(Waveform, StartStepsInWholePixelsAndFollowsTheFirstChannel) {
    AddLayers(1);
    // Stereo: left channel +8192 from frame 2048 on, right channel always -32768.
    std::vector<int16_t> s(2 * 512 * 30);
    for (size_t f = 0; f < s.size() / 2; f++) {
        s[2 * f] = f >= 2048 ? 8192 : 0;
        s[2 * f + 1] = -32768;
    }
    SetMusic16(s, 2);
    Soundsystem_SetSoundOffset(&demo->demomusic, 1024 + 100);
    Draw();
    const s_bitmap &b = demo->bmp_waveform;
    // The playhead has moved 2 pixels right of the timeline's left edge, which shows frame
    // 100, rounded down to the step: column x shows frame 512 x of the left channel.
    EXPECT_EQ(demo->gui_sliderx, 2);
    EXPECT_EQ(Column(b, 0), Expected(0, 0));
    EXPECT_EQ(Column(b, 3), Expected(0, 0));
    EXPECT_EQ(Column(b, 4), Expected(77, 95));  // 76 + 19.2
    EXPECT_EQ(Column(b, 5), Expected(77, 95));
    const std::string before = Column(b, 3);
    Soundsystem_SetSoundOffset(&demo->demomusic, 1024 + 200);
    Draw();
    EXPECT_EQ(Column(b, 3), before);
    // Zoom 0 draws at 1 frame a pixel: column x shows frame 1224 - gui_sliderx + x.
    demo->gui_zoom = 0.0f;
    Draw();
    const int lead = demo->gui_sliderx;
    EXPECT_EQ(Column(b, 823 + lead), Expected(0, 0));
    EXPECT_EQ(Column(b, 824 + lead), Expected(77, 95));
}

TEST_F(Waveform, EightBitAndEmptyMusic) {
    AddLayers(1);
    std::vector<uint8_t> s(512 * 8, 128);
    for (size_t i = 512; i < 1024; i++) s[i] = 0;     // -32768
    for (size_t i = 1024; i < 1536; i++) s[i] = 192;  // +16384
    for (size_t i = 3584; i < 4096; i++) s[i] = 0;
    SetMusic8(s, 1);
    Draw();
    const s_bitmap &b = demo->bmp_waveform;
    EXPECT_EQ(Column(b, 1), Expected(0, 76));
    EXPECT_EQ(Column(b, 2), Expected(77, 114));
    EXPECT_EQ(Column(b, 3), Expected(0, 0));

    // A length beyond the buffer reads only the buffer.
    demo->demomusic.length = 1u << 30;
    Draw();
    EXPECT_EQ(Column(b, 7), Expected(0, 76));
    EXPECT_EQ(Column(b, 8), Expected(0, 0));

    // No samples, no channels, no buffer: a flat line.
    for (auto change : {+[](s_sound &m) { m.length = 0; }, +[](s_sound &m) { m.numchannels = 0; },
                        +[](s_sound &m) { m.buffer = nullptr; }}) {
        SetMusic8(s, 1);
        change(demo->demomusic);
        Draw();
        EXPECT_EQ(Column(b, 1), Expected(0, 0));
        EXPECT_EQ(Column(b, 2), Expected(0, 0));
    }
}

TEST_F(Waveform, RewrittenEveryFrame) {
    AddLayers(1);
    std::vector<int16_t> s(512 * 100, 16384);
    SetMusic16(s, 1);
    Draw();
    const s_bitmap &b = demo->bmp_waveform;
    ASSERT_EQ(Column(b, 3), Expected(77, 114));
    MOX_ClearBitmap(b);
    Draw();
    EXPECT_EQ(Column(b, 3), Expected(77, 114));
    // New samples at the same place, then a position where the third column right of the
    // playhead lies past the end.
    for (int i = 0; i < 512 * 100; i++) ((int16_t *)music.data())[i] = -16384;
    Draw();
    EXPECT_EQ(Column(b, 3), Expected(37, 76));
    Soundsystem_SetSoundOffset(&demo->demomusic, 512 * 97);
    Draw();
    const int lead = demo->gui_sliderx;
    EXPECT_EQ(Column(b, lead + 3), Expected(0, 0));
    EXPECT_EQ(Column(b, lead + 2), Expected(37, 76));
}

}  // namespace
}  // namespace drawgui_test

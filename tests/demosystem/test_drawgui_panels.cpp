// Properties panel and resource list under GL: the lines for each kind of selection, the
// highlighted line, pictures, the help text, and the list's rows, marks and scrolling, read
// back from the editor's framebuffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demosystem/demosystem_grid.h"
#include "test_drawgui_fixture.h"

namespace drawgui_test {
namespace {

constexpr int PX = 1544;    // x of the property lines
constexpr int LINE0 = 112;  // y of line 0
constexpr uint32_t BACKGROUND = 0x202020;

int line_y(int n) { return LINE0 + 40 * n; }

class Panels : public DrawGUITest {
protected:
    void SetUp() override {
        DrawGUITest::SetUp();
        AddLayers(1);
    }

    // A descriptor filled in place, as loading leaves it.
    s_demoresource &Resource(int index, int id, int type, const char *name, int loaded = 1) {
        s_demoresource &r = demo->resource[index];
        r.id = id;
        r.type = type;
        snprintf(r.name, DEMO_NAMESIZE, "%s", name);
        snprintf(r.filename, DEMO_NAMESIZE, "%s.tga", name);
        r.loadOK = loaded;
        if (demo->numresources <= index) demo->numresources = index + 1;
        return r;
    }

    // Expects each line n of `lines` at line_y(n + first) + offset, in the highlight font
    // when n + first is the selected parameter.
    // Times and lengths as the panel writes them.
    std::string At(int t) {
        char out[48];
        GridFormat(*demo, out, sizeof out, t);
        return out;
    }
    std::string Span(int frames) {
        char out[48];
        GridFormatLength(*demo, out, sizeof out, frames);
        return out;
    }

    void ExpectLines(const std::vector<std::string> &lines, int first = 0, int offset = 0) {
        for (size_t n = 0; n < lines.size(); n++) {
            const int number = (int)n + first;
            const s_text t = read_text(PX, line_y(number) + offset);
            EXPECT_EQ(t.text, lines[n]) << "line " << number;
            EXPECT_EQ(t.font, number == demo->gui_selected_parameter ? 1 : 2) << "line " << number;
        }
        EXPECT_EQ(read_text(PX, line_y(first + (int)lines.size()) + offset).text, "");
    }

    // An 8x8 image of one colour in `image`.
    static s_bitmap &Fill(s_bitmap *image, uint32_t abgr) {
        MOX_CreateBitmap(8, 8, image);
        MOX_ClearBitmapWithColor(*image, (int)abgr);
        return *image;
    }
    // The same in an image of its own that sprites cut from, which the sprite table frees.
    static s_bitmap &Solid(int slot, uint32_t abgr) {
        static s_bitmap images[4];
        return Fill(&images[slot], abgr);
    }
};

TEST_F(Panels, HelpTextWithNothingSelected) {
    Draw();
    const s_text heading = read_text(1540, 48);
    EXPECT_EQ(heading.text, "How to use:");
    EXPECT_EQ(heading.font, 1);
    const char *lines[] = {"L/R=Move Item/Position",
                           "U/D=Change Item/Zoom",
                           "+CTRL to Snap",
                           "+SHIFT to switch selection",
                           "",
                           "SPACE=Resume/Pause",
                           "ENTER/RMB=Cancel",
                           "TAB=Add Item",
                           "BACK/DEL=Delete Item",
                           "Z=Save Project",
                           "X=Clear Project"};
    for (int k = 0; k < 11; k++) {
        const s_text t = read_text(1540, 96 + 40 * k);
        EXPECT_EQ(t.text, lines[k]);
        EXPECT_EQ(t.font, *lines[k] ? 2 : 0) << lines[k];
    }
}

TEST_F(Panels, PickedTextureShowsNamesAndNoPicture) {
    Resource(0, 0, RESOURCE_TEXTURE, "backdrop");
    Fill(&demo->resource_texture[0], 0xff0000ff);
    demo->gui_selected_resource = 0;
    Draw();
    const s_text heading = read_text(1540, 48);
    EXPECT_EQ(heading.text, "Resource Properties:");
    EXPECT_EQ(heading.font, 1);
    const s_text name = read_text(PX, 112);
    EXPECT_EQ(name.text, "Name: backdrop");
    EXPECT_EQ(name.font, 2);
    EXPECT_EQ(read_text(PX, 144).text, "Filename: backdrop.tga");
    EXPECT_EQ(Pixel(PX + 160, 176 + 120), BACKGROUND);
}

TEST_F(Panels, PickedSpriteShowsTheSprite) {
    Resource(0, 0, RESOURCE_TEXTURE, "backdrop");
    Resource(1, 3, RESOURCE_SPRITE, "ball");
    MOX_GetSprite(0, 0, 8, 8, Solid(1, 0xff00ff00), &demo->resource_sprite[3]);
    demo->gui_selected_resource = 1;
    Draw();
    EXPECT_EQ(read_text(PX, 112).text, "Name: ball");
    // 320 x 240 from (1544, 176).
    EXPECT_EQ(Pixel(PX, 176), 0x00ff00u);
    EXPECT_EQ(Pixel(PX + 319, 176 + 239), 0x00ff00u);
    EXPECT_EQ(Pixel(PX + 320, 176 + 100), BACKGROUND);
    EXPECT_EQ(Pixel(PX + 100, 176 + 240), BACKGROUND);

    // A sprite id outside the typed tables shows no picture.
    demo->resource[1].id = DEMO_MAXRESOURCES;
    Draw();
    EXPECT_EQ(read_text(PX, 112).text, "Name: ball");
    EXPECT_EQ(Pixel(PX + 100, 176 + 100), BACKGROUND);
}

TEST_F(Panels, ShaderEventNamesResourcesThenValues) {
    Resource(0, 0, RESOURCE_TEXTURE, "tex0");
    Resource(1, 1, RESOURCE_TEXTURE, "tex1");
    ::testing::internal::CaptureStdout();
    demo->CreateResource("plasma", "plasma.glsl", 0, "2 \"speed\" \"zoom\"", RESOURCE_SHADER);
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(demo->resource[2].numparams, 6);
    // Values 2 and 3 name no resource: past the table, and negative.
    const float values[6] = {1, 0, 7, -1, 1.5f, -2.25f};
    ::testing::internal::CaptureStdout();
    demo->CreateEventA(&demo->layer[0], 1000, 5000, EFFECT_SHADER, 2, 2, values);
    ::testing::internal::GetCapturedStdout();
    for (int i = 2; i < 6; i++) demo->layer[0].event[0].value[i] = values[i];
    Select(0, EDIT_EFFECT, 0);
    demo->gui_selected_parameter = 3;
    Draw();
    const s_text heading = read_text(1540, 48);
    EXPECT_EQ(heading.text, "Event 0 - Shader");
    EXPECT_EQ(heading.font, 1);
    ExpectLines({"Time: " + At(1000), "Length: " + Span(5000), "resource 1: tex1",
                 "resource 2: tex0", "resource 3:", "resource 4:", "speed: 1.50", "zoom: -2.25"});
    // The event's value count follows its descriptor.
    EXPECT_EQ(demo->layer[0].event[0].numvalues, 6);
}

TEST_F(Panels, FunctionAndOtherEventsAndEventsOnMissingResources) {
    ::testing::internal::CaptureStdout();
    demo->CreateResource("scene", "", 0, "1 \"speed\"", RESOURCE_FUNCTION);
    demo->CreateEventA(&demo->layer[0], 10, 20, EFFECT_FUNCTION, 0, 0, nullptr);
    demo->CreateEventA(&demo->layer[0], 30, 40, EFFECT_TEXT, 0, 0, nullptr);
    demo->CreateEventA(&demo->layer[0], 50, 60, EFFECT_SHADER, 9, 0, nullptr);
    demo->CreateEventA(&demo->layer[0], 70, 80, 12, -5, 0, nullptr);
    ::testing::internal::GetCapturedStdout();
    demo->layer[0].event[2].numvalues = 3;
    Select(0, EDIT_EFFECT, 0);
    Draw();
    EXPECT_EQ(read_text(1540, 48).text, "Event 0 - Function");
    ExpectLines({"Time: " + At(10), "Length: " + Span(20), "resource 1: scene", "resource 2: scene",
                 "resource 3: scene", "resource 4: scene", "speed: 0.00"});
    EXPECT_EQ(demo->layer[0].event[0].numvalues, 5);

    Select(0, EDIT_EFFECT, 1);
    Draw();
    EXPECT_EQ(read_text(1540, 48).text, "Event 1 - Text");
    ExpectLines({"Time: " + At(30), "Length: " + Span(40)});

    // No descriptor 9: the time lines only, and the value count stays.
    Select(0, EDIT_EFFECT, 2);
    Draw();
    EXPECT_EQ(read_text(1540, 48).text, "Event 2 - Shader");
    ExpectLines({"Time: " + At(50), "Length: " + Span(60)});
    EXPECT_EQ(demo->layer[0].event[2].numvalues, 3);

    // An unknown type has no name.
    Select(0, EDIT_EFFECT, 3);
    Draw();
    EXPECT_EQ(read_text(1540, 48).text, "Event 3 -");
    ExpectLines({"Time: " + At(70), "Length: " + Span(80)});
}

TEST_F(Panels, ImageEventShowsItsPictureAboveTheLines) {
    Resource(0, 2, RESOURCE_TEXTURE, "red");
    Resource(1, 5, RESOURCE_SPRITE, "green");
    Fill(&demo->resource_texture[2], 0xff0000ff);
    MOX_GetSprite(0, 0, 8, 8, Solid(1, 0xff00ff00), &demo->resource_sprite[5]);
    ::testing::internal::CaptureStdout();
    demo->CreateEventA(&demo->layer[0], 100, 200, EFFECT_IMAGE, 0, 0, nullptr);
    demo->CreateEventA(&demo->layer[0], 300, 400, EFFECT_IMAGE, 1, 0, nullptr);
    ::testing::internal::GetCapturedStdout();
    Select(0, EDIT_EFFECT, 0);
    demo->gui_selected_parameter = 1;
    Draw();
    EXPECT_EQ(read_text(1540, 48).text, "Event 0 - Image");
    EXPECT_EQ(Pixel(PX, LINE0), 0xff0000u);
    EXPECT_EQ(Pixel(PX + 319, LINE0 + 239), 0xff0000u);
    ExpectLines({"Time: " + At(100), "Length: " + Span(200)}, 0, 240);

    Select(0, EDIT_EFFECT, 1);
    Draw();
    EXPECT_EQ(Pixel(PX + 200, LINE0 + 100), 0x00ff00u);
    ExpectLines({"Time: " + At(300), "Length: " + Span(400)}, 0, 240);
}

TEST_F(Panels, ValueKeyLines) {
    demo->CreateEventValue(&demo->layer[0], 4410, VALUE_BLEND, CURVE_SMOOTHIN, 0.75f);
    demo->CreateEventValue(&demo->layer[0], 8820, 9, -1, -0.5f);
    Select(0, EDIT_VALUE, 0);
    demo->gui_selected_parameter = 2;
    Draw();
    const s_text heading = read_text(1540, 48);
    EXPECT_EQ(heading.text, "Value Event: 0");
    EXPECT_EQ(heading.font, 1);
    ExpectLines({"Time: " + At(4410), "Type: Blend", "Curvetype: Smooth In", "Value 0.75"});

    // Types outside the name tables show no name.
    Select(0, EDIT_VALUE, 1);
    Draw();
    EXPECT_EQ(read_text(1540, 48).text, "Value Event: 1");
    ExpectLines({"Time: " + At(8820), "Type:", "Curvetype:", "Value -0.50"});
}

TEST_F(Panels, TransformKeyHasTwelveLines) {
    ::testing::internal::CaptureStdout();
    demo->CreateEventTransform(&demo->layer[0], 123, CURVE_SMOOTH, 0, 0.1f, 0.2f, 0.3f, 90, -45,
                               180, 1, 2, 3);
    ::testing::internal::GetCapturedStdout();
    Select(0, EDIT_TRANSFORM, 0);
    demo->gui_selected_parameter = 10;
    Draw();
    EXPECT_EQ(read_text(1540, 48).text, "Transform Event: 0");
    ExpectLines({"Time: " + At(123), "Curvetype: Smooth", "Transform X: 0.10", "Transform Y: 0.20",
                 "Transform Z: 0.30", "Rotate X: 90.00", "Rotate Y: -45.00", "Rotate Z: 180.00",
                 "Scale X: 1.00", "Scale Y: 2.00", "Scale Z: 3.00", "Parent: 0"});
}

TEST_F(Panels, CameraKeyLines) {
    demo->CreateEventCamera(&demo->layer[0], 99, 60, 1, 2, 3, 4, 5, 6);
    Select(0, EDIT_CAMERA, 0);
    Draw();
    EXPECT_EQ(read_text(1540, 48).text, "Camera Event: 0");
    ExpectLines({"Time: " + At(99), "FOV: 60.00", "Position X: 1.00", "Position Y: 2.00",
                 "Position Z: 3.00", "Target X: 4.00", "Target Y: 5.00", "Target Z: 6.00"});
}

TEST_F(Panels, SelectedMarkerShowsItsTimeAndKindAndF1ListsTheKeys) {
    demo->CreateMarker(44100 * 61 + 22050, 6);
    demo->gui_selected_marker = 0;
    demo->gui_selected_markerarea = 1;
    demo->gui_selected_parameter = -1;  // no line of a marker is highlighted
    Draw();
    EXPECT_EQ(read_text(1540, 48).text, "Marker 0");
    ExpectLines({"Time: 01:01.50", "Kind: 2"});

    // The key list covers the screen, headings in the highlight font.
    demo->gui_selected_marker = -1;
    demo->gui_help = true;
    Draw();
    const s_text heading = read_text(32, 24);
    EXPECT_EQ(heading.text, "Keys and mouse (F1 closes this list)");
    EXPECT_EQ(heading.font, 1);
    EXPECT_EQ(read_text(1540, 48).text, "");
    demo->gui_help = false;
}

TEST_F(Panels, SelectionPastItsTableShowsNothing) {
    demo->CreateEventValue(&demo->layer[0], 10, VALUE_BLEND, 0, 0.5f);
    for (int kind = EDIT_EFFECT; kind <= EDIT_CAMERA; kind++) {
        Select(0, kind, 1);
        Draw();
        EXPECT_EQ(read_text(1540, 48).text, "") << kind;
        EXPECT_EQ(read_text(PX, LINE0).text, "") << kind;
    }
    Select(3, EDIT_VALUE, 0);  // a layer that is not in use
    Draw();
    EXPECT_EQ(read_text(1540, 48).text, "");
    Select(0, 7, 0);  // no such kind
    Draw();
    EXPECT_EQ(read_text(1540, 48).text, "");
}

// Resource list rows: y of row k.
int row_y(int k) { return 112 + 32 * k; }

TEST_F(Panels, ResourceListRowsAndMarks) {
    Resource(0, 0, RESOURCE_TEXTURE, "sky");
    Resource(1, 7, RESOURCE_SOUND, "beep", 0);
    Resource(2, 12, RESOURCE_POSTSHADER, "crt");
    Draw();
    const s_text heading = read_text(4, 48);
    EXPECT_EQ(heading.text, "Resources:");
    EXPECT_EQ(heading.font, 1);
    const char *ids[] = {"00", "07", "12"};
    const char *types[] = {"Texture", "", "Post"};
    const char *names[] = {"sky", "beep", "crt"};
    for (int k = 0; k < 3; k++) {
        const s_text id = read_text(4, row_y(k), 3);
        EXPECT_EQ(id.text, ids[k]);
        EXPECT_EQ(id.font, 2);
        EXPECT_EQ(read_text(52, row_y(k), 3).text, types[k]);
        EXPECT_EQ(read_text(184, row_y(k)).text, names[k]);
    }
    EXPECT_EQ(read_text(4, row_y(3)).text, "");
    // The resource that did not load has a red mark under its row.
    EXPECT_EQ(Pixel(4, row_y(1) + 24), 0xff0000u);
    EXPECT_EQ(Pixel(19, row_y(1) + 39), 0xff0000u);
    EXPECT_EQ(Pixel(4, row_y(0) + 24), BACKGROUND);
    EXPECT_EQ(Pixel(4, row_y(2) + 24), BACKGROUND);
}

TEST_F(Panels, ResourceListScrollsAndHighlightsThePickedRow) {
    for (int i = 0; i < 20; i++) {
        char name[16];
        snprintf(name, sizeof name, "res%d", i);
        Resource(i, i, RESOURCE_SPRITE, name);
    }
    demo->gui_resourcestart = 3;
    demo->gui_selected_resource = 5;
    Draw();
    for (int k = 0; k < 16; k++) {
        const s_text name = read_text(184, row_y(k));
        EXPECT_EQ(name.text, "res" + std::to_string(k + 3));
        EXPECT_EQ(name.font, k == 2 ? 1 : 2) << k;
        EXPECT_EQ(read_text(52, row_y(k), 3).font, k == 2 ? 1 : 2) << k;
    }
    EXPECT_EQ(read_text(4, row_y(15), 3).text, "18");
    EXPECT_EQ(read_text(4, row_y(16)).text, "");

    // Near the end only the remaining rows; before the start, rows stay empty.
    demo->gui_resourcestart = 17;
    Draw();
    EXPECT_EQ(read_text(184, row_y(2)).text, "res19");
    EXPECT_EQ(read_text(184, row_y(3)).text, "");
    demo->gui_resourcestart = -2;
    Draw();
    EXPECT_EQ(read_text(184, row_y(0)).text, "");
    EXPECT_EQ(read_text(184, row_y(2)).text, "res0");
    EXPECT_EQ(read_text(184, row_y(15)).text, "res13");
}

}  // namespace
}  // namespace drawgui_test

// Editor clipboard and layers under GL: copy, cut, paste at the play position and duplicate
// of several events and keys, each one undo step; the layers' order, names and hiding, kept by
// undo and, for hiding, by the project file (which readers of the name alone still read).
#include <fstream>
#include <sstream>

#include "core/corefile.h"
#include "demosystem/demosystem_undo.h"
#include "demosystem/test_editor_fixture.h"
#include "support/media.h"
#include "support/scratch.h"
#include "log_capture.h"

namespace {

using namespace editor_test;

class Clipboard : public Editor {
protected:
    void SetUp() override {
        Editor::SetUp();
        d.numresources = 1;
        float values[3] = {1, 2, 3};
        Quietly([&] {
            d.CreateEventA(&d.layer[1], 1000, 5000, EFFECT_SHADER, 0, 3, values);
            d.CreateEventTransform(&d.layer[1], 2000, 1, 0, 1, 2, 3, 0, 0, 0, 1, 1, 1);
        });
        d.CreateEventValue(&d.layer[2], 3000, VALUE_BLEND, 0, 0.25f);
        d.CreateEventCamera(&d.layer[2], 9000, 50, 0, 0, 0, 0, 0, 0);
        EditHistoryReset(d.gui_history.get(), d);
    }
    template <typename F>
    static void Quietly(F f) {
        LogCapture quiet;
        testing::internal::CaptureStdout();
        f();
        testing::internal::GetCapturedStdout();
    }
    void Press(int vk, std::initializer_list<int> mods = {}) {
        Quietly([&] { Tap(vk, mods); });
    }
    // The effect event, its transform key and the value key of layer 2 selected.
    void SelectThree() {
        Select(1, EDIT_EFFECT, 0);
        d.gui_selection = {
            {1, EDIT_EFFECT, 0, 0, 0}, {1, EDIT_TRANSFORM, 0, 0, 0}, {2, EDIT_VALUE, 0, 0, 0}};
    }
};

TEST_F(Clipboard, CopyAndPasteAtThePlayPositionOnTheSelectedLayer) {
    SelectThree();
    Press('C', {MOX_VK_CONTROL});
    // Ctrl+C copies; it adds no transform key as C alone does.
    EXPECT_EQ(d.layer[1].numevents_transform, 1);
    EXPECT_EQ(EditHistoryUndoSteps(*d.gui_history), 0);

    // Pasted at 100000 on layer 3 (the copied layers' order kept: layer 2's key goes to 4).
    Seek(100000);
    Select(3, 0, -1);
    Press('V', {MOX_VK_CONTROL});
    const s_demolayer &l3 = d.layer[3], &l4 = d.layer[4];
    ASSERT_EQ(l3.numevents, 1);
    EXPECT_EQ(l3.event[0].t, 100000);
    EXPECT_EQ(l3.event[0].length, 5000);
    EXPECT_EQ(l3.event[0].type, EFFECT_SHADER);
    EXPECT_EQ(l3.event[0].numvalues, 3);
    EXPECT_FLOAT_EQ(l3.event[0].value[2], 3.0f);
    EXPECT_NE(l3.event[0].value, d.layer[1].event[0].value);
    ASSERT_EQ(l3.numevents_transform, 1);
    EXPECT_EQ(l3.event_transform[0].t, 101000);
    EXPECT_EQ(l3.event_transform[0].parent, 0);
    EXPECT_FLOAT_EQ(l3.event_transform[0].z, 3.0f);
    ASSERT_EQ(l4.numevents_value, 1);
    EXPECT_EQ(l4.event_value[0].t, 102000);
    EXPECT_FLOAT_EQ(l4.event_value[0].value, 0.25f);
    // What was pasted is the selection; the originals stay.
    EXPECT_TRUE(d.IsSelected(3, EDIT_EFFECT, 0));
    EXPECT_TRUE(d.IsSelected(4, EDIT_VALUE, 0));
    EXPECT_FALSE(d.IsSelected(1, EDIT_EFFECT, 0));
    EXPECT_EQ(d.layer[1].numevents, 1);

    // One undo takes the whole paste back.
    Press('U');
    EXPECT_EQ(l3.numevents, 0);
    EXPECT_EQ(l3.numevents_transform, 0);
    EXPECT_EQ(l4.numevents_value, 0);
    // A paste on the top layer leaves out what would fall above it, and says so.
    Select(4, 0, -1);
    LogCapture log;
    testing::internal::CaptureStdout();
    Tap('V', {MOX_VK_CONTROL});
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(l4.numevents, 1);
    EXPECT_EQ(l4.numevents_value, 0);
    EXPECT_TRUE(log.Has("edit.paste_dropped"));
}

// A later event's key keeps belonging to it when an earlier event goes with its own key.
TEST_F(Clipboard, CutKeepsTheOtherEventsKeys) {
    float values[3] = {4, 5, 6};
    Quietly([&] {
        d.CreateEventA(&d.layer[1], 20000, 1000, EFFECT_SHADER, 0, 3, values);
        d.CreateEventTransform(&d.layer[1], 20500, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    });
    ASSERT_EQ(d.layer[1].event_transform[1].parent, 1);
    SelectThree();
    Press('X', {MOX_VK_CONTROL});
    ASSERT_EQ(d.layer[1].numevents, 1);
    EXPECT_EQ(d.layer[1].event[0].t, 20000);
    ASSERT_EQ(d.layer[1].numevents_transform, 1);
    EXPECT_EQ(d.layer[1].event_transform[0].t, 20500);
    EXPECT_EQ(d.layer[1].event_transform[0].parent, 0);
}

TEST_F(Clipboard, CutAndDuplicate) {
    SelectThree();
    Press('X', {MOX_VK_CONTROL});
    // Cut removes the three and nothing else (X alone would clear the project).
    EXPECT_EQ(d.layer[1].numevents, 0);
    EXPECT_EQ(d.layer[1].numevents_transform, 0);
    EXPECT_EQ(d.layer[2].numevents_value, 0);
    EXPECT_EQ(d.layer[2].numevents_camera, 1);
    Seek(50000);
    Press('V', {MOX_VK_CONTROL});
    EXPECT_EQ(d.layer[1].numevents, 1);
    EXPECT_EQ(d.layer[1].event[0].t, 50000);
    EXPECT_EQ(d.layer[2].event_value[0].t, 52000);
    Press('U');
    Press('U');
    EXPECT_EQ(d.layer[1].event[0].t, 1000);
    EXPECT_EQ(d.layer[2].numevents_value, 1);

    // Duplicate: right after the copied span (1000 .. 6000), on the same layers; the
    // clipboard keeps what was copied before.
    d.gui_clipboard = s_guiclipboard{};
    SelectThree();
    Press('D', {MOX_VK_CONTROL});
    ASSERT_EQ(d.layer[1].numevents, 2);
    EXPECT_EQ(d.layer[1].event[1].t, 6000);
    EXPECT_EQ(d.layer[1].event_transform[1].t, 7000);
    EXPECT_EQ(d.layer[1].event_transform[1].parent, 1);
    EXPECT_EQ(d.layer[2].event_value[1].t, 8000);
    EXPECT_TRUE(d.gui_clipboard.Empty());
    EXPECT_TRUE(d.IsSelected(1, EDIT_EFFECT, 1));
    // Again: the copy goes after the copy.
    Press('D', {MOX_VK_CONTROL});
    EXPECT_EQ(d.layer[1].event[2].t, 11000);
    Press('U');
    Press('U');
    EXPECT_EQ(d.layer[1].numevents, 1);
    EXPECT_EQ(d.layer[2].numevents_value, 1);

    // Nothing selected: nothing to copy, cut or duplicate, and an empty clipboard pastes
    // nothing.
    d.ClearSelection();
    Press('D', {MOX_VK_CONTROL});
    Press('X', {MOX_VK_CONTROL});
    Press('V', {MOX_VK_CONTROL});
    EXPECT_EQ(EditHistoryUndoSteps(*d.gui_history), 0);
}

TEST_F(Clipboard, LayersMoveRenameAndHideWithUndo) {
    snprintf(d.layer[1].name, DEMO_NAMESIZE, "one");
    snprintf(d.layer[2].name, DEMO_NAMESIZE, "two");
    EditHistoryReset(d.gui_history.get(), d);
    Select(1, 0, -1);
    // Page Up: a row up the screen, one place later; its events go with it.
    Press(MOX_VK_PRIOR);
    EXPECT_STREQ(d.layer[2].name, "one");
    EXPECT_STREQ(d.layer[1].name, "two");
    EXPECT_EQ(d.layer[2].numevents, 1);
    EXPECT_EQ(d.layer[1].numevents_value, 1);
    EXPECT_EQ(d.gui_selected_layer, 2);
    // The top and the bottom stay where they are.
    Select(4, 0, -1);
    Press(MOX_VK_PRIOR);
    Select(0, 0, -1);
    Press(MOX_VK_NEXT);
    EXPECT_EQ(EditHistoryUndoSteps(*d.gui_history), 1);
    Press('U');
    EXPECT_STREQ(d.layer[1].name, "one");
    EXPECT_EQ(d.layer[1].numevents, 1);

    // F2, a name typed with Shift for capitals, Enter. Escape while typing drops the typing
    // and does not ask to quit.
    Select(1, 0, -1);
    Press(MOX_VK_F1 + 1);
    for (int i = 0; i < 3; i++) Press(MOX_VK_BACK);
    Press('I', {MOX_VK_SHIFT});
    for (int vk : {(int)'N', (int)'T', (int)'R', (int)'O', 0xBD, (int)'2'}) Press(vk);
    EXPECT_STREQ(d.layer[1].name, "one");
    Press(MOX_VK_RETURN);
    EXPECT_STREQ(d.layer[1].name, "Intro-2");
    EXPECT_FALSE(d.gui_paused);  // Enter ended the typing, nothing else
    Press(MOX_VK_F1 + 1);
    Press('Q');
    Press(MOX_VK_ESCAPE);
    EXPECT_STREQ(d.layer[1].name, "Intro-2");
    EXPECT_FALSE(d.gui_quitasked);
    EXPECT_FALSE(d.gui_quit);
    Press('U');
    EXPECT_STREQ(d.layer[1].name, "one");

    // H hides and shows the selected layer; hiding is a change to save.
    d.gui_history->saved = (long)d.gui_history->current;
    Press('H');
    EXPECT_FALSE(d.layer[1].visible);
    EXPECT_TRUE(d.Unsaved());
    Press('U');
    EXPECT_TRUE(d.layer[1].visible);
}

class HiddenLayers : public Clipboard {
protected:
    test_support::TempDir dir;
    void TearDown() override {
        corefile_closeimage();
        Clipboard::TearDown();
    }
};

TEST_F(HiddenLayers, SurviveSaveAndLoadAndOlderFilesStillLoad) {
    ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
    snprintf(d.layer[1].name, DEMO_NAMESIZE, "back");
    Select(1, 0, -1);
    Press('H');
    Press('Z');
    std::ifstream in(dir / "demo.fentro");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("#layer \"back\" hidden\n"), std::string::npos) << text.str();

    auto loaded = std::make_unique<c_demo>();
    Quietly([&] { loaded->Load("demo.fentro"); });
    ASSERT_EQ(loaded->numlayers, DEMO_MAXLAYERS);
    EXPECT_STREQ(loaded->layer[1].name, "back");
    EXPECT_FALSE(loaded->layer[1].visible);
    EXPECT_TRUE(loaded->layer[0].visible);
    EXPECT_EQ(loaded->layer[1].numevents, 1);
    EXPECT_NE(loaded->ProjectText().find("#layer \"back\" hidden\n"), std::string::npos);

    // A file without the word, or with words it does not know, shows the layer.
    test_support::WriteFile(dir / "old.fentro",
                            "#renderwidth 64\n#renderheight 48\n#layer \"a\"\n"
                            "#layer \"b\" shown later\n#layer \"hidden\"\n");
    auto old = std::make_unique<c_demo>();
    Quietly([&] { old->Load("old.fentro"); });
    ASSERT_EQ(old->numlayers, 3);
    EXPECT_TRUE(old->layer[0].visible);
    EXPECT_TRUE(old->layer[1].visible);
    EXPECT_STREQ(old->layer[2].name, "hidden");
    EXPECT_TRUE(old->layer[2].visible);
    for (auto *demo : {loaded.get(), old.get()}) demo->Release();
}

}  // namespace

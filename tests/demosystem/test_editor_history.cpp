// Editor history and consistency under GL: undo and redo through the keys (a held key's change is
// one step, more than a thousand steps come back), a cleared project that undo brings back and
// that saves unchanged, the unsaved mark and the second Escape, tables kept in time order by any
// sequence of commands, the selected line one the panel shows, and times from the cursor kept on
// the timeline; without music a silent clock of the project's length.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/corefile.h"
#include "demosystem/demosystem_undo.h"
#include "demosystem/test_editor_fixture.h"
#include "support/media.h"
#include "support/scratch.h"
#include "log_capture.h"
#include "support/mutation.h"

namespace {

using namespace editor_test;

// A small production in the form the writer gives it, so that saving it back is byte-identical.
const char PROJECT[] =
    "#title \"history\"\n#renderwidth 64\n#renderheight 48\n#demotype 1\n#bpm 125\n"
    "#music \"\"\n\n#resources\n#texture 0 \"tex\" \"tex.tga\"\n"
    "#shader 1 \"sh\" \"sh.glsl\" :2 \"amount\" \"speed\"\n\n"
    "#marker 22050,0\n#marker 44100,1\n#marker 88200,2\n"
    "\n#layer \"back\"\n#event 0,88200,1,0,0:\n#event 88200,44100,3,1,6:0.00,1.00,0.00,0.00,0.25,"
    "0.125\n#eventtransform 1000,1,0,0.50,0.00,0.00,0.00,0.00,90.00,1.00,1.00,1.00\n"
    "#eventcamera 500,60.00,0.00,0.00,-5.00,0.00,0.00,0.00\n#eventvalue 0,1,0,1.00\n"
    "#eventvalue 44100,1,1,0.50\n"
    "\n#layer \"front\"\n#event 44100,22050,1,0,0:\n#eventvalue 0,1,0,1.00\n\n";

class History : public Editor {
protected:
    test_support::TempDir dir;

    void SetUp() override {
        Editor::SetUp();
        ASSERT_FALSE(dir.path().empty());
        test_support::WriteFile(dir / "demo.fentro", PROJECT);
        ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
        Quietly([&] { d.Load("demo.fentro"); });
        ASSERT_EQ(d.numlayers, 2);
        // The loaded project is the base of the history, as InitGUI makes it after a load.
        EditHistoryReset(d.gui_history.get(), d);
        original = d.ProjectText();
        ASSERT_EQ(original, PROJECT);
    }
    void TearDown() override {
        corefile_closeimage();
        Editor::TearDown();
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
    int UndoSteps() const { return EditHistoryUndoSteps(*d.gui_history); }
    std::string Read(const std::string &name) {
        std::ifstream in(dir / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string original;
};

TEST_F(History, ClearUndoSaveAndReloadGiveTheOriginalProject) {
    Press('X');
    EXPECT_EQ(d.nummarkers, 0);
    EXPECT_EQ(d.layer[0].numevents, 0);
    EXPECT_TRUE(d.Unsaved());
    Press('U');
    EXPECT_EQ(d.ProjectText(), original);
    EXPECT_FALSE(d.Unsaved());

    // Saving the same text leaves the file and its backups alone.
    const auto before = test_support::fs::last_write_time(dir / "demo.fentro");
    Press('Z');
    EXPECT_EQ(Read("demo.fentro"), PROJECT);
    EXPECT_EQ(test_support::fs::last_write_time(dir / "demo.fentro"), before);
    EXPECT_FALSE(test_support::fs::exists(dir / "backup.fentro"));

    auto again = test_support::NewDemo();
    Quietly([&] { again->Load("demo.fentro"); });
    EXPECT_EQ(again->ProjectText(), original);

    // Redo clears again; an edit after an undo drops what could be redone.
    Press('R');
    EXPECT_EQ(d.nummarkers, 0);
    Press('U');
    Select(1, EDIT_VALUE, 0);
    Press(MOX_VK_DOWN, {MOX_VK_CONTROL});
    EXPECT_EQ(EditHistoryRedoSteps(*d.gui_history), 0);
    Press('Y');
    EXPECT_EQ(d.nummarkers, 3);
}

TEST_F(History, AHeldKeyIsOneStepAndAThousandStepsComeBack) {
    Select(0, EDIT_VALUE, 1);
    Press(MOX_VK_RIGHT);
    Hold(MOX_VK_LEFT, 5);
    EXPECT_EQ(UndoSteps(), 2);
    Press('U');
    EXPECT_EQ(d.layer[0].event_value[1].t, 44100 + 4096);
    EXPECT_EQ(d.gui_selected_eventtype, EDIT_VALUE);
    Press('U');
    EXPECT_EQ(d.ProjectText(), original);
    EXPECT_EQ(UndoSteps(), 0);
    Press('U');  // nothing left: no change
    EXPECT_EQ(d.ProjectText(), original);

    // Every separate press is a step of its own.
    d.gui_selected_markerarea = 1;
    d.gui_selected_marker = 1;
    for (int i = 0; i < 1100; i++) Press(MOX_VK_UP, {MOX_VK_SHIFT});
    EXPECT_EQ(d.marker[1].type, (1 + 1100) & 3);
    EXPECT_EQ(UndoSteps(), 1100);
    for (int i = 0; i < 1100; i++) Press('U');
    EXPECT_EQ(d.ProjectText(), original);
    for (int i = 0; i < 1100; i++) Press('R');
    EXPECT_EQ(d.marker[1].type, (1 + 1100) & 3);
}

TEST_F(History, EscapeWithUnsavedChangesAsksOnce) {
    {
        LogCapture log;
        Press(MOX_VK_ESCAPE);
        EXPECT_TRUE(d.gui_quit);
        EXPECT_FALSE(log.Has("edit.quit_unsaved"));
    }
    d.gui_quit = false;
    Select(1, EDIT_VALUE, 0);
    Press(MOX_VK_DOWN, {MOX_VK_CONTROL});
    LogCapture log;
    Tap(MOX_VK_ESCAPE);
    EXPECT_FALSE(d.gui_quit);
    EXPECT_EQ(log.Count("edit.quit_unsaved"), 1);
    // A second Escape quits.
    Tap(MOX_VK_ESCAPE);
    EXPECT_TRUE(d.gui_quit);

    // Saved, the edit no longer holds the editor.
    d.gui_quit = false;
    d.gui_quitasked = false;
    Press('Z');
    EXPECT_FALSE(d.Unsaved());
    Tap(MOX_VK_ESCAPE);
    EXPECT_TRUE(d.gui_quit);
}

// True when every table of every layer and the markers are in time order, every transform key
// lies inside its parent and the selection is one the screen can show.
::testing::AssertionResult Consistent(c_demo &d) {
    auto ordered = [](const auto *table, int n) {
        for (int i = 1; i < n; i++)
            if (table[i].t < table[i - 1].t) return false;
        return true;
    };
    if (!ordered(d.marker, d.nummarkers)) return ::testing::AssertionFailure() << "markers";
    for (int i = 0; i < d.numlayers; i++) {
        const s_demolayer &l = d.layer[i];
        if (!ordered(l.event, l.numevents) || !ordered(l.event_value, l.numevents_value) ||
            !ordered(l.event_transform, l.numevents_transform) ||
            !ordered(l.event_camera, l.numevents_camera))
            return ::testing::AssertionFailure() << "layer " << i;
        for (int k = 0; k < l.numevents_transform; k++) {
            const s_transformevent &key = l.event_transform[k];
            if (key.parent < 0 || key.parent >= l.numevents) continue;
            const s_effectevent &p = l.event[key.parent];
            if (key.t < p.t || key.t > p.t + p.length)
                return ::testing::AssertionFailure() << "transform key " << k << " of layer " << i;
        }
    }
    if (d.gui_selected_eventtype == EDIT_EFFECT && d.gui_selected_layer >= 0 &&
        d.gui_selected_event >= 0 &&
        d.gui_selected_event < d.layer[d.gui_selected_layer].numevents) {
        const s_effectevent &e = d.layer[d.gui_selected_layer].event[d.gui_selected_event];
        if (d.gui_selected_parameter > 1 + d.PanelValueLines(e))
            return ::testing::AssertionFailure() << "line " << d.gui_selected_parameter;
    }
    return ::testing::AssertionSuccess();
}

TEST_F(History, NoCommandSequenceLeavesATableOutOfOrder) {
    const int keys[] = {MOX_VK_LEFT, MOX_VK_RIGHT,  MOX_VK_UP, MOX_VK_DOWN, MOX_VK_TAB,
                        MOX_VK_MENU, MOX_VK_DELETE, 'U',       'R'};
    const int mods[] = {0, MOX_VK_CONTROL, MOX_VK_SHIFT};
    test_support::xorshift rng{0x5eed2026};
    Quietly([&] {
        for (int step = 0; step < 3000; step++) {
            const size_t what = rng.below(10);
            if (what < 2) {
                // Select something: a layer row at a random time, or the marker strip.
                const int y = what == 0 ? TIMELINEY + 1 + (int)rng.below(30)
                                        : RowTop((int)rng.below(2)) + 1 + (int)rng.below(62);
                Click(TIMELINEX + 1 + (int)rng.below(WIDTH - TIMELINEX - 2), y);
            } else {
                const int vk = keys[rng.below(std::size(keys))];
                const int mod = mods[rng.below(std::size(mods))];
                // Held keys move by several frames; the arrows also go past their neighbours.
                const int frames = 1 + (int)rng.below(vk <= MOX_VK_DOWN ? 40 : 1);
                if (mod) {
                    Hold(vk, frames, {mod});
                } else {
                    Hold(vk, frames);
                }
            }
            ASSERT_TRUE(Consistent(d)) << "after command " << step;
        }
    });
}

TEST_F(History, SelectedLineIsOneThePanelShows) {
    // A post-processing event shows Time and Length only: Down stops at Length and no value
    // that the panel does not show changes.
    Resource(2, RESOURCE_POSTSHADER, "post", 6);
    Quietly([&] { d.AddEvent(&d.layer[1], 200000, 2); });
    s_demolayer &l = d.layer[1];
    ASSERT_EQ(l.event[1].type, EFFECT_POSTPROCESSING);
    Select(1, EDIT_EFFECT, 1);
    for (int i = 0; i < 4; i++) Press(MOX_VK_DOWN);
    EXPECT_EQ(d.gui_selected_parameter, 1);
    Press(MOX_VK_RIGHT);
    for (int i = 0; i < DEMO_MAXVALUES; i++) EXPECT_EQ(l.event[1].value[i], 0.0f) << i;

    // A shader event: Time, Length and its descriptor's six values; a walk to a texture
    // brings the line back to Length.
    Select(0, EDIT_EFFECT, 1);
    for (int i = 0; i < 10; i++) Press(MOX_VK_DOWN);
    EXPECT_EQ(d.gui_selected_parameter, 7);
    Press(MOX_VK_DOWN, {MOX_VK_SHIFT});  // resource 0: a texture
    EXPECT_EQ(d.layer[0].event[1].type, EFFECT_IMAGE);
    EXPECT_EQ(d.gui_selected_parameter, 1);
}

TEST_F(History, TimesFromTheCursorStayOnTheTimeline) {
    // Over the layer names the cursor time is before 0.
    Select(0, 0, -1);
    Cursor(20, 100);
    Press(MOX_VK_TAB);
    EXPECT_EQ(d.layer[0].event_value[0].t, 0);
    Press(MOX_VK_TAB, {MOX_VK_CONTROL});
    EXPECT_GE(d.layer[0].event_transform[0].t, 0);

    // A picked resource placed near the start begins at 0; past the music's end it begins at
    // the end.
    d.gui_selected_resource = 0;
    Quietly([&] { Click(TIMELINEX + 10, RowTop(1) + 20); });
    EXPECT_EQ(d.layer[1].event[0].t, 0);
    Seek(MUSICFRAMES - 1000);
    d.gui_selected_resource = 0;
    Quietly([&] { Click(WIDTH - 10, RowTop(1) + 20); });
    EXPECT_EQ(d.layer[1].event[d.layer[1].numevents - 1].t, MUSICFRAMES);
}

}  // namespace

namespace {

using namespace editor_test;

TEST_F(Editor, WithoutMusicTheClockRunsSilentOverTheProject) {
    for (const int last : {90, 20}) {
        auto other = test_support::NewDemo();
        LogCapture log;
        testing::internal::CaptureStdout();
        other->Init(64, 48, 1);
        other->CreateLayer(16, 16, "only");
        other->CreateEventA(&other->layer[0], 44100 * (last - 3), 44100 * 3, EFFECT_IMAGE, 0, 0,
                            nullptr);
        other->InitGUI(WIDTH, HEIGHT, &font, &font, nullptr);
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(log.Has("edit.music_missing"));
        EXPECT_TRUE(other->gui_silentmusic);
        // The last event's end, and at least a minute.
        const int end = 44100 * std::max(last, 60);
        EXPECT_EQ(other->TimelineEnd(), end);
        // Scrubbing and jumps move it as they move music.
        mox_keyevent(MOX_VK_RIGHT, 1);
        other->HandleGUI();
        mox_keyevent(MOX_VK_RIGHT, 0);
        Sync();
        EXPECT_EQ((int)Soundsystem_GetSoundOffset(other->demomusic), 8192);
        Soundsystem_SetSoundOffset(&other->demomusic, (uint64_t)end + 1000);
        EXPECT_EQ((int)Soundsystem_GetSoundOffset(other->demomusic), end - 1);
    }
    EXPECT_FALSE(d.gui_silentmusic);
}

}  // namespace

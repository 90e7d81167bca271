// Beat grid: snapping and stepping at every subdivision at two tempos, the ways times are
// written, and the editor's grid keys: new keys and moves land on the grid, undo takes a
// snapped move back.
#include <climits>
#include <cmath>
#include <cstring>

#include "demosystem/demosystem_grid.h"
#include "demosystem/demosystem_undo.h"
#include "demosystem/test_editor_fixture.h"

namespace {

using namespace editor_test;

struct Tempo {
    int bpm;
    double beat;  // frames per beat at 44100 frames per second
};
constexpr Tempo TEMPOS[] = {{125, 21168.0}, {120, 22050.0}};
constexpr double STEPSPERBEAT[] = {0, 1, 2, 4, 8, 3};

TEST(Grid, SnapsToTheNearestLineAtEverySubdivisionAndTempo) {
    for (const Tempo &tempo : TEMPOS) {
        EXPECT_DOUBLE_EQ(GridBeatFrames(tempo.bpm, 44100), tempo.beat);
        for (int division = GRID_BEAT; division < GRID_NUMDIVISIONS; division++) {
            SCOPED_TRACE(testing::Message() << tempo.bpm << " bpm, " << GridDivisionName(division));
            const double step = tempo.beat / STEPSPERBEAT[division];
            EXPECT_DOUBLE_EQ(GridStepFrames(tempo.bpm, 44100, division), step);
            for (int k : {0, 1, 2, 7, 100, 1001}) {
                const int line = (int)std::floor(k * step + 0.5);
                EXPECT_EQ(GridSnapTime(line, tempo.bpm, 44100, division), line);
                // Just under half a step either side comes back to the line.
                const int near = (int)(step / 2) - 1;
                EXPECT_EQ(GridSnapTime(line + near, tempo.bpm, 44100, division), line);
                if (k > 0) {
                    EXPECT_EQ(GridSnapTime(line - near, tempo.bpm, 44100, division), line);
                }
                EXPECT_EQ(GridNextTime(line, 1, tempo.bpm, 44100, division),
                          (int)std::floor((k + 1) * step + 0.5));
                if (k > 0) {
                    EXPECT_EQ(GridNextTime(line, -1, tempo.bpm, 44100, division),
                              (int)std::floor((k - 1) * step + 0.5));
                }
            }
        }
    }
    // Thirds of a beat at 120 bpm are not whole frames; lines do not drift from the tempo.
    EXPECT_EQ(GridSnapTime(7350 * 3000 + 100, 120, 44100, GRID_THIRD), 7350 * 3000);
    EXPECT_EQ(GridSnapTime(2756, 120, 44100, GRID_EIGHTH), 2756);
    EXPECT_EQ(GridSnapTime(2757 + 2756, 120, 44100, GRID_EIGHTH), 5513);
}

TEST(Grid, WithoutGridOrTempoTimesStayAndExtremesHold) {
    for (int t : {-5, 0, 12345, INT_MAX}) {
        EXPECT_EQ(GridSnapTime(t, 125, 44100, GRID_OFF), t);
        EXPECT_EQ(GridSnapTime(t, 0, 44100, GRID_BEAT), t);
        EXPECT_EQ(GridSnapTime(t, -120, 44100, GRID_QUARTER), t);
        EXPECT_EQ(GridSnapTime(t, 125, 44100, 99), t);
        EXPECT_EQ(GridNextTime(t, 1, 125, 0, GRID_BEAT), t);
    }
    // A tempo so fast that a step is shorter than a frame has no grid.
    EXPECT_EQ(GridStepFrames(INT_MAX, 44100, GRID_EIGHTH), 0);
    EXPECT_LE(GridNextTime(INT_MAX - 10, 1, 125, 44100, GRID_EIGHTH), INT_MAX);
    EXPECT_GE(GridNextTime(INT_MIN + 10, -1, 125, 44100, GRID_EIGHTH), INT_MIN);
    // A move shorter than half a step still reaches the next line; a longer one the nearest.
    EXPECT_EQ(GridMoveTime(21168, 100, 125, 44100, GRID_BEAT), 42336);
    EXPECT_EQ(GridMoveTime(21168, -100, 125, 44100, GRID_BEAT), 0);
    EXPECT_EQ(GridMoveTime(21168, 3 * 21168 - 50, 125, 44100, GRID_BEAT), 4 * 21168);
    EXPECT_EQ(GridMoveTime(100, 50, 125, 44100, GRID_OFF), 150);
    EXPECT_EQ(GridCycle(GRID_THIRD, 1), GRID_OFF);
    EXPECT_EQ(GridCycle(GRID_OFF, -1), GRID_THIRD);
    EXPECT_EQ(GridCycle(-7, 1), GRID_BEAT);
}

TEST(Grid, TimesReadAsBarsAndBeatsOrSeconds) {
    char s[64];
    GridFormatTime(s, sizeof s, 0, 120, 44100, true);
    EXPECT_STREQ(s, "1:1.00");
    // Bar 3, beat 2 and a half at 120 bpm: (2 x 4 + 1.5) beats.
    GridFormatTime(s, sizeof s, (long long)(9.5 * 22050), 120, 44100, true);
    EXPECT_STREQ(s, "3:2.50");
    // A hair before a beat rounds up into it.
    GridFormatTime(s, sizeof s, 4 * 21168 - 1, 125, 44100, true);
    EXPECT_STREQ(s, "2:1.00");
    GridFormatTime(s, sizeof s, -22050, 120, 44100, true);
    EXPECT_STREQ(s, "-1:2.00");
    GridFormatTime(s, sizeof s, 66150, 120, 44100, false);
    EXPECT_STREQ(s, "1.500 s");
    // Without a tempo bars:beats falls back to seconds.
    GridFormatTime(s, sizeof s, 44100, 0, 44100, true);
    EXPECT_STREQ(s, "1.000 s");
    GridFormatSpan(s, sizeof s, 55125, 120, 44100, true);
    EXPECT_STREQ(s, "2.50 beats");
    GridFormatSpan(s, sizeof s, 22050, 120, 44100, false);
    EXPECT_STREQ(s, "0.500 s");
    GridFormatTime(s, 4, 123456789, 120, 44100, true);
    EXPECT_EQ(strlen(s), 3u);
}

class EditorGrid : public Editor {
protected:
    s_demolayer &l = d.layer[0];
};

TEST_F(EditorGrid, GridKeyCyclesAndNewKeysLandOnTheGrid) {
    d.bpm = 120;
    EXPECT_EQ(d.gui_snap, GRID_OFF);
    for (int expected :
         {GRID_BEAT, GRID_HALF, GRID_QUARTER, GRID_EIGHTH, GRID_THIRD, GRID_OFF, GRID_BEAT}) {
        Tap('G');
        EXPECT_EQ(d.gui_snap, expected);
    }
    Tap('G', {MOX_VK_SHIFT});
    EXPECT_EQ(d.gui_snap, GRID_OFF);
    Tap('G', {MOX_VK_SHIFT});
    EXPECT_EQ(d.gui_snap, GRID_THIRD);

    // Tab on a selected layer adds a value key at the cursor, snapped to the nearest third.
    Click(XOf(30000), RowTop(0) + 32);
    ASSERT_EQ(d.gui_selected_layer, 0);
    Tap(MOX_VK_TAB);
    ASSERT_EQ(l.numevents_value, 1);
    EXPECT_EQ(l.event_value[0].t, 29400);  // 4 x 7350

    // Ctrl+Tab adds a transform key on the grid too, here whole beats.
    d.gui_snap = GRID_BEAT;
    d.CreateEventA(&l, 0, 200000, EFFECT_IMAGE, 0, 0, nullptr);
    Click(XOf(50000), RowTop(0) + 32);
    Tap(MOX_VK_TAB, {MOX_VK_CONTROL});
    ASSERT_EQ(l.numevents_transform, 1);
    EXPECT_EQ(l.event_transform[0].t, 44100);
}

TEST_F(EditorGrid, HeldMovesStepAlongTheGridAndUndoTakesThemBack) {
    d.bpm = 125;
    d.gui_snap = GRID_QUARTER;  // 5292 frames
    d.CreateEventValue(&l, 10000, VALUE_BLEND, CURVE_LINEAR, 0.5f);
    d.CreateEventValue(&l, 900000, VALUE_BLEND, CURVE_LINEAR, 0.5f);
    EditHistoryReset(d.gui_history.get(), d);
    Select(0, EDIT_VALUE, 0);
    // The held step is 4096 frames: each frame goes to the line nearest the moved time, and
    // at least to the next line.
    Hold(MOX_VK_RIGHT, 1);
    EXPECT_EQ(l.event_value[0].t, 15876);
    Hold(MOX_VK_RIGHT, 3);
    EXPECT_EQ(l.event_value[0].t, 15876 + 3 * 5292);
    Hold(MOX_VK_LEFT, 2);
    EXPECT_EQ(l.event_value[0].t, 15876 + 5292);
    ASSERT_TRUE(d.Undo());
    EXPECT_EQ(l.event_value[0].t, 15876 + 3 * 5292);
    ASSERT_TRUE(d.Undo());
    ASSERT_TRUE(d.Undo());
    EXPECT_EQ(l.event_value[0].t, 10000);

    // An effect event's start and end move on the grid of whole beats.
    d.gui_snap = GRID_BEAT;
    d.CreateEventA(&l, 30000, 50000, EFFECT_IMAGE, 0, 0, nullptr);
    Select(0, EDIT_EFFECT, 0);
    Hold(MOX_VK_RIGHT, 1);
    EXPECT_EQ(l.event[0].t, 42336);
    d.gui_selected_parameter = 1;
    Hold(MOX_VK_RIGHT, 1);
    EXPECT_EQ(l.event[0].t + l.event[0].length, 5 * 21168);
    Hold(MOX_VK_LEFT, 1);
    EXPECT_EQ(l.event[0].t + l.event[0].length, 4 * 21168);

    // Off again: the plain step of the zoom.
    d.gui_snap = GRID_OFF;
    d.gui_selected_parameter = 0;
    Hold(MOX_VK_RIGHT, 1);
    EXPECT_EQ(l.event[0].t, 42336 + 4096);
}

}  // namespace

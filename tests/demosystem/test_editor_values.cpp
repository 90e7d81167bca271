// Values by number in the editor: typed values (digits, '.', '-', Backspace, Enter, Escape) on
// value keys, transform lines and event values, fine and coarse steps, curve types of the
// selected keys through all nine, and undo of each of them.
#include <string>

#include "demosystem/demosystem_undo.h"
#include "demosystem/demosystem_values.h"
#include "demosystem/test_editor_fixture.h"
#include "log_capture.h"

namespace {

using namespace editor_test;

constexpr int VK_MINUS = 0xBD, VK_EQUALS = 0xBB, VK_OPEN = 0xDB, VK_CLOSE = 0xDD;
constexpr int VK_PERIOD = 0xBE;

class Values : public Editor {
protected:
    s_demolayer &l = d.layer[0];

    void SetUp() override {
        Editor::SetUp();
        d.CreateEventValue(&l, 10000, VALUE_BLEND, CURVE_LINEAR, 0.5f);
        d.CreateEventValue(&l, 20000, VALUE_BLEND, CURVE_LINEAR, 0.25f);
        d.CreateEventA(&l, 0, 100000, EFFECT_IMAGE, 0, 0, nullptr);
        d.CreateEventTransform(&l, 5000, CURVE_LINEAR, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
        EditHistoryReset(d.gui_history.get(), d);
    }

    // Types the characters of `text` ('.' and '-' included) one key at a time.
    void Type(const std::string &text) {
        for (char c : text) Tap(c == '.' ? VK_PERIOD : c == '-' ? VK_MINUS : c);
    }
};

TEST_F(Values, TypedValueSetsTheSelectedLineAndUndoTakesItBack) {
    Select(0, EDIT_VALUE, 0);
    Tap('E');
    ASSERT_TRUE(d.gui_typing);
    // 1 and 2 are digits here, not pause and delete.
    Type("-12.57");
    Tap(MOX_VK_BACK);
    Type("2");
    EXPECT_STREQ(d.gui_entry, "-12.52");
    EXPECT_FALSE(d.gui_paused);
    ASSERT_EQ(l.numevents_value, 2);
    Tap(MOX_VK_RETURN);
    EXPECT_FALSE(d.gui_typing);
    EXPECT_FLOAT_EQ(l.event_value[0].value, -12.52f);
    EXPECT_FALSE(d.gui_paused);
    ASSERT_TRUE(d.Undo());
    EXPECT_FLOAT_EQ(l.event_value[0].value, 0.5f);

    // Escape drops what was typed, without asking to quit.
    Select(0, EDIT_VALUE, 1);
    Tap('E');
    Type("7");
    Tap(MOX_VK_ESCAPE);
    EXPECT_FALSE(d.gui_typing);
    EXPECT_FALSE(d.gui_quit);
    EXPECT_FALSE(d.gui_quitasked);
    EXPECT_FLOAT_EQ(l.event_value[1].value, 0.25f);

    // What is no number stays open for correction.
    LogCapture log;
    Tap('E');
    Type("1-.");
    Tap(MOX_VK_RETURN);
    EXPECT_TRUE(log.Has("edit.value_invalid"));
    EXPECT_TRUE(d.gui_typing);
    for (int i = 0; i < 3; i++) Tap(MOX_VK_BACK);
    Type(".75");
    Tap(MOX_VK_RETURN);
    EXPECT_FALSE(d.gui_typing);
    EXPECT_FLOAT_EQ(l.event_value[1].value, 0.75f);
    // More characters than a value needs are not taken.
    Tap('E');
    Type(std::string(40, '9'));
    EXPECT_EQ(std::string(d.gui_entry).size(), (size_t)VALUE_MAXTYPED);
    Tap(MOX_VK_ESCAPE);
}

TEST_F(Values, TypedValuesReachTransformLinesAndEventValuesOnly) {
    // Transform Z is line 4.
    Select(0, EDIT_TRANSFORM, 0);
    d.gui_selected_parameter = 4;
    Tap('E');
    Type("3.5");
    Tap(MOX_VK_RETURN);
    EXPECT_FLOAT_EQ(l.event_transform[0].z, 3.5f);
    // The time line takes no typed value.
    LogCapture log;
    d.gui_selected_parameter = 0;
    Tap('E');
    EXPECT_FALSE(d.gui_typing);
    EXPECT_TRUE(log.Has("edit.value_none"));

    // A shader event's fifth value (line 6).
    Resource(1, RESOURCE_SHADER, "sh", 6);
    s_effectevent &e = l.event[0];
    e.id = 1;
    e.type = EFFECT_SHADER;
    e.numvalues = 6;
    Select(0, EDIT_EFFECT, 0);
    d.gui_selected_parameter = 6;
    Tap('E');
    Type("-2");
    Tap(MOX_VK_RETURN);
    EXPECT_FLOAT_EQ(e.value[4], -2.0f);
    EXPECT_FLOAT_EQ(e.value[5], 0.0f);
}

TEST_F(Values, StepsAreFineAndCoarseAndUndoable) {
    Select(0, EDIT_VALUE, 0);
    Tap(VK_EQUALS);
    EXPECT_FLOAT_EQ(l.event_value[0].value, 0.51f);
    Tap(VK_CLOSE);
    EXPECT_FLOAT_EQ(l.event_value[0].value, 1.51f);
    Tap(VK_OPEN);
    Tap(VK_OPEN);
    EXPECT_FLOAT_EQ(l.event_value[0].value, -0.49f);
    Tap(VK_MINUS);
    EXPECT_FLOAT_EQ(l.event_value[0].value, -0.5f);
    ASSERT_TRUE(d.Undo());
    EXPECT_FLOAT_EQ(l.event_value[0].value, -0.49f);

    // Transform Rotate Y (line 6) steps the same ways.
    Select(0, EDIT_TRANSFORM, 0);
    d.gui_selected_parameter = 6;
    Tap(VK_CLOSE);
    Tap(VK_MINUS);
    EXPECT_FLOAT_EQ(l.event_transform[0].roty, 0.99f);
}

TEST_F(Values, CurveTypesCycleThroughAllNineOnTheSelectedKeys) {
    Select(0, EDIT_VALUE, 0);
    for (int expected = 1; expected <= DEMO_NUMCURVETYPES; expected++) {
        Tap('K');
        EXPECT_EQ(l.event_value[0].curvetype, expected % DEMO_NUMCURVETYPES);
    }
    Tap('K', {MOX_VK_SHIFT});
    EXPECT_EQ(l.event_value[0].curvetype, CURVE_RANDOM);
    EXPECT_EQ(l.event_value[1].curvetype, CURVE_LINEAR);
    ASSERT_TRUE(d.Undo());
    EXPECT_EQ(l.event_value[0].curvetype, CURVE_LINEAR);

    // Both keys of a selection of two; a transform key too.
    Select(0, EDIT_VALUE, 0);
    d.gui_selection = {{0, EDIT_VALUE, 0, 0, 0}, {0, EDIT_VALUE, 1, 0, 0}};
    Tap('K');
    EXPECT_EQ(l.event_value[0].curvetype, CURVE_SMOOTH);
    EXPECT_EQ(l.event_value[1].curvetype, CURVE_SMOOTH);
    d.gui_selection.clear();
    Select(0, EDIT_TRANSFORM, 0);
    l.event_transform[0].curvetype = 42;  // out of range: starts again from Linear
    Tap('K');
    EXPECT_EQ(l.event_transform[0].curvetype, CURVE_SMOOTH);
    // A camera key has no curve: nothing changes.
    LogCapture log;
    d.CreateEventCamera(&l, 1000, 60, 0, 0, 0, 0, 0, 0);
    Select(0, EDIT_CAMERA, 0);
    Tap('K');
    EXPECT_TRUE(log.Has("edit.curve_none"));

    EXPECT_EQ(CycleCurve(0, -1), CURVE_RANDOM);
    EXPECT_EQ(CycleCurve(-5, 1), CURVE_SMOOTH);
}

TEST_F(Values, CurveViewEvaluatesTheTrackWithoutDrawingRandomNumbers) {
    Tap('W');
    EXPECT_TRUE(d.gui_curveview);
    l.event_value[0].curvetype = CURVE_SMOOTH;
    // Between the keys the view follows the curve playback takes.
    d.position = 15000;
    EXPECT_FLOAT_EQ(d.ValueAt(&l, VALUE_BLEND, 15000), d.GetValue(&l, VALUE_BLEND));
    // A Random segment holds its start value and leaves the shared generator alone.
    l.event_value[0].curvetype = CURVE_RANDOM;
    srand(7);
    const int next = rand();
    srand(7);
    EXPECT_FLOAT_EQ(d.ValueAt(&l, VALUE_BLEND, 15000), 0.5f);
    EXPECT_EQ(rand(), next);
    Tap('W');
    EXPECT_FALSE(d.gui_curveview);
}

}  // namespace

// Demo data model: set-up, capacities of the loading operations, insertion rules of the
// editing operations, the parent rule of transform keys, deletion and event lookup.
#include <gtest/gtest.h>

#include <memory>

#include "demosystem/demosystem.h"
#include "support/demo_owner.h"

namespace {

class Model : public ::testing::Test {
protected:
    void SetUp() override {
        demo = test_support::NewDemo();  // zero-initialised, on the heap
        demo->Init(64, 48, 1);
        demo->CreateLayer(64, 48, "layer");
        dl = &demo->layer[0];
    }
    test_support::DemoPtr demo;
    s_demolayer *dl = nullptr;
};

TEST_F(Model, InitStartsAnEmptyProduction) {
    c_demo &d = *demo;
    d.bpm = 90;
    d.position = 1234;
    d.CreateMarker(10, 1);
    d.Init(320, 200, 7);
    EXPECT_EQ(d.renderwidth, 320);
    EXPECT_EQ(d.renderheight, 200);
    EXPECT_EQ(d.demotype, 7);
    EXPECT_EQ(d.bpm, 125);
    EXPECT_EQ(d.position, 0);
    EXPECT_EQ(d.duration, 0);
    EXPECT_EQ(d.numlayers, 0);
    EXPECT_EQ(d.numresources, 0);
    EXPECT_EQ(d.nummarkers, 0);
}

TEST_F(Model, LayersStopAtFive) {
    for (int i = 0; i < 6; i++) demo->CreateLayer(64, 48, i == 5 ? "sixth" : "more");
    EXPECT_EQ(demo->numlayers, DEMO_MAXLAYERS);
    EXPECT_STREQ(demo->layer[1].name, "more");
    EXPECT_TRUE(demo->layer[1].visible);
    EXPECT_EQ(demo->layer[1].numevents, 0);
}

TEST_F(Model, LoadingOperationsAppendUpToCapacity) {
    for (int i = 0; i < DEMO_MAXMARKERS + 3; i++) demo->CreateMarker(i, i & 3);
    EXPECT_EQ(demo->nummarkers, DEMO_MAXMARKERS);
    EXPECT_EQ(demo->marker[DEMO_MAXMARKERS - 1].t, DEMO_MAXMARKERS - 1);

    const float v[3] = {1.5f, 2.5f, 3.5f};
    for (int i = 0; i < DEMO_MAXEVENTS + 2; i++) demo->CreateEventA(dl, i * 10, 10, 3, 0, 3, v);
    EXPECT_EQ(dl->numevents, DEMO_MAXEVENTS);
    EXPECT_EQ(dl->event[63].t, 630);

    for (int i = 0; i < DEMO_MAXKEYS + 2; i++) {
        demo->CreateEventValue(dl, i, 1, 0, 0.5f);
        demo->CreateEventTransform(dl, i, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
        demo->CreateEventCamera(dl, i, 60, 0, 0, 0, 0, 0, 0);
    }
    EXPECT_EQ(dl->numevents_value, DEMO_MAXKEYS);
    EXPECT_EQ(dl->numevents_transform, DEMO_MAXKEYS);
    EXPECT_EQ(dl->numevents_camera, DEMO_MAXKEYS);
}

TEST_F(Model, CreatedEventOwnsThirtyTwoValuesZeroBeyondItsCount) {
    const float v[40] = {1, 2, 3};
    demo->CreateEventA(dl, 0, 100, 3, 2, 3, v);
    demo->CreateEventA(dl, 100, 100, 3, 2, 40, v);
    const s_effectevent &e = dl->event[0];
    EXPECT_EQ(e.numvalues, 3);
    EXPECT_FLOAT_EQ(e.value[2], 3);
    for (int i = 3; i < DEMO_MAXVALUES; i++) EXPECT_EQ(e.value[i], 0.0f) << i;
    EXPECT_EQ(dl->event[1].numvalues, DEMO_MAXVALUES);
    EXPECT_NE(dl->event[0].value, dl->event[1].value);
}

TEST_F(Model, KeysAtAnExistingTimeGoBeforeIt) {
    demo->AddMarker(100, 1);
    demo->AddMarker(300, 1);
    demo->AddMarker(100, 2);
    demo->AddMarker(200, 3);
    ASSERT_EQ(demo->nummarkers, 4);
    EXPECT_EQ(demo->marker[0].type, 2);
    EXPECT_EQ(demo->marker[1].type, 1);
    EXPECT_EQ(demo->marker[2].t, 200);
    EXPECT_EQ(demo->marker[3].t, 300);

    demo->AddEventValue(dl, 500, 1, 0, 0.1f);
    demo->AddEventValue(dl, 100, 1, 0, 0.2f);
    demo->AddEventValue(dl, 500, 2, 0, 0.3f);
    ASSERT_EQ(dl->numevents_value, 3);
    EXPECT_FLOAT_EQ(dl->event_value[0].value, 0.2f);
    EXPECT_FLOAT_EQ(dl->event_value[1].value, 0.3f);
    EXPECT_FLOAT_EQ(dl->event_value[2].value, 0.1f);
    // The key just added is the editor's selection.
    EXPECT_EQ(demo->gui_selected_event, 1);
    EXPECT_EQ(demo->gui_selected_eventtype, EDIT_VALUE);
}

TEST_F(Model, AddEventLeavesOtherValuesAndZeroesItsOwn) {
    demo->CreateResource("tex", "tex.tga", 0, nullptr, RESOURCE_TEXTURE);
    demo->CreateResource("sh", "sh.txt", 5, "2 \"a\" \"b\"", RESOURCE_SHADER);
    const float v1[2] = {1, 2}, v2[2] = {3, 4};
    demo->CreateEventA(dl, 0, 1000, 3, 1, 2, v1);
    demo->CreateEventA(dl, 5000, 1000, 3, 1, 2, v2);
    float *block0 = dl->event[0].value, *block1 = dl->event[1].value;

    demo->AddEvent(dl, 5000, 1);
    ASSERT_EQ(dl->numevents, 3);
    EXPECT_EQ(dl->event[0].value, block0);
    EXPECT_EQ(dl->event[2].value, block1);
    EXPECT_FLOAT_EQ(dl->event[0].value[1], 2);
    EXPECT_FLOAT_EQ(dl->event[2].value[0], 3);
    const s_effectevent &e = dl->event[1];
    EXPECT_EQ(e.t, 5000);
    EXPECT_EQ(e.length, 65536);
    EXPECT_EQ(e.id, 1);  // the descriptor's place in the table, not its typed id 5
    EXPECT_EQ(e.type, EFFECT_SHADER);
    EXPECT_EQ(e.numvalues, 6);
    for (int i = 0; i < DEMO_MAXVALUES; i++) EXPECT_EQ(e.value[i], 0.0f);

    demo->AddEvent(dl, 100, 0);
    EXPECT_EQ(dl->event[1].type, EFFECT_IMAGE);
    EXPECT_EQ(dl->event[1].numvalues, 4);
    demo->AddEvent(dl, 100, 7);  // no such descriptor
    EXPECT_EQ(dl->numevents, 4);
}

TEST_F(Model, TransformKeyParentIsLastEventStartingBefore) {
    const float v[1] = {0};
    demo->CreateEventA(dl, 1000, 500, 1, 0, 0, v);
    demo->CreateEventA(dl, 2000, 500, 1, 0, 0, v);
    demo->CreateEventA(dl, 3000, 500, 1, 0, 0, v);

    demo->AddEventTransform(dl, 500, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    EXPECT_EQ(dl->event_transform[0].parent, 0);
    demo->AddEventTransform(dl, 3200, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9);
    EXPECT_EQ(dl->event_transform[1].parent, 2);
    // At exactly an event's start that event does not count.
    demo->AddEventTransform(dl, 2000, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    EXPECT_EQ(dl->event_transform[1].parent, 0);
    EXPECT_EQ(demo->gui_selected_event, 1);
    EXPECT_EQ(demo->gui_selected_eventtype, EDIT_TRANSFORM);
    const s_transformevent &k = dl->event_transform[2];
    EXPECT_EQ(k.t, 3200);
    EXPECT_EQ(k.curvetype, 1);
    EXPECT_FLOAT_EQ(k.x, 1);
    EXPECT_FLOAT_EQ(k.scalez, 9);
}

TEST_F(Model, EditingOperationsOnAFullTableDoNothing) {
    for (int i = 0; i < DEMO_MAXMARKERS; i++) demo->CreateMarker(i * 10, 0);
    demo->AddMarker(5, 3);
    EXPECT_EQ(demo->nummarkers, DEMO_MAXMARKERS);
    EXPECT_EQ(demo->marker[1].t, 10);

    const float v[1] = {0};
    for (int i = 0; i < DEMO_MAXEVENTS; i++) demo->CreateEventA(dl, i * 10, 10, 1, 0, 0, v);
    demo->CreateResource("tex", "tex.tga", 0, nullptr, RESOURCE_TEXTURE);
    demo->AddEvent(dl, 5, 0);
    EXPECT_EQ(dl->numevents, DEMO_MAXEVENTS);
    EXPECT_EQ(dl->event[1].t, 10);

    for (int i = 0; i < DEMO_MAXKEYS; i++) {
        demo->CreateEventValue(dl, i * 10, 1, 0, 1);
        demo->CreateEventTransform(dl, i * 10, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    }
    demo->gui_selected_event = -1;
    demo->gui_selected_eventtype = 0;
    demo->AddEventValue(dl, 5, 1, 0, 0.5f);
    demo->AddEventTransform(dl, 5, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    EXPECT_EQ(dl->numevents_value, DEMO_MAXKEYS);
    EXPECT_EQ(dl->numevents_transform, DEMO_MAXKEYS);
    EXPECT_EQ(dl->event_value[1].t, 10);
    EXPECT_EQ(demo->gui_selected_event, -1);
    EXPECT_EQ(demo->gui_selected_eventtype, 0);
}

TEST_F(Model, MoveMarkersStopsAtZero) {
    demo->CreateMarker(500, 0);
    demo->CreateMarker(3000, 1);
    demo->MoveMarkers(-1000);
    EXPECT_EQ(demo->marker[0].t, 0);
    EXPECT_EQ(demo->marker[1].t, 2000);
}

TEST_F(Model, DeletingPastTheEndRemovesTheLastEntry) {
    for (int t : {100, 200, 300}) demo->CreateMarker(t, 0);
    demo->DeleteMarker(-1);
    EXPECT_EQ(demo->nummarkers, 3);
    demo->DeleteMarker(0);
    EXPECT_EQ(demo->marker[0].t, 200);
    demo->DeleteMarker(10);
    ASSERT_EQ(demo->nummarkers, 1);
    EXPECT_EQ(demo->marker[0].t, 200);
    demo->DeleteMarker(0);
    demo->DeleteMarker(0);
    EXPECT_EQ(demo->nummarkers, 0);

    // Deleting every entry of a kind the way the editor does: index i of the shrinking table.
    for (int t : {100, 200, 300, 400}) demo->CreateEventValue(dl, t, 1, 0, 1);
    demo->CreateEventTransform(dl, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    const int n = dl->numevents_value;
    for (int i = 0; i < n; i++) demo->DeleteEvent(dl, i, EDIT_VALUE);
    EXPECT_EQ(dl->numevents_value, 0);
    EXPECT_EQ(dl->numevents_transform, 1);
    demo->DeleteEvent(dl, 0, EDIT_VALUE);
    EXPECT_EQ(dl->numevents_value, 0);
}

TEST_F(Model, DeletedEffectEventTakesItsValuesAndTransformKeysAlong) {
    const float a[1] = {1}, b[1] = {2}, c[1] = {3};
    demo->CreateEventA(dl, 0, 10, 3, 0, 1, a);
    demo->CreateEventA(dl, 10, 10, 3, 0, 1, b);
    demo->CreateEventA(dl, 20, 10, 3, 0, 1, c);
    const int keys[4][2] = {{5, 0}, {15, 1}, {16, 1}, {25, 2}};
    for (const auto &k : keys)
        demo->CreateEventTransform(dl, k[0], 0, k[1], 0, 0, 0, 0, 0, 0, 1, 1, 1);
    demo->DeleteEvent(dl, 1, EDIT_EFFECT);
    ASSERT_EQ(dl->numevents, 2);
    EXPECT_FLOAT_EQ(dl->event[0].value[0], 1);
    EXPECT_FLOAT_EQ(dl->event[1].value[0], 3);
    EXPECT_EQ(dl->event[2].value, nullptr);
    // The keys of the other events still belong to them.
    ASSERT_EQ(dl->numevents_transform, 2);
    EXPECT_EQ(dl->event_transform[0].t, 5);
    EXPECT_EQ(dl->event_transform[0].parent, 0);
    EXPECT_EQ(dl->event_transform[1].t, 25);
    EXPECT_EQ(dl->event_transform[1].parent, 1);
    demo->DeleteEvent(dl, 5, EDIT_EFFECT);
    ASSERT_EQ(dl->numevents, 1);
    EXPECT_FLOAT_EQ(dl->event[0].value[0], 1);
    ASSERT_EQ(dl->numevents_transform, 1);
    EXPECT_EQ(dl->event_transform[0].t, 5);
}

TEST_F(Model, GetEffectEventExcludesTheEndTime) {
    const float v[1] = {0};
    demo->CreateEventA(dl, 1000, 500, 1, 0, 0, v);
    demo->CreateEventA(dl, 1500, 500, 1, 0, 0, v);
    demo->position = 999;
    EXPECT_EQ(demo->GetEffectEvent(dl), nullptr);
    demo->position = 1000;
    EXPECT_EQ(demo->GetEffectEvent(dl), &dl->event[0]);
    demo->position = 1500;
    EXPECT_EQ(demo->GetEffectEvent(dl), &dl->event[1]);
    demo->position = 2000;
    EXPECT_EQ(demo->GetEffectEvent(dl), nullptr);
}

TEST_F(Model, ClearingEmptiesTablesButKeepsLayers) {
    const float v[1] = {0};
    demo->CreateEventA(dl, 0, 10, 1, 0, 0, v);
    demo->CreateEventValue(dl, 0, 1, 0, 1);
    demo->CreateEventCamera(dl, 0, 60, 0, 0, 0, 0, 0, 0);
    demo->CreateMarker(50, 2);
    demo->ClearTimeline();
    EXPECT_EQ(demo->numlayers, 1);
    EXPECT_EQ(dl->numevents, 0);
    EXPECT_EQ(dl->numevents_value, 0);
    EXPECT_EQ(dl->numevents_camera, 0);
    EXPECT_EQ(demo->nummarkers, 1);
    demo->ClearMarkers();
    EXPECT_EQ(demo->nummarkers, 0);
    EXPECT_EQ(demo->marker[0].t, 0);
    EXPECT_EQ(demo->marker[0].type, 0);
}

}  // namespace

// Value evaluation: scalar tracks along the nine curves, transform tracks inside the running
// effect event, the beat multiplier and Catmull-Rom splines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "demosystem/demosystem.h"
#include "support/demo_owner.h"

namespace {

class Curves : public ::testing::Test {
protected:
    void SetUp() override {
        demo = test_support::NewDemo();
        demo->Init(64, 48, 1);
        demo->CreateLayer(64, 48, "layer");
        dl = &demo->layer[0];
    }
    float ValueAt(int position, int type = VALUE_BLEND) {
        demo->position = position;
        return demo->GetValue(dl, type);
    }
    float TransformAt(int position, int ofs) {
        demo->position = position;
        return demo->GetTransformValue(dl, ofs);
    }
    // Blend keys at 1000 (0.0) and 3000 (1.0); the first key's curve shapes the segment.
    void TwoBlendKeys(int curve) {
        demo->CreateEventValue(dl, 1000, VALUE_BLEND, curve, 0.0f);
        demo->CreateEventValue(dl, 3000, VALUE_BLEND, CURVE_LINEAR, 1.0f);
    }
    test_support::DemoPtr demo;
    s_demolayer *dl = nullptr;
};

TEST(CurveHelpers, InverseLerpAndSmoothstep) {
    EXPECT_FLOAT_EQ(inverse_lerp(1000, 3000, 2000), 0.5f);
    EXPECT_FLOAT_EQ(inverse_lerp(1000, 3000, 4000), 1.5f);  // not clamped
    EXPECT_FLOAT_EQ(inverse_lerp(1000, 3000, 0), -0.5f);
    EXPECT_EQ(smoothstep(0, 4, 1), 0.15625f);
    EXPECT_EQ(smoothstep(0, 4, -1), 0.0f);
    EXPECT_EQ(smoothstep(0, 4, 9), 1.0f);
}

TEST_F(Curves, LinearTrackBeforeBetweenAndAfterKeys) {
    TwoBlendKeys(CURVE_LINEAR);
    EXPECT_FLOAT_EQ(ValueAt(2000), 0.5f);
    EXPECT_FLOAT_EQ(ValueAt(500), 0.5f);  // from 1.0 at time 0 to the first key
    EXPECT_EQ(ValueAt(1000), 0.0f);
    EXPECT_EQ(ValueAt(3000), 1.0f);
    EXPECT_EQ(ValueAt(4000), 1.0f);
    EXPECT_EQ(ValueAt(0), 1.0f);
    EXPECT_EQ(ValueAt(-50), 1.0f);
    EXPECT_EQ(ValueAt(2000, VALUE_BEATMULTIPLIER), 1.0f);  // a track without keys
}

TEST_F(Curves, AfterTheLastKeyTheValueIsExactlyOneAtAnyTime) {
    TwoBlendKeys(CURVE_LINEAR);
    // Beyond 2^24 frames a float weight can no longer cancel out.
    for (int p : {16777217, 20000001, 123456789}) EXPECT_EQ(ValueAt(p), 1.0f) << p;
}

TEST_F(Curves, SmoothAndSineCurves) {
    TwoBlendKeys(CURVE_SMOOTH);
    EXPECT_EQ(ValueAt(1500), 0.15625f);

    dl->event_value[0].curvetype = CURVE_SMOOTHIN;
    EXPECT_NEAR(ValueAt(2000), 0.70710678f, 1e-6f);
    EXPECT_EQ(ValueAt(1000), 0.0f);

    // Smooth Out runs from the end value back to the start value.
    dl->event_value[0].curvetype = CURVE_SMOOTHOUT;
    EXPECT_NEAR(ValueAt(1001), 1.0f, 1e-5f);
    EXPECT_NEAR(ValueAt(3000), 0.0f, 1e-6f);
    EXPECT_NEAR(ValueAt(2000), 0.70710678f, 1e-6f);
}

TEST_F(Curves, HoldingCurvesKeepTheStartValue) {
    for (int curve = CURVE_BEZIER; curve <= CURVE_OVERSHOOT; curve++) {
        dl->numevents_value = 0;
        demo->CreateEventValue(dl, 1000, VALUE_BLEND, curve, 0.25f);
        demo->CreateEventValue(dl, 3000, VALUE_BLEND, CURVE_LINEAR, 1.0f);
        EXPECT_EQ(ValueAt(1500), 0.25f) << curve;
        EXPECT_EQ(ValueAt(2999), 0.25f) << curve;
        EXPECT_EQ(ValueAt(3000), 0.25f) << curve;  // the segment ends at the next key's time
    }
}

TEST_F(Curves, RandomCurveDrawsFromZeroToTheStartValue) {
    demo->CreateEventValue(dl, 1000, VALUE_BLEND, CURVE_RANDOM, 0.5f);
    demo->CreateEventValue(dl, 3000, VALUE_BLEND, CURVE_LINEAR, 1.0f);
    srand(13371337);
    for (int i = 0; i < 200; i++) {
        float v = ValueAt(2000);
        EXPECT_GE(v, 0.0f);
        EXPECT_LT(v, 0.5f);
        EXPECT_NEAR(v * 100, std::round(v * 100), 1e-3f) << v;  // steps of 0.01
    }
    // Same seed, same values.
    srand(7);
    float a = ValueAt(2000);
    srand(7);
    EXPECT_EQ(ValueAt(2000), a);
}

TEST_F(Curves, RandomCurveWithATinyOrHugeStartValueKeepsIt) {
    demo->CreateEventValue(dl, 1000, VALUE_BLEND, CURVE_RANDOM, 0.005f);
    demo->CreateEventValue(dl, 3000, VALUE_BLEND, CURVE_LINEAR, 1.0f);
    EXPECT_EQ(ValueAt(2000), 0.005f);
    dl->event_value[0].value = 0.0f;
    EXPECT_EQ(ValueAt(2000), 0.0f);
    dl->event_value[0].value = 3e9f;
    EXPECT_EQ(ValueAt(2000), 3e9f);
    dl->event_value[0].value = -0.5f;
    float v = ValueAt(2000);
    EXPECT_GE(v, 0.0f);  // the remainder takes the sign of the random number
    EXPECT_LT(v, 0.5f);
}

TEST_F(Curves, ValueIsZeroOnlyWhereTheTrackIsExactlyZeroAndNeverDraws) {
    demo->CreateEventValue(dl, 1000, VALUE_BLEND, CURVE_LINEAR, 1.0f);
    demo->CreateEventValue(dl, 2000, VALUE_BLEND, CURVE_BEZIER, 0.0f);  // holds 0 to 3000
    demo->CreateEventValue(dl, 3000, VALUE_BLEND, CURVE_RANDOM, 0.0f);
    demo->CreateEventValue(dl, 4000, VALUE_BLEND, CURVE_RANDOM, 0.5f);
    demo->CreateEventValue(dl, 5000, VALUE_BLEND, CURVE_LINEAR, 0.0f);
    auto zero = [&](int position) {
        demo->position = position;
        return demo->ValueIsZero(dl, VALUE_BLEND);
    };
    EXPECT_FALSE(zero(0));
    EXPECT_FALSE(zero(1999));  // 1.0 falling to 0.0
    for (int p : {2000, 2500, 3000}) EXPECT_TRUE(zero(p)) << p;
    // Random segments, even one that can only give 0, are never taken as 0 and draw nothing
    // from the shared generator.
    srand(99);
    const int first = rand();
    srand(99);
    for (int p : {3500, 4000, 4500}) EXPECT_FALSE(zero(p)) << p;
    EXPECT_EQ(rand(), first);
    EXPECT_FALSE(zero(5001));  // after the last key every track is 1
}

TEST_F(Curves, KeysOfAnotherTrackInBetweenRestartFromOne) {
    demo->CreateEventValue(dl, 1000, VALUE_BLEND, CURVE_LINEAR, 0.0f);
    demo->CreateEventValue(dl, 2000, VALUE_EFFECTVALUE1, CURVE_LINEAR, 5.0f);
    demo->CreateEventValue(dl, 4000, VALUE_BLEND, CURVE_LINEAR, 0.0f);
    EXPECT_FLOAT_EQ(ValueAt(3000), 0.25f);                     // 1.0 at 0 to 0.0 at 4000
    EXPECT_FLOAT_EQ(ValueAt(1500, VALUE_EFFECTVALUE1), 4.0f);  // 1.0 at 0 to 5.0 at 2000
}

TEST_F(Curves, BeatMultiplierPulsesAtMarkers) {
    demo->position = 0;
    EXPECT_EQ(demo->GetBeatMultiplier(), 2.0f);
    demo->position = 8192;
    EXPECT_EQ(demo->GetBeatMultiplier(), 1.5f);
    demo->CreateMarker(10000, 0);
    demo->CreateMarker(50000, 3);
    demo->position = 10000 + 8192;
    EXPECT_EQ(demo->GetBeatMultiplier(), 1.5f);
    demo->position = 10000 + 16383;
    EXPECT_GT(demo->GetBeatMultiplier(), 1.0f);
    demo->position = 10000 + 16384;
    EXPECT_EQ(demo->GetBeatMultiplier(), 1.0f);
    demo->position = 49999;
    EXPECT_EQ(demo->GetBeatMultiplier(), 1.0f);
    demo->position = 50000;
    EXPECT_EQ(demo->GetBeatMultiplier(), 2.0f);
}

TEST_F(Curves, TransformWithoutKeysIsIdentity) {
    const float v[1] = {0};
    demo->CreateEventA(dl, 0, 10000, EFFECT_IMAGE, 0, 0, v);
    for (int ofs = 0; ofs < 9; ofs++) EXPECT_EQ(TransformAt(5000, ofs), ofs < 6 ? 0.0f : 1.0f);
    EXPECT_EQ(TransformAt(5000, 9), 0.0f);
    EXPECT_EQ(TransformAt(5000, -1), 0.0f);
}

TEST_F(Curves, TransformIsEvaluatedInsideTheRunningEvent) {
    const float v[1] = {0};
    demo->CreateEventA(dl, 1000, 4000, EFFECT_IMAGE, 0, 0, v);
    demo->CreateEventA(dl, 5000, 4000, EFFECT_IMAGE, 0, 0, v);
    // Keys of event 0 at 2000 (x 0) and 4000 (x 10); of event 1 at 6000 (x 50, scale 3).
    demo->CreateEventTransform(dl, 2000, CURVE_LINEAR, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    demo->CreateEventTransform(dl, 4000, CURVE_LINEAR, 0, 10, 0, 0, 0, 0, 90, 2, 1, 1);
    demo->CreateEventTransform(dl, 6000, CURVE_LINEAR, 1, 50, 0, 0, 0, 0, 0, 3, 3, 3);
    EXPECT_FLOAT_EQ(TransformAt(3000, 0), 5.0f);
    EXPECT_FLOAT_EQ(TransformAt(3000, 5), 45.0f);
    EXPECT_FLOAT_EQ(TransformAt(3000, 6), 1.5f);
    EXPECT_EQ(TransformAt(4500, 0), 10.0f);  // after the last key: held
    // Before the first key of event 1 its only key holds from the start.
    EXPECT_EQ(TransformAt(5500, 0), 50.0f);
    EXPECT_EQ(TransformAt(5500, 7), 3.0f);
    EXPECT_EQ(TransformAt(0, 0), 0.0f);
}

TEST_F(Curves, KeyBeforeTheEventStartsASegmentWhenParentsMatch) {
    const float v[1] = {0};
    demo->CreateEventA(dl, 0, 2000, EFFECT_IMAGE, 0, 0, v);
    demo->CreateEventA(dl, 2000, 4000, EFFECT_IMAGE, 0, 0, v);
    demo->CreateEventTransform(dl, 1000, CURVE_LINEAR, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    demo->CreateEventTransform(dl, 3000, CURVE_LINEAR, 0, 20, 0, 0, 0, 0, 0, 1, 1, 1);
    EXPECT_FLOAT_EQ(TransformAt(2000, 0), 10.0f);
    dl->event_transform[1].parent = 1;
    EXPECT_EQ(TransformAt(2500, 0), 20.0f);
}

TEST_F(Curves, ZeroLengthTransformSegmentIsDefined) {
    const float v[1] = {0};
    demo->CreateEventA(dl, 0, 10000, EFFECT_IMAGE, 0, 0, v);
    demo->CreateEventTransform(dl, 1000, CURVE_LINEAR, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1);
    demo->CreateEventTransform(dl, 1000, CURVE_SMOOTHIN, 0, 2, 0, 0, 0, 0, 0, 1, 1, 1);
    EXPECT_EQ(TransformAt(500, 0), 1.0f);
    EXPECT_EQ(TransformAt(1000, 0), 2.0f);
    EXPECT_EQ(TransformAt(1500, 0), 2.0f);
    EXPECT_EQ(TransformAt(1000, 6), 1.0f);  // equal values: that value
}

TEST(Spline, CatmullRomPassesThroughKeysAndKeepsLines) {
    // Time, then two values: a straight line and a parabola.
    const float keys[] = {0, 0, 0, 1, 2, 1, 2, 4, 4, 3, 6, 9, 4, 8, 16};
    float v[2];
    for (int k = 1; k < 5; k++) {
        spline(keys, 5, 2, (float)k, v);
        EXPECT_FLOAT_EQ(v[0], 2.0f * k);
        EXPECT_FLOAT_EQ(v[1], (float)(k * k));
    }
    spline(keys, 5, 2, 2.5f, v);
    EXPECT_FLOAT_EQ(v[0], 5.0f);
    EXPECT_FLOAT_EQ(v[1], 6.25f);  // inner segments reproduce a quadratic
    spline(keys, 1, 2, 0.5f, v);
    EXPECT_EQ(v[0], 0.0f);
}

}  // namespace

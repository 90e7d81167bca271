// Value evaluation: scalar and transform tracks along their curves at the current time, the
// marker pulse, and Catmull-Rom splines.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "demosystem/demosystem.h"

namespace {

constexpr double PI = 3.141592653;

// Frames over which the beat multiplier falls from 2 to 1 after a marker.
constexpr int BEAT_DECAY = 16384;

const int8_t spline_coefs[16] = {
    -1, 2,  -1, 0,  //
    3,  -5, 0,  2,  //
    -3, 4,  1,  0,  //
    1,  -1, 0,  0,
};

// Random value from 0 up to the start value in steps of 0.01. A start value whose
// hundredfold truncates to 0 (or does not fit an int) has no such range: it stays as it is.
float RandomValue(float p) {
    float hundredfold = p * 100;
    if (!(std::fabs(hundredfold) < 2147483648.0f)) return p;
    int n = (int)hundredfold;
    if (n == 0) return p;
    return (float)(rand() % n) / 100;
}

// Value at time p on the segment from (t1, P) to (t2, Q) with curve k.
float CurveValue(float t1, float P, float t2, float Q, int k, float p) {
    if (k == CURVE_RANDOM) return RandomValue(P);
    if (k < CURVE_LINEAR || k > CURVE_SMOOTHOUT) return P;
    if (P == Q) return P;
    // A zero-length segment has no fraction: the start value before it, the end value at it.
    if (t1 == t2) return p < t1 ? P : Q;
    float w;
    switch (k) {
        case CURVE_LINEAR:
            w = inverse_lerp(t1, t2, p);
            break;
        case CURVE_SMOOTH:
            w = smoothstep(t1, t2, p);
            break;
        case CURVE_SMOOTHIN:
            w = (float)std::sin(inverse_lerp(t1, t2, p) * 0.5 * PI);
            break;
        default:
            w = (float)std::sin((1 - inverse_lerp(t1, t2, p)) * 0.5 * PI);
            break;
    }
    return P * (1 - w) + Q * w;
}

float TransformComponent(const s_transformevent &key, int valueofs) {
    const float values[9] = {key.x,    key.y,      key.z,      key.rotx,  key.roty,
                             key.rotz, key.scalex, key.scaley, key.scalez};
    return values[valueofs];
}

}  // namespace

float inverse_lerp(float a, float b, float x) { return (x - a) / (b - a); }

float smoothstep(float a, float b, float x) {
    float s = (x - a) / (b - a);
    if (s < 0) s = 0;
    if (s > 1) s = 1;
    return s * s * (3 - 2 * s);
}

namespace {

// The curve segment of a layer's `type` track that holds `position`: the first key at or after
// it, and the key before when that directly precedes it in the table.
struct ValueSegment {
    float t1 = 0.0f, P = 1.0f, t2 = 1.0f, Q = 1.0f;
    int k = CURVE_LINEAR;
};

ValueSegment FindValueSegment(const s_demolayer *dlayer, int type, int position) {
    ValueSegment s;
    if (!dlayer || position <= 0) return s;
    const s_valueevent *keys = dlayer->event_value;
    for (int i = 0; i < dlayer->numevents_value; i++) {
        if (keys[i].t < position || keys[i].type != type) continue;
        s.Q = keys[i].value;
        s.t2 = (float)keys[i].t;
        if (i > 0 && keys[i - 1].type == type) {
            s.P = keys[i - 1].value;
            s.t1 = (float)keys[i - 1].t;
            s.k = keys[i - 1].curvetype;
        }
        break;
    }
    return s;
}

}  // namespace

float c_demo::GetValue(s_demolayer *dlayer, int type) {
    const ValueSegment s = FindValueSegment(dlayer, type, position);
    return CurveValue(s.t1, s.P, s.t2, s.Q, s.k, (float)position);
}

float c_demo::ValueAt(s_demolayer *dlayer, int type, int t) {
    const ValueSegment s = FindValueSegment(dlayer, type, t);
    if (s.k == CURVE_RANDOM) return s.P;
    return CurveValue(s.t1, s.P, s.t2, s.Q, s.k, (float)t);
}

bool c_demo::ValueIsZero(s_demolayer *dlayer, int type) {
    const ValueSegment s = FindValueSegment(dlayer, type, position);
    // A Random segment would draw from the shared generator and shift every later draw.
    return s.k != CURVE_RANDOM && CurveValue(s.t1, s.P, s.t2, s.Q, s.k, (float)position) == 0.0f;
}

float c_demo::GetTransformValue(s_demolayer *dlayer, int valueofs) {
    if (valueofs < 0 || valueofs > 8) return 0.0f;
    float P = valueofs < 6 ? 0.0f : 1.0f;
    float Q = P, t1 = 0.0f, t2 = 1.0f;
    int k = CURVE_LINEAR;
    const s_effectevent *e = position > 0 ? GetEffectEvent(dlayer) : nullptr;
    if (e) {
        const long long start = e->t, end = (long long)e->t + e->length;
        const s_transformevent *keys = dlayer->event_transform;
        for (int i = 0; i < dlayer->numevents_transform; i++) {
            const s_transformevent &key = keys[i];
            if (key.t < start || key.t >= end) continue;
            Q = P = TransformComponent(key, valueofs);
            t1 = t2 = (float)key.t;
            if (!(i > 0 && keys[i - 1].parent == key.parent && key.t >= position)) continue;
            P = TransformComponent(keys[i - 1], valueofs);
            t1 = (float)keys[i - 1].t;
            k = keys[i - 1].curvetype;
            break;
        }
    }
    return CurveValue(t1, P, t2, Q, k, (float)position);
}

float c_demo::GetBeatMultiplier() {
    int last = 0;
    for (int i = 0; i < nummarkers && i < DEMO_MAXMARKERS; i++) {
        if (marker[i].t <= position) last = marker[i].t;
    }
    long long d = (long long)position - last;
    if (d <= BEAT_DECAY - 1) return (float)(2.0 - d / (double)BEAT_DECAY);
    return 1.0f;
}

void spline(const float *key, int num, int dim, float t, float *v) {
    for (int j = 0; j < dim; j++) v[j] = 0;
    if (!key || num <= 0 || dim <= 0) return;
    const int stride = dim + 1;
    int k = 0;
    while (k < num && key[k * stride] < t) k++;
    // Outside the keyed span the nearest segment is used.
    if (k >= num) k = num - 1;
    if (k < 1) k = num > 1 ? 1 : 0;
    float h = 0;
    if (k > 0) {
        float span = key[k * stride] - key[(k - 1) * stride];
        if (span != 0) h = (t - key[(k - 1) * stride]) / span;
    }
    for (int i = 0; i < 4; i++) {
        int n = k + i - 2;
        if (n < 0) n = 0;
        if (n > num - 1) n = num - 1;
        const int8_t *row = &spline_coefs[i * 4];
        float weight = 0.5f * (((row[0] * h + row[1]) * h + row[2]) * h + row[3]);
        for (int j = 0; j < dim; j++) v[j] += weight * key[n * stride + 1 + j];
    }
}

// Painting on float canvases: colours, coverage masks, shapes from distance functions,
// blur and glow, value noise, and conversion to 32-bit pixels.
//
// Everything here uses only IEEE basic operations (add, multiply, divide, square root,
// floor), so the generated pixels are the same on every machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr float kPi = 3.14159265358979f;

float gsin(float x);
float gcos(float x);
inline float clamp01(float x) { return x < 0 ? 0 : (x > 1 ? 1 : x); }
inline float lerp(float a, float b, float t) { return a + (b - a) * t; }
inline float smoothstep(float e0, float e1, float x) {
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

std::uint32_t hash3(std::int32_t x, std::int32_t y, std::uint32_t seed);
inline float hash01(std::int32_t x, std::int32_t y, std::uint32_t seed) {
    return float(hash3(x, y, seed) >> 8) * (1.0f / 16777216.0f);
}
// Smooth value noise in 0..1 on a unit lattice; a period > 0 makes it tile.
float value_noise(float x, float y, std::uint32_t seed, int period = 0);
// Sum of octaves, normalised to 0..1.
float fbm(float x, float y, int octaves, std::uint32_t seed, int period = 0);

struct Col {
    float r = 0, g = 0, b = 0;
};
constexpr Col rgb(std::uint32_t hex) {
    return Col{float((hex >> 16) & 255) / 255.0f, float((hex >> 8) & 255) / 255.0f,
               float(hex & 255) / 255.0f};
}
inline Col operator*(Col c, float s) { return {c.r * s, c.g * s, c.b * s}; }
inline Col operator+(Col a, Col b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Col mix(Col a, Col b, float t) {
    return {lerp(a.r, b.r, t), lerp(a.g, b.g, t), lerp(a.b, b.b, t)};
}
// Colour along evenly spaced stops, t in 0..1.
Col ramp(const Col *stops, int n, float t);

// Coverage values 0..1; reads outside give 0.
struct Mask {
    int w = 0, h = 0;
    std::vector<float> v;
    Mask() = default;
    Mask(int width, int height) : w(width), h(height), v(size_t(width) * height, 0.0f) {}
    float get(int x, int y) const {
        return (x < 0 || y < 0 || x >= w || y >= h) ? 0.0f : v[size_t(y) * w + x];
    }
    float &at(int x, int y) { return v[size_t(y) * w + x]; }
};

// Premultiplied RGBA, 4 floats per pixel, transparent black at creation.
struct Canvas {
    int w = 0, h = 0;
    std::vector<float> p;
    Canvas(int width, int height) : w(width), h(height), p(size_t(width) * height * 4, 0.0f) {}
    float *at(int x, int y) { return &p[(size_t(y) * w + x) * 4]; }
    const float *at(int x, int y) const { return &p[(size_t(y) * w + x) * 4]; }
};

// Source-over with colour `c` at coverage `a`.
inline void over(float *d, Col c, float a) {
    const float k = 1 - a;
    d[0] = c.r * a + d[0] * k;
    d[1] = c.g * a + d[1] * k;
    d[2] = c.b * a + d[2] * k;
    d[3] = a + d[3] * k;
}
// Additive light; alpha grows as with a screen blend.
inline void add_light(float *d, Col c, float a) {
    d[0] += c.r * a;
    d[1] += c.g * a;
    d[2] += c.b * a;
    d[3] += clamp01(a) * (1 - d[3]);
}

// Calls f(x, y, pixel) for every pixel.
template <class F>
void shade(Canvas &c, F f) {
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) f(x, y, c.at(x, y));
}

// Fills with an opaque colour given per pixel by col(x, y).
template <class F>
void fill_fn(Canvas &c, F col) {
    shade(c, [&](int x, int y, float *d) {
        Col k = col(x, y);
        d[0] = k.r, d[1] = k.g, d[2] = k.b, d[3] = 1;
    });
}

// Composites col(x, y) (canvas coordinates) through the mask placed at (ox, oy).
template <class F>
void draw_mask_fn(Canvas &c, const Mask &m, int ox, int oy, F col, float alpha = 1) {
    for (int my = 0; my < m.h; my++) {
        const int y = oy + my;
        if (y < 0 || y >= c.h) continue;
        for (int mx = 0; mx < m.w; mx++) {
            const int x = ox + mx;
            const float a = m.v[size_t(my) * m.w + mx] * alpha;
            if (x < 0 || x >= c.w || a <= 0) continue;
            over(c.at(x, y), col(x, y), a);
        }
    }
}
void draw_mask(Canvas &c, const Mask &m, int ox, int oy, Col col, float alpha = 1);
// Adds light through the mask.
void glow_mask(Canvas &c, const Mask &m, int ox, int oy, Col col, float gain);

// Coverage of a shape given by its signed distance in pixels (negative inside), sampled at
// pixel centres over the box x0..x1, y0..y1 (exclusive ends, clipped to the canvas).
template <class D, class F>
void fill_sdf(Canvas &c, int x0, int y0, int x1, int y1, D dist, F col, float alpha = 1) {
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > c.w) x1 = c.w;
    if (y1 > c.h) y1 = c.h;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            const float a = clamp01(0.5f - dist(x + 0.5f, y + 0.5f)) * alpha;
            if (a > 0) over(c.at(x, y), col(x, y), a);
        }
}
template <class D>
Mask sdf_mask(int w, int h, D dist) {
    Mask m(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) m.at(x, y) = clamp01(0.5f - dist(x + 0.5f, y + 0.5f));
    return m;
}

// Distance functions; (px, py) is the sample point.
float sd_circle(float px, float py, float cx, float cy, float r);
float sd_box(float px, float py, float cx, float cy, float hw, float hh, float radius);
float sd_segment(float px, float py, float ax, float ay, float bx, float by, float r);
// Regular hexagon with a vertex at the top, circumradius r.
float sd_hexagon(float px, float py, float cx, float cy, float r);
// Closed polygon of n points given as x, y pairs.
float sd_polygon(float px, float py, const float *xy, int n);
// Ellipse with half-axes a, b, its first axis turned to (cos_a, sin_a) (approximate
// distance, good near the outline).
float sd_ellipse(float px, float py, float cx, float cy, float a, float b, float sin_a = 0,
                 float cos_a = 1);

// Distance in pixels from a point to the nearest edge of a pointy-top hexagon grid of
// circumradius r, and a per-cell id.
struct HexCell {
    float edge;
    std::int32_t q, r;
};
HexCell hex_grid(float px, float py, float radius);

Mask blur(const Mask &m, int radius);         // three box passes each way
Mask dilate(const Mask &m, float radius);     // maximum over a disc
Mask padded(const Mask &m, int border);       // grows the mask by a border of zeros
Mask shifted(const Mask &m, int dx, int dy);  // same size, contents moved
Mask mask_max(const Mask &a, const Mask &b);  // same sizes

// 0xAARRGGBB with straight alpha, a 4 x 4 ordered dither on the rounding. Opaque pixels
// that the loader would key as magenta get green 16, so only intended holes turn clear.
std::vector<std::uint32_t> to_argb(const Canvas &c);
// For sprites drawn with an alpha test: pixels under `threshold` coverage become holes
// (magenta 0xFFFF00FF when `magenta`, else 0), the rest is composited over `matte` and
// made opaque, so edges blend into the colour the sprite is expected to sit on.
std::vector<std::uint32_t> to_sprite(const Canvas &c, Col matte, float threshold, bool magenta);
// Luminance 0..255 of each pixel composited over black.
std::vector<std::uint8_t> to_grey(const Canvas &c);

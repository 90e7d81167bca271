#include "raster.h"

#include <cmath>

float gsin(float xf) {
    // Reduce to -pi/2 .. pi/2 and use the odd series up to x^15 (error below 1e-9 there).
    const double twopi = 6.283185307179586;
    const double pi = 3.141592653589793;
    double x = double(xf);
    x -= twopi * std::floor(x / twopi + 0.5);
    if (x > pi / 2) x = pi - x;
    if (x < -pi / 2) x = -pi - x;
    const double x2 = x * x;
    double term = x, sum = x;
    for (int n = 1; n <= 7; n++) {
        term *= -x2 / double((2 * n) * (2 * n + 1));
        sum += term;
    }
    return float(sum);
}

float gcos(float x) { return gsin(x + 1.57079632679489662f); }

std::uint32_t hash3(std::int32_t x, std::int32_t y, std::uint32_t seed) {
    std::uint32_t h =
        seed * 0x9E3779B9u ^ std::uint32_t(x) * 0x85EBCA6Bu ^ std::uint32_t(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

namespace {

int wrap(int i, int period) {
    if (period <= 0) return i;
    i %= period;
    return i < 0 ? i + period : i;
}

}  // namespace

float value_noise(float x, float y, std::uint32_t seed, int period) {
    const float fx0 = std::floor(x), fy0 = std::floor(y);
    const int ix = int(fx0), iy = int(fy0);
    float fx = x - fx0, fy = y - fy0;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const int x0 = wrap(ix, period), x1 = wrap(ix + 1, period);
    const int y0 = wrap(iy, period), y1 = wrap(iy + 1, period);
    const float a = hash01(x0, y0, seed), b = hash01(x1, y0, seed);
    const float c = hash01(x0, y1, seed), d = hash01(x1, y1, seed);
    return lerp(lerp(a, b, fx), lerp(c, d, fx), fy);
}

float fbm(float x, float y, int octaves, std::uint32_t seed, int period) {
    float sum = 0, amp = 1, norm = 0;
    for (int i = 0; i < octaves; i++) {
        sum += amp * value_noise(x, y, seed + std::uint32_t(i) * 101u, period);
        norm += amp;
        amp *= 0.5f;
        x *= 2;
        y *= 2;
        period *= 2;
    }
    return sum / norm;
}

Col ramp(const Col *stops, int n, float t) {
    if (n == 1) return stops[0];
    const float pos = clamp01(t) * float(n - 1);
    int i = int(pos);
    if (i >= n - 1) i = n - 2;
    return mix(stops[i], stops[i + 1], pos - float(i));
}

void draw_mask(Canvas &c, const Mask &m, int ox, int oy, Col col, float alpha) {
    draw_mask_fn(
        c, m, ox, oy, [&](int, int) { return col; }, alpha);
}

void glow_mask(Canvas &c, const Mask &m, int ox, int oy, Col col, float gain) {
    for (int my = 0; my < m.h; my++) {
        const int y = oy + my;
        if (y < 0 || y >= c.h) continue;
        for (int mx = 0; mx < m.w; mx++) {
            const int x = ox + mx;
            const float a = m.v[size_t(my) * m.w + mx] * gain;
            if (x >= 0 && x < c.w && a > 0) add_light(c.at(x, y), col, a);
        }
    }
}

float sd_circle(float px, float py, float cx, float cy, float r) {
    const float dx = px - cx, dy = py - cy;
    return std::sqrt(dx * dx + dy * dy) - r;
}

float sd_box(float px, float py, float cx, float cy, float hw, float hh, float radius) {
    const float qx = std::fabs(px - cx) - hw + radius, qy = std::fabs(py - cy) - hh + radius;
    const float ox = qx > 0 ? qx : 0, oy = qy > 0 ? qy : 0;
    const float inside = qx > qy ? qx : qy;
    return std::sqrt(ox * ox + oy * oy) + (inside < 0 ? inside : 0) - radius;
}

float sd_segment(float px, float py, float ax, float ay, float bx, float by, float r) {
    const float pax = px - ax, pay = py - ay, bax = bx - ax, bay = by - ay;
    const float len2 = bax * bax + bay * bay;
    const float t = len2 > 0 ? clamp01((pax * bax + pay * bay) / len2) : 0;
    const float dx = pax - bax * t, dy = pay - bay * t;
    return std::sqrt(dx * dx + dy * dy) - r;
}

float sd_hexagon(float px, float py, float cx, float cy, float r) {
    // Pointy-top hexagon: flat sides left and right. k = (cos 30, sin 30).
    const float kx = 0.866025404f, ky = 0.5f;
    float x = std::fabs(px - cx), y = std::fabs(py - cy);
    const float apothem = r * kx;
    // Inside: the nearer of the vertical side and the slanted side of this quadrant.
    const float side = x - apothem;
    const float slant = kx * y + ky * x - apothem;
    const float m = side > slant ? side : slant;
    if (m <= 0) return m;
    // Outside: distance to the polygon boundary.
    float best = 1e30f;
    const float vx[3] = {0, apothem, apothem}, vy[3] = {r, r * 0.5f, -r * 0.5f};
    for (int i = 0; i < 2; i++) {
        const float dd = sd_segment(x, y, vx[i], vy[i], vx[i + 1], vy[i + 1], 0);
        if (dd < best) best = dd;
    }
    return best;
}

float sd_polygon(float px, float py, const float *xy, int n) {
    float best = 1e30f;
    bool inside = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const float xi = xy[2 * i], yi = xy[2 * i + 1], xj = xy[2 * j], yj = xy[2 * j + 1];
        const float d = sd_segment(px, py, xi, yi, xj, yj, 0);
        if (d < best) best = d;
        if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside ? -best : best;
}

float sd_ellipse(float px, float py, float cx, float cy, float a, float b, float sin_a,
                 float cos_a) {
    const float s = sin_a, c = cos_a;
    const float dx = px - cx, dy = py - cy;
    const float x = dx * c + dy * s, y = -dx * s + dy * c;
    // Distance scaled by the gradient of the implicit function: good near the outline.
    const float nx = x / a, ny = y / b;
    const float k = std::sqrt(nx * nx + ny * ny);
    const float gx = x / (a * a), gy = y / (b * b);
    const float g = std::sqrt(gx * gx + gy * gy);
    if (g <= 0) return -(a < b ? a : b);
    return (k - 1) * k / g;
}

HexCell hex_grid(float px, float py, float radius) {
    // Axial coordinates of a pointy-top grid, rounded to the nearest cell centre.
    const float sq3 = 1.7320508f;
    const float qf = (sq3 / 3 * px - py / 3) / radius;
    const float rf = (2.0f / 3 * py) / radius;
    const float sf = -qf - rf;
    float q = std::floor(qf + 0.5f), r = std::floor(rf + 0.5f), s = std::floor(sf + 0.5f);
    const float dq = std::fabs(q - qf), dr = std::fabs(r - rf), ds = std::fabs(s - sf);
    if (dq > dr && dq > ds)
        q = -r - s;
    else if (dr > ds)
        r = -q - s;
    const float cx = radius * sq3 * (q + r / 2), cy = radius * 1.5f * r;
    return HexCell{-sd_hexagon(px, py, cx, cy, radius), std::int32_t(q), std::int32_t(r)};
}

Mask blur(const Mask &m, int radius) {
    if (radius <= 0) return m;
    Mask a = m, b(m.w, m.h);
    const float inv = 1.0f / float(2 * radius + 1);
    std::vector<double> pre(size_t(m.w > m.h ? m.w : m.h) + 1);
    for (int pass = 0; pass < 3; pass++) {
        for (int y = 0; y < m.h; y++) {
            pre[0] = 0;
            for (int x = 0; x < m.w; x++) pre[x + 1] = pre[x] + a.v[size_t(y) * m.w + x];
            for (int x = 0; x < m.w; x++) {
                const int lo = x - radius < 0 ? 0 : x - radius;
                const int hi = x + radius + 1 > m.w ? m.w : x + radius + 1;
                b.v[size_t(y) * m.w + x] = float(pre[hi] - pre[lo]) * inv;
            }
        }
        for (int x = 0; x < m.w; x++) {
            pre[0] = 0;
            for (int y = 0; y < m.h; y++) pre[y + 1] = pre[y] + b.v[size_t(y) * m.w + x];
            for (int y = 0; y < m.h; y++) {
                const int lo = y - radius < 0 ? 0 : y - radius;
                const int hi = y + radius + 1 > m.h ? m.h : y + radius + 1;
                a.v[size_t(y) * m.w + x] = float(pre[hi] - pre[lo]) * inv;
            }
        }
    }
    return a;
}

namespace {

// One-dimensional squared distance transform (lower envelope of parabolas).
void edt1(const float *f, float *d, int n, std::vector<int> &v, std::vector<float> &z) {
    int k = 0;
    v[0] = 0;
    z[0] = -1e30f;
    z[1] = 1e30f;
    for (int q = 1; q < n; q++) {
        float s;
        for (;;) {
            const int p = v[k];
            s = ((f[q] + float(q) * float(q)) - (f[p] + float(p) * float(p))) /
                float(2 * q - 2 * p);
            if (s <= z[k] && k > 0) {
                k--;
                continue;
            }
            break;
        }
        if (s <= z[k]) {
            v[0] = q;
            z[0] = -1e30f;
            z[1] = 1e30f;
            k = 0;
            continue;
        }
        k++;
        v[k] = q;
        z[k] = s;
        z[k + 1] = 1e30f;
    }
    k = 0;
    for (int q = 0; q < n; q++) {
        while (z[k + 1] < float(q)) k++;
        const float dq = float(q - v[k]);
        d[q] = dq * dq + f[v[k]];
    }
}

}  // namespace

Mask dilate(const Mask &m, float radius) {
    const float inf = 1e20f;
    const int n = m.w > m.h ? m.w : m.h;
    std::vector<float> g(size_t(m.w) * m.h), f(n), d(n);
    std::vector<int> v(n);
    std::vector<float> z(size_t(n) + 1);
    for (size_t i = 0; i < g.size(); i++) g[i] = m.v[i] >= 0.5f ? 0 : inf;
    for (int x = 0; x < m.w; x++) {
        for (int y = 0; y < m.h; y++) f[y] = g[size_t(y) * m.w + x];
        edt1(f.data(), d.data(), m.h, v, z);
        for (int y = 0; y < m.h; y++) g[size_t(y) * m.w + x] = d[y];
    }
    Mask out(m.w, m.h);
    for (int y = 0; y < m.h; y++) {
        edt1(&g[size_t(y) * m.w], d.data(), m.w, v, z);
        for (int x = 0; x < m.w; x++) {
            const float dist = std::sqrt(d[x]);
            const float cov = clamp01(radius + 0.5f - dist);
            const float own = m.v[size_t(y) * m.w + x];
            out.v[size_t(y) * m.w + x] = cov > own ? cov : own;
        }
    }
    return out;
}

Mask padded(const Mask &m, int border) {
    Mask out(m.w + 2 * border, m.h + 2 * border);
    for (int y = 0; y < m.h; y++)
        for (int x = 0; x < m.w; x++) out.at(x + border, y + border) = m.v[size_t(y) * m.w + x];
    return out;
}

Mask shifted(const Mask &m, int dx, int dy) {
    Mask out(m.w, m.h);
    for (int y = 0; y < m.h; y++)
        for (int x = 0; x < m.w; x++) out.at(x, y) = m.get(x - dx, y - dy);
    return out;
}

Mask mask_max(const Mask &a, const Mask &b) {
    Mask out = a;
    for (size_t i = 0; i < out.v.size() && i < b.v.size(); i++)
        if (b.v[i] > out.v[i]) out.v[i] = b.v[i];
    return out;
}

namespace {

const int kBayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

int quant(float v, int x, int y) {
    const float offset = (float(kBayer[(y & 3) * 4 + (x & 3)]) + 0.5f) / 16.0f - 0.5f;
    const float q = std::floor(clamp01(v) * 255.0f + 0.5f + offset);
    return q < 0 ? 0 : (q > 255 ? 255 : int(q));
}

std::uint32_t pack(int a, int r, int g, int b) {
    if (a > 0 && r > 240 && g < 16 && b > 240) g = 16;
    return std::uint32_t(a) << 24 | std::uint32_t(r) << 16 | std::uint32_t(g) << 8 |
           std::uint32_t(b);
}

}  // namespace

std::vector<std::uint32_t> to_argb(const Canvas &c) {
    std::vector<std::uint32_t> out(size_t(c.w) * c.h);
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            const float *s = c.at(x, y);
            const float a = clamp01(s[3]);
            const int ai = int(std::floor(a * 255.0f + 0.5f));
            if (ai == 0) {
                out[size_t(y) * c.w + x] = 0;
                continue;
            }
            out[size_t(y) * c.w + x] =
                pack(ai, quant(s[0] / a, x, y), quant(s[1] / a, x, y), quant(s[2] / a, x, y));
        }
    return out;
}

std::vector<std::uint32_t> to_sprite(const Canvas &c, Col matte, float threshold, bool magenta) {
    std::vector<std::uint32_t> out(size_t(c.w) * c.h);
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            const float *s = c.at(x, y);
            const float a = clamp01(s[3]);
            if (a < threshold) {
                out[size_t(y) * c.w + x] = magenta ? 0xFFFF00FFu : 0u;
                continue;
            }
            const float k = 1 - a;
            out[size_t(y) * c.w + x] =
                pack(255, quant(s[0] + matte.r * k, x, y), quant(s[1] + matte.g * k, x, y),
                     quant(s[2] + matte.b * k, x, y));
        }
    return out;
}

std::vector<std::uint8_t> to_grey(const Canvas &c) {
    std::vector<std::uint8_t> out(size_t(c.w) * c.h);
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            const float *s = c.at(x, y);
            out[size_t(y) * c.w + x] =
                std::uint8_t(quant(0.299f * s[0] + 0.587f * s[1] + 0.114f * s[2], x, y));
        }
    return out;
}

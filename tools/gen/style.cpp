#include "style.h"

#include <cmath>

Picture picture(const Canvas &c) {
    Picture p;
    p.width = c.w;
    p.height = c.h;
    p.argb = to_argb(c);
    return p;
}

Picture sprite_picture(const Canvas &c, Col matte, bool magenta, float threshold) {
    Picture p;
    p.width = c.w;
    p.height = c.h;
    p.argb = to_sprite(c, matte, threshold, magenta);
    return p;
}

Col vgradient(const Col *stops, int n, float y, float y0, float y1) {
    return ramp(stops, n, (y - y0) / (y1 - y0));
}

void light_spot(Canvas &c, float cx, float cy, float r, Col col, float gain) {
    const int x0 = int(cx - r) - 1, x1 = int(cx + r) + 2;
    const int y0 = int(cy - r) - 1, y1 = int(cy + r) + 2;
    for (int y = y0 < 0 ? 0 : y0; y < y1 && y < c.h; y++)
        for (int x = x0 < 0 ? 0 : x0; x < x1 && x < c.w; x++) {
            const float dx = (x + 0.5f - cx) / r, dy = (y + 0.5f - cy) / r;
            const float d2 = dx * dx + dy * dy;
            if (d2 >= 1) continue;
            const float k = (1 - d2) * (1 - d2);
            add_light(c.at(x, y), col, k * k * gain);
        }
}

namespace {

// Maps a canvas point into the bee's own frame: units of size / 100, x along the bee.
struct Frame {
    float cx, cy, u, s, c;
    void local(float px, float py, float &lx, float &ly) const {
        const float dx = px - cx, dy = py - cy;
        lx = (dx * c + dy * s) / u;
        ly = (-dx * s + dy * c) / u;
    }
};

}  // namespace

void draw_bee(Canvas &c, float cx, float cy, float size, float angle) {
    const Frame f{cx, cy, size / 100.0f, gsin(angle), gcos(angle)};
    const float u = f.u;
    const int x0 = int(cx - size * 0.75f), x1 = int(cx + size * 0.75f) + 1;
    const int y0 = int(cy - size * 0.75f), y1 = int(cy + size * 0.75f) + 1;
    const Col ink = rgb(0x1C1208);
    const float edge = 3.5f;  // outline in local units
    auto paint = [&](auto dist_local, auto colour, float alpha = 1) {
        fill_sdf(
            c, x0, y0, x1, y1,
            [&](float px, float py) {
                float lx, ly;
                f.local(px, py, lx, ly);
                return dist_local(lx, ly) * u;
            },
            colour, alpha);
    };
    auto solid = [](Col k) { return [k](int, int) { return k; }; };
    auto wing = [&](float wx, float wy, float a, float b, float rot, float grow) {
        const float s = gsin(rot), k = gcos(rot);
        return [=](float lx, float ly) {
            return sd_ellipse(lx, ly, wx, wy, a + grow, b + grow, s, k);
        };
    };

    // Wings behind the body.
    paint(wing(-8, -30, 24, 14, -0.6f, edge), solid(ink));
    paint(wing(-8, -30, 24, 14, -0.6f, 0), [&](int x, int y) {
        float lx, ly;
        f.local(x + 0.5f, y + 0.5f, lx, ly);
        return mix(rgb(0xF4FCFF), rgb(0xA8D8F0), clamp01((ly + 44) / 28));
    });
    paint(wing(10, -30, 19, 12, 0.45f, edge), solid(ink));
    paint(wing(10, -30, 19, 12, 0.45f, 0), [&](int x, int y) {
        float lx, ly;
        f.local(x + 0.5f, y + 0.5f, lx, ly);
        return mix(rgb(0xFFFFFF), rgb(0xB8E2F6), clamp01((ly + 42) / 24));
    });

    // Stinger, body with stripes, head.
    paint([&](float lx, float ly) { return sd_segment(lx, ly, -36, 2, -54, 6, 2 + edge); },
          solid(ink));
    paint([&](float lx, float ly) { return sd_ellipse(lx, ly, 0, 2, 38 + edge, 26 + edge); },
          solid(ink));
    paint([&](float lx, float ly) { return sd_ellipse(lx, ly, 0, 2, 38, 26); },
          [&](int x, int y) {
              float lx, ly;
              f.local(x + 0.5f, y + 0.5f, lx, ly);
              const Col body = mix(rgb(0xFFE27A), rgb(0xF29A12), clamp01((ly + 20) / 46));
              // Three dark bands across the body.
              float band = 1e9f;
              const float centres[3] = {-20, -2, 16};
              for (float bc : centres) {
                  const float d = (lx - bc) < 0 ? bc - lx : lx - bc;
                  if (d < band) band = d;
              }
              const float k = clamp01(5.5f - band);
              return mix(body, rgb(0x24160A), k);
          });
    // A highlight along the back.
    paint([&](float lx, float ly) { return sd_ellipse(lx, ly, 2, -15, 20, 4); },
          solid(rgb(0xFFF6C8)), 0.45f);
    paint([&](float lx, float ly) { return sd_circle(lx, ly, 40, -2, 17 + edge); }, solid(ink));
    paint([&](float lx, float ly) { return sd_circle(lx, ly, 40, -2, 17); }, solid(rgb(0x3B2412)));
    // Antennae.
    paint([&](float lx, float ly) { return sd_segment(lx, ly, 44, -16, 54, -36, 2); }, solid(ink));
    paint([&](float lx, float ly) { return sd_segment(lx, ly, 36, -17, 40, -38, 2); }, solid(ink));
    paint([&](float lx, float ly) { return sd_circle(lx, ly, 54, -37, 4.5f); }, solid(ink));
    paint([&](float lx, float ly) { return sd_circle(lx, ly, 40, -39, 4.5f); }, solid(ink));
    // Eye and a smile.
    paint([&](float lx, float ly) { return sd_circle(lx, ly, 47, -7, 6.5f); },
          solid(rgb(0xFFFFFF)));
    paint([&](float lx, float ly) { return sd_circle(lx, ly, 49, -7, 3.2f); }, solid(ink));
    paint([&](float lx, float ly) { return sd_segment(lx, ly, 44, 7, 51, 5, 1.6f); },
          solid(rgb(0xFFB0A0)));
}

void draw_emblem(Canvas &c, float cx, float cy, float r) {
    const int x0 = int(cx - r) - 2, x1 = int(cx + r) + 3, y0 = int(cy - r) - 2,
              y1 = int(cy + r) + 3;
    fill_sdf(
        c, x0, y0, x1, y1, [&](float px, float py) { return sd_hexagon(px, py, cx, cy, r); },
        [](int, int) { return rgb(0x2A1508); });
    const Col gold[3] = {rgb(0xFFF0B0), rgb(0xF6B53A), rgb(0xB0581A)};
    fill_sdf(
        c, x0, y0, x1, y1,
        [&](float px, float py) { return sd_hexagon(px, py, cx, cy, r * 0.93f); },
        [&](int, int y) { return vgradient(gold, 3, float(y), cy - r, cy + r); });
    const float inner = r * 0.8f;
    fill_sdf(
        c, x0, y0, x1, y1, [&](float px, float py) { return sd_hexagon(px, py, cx, cy, inner); },
        [&](int x, int y) {
            const float dx = (x - cx) / inner, dy = (y - cy) / inner;
            const float d = dx * dx + dy * dy;
            // Wax cells inside, lit from the middle.
            const HexCell h = hex_grid(x - cx, y - cy, inner * 0.2f);
            const float cell = smoothstep(0.0f, 2.5f, h.edge);
            const Col base = mix(rgb(0xFFE48A), rgb(0xD9791C), clamp01(d));
            return mix(base * 0.78f, base, cell);
        });
    draw_bee(c, cx + r * 0.04f, cy + r * 0.06f, inner * 1.15f, -0.35f);
}

Picture particle_sheet(const Col *core, const Col *halo, const float *radius) {
    Picture p;
    p.width = p.height = 256;
    p.argb.assign(size_t(256) * 256, 0);
    for (int k = 0; k < 64; k++) {
        const int ox = (k % 8) * 32, oy = (k / 8) * 32;
        const float r = radius[k], rc = r * 0.45f;
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++) {
                const float dx = x + 0.5f - 16, dy = y + 0.5f - 16;
                const float d2 = dx * dx + dy * dy;
                const float h = d2 < r * r ? (1 - d2 / (r * r)) : 0;
                const float cc = d2 < rc * rc ? (1 - d2 / (rc * rc)) : 0;
                const float hl = h * h, cl = cc * cc;
                const Col want = halo[k] * hl + core[k] * cl;
                const float ch[3] = {std::sqrt(clamp01(want.r)), std::sqrt(clamp01(want.g)),
                                     std::sqrt(clamp01(want.b))};
                int v[3];
                for (int i = 0; i < 3; i++) v[i] = int(ch[i] * 255.0f + 0.5f);
                int a = v[0] > v[1] ? v[0] : v[1];
                if (v[2] > a) a = v[2];
                if (a == 0) continue;
                if (v[0] > 240 && v[1] < 16 && v[2] > 240) v[1] = 16;
                p.argb[size_t(oy + y) * 256 + ox + x] =
                    std::uint32_t(a) << 24 | std::uint32_t(v[0]) << 16 | std::uint32_t(v[1]) << 8 |
                    std::uint32_t(v[2]);
            }
    }
    return p;
}

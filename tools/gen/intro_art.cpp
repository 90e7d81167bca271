#include "intro_art.h"

#include <cmath>

namespace {

// The television's screen opening, which the scene's background and logo show through.
constexpr float kHoleCx = 960, kHoleCy = 468, kHoleHw = 624, kHoleHh = 444, kHoleRadius = 56;

float hole_dist(float px, float py) {
    return sd_box(px, py, kHoleCx, kHoleCy, kHoleHw, kHoleHh, kHoleRadius);
}

}  // namespace

Picture paint_introbg() {
    Canvas c(1280, 1500);
    const Col sky[5] = {rgb(0xFFE59A), rgb(0xFBC04A), rgb(0xF29A2A), rgb(0xD8721E), rgb(0x9C4416)};
    fill_fn(c, [&](int x, int y) {
        Col base = vgradient(sky, 5, float(y), 0, 1500);
        const HexCell h = hex_grid(float(x) + 20, float(y) + 10, 62);
        const float wall = 1 - smoothstep(1.5f, 4.5f, h.edge);
        const float depth = smoothstep(0, 46, h.edge);
        const float tint = (hash01(h.q, h.r, 7) - 0.5f) * 0.08f;
        Col cell = base * (0.86f + 0.14f * depth + tint);
        cell = mix(cell, mix(base, kCream, 0.55f), wall * 0.6f);
        // Darker towards the sides, where the screen's edge is.
        const float side = (float(x) - 640) / 640;
        const float s2 = side * side;
        return cell * (1 - 0.22f * s2 * s2);
    });
    // Soft lights drifting in the comb.
    for (int i = 0; i < 46; i++) {
        const float x = hash01(i, 1, 11) * 1280, y = hash01(i, 2, 11) * 1500;
        const float r = 30 + hash01(i, 3, 11) * 110;
        light_spot(c, x, y, r, kCream, 0.10f + 0.12f * hash01(i, 4, 11));
    }
    return picture(c);
}

Picture paint_tvframe(TextRenderer &tr) {
    Canvas c(1920, 1080);
    const Col plastic[3] = {rgb(0x34323A), rgb(0x26252B), rgb(0x18171B)};
    fill_fn(c, [&](int, int y) { return vgradient(plastic, 3, float(y), 0, 1080); });

    // Bevel around the screen: dark inside lip, a light rim further out.
    shade(c, [&](int x, int y, float *d) {
        const float dist = hole_dist(x + 0.5f, y + 0.5f);
        if (dist > 34) return;
        const float lip = 1 - smoothstep(0, 26, dist);
        over(d, rgb(0x070708), lip * 0.9f);
        const float rim = 1 - smoothstep(0, 2.5f, dist > 28 ? dist - 28 : 28 - dist);
        over(d, rgb(0x5A5864), rim * 0.8f);
    });

    // Left: a speaker grille of round holes.
    fill_sdf(
        c, 40, 110, 296, 830,
        [](float px, float py) { return sd_box(px, py, 168, 470, 126, 358, 24); },
        [](int, int) { return rgb(0x1C1B20); });
    fill_sdf(
        c, 56, 126, 280, 814,
        [](float px, float py) {
            float best = 1e9f;
            const int gx = int((px - 62) / 22), gy = int((py - 132) / 22);
            for (int j = gy - 1; j <= gy + 1; j++)
                for (int i = gx - 1; i <= gx + 1; i++) {
                    const float d = sd_circle(px, py, 62 + 22 * i + 11, 132 + 22 * j + 11, 6);
                    if (d < best) best = d;
                }
            const float panel = sd_box(px, py, 168, 470, 108, 340, 16);
            return best > panel ? best : panel;
        },
        [](int, int) { return rgb(0x050506); });

    // Right: two dials, a power button with its lamp.
    const float dialx = 1752;
    const float dialy[2] = {250, 520};
    const char *labels[2] = {"CHANNEL", "VOLUME"};
    for (int k = 0; k < 2; k++) {
        const float cy = dialy[k];
        fill_sdf(
            c, int(dialx) - 100, int(cy) - 100, int(dialx) + 101, int(cy) + 101,
            [&](float px, float py) { return sd_circle(px, py, dialx, cy, 92); },
            [](int, int) { return rgb(0x0C0C0E); });
        fill_sdf(
            c, int(dialx) - 100, int(cy) - 100, int(dialx) + 101, int(cy) + 101,
            [&](float px, float py) { return sd_circle(px, py, dialx, cy, 84); },
            [&](int x, int y) {
                const float dx = (x - dialx) / 84, dy = (y - cy) / 84;
                const float lit = clamp01(0.55f - 0.5f * (dx + dy));
                // Ridges around the rim.
                const float ang = dx * 7.0f + dy * 13.0f;
                const float ridge = 0.5f + 0.5f * gsin(ang * 6.0f);
                const float rim = smoothstep(0.78f, 0.86f, dx * dx + dy * dy);
                Col metal = mix(rgb(0x4A4852), rgb(0xC9C6D2), lit);
                return mix(metal, metal * (0.75f + 0.25f * ridge), rim);
            });
        const float a = k == 0 ? -0.9f : 0.6f;
        fill_sdf(
            c, int(dialx) - 90, int(cy) - 90, int(dialx) + 91, int(cy) + 91,
            [&](float px, float py) {
                return sd_segment(px, py, dialx + 20 * gsin(a), cy - 20 * gcos(a),
                                  dialx + 66 * gsin(a), cy - 66 * gcos(a), 5);
            },
            [](int, int) { return rgb(0xF8B133); });
        TextLine t = tr.line(Face::CondensedBold, 22, labels[k], 3);
        draw_mask(c, t.mask, t.left(int(dialx) - t.width / 2), t.top(int(cy) + 128), rgb(0x8D8A96));
    }
    fill_sdf(
        c, 1700, 700, 1805, 800,
        [](float px, float py) { return sd_box(px, py, 1752, 750, 46, 30, 12); },
        [](int, int) { return rgb(0x0C0C0E); });
    fill_sdf(
        c, 1700, 700, 1805, 800,
        [](float px, float py) { return sd_box(px, py, 1752, 748, 40, 24, 9); },
        [](int, int y) { return mix(rgb(0x5C5A64), rgb(0x2E2D33), clamp01((y - 724.0f) / 48)); });
    light_spot(c, 1752, 820, 26, rgb(0xFF6A3A), 0.9f);
    fill_sdf(
        c, 1740, 808, 1765, 833, [](float px, float py) { return sd_circle(px, py, 1752, 820, 7); },
        [](int, int) { return rgb(0xFFB48A); });

    // The maker's plate under the screen.
    fill_sdf(
        c, 700, 940, 1221, 1061,
        [](float px, float py) { return sd_box(px, py, 960, 1000, 250, 46, 14); },
        [](int, int) { return rgb(0x0E0E10); });
    fill_sdf(
        c, 700, 940, 1221, 1061,
        [](float px, float py) { return sd_box(px, py, 960, 998, 244, 40, 11); },
        [](int, int y) { return mix(rgb(0xD8D6E0), rgb(0x77747F), clamp01((y - 958.0f) / 80)); });
    const Col chrome[3] = {rgb(0x2A2830), rgb(0x5A1E0C), rgb(0x1A1410)};
    TextLine brand = tr.line(Face::SansBold, 44, "KETTLEVISION", 4);
    draw_mask_fn(c, brand.mask, brand.left(960 - brand.width / 2), brand.top(1016),
                 [&](int, int y) { return vgradient(chrome, 3, float(y), 980, 1018); });

    // The opening itself, last, so its rounded edge is exact.
    shade(c, [&](int x, int y, float *d) {
        const float cov = clamp01(0.5f - hole_dist(x + 0.5f, y + 0.5f));
        if (cov <= 0) return;
        const float k = 1 - cov;
        for (int i = 0; i < 4; i++) d[i] *= k;
    });
    return sprite_picture(c, rgb(0x6A3A14), true);
}

Picture paint_gimbard(TextRenderer &tr) {
    Canvas c(348, 128);
    const Col fill[3] = {rgb(0xFFFFFF), kCream, kHoneyLight};
    const int px = tr.fit(Face::CondensedBold, 66, kGroupWord1, 320, 3);
    const int baselines[2] = {58, 118};
    const char *words[2] = {kGroupWord1, kGroupWord2};
    for (int i = 0; i < 2; i++) {
        const int w = tr.measure(Face::CondensedBold, px, words[i], 3);
        const float top = float(baselines[i] - 48);
        title_text(
            c, tr, Face::CondensedBold, px, words[i], 336 - w, baselines[i],
            [&](int, int y) { return vgradient(fill, 3, float(y), top, float(baselines[i])); },
            kBrown, 4.0f, 3, 3);
    }
    return sprite_picture(c, kHoney, false);
}

Picture paint_presents(TextRenderer &tr) {
    Canvas c(420, 128);
    const Col fill[2] = {rgb(0xFFFFFF), kHoneyLight};
    title_text(
        c, tr, Face::SerifBoldItalic, 78, "presents", 18, 86,
        [&](int, int y) { return vgradient(fill, 2, float(y), 30, 90); }, kBrown, 4.0f, 3);
    return sprite_picture(c, kHoney, false);
}

Picture paint_intrologo(TextRenderer &tr) {
    Canvas c(1048, 780);
    draw_emblem(c, 524, 160, 138);

    const Col word[4] = {rgb(0xFFFBEA), kHoneyLight, kHoney, kAmber};
    const int px = tr.fit(Face::SansBold, 190, kPartyName, 960, 2);
    const int w = tr.measure(Face::SansBold, px, kPartyName, 2);
    const float captop = 438.0f - px * 0.73f;
    title_text(
        c, tr, Face::SansBold, px, kPartyName, centred(524, w), 438,
        [&](int x, int y) {
            Col k = vgradient(word, 4, float(y), captop, 438);
            // A light streak across the letters.
            const float streak = 1 - smoothstep(0, 14, std::abs(float(x) * 0.35f - float(y) + 120));
            return mix(k, rgb(0xFFFFFF), streak * 0.5f);
        },
        kBrown, 7.0f, 7, 2);

    const Col year[2] = {rgb(0xFFFFFF), kHoneyLight};
    const int yw = tr.measure(Face::SansBold, 112, kPartyYear, 26);
    title_text(
        c, tr, Face::SansBold, 112, kPartyYear, centred(524, yw), 572,
        [&](int, int y) { return vgradient(year, 2, float(y), 490, 572); }, kBrown, 6.0f, 5, 26);

    const char *when = "FRIDAY 14 \xe2\x80\x93 SUNDAY 16 MAY";
    const int ww = tr.measure(Face::CondensedBold, 50, when, 3);
    title_text(
        c, tr, Face::CondensedBold, 50, when, centred(524, ww), 660,
        [](int, int) { return kCream; }, kBrown, 4.0f, 3, 3);
    const char *what = "DEMOS \xc2\xb7 MUSIC \xc2\xb7 PIXELS \xc2\xb7 FRIENDS";
    const int tw = tr.measure(Face::CondensedBold, 40, what, 4);
    title_text(
        c, tr, Face::CondensedBold, 40, what, centred(524, tw), 740,
        [](int, int) { return kHoneyLight; }, kBrown, 4.0f, 3, 4);
    return sprite_picture(c, rgb(0xE9962A), false);
}

Picture paint_box(bool white) {
    Canvas c(8, 8);
    const Col face = white ? rgb(0xF6F2E8) : rgb(0x1D1611);
    const Col light = white ? rgb(0xFFFFFF) : rgb(0x453829);
    const Col dark = white ? rgb(0xB9B1A2) : rgb(0x050403);
    fill_fn(c, [&](int x, int y) {
        if (x == 7 || y == 7) return dark;
        if (x == 0 || y == 0) return light;
        return face;
    });
    return picture(c);
}

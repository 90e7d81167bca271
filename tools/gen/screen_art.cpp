#include "screen_art.h"

#include <cmath>

namespace {

// What the big screen shows, into the box (x, y, w, h), scaled from a 640 x 360 layout.
void screen_picture(Canvas &c, TextRenderer &tr, int x, int y, int w, int h) {
    const float s = float(w) / 640;
    const Col bg[3] = {rgb(0x2A1A48), rgb(0x182A58), rgb(0x0C1430)};
    fill_sdf(
        c, x, y, x + w, y + h,
        [&](float px, float py) {
            return sd_box(px, py, x + w / 2.0f, y + h / 2.0f, w / 2.0f, h / 2.0f, 0);
        },
        [&](int px, int py) {
            Col k = vgradient(bg, 3, float(py), float(y), float(y + h));
            const HexCell hc = hex_grid((px - x) / s, (py - y) / s, 40);
            const float wall = 1 - smoothstep(0.5f, 2.0f, hc.edge);
            return mix(k, k * 1.8f, wall * 0.4f);
        });
    light_spot(c, x + 180 * s, y + 180 * s, 170 * s, rgb(0xFFB040), 0.35f);
    draw_emblem(c, x + 180 * s, y + 180 * s, 118 * s);
    const Col word[3] = {rgb(0xFFFFFF), kHoneyLight, kHoney};
    const int px = tr.fit(Face::SansBold, int(64 * s), kPartyName, int(300 * s), 1);
    const int tw = tr.measure(Face::SansBold, px, kPartyName, 1);
    const int cx = x + int(466 * s);
    title_text(
        c, tr, Face::SansBold, px, kPartyName, centred(cx, tw), y + int(176 * s),
        [&](int, int py) { return vgradient(word, 3, float(py), y + 130 * s, y + 176 * s); },
        rgb(0x100818), 3.0f * s, int(3 * s));
    const int yw = tr.measure(Face::SansBold, int(58 * s), kPartyYear, 8 * s);
    title_text(
        c, tr, Face::SansBold, int(58 * s), kPartyYear, centred(cx, yw), y + int(246 * s),
        [](int, int) { return rgb(0xFFFFFF); }, rgb(0x100818), 3.0f * s, int(3 * s), 8 * s);
    const char *live = "live on the big screen";
    const int lw = tr.measure(Face::Sans, int(24 * s), live);
    title_text(
        c, tr, Face::Sans, int(24 * s), live, centred(cx, lw), y + int(292 * s),
        [](int, int) { return rgb(0xB8D0FF); }, rgb(0x100818), 2.0f * s);
}

// A person seen from behind: head and shoulders, optionally an arm up with a light stick.
void person(Canvas &c, float x, float base, float size, bool arm, Col stick) {
    const Col body = rgb(0x040307), rim = rgb(0x40385A);
    for (int pass = 0; pass < 2; pass++) {
        const float ox = pass == 0 ? 2.5f : 0, oy = pass == 0 ? -2.5f : 0;
        const Col k = pass == 0 ? rim : body;
        fill_sdf(
            c, int(x - size * 2), int(base - size * 3.2f), int(x + size * 2) + 1, c.h,
            [&](float px, float py) {
                const float head = sd_circle(px, py, x + ox, base - size * 1.9f + oy, size * 0.62f);
                const float shoulders = sd_box(px, py, x + ox, base + size * 0.3f + oy,
                                               size * 1.25f, size * 1.2f, size * 0.7f);
                float d = head < shoulders ? head : shoulders;
                if (arm) {
                    const float a =
                        sd_segment(px, py, x + size * 0.9f + ox, base - size * 0.4f + oy,
                                   x + size * 1.5f + ox, base - size * 2.8f + oy, size * 0.22f);
                    if (a < d) d = a;
                }
                return d;
            },
            [&](int, int) { return k; });
    }
    if (arm) {
        const float hx = x + size * 1.55f, hy = base - size * 3.0f;
        fill_sdf(
            c, int(hx - 20), int(hy - 30), int(hx + 20), int(hy + 20),
            [&](float px, float py) {
                return sd_segment(px, py, hx - 4, hy + 6, hx + 5, hy - 14, 2.5f);
            },
            [&](int, int) { return mix(stick, rgb(0xFFFFFF), 0.5f); });
        light_spot(c, hx, hy - 4, size * 1.4f, stick, 0.55f);
    }
}

}  // namespace

Picture paint_screenbg(TextRenderer &tr) {
    Canvas c(1920, 1080);
    const Col hall[4] = {rgb(0x0C0916), rgb(0x140E24), rgb(0x0E0A18), rgb(0x050408)};
    fill_fn(c, [&](int x, int y) {
        const float n = fbm(x / 200.0f, y / 200.0f, 3, 91);
        return vgradient(hall, 4, float(y), 0, 1080) * (0.92f + 0.16f * n);
    });
    // The projector's cone from behind the audience to the screen.
    const float sx0 = 1010, sy0 = 120, sx1 = 1850, sy1 = 592;
    const float lens_x = 1180, lens_y = 1000;
    const float cone[8] = {lens_x - 6, lens_y, sx0, sy0, sx1, sy0, lens_x + 6, lens_y};
    const float cone2[8] = {lens_x - 6, lens_y, sx0, sy1, sx1, sy1, lens_x + 6, lens_y};
    for (const float *poly : {cone, cone2})
        shade(c, [&](int x, int y, float *d) {
            const float dist = sd_polygon(x + 0.5f, y + 0.5f, poly, 4);
            if (dist > 0) return;
            const float along = clamp01((lens_y - float(y)) / (lens_y - sy0));
            add_light(d, rgb(0x8090FF), 0.05f * (1 - along * 0.6f));
        });
    light_spot(c, (sx0 + sx1) / 2, (sy0 + sy1) / 2, 620, rgb(0x5060C0), 0.18f);
    fill_sdf(
        c, int(sx0) - 16, int(sy0) - 16, int(sx1) + 17, int(sy1) + 17,
        [&](float px, float py) {
            return sd_box(px, py, (sx0 + sx1) / 2, (sy0 + sy1) / 2, (sx1 - sx0) / 2 + 12,
                          (sy1 - sy0) / 2 + 12, 4);
        },
        [](int, int) { return rgb(0x020203); });
    screen_picture(c, tr, int(sx0), int(sy0), int(sx1 - sx0), int(sy1 - sy0));

    const Col edge = rgb(0x040308);
    const Col heading[3] = {rgb(0xFFFBE6), kHoneyLight, kAmber};
    title_text(
        c, tr, Face::SansBold, 84, "THE BIG SCREEN", 92, 790,
        [&](int, int y) { return vgradient(heading, 3, float(y), 728, 790); }, edge, 5.0f, 5, 2);
    title_text(
        c, tr, Face::Sans, 40, "Nine metres wide, laser bright, eight kilowatts of sound", 96, 852,
        [](int, int) { return rgb(0xE0E4FF); }, edge, 3.0f);

    // The audience in front.
    const Col sticks[4] = {rgb(0x40FF90), rgb(0xFF50A0), rgb(0x40C0FF), rgb(0xFFD040)};
    for (int row = 0; row < 2; row++)
        for (int i = 0; i < 19; i++) {
            const float x =
                float(i) * 108 + (row ? 54.0f : 0.0f) + (hash01(i, row, 93) - 0.5f) * 40;
            const float size = (row ? 44.0f : 36.0f) + hash01(i, row + 2, 93) * 8;
            const float base = (row ? 1060.0f : 990.0f) + hash01(i, row + 4, 93) * 12;
            const bool arm = hash01(i, row + 6, 93) < 0.22f;
            person(c, x, base, size, arm, sticks[hash3(i, row, 95) % 4]);
        }
    return picture(c);
}

Picture paint_screen(TextRenderer &tr) {
    Canvas c(640, 360);
    screen_picture(c, tr, 0, 0, 640, 360);
    return picture(c);
}

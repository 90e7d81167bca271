#include "party_art.h"

#include <cmath>

namespace {

constexpr int kPanoWidth = 4800;
constexpr Col kEventsMatte = rgb(0x0A2430);
constexpr Col kBarScreen = rgb(0x05060C);

// A wedge of light from (ox, oy) along direction (dx, dy), widening with distance.
void beam(Canvas &c, float ox, float oy, float dx, float dy, float spread, Col col, float gain) {
    const float len = std::sqrt(dx * dx + dy * dy);
    dx /= len, dy /= len;
    shade(c, [&](int x, int y, float *d) {
        const float px = x + 0.5f - ox, py = y + 0.5f - oy;
        const float along = px * dx + py * dy;
        if (along <= 0) return;
        const float across = std::fabs(px * -dy + py * dx);
        const float width = 20 + along * spread;
        if (across >= width) return;
        const float k = 1 - across / width;
        const float fade = 1 - smoothstep(300, 1400, along);
        add_light(d, col, k * k * fade * gain);
    });
}

// A hue on the colour wheel, t in 0..1, without trigonometry.
Col hue(float t) {
    const Col wheel[7] = {rgb(0xFF3030), rgb(0xFFB020), rgb(0xE8F040), rgb(0x30E070),
                          rgb(0x30B8FF), rgb(0x7050FF), rgb(0xFF3030)};
    return ramp(wheel, 7, t - std::floor(t));
}

}  // namespace

Picture paint_panorama(TextRenderer &tr) {
    Canvas c(kPanoWidth, 1080);
    const Col across[5] = {rgb(0x1A0E36), rgb(0x15123E), rgb(0x0E1C40), rgb(0x0A2A3C),
                           rgb(0x082630)};
    fill_fn(c, [&](int x, int y) {
        Col k = ramp(across, 5, float(x) / kPanoWidth);
        k = k * (1.15f - 0.45f * float(y) / 1080);
        const HexCell h = hex_grid(float(x), float(y), 92);
        const float wall = 1 - smoothstep(1.0f, 3.5f, h.edge);
        return mix(k, k * 2.2f + rgb(0x101018), wall * 0.35f);
    });
    beam(c, 300, -40, 0.5f, 1, 0.32f, rgb(0xFFB040), 0.16f);
    beam(c, 1500, -40, -0.35f, 1, 0.28f, rgb(0x8060FF), 0.16f);
    beam(c, 2600, -40, 0.2f, 1, 0.34f, rgb(0x40C0FF), 0.14f);
    beam(c, 4500, -40, -0.45f, 1, 0.30f, rgb(0xFFB040), 0.12f);
    for (int i = 0; i < 60; i++) {
        const float x = hash01(i, 1, 61) * kPanoWidth, y = hash01(i, 2, 61) * 1080;
        light_spot(c, x, y, 20 + 90 * hash01(i, 3, 61), hue(hash01(i, 4, 61)),
                   0.05f + 0.07f * hash01(i, 5, 61));
    }

    const Col edge = rgb(0x06040E);
    const Col heading[3] = {rgb(0xFFFBE6), kHoneyLight, kAmber};
    title_text(
        c, tr, Face::SansBold, 96, "COMPETITIONS", 92, 150,
        [&](int, int y) { return vgradient(heading, 3, float(y), 80, 150); }, edge, 5.0f, 5, 3);
    title_text(
        c, tr, Face::Sans, 38, "Six compos. Real prizes. Big screen.", 96, 212,
        [](int, int) { return rgb(0xC8C0F0); }, edge, 3.0f);

    struct Compo {
        const char *name, *detail;
    };
    const Compo compos[6] = {{"PC DEMO", "eight minutes, all you have"},
                             {"64K INTRO", "one file, 65536 bytes"},
                             {"4K INTRO", "4096 bytes of wonder"},
                             {"TRACKED MUSIC", "any tracker, up to four minutes"},
                             {"PIXEL GRAPHICS", "hand drawn, work stages shown"},
                             {"WILD", "anything else that runs"}};
    for (int i = 0; i < 6; i++) {
        const int base = 330 + i * 112;
        draw_emblem(c, 124, float(base - 18), 22);
        title_text(
            c, tr, Face::SansBold, 50, compos[i].name, 168, base,
            [](int, int) { return rgb(0xFFFFFF); }, edge, 3.5f, 3);
        title_text(
            c, tr, Face::Sans, 28, compos[i].detail, 170, base + 40,
            [](int, int) { return rgb(0xB8C4FF); }, edge, 2.5f);
    }

    // The monitor the raster bars play on: the bars' box is (738, 343, 455, 333).
    const float mx = 738 + 455 / 2.0f, my = 343 + 333 / 2.0f;
    fill_sdf(
        c, 680, 270, 1250, 740,
        [&](float px, float py) { return sd_box(px, py, mx, my, 262, 200, 30); },
        [](int, int) { return rgb(0x08060C); });
    fill_sdf(
        c, 680, 270, 1250, 740,
        [&](float px, float py) { return sd_box(px, py, mx, my, 256, 194, 26); },
        [&](int, int y) { return mix(rgb(0x5A5470), rgb(0x242030), clamp01((y - 280.0f) / 420)); });
    fill_sdf(
        c, 700, 300, 1230, 720,
        [&](float px, float py) { return sd_box(px, py, mx, my, 236, 174, 14); },
        [&](int x, int y) {
            const float dx = (x - mx) / 236, dy = (y - my) / 174;
            const float glow = clamp01(1 - (dx * dx + dy * dy));
            const Col k = kBarScreen + rgb(0x101A30) * glow;
            return (y & 1) ? k * 0.8f : k;
        });
    title_text(
        c, tr, Face::CondensedBold, 26, "COMPO MACHINE", int(mx) - 90, 728,
        [](int, int) { return rgb(0x9890B0); }, edge, 2.0f, 0, 3);

    title_text(
        c, tr, Face::SansBold, 64, "PRIZES", 1290, 400,
        [&](int, int y) { return vgradient(heading, 3, float(y), 352, 400); }, edge, 4.0f, 4, 3);
    const char *prizes[5] = {"Hardware and honey for the", "top three of every compo.", "",
                             "Remote entries: upload them", "by Saturday 18:00 at"};
    for (int i = 0; i < 5; i++)
        if (prizes[i][0])
            title_text(
                c, tr, Face::Sans, 36, prizes[i], 1292, 470 + i * 50,
                [](int, int) { return rgb(0xE8E4FF); }, edge, 3.0f);
    title_text(
        c, tr, Face::SansBold, tr.fit(Face::SansBold, 36, kPartyEntries, 600), kPartyEntries, 1292,
        720, [](int, int) { return kHoneyLight; }, edge, 3.0f);
    // The lower right stays clear for the award badges the timeline brings in.

    // Between the two scenes: the events title, seen while the compo slides away.
    shade(c, [&](int x, int y, float *d) {
        if (x < 1920 || x > 3000) return;
        const float fx = float(x), fy = float(y);
        const HexCell h = hex_grid(fx - 2450, fy - 540, 150);
        const float near = std::abs(float(h.q)) + std::abs(float(h.r)) + std::abs(float(h.q + h.r));
        if (near > 4) return;
        const float wall = 1 - smoothstep(1.5f, 6.0f, h.edge);
        add_light(d, rgb(0x60A8FF), wall * 0.25f * (1 - near / 5));
    });
    const Col events[3] = {rgb(0xFFFFFF), rgb(0xA8E8FF), rgb(0x3A90E0)};
    const int pw = tr.measure(Face::SansBold, 150, "PARTY", 6);
    title_text(
        c, tr, Face::SansBold, 150, "PARTY", 2450 - pw / 2, 500,
        [&](int, int y) { return vgradient(events, 3, float(y), 390, 500); }, edge, 7.0f, 8, 6);
    const int ew = tr.measure(Face::SansBold, 150, "EVENTS", 6);
    title_text(
        c, tr, Face::SansBold, 150, "EVENTS", 2450 - ew / 2, 680,
        [&](int, int y) { return vgradient(events, 3, float(y), 570, 680); }, edge, 7.0f, 8, 6);

    // The events background at rest shows columns 2849 .. 4768: a timetable on the right.
    const float tx = 4500, ty = 540;
    fill_sdf(
        c, 4240, 110, 4762, 972,
        [&](float px, float py) { return sd_box(px, py, tx, ty, 250, 420, 26); },
        [](int, int) { return kHoney; }, 0.9f);
    fill_sdf(
        c, 4240, 110, 4762, 972,
        [&](float px, float py) { return sd_box(px, py, tx, ty, 244, 414, 22); },
        [](int, int y) { return mix(rgb(0x0C2C3A), rgb(0x061820), clamp01((y - 120.0f) / 840)); });
    const int hw = tr.measure(Face::SansBold, 52, "TIMETABLE", 3);
    title_text(
        c, tr, Face::SansBold, 52, "TIMETABLE", int(tx) - hw / 2, 200,
        [&](int, int y) { return vgradient(heading, 3, float(y), 162, 200); }, edge, 3.5f, 3, 3);
    struct Slot {
        const char *when, *what;
    };
    const Slot slots[7] = {{"FRI 16:00", "doors open"}, {"FRI 20:00", "opening show"},
                           {"SAT 13:00", "seminars"},   {"SAT 17:00", "live coding"},
                           {"SAT 21:00", "compos"},     {"SUN 01:00", "live set"},
                           {"SUN 12:00", "prizegiving"}};
    for (int i = 0; i < 7; i++) {
        const int base = 290 + i * 96;
        draw_emblem(c, 4296, float(base - 14), 16);
        title_text(
            c, tr, Face::CondensedBold, 34, slots[i].when, 4326, base - 6,
            [](int, int) { return kHoneyLight; }, edge, 2.5f, 0, 1);
        title_text(
            c, tr, Face::Sans, 34, slots[i].what, 4328, base + 34,
            [](int, int) { return rgb(0xE8F2FF); }, edge, 2.5f);
    }
    return picture(c);
}

Picture paint_bars() {
    Canvas c(455, 216);
    const Col hues[6] = {rgb(0xFFC020), rgb(0xFF7A20), rgb(0xFF3050),
                         rgb(0xB050FF), rgb(0x3090FF), rgb(0x30E0A0)};
    for (int i = 0; i < 6; i++) {
        const float top = float(i * 36);
        fill_sdf(
            c, 0, i * 36, 455, i * 36 + 36,
            [&](float px, float py) {
                return sd_box(px, py, 227.5f, top + 18, 227.5f, 17.5f, 17.5f);
            },
            [&](int x, int y) {
                const float v = (y + 0.5f - top) / 36;  // 0..1 down the bar
                const float m = 1 - std::fabs(2 * v - 1);
                const float shine = m * m * m * m;
                const float across = (x - 227.5f) / 227.5f;
                const float light = 1 - 0.25f * across * across;
                Col k = mix(hues[i] * 0.18f, hues[i], m) * light;
                return mix(k, rgb(0xFFFFFF), shine * 0.7f);
            });
    }
    return sprite_picture(c, kBarScreen, true);
}

Picture paint_badge(TextRenderer &tr, bool demo) {
    Canvas c(480, 160);
    fill_sdf(
        c, 0, 0, 480, 160, [](float px, float py) { return sd_box(px, py, 240, 80, 238, 78, 28); },
        [](int, int) { return kHoney; });
    fill_sdf(
        c, 0, 0, 480, 160, [](float px, float py) { return sd_box(px, py, 240, 80, 232, 72, 23); },
        [](int, int y) { return mix(rgb(0x2A1840), rgb(0x120A22), clamp01(y / 160.0f)); });
    // A medal on two ribbon tails.
    const Col ribbon = demo ? rgb(0xE03A4A) : rgb(0x3A7AE0);
    fill_sdf(
        c, 40, 60, 130, 160,
        [](float px, float py) { return sd_segment(px, py, 70, 90, 58, 140, 10); },
        [&](int, int) { return ribbon; });
    fill_sdf(
        c, 40, 60, 130, 160,
        [](float px, float py) { return sd_segment(px, py, 90, 90, 102, 140, 10); },
        [&](int, int) { return ribbon * 0.8f; });
    draw_emblem(c, 80, 72, 54);
    const Col fill[3] = {rgb(0xFFFFFF), kHoneyLight, kHoney};
    const char *title = demo ? "BEST DEMO" : "BEST COMPO";
    const int px = tr.fit(Face::SansBold, 54, title, 300, 2);
    title_text(
        c, tr, Face::SansBold, px, title, 152, 80,
        [&](int, int y) { return vgradient(fill, 3, float(y), 40, 80); }, rgb(0x0A0612), 3.5f, 3,
        2);
    const char *sub = demo ? "takes home the Golden Hive" : "the crowd's favourite show";
    title_text(
        c, tr, Face::Sans, tr.fit(Face::Sans, 26, sub, 306), sub, 154, 124,
        [](int, int) { return rgb(0xD8D0F0); }, rgb(0x0A0612), 2.0f);
    return sprite_picture(c, rgb(0x101020), false);
}

Picture paint_particle() {
    Col core[64], halo[64];
    float radius[64];
    for (int k = 0; k < 64; k++) {
        const Col h = hue(float(k) / 64);
        radius[k] = 12.5f + 3 * hash01(k, 0, 71);
        halo[k] = h * 0.8f;
        core[k] = mix(h, rgb(0xFFFFFF), 0.6f);
    }
    return particle_sheet(core, halo, radius);
}

Picture paint_whytext(TextRenderer &tr) {
    Canvas c(1280, 440);
    const Col edge = rgb(0x030A10);
    // A dark panel under the lines keeps them readable over the particle swirl.
    fill_sdf(
        c, 0, 118, 1280, 440,
        [](float px, float py) { return sd_box(px, py, 640, 279, 638, 159, 26); },
        [](int, int) { return rgb(0x1E5A70); });
    fill_sdf(
        c, 0, 118, 1280, 440,
        [](float px, float py) { return sd_box(px, py, 640, 279, 634, 155, 23); },
        [](int, int y) { return mix(rgb(0x0A2430), rgb(0x051218), clamp01((y - 124.0f) / 310)); });
    const Col heading[3] = {rgb(0xFFFBE6), kHoneyLight, kAmber};
    title_text(
        c, tr, Face::SansBold, 92, "BUT WHY COME?", 12, 96,
        [&](int, int y) { return vgradient(heading, 3, float(y), 28, 96); }, edge, 5.0f, 5, 2);
    const char *lines[4] = {"See brand-new demos first, on the big screen",
                            "Meet the people behind your favourite productions",
                            "Code, draw and make music side by side",
                            "Seminars, a live set and a sunrise over the harbour"};
    for (int i = 0; i < 4; i++) {
        const int px = tr.fit(Face::Sans, 46, lines[i], 1240);
        title_text(
            c, tr, Face::Sans, px, lines[i], 16, 182 + i * 68,
            [](int, int) { return rgb(0xF2F6FF); }, edge, 3.5f, 3);
    }
    return sprite_picture(c, kEventsMatte, false);
}

Picture paint_whyaap(TextRenderer &tr) {
    Canvas c(480, 320);
    fill_sdf(
        c, 0, 0, 480, 320,
        [](float px, float py) { return sd_box(px, py, 240, 160, 238, 158, 30); },
        [](int, int) { return kHoney; });
    fill_sdf(
        c, 0, 0, 480, 320,
        [](float px, float py) { return sd_box(px, py, 240, 160, 232, 152, 25); },
        [](int, int y) { return mix(rgb(0x163A48), rgb(0x0A1C26), clamp01(y / 320.0f)); });
    // A home computer with its monitor.
    const Col beige = rgb(0xDCD2B8), shadowed = rgb(0x9C9280);
    fill_sdf(
        c, 100, 20, 380, 200,
        [](float px, float py) { return sd_box(px, py, 240, 108, 112, 80, 14); },
        [](int, int) { return rgb(0x2A2418); });
    fill_sdf(
        c, 100, 20, 380, 200,
        [](float px, float py) { return sd_box(px, py, 240, 106, 108, 76, 12); },
        [&](int, int y) { return mix(beige, shadowed, clamp01((y - 30.0f) / 160)); });
    fill_sdf(
        c, 120, 40, 360, 180,
        [](float px, float py) { return sd_box(px, py, 240, 100, 88, 58, 10); },
        [](int, int y) {
            const Col k = mix(rgb(0x183060), rgb(0x0A1430), clamp01((y - 42.0f) / 116));
            return (y & 1) ? k * 0.85f : k;
        });
    draw_bee(c, 240, 104, 92, -0.3f);
    fill_sdf(
        c, 80, 196, 400, 250,
        [](float px, float py) { return sd_box(px, py, 240, 222, 140, 22, 8); },
        [](int, int) { return rgb(0x2A2418); });
    fill_sdf(
        c, 80, 196, 400, 250,
        [](float px, float py) { return sd_box(px, py, 240, 220, 136, 18, 6); },
        [&](int x, int y) {
            const bool key =
                ((x - 110) % 16) < 12 && ((y - 206) % 10) < 7 && y < 234 && x > 112 && x < 368;
            return key ? rgb(0x6E6658) : beige;
        });
    const int w = tr.measure(Face::SansBold, 32, "Bring your own machine!");
    title_text(
        c, tr, Face::SansBold, 32, "Bring your own machine!", centred(240, w), 292,
        [](int, int) { return kCream; }, rgb(0x030A10), 3.0f);
    return sprite_picture(c, kEventsMatte, false);
}

Picture paint_whyenjoy(TextRenderer &tr) {
    Canvas c(480, 128);
    const Col fill[4] = {rgb(0xFFFFFF), kHoneyLight, kHoney, kAmber};
    const int px = tr.fit(Face::SansBold, 120, "ENJOY!", 400, 4);
    const int w = tr.measure(Face::SansBold, px, "ENJOY!", 4);
    title_text(
        c, tr, Face::SansBold, px, "ENJOY!", centred(232, w), 108,
        [&](int, int y) { return vgradient(fill, 4, float(y), 108.0f - px * 0.73f, 108); }, kBrown,
        6.0f, 5, 4);
    // Four-pointed sparkles.
    const float spark[3][3] = {{452, 24, 16}, {22, 96, 12}, {458, 96, 9}};
    for (const auto &s : spark)
        fill_sdf(
            c, int(s[0] - s[2]) - 2, int(s[1] - s[2]) - 2, int(s[0] + s[2]) + 3,
            int(s[1] + s[2]) + 3,
            [&](float px2, float py2) {
                // Astroid: sqrt|x| + sqrt|y| = sqrt(size), divided by its gradient.
                const float dx = std::fabs(px2 - s[0]) + 0.05f, dy = std::fabs(py2 - s[1]) + 0.05f;
                const float f = std::sqrt(dx) + std::sqrt(dy) - std::sqrt(s[2]);
                const float gx = 0.5f / std::sqrt(dx), gy = 0.5f / std::sqrt(dy);
                return f / std::sqrt(gx * gx + gy * gy);
            },
            [](int, int) { return rgb(0xFFFBE0); });
    return sprite_picture(c, kEventsMatte, true);
}

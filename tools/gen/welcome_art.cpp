#include "welcome_art.h"

#include <string>

namespace {

constexpr Col kSkyMatte = rgb(0x0E1933);

// A flower on a curved stem: five petals around a lit centre.
void flower(Canvas &c, float x, float y, float size, float lean, Col petal, std::uint32_t seed) {
    const float stemtop_x = x + lean, stemtop_y = y;
    fill_sdf(
        c, int(x - 60), int(y - size * 2), int(x + 60), c.h,
        [&](float px, float py) {
            // Stem bending from the ground to the blossom.
            const float t = clamp01((py - stemtop_y) / (float(c.h) - stemtop_y));
            const float sx = stemtop_x + (x - stemtop_x) * t * t;
            return (px > sx ? px - sx : sx - px) - 2.2f + (py < stemtop_y ? 1e4f : 0);
        },
        [](int, int) { return rgb(0x07140F); });
    for (int i = 0; i < 5; i++) {
        const float a = float(i) * 1.2566371f + hash01(int(seed), i, 3) * 0.3f;
        const float sa = gsin(a), ca = gcos(a);
        const float px = stemtop_x + ca * size * 0.55f, py = stemtop_y + sa * size * 0.55f;
        fill_sdf(
            c, int(px - size), int(py - size), int(px + size), int(py + size),
            [&](float qx, float qy) {
                return sd_ellipse(qx, qy, px, py, size * 0.55f, size * 0.3f, sa, ca);
            },
            [&](int, int qy) {
                return mix(petal, petal * 0.45f, clamp01((qy - (stemtop_y - size)) / (2 * size)));
            });
    }
    fill_sdf(
        c, int(stemtop_x - size), int(stemtop_y - size), int(stemtop_x + size),
        int(stemtop_y + size),
        [&](float px, float py) { return sd_circle(px, py, stemtop_x, stemtop_y, size * 0.3f); },
        [](int, int) { return rgb(0xE8A030); });
    light_spot(c, stemtop_x, stemtop_y, size * 1.6f, rgb(0xFFB040), 0.25f);
}

}  // namespace

Picture paint_welcomebg() {
    Canvas c(1920, 1800);
    const Col sky[6] = {rgb(0x050818), rgb(0x0A1432), rgb(0x10214A),
                        rgb(0x183056), rgb(0x1A3650), rgb(0x0B1A22)};
    fill_fn(c, [&](int x, int y) {
        Col k = vgradient(sky, 6, float(y), 0, 1800);
        // Faint haze so the large dark areas are not flat.
        const float n = fbm(x / 260.0f, y / 260.0f, 3, 21);
        return k * (0.9f + 0.2f * n);
    });
    // A soft band of northern light across the upper sky.
    std::vector<float> centres(size_t(c.w));
    for (int x = 0; x < c.w; x++)
        centres[size_t(x)] =
            430 + 90 * gsin(float(x) * 0.0031f) + 40 * gsin(float(x) * 0.0087f + 1.3f);
    shade(c, [&](int x, int y, float *d) {
        const float fx = float(x);
        const float dy = (float(y) - centres[size_t(x)]) / 150;
        if (dy * dy >= 1) return;
        const float k = (1 - dy * dy) * (1 - dy * dy);
        const float ripple = 0.6f + 0.4f * fbm(fx / 90.0f, float(y) / 400.0f, 3, 5);
        add_light(d, mix(rgb(0x20C8A0), rgb(0x3A6CFF), clamp01(fx / 1920)), k * ripple * 0.16f);
    });
    // Stars, fewer further down.
    for (int gy = 0; gy < 1500; gy += 24)
        for (int gx = 0; gx < 1920; gx += 24) {
            const int i = gx / 24, j = gy / 24;
            const float chance = 0.16f * (1 - smoothstep(600, 1450, float(gy)));
            if (hash01(i, j, 31) >= chance) continue;
            const float sx = gx + hash01(i, j, 32) * 24, sy = gy + hash01(i, j, 33) * 24;
            const float b = hash01(i, j, 34);
            light_spot(c, sx, sy, 1.8f + 2.6f * b,
                       mix(rgb(0xBFD8FF), rgb(0xFFF2D0), hash01(i, j, 35)), 0.35f + 0.65f * b);
            if (b > 0.93f) light_spot(c, sx, sy, 14, rgb(0x9FC0FF), 0.12f);
        }
    // Hills and a meadow of flowers at the bottom, reached at the end of the climb.
    shade(c, [&](int x, int y, float *d) {
        const float fx = float(x);
        const float far = 1470 + 60 * gsin(fx * 0.0024f + 0.7f) + 25 * gsin(fx * 0.0071f);
        const float near = 1590 + 45 * gsin(fx * 0.0033f + 2.1f) + 18 * gsin(fx * 0.011f);
        const float fy = float(y);
        if (fy > far)
            over(d, mix(rgb(0x0C1C2C), rgb(0x081420), clamp01((fy - far) / 200)),
                 clamp01(fy - far));
        if (fy > near)
            over(d, mix(rgb(0x0A1A16), rgb(0x050C0A), clamp01((fy - near) / 160)),
                 clamp01(fy - near));
    });
    const Col petals[4] = {rgb(0xF7C84A), rgb(0xE8E0F0), rgb(0x7FB8FF), rgb(0xF49A5A)};
    for (int i = 0; i < 34; i++) {
        const float x = 30 + float(i) * 56 + hash01(i, 0, 41) * 40;
        const float y = 1630 + hash01(i, 1, 41) * 110;
        flower(c, x, y, 12 + 10 * hash01(i, 2, 41), (hash01(i, 3, 41) - 0.5f) * 40,
               petals[hash3(i, 4, 41) % 4], std::uint32_t(i));
    }
    return picture(c);
}

Picture paint_bee45() {
    Canvas c(96, 96);
    draw_bee(c, 45, 52, 72, -0.785398f);
    return sprite_picture(c, kSkyMatte, true);
}

Picture paint_offertext(TextRenderer &tr) {
    Canvas c(3200, 120);
    const char *text =
        "HONEYWAVE OFFERS \xe2\x97\x86 A HUGE SCREEN \xe2\x97\x86 LOUD SOUND \xe2\x97\x86 FAST "
        "NETWORK \xe2\x97\x86 LIVE MUSIC \xe2\x97\x86 HOT FOOD \xe2\x97\x86 SLEEPING HALL "
        "\xe2\x97\x86";
    const int px = tr.fit(Face::SansBold, 90, text, 3150, 2);
    const int w = tr.measure(Face::SansBold, px, text, 2);
    const Col fill[3] = {rgb(0xFFFBE6), kHoneyLight, kAmber};
    title_text(
        c, tr, Face::SansBold, px, text, centred(1600, w), 90,
        [&](int, int y) { return vgradient(fill, 3, float(y), 90.0f - px * 0.73f, 90); },
        rgb(0x05070F), 4.5f, 4, 2);
    return sprite_picture(c, kSkyMatte, false);
}

Picture paint_location(TextRenderer &tr) {
    Canvas c(1200, 540);
    const Col heading[3] = {rgb(0xFFFBE6), kHoneyLight, kAmber};
    const Col edge = rgb(0x04070F);
    title_text(
        c, tr, Face::SansBold, 72, "WHERE & WHEN", 12, 78,
        [&](int, int y) { return vgradient(heading, 3, float(y), 26, 78); }, edge, 4.5f, 4, 4);
    fill_sdf(
        c, 0, 96, 700, 116, [](float px, float py) { return sd_box(px, py, 330, 105, 318, 3, 3); },
        [](int x, int) { return mix(kHoney, rgb(0x2060C0), clamp01(x / 650.0f)); });
    const std::string web_and_mail = std::string(kPartyWeb) + " \xc2\xb7 " + kPartyMail;
    struct Row {
        Face face;
        int px, baseline;
        const char *text;
        Col colour;
    };
    const Row rows[] = {
        {Face::SansBold, 52, 178, "Friday 14 \xe2\x80\x93 Sunday 16 May 2027", kCream},
        {Face::SansBold, 64, 262, "Lindvik Tram Depot", rgb(0xFFFFFF)},
        {Face::Sans, 44, 328, kPartyAddress, rgb(0xD8E4FF)},
        {Face::Sans, 44, 392, "Doors open on Friday at 16:00", rgb(0xD8E4FF)},
        {Face::Sans, 44, 456, "Entry 30 \xe2\x82\xac \xc2\xb7 free under sixteen", rgb(0xD8E4FF)},
        {Face::SansBold, tr.fit(Face::SansBold, 40, web_and_mail.c_str(), 1170), 520,
         web_and_mail.c_str(), kHoneyLight},
    };
    for (const Row &r : rows)
        title_text(
            c, tr, r.face, r.px, r.text, 14, r.baseline, [&](int, int) { return r.colour; }, edge,
            3.5f, 3);
    return sprite_picture(c, kSkyMatte, false);
}

Picture paint_particleblue() {
    Col core[64], halo[64];
    float radius[64];
    for (int k = 0; k < 64; k++) {
        const float t = float(k) / 63;
        radius[k] = 10 + 5.5f * t;
        halo[k] = mix(rgb(0x30B0FF), rgb(0x2C48FF), t) * (0.75f - 0.2f * t);
        core[k] = mix(rgb(0xF0FFFF), rgb(0xA8D0FF), t) * (1.0f - 0.3f * t);
    }
    return particle_sheet(core, halo, radius);
}

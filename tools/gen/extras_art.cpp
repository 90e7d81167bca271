#include "extras_art.h"

#include <cmath>

Picture paint_honeycomb() {
    // Three rows of cells fit 512 pixels down; the grid is squeezed by 4 % across so that
    // five cells fit 512 pixels across and the texture tiles.
    const float radius = 512.0f / 9;
    const float squeeze = 5 * 1.7320508f * radius / 512;
    Canvas c(512, 512);
    fill_fn(c, [&](int x, int y) {
        const HexCell h = hex_grid((x + 0.5f) * squeeze, y + 0.5f, radius);
        const float wall = 1 - smoothstep(2.0f, 6.0f, h.edge);
        const float depth = smoothstep(0, 40, h.edge);
        // Column and row of the cell, repeating with the tile so neighbouring tiles match.
        const int col = h.q + (h.r >> 1);
        const int q = ((col % 5) + 5) % 5, r = ((h.r % 6) + 6) % 6;
        const float fill = 0.35f + 0.5f * hash01(q, r, 101);
        const Col honey = mix(rgb(0x8A3C0C), rgb(0xF8B133), fill * (0.6f + 0.4f * depth));
        return mix(honey, rgb(0xFFE9B0), wall);
    });
    return picture(c);
}

Picture paint_noise() {
    Picture p;
    p.width = p.height = 256;
    p.grey.resize(size_t(256) * 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            const float n = fbm(x / 32.0f, y / 32.0f, 5, 111, 8);
            const float v = clamp01((n - 0.5f) * 1.6f + 0.5f);
            p.grey[size_t(y) * 256 + x] = std::uint8_t(std::floor(v * 255.0f + 0.5f));
        }
    return p;
}

Picture paint_ramp() {
    const Col stops[6] = {rgb(0x000000), rgb(0x3A1E0C), rgb(0xA9461A),
                          rgb(0xF8B133), rgb(0xFFE9A0), rgb(0xFFFFFF)};
    Canvas c(256, 8);
    fill_fn(c, [&](int x, int) { return ramp(stops, 6, x / 255.0f); });
    return picture(c);
}

Picture paint_vignette() {
    Canvas c(960, 540);
    shade(c, [](int x, int y, float *d) {
        const float dx = (x + 0.5f - 480) / 480, dy = (y + 0.5f - 270) / 270;
        const float r = std::sqrt(dx * dx * 0.8f + dy * dy);
        const float a = smoothstep(0.62f, 1.28f, r) * 0.88f;
        d[0] = d[1] = d[2] = 0;
        d[3] = a;
    });
    return picture(c);
}

Picture paint_credits(TextRenderer &tr) {
    Canvas c(1920, 1080);
    // A dark band, fading at its top and bottom edges.
    shade(c, [](int, int y, float *d) {
        const float fy = float(y);
        const float a = smoothstep(700, 760, fy) * (1 - smoothstep(990, 1050, fy)) * 0.62f;
        over(d, rgb(0x070410), a);
    });
    const Col edge = rgb(0x06040C);
    const Col heading[3] = {rgb(0xFFFBE6), kHoneyLight, kAmber};
    const char *title = "AN INVITATION BY DROWSY KETTLE";
    const int tw = tr.measure(Face::SansBold, 64, title, 3);
    title_text(
        c, tr, Face::SansBold, 64, title, centred(960, tw), 830,
        [&](int, int y) { return vgradient(heading, 3, float(y), 784, 830); }, edge, 4.0f, 4, 3);
    const char *roles[3] = {"code", "music", "graphics"};
    const char *names[3] = {"Mothwick", "Lunette & Bramble", "Pollux Fen"};
    for (int i = 0; i < 3; i++) {
        const int cx = 480 + i * 480;
        const int rw = tr.measure(Face::Sans, 34, roles[i], 2);
        title_text(
            c, tr, Face::Sans, 34, roles[i], centred(cx, rw), 900,
            [](int, int) { return rgb(0xB8C0E8); }, edge, 3.0f, 0, 2);
        const int nw = tr.measure(Face::SansBold, 48, names[i]);
        title_text(
            c, tr, Face::SansBold, 48, names[i], centred(cx, nw), 960,
            [](int, int) { return rgb(0xFFFFFF); }, edge, 3.5f, 3);
    }
    return picture(c);
}

Picture paint_emblem() {
    Canvas glow(512, 512);
    // The hexagon's shape, blurred, lights the area around it.
    Mask hex =
        sdf_mask(512, 512, [](float px, float py) { return sd_hexagon(px, py, 256, 256, 200); });
    glow_mask(glow, blur(hex, 14), 0, 0, rgb(0xFFB040), 0.75f);
    draw_emblem(glow, 256, 256, 200);
    return picture(glow);
}

Picture paint_font(TextRenderer &tr, bool highlight) {
    constexpr int kRows = 28, kBaseline = 21;  // glyph rows and the baseline within them
    const Face face = highlight ? Face::SansBold : Face::Sans;
    const int px = 19;
    const Col ink = highlight ? rgb(0xFFF1C0) : rgb(0xB4BCC8);
    const Col shadow = rgb(0x000000);

    std::vector<GlyphImage> glyphs;
    std::vector<int> starts, widths;
    int x = 1;  // column 0 is glyph 0
    for (char32_t code = 32; code <= 124; code++) {
        GlyphImage g = tr.glyph(face, px, code);
        const int shift = g.left < 0 ? -g.left : 0;
        int w = g.advance + shift;
        if (g.left + shift + g.mask.w + 1 > w) w = g.left + shift + g.mask.w + 1;
        if (w < 2) w = 2;
        starts.push_back(x);
        widths.push_back(w);
        g.left += shift;
        glyphs.push_back(std::move(g));
        x += w;
    }
    Canvas c(x, kRows + 1);
    for (size_t i = 0; i < glyphs.size(); i++) {
        const GlyphImage &g = glyphs[i];
        const int gx = starts[i] + g.left, gy = 1 + kBaseline - g.top;
        draw_mask(c, g.mask, gx + 1, gy + 1, shadow, 0.9f);
        draw_mask(c, g.mask, gx, gy, ink);
    }
    const bool magenta = !highlight;
    Picture p = sprite_picture(c, rgb(0x202020), magenta, 0.3f);
    // Marker row: an opaque pixel where each glyph after the space begins.
    const std::uint32_t clear = magenta ? 0xFFFF00FFu : 0u;
    for (int i = 0; i < p.width; i++) p.argb[size_t(i)] = clear;
    for (size_t i = 1; i < starts.size(); i++) p.argb[size_t(starts[i])] = 0xFFFFFFFFu;
    return p;
}

Picture paint_cursor() {
    Canvas c(24, 32);
    const float arrow[14] = {1, 1, 1, 25, 7.5f, 19.5f, 12, 30, 16, 28, 11.5f, 18.5f, 19, 18.5f};
    fill_sdf(
        c, 0, 0, 24, 32, [&](float px, float py) { return sd_polygon(px, py, arrow, 7) - 1.3f; },
        [](int, int) { return rgb(0x000000); });
    fill_sdf(
        c, 0, 0, 24, 32, [&](float px, float py) { return sd_polygon(px, py, arrow, 7) + 0.6f; },
        [](int, int y) { return mix(rgb(0xFFFFFF), rgb(0xFFD86B), clamp01(y / 30.0f)); });
    return sprite_picture(c, rgb(0x202020), false, 0.4f);
}

#include "finale_art.h"

#include <cmath>
#include <string>

namespace {

constexpr int kCircleLift = 64;  // the final scene draws its circles this much higher

// Coverage of the end logo's letters and hexagon rings, where the final picture shows them.
Mask end_logo_ink(TextRenderer &tr) {
    Canvas c(1920, 1080);
    const Col white = rgb(0xFFFFFF);
    const auto solid = [&](int, int) { return white; };
    const int px = tr.fit(Face::SansBold, 270, kPartyName, 1680, 4);
    const int w = tr.measure(Face::SansBold, px, kPartyName, 4);
    title_text(c, tr, Face::SansBold, px, kPartyName, centred(960, w), 560 - kCircleLift, solid,
               white, 0, 0, 4);
    const int yw = tr.measure(Face::SansBold, 190, kPartyYear, 20);
    title_text(c, tr, Face::SansBold, 190, kPartyYear, centred(960, yw), 780 - kCircleLift, solid,
               white, 0, 0, 20);
    for (int side = -1; side <= 1; side += 2) {
        const float hx = 960 + side * (yw / 2.0f + 130), hy = 712 - kCircleLift;
        fill_sdf(
            c, int(hx) - 80, int(hy) - 80, int(hx) + 81, int(hy) + 81,
            [&](float qx, float qy) { return std::fabs(sd_hexagon(qx, qy, hx, hy, 70) + 9) - 9; },
            solid);
    }
    const char *bye = "SEE YOU IN LINDVIK";
    const int bw = tr.measure(Face::SansBold, 84, bye, 10);
    title_text(c, tr, Face::SansBold, 84, bye, centred(960, bw), 920 - kCircleLift, solid, white, 0,
               0, 10);
    Mask m(c.w, c.h);
    for (size_t i = 0; i < m.v.size(); i++) m.v[i] = c.p[i * 4 + 3];
    return m;
}

}  // namespace

Picture paint_recap(TextRenderer &tr, RecapCard card) {
    Canvas c(1600, 460);
    fill_sdf(
        c, 0, 0, c.w, c.h,
        [](float px, float py) { return sd_box(px, py, 800, 230, 796, 226, 40); },
        [](int, int) { return kHoney; }, 0.95f);
    fill_sdf(
        c, 0, 0, c.w, c.h,
        [](float px, float py) { return sd_box(px, py, 800, 230, 788, 218, 34); },
        [](int, int y) { return mix(rgb(0x2A1608), rgb(0x0C0704), clamp01(y / 460.0f)); });

    const std::string dates = std::string(kPartyDates);
    const std::string mail = std::string("write to ") + kPartyMail;
    const std::string entries = std::string("remote entries: ") + kPartyEntries;
    const char *label = "", *headline = "", *detail[2] = {"", ""};
    switch (card) {
        case RecapCard::When:
            label = "WHEN";
            headline = dates.c_str();
            detail[0] = "Friday to Sunday \xc2\xb7 doors open on Friday at 16:00";
            break;
        case RecapCard::Where:
            label = "WHERE";
            headline = kPartyPlace;
            detail[0] = kPartyAddress;
            break;
        case RecapCard::Online:
            label = "ONLINE";
            headline = kPartyWeb;
            detail[0] = mail.c_str();
            detail[1] = entries.c_str();
            break;
    }
    const Col edge = rgb(0x0A0502);
    title_text(
        c, tr, Face::CondensedBold, 50, label, 80, 100, [](int, int) { return kHoney; }, edge, 3.0f,
        0, 10);
    const Col fill[4] = {rgb(0xFFFFFF), kCream, kHoneyLight, kHoney};
    const int hp = tr.fit(Face::SansBold, 150, headline, 1440, 2);
    const int hw = tr.measure(Face::SansBold, hp, headline, 2);
    const int base = detail[1][0] ? 250 : 280;
    const float top = float(base) - hp * 0.73f;
    title_text(
        c, tr, Face::SansBold, hp, headline, centred(800, hw), base,
        [&](int, int y) { return vgradient(fill, 4, float(y), top, float(base)); }, kBrown, 6.0f, 5,
        2);
    for (int i = 0; i < 2; i++) {
        if (!detail[i][0]) continue;
        const int dp = tr.fit(Face::Sans, 56, detail[i], 1440);
        const int dw = tr.measure(Face::Sans, dp, detail[i]);
        title_text(
            c, tr, Face::Sans, dp, detail[i], centred(800, dw), base + 90 + i * 70,
            [](int, int) { return kCream; }, edge, 3.0f);
    }
    return picture(c);
}

Picture paint_endlogo(TextRenderer &tr) {
    const Mask ink = shifted(end_logo_ink(tr), 0, kCircleLift);
    Canvas c(1920, 1080);
    fill_fn(c, [](int, int) { return Col{}; });
    draw_mask(c, ink, 0, 0, rgb(0xFFFFFF));
    Picture p;
    p.width = c.w;
    p.height = c.h;
    p.grey = to_grey(c);
    return p;
}

Picture paint_endtitle(TextRenderer &tr) {
    Canvas c(1920, 1080);
    // A soft plate darkens whatever runs behind the logo.
    Mask plate = sdf_mask(
        1920, 1080, [](float px, float py) { return sd_box(px, py, 960, 610, 880, 420, 120); });
    draw_mask(c, blur(plate, 40), 0, 0, rgb(0x080402), 0.72f);

    const Mask ink = end_logo_ink(tr);
    draw_mask(c, dilate(ink, 7.0f), 0, 0, kBrown);
    const Col fill[4] = {rgb(0xFFFBEA), kHoneyLight, kHoney, kAmber};
    draw_mask_fn(c, ink, 0, 0, [&](int, int y) {
        // Each line runs through the gradient on its own.
        if (y < 520) return vgradient(fill, 4, float(y), 300, 500);
        if (y < 760) return vgradient(fill, 4, float(y), 570, 720);
        return vgradient(fill, 4, float(y), 790, 860);
    });

    const int wp = tr.fit(Face::SansBold, 60, kPartyWeb, 1400, 2);
    const int ww = tr.measure(Face::SansBold, wp, kPartyWeb, 2);
    title_text(
        c, tr, Face::SansBold, wp, kPartyWeb, centred(960, ww), 960,
        [](int, int) { return kCream; }, kBrown, 4.0f, 3, 2);
    return picture(c);
}

// The production's look: its names, colours and the painting helpers its pictures share.
#pragma once

#include <cstdint>
#include <vector>

#include "palette.h"
#include "raster.h"
#include "text.h"

// The invented party and the group that invites to it.
constexpr const char *kPartyName = "HONEYWAVE";
constexpr const char *kPartyYear = "2027";
constexpr const char *kPartyDates = "14 \xe2\x80\x93 16 MAY 2027";
constexpr const char *kPartyPlace = "LINDVIK TRAM DEPOT";
constexpr const char *kPartyAddress = "Harbour Street 12, Lindvik, Kaldmark";
// The web and mail names use the reserved ".example" domain: they can never reach anyone real.
constexpr const char *kPartyWeb = "www.honeywave.example";
constexpr const char *kPartyMail = "hello@honeywave.example";
constexpr const char *kPartyEntries = "honeywave.example/entries";
constexpr const char *kGroupWord1 = "DROWSY";
constexpr const char *kGroupWord2 = "KETTLE";

constexpr Col kCream = rgb(0xFFF4DA);
constexpr Col kHoneyLight = rgb(0xFFD86B);
constexpr Col kHoney = rgb(0xF8B133);
constexpr Col kAmber = rgb(0xE0801E);
constexpr Col kRust = rgb(0xA9461A);
constexpr Col kBrown = rgb(0x3A1E0C);
constexpr Col kInk = rgb(0x17100A);
constexpr Col kNight = rgb(0x0A1024);
constexpr Col kNightBlue = rgb(0x13254A);
constexpr Col kIce = rgb(0x9FE3FF);

// What a painter hands to the writer: true-colour pixels (0xAARRGGBB, rows top to bottom),
// or grey values, or an image already reduced to a palette.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> argb;
    std::vector<std::uint8_t> grey;
    IndexedImage indexed;
};

Picture picture(const Canvas &c);  // straight-alpha pixels
// An alpha-tested sprite: see to_sprite.
Picture sprite_picture(const Canvas &c, Col matte, bool magenta, float threshold = 0.5f);

// Vertical gradient through evenly spaced stops over rows y0..y1.
Col vgradient(const Col *stops, int n, float y, float y0, float y1);

// A line of text with a rounded outline, a hard drop shadow and a fill coloured per pixel;
// the pen at (penx, baseline). Returns the line so callers can align further things.
template <class F>
TextLine title_text(Canvas &c, TextRenderer &tr, Face face, int px, const char *s, int penx,
                    int baseline, F fill, Col edge, float outline, int shadow = 0,
                    float tracking = 0) {
    TextLine t = tr.line(face, px, s, tracking);
    const int x = t.left(penx), y = t.top(baseline);
    Mask ring = outline > 0 ? dilate(t.mask, outline) : t.mask;
    if (shadow) draw_mask(c, ring, x + shadow, y + shadow, edge * 0.5f);
    if (outline > 0) draw_mask(c, ring, x, y, edge);
    draw_mask_fn(c, t.mask, x, y, fill);
    return t;
}

// Pen x that centres a line of `width` pixels on `cx`.
inline int centred(int cx, int width) { return cx - width / 2; }

// Soft round light: adds colour with a smooth falloff to radius r.
void light_spot(Canvas &c, float cx, float cy, float r, Col col, float gain);

// A cartoon bee centred on (cx, cy), `size` pixels long, facing along `angle` radians
// (0: to the right, y downwards), with dark outlines.
void draw_bee(Canvas &c, float cx, float cy, float size, float angle);
// The party's emblem: a golden hexagon of circumradius r holding the bee.
void draw_emblem(Canvas &c, float cx, float cy, float r);

// A sheet of 8 x 8 glowing particles of 32 x 32 pixels for additive drawing (the blend
// adds each colour multiplied by itself, so the stored colour is the square root of the
// light wanted). Frame k has a halo of radius[k] pixels in halo[k] and a bright core.
Picture particle_sheet(const Col *core, const Col *halo, const float *radius);

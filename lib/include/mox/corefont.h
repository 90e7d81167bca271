// Bitmap fonts and text.
//
// Font image format: one TGA image holding a row of glyphs side by side.
// - Row 0 is the marker row. A pixel there whose alpha (after the colour key) is not 0 marks
//   the first column of a glyph; every other row-0 pixel must have alpha 0: fully
//   transparent in a 32-bit image, or keyed magenta (red > 240, green < 16, blue > 240) in
//   any depth. In a 24-bit image every unkeyed pixel is opaque, so there the row-0 background
//   must be magenta.
// - Glyph images are rows 1 .. height - 1; a font's glyph height is the image height - 1.
// - Glyph 0 is column 0 alone. Glyph 1 (the space, code 32) runs from column 1 up to the
//   column before the first marker. Each further glyph starts at a marker and ends before
//   the next one; the last runs to the right edge. So the first marker is at column 2 or
//   more, and glyph widths are 1..255 pixels. A marker in column 0 is ignored, and a glyph
//   wider than 255 pixels is cut to its first 255 columns.
// - Glyph i draws character code i + 31: 2 is '!', 3 '"', ..., 93 '|'. Glyphs 94 and 95
//   ('}' and '~') may be present but are never drawn; at most 96 glyphs are read.
// - A glyph's width is also its advance; transparent pixels (alpha 0 or keyed magenta)
//   are not drawn.
#pragma once
#include "mox/coresprite.h"

constexpr int MOX_MAXFONTS = 16;
constexpr int MOX_FONTGLYPHS = 96;

struct s_font {
    s_sprite fontchar[MOX_FONTGLYPHS];        // one sprite per glyph
    unsigned char fontwidth[MOX_FONTGLYPHS];  // width and advance of each glyph
    int height;                               // glyph height: image height - 1
    int numcharacters;                        // glyphs found, at most 96
    int spacing;       // extra pixels after each glyph (not after spaces in MOX_DrawText)
    s_bitmap *bitmap;  // the font image (an entry of mox_fontbmp)
};

extern s_bitmap mox_fontbmp[MOX_MAXFONTS];
extern int mox_numfonts;

// Loads the image and cuts the glyphs. With the font table full, or an image that does not
// load, it prints a message and leaves an empty font (no glyphs, every width 0) that draws
// nothing.
void MOX_LoadFont(const char *filename, s_font *font);
void MOX_LoadDarkFont(const char *filename, s_font *font);
void MOX_DeleteFont(s_font *font);
void MOX_SetFontSpacing(int spacing, s_font *font);

// printf-style text (at most 255 characters). Characters outside '\x1f' .. '|' are skipped
// without advancing.
void MOX_DrawText(int x, int y, s_font font, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
// Centred on the current framebuffer's width.
void MOX_DrawCenteredText(int y, s_font font, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
// Centred in the span x .. x + w; every character, spaces too, advances by width + spacing.
void MOX_DrawCenteredTextXW(int x, int y, int w, s_font font, const char *format, ...)
    __attribute__((format(printf, 5, 6)));

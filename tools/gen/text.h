// Text as coverage masks, rasterised with FreeType from the DejaVu fonts.
#pragma once

#include <memory>

#include "raster.h"

enum class Face { Sans, SansBold, CondensedBold, SerifBoldItalic, MonoBold };

// A rendered line. The pen starts at column `originx` on row `baseline` of the mask.
struct TextLine {
    Mask mask;
    int originx = 0;
    int baseline = 0;
    int width = 0;   // advance of the whole line
    int ascent = 0;  // font ascender and descender at this size, in pixels
    int descent = 0;
    int left(int penx) const { return penx - originx; }
    int top(int baseline_y) const { return baseline_y - baseline; }
};

// One glyph for a bitmap font, hinted for small sizes.
struct GlyphImage {
    Mask mask;
    int left = 0;     // column of the mask's first pixel relative to the pen
    int top = 0;      // rows above the baseline of the mask's first row
    int advance = 0;  // whole pixels
};

class TextRenderer {
public:
    TextRenderer();
    ~TextRenderer();
    TextRenderer(const TextRenderer &) = delete;
    TextRenderer &operator=(const TextRenderer &) = delete;

    // False when FreeType or a font file could not be opened; error() says which.
    bool ok() const;
    const char *error() const;

    // UTF-8 text at `px` pixels per em, with `tracking` extra pixels after each character.
    TextLine line(Face face, int px, const char *utf8, float tracking = 0);
    int measure(Face face, int px, const char *utf8, float tracking = 0);
    // The largest size not above `px` at which the line's advance fits `maxwidth`.
    int fit(Face face, int px, const char *utf8, int maxwidth, float tracking = 0);
    GlyphImage glyph(Face face, int px, char32_t code);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Draws a line with its pen at (penx, baseline_y): a rounded outline of `outline` pixels
// in `edge`, then the letters coloured by fill(x, y).
template <class F>
void draw_text_outlined(Canvas &c, const TextLine &t, int penx, int baseline_y, F fill, Col edge,
                        float outline) {
    const int x = t.left(penx), y = t.top(baseline_y);
    if (outline > 0) draw_mask(c, dilate(t.mask, outline), x, y, edge);
    draw_mask_fn(c, t.mask, x, y, fill);
}

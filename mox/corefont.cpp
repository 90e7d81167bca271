// Bitmap fonts: glyphs cut at the markers of the image's top row, and text drawing.
#include "mox/corefont.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "core/coredebug.h"
#include "mox/corevideo.h"

s_bitmap mox_fontbmp[MOX_MAXFONTS];
int mox_numfonts = 0;

namespace {

constexpr int kLastDrawnGlyph = 93;  // '|'

// Glyph index of a character: its code minus 31 in 8 bits, taken as signed.
inline int glyph_index(char ch) { return (int8_t)(uint8_t)((uint8_t)ch - 31); }

inline bool drawable(int i) { return i >= 0 && i <= kLastDrawnGlyph; }

int measure(const s_font &font, const char *text) {
    int total = 0;
    for (const char *p = text; *p; ++p) {
        const int i = glyph_index(*p);
        if (drawable(i)) total += font.fontwidth[i] + font.spacing;
    }
    return total;
}

// Draws from (x, y); the space advances without spacing unless `spaced_space`.
void draw(int x, int y, const s_font &font, const char *text, bool spaced_space) {
    for (const char *p = text; *p; ++p) {
        const int i = glyph_index(*p);
        if (!drawable(i)) continue;
        if (i > 0) MOX_DrawSprite(x, y, font.fontchar[i]);
        x += font.fontwidth[i] + (i == 1 && !spaced_space ? 0 : font.spacing);
    }
}

}  // namespace

void MOX_LoadFont(const char *filename, s_font *font) {
    *font = s_font{};
    if (mox_numfonts >= MOX_MAXFONTS) {
        core_log(LOG_ERROR, "mox.font_table_full",
                 "- ERROR: font table full (%d fonts), %s not loaded.\n", MOX_MAXFONTS, filename);
        return;
    }
    s_bitmap *image = &mox_fontbmp[mox_numfonts];
    *image = s_bitmap{};
    MOX_LoadBitmap(filename, image);
    if (!image->data) {
        core_log(LOG_ERROR, "mox.font_not_loaded", "- ERROR: Font %s not loaded.\n", filename);
        return;
    }
    font->bitmap = image;

    // Marker scan of row 0: each marker ends the glyph before it and starts the next. Glyphs
    // are cut where their marker stands, so a width that does not fit its 8 bits cannot move
    // the glyphs after it, and once 96 glyphs are found the last one follows the last marker.
    int start[MOX_FONTGLYPHS] = {0, 1};
    int cut = 0;
    auto set_width = [&](int k, int w) {
        if (w > 255) ++cut;
        font->fontwidth[k] = (unsigned char)(w > 255 ? 255 : w);
    };
    font->fontwidth[0] = 1;
    int g = 1;
    int last = 1;
    for (int x = 0; x < image->width; ++x) {
        if ((MOX_GetPixel(x, 0, *image) >> 24) == 0) continue;
        if (x == 0) {
            core_log(LOG_WARNING, "mox.font_marker_ignored",
                     "- Font %s: marker in column 0 ignored (glyph 0 is that column).\n", filename);
            continue;
        }
        set_width(g, x - last);
        if (g <= 94) ++g;
        start[g] = x;
        last = x;
    }
    set_width(g, image->width - last);
    ++g;
    if (cut)
        core_log(LOG_WARNING, "mox.font_glyphs_cut",
                 "- Font %s: %d glyphs wider than 255 pixels cut to 255.\n", filename, cut);

    font->height = image->height - 1;
    font->numcharacters = g;
    font->spacing = 0;
    core_log(LOG_PROGRESS, "mox.font_glyphs", "MOX_LoadFont - Num.Letters: %d\n", g);
    for (int k = 0; k < g; ++k)
        MOX_GetSprite(start[k], 1, font->fontwidth[k], image->height - 1, *image,
                      &font->fontchar[k]);
    ++mox_numfonts;
    core_log(LOG_PROGRESS, "mox.font_added", "MOX_LoadFont - Font Added (NumFonts: %d)\n",
             mox_numfonts);
}

void MOX_LoadDarkFont(const char *filename, s_font *font) { MOX_LoadFont(filename, font); }

void MOX_DeleteFont(s_font *) {}

void MOX_SetFontSpacing(int spacing, s_font *font) { font->spacing = spacing; }

void MOX_DrawText(int x, int y, s_font font, const char *format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    draw(x, y, font, text, false);
}

void MOX_DrawCenteredText(int y, s_font font, const char *format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    draw((MOX_GetFrameBufferWidth() >> 1) - (measure(font, text) >> 1), y, font, text, false);
}

void MOX_DrawCenteredTextXW(int x, int y, int w, s_font font, const char *format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    draw(x + (w >> 1) - (measure(font, text) >> 1), y, font, text, true);
}

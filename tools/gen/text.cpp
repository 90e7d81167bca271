#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <string>
#include <vector>

namespace {

const char *const kFontDir = "/usr/share/fonts/truetype/dejavu/";
const char *const kFontFiles[] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf",
                                  "DejaVuSansCondensed-Bold.ttf", "DejaVuSerif-BoldItalic.ttf",
                                  "DejaVuSansMono-Bold.ttf"};
constexpr int kFaces = 5;

std::u32string decode_utf8(const char *s) {
    std::u32string out;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s);
    while (*p) {
        char32_t c = *p;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) c &= 0x3F >> extra;
        p++;
        for (; extra > 0 && (*p & 0xC0) == 0x80; extra--, p++) c = (c << 6) | (*p & 0x3F);
        out.push_back(c);
    }
    return out;
}

struct Placed {
    Mask mask;
    int x, y;  // top-left in pen space (pen at 0, baseline at 0, y downwards)
};

}  // namespace

struct TextRenderer::Impl {
    FT_Library lib = nullptr;
    FT_Face faces[kFaces] = {};
    std::string error;

    FT_Face face(Face f, int px) {
        FT_Face ff = faces[int(f)];
        if (ff) FT_Set_Pixel_Sizes(ff, 0, FT_UInt(px));
        return ff;
    }
};

TextRenderer::TextRenderer() : impl_(new Impl) {
    if (FT_Init_FreeType(&impl_->lib)) {
        impl_->error = "FreeType could not be initialised";
        impl_->lib = nullptr;
        return;
    }
    for (int i = 0; i < kFaces; i++) {
        const std::string path = std::string(kFontDir) + kFontFiles[i];
        if (FT_New_Face(impl_->lib, path.c_str(), 0, &impl_->faces[i])) {
            impl_->faces[i] = nullptr;
            if (impl_->error.empty()) impl_->error = "cannot open font " + path;
        }
    }
}

TextRenderer::~TextRenderer() {
    for (FT_Face f : impl_->faces)
        if (f) FT_Done_Face(f);
    if (impl_->lib) FT_Done_FreeType(impl_->lib);
}

bool TextRenderer::ok() const { return impl_->error.empty(); }
const char *TextRenderer::error() const { return impl_->error.c_str(); }

TextLine TextRenderer::line(Face f, int px, const char *utf8, float tracking) {
    TextLine out;
    FT_Face face = impl_->face(f, px);
    if (!face) return out;
    out.ascent = int(face->size->metrics.ascender >> 6);
    out.descent = int((-face->size->metrics.descender) >> 6);

    std::vector<Placed> glyphs;
    const std::u32string text = decode_utf8(utf8);
    long pen = 0;  // 26.6 fixed point
    FT_UInt prev = 0;
    const long track = long(std::floor(tracking * 64.0f + 0.5f));
    for (char32_t ch : text) {
        const FT_UInt gi = FT_Get_Char_Index(face, FT_ULong(ch));
        if (prev && gi && FT_HAS_KERNING(face)) {
            FT_Vector k;
            if (!FT_Get_Kerning(face, prev, gi, FT_KERNING_UNFITTED, &k)) pen += k.x;
        }
        // Place the outline at the pen's fraction of a pixel for even spacing.
        FT_Vector delta{FT_Pos(pen & 63), 0};
        FT_Set_Transform(face, nullptr, &delta);
        if (FT_Load_Glyph(face, gi, FT_LOAD_NO_HINTING | FT_LOAD_RENDER) == 0) {
            const FT_GlyphSlot g = face->glyph;
            const FT_Bitmap &bm = g->bitmap;
            if (bm.width > 0 && bm.rows > 0 && bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
                Placed p{Mask(int(bm.width), int(bm.rows)), int(pen >> 6) + g->bitmap_left,
                         -g->bitmap_top};
                for (unsigned y = 0; y < bm.rows; y++)
                    for (unsigned x = 0; x < bm.width; x++)
                        p.mask.at(int(x), int(y)) = float(bm.buffer[y * bm.pitch + x]) / 255.0f;
                glyphs.push_back(std::move(p));
            }
            pen += long(g->linearHoriAdvance >> 10) + track;
        }
        prev = gi;
    }
    FT_Set_Transform(face, nullptr, nullptr);
    out.width = int((pen - (text.empty() ? 0 : track) + 32) >> 6);

    int x0 = 0, x1 = out.width, y0 = -out.ascent, y1 = out.descent;
    for (const Placed &p : glyphs) {
        if (p.x < x0) x0 = p.x;
        if (p.x + p.mask.w > x1) x1 = p.x + p.mask.w;
        if (p.y < y0) y0 = p.y;
        if (p.y + p.mask.h > y1) y1 = p.y + p.mask.h;
    }
    // A margin leaves room for outlines and glows drawn around the letters.
    const int margin = 2 + px / 6;
    x0 -= margin, y0 -= margin, x1 += margin, y1 += margin;
    out.mask = Mask(x1 - x0, y1 - y0);
    out.originx = -x0;
    out.baseline = -y0;
    for (const Placed &p : glyphs)
        for (int y = 0; y < p.mask.h; y++)
            for (int x = 0; x < p.mask.w; x++) {
                float &d = out.mask.at(p.x - x0 + x, p.y - y0 + y);
                d = clamp01(d + p.mask.get(x, y));
            }
    return out;
}

int TextRenderer::measure(Face f, int px, const char *utf8, float tracking) {
    FT_Face face = impl_->face(f, px);
    if (!face) return 0;
    const std::u32string text = decode_utf8(utf8);
    long pen = 0;
    FT_UInt prev = 0;
    const long track = long(std::floor(tracking * 64.0f + 0.5f));
    for (char32_t ch : text) {
        const FT_UInt gi = FT_Get_Char_Index(face, FT_ULong(ch));
        if (prev && gi && FT_HAS_KERNING(face)) {
            FT_Vector k;
            if (!FT_Get_Kerning(face, prev, gi, FT_KERNING_UNFITTED, &k)) pen += k.x;
        }
        if (FT_Load_Glyph(face, gi, FT_LOAD_NO_HINTING) == 0)
            pen += long(face->glyph->linearHoriAdvance >> 10) + track;
        prev = gi;
    }
    return int((pen - (text.empty() ? 0 : track) + 32) >> 6);
}

int TextRenderer::fit(Face f, int px, const char *utf8, int maxwidth, float tracking) {
    while (px > 6 && measure(f, px, utf8, tracking) > maxwidth) px--;
    return px;
}

GlyphImage TextRenderer::glyph(Face f, int px, char32_t code) {
    GlyphImage out;
    FT_Face face = impl_->face(f, px);
    if (!face) return out;
    FT_Set_Transform(face, nullptr, nullptr);
    const FT_UInt gi = FT_Get_Char_Index(face, FT_ULong(code));
    if (FT_Load_Glyph(face, gi, FT_LOAD_TARGET_LIGHT | FT_LOAD_RENDER)) return out;
    const FT_GlyphSlot g = face->glyph;
    const FT_Bitmap &bm = g->bitmap;
    out.left = g->bitmap_left;
    out.top = g->bitmap_top;
    out.advance = int((g->advance.x + 32) >> 6);
    out.mask = Mask(int(bm.width), int(bm.rows));
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY)
        for (unsigned y = 0; y < bm.rows; y++)
            for (unsigned x = 0; x < bm.width; x++)
                out.mask.at(int(x), int(y)) = float(bm.buffer[y * bm.pitch + x]) / 255.0f;
    return out;
}

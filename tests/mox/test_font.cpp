// Bitmap fonts: the marker row, glyph cutting, the font table limit, and the three text
// functions' advances, checked by reading drawn pixels back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "gl_context.h"
#include "log_capture.h"
#include "mox/mox.h"
#include "support/media.h"
#include "support/scratch.h"

using namespace test_support;

namespace {

using ::testing::Contains;

const std::string kDir = std::string(FENTRO_BINARY_DIR) + "/test_font_files";
constexpr uint32_t CLEAR = 0xFF000000u;  // opaque black
constexpr int kFullHeight = 5;           // glyphs 4 pixels high

// The example font: 20 x 3, markers at columns 4 and 9.
bytes_t example_font(int bpp) {
    const uint32_t blank = bpp == 32 ? 0x00000000u : 0xFFFF00FFu;  // transparent or keyed
    std::vector<uint32_t> px(20 * 3, 0xFFFFFFFFu);
    for (int x = 0; x < 20; ++x) px[x] = (x == 4 || x == 9) ? 0xFF00FF00u : blank;
    if (bpp == 32) return TgaImage32(20, 3, px);
    bytes_t raw;
    for (uint32_t p : px) PutBgr(raw, p, 24);
    TgaHeader h;
    h.width = 20;
    h.height = 3;
    h.descriptor = 0x20;
    return TgaFile(h, {}, raw);
}

// All 96 glyphs: glyph 0 is column 0, the space is 3 columns wide and transparent, glyph
// k >= 2 is 2 + k % 3 columns of solid 0xAARRGGBB colour with red = k.
int glyph_width(int k) { return k == 0 ? 1 : k == 1 ? 3 : 2 + k % 3; }
constexpr uint32_t glyph_colour(int k) { return 0xFF00FF00u | (uint32_t)k << 16; }

bytes_t full_font() {
    int width = 0;
    for (int k = 0; k < 96; ++k) width += glyph_width(k);
    std::vector<uint32_t> px((size_t)width * kFullHeight, 0);
    for (int k = 0, x0 = 0; k < 96; x0 += glyph_width(k), ++k) {
        if (k >= 2) px[x0] = 0xFFFFFFFFu;  // marker
        for (int x = x0; x < x0 + glyph_width(k); ++x)
            for (int y = 1; y < kFullHeight; ++y)
                px[x + (size_t)y * width] = k == 1 ? 0 : glyph_colour(k);
    }
    return TgaImage32(width, kFullHeight, px);
}

// 100 markers two columns apart, then a wider last glyph.
bytes_t crowded_font() {
    const int width = 210;
    std::vector<uint32_t> px((size_t)width * 2, 0xFFFFFFFFu);
    for (int x = 0; x < width; ++x) px[x] = (x >= 3 && x <= 201 && (x - 3) % 2 == 0) ? ~0u : 0u;
    return TgaImage32(width, 2, px);
}

int glyph(char c) { return (unsigned char)c - 31; }

class FontTest : public GLTest {
protected:
    static void SetUpTestSuite() {
        std::filesystem::create_directories(kDir);
        ASSERT_TRUE(WriteFile(kDir + "/example32.tga", example_font(32)));
        ASSERT_TRUE(WriteFile(kDir + "/example24.tga", example_font(24)));
        ASSERT_TRUE(WriteFile(kDir + "/full.tga", full_font()));
        ASSERT_TRUE(WriteFile(kDir + "/crowded.tga", crowded_font()));
        ASSERT_EQ(corefile_mountimage(kDir.c_str(), 2), 1);
    }
    void SetUp() override {
        GLTest::SetUp();
        MOX_ClearFrameBuffer(CLEAR);
    }
    void TearDown() override { Quietly(MOX_FlushGraphics); }
    std::vector<std::string> load(const char *name, s_font *f) {
        LogCapture log;
        MOX_LoadFont(name, f);
        return log.Ids();
    }
    // Column where glyph k's colour first shows on row y, -1 if nowhere.
    static int find_glyph(int k, int y) {
        std::vector<unsigned char> row(256 * 4);
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, MOX_GetFrameBufferHeight() - 1 - y, 256, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                     row.data());
        for (int x = 0; x < 256; ++x)
            if (row[4 * x] == k && row[4 * x + 1] == 0xFF && row[4 * x + 2] == 0) return x;
        return -1;
    }
    static bool row_blank(int y) {
        for (int x = 0; x < 256; ++x)
            if (gltest_pixel(x, y) != CLEAR) return false;
        return true;
    }
    s_font font;  // 9 KB: kept out of the test bodies' stack frames
    s_font other;
};

TEST_F(FontTest, MarkerRowGivesTheExampleWidths) {
    for (const char *name : {"example32.tga", "example24.tga"}) {
        EXPECT_THAT(load(name, &font), Contains("mox.font_added"));
        ASSERT_EQ(font.numcharacters, 4) << name;
        EXPECT_EQ(font.fontwidth[0], 1);
        EXPECT_EQ(font.fontwidth[1], 3);
        EXPECT_EQ(font.fontwidth[2], 5);
        EXPECT_EQ(font.fontwidth[3], 11);
        EXPECT_EQ(font.fontwidth[4], 0);
        EXPECT_EQ(font.height, 2);
        EXPECT_EQ(font.spacing, 0);
        EXPECT_EQ(font.bitmap, &mox_fontbmp[mox_numfonts - 1]);
        // Glyph 2 ('!') covers columns 4..8 below the marker row.
        EXPECT_FLOAT_EQ(font.fontchar[2].u, 4 / 20.0f);
        EXPECT_FLOAT_EQ(font.fontchar[2].u2, 9 / 20.0f);
        EXPECT_FLOAT_EQ(font.fontchar[2].v, 1 / 3.0f);
        EXPECT_FLOAT_EQ(font.fontchar[2].v2, 1.0f);
        EXPECT_EQ(font.fontchar[3].width, 11);
        EXPECT_EQ(font.fontchar[3].height, 2);
    }
    EXPECT_EQ(mox_numfonts, 2);
    EXPECT_EQ(mox_numsprites, 8);
}

TEST_F(FontTest, GlyphCounterStopsAtNinetySix) {
    load("crowded.tga", &font);
    EXPECT_EQ(font.numcharacters, 96);
    EXPECT_EQ(font.fontwidth[94], 2);
    EXPECT_EQ(font.fontwidth[95], 9);  // from the last marker (201) to the right edge
}

TEST_F(FontTest, TableFullOrMissingImageGivesAnEmptyFont) {
    EXPECT_THAT(load("missing.tga", &font), Contains("mox.font_not_loaded"));
    EXPECT_EQ(font.numcharacters, 0);
    EXPECT_EQ(font.fontwidth[1], 0);
    EXPECT_EQ(mox_numfonts, 0);
    for (int i = 0; i < MOX_MAXFONTS; ++i) load("example32.tga", &other);
    EXPECT_EQ(mox_numfonts, MOX_MAXFONTS);
    EXPECT_THAT(load("full.tga", &font), Contains("mox.font_table_full"));
    EXPECT_EQ(font.numcharacters, 0);
    EXPECT_EQ(mox_numfonts, MOX_MAXFONTS);
    MOX_DrawText(10, 10, font, "ABC");
    MOX_DrawCenteredText(20, font, "ABC");
    EXPECT_TRUE(row_blank(12));
    EXPECT_TRUE(row_blank(22));
}

class FontDrawTest : public FontTest {
protected:
    void SetUp() override {
        FontTest::SetUp();
        load("full.tga", &font);
        ASSERT_EQ(font.numcharacters, 96);
    }
    int w(char c) const { return font.fontwidth[glyph(c)]; }
};

TEST_F(FontDrawTest, GlyphsAreCutAtTheirMarkers) {
    for (int k = 0; k < 96; ++k) EXPECT_EQ(font.fontwidth[k], glyph_width(k)) << k;
    EXPECT_EQ(font.height, kFullHeight - 1);
    MOX_DrawText(10, 10, font, "A");
    EXPECT_EQ(find_glyph(glyph('A'), 10), 10);  // glyph row 1 drawn at y
    EXPECT_EQ(find_glyph(glyph('A'), 13), 10);
    EXPECT_EQ(gltest_pixel(10, 14), CLEAR);
    EXPECT_EQ(gltest_pixel(10 + w('A'), 10), CLEAR);
}

TEST_F(FontDrawTest, SpacesAdvanceWithoutSpacingOtherCharactersWithIt) {
    MOX_SetFontSpacing(2, &font);
    MOX_DrawText(10, 10, font, "A B");
    EXPECT_EQ(find_glyph(glyph('A'), 11), 10);
    EXPECT_EQ(find_glyph(glyph('B'), 11), 10 + w('A') + 2 + w(' '));
    MOX_DrawText(10, 20, font, "%c%d", 'C', 5);
    EXPECT_EQ(find_glyph(glyph('5'), 21), 10 + w('C') + 2);
}

TEST_F(FontDrawTest, CharactersOutsideTheGlyphRangeAreSkippedWithoutAdvancing) {
    MOX_SetFontSpacing(2, &font);
    const char *texts[] = {"A}~B", "A\x01\tB",
                           "A\xE9\x80\x7F"
                           "B"};
    for (int i = 0; i < 3; ++i) {
        MOX_DrawText(10, 10 + 10 * i, font, "%s", texts[i]);
        EXPECT_EQ(find_glyph(glyph('B'), 11 + 10 * i), 10 + w('A') + 2) << i;
    }
    // Code 31 is glyph 0: nothing drawn, an advance of 1 + spacing.
    MOX_DrawText(10, 40, font,
                 "A\x1f"
                 "B");
    EXPECT_EQ(find_glyph(glyph('B'), 41), 10 + w('A') + 2 + 1 + 2);
    EXPECT_EQ(find_glyph(0, 41), -1);
}

TEST_F(FontDrawTest, CenteredTextStartsHalfItsWidthLeftOfCentre) {
    MOX_SetFontSpacing(2, &font);
    MOX_DrawCenteredText(10, font, "AB");
    const int total = w('A') + 2 + w('B') + 2;
    EXPECT_EQ(find_glyph(glyph('A'), 11), 128 - (total >> 1));

    // The measured width counts spacing after the space; drawing does not add it.
    MOX_DrawCenteredText(20, font, "A B");
    const int spaced = total + w(' ') + 2;
    const int start = 128 - (spaced >> 1);
    EXPECT_EQ(find_glyph(glyph('A'), 21), start);
    EXPECT_EQ(find_glyph(glyph('B'), 21), start + w('A') + 2 + w(' '));

    MOX_DrawCenteredText(30, font, "%s", "");
    EXPECT_TRUE(row_blank(31));
}

TEST_F(FontDrawTest, CenteredInASpanEveryCharacterAdvancesWithSpacing) {
    MOX_SetFontSpacing(3, &font);
    MOX_DrawCenteredTextXW(20, 10, 101, font, "A B");
    const int total = w('A') + w(' ') + w('B') + 9;
    const int start = 20 + (101 >> 1) - (total >> 1);
    EXPECT_EQ(find_glyph(glyph('A'), 11), start);
    EXPECT_EQ(find_glyph(glyph('B'), 11), start + w('A') + 3 + w(' ') + 3);
}

TEST_F(FontDrawTest, LongTextIsCutAt255Characters) {
    std::string text(254, '\x1f');  // each advances one pixel, draws nothing
    text += "AB";
    MOX_DrawText(0, 10, font, "%s", text.c_str());
    EXPECT_EQ(find_glyph(glyph('A'), 11), 254);
    EXPECT_EQ(find_glyph(glyph('B'), 11), -1);
}

}  // namespace

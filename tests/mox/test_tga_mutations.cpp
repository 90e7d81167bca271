// Deterministic mutation runs over valid TGA images and bitmap fonts: every mutant decodes to
// a whole picture or is refused with a reason, and loading it as a bitmap, a sprite or a font
// through the file layer (no GL context) either succeeds or leaves an empty record after a
// message; glyphs are always cut inside their image.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "log_capture.h"
#include "mox/mox.h"
#include "support/media.h"
#include "support/mutation.h"
#include "support/scratch.h"

namespace {

using namespace test_support;

bytes_t random_bytes(xorshift &rng, size_t n) {
    bytes_t out(n);
    for (uint8_t &b : out) b = (uint8_t)rng();
    return out;
}

// One valid image of every kind the reader decodes.
std::vector<bytes_t> valid_images() {
    xorshift rng{0x1234567};
    std::vector<bytes_t> images;
    const int w = 5, h = 3, n = w * h;
    for (int bpp : {15, 16, 24, 32})
        for (int descriptor : {0x00, 0x10, 0x20, 0x30, 0x40, 0x80}) {
            TgaHeader t;
            t.width = w;
            t.height = h;
            t.bpp = bpp;
            t.descriptor = descriptor | (bpp == 32 ? 8 : 0);
            images.push_back(TgaFile(t, {}, random_bytes(rng, (size_t)n * ((bpp + 7) / 8))));
        }
    TgaHeader grey;
    grey.type = 3;
    grey.width = w;
    grey.height = h;
    grey.bpp = 8;
    grey.id = "grey";
    images.push_back(TgaFile(grey, {}, random_bytes(rng, n)));
    for (int bits : {16, 24}) {
        TgaHeader mapped;
        mapped.type = 1;
        mapped.width = w;
        mapped.height = h;
        mapped.bpp = 8;
        mapped.maptype = 1;
        mapped.mapfirst = 250;
        mapped.maplength = 6;
        mapped.mapbits = bits;
        bytes_t index(n);
        for (uint8_t &i : index) i = (uint8_t)(250 + rng() % 6);
        images.push_back(TgaFile(mapped, random_bytes(rng, 6 * (size_t)bits / 8), index));
        mapped.type = 9;
        images.push_back(TgaFile(mapped, random_bytes(rng, 6 * (size_t)bits / 8), {0x8E, 251}));
    }
    // Run-length: a run across the row end, then raw packets to the last pixel.
    for (int bpp : {8, 16, 24, 32}) {
        TgaHeader rle;
        rle.type = bpp == 8 ? 11 : 10;
        rle.width = w;
        rle.height = h;
        rle.bpp = bpp;
        rle.descriptor = 0x20;
        const size_t px = (size_t)(bpp + 7) / 8;
        bytes_t data = {0x86};
        bytes_t one = random_bytes(rng, px);
        data.insert(data.end(), one.begin(), one.end());
        data.push_back(7);
        bytes_t raw = random_bytes(rng, 8 * px);
        data.insert(data.end(), raw.begin(), raw.end());
        images.push_back(TgaFile(rle, {}, data));
    }
    // A colour map in front of true-colour pixels is skipped.
    TgaHeader skipped;
    skipped.width = w;
    skipped.height = h;
    skipped.maptype = 1;
    skipped.maplength = 3;
    skipped.mapbits = 32;
    images.push_back(TgaFile(skipped, random_bytes(rng, 12), random_bytes(rng, (size_t)n * 3)));
    return images;
}

void mutate(bytes_t &f, xorshift &rng) {
    static const uint16_t limits[] = {0, 1, 2, 127, 128, 255, 256, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF};
    static const size_t fields[] = {0, 1, 2, 3, 5, 7, 12, 14, 16, 17};
    MutationEdits edits;
    // A header field at or near a limit: the one-byte fields take its low byte.
    edits.field = [](bytes_t &b, size_t, xorshift &r) {
        const size_t field = fields[r.below(10)];
        const uint16_t v = limits[r.below(11)];
        const bool byte = field == 0 || field == 1 || field == 2 || field == 7 || field >= 16;
        PutLE(b, field, v, byte ? 1 : 2);
    };
    // A run-length packet header at its extremes.
    edits.extra = [](bytes_t &b, size_t at, xorshift &r) {
        if (at < b.size()) b[at] = r.below(2) ? 0xFF : 0x7F;
    };
    edits.maxrun = 8;
    Mutate(f, rng, edits);
}

TEST(TgaMutations, EveryMutantDecodesWholeOrIsRefusedWithAReason) {
    const std::vector<bytes_t> images = valid_images();
    for (const bytes_t &f : images) {
        s_tgainfo info;
        unsigned int *p = MOX_DecodeTGA(f.data(), f.size(), &info);
        ASSERT_NE(p, nullptr) << info.error;
        free(p);
    }
    xorshift rng{0x9e3779b97f4a7c15ull};
    int accepted = 0, refused = 0;
    for (int round = 0; round < 30000; ++round) {
        bytes_t f = images[round % images.size()];
        mutate(f, rng);
        s_tgainfo info;
        unsigned int *p = MOX_DecodeTGA(f.data(), f.size(), &info);
        if (!p) {
            ++refused;
            ASSERT_NE(info.error, nullptr) << round;
            continue;
        }
        ++accepted;
        ASSERT_EQ(info.error, nullptr);
        ASSERT_GE(f.size(), 18u);
        ASSERT_EQ(info.width, f[12] | f[13] << 8) << round;
        ASSERT_EQ(info.height, f[14] | f[15] << 8) << round;
        ASSERT_GT((int64_t)info.width * info.height, 0);
        uint32_t sum = 0;  // every pixel is there to be read
        for (int64_t i = 0; i < (int64_t)info.width * info.height; ++i) sum += p[i];
        (void)sum;
        free(p);
    }
    EXPECT_GT(accepted, 3000);
    EXPECT_GT(refused, 3000);
}

TEST(TgaMutations, HeaderSizesAtTheLimitsNeverAllocateBeyondTheFile) {
    // 65535 x 65535, 65535 x 8191 (a 21 MB run-length file would decode into 2 GiB) and
    // 8192 x 8193 pixels lie beyond the pixel budget; 8192 x 8192 is within it. With a few bytes
    // of data behind the header all are refused before anything is allocated.
    const struct {
        int width, height;
        const char *reason;
    } cases[] = {{0xFFFF, 0xFFFF, "too large"},
                 {0xFFFF, 0x1FFF, "too large"},
                 {0x2000, 0x2001, "too large"},
                 {0x2000, 0x2000, "truncated"}};
    for (const auto &c : cases)
        for (int type : {1, 2, 3, 9, 10, 11}) {
            TgaHeader t;
            t.type = type;
            t.width = c.width;
            t.height = c.height;
            t.bpp = (type & 7) == 2 ? 32 : 8;
            t.maptype = (type & 7) == 1;
            t.maplength = t.maptype ? 256 : 0;
            t.mapbits = 24;
            const bytes_t f = TgaFile(t, bytes_t(t.maplength * 3, 0), bytes_t(64, 0xFF));
            s_tgainfo info;
            EXPECT_EQ(MOX_DecodeTGA(f.data(), f.size(), &info), nullptr) << type;
            ASSERT_NE(info.error, nullptr);
            EXPECT_NE(std::string(info.error).find(c.reason), std::string::npos) << info.error;
        }
}

class TgaFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(corefile_mountimage(dir_.c_str(), 2), 1); }
    void TearDown() override {
        MOX_FlushGraphics();
        corefile_closeimage();
    }
    // Writes a new file each time (rewriting one is far slower on some file systems) and
    // returns its name.
    std::string put(const bytes_t &f) {
        const std::string name = "in" + std::to_string(files_++) + ".tga";
        EXPECT_TRUE(WriteFile(dir_ + "/" + name, f));
        return name;
    }
    int files_ = 0;
    const TempDir scratch_{"tga_mutations"};
    const std::string dir_ = scratch_.str();
};

// Glyph k spans columns [first, first + width) of the image, and every glyph lies inside it.
void expect_glyphs_inside(const s_font &font, int width, int round) {
    ASSERT_GE(font.numcharacters, 2) << round;
    ASSERT_LE(font.numcharacters, MOX_FONTGLYPHS) << round;
    int start = 0;
    for (int k = 0; k < font.numcharacters; ++k) {
        const s_sprite &g = font.fontchar[k];
        ASSERT_EQ(g.width, font.fontwidth[k]) << round << " glyph " << k;
        const int first = (int)(g.u * width + 0.5f);
        ASSERT_GE(first, start) << round << " glyph " << k;
        ASSERT_LE(first + g.width, width) << round << " glyph " << k;
        start = first + g.width;
    }
}

TEST_F(TgaFiles, MutantsLoadAsBitmapSpriteAndFontOrLeaveEmptyRecords) {
    const std::vector<bytes_t> images = valid_images();
    xorshift rng{0x5eed};
    int loaded = 0;
    for (int round = 0; round < 1500; ++round) {
        bytes_t f = images[round % images.size()];
        mutate(f, rng);
        const std::string name = put(f);
        s_tgainfo info;
        unsigned int *p = MOX_DecodeTGA(f.data(), f.size(), &info);
        const bool decodes = p != nullptr;
        free(p);

        static s_bitmap bitmap;
        static s_sprite sprite;
        static s_font font;
        LogCapture log;
        MOX_LoadBitmap(name.c_str(), &bitmap);
        MOX_LoadSprite(name.c_str(), &sprite);
        MOX_LoadFont(name.c_str(), &font);
        if (decodes) {
            ++loaded;
            ASSERT_NE(bitmap.data, nullptr) << round;
            ASSERT_EQ(bitmap.width, info.width);
            ASSERT_EQ(sprite.width, info.width);
            expect_glyphs_inside(font, info.width, round);
        } else {
            ASSERT_EQ(bitmap.data, nullptr) << round;
            ASSERT_EQ(sprite.width, 0) << round;
            ASSERT_EQ(font.numcharacters, 0) << round;
            ASSERT_TRUE(log.Has("mox.image_not_loaded")) << log.Text();
        }
        MOX_FlushGraphics();
    }
    EXPECT_GT(loaded, 200);
}

// Found by the mutation run: a marker in column 0 gave the space a width of -1 (255 in the
// 8-bit table), and a gap of 300 columns a width of 44; glyphs were cut where the widths
// summed up to, beyond the image or across other glyphs.
TEST_F(TgaFiles, MarkerInColumnZeroAndWideGlyphsStayInside) {
    std::vector<uint32_t> px(320 * 2, 0xFFFFFFFFu);
    for (int x = 0; x < 320; ++x) px[x] = (x == 0 || x == 5 || x == 305) ? 0xFF00FF00u : 0;
    const std::string name = put(TgaImage32(320, 2, px));
    static s_font font;
    LogCapture log;
    MOX_LoadFont(name.c_str(), &font);
    EXPECT_TRUE(log.Has("mox.font_marker_ignored")) << log.Text();
    EXPECT_TRUE(log.Has("mox.font_glyphs_cut")) << log.Text();
    ASSERT_EQ(font.numcharacters, 4);
    EXPECT_EQ(font.fontwidth[1], 4);    // the space: columns 1..4
    EXPECT_EQ(font.fontwidth[2], 255);  // columns 5..304, cut
    EXPECT_EQ(font.fontwidth[3], 15);   // columns 305..319
    EXPECT_FLOAT_EQ(font.fontchar[3].u, 305.0f / 320);
    expect_glyphs_inside(font, 320, 0);
}

// Fonts with random marker rows: markers at columns 0 and 1, more than 96 markers, gaps
// wider than a glyph width can hold.
TEST_F(TgaFiles, RandomMarkerRowsCutGlyphsInsideTheImage) {
    xorshift rng{0xf0e7};
    for (int round = 0; round < 1000; ++round) {
        const int width = 1 + (int)rng.below(round % 3 == 0 ? 900 : 120);
        const int height = 1 + (int)rng.below(4);
        std::vector<uint32_t> px((size_t)width * height, 0xFFFFFFFFu);
        const unsigned density = 1 + (unsigned)rng.below(6);
        for (int x = 0; x < width; ++x) px[x] = rng.below(density * 8) == 0 ? 0xFF00FF00u : 0;
        if (rng.below(4) == 0) px[0] = 0xFF00FF00u;
        if (rng.below(4) == 0 && width > 1) px[1] = 0xFF00FF00u;
        const std::string name = put(TgaImage32(width, height, px));
        static s_font font;
        Quietly([&] {
            MOX_LoadFont(name.c_str(), &font);
            MOX_FlushGraphics();
        });
        expect_glyphs_inside(font, width, round);
        ASSERT_EQ(font.height, height - 1);
    }
}

}  // namespace

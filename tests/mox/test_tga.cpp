// TGA decoding from memory: image types, depths, colour maps, origins, run-length packets,
// the colour key, and malformed or truncated files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "mox/corebitmap.h"
#include "support/media.h"
#include "support/scratch.h"

using namespace test_support;

namespace {

struct decoded {
    s_tgainfo info{};
    std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows top to bottom
    bool ok = false;
    uint32_t at(int x, int y) const { return pixels[x + (size_t)y * info.width]; }
};

decoded decode(const bytes_t &file) {
    decoded d;
    unsigned int *p = MOX_DecodeTGA(file.data(), file.size(), &d.info);
    if (p) {
        d.ok = true;
        for (size_t i = 0; i < (size_t)d.info.width * d.info.height; ++i)
            d.pixels.push_back(ToBuffer(p[i]));  // the swap is its own inverse
        free(p);
    }
    return d;
}

const uint32_t A = 0xFF102030, B = 0xFF405060, C = 0xFF708090, D = 0xFFA0B0C0;
const uint32_t E = 0xFF111111, F = 0xFF222222;

bytes_t raw24(std::initializer_list<uint32_t> argb) {
    bytes_t out;
    for (uint32_t p : argb) PutBgr(out, p, 24);
    return out;
}

TEST(TgaDecode, BottomLeftOriginPutsFirstStoredPixelOnLastRow) {
    TgaHeader h;
    h.width = 2;
    h.height = 2;
    const decoded d = decode(TgaFile(h, {}, raw24({A, B, C, D})));
    ASSERT_TRUE(d.ok) << d.info.error;
    EXPECT_EQ(d.at(0, 1), A);
    EXPECT_EQ(d.at(1, 1), B);
    EXPECT_EQ(d.at(0, 0), C);
    EXPECT_EQ(d.at(1, 0), D);
}

// Stored pixels of a 3 x 2 image in file order: A B C / D E F.
struct origin_case {
    int descriptor;
    uint32_t expected[6];  // image rows top to bottom
};

class TgaOrigin : public ::testing::TestWithParam<origin_case> {};

TEST_P(TgaOrigin, PlacesFileOrderByCorner) {
    for (bool rle : {false, true}) {
        TgaHeader h;
        h.type = rle ? 10 : 2;
        h.width = 3;
        h.height = 2;
        h.descriptor = GetParam().descriptor;
        bytes_t px = raw24({A, B, C, D, E, F});
        if (rle) px.insert(px.begin(), 0x05);  // one raw packet of six pixels across the row end
        const decoded d = decode(TgaFile(h, {}, px));
        ASSERT_TRUE(d.ok) << d.info.error;
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(d.pixels[i], GetParam().expected[i]) << "pixel " << i << (rle ? " rle" : "");
    }
}

INSTANTIATE_TEST_SUITE_P(Corners, TgaOrigin,
                         ::testing::Values(origin_case{0x00, {D, E, F, A, B, C}},    // bottom left
                                           origin_case{0x10, {F, E, D, C, B, A}},    // bottom right
                                           origin_case{0x20, {A, B, C, D, E, F}},    // top left
                                           origin_case{0x30, {C, B, A, F, E, D}}));  // top right

TEST(TgaDecode, ColourKeyMakesNearMagentaTransparentWhateverItsAlpha) {
    TgaHeader h;
    h.width = 4;
    h.bpp = 32;
    h.descriptor = 0x20;
    const bytes_t px = {0xFF, 0x00, 0xFF, 0x80,   // magenta, alpha 0x80
                        0xF0, 0x00, 0xFF, 0xFF,   // blue 240: not keyed
                        0xF8, 0x0A, 0xF8, 0xFF,   // near magenta
                        0xF1, 0x0F, 0xF1, 0x00};  // bounds 241 / 15: keyed
    const decoded d = decode(TgaFile(h, {}, px));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.at(0, 0), 0u);
    EXPECT_EQ(d.at(1, 0), 0xFFFF00F0u);
    EXPECT_EQ(d.at(2, 0), 0u);
    EXPECT_EQ(d.at(3, 0), 0u);
    EXPECT_EQ(ConvertTransp((int)0xFFFF00FF), 0);
    EXPECT_EQ(ConvertTransp((int)0xFFF110F1), (int)0xFFF110F1);  // green 16 is not keyed
}

TEST(TgaDecode, SixteenAndFifteenBitPixels) {
    for (int bpp : {15, 16}) {
        TgaHeader h;
        h.width = 3;
        h.bpp = bpp;
        // 0x7FFF white, 0x7C00 red, 0x801F blue with bit 15 set (ignored).
        const decoded d = decode(TgaFile(h, {}, {0xFF, 0x7F, 0x00, 0x7C, 0x1F, 0x80}));
        ASSERT_TRUE(d.ok) << bpp;
        EXPECT_EQ(d.at(0, 0), 0xFFF8F8F8u);
        EXPECT_EQ(d.at(1, 0), 0xFFF80000u);
        EXPECT_EQ(d.at(2, 0), 0xFF0000F8u);
    }
}

// Rows wide enough for the four-pixel paths, checked against the expected key and swap and
// against the mirrored decode (which goes pixel by pixel).
TEST(TgaDecode, WideRowsDecodeEveryPixel) {
    std::vector<uint32_t> argb;
    uint32_t seed = 7;
    for (int i = 0; i < 2 * 11; ++i) {
        seed = seed * 1103515245u + 12345u;
        argb.push_back(i % 5 == 0 ? 0x80F805F9u : seed);
    }
    for (int bpp : {24, 32}) {
        bytes_t px;
        for (uint32_t p : argb) PutBgr(px, p, bpp);
        TgaHeader h;
        h.width = 11;
        h.height = 2;
        h.bpp = bpp;
        h.descriptor = 0x20;
        const decoded d = decode(TgaFile(h, {}, px));
        h.descriptor = 0x30;
        const decoded m = decode(TgaFile(h, {}, px));
        ASSERT_TRUE(d.ok && m.ok);
        for (int i = 0; i < 22; ++i) {
            uint32_t want = bpp == 24 ? (argb[i] | 0xFF000000u) : argb[i];
            if (i % 5 == 0) want = 0;
            EXPECT_EQ(d.pixels[i], want) << bpp << " pixel " << i;
            EXPECT_EQ(m.at(10 - i % 11, i / 11), want) << bpp << " mirrored pixel " << i;
        }
    }
}

TEST(TgaDecode, RunLengthPacketsCrossRowEndsAndKeepTheLastRawPixel) {
    TgaHeader h;
    h.type = 10;
    h.width = 3;
    h.height = 2;
    h.descriptor = 0x20;
    bytes_t px = {0x84};  // run of 5 crossing the row end
    PutBgr(px, A, 24);
    px.push_back(0x00);  // last packet: one raw pixel
    PutBgr(px, B, 24);
    px.push_back(0x00);  // past the image: ignored
    const decoded d = decode(TgaFile(h, {}, px));
    ASSERT_TRUE(d.ok) << d.info.error;
    EXPECT_EQ(d.pixels, (std::vector<uint32_t>{A, A, A, A, A, B}));

    // A run longer than what is left of the image is cut at its end.
    h.descriptor = 0x00;
    bytes_t runs = {0x81};
    PutBgr(runs, C, 24);
    runs.push_back(0xFF);  // 128 pixels, only 4 fit
    PutBgr(runs, D, 24);
    const decoded cut = decode(TgaFile(h, {}, runs));
    ASSERT_TRUE(cut.ok);
    EXPECT_EQ(cut.pixels, (std::vector<uint32_t>{D, D, D, C, C, D}));
}

TEST(TgaDecode, RunLength32BitRunsAreKeyed) {
    TgaHeader h;
    h.type = 10;
    h.width = 2;
    h.bpp = 32;
    const decoded d = decode(TgaFile(h, {}, {0x81, 0xFF, 0x00, 0xFF, 0xFF}));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (std::vector<uint32_t>{0, 0}));
}

TEST(TgaDecode, ColourMappedWith24And16BitEntries) {
    // Entries start at index 2; indices 0 and 1 are not given and stay transparent black.
    TgaHeader h;
    h.type = 1;
    h.width = 4;
    h.bpp = 8;
    h.maptype = 1;
    h.mapfirst = 2;
    h.maplength = 2;
    h.mapbits = 24;
    h.id = "an image id";
    const decoded d = decode(TgaFile(h, raw24({A, 0xFFFF00FF}), {2, 3, 0, 255}));
    ASSERT_TRUE(d.ok) << d.info.error;
    EXPECT_EQ(d.pixels, (std::vector<uint32_t>{A, 0, 0, 0}));  // entry 3 is keyed magenta

    h.mapbits = 16;
    h.mapfirst = 0;
    const decoded d16 = decode(TgaFile(h, {0x00, 0x7C, 0xE0, 0x03}, {1, 0, 1, 1}));
    ASSERT_TRUE(d16.ok);
    EXPECT_EQ(d16.pixels, (std::vector<uint32_t>{0xFF00F800, 0xFFF80000, 0xFF00F800, 0xFF00F800}));

    // Run-length colour-mapped (type 9); entries past index 255 are ignored.
    h.type = 9;
    h.mapbits = 24;
    h.mapfirst = 255;
    h.maplength = 3;
    const decoded rle = decode(TgaFile(h, raw24({B, C, D}), {0x83, 255}));
    ASSERT_TRUE(rle.ok) << rle.info.error;
    EXPECT_EQ(rle.pixels, (std::vector<uint32_t>{B, B, B, B}));
}

TEST(TgaDecode, GreyImagesRawAndRunLength) {
    TgaHeader h;
    h.type = 3;
    h.width = 3;
    h.bpp = 8;
    const decoded d = decode(TgaFile(h, {}, {0x00, 0x80, 0xFF}));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (std::vector<uint32_t>{0xFF000000, 0xFF808080, 0xFFFFFFFF}));
    h.type = 11;
    const decoded r = decode(TgaFile(h, {}, {0x01, 0x10, 0x20, 0x80, 0x30}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, (std::vector<uint32_t>{0xFF101010, 0xFF202020, 0xFF303030}));
}

TEST(TgaDecode, ColourMapOfATrueColourImageIsSkipped) {
    TgaHeader h;
    h.width = 1;
    h.maptype = 1;
    h.maplength = 2;
    h.mapbits = 32;  // not decodable, but not needed either
    const decoded d = decode(TgaFile(h, bytes_t(8, 0x55), raw24({A})));
    ASSERT_TRUE(d.ok) << d.info.error;
    EXPECT_EQ(d.at(0, 0), A);
}

TEST(TgaDecode, TwoWayInterleavedRowsAreRestored) {
    // Top-left origin; file rows are image rows 0, 2, 1, 3.
    TgaHeader h;
    h.width = 1;
    h.height = 4;
    h.descriptor = 0x20 | 0x40;
    const decoded d = decode(TgaFile(h, {}, raw24({A, C, B, D})));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (std::vector<uint32_t>{A, B, C, D}));
}

TEST(TgaDecode, UnsupportedFormatsAreReported) {
    auto rejects = [](TgaHeader h, const bytes_t &map, const bytes_t &px) {
        const decoded d = decode(TgaFile(h, map, px));
        EXPECT_FALSE(d.ok);
        EXPECT_NE(d.info.error, nullptr);
        return d.info.error ? std::string(d.info.error) : std::string();
    };
    TgaHeader h;
    h.bpp = 12;
    EXPECT_EQ(rejects(h, {}, bytes_t(4, 0)), "unsupported pixel depth");
    h.bpp = 24;
    for (int type : {0, 4, 8, 32, 33})
        EXPECT_EQ((h.type = type, rejects(h, {}, bytes_t(4, 0))), "unsupported TGA image type");
    h.type = 3;
    h.bpp = 16;  // grey with alpha
    rejects(h, {}, bytes_t(4, 0));
    h.type = 1;
    h.bpp = 8;
    h.maptype = 1;
    h.maplength = 1;
    h.mapbits = 32;
    EXPECT_EQ(rejects(h, bytes_t(4, 0), {0}), "unsupported colour map entry size");
    h.maptype = 0;
    h.maplength = 0;
    EXPECT_EQ(rejects(h, {}, {0}), "colour-mapped image without a colour map");
    h = TgaHeader{};
    h.width = 0;
    EXPECT_EQ(rejects(h, {}, {}), "empty image");
    h.width = 65535;
    h.height = 65535;
    h.type = 10;
    EXPECT_EQ(rejects(h, {}, bytes_t(200000000 / 128, 0)), "image too large");
}

// Every prefix of a valid file fails cleanly; the full file decodes.
void expect_prefixes_fail(const bytes_t &file) {
    for (size_t n = 0; n < file.size(); ++n) {
        s_tgainfo info;
        unsigned int *p = MOX_DecodeTGA(file.data(), n, &info);
        EXPECT_EQ(p, nullptr) << "prefix of " << n << " bytes";
        EXPECT_NE(info.error, nullptr);
        free(p);
    }
    s_tgainfo info;
    unsigned int *p = MOX_DecodeTGA(file.data(), file.size(), &info);
    EXPECT_NE(p, nullptr);
    free(p);
}

TEST(TgaDecode, TruncatedFilesAreRejected) {
    TgaHeader h;
    h.width = 2;
    h.height = 2;
    h.id = "xy";
    expect_prefixes_fail(TgaFile(h, {}, raw24({A, B, C, D})));

    h.type = 10;
    h.bpp = 32;
    expect_prefixes_fail(
        TgaFile(h, {}, {0x80, 1, 2, 3, 4, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));

    h.type = 9;
    h.bpp = 8;
    h.maptype = 1;
    h.maplength = 3;
    h.mapbits = 16;
    expect_prefixes_fail(TgaFile(h, bytes_t(6, 0x11), {0x01, 0, 1, 0x81, 2}));
}

TEST(TgaDecode, HugeSizeInAShortFileIsRejectedBeforeAllocating) {
    TgaHeader h;
    h.width = 65535;
    h.height = 65535;
    h.bpp = 32;
    for (int type : {2, 10}) {
        h.type = type;
        const decoded d = decode(TgaFile(h, {}, bytes_t(64, 0)));
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.info.width, 65535);
    }
}

}  // namespace

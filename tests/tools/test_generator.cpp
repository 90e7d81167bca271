// The production generator: its TGA writer round-trips through the engine's reader, and the
// generated media are deterministic, complete and of the kinds and sizes the scenes use.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mox/corebitmap.h"
#include "gen/resources.h"
#include "gen/tga.h"
#include "support/production_media.h"
#include "support/scratch.h"
#include "support/subprocess.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes read_file(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Decoded {
    s_tgainfo info{};
    std::vector<unsigned> px;  // 0xAABBGGRR, rows top to bottom
    unsigned at(int x, int y) const { return px[size_t(y) * info.width + x]; }
};

Decoded decode(const std::vector<std::uint8_t> &bytes) {
    Decoded d;
    unsigned *p = MOX_DecodeTGA(bytes.data(), bytes.size(), &d.info);
    if (p) {
        d.px.assign(p, p + size_t(d.info.width) * d.info.height);
        std::free(p);
    }
    return d;
}

// 0xAARRGGBB as the reader stores it (0xAABBGGRR).
unsigned stored(std::uint32_t argb) {
    return (argb & 0xFF00FF00u) | ((argb >> 16) & 0xFF) | ((argb & 0xFF) << 16);
}

// Runs of equal pixels longer than a packet, single pixels, and a row end inside a run.
std::vector<std::uint32_t> test_pattern(int w, int h) {
    std::vector<std::uint32_t> px(size_t(w) * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            px[size_t(y) * w + x] = x < 150 ? 0xFF204060u + std::uint32_t(y)
                                            : 0x80008000u | std::uint32_t(x * 7919 + y * 104729);
    return px;
}

TEST(TgaWriter, TrueColourRoundTripsInEveryLayout) {
    const int w = 300, h = 5;
    const std::vector<std::uint32_t> px = test_pattern(w, h);
    for (int bits : {24, 32})
        for (bool rle : {false, true})
            for (bool top : {false, true}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, rle " << rle << ", top " << top);
                const auto bytes = tga_encode_truecolor(px.data(), w, h, bits, TgaLayout{rle, top});
                ASSERT_GE(bytes.size(), 18u);
                EXPECT_EQ(bytes[2], rle ? 10 : 2);
                EXPECT_EQ((bytes[17] & 0x20) != 0, top);
                if (!rle) {
                    EXPECT_EQ(bytes.size(), 18u + size_t(w) * h * bits / 8);
                }
                const Decoded d = decode(bytes);
                ASSERT_EQ(d.info.error, nullptr);
                ASSERT_EQ(d.info.width, w);
                ASSERT_EQ(d.info.height, h);
                for (int y = 0; y < h; y++)
                    for (int x = 0; x < w; x++) {
                        std::uint32_t want = px[size_t(y) * w + x];
                        if (bits == 24) want |= 0xFF000000u;
                        ASSERT_EQ(d.at(x, y), stored(want)) << x << "," << y;
                    }
            }
}

TEST(TgaWriter, RunLengthPacketsStayWithinRowsAndCompressRuns) {
    const int w = 1000, h = 3;
    std::vector<std::uint32_t> flat(size_t(w) * h, 0xFF112233u);
    const auto bytes = tga_encode_truecolor(flat.data(), w, h, 24, TgaLayout{true, true});
    // Per row: 7 full packets of 128 and one of 104, 4 bytes each.
    EXPECT_EQ(bytes.size(), 18u + 3u * 8u * 4u);
    EXPECT_EQ(decode(bytes).px, std::vector<unsigned>(size_t(w) * h, stored(0xFF112233u)));
}

TEST(TgaWriter, GreyAndColourMappedRoundTrip) {
    const int w = 260, h = 4;
    std::vector<std::uint8_t> v(size_t(w) * h);
    for (size_t i = 0; i < v.size(); i++) v[i] = std::uint8_t(i < 300 ? 7 : i * 31);
    std::vector<std::uint32_t> palette(256);
    for (int i = 0; i < 256; i++) palette[i] = std::uint32_t(i) << 16 | std::uint32_t(255 - i);
    for (bool rle : {false, true})
        for (bool top : {false, true}) {
            const Decoded g = decode(tga_encode_grey(v.data(), w, h, TgaLayout{rle, top}));
            const Decoded m =
                decode(tga_encode_mapped(v.data(), w, h, palette.data(), 256, TgaLayout{rle, top}));
            ASSERT_EQ(g.info.error, nullptr);
            ASSERT_EQ(m.info.error, nullptr);
            EXPECT_EQ(g.info.imagetype, rle ? 11 : 3);
            EXPECT_EQ(m.info.imagetype, rle ? 9 : 1);
            for (size_t i = 0; i < v.size(); i++) {
                ASSERT_EQ(g.px[i], 0xFF000000u | v[i] * 0x010101u);
                ASSERT_EQ(m.px[i], stored(0xFF000000u | palette[v[i]]));
            }
        }
}

TEST(TgaWriter, RejectsSizesTheFormatCannotHold) {
    const std::uint32_t px = 0;
    EXPECT_TRUE(tga_encode_truecolor(&px, 0, 1, 32, TgaLayout{}).empty());
    EXPECT_TRUE(tga_encode_truecolor(&px, 70000, 1, 32, TgaLayout{}).empty());
    EXPECT_TRUE(tga_encode_truecolor(&px, 1, 1, 16, TgaLayout{}).empty());
    EXPECT_TRUE(tga_encode_mapped(nullptr, 1, 1, nullptr, 0, TgaLayout{}).empty());
    EXPECT_FALSE(tga_write_rgba32("/nonexistent-dir/x.tga", &px, 1, 1));
}

// The generator runs twice (once for the whole suite) into folders of the build tree.
class Generated : public testing::Test {
protected:
    static void SetUpTestSuite() {
        for (int i = 0; i < 2; i++) {
            dirs_[i] = fs::path(FENTRO_BINARY_DIR) / ("generator_test_" + std::to_string(i));
            fs::remove_all(dirs_[i]);
            status_[i] = test_support::RunProgram(FENTRO_GEN_PROGRAM, {dirs_[i].string()}).status;
        }
    }
    static void TearDownTestSuite() {
        for (const fs::path &d : dirs_) fs::remove_all(d);
    }
    void SetUp() override {
        ASSERT_EQ(status_[0], 0);
        ASSERT_EQ(status_[1], 0);
    }

    static const ResourceFile *entry(const char *name) {
        return test_support::GeneratedMedium(name);
    }
    static Decoded load(const char *name) {
        const ResourceFile *r = entry(name);
        if (!r) return Decoded{};
        const Bytes b = read_file(dirs_[0] / r->file);
        return decode(std::vector<std::uint8_t>(b.begin(), b.end()));
    }

    static fs::path dirs_[2];
    static int status_[2];
};

fs::path Generated::dirs_[2];
int Generated::status_[2];

TEST_F(Generated, TwoRunsWriteTheSameBytes) {
    std::map<std::string, Bytes> first;
    for (const auto &e : fs::directory_iterator(dirs_[0]))
        first[e.path().filename().string()] = read_file(e.path());
    size_t files = 0;
    for (const auto &e : fs::directory_iterator(dirs_[1])) {
        const std::string name = e.path().filename().string();
        ASSERT_TRUE(first.count(name)) << name << " only in the second run";
        EXPECT_TRUE(first[name] == read_file(e.path())) << name << " differs between runs";
        files++;
    }
    EXPECT_EQ(files, first.size());
    for (const std::string &name : test_support::GeneratedFiles())
        EXPECT_TRUE(first.count(name)) << name;
    EXPECT_EQ(first.size(), test_support::GeneratedFiles().size());
}

TEST_F(Generated, EveryFileIsAValidTgaOfItsListedKindAndSize) {
    for (const ResourceFile &r : kResourceFiles) {
        SCOPED_TRACE(r.name);
        for (const char *c = r.file; *c; c++) EXPECT_FALSE(*c >= 'A' && *c <= 'Z');
        const Bytes b = read_file(dirs_[0] / r.file);
        ASSERT_GE(b.size(), 18u);
        EXPECT_EQ(b[1], (r.imagetype & 7) == 1 ? 1 : 0);
        EXPECT_EQ(b[2], r.imagetype);
        EXPECT_EQ(b[16], r.bits);
        EXPECT_EQ((b[17] & 0x20) != 0, r.topleft);
        const Decoded d = decode(std::vector<std::uint8_t>(b.begin(), b.end()));
        ASSERT_EQ(d.info.error, nullptr);
        if (r.width) {
            EXPECT_EQ(d.info.width, r.width);
        }
        EXPECT_EQ(d.info.height, r.height);
        if (r.kind == ResKind::SpriteSheet) {
            EXPECT_GE(d.info.width, r.columns * r.cellwidth);
            EXPECT_GE(d.info.height, r.rows * r.cellheight);
        }
    }
}

TEST_F(Generated, TheScenesFindEveryNameWithTheFramesTheyUse) {
    for (const test_support::SceneNeed &n : test_support::SceneNeeds()) {
        SCOPED_TRACE(n.name);
        const ResourceFile *r = entry(n.name);
        ASSERT_NE(r, nullptr);
        EXPECT_NE(r->kind, ResKind::EditorFont);
        EXPECT_NE(r->kind, ResKind::EditorSprite);
        if (n.frames) {
            EXPECT_EQ(r->kind, ResKind::SpriteSheet);
            EXPECT_GE(r->columns * r->rows, n.frames);
        }
    }
    // "location" is one row of 1200 pixels per sprite, 540 rows.
    const ResourceFile *loc = entry("location");
    EXPECT_EQ(loc->columns, 1);
    EXPECT_EQ(loc->cellheight, 1);
}

TEST_F(Generated, MovingBackgroundsStayCoveredWhileTheyMove) {
    // compos slides its background to x -1920, events to x -929.
    EXPECT_GE(entry("compobg")->width, 1920 * 2);
    EXPECT_GE(entry("eventsbg")->width, 1920 + 929);
    // The welcome sky rises 25 pixels per 50000 frames: at least 30 s of climb.
    EXPECT_GE(entry("welcomebg")->height, 1080 + 25 * (30 * 44100 / 50000));
    // The compo background's right half is the events background's left part.
    const Decoded compo = load("compobg"), events = load("eventsbg");
    ASSERT_FALSE(compo.px.empty());
    ASSERT_FALSE(events.px.empty());
    for (int y = 0; y < 1080; y += 7)
        for (int x = 0; x < 1920; x += 3) ASSERT_EQ(compo.at(1920 + x, y), events.at(x, y));
}

TEST_F(Generated, EndLogoHasPlentyOfNonBlackPixels) {
    const Decoded d = load("endlogo");
    ASSERT_EQ(d.info.width, 1920);
    ASSERT_EQ(d.info.height, 1080);
    size_t lit = 0;
    for (unsigned p : d.px) lit += (p & 0xFFFFFF) != 0;
    // The final scene picks random points until it finds one: a tenth of the area keeps that
    // search short.
    EXPECT_GT(lit, d.px.size() / 10);
}

TEST_F(Generated, EndTitleFillsTheLogoWhereTheCirclesSettle) {
    // The final scene draws its circles 64 pixels above the end logo's pixels; the end title
    // drawn over them is opaque exactly there, and clear at the screen's corners.
    const Decoded logo = load("endlogo"), title = load("endtitle");
    ASSERT_EQ(title.info.width, logo.info.width);
    ASSERT_EQ(title.info.height, logo.info.height);
    size_t letters = 0;
    for (int y = 64; y < logo.info.height; y += 2)
        for (int x = 0; x < logo.info.width; x += 2) {
            if ((logo.at(x, y) & 0xFF) < 128) continue;
            letters++;
            ASSERT_GE(title.at(x, y - 64) >> 24, 250u) << x << "," << y - 64;
        }
    EXPECT_GT(letters, 10000u);
    for (int x : {0, title.info.width - 1})
        for (int y : {0, title.info.height - 1}) EXPECT_EQ(title.at(x, y) >> 24, 0u);
}

TEST_F(Generated, AlphaTestedSpritesAreOpaqueOrClear) {
    for (const char *name :
         {"gimbard", "presents", "tvframe", "intrologo", "boxblack", "boxwhite", "bee45",
          "offertext", "location", "bars", "bestdemo", "bestcompo", "whytext", "whyaap", "whyenjoy",
          "screen", "font1", "font2", "cursor"}) {
        SCOPED_TRACE(name);
        const Decoded d = load(name);
        ASSERT_FALSE(d.px.empty());
        size_t clear = 0;
        for (unsigned p : d.px) {
            const unsigned a = p >> 24;
            ASSERT_TRUE(a == 0 || a == 255) << std::hex << p;
            clear += a == 0;
        }
        EXPECT_LT(clear, d.px.size());
    }
    // The television's opening shows what lies behind it; its cabinet does not.
    const Decoded tv = load("tvframe");
    EXPECT_EQ(tv.at(960, 468) >> 24, 0u);
    EXPECT_EQ(tv.at(340, 468) >> 24, 0u);
    EXPECT_EQ(tv.at(10, 10) >> 24, 255u);
    EXPECT_EQ(tv.at(960, 1000) >> 24, 255u);
}

TEST_F(Generated, ParticleSheetsHaveAFrameInEveryCell) {
    for (const char *name : {"particle", "particleblue"}) {
        SCOPED_TRACE(name);
        const ResourceFile *r = entry(name);
        const Decoded d = load(name);
        ASSERT_FALSE(d.px.empty());
        for (int k = 0; k < r->columns * r->rows; k++) {
            const int cx = (k % r->columns) * r->cellwidth + r->cellwidth / 2;
            const int cy = (k / r->columns) * r->cellheight + r->cellheight / 2;
            EXPECT_GT(d.at(cx, cy) >> 24, 128u) << "frame " << k;
            EXPECT_EQ(d.at(cx - r->cellwidth / 2, cy - r->cellheight / 2) >> 24, 0u)
                << "frame " << k;
        }
    }
}

TEST_F(Generated, EditorFontsFollowTheMarkerRowFormat) {
    for (const char *name : {"font1", "font2"}) {
        SCOPED_TRACE(name);
        const Decoded d = load(name);
        ASSERT_FALSE(d.px.empty());
        // The loader's scan: glyph 0 is column 0, each marker starts the next glyph.
        std::vector<int> widths{1};
        int last = 1;
        for (int x = 0; x < d.info.width; x++)
            if (d.at(x, 0) >> 24) {
                widths.push_back(x - last);
                last = x;
            }
        widths.push_back(d.info.width - last);
        // Glyphs 0 to 93: column 0, then the space to the vertical bar.
        EXPECT_EQ(widths.size(), 94u);
        for (size_t i = 1; i < widths.size(); i++) {
            EXPECT_GE(widths[i], 2) << "glyph " << i;
            EXPECT_LE(widths[i], 255) << "glyph " << i;
        }
        // Every printable glyph but the space has visible pixels below the marker row.
        int start = 1 + widths[1];
        for (size_t i = 2; i < widths.size(); i++) {
            bool ink = false;
            for (int y = 1; y < d.info.height && !ink; y++)
                for (int x = start; x < start + widths[i] && !ink; x++)
                    ink = (d.at(x, y) >> 24) != 0;
            EXPECT_TRUE(ink) << "glyph " << i;
            start += widths[i];
        }
    }
}

TEST(ResourceList, ProjectLinesAgreeWithTheTable) {
    std::ifstream in(fs::path(FENTRO_SOURCE_DIR) / "tools/gen/resources.txt");
    ASSERT_TRUE(in.good());
    std::map<std::string, int> listed;
    std::string line;
    while (std::getline(in, line)) {
        char kw[32], name[64], file[64];
        int id, cols = 0, rows = 0, cw = 0, ch = 0;
        if (std::sscanf(line.c_str(), "#%31s %d \"%63[^\"]\" \"%63[^\"]\" :%d %d %d %d", kw, &id,
                        name, file, &cols, &rows, &cw, &ch) < 4)
            continue;
        SCOPED_TRACE(line);
        const ResourceFile *r = nullptr;
        for (const ResourceFile &e : kResourceFiles)
            if (name == std::string(e.name)) r = &e;
        ASSERT_NE(r, nullptr);
        EXPECT_STREQ(file, r->file);
        const std::string k = kw;
        const ResKind kind = k == "texture"  ? ResKind::Texture
                             : k == "sprite" ? ResKind::Sprite
                                             : ResKind::SpriteSheet;
        EXPECT_EQ(kind, r->kind);
        if (kind == ResKind::SpriteSheet) {
            EXPECT_EQ(cols, r->columns);
            EXPECT_EQ(rows, r->rows);
            EXPECT_EQ(cw, r->cellwidth);
            EXPECT_EQ(ch, r->cellheight);
        }
        listed[name]++;
    }
    for (const ResourceFile &r : kResourceFiles)
        if (r.kind == ResKind::Texture || r.kind == ResKind::Sprite ||
            r.kind == ResKind::SpriteSheet) {
            EXPECT_EQ(listed[r.name], 1) << r.name;
        }
}

// Mistyped options are refused before anything is written: "--from" is not a folder to fill.
TEST(GeneratorOptions, AnythingButOneFolderIsRefusedBeforeWriting) {
    test_support::TempDir dir;
    test_support::RunOptions here;
    here.folder = dir.str();
    const std::vector<std::vector<std::string>> refused = {
        {"--from", "1e15"}, {"--bogus"}, {"-x"}, {"a", "b"}, {"--quiet"}, {""}, {}};
    for (const auto &args : refused) {
        const test_support::ProgramRun run =
            test_support::RunProgram(FENTRO_GEN_PROGRAM, args, here);
        EXPECT_EQ(run.status, 2) << testing::PrintToString(args);
        EXPECT_NE(run.err.find("[gen.bad_arguments]"), std::string::npos)
            << testing::PrintToString(args);
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_EQ(test_support::RunProgram(FENTRO_GEN_PROGRAM, {"--help"}, here).status, 0);
}

}  // namespace

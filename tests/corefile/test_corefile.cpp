#include "core/corefile.h"
#include "core/coremem.h"
#include "corefile/corefile_testutil.h"
#include "log_capture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testutil;
using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::IsSupersetOf;

namespace {

std::string binarybytes(size_t n) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i) s[i] = (char)(i * 7 + 3);
    return s;
}

const std::string DEMO = "#bpm 120\n#layer \"x\"\nno newline at the end";
const std::string FONT = binarybytes(300);
const std::string SHADER = "void main(){}\n";
const std::string LAST = "LAST";

// A production folder with mixed-case names; sorted by lower-cased name the entries are
// data/font.tga, data/sub/shader.glsl, demo.fentro, zz_last.bin.
void writeproduction(const TempDir &dir, const std::string &sub = "src") {
    writefile(dir / (sub + "/Demo.fentro"), DEMO);
    writefile(dir / (sub + "/DATA/Font.TGA"), FONT);
    writefile(dir / (sub + "/data/sub/shader.glsl"), SHADER);
    writefile(dir / (sub + "/zz_last.bin"), LAST);
}

std::string readall(const char *name) {
    s_corefile f;
    if (!corefile_open(name, &f, 0)) return "<not found>";
    std::string s(corefile_fsize(&f), 0);
    corefile_read(s.data(), 1, (uint32_t)s.size(), &f);
    corefile_close(&f);
    return s;
}

class CoreFile : public testing::Test {
protected:
    void SetUp() override { baseline = g_mem_in_use; }
    void TearDown() override {
        corefile_closeimage();
        EXPECT_EQ(g_mem_in_use, baseline) << "the layer kept memory after closing";
    }
    uint32_t baseline = 0;
    TempDir dir;
};

TEST(CoreFileHash, SumsSignedBytes) {
    EXPECT_EQ(corefile_gethash("abc"), 294u);
    EXPECT_EQ(corefile_gethash(""), 0u);
    EXPECT_EQ(corefile_gethash("\xff"), 0xffffffffu);
    EXPECT_EQ(corefile_gethash("a\x80"), (uint32_t)(97 - 128));
}

TEST(CoreFileHash, DowncaseAndGetint) {
    char out[8];
    file_downcase(out, "AbZ@[z9", 8);
    EXPECT_STREQ(out, "abz@[z9");
    const unsigned char b[4] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(getint(b), 0x12345678u);
}

TEST_F(CoreFile, StandaloneImageBuiltByTheToolReadsBack) {
    writeproduction(dir);
    ASSERT_EQ(
        coreimage("create '" + (dir / "img.dat").string() + "' '" + (dir / "src").string() + "'")
            .status,
        0);
    auto log = idsof([&] { EXPECT_EQ(corefile_mountimage((dir / "img.dat").c_str(), 0), 1); });
    EXPECT_THAT(log, IsSupersetOf({"corefile.image_loading", "corefile.image_source",
                                   "corefile.image_files"}));
    EXPECT_EQ(corefile_mounttype, MOUNT_FILE);
    ASSERT_EQ(corefile_image.numfiles, 4u);
    const char *expected[] = {"data/font.tga", "data/sub/shader.glsl", "demo.fentro",
                              "zz_last.bin"};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_STREQ(corefile_image.names[i], expected[i]);
        EXPECT_EQ(corefile_image.hashes[i], corefile_gethash(expected[i]));
    }
    EXPECT_STREQ(corefile_getpath(), "/");

    EXPECT_EQ(readall("DEMO.FENTRO"), DEMO);
    EXPECT_EQ(readall("Data/Font.tga"), FONT);
    EXPECT_EQ(readall("data/sub/shader.glsl"), SHADER);
    // The last entry's size comes from romsize.
    EXPECT_EQ(readall("zz_last.bin"), LAST);
    EXPECT_EQ(corefile_image.romsize - corefile_image.offsets[3], LAST.size());

    s_corefile f;
    log = idsof([&] { EXPECT_EQ(corefile_open("missing.txt", &f, 0), 0); });
    EXPECT_THAT(log, ElementsAre("corefile.not_found"));
    EXPECT_EQ(f.hashname, corefile_gethash("missing.txt"));
    // An entry name only matches as a whole, not as a prefix of a longer one.
    EXPECT_EQ(corefile_open("demo", &f, 0), 0);
}

TEST_F(CoreFile, ImageHandleCursorIsAnAbsolutePosition) {
    writeproduction(dir);
    ASSERT_EQ(
        coreimage("create '" + (dir / "img.dat").string() + "' '" + (dir / "src").string() + "'")
            .status,
        0);
    ASSERT_EQ(corefile_mountimage((dir / "img.dat").c_str(), 0), 1);
    s_corefile f;
    auto log = idsof([&] { ASSERT_EQ(corefile_open("data/font.tga", &f, 0), 1); });
    const uint32_t start = corefile_image.offsets[0];
    EXPECT_THAT(log, ElementsAre("corefile.found"));
    EXPECT_EQ(f.data, nullptr);
    EXPECT_EQ(f.fileindex, 0u);
    EXPECT_EQ(corefile_tell(&f), start);
    EXPECT_EQ(corefile_fsize(&f), FONT.size());

    corefile_seek(&f, 10, 0);
    EXPECT_EQ(corefile_tell(&f), start + 10);
    corefile_seek(&f, 5, 1);
    EXPECT_EQ(corefile_tell(&f), start + 15);
    corefile_seek(&f, 99, 2);
    EXPECT_EQ(corefile_tell(&f), start + 15);
    unsigned char c = 0;
    corefile_read(&c, 1, 1, &f);
    EXPECT_EQ(c, (unsigned char)FONT[15]);

    EXPECT_EQ(corefile_feof(&f), 0);
    corefile_seek(&f, (int32_t)FONT.size(), 0);
    EXPECT_EQ(corefile_feof(&f), 1);
    corefile_rewind(&f);
    EXPECT_EQ(corefile_tell(&f), start);
    EXPECT_EQ(corefile_feof(&f), 0);

    // Reading over the end delivers only the entry's bytes, never the next entry's, and the
    // cursor moves by the amount asked for.
    corefile_seek(&f, (int32_t)FONT.size() - 2, 0);
    std::string buf(8, '#');
    corefile_read(buf.data(), 1, 8, &f);
    EXPECT_EQ(buf, FONT.substr(FONT.size() - 2) + "######");
    EXPECT_EQ(corefile_tell(&f), start + FONT.size() + 6);
    EXPECT_EQ(corefile_feof(&f), 1);
    // Before the start nothing is read either.
    corefile_seek(&f, -4, 0);
    buf.assign(4, '#');
    corefile_read(buf.data(), 1, 4, &f);
    EXPECT_EQ(buf, "####");

    corefile_close(&f);
    EXPECT_EQ(f.offset, 0u);
}

TEST_F(CoreFile, LinesStopAtTheEntryEnd) {
    writefile(dir / "src/a.txt", "line1\nline2");
    writefile(dir / "src/b.txt", "BBBB\n");
    ASSERT_EQ(
        coreimage("create '" + (dir / "img.dat").string() + "' '" + (dir / "src").string() + "'")
            .status,
        0);
    ASSERT_EQ(corefile_mountimage((dir / "img.dat").c_str(), 0), 1);
    s_corefile f;
    ASSERT_EQ(corefile_open("a.txt", &f, 0), 1);
    char line[256];
    std::vector<std::string> lines;
    while (!corefile_feof(&f)) {
        corefile_gets(line, sizeof line, &f);
        lines.push_back(line);
    }
    EXPECT_THAT(lines, testing::ElementsAre("line1\n", "line2"));
    // At the end a line read yields an empty string.
    memset(line, 'x', sizeof line);
    corefile_gets(line, sizeof line, &f);
    EXPECT_STREQ(line, "");

    // A short buffer splits a line like the stdio line reader.
    corefile_rewind(&f);
    corefile_gets(line, 4, &f);
    EXPECT_STREQ(line, "lin");
    corefile_gets(line, 4, &f);
    EXPECT_STREQ(line, "e1\n");
    corefile_gets(line, 1, &f);
    EXPECT_STREQ(line, "");
}

// Lines of every length up to several kilobytes, so that lines and short-buffer pieces
// cross the boundaries of whatever the layer reads ahead.
std::string manylines(std::vector<std::string> *lines) {
    std::string text;
    for (int i = 0; i < 400; ++i) {
        std::string line(static_cast<size_t>((i * 97) % 5000), static_cast<char>('a' + i % 26));
        line += '\n';
        lines->push_back(line);
        text += line;
    }
    lines->push_back("tail without newline");
    return text + lines->back();
}

std::vector<std::string> readlines(const char *name, int size) {
    std::vector<std::string> lines;
    s_corefile f;
    if (!corefile_open(name, &f, 0)) return lines;
    std::vector<char> line(static_cast<size_t>(size));
    std::string current;
    while (!corefile_feof(&f)) {
        corefile_gets(line.data(), size, &f);
        current += line.data();
        if (!current.empty() && current.back() == '\n')
            lines.push_back(std::move(current)), current.clear();
    }
    if (!current.empty()) lines.push_back(current);
    corefile_close(&f);
    return lines;
}

TEST_F(CoreFile, LongTextsReadLineByLineInBothModes) {
    std::vector<std::string> expected;
    const std::string text = manylines(&expected);
    writefile(dir / "src/a.txt", "first entry\n");
    writefile(dir / "src/b.txt", text);
    writefile(dir / "src/c.txt", "the entry behind\n");

    ASSERT_EQ(corefile_mountimage((dir / "src").c_str(), 2), 1);
    EXPECT_EQ(readlines("b.txt", 6000), expected);
    EXPECT_EQ(readlines("b.txt", 7), expected);
    corefile_closeimage();

    ASSERT_EQ(
        coreimage("create '" + (dir / "img.dat").string() + "' '" + (dir / "src").string() + "'")
            .status,
        0);
    ASSERT_EQ(corefile_mountimage((dir / "img.dat").c_str(), 0), 1);
    EXPECT_EQ(readlines("b.txt", 6000), expected);
    EXPECT_EQ(readlines("b.txt", 7), expected);
    EXPECT_THAT(readlines("a.txt", 256), testing::ElementsAre("first entry\n"));
    EXPECT_THAT(readlines("c.txt", 256), testing::ElementsAre("the entry behind\n"));
}

TEST_F(CoreFile, LinesComeFromTheFileNowOpen) {
    writefile(dir / "src/one.txt", "one\n");
    writefile(dir / "src/two.txt", "two\n");
    ASSERT_EQ(corefile_mountimage((dir / "src").c_str(), 2), 1);
    // Each handle is closed before the next opens, so their streams may share an address.
    EXPECT_THAT(readlines("one.txt", 256), testing::ElementsAre("one\n"));
    EXPECT_THAT(readlines("two.txt", 256), testing::ElementsAre("two\n"));
    writefile(dir / "src/one.txt", "one again\n");
    EXPECT_THAT(readlines("one.txt", 256), testing::ElementsAre("one again\n"));

    // A file cut short while open ends instead of yielding the same spot forever.
    s_corefile f;
    ASSERT_EQ(corefile_open("two.txt", &f, 0), 1);
    fs::resize_file(dir / "src/two.txt", 0);
    char line[16];
    int reads = 0;
    while (!corefile_feof(&f) && reads < 10) {
        corefile_gets(line, sizeof line, &f);
        ++reads;
    }
    EXPECT_TRUE(corefile_feof(&f));
    corefile_close(&f);
}

TEST_F(CoreFile, InterleavedHandlesShareTheImageStream) {
    writeproduction(dir);
    ASSERT_EQ(
        coreimage("create '" + (dir / "img.dat").string() + "' '" + (dir / "src").string() + "'")
            .status,
        0);
    ASSERT_EQ(corefile_mountimage((dir / "img.dat").c_str(), 0), 1);
    s_corefile a, b;
    ASSERT_EQ(corefile_open("demo.fentro", &a, 0), 1);
    ASSERT_EQ(corefile_open("data/font.tga", &b, 0), 1);
    char line[256];
    std::string bytes(4, 0);
    corefile_gets(line, sizeof line, &a);
    corefile_read(bytes.data(), 1, 4, &b);
    EXPECT_STREQ(line, "#bpm 120\n");
    EXPECT_EQ(bytes, FONT.substr(0, 4));
    corefile_gets(line, sizeof line, &a);
    corefile_read(bytes.data(), 2, 2, &b);
    EXPECT_STREQ(line, "#layer \"x\"\n");
    EXPECT_EQ(bytes, FONT.substr(4, 4));
}

TEST_F(CoreFile, AppendedImageIsFoundThroughTheTrailer) {
    writeproduction(dir);
    const std::string host = binarybytes(1000);
    writefile(dir / "host.bin", host);
    ASSERT_EQ(
        coreimage("append '" + (dir / "host.bin").string() + "' '" + (dir / "src").string() + "'")
            .status,
        0);
    auto log = idsof([&] { EXPECT_EQ(corefile_mountimage((dir / "host.bin").c_str(), 1), 1); });
    EXPECT_THAT(log, Contains("corefile.image_source"));
    ASSERT_EQ(corefile_image.numfiles, 4u);
    EXPECT_GE(corefile_image.offsets[0], host.size());
    EXPECT_EQ(readall("demo.fentro"), DEMO);
    EXPECT_EQ(readall("zz_last.bin"), LAST);
    EXPECT_EQ(readall("data/font.tga"), FONT);
    corefile_closeimage();
    // The host is not a stand-alone image.
    log = idsof([&] { EXPECT_EQ(corefile_mountimage((dir / "host.bin").c_str(), 0), 0); });
    EXPECT_THAT(log, Contains("corefile.image_malformed"));
}

TEST_F(CoreFile, NothingMountedOrMissingImageFindsNothing) {
    s_corefile f;
    EXPECT_THAT(idsof([&] { EXPECT_EQ(corefile_open("demo.fentro", &f, 0), 0); }),
                ElementsAre("corefile.not_found"));
    EXPECT_THAT(idsof([&] { EXPECT_EQ(corefile_mountimage((dir / "outline.dat").c_str(), 0), 0); }),
                ElementsAre("corefile.image_loading", "corefile.image_missing"));
    EXPECT_EQ(corefile_open("demo.fentro", &f, 0), 0);
    // A failed open leaves a handle through which nothing is read and which is at its end.
    char c = 'x';
    corefile_read(&c, 1, 1, &f);
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(corefile_feof(&f), 1);
    EXPECT_EQ(corefile_mountimage((dir / "outline.dat").c_str(), 7), 0);
    // A folder is not an image.
    EXPECT_EQ(corefile_mountimage(dir.c_str(), 0), 0);
}

// Malformed images: each is refused with a message naming the failed check, keeps no
// memory and leaves the layer as it was.
TEST_F(CoreFile, MalformedImagesAreRefused) {
    auto entry = [](const std::string &name, uint32_t offset) {
        return le32((uint32_t)name.size()) + le32(corefile_gethash(name.c_str())) + name +
               le32(offset);
    };
    // A valid two-entry image: header 12, entries 12+1 each, data at 38.
    const std::string valid =
        "CORE" + le32(2) + le32(42) + entry("a", 38) + entry("b", 40) + "AABB";
    struct Case {
        const char *what;
        std::string bytes;
        int type;
    };
    const Case cases[] = {
        {"too short", "COR", 0},
        {"no \"CORE\" magic", "JUNK" + valid.substr(4), 0},
        {"entry count", "CORE" + le32(0x40000000) + le32(42) + valid.substr(12), 0},
        {"romsize", "CORE" + le32(2) + le32(43) + valid.substr(12), 0},
        {"romsize 37 is below",
         "CORE" + le32(2) + le32(37) + entry("a", 38) + entry("b", 38) + "AABB", 0},
        {"name length", "CORE" + le32(1) + le32(20) + le32(0xfffffff0) + le32(0) + "abcd", 0},
        {"empty name", "CORE" + le32(1) + le32(24) + le32(0) + le32(0) + le32(24) + "abcdefgh", 0},
        {"zero byte", "CORE" + le32(1) + le32(28) + entry(std::string("a\0b", 3), 27) + "x", 0},
        {"inside the header or table",
         "CORE" + le32(2) + le32(42) + entry("a", 8) + entry("b", 40) + "AABB", 0},
        {"below the previous",
         "CORE" + le32(2) + le32(42) + entry("a", 40) + entry("b", 38) + "AABB", 0},
        {"table entry 1 runs past",
         "CORE" + le32(2) + le32(40) + entry("abcdefghijkl", 36) + "1234", 0},
        {"trailer position", valid + le32(1000), 1},
        {"too short to hold an image", le32(0), 1},
    };
    for (const Case &c : cases) {
        writefile(dir / "bad.dat", c.bytes);
        const uint32_t before = g_mem_in_use;
        const auto log =
            idsof([&] { EXPECT_EQ(corefile_mountimage((dir / "bad.dat").c_str(), c.type), 0); });
        EXPECT_THAT(log, Contains("corefile.image_malformed")) << c.what;
        EXPECT_EQ(g_mem_in_use, before) << c.what;
        EXPECT_EQ(corefile_image.numfiles, 0u);
        EXPECT_EQ(g_fp, nullptr);
    }
    // The valid image itself mounts, and every truncation of it is refused.
    writefile(dir / "good.dat", valid);
    ASSERT_EQ(corefile_mountimage((dir / "good.dat").c_str(), 0), 1);
    EXPECT_EQ(readall("b"), "BB");
    for (size_t n = 0; n < valid.size(); ++n) {
        writefile(dir / "cut.dat", valid.substr(0, n));
        EXPECT_EQ(corefile_mountimage((dir / "cut.dat").c_str(), 0), 0) << n;
        // The mounted image stays in place.
        EXPECT_EQ(readall("a"), "AA") << n;
    }
}

TEST_F(CoreFile, ImagesAreReadOnly) {
    writeproduction(dir);
    ASSERT_EQ(
        coreimage("create '" + (dir / "img.dat").string() + "' '" + (dir / "src").string() + "'")
            .status,
        0);
    ASSERT_EQ(corefile_mountimage((dir / "img.dat").c_str(), 0), 1);
    s_corefile f;
    EXPECT_THAT(idsof([&] { EXPECT_EQ(corefile_open("demo.fentro", &f, 1), 0); }),
                ElementsAre("corefile.write_not_directory"));
    corefile_write("x", 1, 1, &f);
    EXPECT_EQ(corefile_savebuffer("demo.fentro", "x", 1), 0);
    EXPECT_EQ(readall("demo.fentro"), DEMO);
}

TEST_F(CoreFile, LoadBufferFollowsTheLocalPath) {
    writeproduction(dir);
    ASSERT_EQ(
        coreimage("create '" + (dir / "img.dat").string() + "' '" + (dir / "src").string() + "'")
            .status,
        0);
    ASSERT_EQ(corefile_mountimage((dir / "img.dat").c_str(), 0), 1);
    char *text = static_cast<char *>(corefile_loadbuffer("demo.fentro"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), DEMO);
    _wrap_free_dbg(text, "test", __LINE__);
    corefile_chdir("data/sub");
    text = static_cast<char *>(corefile_loadbuffer("shader.glsl"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), SHADER);
    _wrap_free_dbg(text, "test", __LINE__);
    EXPECT_EQ(corefile_loadbuffer("demo.fentro"), nullptr);
}

TEST_F(CoreFile, LocalPathRules) {
    corefile_chdir("sub");
    EXPECT_STREQ(corefile_getpath(), "/");  // nothing mounted: nothing changes
    writefile(dir / "src/x", "1");
    ASSERT_EQ(
        coreimage("create '" + (dir / "img.dat").string() + "' '" + (dir / "src").string() + "'")
            .status,
        0);
    ASSERT_EQ(corefile_mountimage((dir / "img.dat").c_str(), 0), 1);
    EXPECT_THAT(idsof([] { corefile_chdir(".."); }), ElementsAre("corefile.localpath"));
    EXPECT_STREQ(corefile_getpath(), "/");
    corefile_chdir("sub");
    EXPECT_STREQ(corefile_getpath(), "/sub/");
    corefile_chdir("dir/");
    EXPECT_STREQ(corefile_getpath(), "/sub/dir/");
    EXPECT_THAT(idsof([] { corefile_chdir("."); }), IsEmpty());
    EXPECT_STREQ(corefile_getpath(), "/sub/dir/");
    corefile_chdir("..");
    EXPECT_STREQ(corefile_getpath(), "/sub/");
    corefile_chdir("/x");
    EXPECT_STREQ(corefile_getpath(), "/x/");
    corefile_chdir("\\y\\z");
    EXPECT_STREQ(corefile_getpath(), "\\y\\z/");
    corefile_chdir("..");
    EXPECT_STREQ(corefile_getpath(), "\\y/");
    // A path that would not fit the 256-character buffer is refused.
    const std::string longname(300, 'a');
    EXPECT_THAT(idsof([&] { corefile_chdir(longname.c_str()); }),
                Contains("corefile.path_too_long"));
    EXPECT_STREQ(corefile_getpath(), "\\y/");
    corefile_chdir(("/" + std::string(253, 'b')).c_str());
    EXPECT_EQ(strlen(corefile_getpath()), 255u);
}

std::vector<std::string> listing() {
    std::vector<std::string> out;
    for (int i = 0; i < corefile_numfiles; ++i) {
        const s_corefileentry &e = corefile_filelist[i];
        out.push_back(std::string(e.displayname) + "|" + e.name + "|" + std::to_string(e.size) +
                      "|" + std::to_string(e.isdir));
    }
    return out;
}

TEST_F(CoreFile, ListingShowsParentSubfoldersThenMatchingFiles) {
    writefile(dir / "src/a.txt", "12");
    writefile(dir / "src/music.wav", "123");
    writefile(dir / "src/data/font.tga", "1234");
    writefile(dir / "src/data/y.tga", "12345");
    writefile(dir / "src/data/notes.txt", "1");
    writefile(dir / "src/data/sub/x.glsl", "123456");
    writefile(dir / "src/data/sub/deeper/z.tga", "1");
    ASSERT_EQ(
        coreimage("create '" + (dir / "img.dat").string() + "' '" + (dir / "src").string() + "'")
            .status,
        0);
    ASSERT_EQ(corefile_mountimage((dir / "img.dat").c_str(), 0), 1);

    EXPECT_THAT(idsof([] { corefile_readdir("*.*"); }),
                ElementsAre("corefile.dir_extension", "corefile.dir_root", "corefile.dir_read"));
    EXPECT_THAT(listing(), testing::ElementsAre("[data]|data|0|1", "a.txt|a.txt|2|0",
                                                "music.wav|music.wav|3|0"));
    corefile_readdir("*.tga");
    EXPECT_THAT(listing(), testing::ElementsAre("[data]|data|0|1"));
    corefile_readdir("*");
    EXPECT_EQ(corefile_numfiles, 3);

    corefile_chdir("data");
    corefile_readdir("*.tga");
    EXPECT_THAT(listing(),
                testing::ElementsAre("[..]|..|0|1", "[sub]|sub|0|1", "font.tga|data/font.tga|4|0",
                                     "y.tga|data/y.tga|5|0"));
    corefile_chdir("sub");
    corefile_readdir("*.*");
    EXPECT_THAT(listing(), testing::ElementsAre("[..]|..|0|1", "[deeper]|deeper|0|1",
                                                "x.glsl|data/sub/x.glsl|6|0"));
    corefile_chdir("/nothing");
    corefile_readdir("*.*");
    EXPECT_THAT(listing(), testing::ElementsAre("[..]|..|0|1"));
    EXPECT_EQ(corefile_numdirs, 0);
    corefile_adddir("one");
    corefile_adddir("one");
    EXPECT_EQ(corefile_numdirs, 1);
}

// Directory mounts.

TEST_F(CoreFile, DirectoryMountScansTheTreeAndOpensPlainFiles) {
    writeproduction(dir);
    EXPECT_THAT(idsof([&] { EXPECT_EQ(corefile_mountimage((dir / "src").c_str(), 2), 1); }),
                Contains("corefile.files_found"));
    EXPECT_EQ(corefile_mounttype, MOUNT_DIR);
    ASSERT_EQ(corefile_image.numfiles, 4u);
    std::vector<std::string> names(corefile_image.names, corefile_image.names + 4);
    // The scan keeps the names' case as found on disk.
    EXPECT_THAT(names, testing::UnorderedElementsAre("Demo.fentro", "DATA/Font.TGA",
                                                     "data/sub/shader.glsl", "zz_last.bin"));
    EXPECT_EQ(readall("data/sub/shader.glsl"), SHADER);
    EXPECT_EQ(readall("zz_last.bin"), LAST);
    // Lower-cased first, then as given, so mixed-case files on disk are found.
    EXPECT_EQ(readall("DATA/Font.TGA"), FONT);
    EXPECT_EQ(readall("missing"), "<not found>");

    s_corefile f;
    ASSERT_EQ(corefile_open("Demo.fentro", &f, 0), 1);
    EXPECT_NE(f.data, nullptr);
    EXPECT_EQ(corefile_fsize(&f), DEMO.size());
    char line[256];
    std::vector<std::string> lines;
    while (!corefile_feof(&f)) {
        corefile_gets(line, sizeof line, &f);
        lines.push_back(line);
    }
    EXPECT_THAT(lines,
                testing::ElementsAre("#bpm 120\n", "#layer \"x\"\n", "no newline at the end"));
    corefile_seek(&f, 1, 0);
    EXPECT_EQ(corefile_tell(&f), 1u);
    corefile_seek(&f, 3, 1);
    EXPECT_EQ(corefile_tell(&f), 4u);
    corefile_gets(line, sizeof line, &f);
    EXPECT_STREQ(line, " 120\n");
    corefile_rewind(&f);
    EXPECT_EQ(corefile_tell(&f), 0u);
    corefile_close(&f);
    EXPECT_EQ(f.data, nullptr);

    // The listing works from the scanned names.
    corefile_chdir("data");
    corefile_readdir("*.*");
    EXPECT_THAT(listing(), testing::ElementsAre("[..]|..|0|1", "[sub]|sub|0|1"));
    corefile_chdir("sub");
    corefile_readdir("*.glsl");
    EXPECT_THAT(listing(),
                testing::ElementsAre("[..]|..|0|1", "shader.glsl|data/sub/shader.glsl|14|0"));
}

TEST_F(CoreFile, DirectoryMountNeverLeavesItsFolder) {
    writefile(dir / "outside.txt", "secret");
    writefile(dir / "root/inside.txt", "ok");
    ASSERT_EQ(corefile_mountimage((dir / "root").c_str(), 2), 1);
    s_corefile f;
    for (const char *name : {"../outside.txt", "sub/../../outside.txt", "..",
                             "a\\..\\..\\outside.txt", "/etc/passwd", "\\etc\\passwd"}) {
        EXPECT_THAT(idsof([&] { EXPECT_EQ(corefile_open(name, &f, 0), 0) << name; }),
                    ElementsAre("corefile.path_refused"));
        EXPECT_EQ(corefile_open(name, &f, 1), 0) << name;
    }
    EXPECT_EQ(corefile_savebuffer("../outside.txt", "gone", 4), 0);
    EXPECT_EQ(readfile(dir / "outside.txt"), "secret");
    // Dots inside names are fine.
    EXPECT_EQ(corefile_savebuffer("a..b", "x", 1), 1);
    EXPECT_EQ(readall("a..b"), "x");
}

TEST_F(CoreFile, WritingReplacesTheFileOnlyWhenClosed) {
    writefile(dir / "root/demo.fentro", "old version\n");
    chmod((dir / "root/demo.fentro").c_str(), 0640);
    ASSERT_EQ(corefile_mountimage((dir / "root").c_str(), 2), 1);
    s_corefile f;
    ASSERT_EQ(corefile_open("DEMO.fentro", &f, 1), 1);
    corefile_write("new ", 1, 4, &f);
    corefile_write("version", 7, 1, &f);
    EXPECT_EQ(corefile_tell(&f), 11u);
    EXPECT_EQ(corefile_fsize(&f), 11u);
    EXPECT_EQ(readfile(dir / "root/demo.fentro"), "old version\n");
    corefile_close(&f);
    EXPECT_EQ(readfile(dir / "root/demo.fentro"), "new version");
    struct stat st;
    ASSERT_EQ(stat((dir / "root/demo.fentro").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Writing at a cursor moved back overwrites in place.
    ASSERT_EQ(corefile_open("demo.fentro", &f, 1), 1);
    corefile_write("abcdef", 1, 6, &f);
    corefile_seek(&f, 2, 0);
    corefile_write("XY", 1, 2, &f);
    corefile_close(&f);
    EXPECT_EQ(readfile(dir / "root/demo.fentro"), "abXYef");
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "root"), fs::directory_iterator()), 1);
}

TEST_F(CoreFile, ProgramDyingWhileWritingKeepsThePreviousVersion) {
    writefile(dir / "root/demo.fentro", "old version\n");
    ASSERT_EQ(corefile_mountimage((dir / "root").c_str(), 2), 1);
    fflush(stdout);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        s_corefile f;
        corefile_open("demo.fentro", &f, 1);
        corefile_write("half", 1, 4, &f);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(readfile(dir / "root/demo.fentro"), "old version\n");
}

TEST_F(CoreFile, SaveBufferWritesBelowTheLocalPath) {
    fs::create_directories(dir / "root/sub");
    ASSERT_EQ(corefile_mountimage((dir / "root").c_str(), 2), 1);
    EXPECT_EQ(corefile_savebuffer("out.wav", "RIFF", 4), 1);
    EXPECT_EQ(readfile(dir / "root/out.wav"), "RIFF");
    corefile_chdir("sub");
    EXPECT_EQ(corefile_savebuffer("deep.bin", "\0\1\2", 3), 1);
    EXPECT_EQ(readfile(dir / "root/sub/deep.bin"), std::string("\0\1\2", 3));
    char *back = static_cast<char *>(corefile_loadbuffer("deep.bin"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::string(back, 3), std::string("\0\1\2", 3));
    _wrap_free_dbg(back, "test", __LINE__);
    // A folder that does not exist cannot take the file.
    EXPECT_THAT(idsof([] { EXPECT_EQ(corefile_savebuffer("nosuch/x.bin", "x", 1), 0); }),
                Contains("corefile.write_open_failed"));
}

TEST_F(CoreFile, DirectoryScanSkipsLoopsAndSpecialFiles) {
    writefile(dir / "root/a.txt", "a");
    writefile(dir / "root/sub/b.txt", "b");
    ASSERT_EQ(symlink("..", (dir / "root/sub/up").c_str()), 0);
    ASSERT_EQ(symlink("sub", (dir / "root/alias").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "root/pipe").c_str(), 0600), 0);
    EXPECT_THAT(idsof([&] { EXPECT_EQ(corefile_mountimage((dir / "root").c_str(), 2), 1); }),
                Contains("corefile.dir_loop"));
    // a.txt, sub/b.txt and, through the link, alias/b.txt.
    EXPECT_EQ(corefile_image.numfiles, 3u);
    // Opening a FIFO neither blocks nor succeeds.
    const auto start = std::chrono::steady_clock::now();
    s_corefile f;
    EXPECT_EQ(corefile_open("pipe", &f, 0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(corefile_open("sub", &f, 0), 0);
}

TEST_F(CoreFile, DirectoryMountFailsForAMissingFolderAndKeepsThePrevious) {
    writefile(dir / "root/a.txt", "a");
    ASSERT_EQ(corefile_mountimage((dir / "root").c_str(), 2), 1);
    EXPECT_THAT(idsof([&] { EXPECT_EQ(corefile_mountimage((dir / "nosuch").c_str(), 2), 0); }),
                Contains("corefile.dir_unreadable"));
    EXPECT_EQ(corefile_mounttype, MOUNT_DIR);
    EXPECT_EQ(readall("a.txt"), "a");
    // A new mount replaces the old one.
    writefile(dir / "src/b.txt", "b");
    ASSERT_EQ(
        coreimage("create '" + (dir / "img.dat").string() + "' '" + (dir / "src").string() + "'")
            .status,
        0);
    ASSERT_EQ(corefile_mountimage((dir / "img.dat").c_str(), 0), 1);
    EXPECT_EQ(corefile_mounttype, MOUNT_FILE);
    EXPECT_EQ(readall("b.txt"), "b");
    EXPECT_EQ(readall("a.txt"), "<not found>");
}

// Runs fn in a child process; its result, or -1 when it was still running after 20 seconds
// (then it is killed), so that a call that blocks forever fails instead of hanging the test.
int inchild(const std::function<int()> &fn) {
    fflush(stdout);
    const pid_t child = fork();
    if (child == 0) _exit(fn());
    for (int i = 0; i < 2000; ++i) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

TEST_F(CoreFile, ImageMountRefusesSpecialFilesWithoutBlocking) {
    ASSERT_EQ(mkfifo((dir / "outline.dat").c_str(), 0600), 0);
    for (int type : {0, 1})
        EXPECT_EQ(inchild([&] { return corefile_mountimage((dir / "outline.dat").c_str(), type); }),
                  0)
            << type;
    LogCapture log;
    EXPECT_EQ(corefile_mountimage("/dev/null", 0), 0);
    EXPECT_TRUE(log.Has("corefile.image_missing"));
    EXPECT_EQ(corefile_mountimage(dir.c_str(), 0), 0);
}

// A file saved through a symbolic link replaces the file the link points to; the link stays.
TEST_F(CoreFile, SavingThroughALinkWritesWhereItPoints) {
    writefile(dir / "elsewhere/demo.fentro", "old");
    fs::create_directories(dir / "root");
    fs::create_symlink(dir / "elsewhere/demo.fentro", dir / "root/demo.fentro");
    fs::create_symlink(dir / "nowhere/x", dir / "root/dangling.fentro");
    ASSERT_EQ(corefile_mountimage((dir / "root").c_str(), 2), 1);
    EXPECT_EQ(corefile_savebuffer("demo.fentro", "new", 3), 1);
    EXPECT_TRUE(fs::is_symlink(dir / "root/demo.fentro"));
    EXPECT_EQ(readfile(dir / "elsewhere/demo.fentro"), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "elsewhere"), fs::directory_iterator()),
              1);

    LogCapture log;
    EXPECT_EQ(corefile_savebuffer("dangling.fentro", "x", 1), 0);
    EXPECT_TRUE(log.Has("corefile.bad_link"));
    EXPECT_TRUE(fs::is_symlink(dir / "root/dangling.fentro"));
}

}  // namespace

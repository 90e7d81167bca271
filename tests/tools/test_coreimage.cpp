#include "core/corefile.h"
#include "corefile/corefile_testutil.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace testutil;
using testing::HasSubstr;

namespace {

std::string q(const std::string &path) { return "'" + path + "'"; }

// Every regular file below root, by relative path, with its bytes.
std::map<std::string, std::string> tree(const std::string &root) {
    std::map<std::string, std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files[e.path().lexically_relative(root).generic_string()] = readfile(e.path());
    return files;
}

// A stand-alone image of the given entries, written byte by byte (names need not be unique).
std::string rawimage(const std::vector<std::pair<std::string, std::string>> &entries) {
    uint32_t position = 12;
    for (const auto &e : entries) position += 12 + (uint32_t)e.first.size();
    std::string table, data;
    for (const auto &[name, bytes] : entries) {
        table += le32((uint32_t)name.size()) + le32(corefile_gethash(name.c_str())) + name +
                 le32(position);
        position += (uint32_t)bytes.size();
        data += bytes;
    }
    return "CORE" + le32((uint32_t)entries.size()) + le32(position) + table + data;
}

// Names in dir (not below it), sorted.
std::vector<std::string> names(const std::string &dir) {
    std::vector<std::string> found;
    for (const auto &e : fs::directory_iterator(dir)) found.push_back(e.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

// Shell prefix under which any file write beyond 32 KB fails (as on a full disk) instead of
// ending the process.
const std::string small_disk = "trap '' XFSZ; ulimit -f 64;";

std::string pattern(size_t n, int seed) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i) s[i] = (char)((i * 131 + seed) >> 3);
    return s;
}

TEST(CoreImageTool, HelpAndUsage) {
    ToolResult r = coreimage("--help");
    EXPECT_EQ(r.status, 0);
    for (const char *line :
         {"create IMAGE DIR", "append HOST DIR", "list IMAGE", "extract [--force] IMAGE DIR"})
        EXPECT_THAT(r.out, HasSubstr(line));
    for (const char *args :
         {"", "pack a b", "create onlyone", "list a b", "list --force a", "extract a b --force"}) {
        r = coreimage(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_THAT(r.err, HasSubstr("usage:")) << args;
        EXPECT_EQ(r.out, "") << args;
    }
}

TEST(CoreImageTool, CreateSortsLowerCasedNamesAndListsThem) {
    TempDir dir;
    writefile(dir / "src/B.txt", "bbb");
    writefile(dir / "src/A/C.bin", "");
    writefile(dir / "src/abc", "xyz");
    ASSERT_EQ(coreimage("create " + q(dir / "img.dat") + " " + q(dir / "src")).status, 0);
    const ToolResult r = coreimage("list " + q(dir / "img.dat"));
    EXPECT_EQ(r.status, 0) << r.err;
    // Table: 12 + (12 + 7) + (12 + 3) + (12 + 5) bytes, then the data in name order.
    EXPECT_EQ(r.out, "63\t0\t" + std::to_string(corefile_gethash("a/c.bin")) + "\ta/c.bin\n" +
                         "63\t3\t294\tabc\n" + "66\t3\t" +
                         std::to_string(corefile_gethash("b.txt")) + "\tb.txt\n");
    const std::string image = readfile(dir / "img.dat");
    EXPECT_EQ(image.substr(0, 12), "CORE" + le32(3) + le32(69));
    EXPECT_EQ(image.substr(63), "xyzbbb");
}

TEST(CoreImageTool, NamesThatLowerCaseAlikeAreAnError) {
    TempDir dir;
    writefile(dir / "src/Readme", "1");
    writefile(dir / "src/README", "2");
    const ToolResult r = coreimage("create " + q(dir / "img.dat") + " " + q(dir / "src"));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("[coreimage.name_clash]"));
    EXPECT_FALSE(fs::exists(dir / "img.dat"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(CoreImageTool, ExtractRoundTripsADirectory) {
    TempDir dir;
    const std::map<std::string, std::string> files = {{"demo.fentro", "#demo\n"},
                                                      {"data/big.bin", pattern(200000, 1)},
                                                      {"data/empty", ""},
                                                      {"data/a/b/c/deep.glsl", "x"},
                                                      {"high\xe9.txt", pattern(300, 7)},
                                                      {"z", std::string(1, 0)}};
    for (const auto &[name, bytes] : files) writefile(dir / ("src/" + name), bytes);
    ASSERT_EQ(coreimage("create " + q(dir / "img.dat") + " " + q(dir / "src")).status, 0);
    const ToolResult r = coreimage("extract " + q(dir / "img.dat") + " " + q(dir / "out"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(tree(dir / "out"), files);
    // Upper-case names come back lower-cased.
    writefile(dir / "src2/Sub/Name.TXT", "n");
    ASSERT_EQ(coreimage("create " + q(dir / "img2.dat") + " " + q(dir / "src2")).status, 0);
    ASSERT_EQ(coreimage("extract " + q(dir / "img2.dat") + " " + q(dir / "out2")).status, 0);
    EXPECT_EQ(tree(dir / "out2"), (std::map<std::string, std::string>{{"sub/name.txt", "n"}}));
}

TEST(CoreImageTool, AppendKeepsTheHostAndEndsWithTheTrailer) {
    TempDir dir;
    const std::string host = pattern(5000, 3);
    writefile(dir / "host", host);
    chmod((dir / "host").c_str(), 0755);
    writefile(dir / "src/demo.fentro", "#demo\n");
    writefile(dir / "src/data/x.bin", pattern(70000, 2));
    ASSERT_EQ(coreimage("append " + q(dir / "host") + " " + q(dir / "src")).status, 0);
    const std::string file = readfile(dir / "host");
    EXPECT_EQ(file.substr(0, host.size()), host);
    EXPECT_EQ(file.substr(host.size(), 4), "CORE");
    EXPECT_EQ(file.substr(file.size() - 4), le32((uint32_t)host.size()));
    struct stat st;
    ASSERT_EQ(stat((dir / "host").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    const ToolResult r = coreimage("list " + q(dir / "host"));
    EXPECT_EQ(r.status, 0) << r.err;
    const size_t first = host.size() + 12 + (12 + 10) + (12 + 11);
    EXPECT_EQ(r.out, std::to_string(first) + "\t70000\t" +
                         std::to_string(corefile_gethash("data/x.bin")) + "\tdata/x.bin\n" +
                         std::to_string(first + 70000) + "\t6\t" +
                         std::to_string(corefile_gethash("demo.fentro")) + "\tdemo.fentro\n");
    ASSERT_EQ(coreimage("extract " + q(dir / "host") + " " + q(dir / "out")).status, 0);
    EXPECT_EQ(tree(dir / "out"), tree(dir / "src"));
}

TEST(CoreImageTool, TheImageItselfIsNotPacked) {
    TempDir dir;
    writefile(dir / "src/a.txt", "a");
    ASSERT_EQ(coreimage("create " + q(dir / "src/pack.dat") + " " + q(dir / "src")).status, 0);
    ASSERT_EQ(coreimage("create " + q(dir / "src/pack.dat") + " " + q(dir / "src")).status, 0);
    EXPECT_EQ(coreimage("list " + q(dir / "src/pack.dat")).out, "29\t1\t495\ta.txt\n");
}

TEST(CoreImageTool, EmptyDirectoryGivesAnEmptyImage) {
    TempDir dir;
    fs::create_directories(dir / "src");
    ASSERT_EQ(coreimage("create " + q(dir / "img.dat") + " " + q(dir / "src")).status, 0);
    EXPECT_EQ(readfile(dir / "img.dat"), "CORE" + le32(0) + le32(12));
    const ToolResult r = coreimage("list --quiet " + q(dir / "img.dat"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST(CoreImageTool, BadInputIsReportedWithStatusOne) {
    TempDir dir;
    ToolResult r = coreimage("list " + q(dir / "missing.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("[coreimage.unreadable]"));
    r = coreimage("create " + q(dir / "img.dat") + " " + q(dir / "nosuchdir"));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("[coreimage.dir_unreadable]"));
    r = coreimage("append " + q(dir / "nohost") + " " + q(dir.path()));
    EXPECT_EQ(r.status, 1);

    // A table whose entry count cannot fit the file, and one cut short.
    writefile(dir / "bad.dat", "CORE" + le32(1000) + le32(12) + std::string(20, 0));
    r = coreimage("list " + q(dir / "bad.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("[coreimage.malformed]"));
    writefile(dir / "src/a.txt", "hello");
    ASSERT_EQ(coreimage("create " + q(dir / "img.dat") + " " + q(dir / "src")).status, 0);
    writefile(dir / "cut.dat", readfile(dir / "img.dat").substr(0, 30));
    r = coreimage("extract " + q(dir / "cut.dat") + " " + q(dir / "out"));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("[coreimage.malformed]"));
    EXPECT_FALSE(fs::exists(dir / "out"));
    r = coreimage("list " + q(dir.path()));
    EXPECT_EQ(r.status, 1);
}

TEST(CoreImageTool, ExtractRefusesNamesOutsideTheTarget) {
    TempDir dir;
    for (const std::string name : {"../evil.txt", "/tmp/evil.txt", "ok/../../evil.txt"}) {
        const uint32_t data = 12 + 12 + (uint32_t)name.size();
        writefile(dir / "evil.dat",
                  "CORE" + le32(1) + le32(data + 4) + le32((uint32_t)name.size()) +
                      le32(corefile_gethash(name.c_str())) + name + le32(data) + "EVIL");
        const ToolResult r = coreimage("extract " + q(dir / "evil.dat") + " " + q(dir / "out"));
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_THAT(r.err, HasSubstr("[coreimage.unsafe_name]")) << name;
        EXPECT_FALSE(fs::exists(dir / "evil.txt"));
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}

TEST(CoreImageTool, SpecialFilesAreRefusedWithoutBlocking) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    // A hang would end in timeout's status 124.
    for (const std::string &args :
         {"list " + q(dir / "fifo"), "extract " + q(dir / "fifo") + " " + q(dir / "out"),
          std::string("list /dev/null"), "append " + q(dir / "fifo") + " " + q(dir.path()),
          "list " + q(dir.path())}) {
        const ToolResult r = coreimage(args, "timeout 20");
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_THAT(r.err, HasSubstr("[coreimage.not_regular]")) << args;
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}

// Writes that fail half-way (the disk is full) leave neither a temporary file nor a partial
// output, and whatever was there before is kept.
TEST(CoreImageTool, FailedWritesLeaveTheFolderAsItWas) {
    TempDir dir;
    writefile(dir / "src/big.bin", pattern(200000, 4));
    writefile(dir / "src/small.txt", "small");
    writefile(dir / "old/a.txt", "old");
    ASSERT_EQ(coreimage("create " + q(dir / "old.dat") + " " + q(dir / "old")).status, 0);
    ASSERT_EQ(coreimage("create " + q(dir / "big.dat") + " " + q(dir / "src")).status, 0);
    writefile(dir / "host", "host bytes");
    const std::string before = readfile(dir / "old.dat");
    const std::vector<std::string> listing = names(dir.path());

    for (const std::string &args : {"create " + q(dir / "old.dat") + " " + q(dir / "src"),
                                    "create " + q(dir / "new.dat") + " " + q(dir / "src"),
                                    "append " + q(dir / "host") + " " + q(dir / "src"),
                                    "extract " + q(dir / "big.dat") + " " + q(dir / "out/deep")}) {
        const ToolResult r = coreimage(args, small_disk);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_THAT(r.err, HasSubstr("[coreimage.unwritable]")) << args;
    }
    EXPECT_EQ(names(dir.path()), listing);
    EXPECT_EQ(readfile(dir / "old.dat"), before);
    EXPECT_EQ(readfile(dir / "host"), "host bytes");

    // Into a folder that exists, with --force over a file that exists: both stay as they were.
    writefile(dir / "into/small.txt", "mine");
    const ToolResult r =
        coreimage("extract --force " + q(dir / "big.dat") + " " + q(dir / "into"), small_disk);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(names(dir / "into"), std::vector<std::string>{"small.txt"});
    EXPECT_EQ(readfile(dir / "into/small.txt"), "mine");
}

TEST(CoreImageTool, ExtractNeverOverwritesUnlessForcedAndNeverWritesThroughALink) {
    TempDir dir;
    writefile(dir / "img.dat", rawimage({{"a.txt", "new a"}, {"sub/b.txt", "new b"}}));
    writefile(dir / "outside/b.txt", "outside");
    writefile(dir / "victim", "victim");

    // A folder in the way that is a link to somewhere else: nothing is written at all.
    fs::create_directories(dir / "out1");
    fs::create_symlink(dir / "outside", dir / "out1/sub");
    for (const std::string force : {"", "--force "}) {
        const ToolResult r =
            coreimage("extract " + force + q(dir / "img.dat") + " " + q(dir / "out1"));
        EXPECT_EQ(r.status, 1) << force;
        EXPECT_THAT(r.err, HasSubstr("[coreimage.link_in_the_way]")) << force;
    }
    EXPECT_EQ(names(dir / "out1"), std::vector<std::string>{"sub"});
    EXPECT_EQ(readfile(dir / "outside/b.txt"), "outside");

    // A file where a folder belongs, and a folder where a file belongs, are refused even forced.
    writefile(dir / "out3/sub", "file");
    fs::create_directories(dir / "out4/a.txt");
    for (const std::string out : {"out3", "out4"}) {
        const ToolResult r =
            coreimage("extract --force " + q(dir / "img.dat") + " " + q(dir / out));
        EXPECT_EQ(r.status, 1) << out;
        EXPECT_THAT(r.err, HasSubstr("[coreimage.file_in_the_way]")) << out;
    }
    EXPECT_EQ(readfile(dir / "out3/sub"), "file");

    // A file that exists is kept unless --force; a link in its place is replaced, not followed.
    writefile(dir / "out2/a.txt", "mine");
    fs::create_directories(dir / "out2/sub");
    fs::create_symlink(dir / "victim", dir / "out2/sub/b.txt");
    ToolResult r = coreimage("extract " + q(dir / "img.dat") + " " + q(dir / "out2"));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("[coreimage.exists]"));
    EXPECT_EQ(readfile(dir / "out2/a.txt"), "mine");
    EXPECT_TRUE(fs::is_symlink(dir / "out2/sub/b.txt"));
    r = coreimage("extract --force " + q(dir / "img.dat") + " " + q(dir / "out2"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readfile(dir / "out2/a.txt"), "new a");
    EXPECT_FALSE(fs::is_symlink(dir / "out2/sub/b.txt"));
    EXPECT_EQ(readfile(dir / "out2/sub/b.txt"), "new b");
    EXPECT_EQ(readfile(dir / "victim"), "victim");
}

TEST(CoreImageTool, ExtractRefusesClashingEntriesBeforeWritingAnything) {
    TempDir dir;
    const std::vector<std::pair<std::vector<std::pair<std::string, std::string>>, std::string>>
        cases = {
            {{{"a", "1"}, {"a/b", "2"}}, "coreimage.file_and_folder"},
            {{{"x/a", "1"}, {"x", "2"}, {"z", "3"}}, "coreimage.file_and_folder"},
            {{{"same", "1"}, {"same", "2"}}, "coreimage.duplicate_name"},
            {{{"ok", "1"}, {"a//b", "2"}}, "coreimage.bad_name"},
            {{{"ok", "1"}, {"a/./b", "2"}}, "coreimage.bad_name"},
        };
    for (const auto &[entries, id] : cases) {
        writefile(dir / "img.dat", rawimage(entries));
        const ToolResult r = coreimage("extract " + q(dir / "img.dat") + " " + q(dir / "out"));
        EXPECT_EQ(r.status, 1) << id;
        EXPECT_THAT(r.err, HasSubstr("[" + id + "]"));
        EXPECT_FALSE(fs::exists(dir / "out")) << id;
    }
}

TEST(CoreImageTool, CreateAndAppendThroughALinkWriteWhereItPoints) {
    TempDir dir;
    writefile(dir / "src/a.txt", "a");
    writefile(dir / "real/host", "host");
    fs::create_symlink(dir / "real/host", dir / "hostlink");
    ToolResult r = coreimage("append " + q(dir / "hostlink") + " " + q(dir / "src"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir / "hostlink"));
    EXPECT_EQ(readfile(dir / "real/host").substr(0, 8), "hostCORE");
    EXPECT_EQ(names(dir / "real"), std::vector<std::string>{"host"});

    fs::create_symlink(dir / "real/image", dir / "imagelink");
    writefile(dir / "real/image", "old");
    r = coreimage("create " + q(dir / "imagelink") + " " + q(dir / "src"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir / "imagelink"));
    EXPECT_EQ(coreimage("list " + q(dir / "real/image")).out,
              "29\t1\t" + std::to_string(corefile_gethash("a.txt")) + "\ta.txt\n");

    // A link that leads nowhere is refused, and left alone.
    fs::create_symlink(dir / "real/none", dir / "deadlink");
    r = coreimage("create " + q(dir / "deadlink") + " " + q(dir / "src"));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("[coreimage.bad_link]"));
    EXPECT_TRUE(fs::is_symlink(dir / "deadlink"));
    EXPECT_FALSE(fs::exists(dir / "real/none"));
}

}  // namespace

#include "core/corefile.h"
#include "corefile/corefile_testutil.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

using namespace testutil;
using testing::HasSubstr;

namespace {

std::string q(const std::string &path) { return "'" + path + "'"; }

// Every regular file below root, by relative path, with its bytes.
std::map<std::string, std::string> tree(const std::string &root)
{
    std::map<std::string, std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[e.path().lexically_relative(root).generic_string()] = readfile(e.path());
    return files;
}

std::string pattern(size_t n, int seed)
{
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i) s[i] = (char)((i * 131 + seed) >> 3);
    return s;
}

TEST(CoreImageTool, HelpAndUsage)
{
    ToolResult r = coreimage("--help");
    EXPECT_EQ(r.status, 0);
    for (const char *line : {"create IMAGE DIR", "append HOST DIR", "list IMAGE", "extract IMAGE DIR"})
        EXPECT_THAT(r.out, HasSubstr(line));
    for (const char *args : {"", "pack a b", "create onlyone", "list a b"}) {
        r = coreimage(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_THAT(r.err, HasSubstr("usage:")) << args;
        EXPECT_EQ(r.out, "") << args;
    }
}

TEST(CoreImageTool, CreateSortsLowerCasedNamesAndListsThem)
{
    TempDir dir;
    writefile(dir / "src/B.txt", "bbb");
    writefile(dir / "src/A/C.bin", "");
    writefile(dir / "src/abc", "xyz");
    ASSERT_EQ(coreimage("create " + q(dir / "img.dat") + " " + q(dir / "src")).status, 0);
    const ToolResult r = coreimage("list " + q(dir / "img.dat"));
    EXPECT_EQ(r.status, 0) << r.err;
    // Table: 12 + (12 + 7) + (12 + 3) + (12 + 5) bytes, then the data in name order.
    EXPECT_EQ(r.out, "63\t0\t" + std::to_string(corefile_gethash("a/c.bin")) + "\ta/c.bin\n" +
                         "63\t3\t294\tabc\n" + "66\t3\t" + std::to_string(corefile_gethash("b.txt")) + "\tb.txt\n");
    const std::string image = readfile(dir / "img.dat");
    EXPECT_EQ(image.substr(0, 12), "CORE" + le32(3) + le32(69));
    EXPECT_EQ(image.substr(63), "xyzbbb");
}

TEST(CoreImageTool, NamesThatLowerCaseAlikeAreAnError)
{
    TempDir dir;
    writefile(dir / "src/Readme", "1");
    writefile(dir / "src/README", "2");
    const ToolResult r = coreimage("create " + q(dir / "img.dat") + " " + q(dir / "src"));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("[coreimage.name_clash]"));
    EXPECT_FALSE(fs::exists(dir / "img.dat"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(CoreImageTool, ExtractRoundTripsADirectory)
{
    TempDir dir;
    const std::map<std::string, std::string> files = {
        {"demo.fentro", "#demo\n"},      {"data/big.bin", pattern(200000, 1)}, {"data/empty", ""},
        {"data/a/b/c/deep.glsl", "x"},   {"high\xe9.txt", pattern(300, 7)},     {"z", std::string(1, 0)}};
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

TEST(CoreImageTool, AppendKeepsTheHostAndEndsWithTheTrailer)
{
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
    EXPECT_EQ(r.out, std::to_string(first) + "\t70000\t" + std::to_string(corefile_gethash("data/x.bin")) +
                         "\tdata/x.bin\n" + std::to_string(first + 70000) + "\t6\t" +
                         std::to_string(corefile_gethash("demo.fentro")) + "\tdemo.fentro\n");
    ASSERT_EQ(coreimage("extract " + q(dir / "host") + " " + q(dir / "out")).status, 0);
    EXPECT_EQ(tree(dir / "out"), tree(dir / "src"));
}

TEST(CoreImageTool, TheImageItselfIsNotPacked)
{
    TempDir dir;
    writefile(dir / "src/a.txt", "a");
    ASSERT_EQ(coreimage("create " + q(dir / "src/pack.dat") + " " + q(dir / "src")).status, 0);
    ASSERT_EQ(coreimage("create " + q(dir / "src/pack.dat") + " " + q(dir / "src")).status, 0);
    EXPECT_EQ(coreimage("list " + q(dir / "src/pack.dat")).out, "29\t1\t495\ta.txt\n");
}

TEST(CoreImageTool, EmptyDirectoryGivesAnEmptyImage)
{
    TempDir dir;
    fs::create_directories(dir / "src");
    ASSERT_EQ(coreimage("create " + q(dir / "img.dat") + " " + q(dir / "src")).status, 0);
    EXPECT_EQ(readfile(dir / "img.dat"), "CORE" + le32(0) + le32(12));
    const ToolResult r = coreimage("list --quiet " + q(dir / "img.dat"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST(CoreImageTool, BadInputIsReportedWithStatusOne)
{
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

TEST(CoreImageTool, ExtractRefusesNamesOutsideTheTarget)
{
    TempDir dir;
    for (const std::string name : {"../evil.txt", "/tmp/evil.txt", "ok/../../evil.txt"}) {
        const uint32_t data = 12 + 12 + (uint32_t)name.size();
        writefile(dir / "evil.dat", "CORE" + le32(1) + le32(data + 4) + le32((uint32_t)name.size()) +
                                        le32(corefile_gethash(name.c_str())) + name + le32(data) + "EVIL");
        const ToolResult r = coreimage("extract " + q(dir / "evil.dat") + " " + q(dir / "out"));
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_THAT(r.err, HasSubstr("[coreimage.unsafe_name]")) << name;
        EXPECT_FALSE(fs::exists(dir / "evil.txt"));
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}

}  // namespace

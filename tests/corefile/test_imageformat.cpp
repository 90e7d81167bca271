#include "corefile/imageformat.h"

#include "core/coremem.h"
#include "corefile/corefile_testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using testutil::le32;

namespace {

struct Entry {
    std::string name;
    std::string data;
};

// An image of entries whose positions count from base, as the tool writes it.
std::string buildimage(const std::vector<Entry> &entries, uint32_t base = 0) {
    std::vector<const char *> names;
    std::vector<uint32_t> sizes;
    for (const auto &e : entries) {
        names.push_back(e.name.c_str());
        sizes.push_back((uint32_t)e.data.size());
    }
    char *buf = nullptr;
    size_t len = 0;
    FILE *out = open_memstream(&buf, &len);
    char why[256];
    EXPECT_EQ(imageformat_writetable(out, base, (uint32_t)entries.size(), names.data(),
                                     sizes.data(), why, sizeof why),
              1);
    fclose(out);
    std::string image(buf, len);
    free(buf);
    for (const auto &e : entries) image += e.data;
    return image;
}

// Locates and reads the table of an image held in memory.
bool parse(const std::string &bytes, int appended, s_coreimage *table, std::string *why) {
    // fmemopen refuses an empty buffer: give it one byte but a file size of zero.
    std::string storage = bytes.empty() ? std::string(1, 0) : bytes;
    FILE *fp = fmemopen(storage.data(), storage.size(), "rb");
    if (!fp) return false;
    char text[256] = "";
    uint64_t start = 0, limit = 0;
    const bool ok =
        imageformat_locate(fp, bytes.size(), appended, &start, &limit, text, sizeof text) &&
        imageformat_readtable(fp, start, limit, table, text, sizeof text);
    fclose(fp);
    *why = text;
    return ok;
}

const std::vector<Entry> SAMPLE = {{"a.txt", "hello\n"},
                                   {"data/font.tga", std::string(40, '\x90')},
                                   {"empty", ""},
                                   {"zz", "last"}};

TEST(ImageFormat, WriterAndReaderAgree) {
    const std::string image = buildimage(SAMPLE);
    s_coreimage t{};
    std::string why;
    ASSERT_TRUE(parse(image, 0, &t, &why)) << why;
    ASSERT_EQ(t.numfiles, SAMPLE.size());
    EXPECT_EQ(t.romsize, image.size());
    for (uint32_t i = 0; i < t.numfiles; ++i) {
        EXPECT_STREQ(t.names[i], SAMPLE[i].name.c_str());
        EXPECT_EQ(t.hashes[i], corefile_gethash(SAMPLE[i].name.c_str()));
        EXPECT_EQ(imageformat_entrysize(&t, i), SAMPLE[i].data.size());
        EXPECT_EQ(image.substr(t.offsets[i], SAMPLE[i].data.size()), SAMPLE[i].data);
    }
    EXPECT_EQ(imageformat_entrysize(&t, t.numfiles), 0u);
    imageformat_freetable(&t);
    EXPECT_EQ(t.names, nullptr);
}

TEST(ImageFormat, AppendedImagePositionsCountFromTheHostStart) {
    const std::string host(123, 'h');
    const std::string file =
        host + buildimage(SAMPLE, (uint32_t)host.size()) + le32((uint32_t)host.size());
    s_coreimage t{};
    std::string why;
    ASSERT_TRUE(parse(file, 1, &t, &why)) << why;
    ASSERT_EQ(t.numfiles, SAMPLE.size());
    EXPECT_EQ(t.romsize, file.size() - 4);
    EXPECT_EQ(file.substr(t.offsets[0], 6), "hello\n");
    imageformat_freetable(&t);
    // Read as a stand-alone image the host's first bytes are no header.
    EXPECT_FALSE(parse(file, 0, &t, &why));
    EXPECT_NE(why.find("magic"), std::string::npos) << why;
}

TEST(ImageFormat, EmptyImageIsValid) {
    const std::string image = buildimage({});
    EXPECT_EQ(image, "CORE" + le32(0) + le32(12));
    s_coreimage t{};
    std::string why;
    ASSERT_TRUE(parse(image, 0, &t, &why)) << why;
    EXPECT_EQ(t.numfiles, 0u);
    imageformat_freetable(&t);
}

TEST(ImageFormat, WriterRefusesPositionsBeyond32Bits) {
    const char *names[] = {"a", "b"};
    const uint32_t sizes[] = {0x80000000u, 0x80000000u};
    char *buf = nullptr;
    size_t len = 0;
    FILE *out = open_memstream(&buf, &len);
    char why[256] = "";
    EXPECT_EQ(imageformat_writetable(out, 0, 2, names, sizes, why, sizeof why), 0);
    fclose(out);
    EXPECT_EQ(len, 0u);
    free(buf);
    EXPECT_NE(strstr(why, "4 GiB"), nullptr) << why;
}

TEST(ImageFormat, SafeNamesStayBelowTheirFolder) {
    for (const char *ok : {"a", "a/b.txt", "a..b", "..a", "a/..b/c", "./x", "x/."})
        EXPECT_EQ(imageformat_safename(ok), 1) << ok;
    for (const char *bad : {"..", "../x", "a/../../x", "a/..", "/etc/passwd", "\\x", "a\\..\\b"})
        EXPECT_EQ(imageformat_safename(bad), 0) << bad;
    EXPECT_EQ(imageformat_safename(nullptr), 0);
}

// Deterministic mutation run over a valid image: every mutant is either refused, keeping no
// memory, or accepted with every entry lying inside the file.
TEST(ImageFormat, MutatedImagesAreRefusedOrStayInsideTheFile) {
    std::vector<Entry> entries;
    for (int i = 0; i < 6; ++i)
        entries.push_back({"dir" + std::to_string(i) + "/file" + std::to_string(i),
                           std::string((size_t)(i * 5 + 1), (char)('a' + i))});
    const std::string host(17, 'h');
    const std::string standalone = buildimage(entries);
    const std::string appended =
        host + buildimage(entries, (uint32_t)host.size()) + le32((uint32_t)host.size());

    uint64_t state = 0x9e3779b97f4a7c15ull;
    auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const uint32_t boundaries[] = {0,          1,           11,          12,         13,
                                   0x7fffffff, 0x80000000u, 0xfffffffeu, 0xffffffffu};
    int accepted = 0, refused = 0;
    for (int round = 0; round < 20000; ++round) {
        const int type = round & 1;
        std::string bytes = type ? appended : standalone;
        const int mutations = 1 + (int)(next() % 3);
        for (int m = 0; m < mutations && !bytes.empty(); ++m) {
            const size_t at = next() % bytes.size();
            switch (next() % 4) {
                case 0:
                    bytes[at] ^= (char)(1 + next() % 255);
                    break;
                case 1:
                    bytes.resize(at);
                    break;
                case 2: {
                    // A 32-bit field of the image, set to a boundary or a plausible position.
                    const size_t base = type ? host.size() : 0;
                    const size_t p = at < base ? at : at - (at - base) % 4;
                    const uint32_t v = next() % 2 ? boundaries[next() % 9]
                                                  : (uint32_t)(next() % (bytes.size() + 16));
                    const std::string word = le32(v);
                    for (size_t k = 0; k < 4 && p + k < bytes.size(); ++k) bytes[p + k] = word[k];
                    break;
                }
                default:
                    bytes.insert(at, 1 + next() % 8, (char)next());
                    break;
            }
        }
        const uint32_t before = g_mem_in_use;
        s_coreimage t{};
        std::string why;
        if (!parse(bytes, type, &t, &why)) {
            ++refused;
            ASSERT_FALSE(why.empty()) << round;
            ASSERT_EQ(g_mem_in_use, before) << round << ": " << why;
            ASSERT_EQ(t.names, nullptr);
            continue;
        }
        ++accepted;
        const uint64_t limit = type ? bytes.size() - 4 : bytes.size();
        ASSERT_LE(t.romsize, limit) << round;
        for (uint32_t i = 0; i < t.numfiles; ++i) {
            ASSERT_GT(strlen(t.names[i]), 0u);
            ASSERT_GE(t.offsets[i], 12u) << round;
            ASSERT_LE((uint64_t)t.offsets[i] + imageformat_entrysize(&t, i), limit) << round;
        }
        imageformat_freetable(&t);
        ASSERT_EQ(g_mem_in_use, before) << round;
    }
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, 1000);
}

}  // namespace

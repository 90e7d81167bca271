// Deterministic mutation runs over valid WAV files, read through the file layer from a
// mounted directory and from a resource image: every mutant loads whole frames of samples
// that were all in the file, or is refused with a message and keeps nothing.
#include "core/corefile.h"
#include "corefile/imageformat.h"
#include "coresound/coresound.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "log_capture.h"
#include "mutation_rng.h"

namespace {

using bytes_t = std::vector<uint8_t>;

void put(bytes_t &b, size_t at, uint32_t v, int n)
{
    for (int i = 0; i < n && at + i < b.size(); ++i) b[at + i] = uint8_t(v >> (8 * i));
}

bytes_t wav(int channels, int bits, uint32_t rate, uint32_t databytes, xorshift &rng)
{
    bytes_t b(44 + databytes);
    memcpy(&b[0], "RIFF", 4);
    put(b, 4, databytes + 36, 4);
    memcpy(&b[8], "WAVEfmt ", 8);
    put(b, 16, 16, 4);
    put(b, 20, 1, 2);
    put(b, 22, channels, 2);
    put(b, 24, rate, 4);
    put(b, 28, rate * channels * bits / 8, 4);
    put(b, 32, channels * bits / 8, 2);
    put(b, 34, bits, 2);
    memcpy(&b[36], "data", 4);
    put(b, 40, databytes, 4);
    for (size_t i = 44; i < b.size(); ++i) b[i] = uint8_t(rng());
    return b;
}

std::vector<bytes_t> valid_files()
{
    xorshift rng{77};
    return {wav(2, 16, 44100, 64, rng), wav(1, 8, 22050, 33, rng), wav(1, 16, 8000, 18, rng),
            wav(2, 8, 11025, 40, rng), wav(2, 16, 48000, 0, rng)};
}

void mutate(bytes_t &f, xorshift &rng)
{
    static const uint32_t limits[] = {0, 1, 2, 3, 4, 7, 8, 15, 16, 17, 24, 32, 36, 44, 0x7FFFFFFF,
                                      0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu};
    static const size_t fields[] = {4, 16, 20, 22, 24, 28, 32, 34, 40};
    const int count = 1 + (int)rng.below(3);
    for (int m = 0; m < count; ++m) {
        const size_t at = rng.below(f.size() + 1);
        switch (rng.below(5)) {
        case 0:
            if (at < f.size()) f[at] ^= uint8_t(1 + rng.below(255));
            break;
        case 1:
            f.resize(at);
            break;
        case 2: {
            const size_t field = fields[rng.below(9)];
            const uint32_t v = rng.below(2) ? limits[rng.below(18)] : uint32_t(rng.below(f.size() + 8));
            put(f, field, v, field == 20 || field == 22 || field == 32 || field == 34 ? 2 : 4);
            break;
        }
        case 3:
            f.insert(f.begin() + (ptrdiff_t)at, 1 + rng.below(6), uint8_t(rng()));
            break;
        default:
            if (at < f.size())
                f.erase(f.begin() + (ptrdiff_t)at, f.begin() + (ptrdiff_t)std::min(f.size(), at + 1 + rng.below(6)));
            break;
        }
    }
}

// Loads `name` and checks the outcome against the file's bytes; true when it loaded.
bool load_and_check(const char *name, const bytes_t &file, int round)
{
    s_sound sound{};
    LogCapture log;
    const int ok = Soundsystem_LoadWAV(name, &sound);
    if (!ok) {
        EXPECT_EQ(sound.buffer, nullptr) << round;
        EXPECT_EQ(sound.size, 0u) << round;
        EXPECT_EQ(sound.length, 0u) << round;
        EXPECT_FALSE(log.messages().empty()) << round << ": refused without a message";
        return false;
    }
    EXPECT_TRUE(sound.bits == 8 || sound.bits == 16) << round;
    EXPECT_TRUE(sound.numchannels == 1 || sound.numchannels == 2) << round;
    EXPECT_GT(sound.samplerate, 0u) << round;
    EXPECT_GE(file.size(), 44u + sound.size) << round;
    const uint32_t width = sound.bits / 8u;
    if (width) {
        EXPECT_EQ(sound.size % (width * sound.numchannels), 0u) << round;
        EXPECT_EQ(sound.length, sound.size / width) << round;
    }
    if (sound.size) {
        EXPECT_NE(sound.buffer, nullptr);
        if (sound.buffer && file.size() >= 44u + sound.size) {
            EXPECT_EQ(memcmp(sound.buffer, &file[44], sound.size), 0) << round;
        }
    }
    free(sound.buffer);
    return true;
}

class WavMutations : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override
    {
        corefile_closeimage();
        std::filesystem::remove_all(dir_);
    }
    void pack_and_load(uint64_t seed);
    static void write(const std::string &path, const bytes_t &b)
    {
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!b.empty()) fwrite(b.data(), 1, b.size(), f);
        fclose(f);
    }
    const std::string dir_ = std::string(FENTRO_BINARY_DIR) + "/test_wav_mutations_files";
};

TEST_F(WavMutations, FromADirectoryEveryMutantLoadsWholeFramesOrIsRefused)
{
    ASSERT_EQ(corefile_mountimage(dir_.c_str(), 2), 1);
    const std::vector<bytes_t> valid = valid_files();
    for (const bytes_t &f : valid) {
        write(dir_ + "/in.wav", f);
        ASSERT_TRUE(load_and_check("in.wav", f, -1));
    }
    xorshift rng{0x51a7};
    int loaded = 0, refused = 0;
    for (int round = 0; round < 2000; ++round) {
        bytes_t f = valid[round % valid.size()];
        mutate(f, rng);
        // A new file each time: rewriting one file is far slower on some file systems.
        const std::string name = "in" + std::to_string(round) + ".wav";
        write(dir_ + "/" + name, f);
        (load_and_check(name.c_str(), f, round) ? loaded : refused)++;
        if (HasFailure()) return;
    }
    EXPECT_GT(loaded, 200);
    EXPECT_GT(refused, 200);
}

// Mutants packed as entries of resource images: each is read only up to the end of its
// entry, whatever its header claims.
TEST_F(WavMutations, FromAResourceImageNoEntryIsReadPastItsEnd)
{
    for (int image = 0; image < 4; ++image) {
        pack_and_load(0xbead + image);
        if (HasFailure()) return;
    }
}

void WavMutations::pack_and_load(uint64_t seed)
{
    const std::vector<bytes_t> valid = valid_files();
    xorshift rng{seed};
    std::vector<bytes_t> files;
    std::vector<std::string> names;
    for (int i = 0; i < 1500; ++i) {
        bytes_t f = valid[i % valid.size()];
        mutate(f, rng);
        files.push_back(f);
        names.push_back("m" + std::to_string(i) + ".wav");
    }
    std::vector<const char *> cnames;
    std::vector<uint32_t> sizes;
    for (size_t i = 0; i < files.size(); ++i) {
        cnames.push_back(names[i].c_str());
        sizes.push_back((uint32_t)files[i].size());
    }
    const std::string image = dir_ + "/sounds.dat";
    FILE *out = fopen(image.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    char why[256] = "";
    ASSERT_EQ(imageformat_writetable(out, 0, (uint32_t)files.size(), cnames.data(), sizes.data(), why, sizeof why), 1)
        << why;
    for (const bytes_t &f : files)
        if (!f.empty()) fwrite(f.data(), 1, f.size(), out);
    fclose(out);
    const int mounted = Quietly([&] { return corefile_mountimage(image.c_str(), 0); });
    ASSERT_EQ(mounted, 1);
    std::filesystem::remove(image);
    int loaded = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        loaded += load_and_check(names[i].c_str(), files[i], (int)i);
        if (HasFailure()) break;
    }
    corefile_closeimage();
    EXPECT_GT(loaded, 150);
}

}  // namespace

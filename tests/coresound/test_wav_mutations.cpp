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
#include "support/media.h"
#include "support/mutation.h"
#include "support/scratch.h"

namespace {

using namespace test_support;

bytes_t wav(int channels, int bits, uint32_t rate, uint32_t databytes, xorshift &rng) {
    bytes_t b(44 + databytes);
    memcpy(&b[0], "RIFF", 4);
    PutLE(b, 4, databytes + 36, 4);
    memcpy(&b[8], "WAVEfmt ", 8);
    PutLE(b, 16, 16, 4);
    PutLE(b, 20, 1, 2);
    PutLE(b, 22, channels, 2);
    PutLE(b, 24, rate, 4);
    PutLE(b, 28, rate * channels * bits / 8, 4);
    PutLE(b, 32, channels * bits / 8, 2);
    PutLE(b, 34, bits, 2);
    memcpy(&b[36], "data", 4);
    PutLE(b, 40, databytes, 4);
    for (size_t i = 44; i < b.size(); ++i) b[i] = uint8_t(rng());
    return b;
}

std::vector<bytes_t> valid_files() {
    xorshift rng{77};
    return {wav(2, 16, 44100, 64, rng), wav(1, 8, 22050, 33, rng), wav(1, 16, 8000, 18, rng),
            wav(2, 8, 11025, 40, rng), wav(2, 16, 48000, 0, rng)};
}

void mutate(bytes_t &f, xorshift &rng) {
    static const uint32_t limits[] = {0,  1,  2,          3,           4,           7,
                                      8,  15, 16,         17,          24,          32,
                                      36, 44, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu};
    static const size_t fields[] = {4, 16, 20, 22, 24, 28, 32, 34, 40};
    MutationEdits edits;
    edits.field = [](bytes_t &b, size_t, xorshift &r) {
        const size_t field = fields[r.below(9)];
        const uint32_t v = r.below(2) ? limits[r.below(18)] : uint32_t(r.below(b.size() + 8));
        PutLE(b, field, v, field == 20 || field == 22 || field == 32 || field == 34 ? 2 : 4);
    };
    Mutate(f, rng, edits);
}

// Loads `name` and checks the outcome against the file's bytes; true when it loaded.
bool load_and_check(const char *name, const bytes_t &file, int round) {
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
    void TearDown() override { corefile_closeimage(); }
    void pack_and_load(uint64_t seed);
    static void write(const std::string &path, const bytes_t &b) {
        ASSERT_TRUE(WriteFile(path, b));
    }
    const TempDir scratch_{"wav_mutations"};
    const std::string dir_ = scratch_.str();
};

TEST_F(WavMutations, FromADirectoryEveryMutantLoadsWholeFramesOrIsRefused) {
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
TEST_F(WavMutations, FromAResourceImageNoEntryIsReadPastItsEnd) {
    for (int image = 0; image < 4; ++image) {
        pack_and_load(0xbead + image);
        if (HasFailure()) return;
    }
}

void WavMutations::pack_and_load(uint64_t seed) {
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
    std::vector<std::pair<std::string, bytes_t>> entries;
    for (size_t i = 0; i < files.size(); ++i) entries.push_back({names[i], files[i]});
    const std::string image = dir_ + "/sounds.dat";
    ASSERT_TRUE(WriteResourceImage(image, entries));
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

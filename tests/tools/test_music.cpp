// The production's music: a canonical 16-bit stereo WAV of two to three minutes, laid out
// on the timeline's beat grid, the same bytes on every run, never clipping, starting and
// ending in silence, its main parts turning every eight bars.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "log_capture.h"
#include "tools/gen/music.h"

namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t U32(const std::vector<unsigned char> &b, size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

unsigned U16(const std::vector<unsigned char> &b, size_t at) { return b[at] | b[at + 1] << 8; }

// Generates the music once for the whole suite (it takes a second or two).
class Music : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = fs::path(FENTRO_BINARY_DIR) / "test_music_out";
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "a");
        fs::create_directories(dir_ / "b");
        ok_ = gen_music((dir_ / "a").c_str());
        file_ = ReadFile(dir_ / "a" / kMusicFileName);
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    void SetUp() override {
        ASSERT_TRUE(ok_);
        ASSERT_GE(file_.size(), 44u);
    }

    static std::int16_t Sample(size_t frame, int channel) {
        return std::int16_t(U16(file_, 44 + frame * 4 + channel * 2));
    }
    static size_t Frames() { return (file_.size() - 44) / 4; }

    // Root mean square level of both channels over [from, to), full scale = 1.
    static double Rms(size_t from, size_t to) {
        double sum = 0;
        for (size_t i = from; i < to; ++i)
            for (int c = 0; c < 2; ++c) sum += double(Sample(i, c)) * Sample(i, c);
        return std::sqrt(sum / (2.0 * double(to - from))) / 32768.0;
    }

    static fs::path dir_;
    static bool ok_;
    static std::vector<unsigned char> file_;
};

fs::path Music::dir_;
bool Music::ok_ = false;
std::vector<unsigned char> Music::file_;

TEST(MusicGrid, BeatsAndBarsAreWholeFrames) {
    EXPECT_EQ(kMusicBeatFrames * kMusicBpm, kMusicRate * 60);
    EXPECT_EQ(kMusicBarFrames % 4, 0);
    EXPECT_EQ(kMusicFrames, std::uint32_t(kMusicBars) * kMusicBarFrames);
}

TEST_F(Music, HeaderIsCanonical) {
    const std::uint32_t data = std::uint32_t(file_.size() - 44);
    EXPECT_EQ(std::memcmp(&file_[0], "RIFF", 4), 0);
    EXPECT_EQ(U32(file_, 4), data + 36);
    EXPECT_EQ(std::memcmp(&file_[8], "WAVEfmt ", 8), 0);
    EXPECT_EQ(U32(file_, 16), 16u);
    EXPECT_EQ(U16(file_, 20), 1u);       // PCM
    EXPECT_EQ(U16(file_, 22), 2u);       // stereo
    EXPECT_EQ(U32(file_, 24), 44100u);   // frames per second
    EXPECT_EQ(U32(file_, 28), 176400u);  // bytes per second
    EXPECT_EQ(U16(file_, 32), 4u);       // block align
    EXPECT_EQ(U16(file_, 34), 16u);      // bits per sample
    EXPECT_EQ(std::memcmp(&file_[36], "data", 4), 0);
    EXPECT_EQ(U32(file_, 40), data);
    EXPECT_EQ(data % 4, 0u);
}

TEST_F(Music, LastsTwoToThreeMinutesAndCoversTheTimeline) {
    EXPECT_EQ(Frames(), size_t(kMusicFrames));
    const double seconds = double(Frames()) / kMusicRate;
    EXPECT_GE(seconds, 120.0);
    EXPECT_LE(seconds, 180.0);

    // Every event of the project must end within the music.
    std::ifstream in(fs::path(FENTRO_SOURCE_DIR) / "data" / "invite" / "demo.fentro");
    ASSERT_TRUE(in.good());
    long long last = 0;
    int events = 0;
    for (std::string line; std::getline(in, line);) {
        long long t = 0, length = 0;
        if (std::sscanf(line.c_str(), "#event %lld,%lld", &t, &length) == 2) {
            last = std::max(last, t + length);
            ++events;
        }
    }
    EXPECT_GT(events, 0);
    EXPECT_LE(last, (long long)Frames());
}

TEST_F(Music, SameBytesOnEveryRun) {
    ASSERT_TRUE(gen_music((dir_ / "b").c_str()));
    const std::vector<unsigned char> again = ReadFile(dir_ / "b" / kMusicFileName);
    ASSERT_EQ(again.size(), file_.size());
    EXPECT_TRUE(again == file_);
}

TEST_F(Music, NeverClips) {
    // Three or more consecutive samples at full scale on one channel mean a clipped waveform.
    int longest = 0, peak = 0;
    for (int c = 0; c < 2; ++c) {
        int run = 0;
        for (size_t i = 0; i < Frames(); ++i) {
            const int s = Sample(i, c);
            peak = std::max(peak, std::abs(s));
            run = (s >= 32767 || s <= -32767) ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    EXPECT_LT(longest, 3);
    EXPECT_LT(peak, 32767);
    // Yet loud enough to be heard: peaks above -3 dB.
    EXPECT_GT(peak, 23000);
}

TEST_F(Music, StartsAndEndsInSilence) {
    EXPECT_EQ(Sample(0, 0), 0);
    EXPECT_EQ(Sample(0, 1), 0);
    // The final chord is faded to nothing: the last tenth of a second is silent and the last
    // second below -45 dB.
    const size_t n = Frames();
    for (size_t i = n - kMusicRate / 10; i < n; ++i) {
        ASSERT_LE(std::abs(Sample(i, 0)), 1) << "frame " << i;
        ASSERT_LE(std::abs(Sample(i, 1)), 1) << "frame " << i;
    }
    EXPECT_LT(Rms(n - kMusicRate, n), 0.0056);
}

TEST_F(Music, EveryBarIsHeard) {
    // No dropouts: every bar but the fading last one carries sound (above -40 dB RMS).
    for (int bar = 0; bar < kMusicBars - 1; ++bar) {
        const size_t from = size_t(bar) * kMusicBarFrames;
        EXPECT_GT(Rms(from, from + kMusicBarFrames), 0.01) << "bar " << bar;
    }
}

TEST_F(Music, KickLandsOnTheBeat) {
    // Over the first main part, the bass-band energy of the sixteenth that starts each beat
    // is far above that of the other sixteenths: the beat sits on the timeline's grid.
    const int step = kMusicBeatFrames / 4;
    double onbeat = 0, offbeat = 0, low = 0;
    const double a = 0.0212;  // one-pole low-pass at about 150 Hz
    for (int bar = 16; bar < 32; ++bar) {
        for (int s = 0; s < 16; ++s) {
            const size_t from = size_t(bar) * kMusicBarFrames + size_t(s) * step;
            double e = 0;
            for (size_t i = from; i < from + step; ++i) {
                low += a * ((Sample(i, 0) + Sample(i, 1)) / 65536.0 - low);
                e += low * low;
            }
            (s % 4 == 0 ? onbeat : offbeat) += e;
        }
    }
    EXPECT_GT(onbeat / 4, 2.0 * offbeat / 12);
}

TEST_F(Music, MainPartsTurnEveryEightBars) {
    // Bass-band energy of the last beat of each bar of the main parts A and B: the last bar
    // of every eight-bar phrase turns with a fill or a break that rests kick and bass at least
    // on that beat, while the bars between keep the beat.
    const double a = 0.0212;  // one-pole low-pass at about 150 Hz
    double low = 0;
    std::vector<double> last(48, 0.0);
    for (size_t i = size_t(15) * kMusicBarFrames; i < size_t(48) * kMusicBarFrames; ++i) {
        low += a * ((Sample(i, 0) + Sample(i, 1)) / 65536.0 - low);
        if (i % kMusicBarFrames >= size_t(3) * kMusicBeatFrames)
            last[i / kMusicBarFrames] += low * low;
    }
    for (int phrase = 16; phrase < 48; phrase += 8) {
        double steady = 0;
        for (int bar = phrase; bar < phrase + 7; ++bar) steady += last[bar] / 7;
        for (int bar = phrase; bar < phrase + 7; ++bar)
            EXPECT_GT(last[bar], 0.7 * steady) << "bar " << bar;
        EXPECT_LT(last[phrase + 7], 0.5 * steady) << "bar " << phrase + 7;
    }
}

TEST_F(Music, SecondPassesBringASecondLeadFromOneSide) {
    // The melodies of parts A and B each play twice; the second time a second lead answers
    // from the left (bars 24-31) or the right (bars 40-47), so those passes are fuller and
    // lean to that side compared with the first.
    auto balance = [](int from, int to) {
        double l = 0, r = 0;
        for (size_t i = size_t(from) * kMusicBarFrames; i < size_t(to) * kMusicBarFrames; ++i) {
            l += double(Sample(i, 0)) * Sample(i, 0);
            r += double(Sample(i, 1)) * Sample(i, 1);
        }
        return 10 * std::log10(l / r);
    };
    auto bars = [](int from, int to) {
        return Rms(size_t(from) * kMusicBarFrames, size_t(to) * kMusicBarFrames);
    };
    EXPECT_GT(balance(24, 32) - balance(16, 24), 0.5);
    EXPECT_LT(balance(40, 48) - balance(32, 40), -0.5);
    EXPECT_GT(bars(24, 31), 1.06 * bars(16, 23));
    EXPECT_GT(bars(40, 47), 1.06 * bars(32, 39));
}

TEST_F(Music, PartsDifferInLevelAndWidth) {
    // The intro, breakdown and outro are quieter than the main parts, and the mix is stereo
    // throughout the main parts (left and right differ).
    auto bars = [](int from, int to) {
        return Rms(size_t(from) * kMusicBarFrames, size_t(to) * kMusicBarFrames);
    };
    const double main = bars(16, 48);
    EXPECT_LT(bars(0, 8), 0.6 * main);
    EXPECT_LT(bars(48, 54), 0.8 * main);
    double side = 0, mid = 0;
    for (size_t i = size_t(16) * kMusicBarFrames; i < size_t(20) * kMusicBarFrames; ++i) {
        const double l = Sample(i, 0), r = Sample(i, 1);
        side += (l - r) * (l - r);
        mid += (l + r) * (l + r);
    }
    EXPECT_GT(side, 0.01 * mid);
}

TEST_F(Music, UnwritableFolderFails) {
    LogCapture log;
    EXPECT_FALSE(gen_music((dir_ / "missing" / "deeper").c_str()));
    EXPECT_TRUE(log.Has("gen.music_unwritable"));
}

}  // namespace

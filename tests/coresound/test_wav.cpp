// WAV files through the file layer: loading, saving, and every rejection with its message.
#include "core/corefile.h"
#include "log_capture.h"
#include "sound_test_util.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace {

using testing::Contains;

// A canonical 44-byte-header WAV whose fields can be spoilt one at a time.
struct WavFormat {
    const char *riff = "RIFF";
    const char *wave = "WAVE";
    const char *fmt = "fmt ";
    uint16_t format = 1;
    uint16_t channels = 2;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    const char *data = "data";
    std::vector<uint8_t> samples;
    int64_t declared = -1;  // data size field; -1: the real size
};

void put(std::vector<uint8_t> &b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) b.push_back(uint8_t(v >> (8 * i)));
}

void put(std::vector<uint8_t> &b, const char *tag) { b.insert(b.end(), tag, tag + 4); }

std::vector<uint8_t> wav_bytes(const WavFormat &w) {
    uint32_t n = w.declared < 0 ? uint32_t(w.samples.size()) : uint32_t(w.declared);
    std::vector<uint8_t> b;
    put(b, w.riff);
    put(b, n + 36, 4);
    put(b, w.wave);
    put(b, w.fmt);
    put(b, 16, 4);
    put(b, w.format, 2);
    put(b, w.channels, 2);
    put(b, w.rate, 4);
    put(b, w.channels * (w.bits / 8) * w.rate, 4);
    put(b, w.channels * (w.bits / 8), 2);
    put(b, w.bits, 2);
    put(b, w.data);
    put(b, n, 4);
    b.insert(b.end(), w.samples.begin(), w.samples.end());
    return b;
}

class Wav : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::string(FENTRO_BINARY_DIR) + "/coresound_wav_test";
        mkdir(dir.c_str(), 0755);
        ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
        init_manual_mixing(2);
    }
    void TearDown() override {
        Soundsystem_DeleteSound(&sound);
        Soundsystem_CloseAudio();
        corefile_closeimage();
    }
    void write(const char *name, const std::vector<uint8_t> &bytes) {
        FILE *f = fopen((dir + "/" + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    // Loads name, returning the result and the ids of the messages logged.
    int load(const char *name, std::vector<std::string> *logged) {
        LogCapture log;
        int result = Soundsystem_LoadSound(name, &sound);
        *logged = log.Ids();
        return result;
    }
    void expect_rejected(const WavFormat &wav, const char *id) {
        write("bad.wav", wav_bytes(wav));
        std::vector<std::string> logged;
        EXPECT_EQ(load("bad.wav", &logged), 0);
        EXPECT_THAT(logged, Contains(id));
        EXPECT_EQ(sound.buffer, nullptr);
        EXPECT_EQ(sound.length, 0u);
    }
    std::string dir;
    s_sound sound{};
};

std::vector<uint8_t> bytes_of(const std::vector<int16_t> &v) {
    return std::vector<uint8_t>(reinterpret_cast<const uint8_t *>(v.data()),
                                reinterpret_cast<const uint8_t *>(v.data() + v.size()));
}

TEST_F(Wav, LoadsSixteenBitStereo) {
    WavFormat wav;
    wav.samples = bytes_of({1, -2, 300, -400, 32767, -32768});
    write("music.wav", wav_bytes(wav));
    std::vector<std::string> logged;
    ASSERT_EQ(load("music.WAV", &logged), 1);
    EXPECT_EQ(logged, std::vector<std::string>{"sound.loading"});
    EXPECT_EQ(sound.numchannels, 2);
    EXPECT_EQ(sound.bits, 16);
    EXPECT_EQ(sound.samplerate, 44100u);
    EXPECT_EQ(sound.size, 12u);
    EXPECT_EQ(sound.length, 6u);
    EXPECT_EQ(sound.stepsize, 512u);
    EXPECT_EQ(sound.volume, 255);
    EXPECT_EQ(sound.active, 0);
    EXPECT_EQ(static_cast<int16_t *>(sound.buffer)[5], -32768);
}

TEST_F(Wav, LoadsEightBitMono) {
    WavFormat wav;
    wav.channels = 1;
    wav.bits = 8;
    wav.rate = 22050;
    wav.samples = {0, 128, 255, 7, 9};
    write("blip.wav", wav_bytes(wav));
    std::vector<std::string> logged;
    ASSERT_EQ(load("blip.wav", &logged), 1);
    EXPECT_EQ(sound.length, 5u);
    EXPECT_EQ(sound.size, 5u);
    EXPECT_EQ(sound.stepsize, 128u);
    EXPECT_EQ(static_cast<uint8_t *>(sound.buffer)[2], 255);
}

TEST_F(Wav, SaveAndReloadGiveTheSameSound) {
    std::vector<int16_t> samples;
    for (int i = 0; i < 1000; i++) samples.push_back(int16_t(i * 37 - 20000));
    s_sound original;
    make_sound(&original, 2, 32000, samples);
    ASSERT_EQ(Soundsystem_SaveSound("saved.wav", &original), 1);
    std::vector<std::string> logged;
    ASSERT_EQ(load("saved.wav", &logged), 1);
    EXPECT_EQ(sound.numchannels, 2);
    EXPECT_EQ(sound.samplerate, 32000u);
    EXPECT_EQ(sound.bits, 16);
    ASSERT_EQ(sound.size, original.size);
    EXPECT_EQ(std::memcmp(sound.buffer, original.buffer, original.size), 0);

    // The header is the canonical one.
    FILE *f = fopen((dir + "/saved.wav").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> head(44);
    ASSERT_EQ(fread(head.data(), 1, 44, f), 44u);
    fclose(f);
    WavFormat wav;
    wav.rate = 32000;
    wav.samples = bytes_of(samples);
    std::vector<uint8_t> expect = wav_bytes(wav);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), expect.begin()));
    Soundsystem_DeleteSound(&original);
}

TEST_F(Wav, EveryRejectionSaysWhy) {
    WavFormat neither;
    neither.riff = "RIFX";
    neither.wave = "WAVX";
    expect_rejected(neither, "sound.wav_not_riff");

    WavFormat nofmt;
    nofmt.fmt = "LIST";
    expect_rejected(nofmt, "sound.wav_no_fmt");

    WavFormat floats;
    floats.format = 3;
    floats.bits = 32;
    expect_rejected(floats, "sound.wav_not_pcm");
    EXPECT_EQ(sound.bits, 32);  // the three fields stay filled
    EXPECT_EQ(sound.numchannels, 2);
    EXPECT_EQ(sound.samplerate, 44100u);

    WavFormat wide;
    wide.bits = 24;
    expect_rejected(wide, "sound.wav_bad_width");

    WavFormat surround;
    surround.channels = 6;
    expect_rejected(surround, "sound.wav_bad_channels");

    WavFormat still;
    still.rate = 0;
    expect_rejected(still, "sound.wav_zero_rate");

    // An extra chunk between "fmt " and "data" is not walked.
    WavFormat extra;
    extra.data = "fact";
    expect_rejected(extra, "sound.wav_no_data");

    write("short.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    std::vector<std::string> logged;
    EXPECT_EQ(load("short.wav", &logged), 0);
    EXPECT_THAT(logged, Contains("sound.wav_short_header"));

    write("tiny.wav", {'R', 'I'});
    EXPECT_EQ(load("tiny.wav", &logged), 0);
    EXPECT_THAT(logged, Contains("sound.wav_not_riff"));

    EXPECT_EQ(load("missing.wav", &logged), 0);
    EXPECT_THAT(logged, Contains("sound.wav_missing"));
}

TEST_F(Wav, OneOfTheTwoTagsIsEnough) {
    WavFormat riffonly;
    riffonly.wave = "AVI ";
    riffonly.samples = bytes_of({5, 6});
    write("riff.wav", wav_bytes(riffonly));
    std::vector<std::string> logged;
    EXPECT_EQ(load("riff.wav", &logged), 1);
    EXPECT_EQ(sound.length, 2u);
}

TEST_F(Wav, DataFieldLargerThanTheFileLoadsWhatIsThere) {
    WavFormat wav;
    wav.samples = bytes_of({1, 2, 3, 4, 5});  // ten bytes: two whole frames and a half
    wav.declared = 1000000;
    write("cut.wav", wav_bytes(wav));
    std::vector<std::string> logged;
    ASSERT_EQ(load("cut.wav", &logged), 1);
    EXPECT_THAT(logged, Contains("sound.wav_cut_short"));
    EXPECT_EQ(sound.size, 8u);
    EXPECT_EQ(sound.length, 4u);
    Soundsystem_PlaySound(&sound, 0);
    mix_block();
    EXPECT_EQ(sound.active, 0);  // played to its end without reading further
}

TEST_F(Wav, OnlyAWavExtensionLoads) {
    WavFormat wav;
    wav.samples = bytes_of({1, 2});
    write("sound.raw", wav_bytes(wav));
    write("wav", wav_bytes(wav));
    std::vector<std::string> logged;
    EXPECT_EQ(load("sound.raw", &logged), 0);
    EXPECT_EQ(sound.length, 0u);
    EXPECT_EQ(load(".wav", &logged), 0);  // a leading dot is no extension
    EXPECT_EQ(load("wav", &logged), 0);
    EXPECT_EQ(logged, std::vector<std::string>{"sound.loading"});
}

}  // namespace

// The SDL output driver: what comes out of the device (SDL's disk driver writes it to a file),
// the push interface, and keeping time without a device.
#include "core/corefile.h"
#include "log_capture.h"
#include "sound_test_util.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;
constexpr size_t BLOCK_VALUES = 2 * AUDIODRIVER_BLOCKFRAMES;  // 16-bit stereo

std::string out_path(const char *name) { return std::string(FENTRO_BINARY_DIR) + "/" + name; }

// Routes the output into a file, a block every 10 ms (faster than real time).
void use_disk_driver(const std::string &file) {
    std::remove(file.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "10", 1);
}

std::vector<int16_t> read_values(const std::string &file) {
    std::vector<int16_t> v;
    FILE *f = fopen(file.c_str(), "rb");
    if (!f) return v;
    int16_t buffer[4096];
    size_t n;
    while ((n = fread(buffer, 2, 4096, f)) > 0) v.insert(v.end(), buffer, buffer + n);
    fclose(f);
    return v;
}

template <typename Condition>
bool wait_for(Condition done, std::chrono::milliseconds limit) {
    auto until = clock_type::now() + limit;
    while (!done()) {
        if (clock_type::now() > until) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(AudioDriver, GeneratedWavComesOutOfTheDeviceAsTheMixerMadeIt) {
    const std::string dir = out_path("coresound_driver_test");
    mkdir(dir.c_str(), 0755);
    ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
    const std::string output = out_path("coresound_disk_output.raw");
    use_disk_driver(output);

    // Half a second of 44.1 kHz stereo with different left and right values in every frame.
    const int frames = 22050;
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; i++)
        samples.insert(samples.end(), {int16_t(100 + i % 2000), int16_t(-50 - i % 1500)});
    s_sound generated;
    make_sound(&generated, 2, 44100, samples);
    ASSERT_EQ(Soundsystem_SaveWAV("tone.wav", &generated), 1);
    Soundsystem_DeleteSound(&generated);

    Soundsystem_Init(44100, 8, 2);
    ASSERT_EQ(audiodriver_hasdevice(), 1);
    s_sound music{};
    ASSERT_EQ(Soundsystem_LoadSound("tone.wav", &music), 1);
    Soundsystem_PlayMusic(&music, 0);
    ASSERT_TRUE(wait_for([&] { return !Soundsystem_IsActive(music); }, 20s));
    // The four queued blocks still have to reach the file.
    auto size_now = [&] { return read_values(output).size(); };
    size_t ended = size_now();
    ASSERT_TRUE(wait_for([&] { return size_now() >= ended + 6 * BLOCK_VALUES; }, 20s));
    Soundsystem_CloseAudio();

    std::vector<int16_t> out = read_values(output);
    size_t first = 0;
    while (first < out.size() && out[first] == 0) first++;
    ASSERT_LT(first, out.size());
    // The music starts at a block boundary, behind at least the four blocks queued before it.
    EXPECT_EQ(first % BLOCK_VALUES, 0u);
    EXPECT_GE(first, 4 * BLOCK_VALUES);
    ASSERT_GE(out.size(), first + 2 * frames + BLOCK_VALUES);
    for (int f = 0; f < frames; f++) {
        ASSERT_EQ(out[first + 2 * f], (samples[2 * f] * 127) >> 8) << f;
        ASSERT_EQ(out[first + 2 * f + 1], (samples[2 * f + 1] * 127) >> 8) << f;
    }
    for (size_t i = first + 2 * frames; i < out.size(); i++) ASSERT_EQ(out[i], 0) << i;

    Soundsystem_DeleteSound(&music);
    corefile_closeimage();
}

TEST(AudioDriver, PushedBlocksAreQueuedInOrderAndTheMixerStops) {
    const std::string output = out_path("coresound_push_output.raw");
    use_disk_driver(output);
    Soundsystem_Init(44100, 8, 2);
    ASSERT_EQ(audiodriver_hasdevice(), 1);
    s_sound sound;
    make_sound(&sound, 2, 44100, std::vector<int16_t>(2 * 44100 * 10, 1));
    Soundsystem_PlaySound(&sound, 0);

    for (int16_t value : {1000, 2000, 3000}) {
        void *block = nullptr;
        uint32_t bytes = 0;
        ASSERT_TRUE(wait_for([&] { return audiodriver_getbuffer(&block, &bytes) == 1; }, 10s));
        ASSERT_EQ(bytes, BLOCK_VALUES * 2);
        std::vector<int16_t> fill(BLOCK_VALUES, value);
        std::memcpy(block, fill.data(), bytes);
        audiodriver_submitbuffer();
    }
    // Nothing mixes any more: the sound stands still.
    uint64_t position = Soundsystem_GetSoundOffset(sound);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(Soundsystem_GetSoundOffset(sound), position);
    Soundsystem_CloseAudio();

    // Whole blocks in the order submitted; a late push leaves silence between them, and at the
    // end the queue runs dry.
    std::vector<int16_t> out = read_values(output);
    size_t first = 0;
    while (first < out.size() && out[first] == 0) first++;
    EXPECT_EQ(first % BLOCK_VALUES, 0u);
    std::vector<int16_t> heard;
    for (size_t i = first; i < out.size(); i++)
        if (out[i] != 0) heard.push_back(out[i]);
    ASSERT_EQ(heard.size(), 3 * BLOCK_VALUES);
    for (size_t i = 0; i < heard.size(); i++)
        ASSERT_EQ(heard[i], 1000 * (1 + int(i / BLOCK_VALUES))) << i;
    Soundsystem_DeleteSound(&sound);
}

TEST(AudioDriver, WithoutADeviceTimeStillPassesAndMusicEnds) {
    setenv("SDL_AUDIODRIVER", "no_such_audio_driver", 1);
    {
        LogCapture log;
        EXPECT_EQ(Soundsystem_Init(44100, 8, 2), 1);
        EXPECT_TRUE(log.Has("sound.no_device")) << log.Text();
        EXPECT_TRUE(log.Has("sound.driver_ready")) << log.Text();
    }
    EXPECT_EQ(audiodriver_hasdevice(), 0);

    s_sound music;
    make_sound(&music, 1, 44100, std::vector<int16_t>(13230, 500));  // 0.3 s
    auto start = clock_type::now();
    Soundsystem_PlayMusic(&music, 0);
    ASSERT_TRUE(wait_for([&] { return Soundsystem_GetSoundOffset(music) > 0; }, 5s));
    ASSERT_TRUE(wait_for([&] { return !Soundsystem_IsActive(music); }, 10s));
    // Kept at the device's pace: six or seven blocks of 46 ms each.
    EXPECT_GE(clock_type::now() - start, 200ms);
    Soundsystem_CloseAudio();
    Soundsystem_DeleteSound(&music);
}

TEST(AudioDriver, OpeningRules) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_EQ(audiodriver_init(44100, 12, 2048, AUDIODRIVER_STEREO), 0);
    EXPECT_EQ(audiodriver_hasdevice(), 0);
    EXPECT_EQ(audiodriver_init(0, 16, 2048, AUDIODRIVER_STEREO), 1);
    EXPECT_EQ(audiodriver_hasdevice(), 0);
    void *block = nullptr;
    EXPECT_EQ(audiodriver_getbuffer(&block, nullptr), 0);

    EXPECT_EQ(Quietly([] { return audiodriver_init(44100, 16, 512, 0); }), 1);
    EXPECT_EQ(soundsystem.channels, 1);
    EXPECT_EQ(soundsystem.bits, 16);
    EXPECT_EQ(soundsystem.bufferlength, 2048u);  // whatever was asked for
    EXPECT_EQ(audiodriver_hasdevice(), 1);
    audiodriver_close();
    EXPECT_EQ(audiodriver_hasdevice(), 0);
}

}  // namespace

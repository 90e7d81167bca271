// The main thread seeks, pauses, resumes, starts, stops and reads positions (mixed and heard)
// while another thread mixes blocks: run under ThreadSanitizer, any unguarded sharing is reported.
#include "sound_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Sounds {
    s_sound music, effect, stream;
    Sounds() {
        std::vector<int16_t> data(2 * 44100);
        for (size_t i = 0; i < data.size(); i++) data[i] = int16_t(i * 7);
        make_sound(&music, 2, 44100, data);
        make_sound(&effect, 1, 22050, std::vector<uint8_t>(3000, 200));
        Soundsystem_CreateSoundStream(
            &stream,
            [](void *buffer, uint32_t size) {
                std::memset(buffer, 1, size);
                return 0;
            },
            44100, 16, 2, 500);
    }
    ~Sounds() {
        Soundsystem_DeleteSound(&music);
        Soundsystem_DeleteSound(&effect);
        Soundsystem_DeleteSound(&stream);
    }
};

// One round of everything the main thread does to playing sounds.
void control(Sounds &s, unsigned round) {
    const uint64_t frames = s.music.length / 2;
    switch (round % 8) {
        case 0:
            Soundsystem_SetSoundOffset(&s.music, (round * 977) % (frames + 100));
            break;
        case 1:
            Soundsystem_PauseSound(&s.music);
            break;
        case 2:
            Soundsystem_ResumeSound(&s.music);
            break;
        case 3:
            Soundsystem_PlaySound(&s.effect, 0);
            break;
        case 4:
            Soundsystem_StopSound(&s.effect);
            break;
        case 5:
            Soundsystem_SetPanning(&s.music, int(round % 256));
            break;
        case 6:
            Soundsystem_SetMusicVolume(int(round % 256));
            break;
        case 7:
            Soundsystem_DetectFrequency(440.0f);
            break;
    }
    EXPECT_LT(Soundsystem_GetSoundOffset(s.music), frames);
    EXPECT_LT(Soundsystem_GetHeardOffset(s.music), frames);
    Soundsystem_IsHeard(s.effect);
    if (!Soundsystem_IsActive(s.music) && round % 8 != 1) Soundsystem_PlayMusic(&s.music, 1);
}

TEST(SoundThreads, MixingThreadAgainstMainThreadControl) {
    init_manual_mixing(2);
    {
        Sounds s;
        Soundsystem_PlayMusic(&s.music, 1);
        Soundsystem_PlaySound(&s.stream, 0);
        std::atomic<bool> stop{false};
        // A pause between blocks, as a device's thread has: mixing back to back, the mixer
        // takes the sound lock again the moment it lets it go, and under ThreadSanitizer the
        // main thread then waited minutes for its 20000 rounds.
        std::thread mixer([&] {
            std::vector<int16_t> block(2 * 2048);
            while (!stop) {
                audiodriver_mixbuffers(block.data(), uint32_t(block.size() * 2), 0);
                std::this_thread::sleep_for(50us);
            }
        });
        for (unsigned round = 0; round < 20000; round++) control(s, round);
        stop = true;
        mixer.join();
        Soundsystem_StopSound(&s.music);
        Soundsystem_StopSound(&s.stream);
    }
    Soundsystem_CloseAudio();
}

// Through the driver: SDL's audio thread with a (dummy) device, then the timing thread that
// stands in for a missing device.
void run_with_driver(const char *driver) {
    setenv("SDL_AUDIODRIVER", driver, 1);
    Soundsystem_Init(44100, 8, 2);
    {
        Sounds s;
        Soundsystem_PlayMusic(&s.music, 1);
        auto until = std::chrono::steady_clock::now() + 400ms;
        for (unsigned round = 0; std::chrono::steady_clock::now() < until; round++) {
            control(s, round);
            std::this_thread::sleep_for(100us);
        }
        // Stopped before the records go away; the driver keeps mixing an empty list.
        Soundsystem_StopSound(&s.music);
        Soundsystem_StopSound(&s.effect);
    }
    Soundsystem_CloseAudio();
}

TEST(SoundThreads, AudioThreadOfTheDevice) { run_with_driver("dummy"); }
TEST(SoundThreads, TimingThreadWithoutADevice) { run_with_driver("no_such_audio_driver"); }

}  // namespace

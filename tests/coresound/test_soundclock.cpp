// The heard position: the clock record fed with report times, the sound system behind a stand-in
// device whose callbacks happen at chosen times, and the real driver with SDL's dummy device and
// with the timing thread.
#include "coresound/soundclock.h"
#include "sound_test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <set>
#include <thread>

namespace {

constexpr double RATE = 44100;
constexpr int64_t BLOCK = AUDIODRIVER_BLOCKFRAMES;
constexpr double PERIOD = BLOCK / RATE;
constexpr double FRAMETIME = 1.0 / 60;

// Reads the clock at 60 Hz from `from` to `to` and checks that it never goes back and that each
// step matches the time that passed within `tolerance` seconds.
void ExpectSmooth(s_soundclock &clock, double from, double to, double tolerance,
                  const std::function<void(double)> &before_read = nullptr) {
    int64_t previous = soundclock_read(&clock, from, INT64_MAX);
    for (double t = from + FRAMETIME; t < to; t += FRAMETIME) {
        if (before_read) before_read(t);
        const int64_t frame = soundclock_read(&clock, t, INT64_MAX);
        ASSERT_GE(frame, previous) << t;
        ASSERT_NEAR((frame - previous) / RATE, FRAMETIME, tolerance) << t;
        previous = frame;
    }
}

TEST(SoundClock, FollowsItsReportsSmoothlyAndNeverGoesBack) {
    s_soundclock clock;
    soundclock_reset(&clock, uint32_t(RATE));
    EXPECT_EQ(soundclock_read(&clock, 5.0, INT64_MAX), SOUNDCLOCK_NOTHING_HEARD);

    // Exact reports: the clock is the reported line, between reports too.
    for (int k = 0; k < 4; k++) soundclock_report(&clock, 10 + k * PERIOD, k * BLOCK);
    // The limit holds it back; then it goes on, and a read for an earlier moment does not go
    // back.
    EXPECT_EQ(soundclock_read(&clock, 10 + 3.2 * PERIOD, 3 * BLOCK + 100), 3 * BLOCK + 100);
    const int64_t half = soundclock_read(&clock, 10 + 3.5 * PERIOD, INT64_MAX);
    EXPECT_NEAR(double(half), 3.5 * BLOCK, 1.0);
    EXPECT_EQ(soundclock_read(&clock, 10 + 3.3 * PERIOD, INT64_MAX), half);

    // Callbacks up to 4 ms late, from a device 0.5 % slow: frames stay smooth, and the clock
    // stays within a few milliseconds of what the device reports.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> lateness(0, 0.004);
    double next = 20;
    int64_t reported = 0;
    soundclock_reset(&clock, uint32_t(RATE));
    soundclock_report(&clock, next, 0);
    ExpectSmooth(clock, next, next + 20, 0.001, [&](double t) {
        while (next + PERIOD * 1.005 + 0.004 < t) {
            next += PERIOD * 1.005;
            reported += BLOCK;
            soundclock_report(&clock, next + lateness(rng), reported);
            ASSERT_NEAR(clock.baseframe, double(reported), 0.008 * RATE);
        }
    });
}

TEST(SoundClock, AStalledDeviceIsWaitedForAndTakenUpAgain) {
    s_soundclock clock;
    soundclock_reset(&clock, uint32_t(RATE));
    for (int k = 0; k < 10; k++) soundclock_report(&clock, k * PERIOD, k * BLOCK);
    // The device stops for half a second (the clock runs on meanwhile) and resumes where it was.
    const int64_t ran = soundclock_read(&clock, 10 * PERIOD + 0.5, INT64_MAX);
    EXPECT_NEAR(double(ran), 10 * BLOCK + 0.5 * RATE, 1.0);
    soundclock_report(&clock, 10 * PERIOD + 0.5, 10 * BLOCK);
    // It stands until the sound catches up, then moves at the device's pace again.
    EXPECT_EQ(soundclock_read(&clock, 10 * PERIOD + 0.6, INT64_MAX), ran);
    ExpectSmooth(clock, 10 * PERIOD + 1.2, 10 * PERIOD + 2, 0.0002);
}

// The driver's queue with a device that takes a block at the times the test chooses: four
// silent blocks queued at the start, and each callback takes the oldest, reports what starts
// to be heard, and has the mixer refill it.
class StandInDevice : public ::testing::Test {
protected:
    int64_t taken = 0;
    double time = 100;
    std::vector<int16_t> block = std::vector<int16_t>(2 * BLOCK);
    s_sound music;

    void SetUp() override {
        init_manual_mixing(2);
        std::vector<int16_t> samples(2 * 44100 * 4);  // four seconds
        make_sound(&music, 2, 44100, samples);
    }
    void TearDown() override {
        Soundsystem_DeleteSound(&music);
        Soundsystem_CloseAudio();
    }

    void Callback() {
        taken += BLOCK;
        audiodriver_heard(taken - BLOCK - AUDIODRIVER_NUMBLOCKS * BLOCK, time);
        audiodriver_mixbuffers(block.data(), uint32_t(block.size() * 2), 0);
    }
    // Runs the device for `seconds`, reading the heard position at 60 Hz; returns the readings.
    std::vector<uint64_t> Run(double seconds) {
        std::vector<uint64_t> heard;
        double nextcallback = time;
        const double end = time + seconds;
        for (double t = time; t < end; t += FRAMETIME) {
            while (nextcallback <= t) {
                time = nextcallback;
                Callback();
                nextcallback += PERIOD;
            }
            heard.push_back(Soundsystem_GetHeardOffsetAt(music, t));
        }
        time = nextcallback;
        return heard;
    }
    uint64_t Heard() { return Heard(music); }
    uint64_t Heard(const s_sound &sound) { return Soundsystem_GetHeardOffsetAt(sound, time); }
    int IsHeard() { return Soundsystem_IsHeardAt(music, time); }
};

TEST_F(StandInDevice, HeardPositionIsTheMixedOneLessTheQueueAndMovesEveryFrame) {
    Soundsystem_PlayMusic(&music, 0);
    const std::vector<uint64_t> heard = Run(1.0);
    // At a callback the mixer has mixed one block more than the device took: the heard frame
    // is behind the mixer's offset by the four queued blocks and the device's own.
    Callback();
    EXPECT_NEAR(double(Soundsystem_GetSoundOffset(music) - Heard()), 5.0 * BLOCK, 1.0);
    // Before any of the music is heard it stands at 0 (its first block goes behind the four
    // queued at the start); from then on every 60 Hz frame moves on by a frame's worth of sound.
    size_t moving = 0;
    while (heard[moving] == 0) moving++;
    EXPECT_NEAR(moving * FRAMETIME, 4 * PERIOD, FRAMETIME);
    for (size_t i = moving + 1; i < heard.size(); i++)
        ASSERT_NEAR(double(heard[i] - heard[i - 1]), RATE * FRAMETIME, 1.0) << i;
}

TEST_F(StandInDevice, SeekPauseAndResumeAreExactAndNeverGoBack) {
    Soundsystem_PlayMusic(&music, 0);
    Run(0.5);

    // A seek shows at once and stands until the audio mixed from there is heard, four device
    // blocks later.
    Soundsystem_SetSoundOffset(&music, 100000);
    EXPECT_EQ(Heard(), 100000u);
    std::vector<uint64_t> heard = Run(1.0);
    EXPECT_EQ(heard.front(), 100000u);
    for (size_t i = 1; i < heard.size(); i++) ASSERT_GE(heard[i], heard[i - 1]) << i;
    const double last_read = (heard.size() - 1) * FRAMETIME;
    EXPECT_NEAR(double(heard.back()), 100000 + RATE * (last_read - 4 * PERIOD), 2.0);

    // A pause lets the queued audio play out, then stands at the frame where mixing stopped.
    Soundsystem_PauseSound(&music);
    const uint64_t paused = Soundsystem_GetSoundOffset(music);
    EXPECT_LT(Heard(), paused);
    heard = Run(0.5);
    EXPECT_EQ(heard.back(), paused);
    for (size_t i = 1; i < heard.size(); i++) ASSERT_GE(heard[i], heard[i - 1]) << i;

    // Resuming goes on from that very frame, once the new audio is heard.
    Soundsystem_ResumeSound(&music);
    heard = Run(1.0);
    EXPECT_EQ(heard.front(), paused);
    for (size_t i = 1; i < heard.size(); i++) ASSERT_GE(heard[i], heard[i - 1]) << i;
    EXPECT_GT(heard.back(), paused + uint64_t(RATE / 2));

    // A seek while paused is exact at once, backwards as well.
    Soundsystem_PauseSound(&music);
    Run(0.5);
    Soundsystem_SetSoundOffset(&music, 500);
    EXPECT_EQ(Heard(), 500u);
    EXPECT_EQ(Run(0.5).back(), 500u);
}

TEST_F(StandInDevice, EndOfTheMusicIsHeardAfterTheMixerStopsIt) {
    Soundsystem_PlayMusic(&music, 0);
    Soundsystem_SetSoundOffset(&music, music.length / 2 - 22050);  // half a second left
    Run(0.5);
    while (Soundsystem_IsActive(music)) Run(FRAMETIME);
    // Stopped by the mixer, but the end is still on its way: the position goes on to the last
    // frame and stands there.
    const uint64_t last = music.length / 2 - 1;
    EXPECT_LT(Heard(), last);
    EXPECT_EQ(IsHeard(), 1);
    const std::vector<uint64_t> heard = Run(0.5);
    EXPECT_EQ(heard.back(), last);
    for (size_t i = 1; i < heard.size(); i++) ASSERT_GE(heard[i], heard[i - 1]) << i;
    EXPECT_EQ(IsHeard(), 0);

    // Stopping on purpose and starting again show the start at once.
    Soundsystem_PlayMusic(&music, 0);
    EXPECT_EQ(Heard(), 0u);
    EXPECT_EQ(IsHeard(), 1);
    Soundsystem_StopSound(&music);
    EXPECT_EQ(Heard(), 0u);
    EXPECT_EQ(IsHeard(), 0);
}

TEST_F(StandInDevice, LoopingSoundWrapsAndARecordNeverPlayedShowsItsOffset) {
    s_sound loop;
    make_sound(&loop, 1, 44100, std::vector<int16_t>(3000, 100));
    EXPECT_EQ(Soundsystem_GetHeardOffsetAt(loop, time), 0u);
    Soundsystem_PlaySound(&loop, 1);
    const double start = time;
    Run(0.8);
    const int64_t expected = std::llround((time - start - 4 * PERIOD) * RATE) % 3000;
    const int64_t difference = (int64_t(Heard(loop)) - expected + 3000) % 3000;
    EXPECT_TRUE(difference <= 2 || difference >= 2998) << Heard(loop) << " " << expected;
    Soundsystem_DeleteSound(&loop);
}

// The driver itself, in real time: the heard position trails the mixer's by about the queue,
// takes a new value at almost every reading and the music's end is heard.
void RunDriver(const char *driver) {
    setenv("SDL_AUDIODRIVER", driver, 1);
    Soundsystem_Init(44100, 8, 2);
    s_sound music;
    make_sound(&music, 2, 44100, std::vector<int16_t>(2 * 44100, 1));  // one second
    Soundsystem_PlayMusic(&music, 0);
    std::set<uint64_t> distinct;
    int readings = 0;
    uint64_t previous = 0;
    const auto start = std::chrono::steady_clock::now();
    while (Soundsystem_IsHeard(music)) {
        const uint64_t heard = Soundsystem_GetHeardOffset(music);
        const uint64_t mixed = Soundsystem_GetSoundOffset(music);
        ASSERT_GE(heard, previous);
        if (Soundsystem_IsActive(music) && heard > 0) {
            readings++;
            distinct.insert(heard);
            EXPECT_LE(heard, mixed);
        }
        previous = heard;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    }
    EXPECT_EQ(Soundsystem_GetHeardOffset(music), 44100u - 1);
    // Old behaviour: a new value once a block (46 ms), here one every 2 ms reading.
    EXPECT_GT(distinct.size(), size_t(readings) / 2);
    Soundsystem_CloseAudio();
    Soundsystem_DeleteSound(&music);
}

TEST(SoundClockDriver, DeviceCallbacks) { RunDriver("dummy"); }
TEST(SoundClockDriver, TimingThreadWithoutADevice) { RunDriver("no_such_audio_driver"); }

}  // namespace

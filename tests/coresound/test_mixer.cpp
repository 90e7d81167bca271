// Mixer arithmetic, positions, the list of playing sounds and the frequency detector, with
// blocks mixed by hand (no device).
#include "log_capture.h"
#include "sound_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class Mixer : public ::testing::Test {
protected:
    void SetUp() override { init_manual_mixing(2); }
    void TearDown() override {
        for (s_sound &s : sounds) Soundsystem_DeleteSound(&s);
        Soundsystem_CloseAudio();
    }
    // Records stay in place while listed: a fixed array, not a growing vector.
    s_sound sounds[20]{};
};

class MonoMixer : public Mixer {
protected:
    void SetUp() override { init_manual_mixing(1); }
};

int16_t at127(int32_t s) { return int16_t((s * 127) >> 8); }

TEST_F(Mixer, CdQualityMusicStepsTwoValuesPerFrameAndAdvancesABlockPerMix) {
    make_sound(&sounds[0], 2, 44100, std::vector<int16_t>(2 * 100000, 5));
    EXPECT_EQ(sounds[0].stepsize, 512u);
    Soundsystem_PlayMusic(&sounds[0], 0);
    for (int i = 0; i < 22; i++) mix_block();
    EXPECT_EQ(Soundsystem_GetSoundOffset(sounds[0]), 45056u);
    EXPECT_EQ(sounds[0].offset, 45056u * 512);
}

TEST_F(Mixer, StepSizesResample) {
    make_sound(&sounds[0], 1, 22050, std::vector<int16_t>{0, 1000, 2000, 3000});
    make_sound(&sounds[1], 2, 22050, std::vector<int16_t>(4));
    make_sound(&sounds[2], 1, 8000, std::vector<int16_t>(8000, 1));
    EXPECT_EQ(sounds[0].stepsize, 128u);
    EXPECT_EQ(sounds[1].stepsize, 256u);
    EXPECT_EQ(sounds[2].stepsize, 46u);  // 8000 * 256 / 44100, truncated

    Soundsystem_PlaySound(&sounds[0], 1);
    std::vector<int16_t> out = mix_block(8);
    // Half speed: every source value is heard for two output frames, no interpolation.
    const int16_t expect[] = {0,           0,           at127(1000), at127(1000),
                              at127(2000), at127(2000), at127(3000), at127(3000)};
    for (int f = 0; f < 8; f++) {
        EXPECT_EQ(out[2 * f], expect[f]) << f;
        EXPECT_EQ(out[2 * f + 1], expect[f]) << f;
    }
    Soundsystem_StopSound(&sounds[0]);
    Soundsystem_PlaySound(&sounds[2], 0);
    mix_block();
    EXPECT_EQ(Soundsystem_GetSoundOffset(sounds[2]), 2048u * 46 / 256);
}

TEST_F(Mixer, FullVolumeCentrePanningGives127Of256) {
    const std::vector<int16_t> values = {10000, -10000, 32767, -32768, 1, -1, 0, 255};
    std::vector<int16_t> data;
    for (int i = 0; i < 300; i++) data.insert(data.end(), values.begin(), values.end());
    make_sound(&sounds[0], 1, 44100, data);
    Soundsystem_PlaySound(&sounds[0], 0);
    std::vector<int16_t> out = mix_block();
    for (size_t f = 0; f < 2048; f++) {
        ASSERT_EQ(out[2 * f], at127(data[f])) << f;
        ASSERT_EQ(out[2 * f + 1], at127(data[f])) << f;
    }
    EXPECT_EQ(at127(-1), -1);  // arithmetic shift rounds down
}

TEST_F(Mixer, GainsComeFromVolumePanningAndGroupVolumes) {
    make_sound(&sounds[0], 1, 44100, std::vector<int16_t>(4096, 20000));
    Soundsystem_SetVolume(&sounds[0], 200);
    Soundsystem_SetPanning(&sounds[0], 64);
    EXPECT_EQ(sounds[0].leftvolume, 149);  // (255 - 64) * 200 >> 8
    EXPECT_EQ(sounds[0].rightvolume, 50);
    Soundsystem_SetMasterVolume(200);
    Soundsystem_SetEffectVolume(100);
    Soundsystem_SetMusicVolume(50);
    Soundsystem_SetMusicVolume(-20);  // clamped to 0..255
    EXPECT_EQ(soundsystem.musicvolume, 0);
    Soundsystem_SetMusicVolume(50);

    // Effect: group 100 * 200; gains 149 * 20000 >> 16 = 45 and 50 * 20000 >> 16 = 15.
    Soundsystem_PlaySound(&sounds[0], 0);
    std::vector<int16_t> out = mix_block();
    EXPECT_EQ(out[0], (20000 * 45) >> 8);
    EXPECT_EQ(out[1], (20000 * 15) >> 8);

    // Music: group 50 * 200; gains 22 and 7.
    Soundsystem_PlayMusic(&sounds[0], 0);
    out = mix_block();
    EXPECT_EQ(out[0], (20000 * 22) >> 8);
    EXPECT_EQ(out[1], (20000 * 7) >> 8);

    Soundsystem_SetPanning(&sounds[0], 300);
    EXPECT_EQ(sounds[0].panning, 255);
    EXPECT_EQ(sounds[0].leftvolume, 0);
    EXPECT_EQ(sounds[0].rightvolume, (255 * 200) >> 8);
}

TEST_F(Mixer, MusicVolumeZeroSilencesOnlyMusicAndMasterZeroEverything) {
    make_sound(&sounds[0], 1, 44100, std::vector<int16_t>(8192, 1000));
    make_sound(&sounds[1], 1, 44100, std::vector<int16_t>(8192, 2000));
    Soundsystem_PlayMusic(&sounds[0], 0);
    Soundsystem_PlaySound(&sounds[1], 0);
    Soundsystem_SetMusicVolume(0);
    std::vector<int16_t> out = mix_block();
    EXPECT_EQ(out[0], at127(2000));
    Soundsystem_SetMusicVolume(255);
    Soundsystem_SetMasterVolume(0);
    out = mix_block();
    for (int16_t v : out) ASSERT_EQ(v, 0);
    // Silenced sounds still advance.
    EXPECT_EQ(Soundsystem_GetSoundOffset(sounds[0]), 4096u);
}

TEST_F(Mixer, SumClampsToPlusMinus32767) {
    // Left channel at full scale, right at the most negative value, three times over.
    std::vector<int16_t> data;
    for (int i = 0; i < 4096; i++) data.insert(data.end(), {32767, -32768});
    for (int i = 0; i < 3; i++) {
        make_sound(&sounds[i], 2, 44100, data);
        Soundsystem_PlaySound(&sounds[i], 0);
    }
    std::vector<int16_t> out = mix_block();
    for (size_t f = 0; f < 2048; f++) {
        ASSERT_EQ(out[2 * f], 32767);
        ASSERT_EQ(out[2 * f + 1], -32767);
    }
    // Two of them stay below the clamp: (2 * 32767 * 127) >> 8.
    Soundsystem_StopSound(&sounds[2]);
    Soundsystem_SetSoundOffset(&sounds[0], 0);
    Soundsystem_SetSoundOffset(&sounds[1], 0);
    out = mix_block();
    EXPECT_EQ(out[0], (2 * 32767 * 127) >> 8);
}

TEST_F(Mixer, SoundEndingMidBlockIsStoppedAndTheNextSoundStillMixed) {
    make_sound(&sounds[0], 1, 44100, std::vector<int16_t>(1000, 1000));
    make_sound(&sounds[1], 1, 44100, std::vector<int16_t>(5000, 2000));
    Soundsystem_PlaySound(&sounds[0], 0);
    Soundsystem_PlaySound(&sounds[1], 0);
    std::vector<int16_t> out = mix_block();
    EXPECT_EQ(out[2 * 999], ((1000 + 2000) * 127) >> 8);
    EXPECT_EQ(out[2 * 1000], at127(2000));
    EXPECT_EQ(out[2 * 2047 + 1], at127(2000));
    EXPECT_EQ(sounds[0].active, 0);
    EXPECT_EQ(sounds[0].offset, 0u);
    EXPECT_EQ(soundsystem.numactive, 1);
    EXPECT_EQ(active_sounds[0], &sounds[1]);
    EXPECT_EQ(Soundsystem_GetSoundOffset(sounds[1]), 2048u);
    EXPECT_FALSE(Soundsystem_IsActive(sounds[0]));
}

TEST_F(Mixer, LoopingSoundWrapsKeepingTheFractionalRemainder) {
    std::vector<int16_t> ramp(1001);
    for (size_t i = 0; i < ramp.size(); i++) ramp[i] = int16_t(i * 10);
    make_sound(&sounds[0], 1, 44100, ramp);
    sounds[0].stepsize = 300;
    Soundsystem_PlaySound(&sounds[0], 1);
    std::vector<int16_t> out = mix_block();
    // 2048 * 300 minus two wraps of 1001 * 256.
    EXPECT_EQ(sounds[0].offset, 2048u * 300 - 2 * 256256);
    EXPECT_EQ(sounds[0].active, 1);
    // Frame 854 reads value 1000 (offset 256200); frame 855 wraps to offset 244, value 0;
    // frame 856 is at 544, value 2.
    EXPECT_EQ(out[2 * 854], at127(10000));
    EXPECT_EQ(out[2 * 855], 0);
    EXPECT_EQ(out[2 * 856], at127(20));
}

TEST_F(Mixer, PauseKeepsThePositionAndResumeContinues) {
    make_sound(&sounds[0], 2, 44100, std::vector<int16_t>(2 * 44100, 3000));
    Soundsystem_PlayMusic(&sounds[0], 0);
    for (int i = 0; i < 3; i++) mix_block();
    Soundsystem_PauseSound(&sounds[0]);
    for (int i = 0; i < 2; i++) {
        std::vector<int16_t> out = mix_block();
        ASSERT_EQ(out[0], 0);
    }
    EXPECT_EQ(Soundsystem_GetSoundOffset(sounds[0]), 6144u);
    EXPECT_EQ(soundsystem.numactive, 1);
    Soundsystem_ResumeSound(&sounds[0]);
    EXPECT_EQ(mix_block()[0], at127(3000));
    EXPECT_EQ(Soundsystem_GetSoundOffset(sounds[0]), 8192u);
}

TEST_F(Mixer, StereoSourcePlaysBothChannels) {
    std::vector<int16_t> data;
    for (int f = 0; f < 4096; f++) data.insert(data.end(), {int16_t(f), int16_t(-2 * f)});
    make_sound(&sounds[0], 2, 44100, data);
    Soundsystem_PlaySound(&sounds[0], 0);
    std::vector<int16_t> out = mix_block();
    for (int f = 0; f < 2048; f++) {
        ASSERT_EQ(out[2 * f], at127(f)) << f;
        ASSERT_EQ(out[2 * f + 1], at127(-2 * f)) << f;
    }
    // Resampled (half rate): frame (offset >> 8) / 2 still pairs left with right.
    Soundsystem_StopSound(&sounds[0]);
    Soundsystem_SetFrequency(&sounds[0], 22050);
    Soundsystem_PlaySound(&sounds[0], 0);
    out = mix_block();
    for (int f = 0; f < 2048; f++) {
        ASSERT_EQ(out[2 * f], at127(f / 2)) << f;
        ASSERT_EQ(out[2 * f + 1], at127(-2 * (f / 2))) << f;
    }
}

TEST_F(MonoMixer, MonoOutputHearsTheAverageOfAStereoSource) {
    std::vector<int16_t> data;
    for (int f = 0; f < 2048; f++) data.insert(data.end(), {1000, -2000});
    make_sound(&sounds[0], 2, 44100, data);
    make_sound(&sounds[1], 1, 44100, std::vector<int16_t>(2048, 700));
    Soundsystem_PlaySound(&sounds[0], 0);
    std::vector<int16_t> out = mix_block();
    ASSERT_EQ(out.size(), 2048u);
    // Mono gain 255 * 65025 >> 16 = 253 on (1000 - 2000) / 2.
    EXPECT_EQ(out[0], (-500 * 253) >> 8);
    EXPECT_EQ(out[2047], (-500 * 253) >> 8);
    Soundsystem_StopSound(&sounds[0]);
    Soundsystem_PlaySound(&sounds[1], 0);
    EXPECT_EQ(mix_block()[5], (700 * 253) >> 8);
}

TEST_F(Mixer, EightBitSourcesAreUnsignedAroundTheMiddle) {
    make_sound(&sounds[0], 1, 44100, std::vector<uint8_t>(4096, 200));
    std::vector<uint8_t> stereo;
    for (int f = 0; f < 4096; f++) stereo.insert(stereo.end(), {0, 255});
    make_sound(&sounds[1], 2, 44100, stereo);
    EXPECT_EQ(sounds[1].stepsize, 512u);
    Soundsystem_PlaySound(&sounds[0], 0);
    std::vector<int16_t> out = mix_block();
    EXPECT_EQ(out[0], at127(72 * 256));
    Soundsystem_StopSound(&sounds[0]);
    Soundsystem_PlaySound(&sounds[1], 0);
    out = mix_block();
    EXPECT_EQ(out[0], at127(-128 * 256));
    EXPECT_EQ(out[1], at127(127 * 256));
}

int g_refills;
int refill(void *buffer, uint32_t size) {
    g_refills++;
    int16_t *v = static_cast<int16_t *>(buffer);
    for (uint32_t i = 0; i < size / 2; i++) v[i] = int16_t(g_refills * 1000);
    return 0;
}

TEST_F(Mixer, StreamIsRefilledByItsCallbackAtEveryEnd) {
    g_refills = 0;
    ASSERT_EQ(Soundsystem_CreateSoundStream(&sounds[0], refill, 44100, 16, 1, 1000), 1);
    EXPECT_EQ(sounds[0].length, 1000u);
    EXPECT_EQ(sounds[0].size, 2000u);
    EXPECT_EQ(sounds[0].streamsize, 2000u);
    EXPECT_EQ(sounds[0].loop, 1u);
    Soundsystem_PlaySound(&sounds[0], 0);
    std::vector<int16_t> out = mix_block();
    EXPECT_EQ(g_refills, 2);
    EXPECT_EQ(out[2 * 999], 0);  // created silent
    EXPECT_EQ(out[2 * 1000], at127(1000));
    EXPECT_EQ(out[2 * 2000], at127(2000));
    EXPECT_EQ(Soundsystem_GetSoundOffset(sounds[0]), 48u);
    EXPECT_EQ(sounds[0].active, 1);
}

TEST_F(Mixer, StereoStreamCountsWholeFrames) {
    g_refills = 0;
    ASSERT_EQ(Soundsystem_CreateSoundStream(&sounds[0], refill, 44100, 16, 2, 1000), 1);
    EXPECT_EQ(sounds[0].streamlength, 1000u);
    EXPECT_EQ(sounds[0].length, 2000u);
    EXPECT_EQ(sounds[0].size, 4000u);
    Soundsystem_PlaySound(&sounds[0], 0);
    std::vector<int16_t> out = mix_block();
    EXPECT_EQ(g_refills, 2);  // after 1000 and 2000 frames
    EXPECT_EQ(out[2 * 999 + 1], 0);
    EXPECT_EQ(out[2 * 1000 + 1], at127(1000));
}

TEST_F(Mixer, EmptySoundNeverDividesByZeroAndEndsAtOnce) {
    int before = soundsystem.numsounds;
    {
        LogCapture log;
        EXPECT_EQ(Soundsystem_LoadSound("music.mp3", &sounds[0]), 0);
        EXPECT_EQ(log.Ids(), std::vector<std::string>{"sound.loading"});
    }
    EXPECT_EQ(soundsystem.numsounds, before + 1);
    EXPECT_EQ(sounds[0].numchannels, 0);
    EXPECT_EQ(sounds[0].stepsize, 0u);
    EXPECT_EQ(sounds[0].volume, 255);
    EXPECT_EQ(sounds[0].panning, 128);
    Soundsystem_SetFrequency(&sounds[0], 44100);
    EXPECT_EQ(sounds[0].stepsize, 0u);
    Soundsystem_SetSoundOffset(&sounds[0], 100);
    EXPECT_EQ(sounds[0].offset, 0u);
    EXPECT_EQ(Soundsystem_GetSoundOffset(sounds[0]), 0u);
    Soundsystem_PlayMusic(&sounds[0], 0);
    EXPECT_EQ(mix_block()[0], 0);
    EXPECT_EQ(sounds[0].active, 0);
    EXPECT_EQ(soundsystem.numactive, 0);
}

TEST_F(Mixer, SeekClampsToTheLastFrame) {
    make_sound(&sounds[0], 2, 44100, std::vector<int16_t>(2000));
    Soundsystem_SetSoundOffset(&sounds[0], 10);
    EXPECT_EQ(sounds[0].offset, 10u * 512);
    Soundsystem_SetSoundOffset(&sounds[0], 1000);
    EXPECT_EQ(Soundsystem_GetSoundOffset(sounds[0]), 999u);
    Soundsystem_SetSoundOffset(&sounds[0], UINT64_MAX);
    EXPECT_EQ(Soundsystem_GetSoundOffset(sounds[0]), 999u);
    // A lone value of a stereo sound is no whole frame.
    make_sound(&sounds[1], 2, 44100, std::vector<int16_t>(1));
    Soundsystem_SetSoundOffset(&sounds[1], 5);
    EXPECT_EQ(sounds[1].offset, 0u);
}

TEST_F(Mixer, ListKeepsStartOrderAndHoldsSixteen) {
    for (int i = 0; i < 17; i++) make_sound(&sounds[i], 1, 44100, std::vector<int16_t>(100000));
    Soundsystem_PlaySound(&sounds[0], 0);
    Soundsystem_PlaySound(&sounds[0], 0);
    EXPECT_EQ(soundsystem.numactive, 1);
    for (int i = 1; i < 17; i++) Soundsystem_PlaySound(&sounds[i], 0);
    EXPECT_EQ(soundsystem.numactive, 16);
    EXPECT_EQ(sounds[16].active, 1);  // marked but not listed, so never heard
    Soundsystem_StopSound(&sounds[3]);
    EXPECT_EQ(soundsystem.numactive, 15);
    EXPECT_EQ(active_sounds[3], &sounds[4]);
    EXPECT_EQ(active_sounds[14], &sounds[15]);

    sounds[0].loop = 0;
    Soundsystem_PlaySound(&sounds[0], 1);
    EXPECT_EQ(sounds[0].loop, 1u);
    Soundsystem_PlaySound(&sounds[0], 0);  // zero leaves the flag
    EXPECT_EQ(sounds[0].loop, 1u);
}

TEST_F(Mixer, EightBitOutputStaysInsideItsBlock) {
    make_sound(&sounds[0], 1, 44100, std::vector<int16_t>(4096, 10000));
    Soundsystem_PlaySound(&sounds[0], 0);
    soundsystem.bits = 8;
    std::vector<uint8_t> out(4096 + 64, 0xAB);
    audiodriver_mixbuffers(out.data(), 4096, 0);
    EXPECT_EQ(out[0], ((10000 * 127 >> 8) >> 8) + 128);
    EXPECT_EQ(out[4095], out[0]);
    EXPECT_EQ(out[4096], 0xAB);
    EXPECT_EQ(Soundsystem_GetSoundOffset(sounds[0]), 2048u);
}

TEST_F(MonoMixer, GoertzelDetectorFindsAPureTone) {
    std::vector<int16_t> tone(44100);
    for (size_t i = 0; i < tone.size(); i++)
        tone[i] = int16_t(10000 * std::sin(6.283185307179586 * 1000 * i / 44100));
    make_sound(&sounds[0], 1, 44100, tone);
    Soundsystem_PlaySound(&sounds[0], 0);
    mix_block();
    float on = Soundsystem_DetectFrequency(1000);
    float off = Soundsystem_DetectFrequency(3000);
    // Amplitude 10000 * 253 / 32767 over 2048 values: about (77 * 1024)^2 at the tone.
    EXPECT_GT(on, 1e9f);
    EXPECT_GT(on, 1000 * off);
    EXPECT_EQ(Soundsystem_GetOutputBuffer(), soundsystem.outputbuffer);
}

}  // namespace

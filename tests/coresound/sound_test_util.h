// Helpers for the sound tests: sounds built in memory and a sound system that mixes only when
// the test asks it to.
#pragma once
#include "coresound/audiodriver.h"
#include "coresound/coresound.h"

#include <cstdlib>
#include <cstring>
#include <vector>

// Fills a record as a loaded sound: samples copied into a buffer the sound system owns, full
// volume, centre panning, step for the current output rate.
template <typename T>
void make_sound(s_sound *sound, int channels, uint32_t rate, const std::vector<T> &samples) {
    std::memset(sound, 0, sizeof(*sound));
    sound->numchannels = uint16_t(channels);
    sound->bits = sizeof(T) * 8;
    sound->samplerate = rate;
    sound->size = uint32_t(samples.size() * sizeof(T));
    sound->length = uint32_t(samples.size());
    sound->buffer = std::malloc(sound->size ? sound->size : 1);
    std::memcpy(sound->buffer, samples.data(), sound->size);
    sound->volume = 255;
    sound->leftvolume = sound->rightvolume = sound->panning = 128;
    Soundsystem_SetFrequency(sound, rate);
}

// Sound system at 44100 Hz with the given output channels whose device is closed at once, so
// that blocks are mixed only by mix_block.
inline void init_manual_mixing(int channels) {
    Soundsystem_Init(44100, 8, channels);
    audiodriver_close();
}

// One mixed block of `frames` output frames at 16 bits.
inline std::vector<int16_t> mix_block(uint32_t frames = 2048) {
    std::vector<int16_t> out(size_t(frames) * soundsystem.channels);
    audiodriver_mixbuffers(out.data(), uint32_t(out.size() * 2), 0);
    return out;
}

// Mixing one 2048-frame 16-bit stereo block with 1, 4 and 16 playing 16-bit stereo sounds,
// against SDL_MixAudioFormat adding the same sounds at the same volume into a block, measured
// in the same run. Prints both times, their ratio and the mixer's share of the block's
// real-time length.
#include "coresound/audiodriver.h"
#include "coresound/coresound.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t FRAMES = AUDIODRIVER_BLOCKFRAMES;
constexpr uint32_t BLOCK_BYTES = FRAMES * 4;
constexpr uint32_t SOUND_FRAMES = 44100 * 4;
constexpr int BLOCKS_PER_RUN = 400;
constexpr int RUNS = 7;

using clock_type = std::chrono::steady_clock;

// Best of several runs, in microseconds per block.
template <typename Mix>
double time_per_block(Mix mix) {
    double best = 1e30;
    for (int run = 0; run < RUNS; run++) {
        auto start = clock_type::now();
        for (int b = 0; b < BLOCKS_PER_RUN; b++) mix(b);
        std::chrono::duration<double, std::micro> took = clock_type::now() - start;
        best = std::min(best, took.count() / BLOCKS_PER_RUN);
    }
    return best;
}

}  // namespace

int main() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    Soundsystem_Init(44100, 16, 2);
    audiodriver_close();  // blocks are mixed here, not by the device

    std::vector<std::vector<int16_t>> data(16, std::vector<int16_t>(2 * SOUND_FRAMES));
    for (size_t s = 0; s < data.size(); s++)
        for (size_t i = 0; i < data[s].size(); i++)
            data[s][i] = int16_t((i * (97 + s * 13)) % 30000 - 15000);
    std::vector<s_sound> sounds(16);
    for (size_t s = 0; s < sounds.size(); s++) {
        s_sound &r = sounds[s];
        r.numchannels = 2;
        r.bits = 16;
        r.samplerate = 44100;
        r.size = uint32_t(data[s].size() * 2);
        r.length = uint32_t(data[s].size());
        r.buffer = data[s].data();
        r.volume = 255;
        r.leftvolume = r.rightvolume = r.panning = 128;
        Soundsystem_SetFrequency(&r, 44100);
    }
    std::vector<uint8_t> block(BLOCK_BYTES);
    // Full volume and centre panning give 127/256 of the amplitude, SDL's volume 64 of 128.
    const int sdl_volume = 64;
    const double block_us = 1e6 * FRAMES / 44100.0;

    printf("one block of %u stereo frames, 16-bit sources at 44100 Hz (block lasts %.0f us)\n",
           FRAMES, block_us);
    printf("%7s %14s %20s %8s %16s\n", "sounds", "mixer us", "SDL_MixAudioFormat us", "ratio",
           "of block time");
    for (int count : {1, 4, 16}) {
        for (int s = 0; s < count; s++) Soundsystem_PlaySound(&sounds[s], 1);
        double mixer =
            time_per_block([&](int) { audiodriver_mixbuffers(block.data(), BLOCK_BYTES, 0); });
        for (int s = 0; s < count; s++) Soundsystem_StopSound(&sounds[s]);

        double sdl = time_per_block([&](int b) {
            std::memset(block.data(), 0, BLOCK_BYTES);
            size_t frame = (size_t(b) * FRAMES) % (SOUND_FRAMES - FRAMES);
            for (int s = 0; s < count; s++)
                SDL_MixAudioFormat(block.data(),
                                   reinterpret_cast<const Uint8 *>(data[s].data() + 2 * frame),
                                   AUDIO_S16LSB, BLOCK_BYTES, sdl_volume);
        });
        printf("%7d %14.2f %20.2f %8.2f %15.3f%%\n", count, mixer, sdl, mixer / sdl,
               100.0 * mixer / block_us);
    }
    Soundsystem_CloseAudio();
    return 0;
}

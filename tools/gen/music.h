// The built-in production's music, synthesised in code.
#pragma once

#include <cstdint>

// Tempo and sample rate of the music; the timeline is laid out on this grid.
// At 125 beats per minute a beat is exactly 21168 frames and a bar of four beats 84672.
constexpr int kMusicRate = 44100;
constexpr int kMusicBpm = 125;
constexpr int kMusicBeatFrames = kMusicRate * 60 / kMusicBpm;
constexpr int kMusicBarFrames = kMusicBeatFrames * 4;
constexpr int kMusicBars = 80;

// Length of the music in sample frames: every bar plus nothing else, so the last bar's
// final chord has died away exactly at the end.
constexpr std::uint32_t kMusicFrames = std::uint32_t(kMusicBars) * kMusicBarFrames;

// Name of the file gen_music writes into its output folder, as the timeline names it.
constexpr const char *kMusicFileName = "music.wav";

// Writes OUTDIR/music.wav: canonical 44-byte header, 16-bit stereo PCM, 44100 Hz,
// kMusicFrames frames. Deterministic: the same bytes on every run. Returns false (with a
// console message) when the file cannot be written.
bool gen_music(const char *outdir);

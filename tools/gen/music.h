// The built-in production's music, synthesised in code.
#pragma once

#include <cstdint>

// Beat and sample rate of the music; the timeline is laid out on this grid.
constexpr int kMusicRate = 44100;
constexpr int kMusicBpm = 128;

// Length of the music in sample frames (written by gen_music as OUTDIR/music.wav).
std::uint32_t music_length_frames();

// Writes OUTDIR/music.wav: canonical 44-byte header, 16-bit stereo PCM, 44100 Hz.
// Deterministic: the same bytes on every run. Returns false when the file cannot be written.
bool gen_music(const char *outdir);

// WAV writer: the canonical 44-byte header (a 16-byte PCM format record, then the data chunk)
// followed by the sample bytes.
#pragma once

#include <cstdint>
#include <vector>

// `samples` holds `bytes` bytes of interleaved little-endian PCM of `channels` channels at
// `bits` bits and `rate` frames per second; they are copied as they are.
std::vector<std::uint8_t> wav_encode_pcm(const void *samples, std::uint32_t bytes, int channels,
                                         int bits, std::uint32_t rate);

// Interleaved 16-bit samples, stored little-endian whatever the machine's byte order.
std::vector<std::uint8_t> wav_encode_pcm16(const std::int16_t *samples, std::size_t count,
                                           int channels, std::uint32_t rate);

#include "wav.h"

#include <cstring>

namespace {

void put16(std::uint8_t *p, unsigned v) {
    p[0] = v & 0xff;
    p[1] = (v >> 8) & 0xff;
}

void put32(std::uint8_t *p, std::uint32_t v) {
    put16(p, v & 0xffff);
    put16(p + 2, v >> 16);
}

}  // namespace

std::vector<std::uint8_t> wav_encode_pcm(const void *samples, std::uint32_t bytes, int channels,
                                         int bits, std::uint32_t rate) {
    const unsigned align = unsigned(channels) * unsigned(bits / 8);
    std::vector<std::uint8_t> file(44 + size_t(bytes));
    std::uint8_t *h = file.data();
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, bytes + 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, unsigned(channels));
    put32(h + 24, rate);
    put32(h + 28, rate * align);
    put16(h + 32, align);
    put16(h + 34, unsigned(bits));
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, bytes);
    if (bytes) std::memcpy(h + 44, samples, bytes);
    return file;
}

std::vector<std::uint8_t> wav_encode_pcm16(const std::int16_t *samples, std::size_t count,
                                           int channels, std::uint32_t rate) {
    std::vector<std::uint8_t> pcm(count * 2);
    for (std::size_t i = 0; i < count; ++i) put16(&pcm[2 * i], std::uint16_t(samples[i]));
    return wav_encode_pcm(pcm.data(), std::uint32_t(pcm.size()), channels, 16, rate);
}

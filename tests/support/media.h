// Media files built in memory for tests: valid TGA and WAV files through the production
// generator's writers, raw TGA headers for malformed cases, and resource images.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

using bytes_t = std::vector<uint8_t>;

// An uncompressed 32-bit top-left TGA of 0xAARRGGBB pixels given row by row.
bytes_t TgaImage32(int width, int height, const std::vector<uint32_t> &argb);
bytes_t SolidTga(int width, int height, uint32_t argb);

// Header fields of a TGA file written as given, valid or not.
struct TgaHeader {
    int type = 2;
    int width = 1;
    int height = 1;
    int bpp = 24;
    int descriptor = 0;
    int maptype = 0;
    int mapfirst = 0;
    int maplength = 0;
    int mapbits = 0;
    std::string id;
};

// Header, image ID, colour map bytes and pixel bytes, back to back.
bytes_t TgaFile(const TgaHeader &h, const bytes_t &map, const bytes_t &pixels);

// File bytes of a 0xAARRGGBB pixel: blue, green, red (and alpha for 32 bits).
void PutBgr(bytes_t &out, uint32_t argb, int bpp);

// Buffer layout (0xAABBGGRR) of an 0xAARRGGBB colour.
constexpr uint32_t ToBuffer(uint32_t argb) {
    return (argb & 0xFF00FF00u) | (argb >> 16 & 0xFF) | (argb & 0xFF) << 16;
}

// A canonical PCM WAV of the given sample bytes.
bytes_t Wav(int channels, int bits, uint32_t rate, const bytes_t &samples);
// Silence: `frames` sample frames of 16-bit samples (8-bit ones when bits is 8).
bytes_t SilentWav(uint32_t frames, int channels = 1, uint32_t rate = 44100, int bits = 8);

// The bytes as a string, for the tests that keep files as text.
std::string Text(const bytes_t &bytes);

// Writes a resource image holding `entries` (name, bytes) to `path`; false (with a test
// failure) when that fails.
bool WriteResourceImage(const std::string &path,
                        const std::vector<std::pair<std::string, bytes_t>> &entries);

}  // namespace test_support

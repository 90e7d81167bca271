// TGA writer: true colour (24 or 32 bits), 8-bit grey and 8-bit colour-mapped images,
// uncompressed or run-length encoded, stored from the top-left or the bottom-left corner.
#pragma once

#include <cstdint>
#include <vector>

// How an image is stored. Run-length packets never cross a row end.
struct TgaLayout {
    bool rle = false;
    bool topleft = true;  // rows top to bottom (descriptor bit 5), else bottom to top
};

// Pixels are 0xAARRGGBB, rows top to bottom. `bits` is 24 (alpha dropped) or 32.
std::vector<std::uint8_t> tga_encode_truecolor(const std::uint32_t *argb, int width, int height,
                                               int bits, TgaLayout layout);

// One grey byte per pixel, rows top to bottom (image types 3 and 11).
std::vector<std::uint8_t> tga_encode_grey(const std::uint8_t *grey, int width, int height,
                                          TgaLayout layout);

// One palette index per pixel, rows top to bottom; `palette` holds `entries` (1..256)
// 0x00RRGGBB colours stored as a 24-bit colour map (image types 1 and 9).
std::vector<std::uint8_t> tga_encode_mapped(const std::uint8_t *index, int width, int height,
                                            const std::uint32_t *palette, int entries,
                                            TgaLayout layout);

// Writes the bytes to `path`; false (with a message on stderr) when that fails.
bool tga_write_file(const char *path, const std::vector<std::uint8_t> &bytes);

// The common case of a rendered frame: 32 bits, uncompressed, top-left origin.
bool tga_write_rgba32(const char *path, const std::uint32_t *argb, int width, int height);

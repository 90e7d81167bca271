// Reduction of a true-colour picture to 256 colours for colour-mapped TGA images.
#pragma once

#include <cstdint>
#include <vector>

struct IndexedImage {
    int width = 0, height = 0;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB, at most 256 entries
    std::vector<std::uint8_t> index;     // one entry per pixel, rows top to bottom
};

// Median-cut palette of at most `colours` entries, then Floyd-Steinberg error diffusion in
// integer arithmetic. Alpha is ignored.
IndexedImage quantize(const std::vector<std::uint32_t> &argb, int width, int height,
                      int colours = 256);

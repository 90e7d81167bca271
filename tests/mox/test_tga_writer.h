// TGA files built in memory for the bitmap, TGA and font tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using bytes_t = std::vector<uint8_t>;

struct tga_header {
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
inline bytes_t tga_file(const tga_header &h, const bytes_t &map, const bytes_t &pixels) {
  bytes_t f = {(uint8_t)h.id.size(), (uint8_t)h.maptype, (uint8_t)h.type,
               (uint8_t)h.mapfirst, (uint8_t)(h.mapfirst >> 8),
               (uint8_t)h.maplength, (uint8_t)(h.maplength >> 8), (uint8_t)h.mapbits,
               0, 0, 0, 0,
               (uint8_t)h.width, (uint8_t)(h.width >> 8),
               (uint8_t)h.height, (uint8_t)(h.height >> 8),
               (uint8_t)h.bpp, (uint8_t)h.descriptor};
  f.reserve(f.size() + h.id.size() + map.size() + pixels.size());
  for (char ch : h.id) f.push_back((uint8_t)ch);
  f.insert(f.end(), map.begin(), map.end());
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

// File bytes of 0xAARRGGBB pixels: blue, green, red (and alpha for 32 bits).
inline void put_bgr(bytes_t &out, uint32_t argb, int bpp) {
  out.push_back((uint8_t)argb);
  out.push_back((uint8_t)(argb >> 8));
  out.push_back((uint8_t)(argb >> 16));
  if (bpp == 32) out.push_back((uint8_t)(argb >> 24));
}

// A 32-bit, top-left, uncompressed image of 0xAARRGGBB pixels given row by row.
inline bytes_t tga_image32(int width, int height, const std::vector<uint32_t> &argb) {
  bytes_t px;
  for (uint32_t p : argb) put_bgr(px, p, 32);
  tga_header h;
  h.width = width;
  h.height = height;
  h.bpp = 32;
  h.descriptor = 0x20;
  return tga_file(h, {}, px);
}

inline bool write_bytes(const std::string &path, const bytes_t &data) {
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  return fclose(f) == 0 && ok;
}

// Buffer layout (0xAABBGGRR) of an 0xAARRGGBB colour.
constexpr uint32_t to_buffer(uint32_t argb) {
  return (argb & 0xFF00FF00u) | (argb >> 16 & 0xFF) | (argb & 0xFF) << 16;
}

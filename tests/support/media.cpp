#include "support/media.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "corefile/imageformat.h"
#include "gen/tga.h"
#include "gen/wav.h"

namespace test_support {

bytes_t TgaImage32(int width, int height, const std::vector<uint32_t> &argb) {
    return tga_encode_truecolor(argb.data(), width, height, 32, TgaLayout{});
}

bytes_t SolidTga(int width, int height, uint32_t argb) {
    return TgaImage32(width, height, std::vector<uint32_t>(size_t(width) * height, argb));
}

bytes_t TgaFile(const TgaHeader &h, const bytes_t &map, const bytes_t &pixels) {
    bytes_t f = {uint8_t(h.id.size()),
                 uint8_t(h.maptype),
                 uint8_t(h.type),
                 uint8_t(h.mapfirst),
                 uint8_t(h.mapfirst >> 8),
                 uint8_t(h.maplength),
                 uint8_t(h.maplength >> 8),
                 uint8_t(h.mapbits),
                 0,
                 0,
                 0,
                 0,
                 uint8_t(h.width),
                 uint8_t(h.width >> 8),
                 uint8_t(h.height),
                 uint8_t(h.height >> 8),
                 uint8_t(h.bpp),
                 uint8_t(h.descriptor)};
    f.reserve(f.size() + h.id.size() + map.size() + pixels.size());
    for (char ch : h.id) f.push_back(uint8_t(ch));
    f.insert(f.end(), map.begin(), map.end());
    f.insert(f.end(), pixels.begin(), pixels.end());
    return f;
}

void PutBgr(bytes_t &out, uint32_t argb, int bpp) {
    out.push_back(uint8_t(argb));
    out.push_back(uint8_t(argb >> 8));
    out.push_back(uint8_t(argb >> 16));
    if (bpp == 32) out.push_back(uint8_t(argb >> 24));
}

bytes_t Wav(int channels, int bits, uint32_t rate, const bytes_t &samples) {
    return wav_encode_pcm(samples.data(), uint32_t(samples.size()), channels, bits, rate);
}

bytes_t SilentWav(uint32_t frames, int channels, uint32_t rate, int bits) {
    const size_t size = size_t(frames) * channels * (bits / 8);
    return Wav(channels, bits, rate, bytes_t(size, bits == 8 ? 0x80 : 0));
}

std::string Text(const bytes_t &bytes) { return std::string(bytes.begin(), bytes.end()); }

bool WriteResourceImage(const std::string &path,
                        const std::vector<std::pair<std::string, bytes_t>> &entries) {
    std::vector<const char *> names;
    std::vector<uint32_t> sizes;
    for (const auto &e : entries) {
        names.push_back(e.first.c_str());
        sizes.push_back(uint32_t(e.second.size()));
    }
    FILE *out = fopen(path.c_str(), "wb");
    if (!out) {
        ADD_FAILURE() << "cannot write " << path;
        return false;
    }
    char why[256] = "";
    bool ok = imageformat_writetable(out, 0, uint32_t(entries.size()), names.data(), sizes.data(),
                                     why, sizeof why) == 1;
    if (!ok) ADD_FAILURE() << why;
    for (const auto &e : entries)
        if (ok && !e.second.empty())
            ok = fwrite(e.second.data(), 1, e.second.size(), out) == e.second.size();
    if (fclose(out) != 0) ok = false;
    if (!ok) ADD_FAILURE() << "cannot write " << path;
    return ok;
}

}  // namespace test_support

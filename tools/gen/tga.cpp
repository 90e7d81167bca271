#include "tga.h"

#include "core/coredebug.h"

#include <cstdio>
#include <cstring>

namespace {

void put16(std::vector<std::uint8_t> &out, int v) {
    out.push_back(std::uint8_t(v & 0xff));
    out.push_back(std::uint8_t((v >> 8) & 0xff));
}

void header(std::vector<std::uint8_t> &out, int maptype, int imagetype, int mapentries, int width,
            int height, int bits, int alphabits, bool topleft) {
    out.push_back(0);  // no image ID
    out.push_back(std::uint8_t(maptype));
    out.push_back(std::uint8_t(imagetype));
    put16(out, 0);
    put16(out, mapentries);
    out.push_back(std::uint8_t(maptype ? 24 : 0));
    put16(out, 0);
    put16(out, 0);
    put16(out, width);
    put16(out, height);
    out.push_back(std::uint8_t(bits));
    out.push_back(std::uint8_t(alphabits | (topleft ? 0x20 : 0)));
}

// Writes `width` pixels of `bpp` bytes each, raw or as run-length packets.
void put_row(std::vector<std::uint8_t> &out, const std::uint8_t *row, int width, int bpp,
             bool rle) {
    if (!rle) {
        out.insert(out.end(), row, row + size_t(width) * bpp);
        return;
    }
    auto same = [&](int a, int b) { return std::memcmp(row + a * bpp, row + b * bpp, bpp) == 0; };
    int x = 0;
    while (x < width) {
        int run = 1;
        while (x + run < width && run < 128 && same(x, x + run)) run++;
        if (run >= 2) {
            out.push_back(std::uint8_t(0x80 | (run - 1)));
            out.insert(out.end(), row + x * bpp, row + (x + 1) * bpp);
            x += run;
            continue;
        }
        // Raw packet: up to the next pair of equal pixels.
        int n = 1;
        while (x + n < width && n < 128 && !(x + n + 1 < width && same(x + n, x + n + 1))) n++;
        out.push_back(std::uint8_t(n - 1));
        out.insert(out.end(), row + x * bpp, row + (x + n) * bpp);
        x += n;
    }
}

// Rows in file order: top to bottom or bottom to top.
template <class RowFn>
void put_rows(int height, bool topleft, RowFn row) {
    for (int i = 0; i < height; i++) row(topleft ? i : height - 1 - i);
}

bool valid(int width, int height) {
    return width > 0 && height > 0 && width <= 65535 && height <= 65535;
}

}  // namespace

std::vector<std::uint8_t> tga_encode_truecolor(const std::uint32_t *argb, int width, int height,
                                               int bits, TgaLayout layout) {
    std::vector<std::uint8_t> out;
    if (!valid(width, height) || (bits != 24 && bits != 32)) return out;
    const int bpp = bits / 8;
    header(out, 0, layout.rle ? 10 : 2, 0, width, height, bits, bits == 32 ? 8 : 0, layout.topleft);
    std::vector<std::uint8_t> row(size_t(width) * bpp);
    put_rows(height, layout.topleft, [&](int y) {
        const std::uint32_t *src = argb + size_t(y) * width;
        for (int x = 0; x < width; x++) {
            std::uint8_t *p = &row[size_t(x) * bpp];
            p[0] = std::uint8_t(src[x]);
            p[1] = std::uint8_t(src[x] >> 8);
            p[2] = std::uint8_t(src[x] >> 16);
            if (bpp == 4) p[3] = std::uint8_t(src[x] >> 24);
        }
        put_row(out, row.data(), width, bpp, layout.rle);
    });
    return out;
}

std::vector<std::uint8_t> tga_encode_grey(const std::uint8_t *grey, int width, int height,
                                          TgaLayout layout) {
    std::vector<std::uint8_t> out;
    if (!valid(width, height)) return out;
    header(out, 0, layout.rle ? 11 : 3, 0, width, height, 8, 0, layout.topleft);
    put_rows(height, layout.topleft,
             [&](int y) { put_row(out, grey + size_t(y) * width, width, 1, layout.rle); });
    return out;
}

std::vector<std::uint8_t> tga_encode_mapped(const std::uint8_t *index, int width, int height,
                                            const std::uint32_t *palette, int entries,
                                            TgaLayout layout) {
    std::vector<std::uint8_t> out;
    if (!valid(width, height) || entries < 1 || entries > 256) return out;
    header(out, 1, layout.rle ? 9 : 1, entries, width, height, 8, 0, layout.topleft);
    for (int i = 0; i < entries; i++) {
        out.push_back(std::uint8_t(palette[i]));
        out.push_back(std::uint8_t(palette[i] >> 8));
        out.push_back(std::uint8_t(palette[i] >> 16));
    }
    put_rows(height, layout.topleft,
             [&](int y) { put_row(out, index + size_t(y) * width, width, 1, layout.rle); });
    return out;
}

bool tga_write_file(const char *path, const std::vector<std::uint8_t> &bytes) {
    FILE *f = std::fopen(path, "wb");
    if (!f) {
        core_log(LOG_ERROR, "gen.tga_unwritable", "cannot write %s\n", path);
        return false;
    }
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) core_log(LOG_ERROR, "gen.tga_write_error", "error writing %s\n", path);
    return ok;
}

bool tga_write_rgba32(const char *path, const std::uint32_t *argb, int width, int height) {
    std::vector<std::uint8_t> bytes = tga_encode_truecolor(argb, width, height, 32, TgaLayout{});
    if (bytes.empty()) {
        core_log(LOG_ERROR, "gen.tga_bad_size", "bad image size for %s\n", path);
        return false;
    }
    return tga_write_file(path, bytes);
}

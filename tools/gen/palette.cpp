#include "palette.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr int kBins = 32 * 32 * 32;  // 5 bits per channel

struct Box {
    int lo[3], hi[3];  // inclusive bin ranges per channel
    std::uint64_t count;
};

int bin(int r, int g, int b) { return (r << 10) | (g << 5) | b; }

struct Histogram {
    std::vector<std::uint64_t> count = std::vector<std::uint64_t>(kBins, 0);
    std::vector<std::array<std::uint64_t, 3>> sum =
        std::vector<std::array<std::uint64_t, 3>>(kBins, {0, 0, 0});
};

template <class F>
void each_bin(const Box &b, F f) {
    for (int r = b.lo[0]; r <= b.hi[0]; r++)
        for (int g = b.lo[1]; g <= b.hi[1]; g++)
            for (int bl = b.lo[2]; bl <= b.hi[2]; bl++) f(r, g, bl);
}

// Tightens a box to the bins that hold pixels and counts them.
void shrink(Box &b, const Histogram &h) {
    int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
    std::uint64_t n = 0;
    each_bin(b, [&](int r, int g, int bl) {
        const std::uint64_t c = h.count[bin(r, g, bl)];
        if (!c) return;
        n += c;
        const int v[3] = {r, g, bl};
        for (int i = 0; i < 3; i++) {
            if (v[i] < lo[i]) lo[i] = v[i];
            if (v[i] > hi[i]) hi[i] = v[i];
        }
    });
    b.count = n;
    if (n)
        for (int i = 0; i < 3; i++) b.lo[i] = lo[i], b.hi[i] = hi[i];
}

int longest_axis(const Box &b) {
    // Green weighs most in perceived brightness, blue least.
    const int w[3] = {3, 4, 2};
    int best = 0;
    for (int i = 1; i < 3; i++)
        if ((b.hi[i] - b.lo[i]) * w[i] > (b.hi[best] - b.lo[best]) * w[best]) best = i;
    return best;
}

bool split(const Box &b, const Histogram &h, Box &a, Box &c) {
    const int axis = longest_axis(b);
    if (b.hi[axis] == b.lo[axis]) return false;
    std::vector<std::uint64_t> slice(32, 0);
    each_bin(b, [&](int r, int g, int bl) {
        const int v[3] = {r, g, bl};
        slice[v[axis]] += h.count[bin(r, g, bl)];
    });
    std::uint64_t acc = 0;
    int cut = b.lo[axis];
    for (int i = b.lo[axis]; i < b.hi[axis]; i++) {
        acc += slice[i];
        cut = i;
        if (acc * 2 >= b.count) break;
    }
    a = b;
    c = b;
    a.hi[axis] = cut;
    c.lo[axis] = cut + 1;
    shrink(a, h);
    shrink(c, h);
    return a.count && c.count;
}

}  // namespace

IndexedImage quantize(const std::vector<std::uint32_t> &argb, int width, int height, int colours) {
    IndexedImage out;
    out.width = width;
    out.height = height;
    if (width <= 0 || height <= 0 || argb.size() < size_t(width) * height) return out;
    if (colours < 1) colours = 1;
    if (colours > 256) colours = 256;

    Histogram h;
    for (std::uint32_t p : argb) {
        const int r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
        const int i = bin(r >> 3, g >> 3, b >> 3);
        h.count[i]++;
        h.sum[i][0] += std::uint64_t(r);
        h.sum[i][1] += std::uint64_t(g);
        h.sum[i][2] += std::uint64_t(b);
    }

    std::vector<Box> boxes{Box{{0, 0, 0}, {31, 31, 31}, 0}};
    shrink(boxes[0], h);
    while (int(boxes.size()) < colours) {
        // Split the box with the most pixels times its extent.
        int pick = -1;
        std::uint64_t best = 0;
        for (size_t i = 0; i < boxes.size(); i++) {
            const Box &b = boxes[i];
            const int ax = longest_axis(b);
            const std::uint64_t score = b.count * std::uint64_t(b.hi[ax] - b.lo[ax]);
            if (score > best) best = score, pick = int(i);
        }
        if (pick < 0) break;
        Box a, c;
        if (!split(boxes[pick], h, a, c)) break;
        boxes[pick] = a;
        boxes.push_back(c);
    }

    for (const Box &b : boxes) {
        std::uint64_t s[3] = {0, 0, 0};
        each_bin(b, [&](int r, int g, int bl) {
            for (int i = 0; i < 3; i++) s[i] += h.sum[bin(r, g, bl)][i];
        });
        const std::uint64_t n = b.count ? b.count : 1;
        out.palette.push_back(std::uint32_t((s[0] + n / 2) / n) << 16 |
                              std::uint32_t((s[1] + n / 2) / n) << 8 |
                              std::uint32_t((s[2] + n / 2) / n));
    }

    // Nearest palette entry per 7-bit cell, computed when first needed from the cell's centre
    // so the result does not depend on the visiting order.
    std::vector<std::int16_t> lut(size_t(1) << 21, -1);
    auto nearest = [&](int r, int g, int b) {
        const int cell = ((r >> 1) << 14) | ((g >> 1) << 7) | (b >> 1);
        if (lut[cell] < 0) {
            const int cr = (r >> 1) * 2 + 1, cg = (g >> 1) * 2 + 1, cb = (b >> 1) * 2 + 1;
            int best = 0;
            long bestd = -1;
            for (size_t i = 0; i < out.palette.size(); i++) {
                const std::uint32_t p = out.palette[i];
                const long dr = long((p >> 16) & 255) - cr, dg = long((p >> 8) & 255) - cg,
                           db = long(p & 255) - cb;
                const long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
                if (bestd < 0 || d < bestd) bestd = d, best = int(i);
            }
            lut[cell] = std::int16_t(best);
        }
        return int(lut[cell]);
    };

    out.index.resize(size_t(width) * height);
    // Errors in sixteenths, one row ahead, with a guard column on each side.
    std::vector<int> cur(size_t(width + 2) * 3, 0), next(size_t(width + 2) * 3, 0);
    for (int y = 0; y < height; y++) {
        std::fill(next.begin(), next.end(), 0);
        for (int x = 0; x < width; x++) {
            const std::uint32_t p = argb[size_t(y) * width + x];
            const int src[3] = {int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255)};
            int want[3], v[3];
            for (int c = 0; c < 3; c++) {
                want[c] = src[c] * 16 + cur[size_t(x + 1) * 3 + c];
                if (want[c] < 0) want[c] = 0;
                if (want[c] > 255 * 16) want[c] = 255 * 16;
                v[c] = (want[c] + 8) >> 4;
            }
            const int k = nearest(v[0], v[1], v[2]);
            out.index[size_t(y) * width + x] = std::uint8_t(k);
            const std::uint32_t q = out.palette[k];
            const int got[3] = {int((q >> 16) & 255), int((q >> 8) & 255), int(q & 255)};
            for (int c = 0; c < 3; c++) {
                const int e = want[c] - got[c] * 16;
                cur[size_t(x + 2) * 3 + c] += e * 7 / 16;
                next[size_t(x) * 3 + c] += e * 3 / 16;
                next[size_t(x + 1) * 3 + c] += e * 5 / 16;
                next[size_t(x + 2) * 3 + c] += e / 16;
            }
        }
        std::swap(cur, next);
    }
    return out;
}

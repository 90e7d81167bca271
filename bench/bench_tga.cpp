// Decoding speed of 1920 x 1080 TGA images from memory: this project's reader against
// stb_image (asked for RGBA) on the same bytes, in the same run. Prints both median times
// and their ratio (ours / stb_image; 1.0 or less means ours is at least as fast).
#include <stb_image.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "mox/corebitmap.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kRuns = 21;

// A picture with flat areas (long runs), gradients and a noisy band (raw packets), 0xAARRGGBB.
std::vector<uint32_t> make_picture() {
    std::vector<uint32_t> px((size_t)kWidth * kHeight);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint32_t c;
            if (y < kHeight / 3) {
                c = 0xFF000000u | ((x / 64) * 8) << 16 | ((y / 32) * 7) << 8 | 0x40;
            } else if (y < 2 * kHeight / 3) {
                c = 0xFF000000u | (x * 255 / kWidth) << 16 | (y & 0xFF) << 8 | ((x + y) & 0xFF);
            } else {
                seed = seed * 1664525u + 1013904223u;
                c = (seed >> 8) | 0xFF000000u;
            }
            px[x + (size_t)y * kWidth] = c;
        }
    return px;
}

void put_pixel(std::vector<uint8_t> &out, uint32_t c, int bpp) {
    out.push_back((uint8_t)c);
    out.push_back((uint8_t)(c >> 8));
    out.push_back((uint8_t)(c >> 16));
    if (bpp == 32) out.push_back((uint8_t)(c >> 24));
}

// Bottom-left origin, as most writers store it; run-length packets may cross row ends.
std::vector<uint8_t> encode(const std::vector<uint32_t> &px, int bpp, bool rle) {
    std::vector<uint8_t> f = {0,
                              0,
                              (uint8_t)(rle ? 10 : 2),
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              (uint8_t)kWidth,
                              (uint8_t)(kWidth >> 8),
                              (uint8_t)kHeight,
                              (uint8_t)(kHeight >> 8),
                              (uint8_t)bpp,
                              (uint8_t)(bpp == 32 ? 8 : 0)};
    std::vector<uint32_t> order;
    order.reserve(px.size());
    for (int y = kHeight - 1; y >= 0; --y)
        order.insert(order.end(), px.begin() + (size_t)y * kWidth,
                     px.begin() + (size_t)(y + 1) * kWidth);
    if (!rle) {
        for (uint32_t c : order) put_pixel(f, c, bpp);
        return f;
    }
    size_t i = 0;
    while (i < order.size()) {
        size_t run = 1;
        while (i + run < order.size() && run < 128 && order[i + run] == order[i]) ++run;
        if (run >= 2) {
            f.push_back((uint8_t)(0x80 | (run - 1)));
            put_pixel(f, order[i], bpp);
            i += run;
            continue;
        }
        size_t n = 1;
        while (i + n < order.size() && n < 128 &&
               !(i + n + 1 < order.size() && order[i + n] == order[i + n + 1]))
            ++n;
        f.push_back((uint8_t)(n - 1));
        for (size_t k = 0; k < n; ++k) put_pixel(f, order[i + k], bpp);
        i += n;
    }
    return f;
}

double median(std::vector<double> t) {
    std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
    return t[t.size() / 2];
}

// Median milliseconds of each decoder; their runs alternate so that both see the same load.
template <class A, class B>
void time_pair(A first, B second, double *ms_first, double *ms_second) {
    first();  // warm-up
    second();
    std::vector<double> ta, tb;
    for (int i = 0; i < kRuns; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        first();
        const auto t1 = std::chrono::steady_clock::now();
        second();
        const auto t2 = std::chrono::steady_clock::now();
        ta.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        tb.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    *ms_first = median(ta);
    *ms_second = median(tb);
}

}  // namespace

int main() {
    const std::vector<uint32_t> picture = make_picture();
    struct kind {
        const char *name;
        int bpp;
        bool rle;
    } kinds[] = {{"24-bit raw", 24, false}, {"32-bit raw", 32, false}, {"32-bit RLE", 32, true}};
    printf("Decoding %d x %d TGA from memory, median of %d runs\n", kWidth, kHeight, kRuns);
    int failures = 0;
    double worst = 0;
    for (const kind &k : kinds) {
        const std::vector<uint8_t> file = encode(picture, k.bpp, k.rle);
        double ours, stb;
        time_pair(
            [&] {
                s_tgainfo info;
                unsigned int *p = MOX_DecodeTGA(file.data(), file.size(), &info);
                if (!p) ++failures;
                free(p);
            },
            [&] {
                int w, h, comp;
                stbi_uc *p = stbi_load_from_memory(file.data(), (int)file.size(), &w, &h, &comp, 4);
                if (!p) ++failures;
                stbi_image_free(p);
            },
            &ours, &stb);
        worst = std::max(worst, ours / stb);
        printf("%-11s (%7zu KB): MOX_DecodeTGA %7.3f ms, stb_image %7.3f ms, ratio %.2f\n", k.name,
               file.size() / 1024, ours, stb, ours / stb);
    }
    printf("worst ratio %.2f (target 1.00 or less)\n", worst);
    if (failures) printf("%d decodes failed\n", failures);
    return failures ? 1 : 0;
}

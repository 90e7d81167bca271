// The final scene's circle packing written the plain way: every placement point is tested
// against every circle, every growing circle against every other, the canvas is cleared
// whole and painted with MOX_DrawPixel. The scene must make exactly the same decisions and
// random draws (from a sequence of the same kind and seed); the equivalence test and the
// benchmark run both side by side.
#pragma once
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "demosystem/invite/intro.h"

// A realistic end logo for the tests and the benchmark: a ring, a row of block letters and
// a bar, in varying greys on black (about a sixth of the 1920 x 1080 picture non-black).
inline void MakeEndLogo(int width, int height, std::vector<unsigned> *pixels) {
    pixels->assign(static_cast<size_t>(width) * height, 0);
    auto set = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        unsigned g = 96 + static_cast<unsigned>((x * 7 + y * 3) % 160);
        (*pixels)[static_cast<size_t>(y) * width + x] = 0xFF000000u | g * 0x010101u;
    };
    auto box = [&](int x0, int y0, int w, int h) {
        for (int y = y0; y < y0 + h; y++)
            for (int x = x0; x < x0 + w; x++) set(x, y);
    };
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            double d = std::hypot(x - 960.0, y - 540.0);
            if (d >= 440 && d < 490) set(x, y);
        }
    }
    // Six block letters, 180 x 260 with 36-pixel strokes, in the middle band.
    for (int l = 0; l < 6; l++) {
        int x0 = 420 + l * 190;
        int y0 = 410;
        box(x0, y0, 36, 260);
        box(x0, y0, 180, 36);
        if (l % 2 == 0) box(x0 + 144, y0, 36, 260);
        if (l % 3 != 1) box(x0, y0 + 224, 180, 36);
        if (l % 3 == 2) box(x0, y0 + 112, 140, 36);
    }
    box(560, 880, 800, 40);
    box(760, 120, 400, 28);
}

// A sparse end logo (about 1.3% non-black): a 3-pixel ring and thin lines, where the
// circles soon cover nearly every logo pixel and most placement attempts fail.
inline void MakeThinLogo(int width, int height, std::vector<unsigned> *pixels) {
    pixels->assign(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            double d = std::hypot(x - 960.0, y - 540.0);
            bool on = (d >= 440 && d < 443) || (x % 240 < 3 && y > 400 && y < 700) ||
                      (y % 100 < 3 && x > 500 && x < 1400 && y > 300 && y < 800);
            if (on) (*pixels)[static_cast<size_t>(y) * width + x] = 0xFFFFFFFFu;
        }
    }
}

// Copies the pixels (0xAARRGGBB) into a bitmap record created at that size.
inline void FillBitmap(s_bitmap *bitmap, const std::vector<unsigned> &pixels) {
    for (int y = 0; y < bitmap->height; y++)
        for (int x = 0; x < bitmap->width; x++)
            MOX_DrawPixel(x, y,
                          static_cast<int>(pixels[static_cast<size_t>(y) * bitmap->width + x]),
                          *bitmap);
}

class ReferenceFinalScreen {
public:
    std::vector<Circle> circles;
    s_bitmap logo{};
    s_bitmap canvas{};  // the caller's bitmap of the render size
    int time = 0;

    void Init(const s_bitmap &endlogo, const s_bitmap &rendercanvas) {
        logo = endlogo;
        canvas = rendercanvas;
        SceneSeed(&random, 0xDEADBEEF);
        circles.clear();
        capacity = static_cast<size_t>(std::min(logo.width, c_finalscreen::SAMPLE_WIDTH)) *
                   std::min(logo.height, c_finalscreen::SAMPLE_HEIGHT);
        spots.clear();
        for (int y = 0; y < std::min(logo.height, c_finalscreen::SAMPLE_HEIGHT); y++)
            for (int x = 0; x < std::min(logo.width, c_finalscreen::SAMPLE_WIDTH); x++)
                if (MOX_GetPixel(x, y, logo) & 0xFFFFFFu) spots.push_back({x, y});
    }

    bool newCircle(int x, int y) {
        for (const Circle &q : circles)
            if (CircleContains(q, x, y)) return false;
        if (circles.size() >= capacity) return false;
        int g = 160 + SceneRandom(&random) % 64;
        circles.emplace_back(x, y,
                             static_cast<int>(0xFF000000u + static_cast<unsigned>(g) * 0x010101u),
                             0.9f, 0.06f, true);
        return true;
    }

    bool Edges(const Circle &q) const {
        return q.x + q.r > logo.width || q.x - q.r < 0 || q.y + q.r > logo.height || q.y - q.r < 0;
    }

    static void DrawCircleOutline(int x, int y, float r, int colour, s_bitmap bitmap) {
        int xi = 0;
        int yi;
        do {
            yi = static_cast<int>(std::sqrt(r * r - static_cast<float>(xi * xi)));
            MOX_DrawPixel(x + xi, y + yi, colour, bitmap);
            MOX_DrawPixel(x - xi, y + yi, colour, bitmap);
            MOX_DrawPixel(x + xi, y - yi, colour, bitmap);
            MOX_DrawPixel(x - xi, y - yi, colour, bitmap);
            MOX_DrawPixel(x + yi, y + xi, colour, bitmap);
            MOX_DrawPixel(x - yi, y + xi, colour, bitmap);
            MOX_DrawPixel(x + yi, y - xi, colour, bitmap);
            MOX_DrawPixel(x - yi, y - xi, colour, bitmap);
            xi++;
        } while (xi <= yi);
    }

    // One of the non-black pixels, row by row, picked by one random number.
    bool PickPoint(int *x, int *y) {
        if (spots.empty()) return false;
        const s_point &p = spots[static_cast<size_t>(SceneRandom(&random)) % spots.size()];
        *x = p.x;
        *y = p.y;
        return true;
    }

    void Tick() {
        int attempts = 0;
        for (int n = 0; n < c_finalscreen::NEW_PER_TICK; n++) {
            bool placed = false;
            while (!placed && attempts < c_finalscreen::ATTEMPTS_PER_TICK) {
                int x, y;
                if (!PickPoint(&x, &y)) {
                    attempts = c_finalscreen::ATTEMPTS_PER_TICK;
                    break;
                }
                attempts++;
                placed = newCircle(x, y);
            }
        }
        for (Circle &q : circles) {
            if (q.growing) {
                if (Edges(q)) {
                    q.growing = false;
                } else {
                    for (const Circle &o : circles) {
                        if (!o.Equals(q) && CirclesTouch(q, o)) {
                            q.growing = false;
                            break;
                        }
                    }
                }
            }
            if (q.growing) q.r += q.growfactor;
        }
    }

    void Paint() {
        float t = time / 10000.0f;
        memset(canvas.data, 0, static_cast<size_t>(canvas.datasize));
        float a = 100 - 1.2f * t;
        if (a < 1.5f) a = 1.5f;
        for (size_t i = 0; i < circles.size(); i++) {
            const Circle &q = circles[i];
            int ii = static_cast<int>(i);
            int dx = static_cast<int>(std::sin(0.411 * t + ii) * a);
            int dy = static_cast<int>(std::sin(0.3917178 * t + ii) * a - 64);
            DrawCircleOutline(q.x + dx, q.y + dy, q.r, q.color, canvas);
        }
    }

private:
    s_scenerandom random = {};
    size_t capacity = 0;
    struct s_point {
        int x, y;
    };
    std::vector<s_point> spots;
};

// The final scene: the end logo rebuilt from grey circle outlines that appear on its
// non-black pixels, grow until they nearly touch, and drift on settling sine paths. Ticks
// place and grow the circles; drawing paints their outlines into the scene's own canvas,
// which is then uploaded and drawn.
//
// The rules are those of the plain algorithm (every new point tested against every circle,
// every growing circle against every other); a grid of circle centres, a cache of logo
// pixels known to be covered, table-driven wobble offsets and clearing only the painted
// tiles of the canvas keep a tick and a picture cheap as the circles accumulate, without
// changing a single decision, pixel or random draw.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/coredebug.h"
#include "demosystem/invite/intro.h"

namespace {

// Canvas tiles for clearing only what the last picture painted.
constexpr int TILE_W = 64;
constexpr int TILE_H = 8;

bool TestBit(const std::vector<uint64_t> &bits, size_t n) { return (bits[n >> 6] >> (n & 63)) & 1; }
void SetBit(std::vector<uint64_t> &bits, size_t n) { bits[n >> 6] |= uint64_t{1} << (n & 63); }

double Distance(const Circle &q, int x, int y) {
    double dx = q.x - x;
    double dy = q.y - y;
    return std::sqrt(dx * dx + dy * dy);
}

// 0xAARRGGBB to the canvas's own byte order (red lowest), as MOX_DrawPixel stores it.
uint32_t ToCanvas(int colour) {
    uint32_t c = static_cast<uint32_t>(colour);
    return (c & 0xFF00FF00u) | ((c >> 16) & 0xFFu) | ((c & 0xFFu) << 16);
}

// trunc(sin(base + i) * a + shift) for successive integers i, as the direct expression gives
// it, without a sine per circle: sin(base + i) comes from the angle-addition formula with the
// sines and cosines of the integers kept in tables. That differs from the library's sine of
// the rounded sum by far less than 1e-9; only a result that close to an integer, where the
// truncation could go either way, is recomputed the direct way.
class Wobble {
public:
    Wobble(double base, float a, double shift, const std::vector<double> &sinofindex,
           const std::vector<double> &cosofindex)
        : base_(base),
          a_(a),
          shift_(shift),
          sinbase_(std::sin(base)),
          cosbase_(std::cos(base)),
          sini_(sinofindex),
          cosi_(cosofindex) {}

    int At(int i) const {
        double v = (sinbase_ * cosi_[i] + cosbase_ * sini_[i]) * a_ + shift_;
        if (std::fabs(v - std::nearbyint(v)) < 1e-6) v = std::sin(base_ + i) * a_ + shift_;
        return static_cast<int>(v);
    }

private:
    double base_;
    float a_;
    double shift_;
    double sinbase_, cosbase_;
    const std::vector<double> &sini_, &cosi_;
};

}  // namespace

Circle::Circle(int x_, int y_, int color_, float r_, float growfactor_, bool growing_)
    : x(x_), y(y_), color(color_), r(r_), growfactor(growfactor_), growing(growing_) {}

bool Circle::Equals(const Circle &other) const {
    return x == other.x && y == other.y && r == other.r && growfactor == other.growfactor &&
           growing == other.growing;
}

bool CircleContains(const Circle &q, int x, int y) { return Distance(q, x, y) < q.r; }

bool CirclesTouch(const Circle &q, const Circle &o) {
    return q.r + o.r > Distance(q, o.x, o.y) - 2;
}

c_finalscreen::c_finalscreen() : numcircles(0), numspots(0), maxcircles(0) {}

void c_finalscreen::Init(c_demo *demo) {
    core_log(LOG_PROGRESS, "scene.init", "- Init Final\n");
    bmp_endlogo = static_cast<s_bitmap *>(GetSceneResource(demo, "endlogo", RESOURCE_TEXTURE));
    bmp_finalbg = bmp_endlogo;

    // One canvas for the run: a second Init reuses it instead of listing another bitmap.
    if (!bmp_effect.data || bmp_effect.width != demo->renderwidth ||
        bmp_effect.height != demo->renderheight) {
        MOX_CreateBitmap(demo->renderwidth, demo->renderheight, &bmp_effect);
    }
    // The whole canvas counts as painted until the first picture has cleared it.
    tilesx = bmp_effect.data ? (bmp_effect.width + TILE_W - 1) / TILE_W : 0;
    tilesy = bmp_effect.data ? (bmp_effect.height + TILE_H - 1) / TILE_H : 0;
    dirtytiles.assign(static_cast<size_t>(tilesx) * tilesy, 1);

    maxcircles = 0;

    logowidth = bmp_endlogo ? std::max(bmp_endlogo->width, 0) : 0;
    logoheight = bmp_endlogo ? std::max(bmp_endlogo->height, 0) : 0;
    // Circle centres are distinct points of the sampled part of the logo, so that many
    // slots always suffice.
    int sw = std::min(logowidth, SAMPLE_WIDTH);
    int sh = std::min(logoheight, SAMPLE_HEIGHT);
    circlestore.assign(static_cast<size_t>(sw) * sh, Circle());
    circles = circlestore.empty() ? nullptr : circlestore.data();

    nonblack.clear();
    for (int y = 0; y < sh; y++) {
        for (int x = 0; x < sw; x++) {
            if (MOX_GetPixel(x, y, *bmp_endlogo) & 0xFFFFFFu) nonblack.push_back(y * sw + x);
        }
    }
    samplewidth = sw;
    sampleheight = sh;

    gridw = (sw + CELL - 1) / CELL;
    gridh = (sh + CELL - 1) / CELL;
    grid.assign(static_cast<size_t>(gridw) * gridh, std::vector<int>());
    Restart(demo);
}

void c_finalscreen::Restart(c_demo *) {
    // Slots past numcircles are overwritten as circles are placed; the grid cells keep their
    // memory for the next run of placements.
    SceneSeed(&random, 0xDEADBEEF);
    numcircles = 0;
    maxradius = 0;
    coveredbits.assign((static_cast<size_t>(samplewidth) * sampleheight + 63) / 64, 0);
    for (std::vector<int> &cell : grid) cell.clear();
}

bool c_finalscreen::PickPoint(int *x, int *y) {
    // Uniform over the non-black pixels, as drawing points of the whole area until one is
    // non-black would be, but in one draw however small the logo.
    if (nonblack.empty()) return false;
    int p = nonblack[static_cast<size_t>(SceneRandom(&random)) % nonblack.size()];
    *x = p % samplewidth;
    *y = p / samplewidth;
    return true;
}

void c_finalscreen::CellRange(double x0, double y0, double x1, double y1, int *cx0, int *cy0,
                              int *cx1, int *cy1) const {
    auto cell = [](double v, int n) {
        int c = static_cast<int>(std::floor(v / CELL));
        return std::clamp(c, 0, n - 1);
    };
    *cx0 = cell(x0, gridw);
    *cx1 = cell(x1, gridw);
    *cy0 = cell(y0, gridh);
    *cy1 = cell(y1, gridh);
}

bool c_finalscreen::AnyCircleContains(int x, int y) {
    bool sampled = x >= 0 && y >= 0 && x < samplewidth && y < sampleheight;
    size_t p = sampled ? static_cast<size_t>(y) * samplewidth + x : 0;
    if (sampled && TestBit(coveredbits, p)) return true;
    if (grid.empty()) return false;

    // A containing circle has its centre within its radius, so within maxradius.
    double reach = maxradius + 1.0;
    int cx0, cy0, cx1, cy1;
    CellRange(x - reach, y - reach, x + reach, y + reach, &cx0, &cy0, &cx1, &cy1);
    for (int cy = cy0; cy <= cy1; cy++) {
        for (int cx = cx0; cx <= cx1; cx++) {
            for (int i : grid[static_cast<size_t>(cy) * gridw + cx]) {
                if (CircleContains(circles[i], x, y)) {
                    // Radii never shrink, so the point stays covered.
                    if (sampled) SetBit(coveredbits, p);
                    return true;
                }
            }
        }
    }
    return false;
}

bool c_finalscreen::TouchesAnother(const Circle &q) const {
    if (grid.empty()) return false;
    double reach = q.r + maxradius + 3.0;
    int cx0, cy0, cx1, cy1;
    CellRange(q.x - reach, q.y - reach, q.x + reach, q.y + reach, &cx0, &cy0, &cx1, &cy1);
    for (int cy = cy0; cy <= cy1; cy++) {
        for (int cx = cx0; cx <= cx1; cx++) {
            for (int i : grid[static_cast<size_t>(cy) * gridw + cx]) {
                const Circle &o = circles[i];
                if (!o.Equals(q) && CirclesTouch(q, o)) return true;
            }
        }
    }
    return false;
}

Circle *c_finalscreen::newCircle(int x, int y) {
    if (AnyCircleContains(x, y)) return nullptr;
    if (numcircles >= Capacity()) return nullptr;

    int g = 160 + SceneRandom(&random) % 64;
    Circle &q = circles[numcircles];
    q = Circle(x, y, static_cast<int>(0xFF000000u + static_cast<uint32_t>(g) * 0x010101u), 0.9f,
               0.06f, true);
    maxradius = std::max(maxradius, q.r);
    int cx, cy, unused0, unused1;
    CellRange(x, y, x, y, &cx, &cy, &unused0, &unused1);
    grid[static_cast<size_t>(cy) * gridw + cx].push_back(numcircles);
    numcircles++;
    return &q;
}

bool c_finalscreen::Edges(const Circle &q) const {
    return q.x + q.r > logowidth || q.x - q.r < 0 || q.y + q.r > logoheight || q.y - q.r < 0;
}

void c_finalscreen::GrowCircle(Circle &q) {
    if (q.growing) {
        q.r += q.growfactor;
        maxradius = std::max(maxradius, q.r);
    }
}

void c_finalscreen::DrawCircleOutline(int x, int y, float r, int colour, s_bitmap bitmap) {
    if (!bitmap.data) return;
    int w = bitmap.width;
    int h = bitmap.height;
    int reach = static_cast<int>(r) + 1;
    if (x + reach < 0 || y + reach < 0 || x - reach >= w || y - reach >= h) return;

    uint32_t c = ToCanvas(colour);
    unsigned *data = bitmap.data;
    // Every point lies within `reach` of the centre: inside the canvas no point needs the
    // bounds test that MOX_DrawPixel makes.
    bool inside = x - reach >= 0 && y - reach >= 0 && x + reach < w && y + reach < h;
    auto plot = [=](int px, int py) {
        if (inside || (px >= 0 && py >= 0 && px < w && py < h)) data[px + py * w] = c;
    };
    int xi = 0;
    int yi;
    do {
        yi = static_cast<int>(std::sqrt(r * r - static_cast<float>(xi * xi)));
        plot(x + xi, y + yi);
        plot(x - xi, y + yi);
        plot(x + xi, y - yi);
        plot(x - xi, y - yi);
        plot(x + yi, y + xi);
        plot(x - yi, y + xi);
        plot(x + yi, y - xi);
        plot(x - yi, y - xi);
        xi++;
    } while (xi <= yi);
}

void c_finalscreen::MarkPainted(int x0, int y0, int x1, int y1) {
    if (x1 < 0 || y1 < 0 || x0 >= bmp_effect.width || y0 >= bmp_effect.height) return;
    int tx0 = std::max(x0, 0) / TILE_W, tx1 = std::min(x1, bmp_effect.width - 1) / TILE_W;
    int ty0 = std::max(y0, 0) / TILE_H, ty1 = std::min(y1, bmp_effect.height - 1) / TILE_H;
    for (int ty = ty0; ty <= ty1; ty++)
        for (int tx = tx0; tx <= tx1; tx++) dirtytiles[static_cast<size_t>(ty) * tilesx + tx] = 1;
}

void c_finalscreen::ClearCanvas() {
    if (!bmp_effect.data) return;
    int w = bmp_effect.width;
    int h = bmp_effect.height;
    for (int ty = 0; ty < tilesy; ty++) {
        for (int tx = 0; tx < tilesx; tx++) {
            uint8_t &dirty = dirtytiles[static_cast<size_t>(ty) * tilesx + tx];
            if (!dirty) continue;
            dirty = 0;
            int x0 = tx * TILE_W;
            size_t bytes = static_cast<size_t>(std::min(TILE_W, w - x0)) * 4;
            for (int y = ty * TILE_H; y < std::min((ty + 1) * TILE_H, h); y++)
                memset(bmp_effect.data + static_cast<size_t>(y) * w + x0, 0, bytes);
        }
    }
}

void c_finalscreen::Tick(c_demo *) {
    // Placement: up to three new circles on non-black logo pixels, at most 1000 tries.
    int attempts = 0;
    for (int n = 0; n < NEW_PER_TICK && attempts < ATTEMPTS_PER_TICK; n++) {
        while (attempts < ATTEMPTS_PER_TICK) {
            int x, y;
            if (!PickPoint(&x, &y)) {
                attempts = ATTEMPTS_PER_TICK;
                break;
            }
            attempts++;
            if (newCircle(x, y)) break;
        }
    }

    // In placement order, so each test sees the earlier circles already grown.
    for (int i = 0; i < numcircles; i++) {
        Circle &q = circles[i];
        if (q.growing && (Edges(q) || TouchesAnother(q))) q.growing = false;
        GrowCircle(q);
    }
}

void c_finalscreen::Paint() {
    float t = time / 10000.0f;
    ClearCanvas();

    // The wobble starts at 100 pixels and settles to 1.5.
    float a = 100 - 1.2f * t;
    if (a < 1.5f) a = 1.5f;
    while (static_cast<int>(sinofindex.size()) < numcircles) {
        double n = static_cast<double>(sinofindex.size());
        sinofindex.push_back(std::sin(n));
        cosofindex.push_back(std::cos(n));
    }
    Wobble wx(0.411 * t, a, 0, sinofindex, cosofindex);
    Wobble wy(0.3917178 * t, a, -64, sinofindex, cosofindex);

    for (int i = 0; i < numcircles; i++) {
        const Circle &q = circles[i];
        int dx = wx.At(i);  // trunc(sin(0.411 t + i) * a)
        int dy = wy.At(i);  // trunc(sin(0.3917178 t + i) * a - 64)
        int cx = q.x + dx;
        int cy = q.y + dy;
        DrawCircleOutline(cx, cy, q.r, q.color, bmp_effect);

        int reach = static_cast<int>(q.r) + 1;
        MarkPainted(cx - reach, cy - reach, cx + reach, cy + reach);
    }
}

void c_finalscreen::Update(c_demo *, s_effectevent *) {
    Paint();
    if (!bmp_effect.data) return;
    MOX_UpdateBitmap(bmp_effect);
    MOX_DrawBitmap(0, 0, bmp_effect);
}

// Editor screen layout: the 1920 x 1080 design scaled to the screen, one computation for
// drawing and hit tests.
#include "demosystem/demosystem_layout.h"

#include <algorithm>
#include <cmath>

namespace {

// Design sizes (pixels of the 1920 x 1080 screen).
constexpr int ROW = 64, MARKERSTRIP = 32, WAVEFORM = 128;
constexpr int TIMELINEX = 192;
constexpr int LEAD = 160;  // time shown before the playhead once the music is past it
constexpr int DETAILSWIDTH = 380, DETAILSY = 48;
constexpr int RESOURCEX = 4, RESOURCEY = 48, LISTHEAD = 64, LISTROW = 32, LISTROWS = 16;
constexpr int LISTWIDTH = 480;
constexpr int LINESTEP = 40;
constexpr int PREVIEWSIDE = 384, PREVIEWY = 64, PREVIEWGAP = 16;
constexpr int KEYBOX = 16, MARKERBOX = 24;
// The scale is held within these bounds, so a tiny or a huge window still lays out.
constexpr float MINSCALE = 0.25f, MAXSCALE = 8.0f;

}  // namespace

int s_guilayout::Px(int design) const {
    if (design <= 0) return (int)std::lround(design * scale);
    return std::max(1, (int)std::lround(design * scale));
}

int s_guilayout::TimeX(long long t) const {
    const long long x = timelinex + sliderx + (t - position) / frames;
    return (int)std::clamp(x, -(1LL << 24), 1LL << 24);
}

long long s_guilayout::TimeAt(int x) const {
    return position + (long long)(x - timelinex - sliderx) * frames;
}

s_guilayout GuiLayout(int width, int height, int layers, int renderwidth, int renderheight,
                      float zoom, int position) {
    s_guilayout l{};
    l.width = std::max(width, 1);
    l.height = std::max(height, 1);
    const float ratio =
        std::min((float)l.width / GUI_DESIGNWIDTH, (float)l.height / GUI_DESIGNHEIGHT);
    l.scale = std::clamp(ratio, MINSCALE, MAXSCALE);
    layers = std::max(layers, 0);

    l.row = l.Px(ROW);
    l.markerstrip = l.Px(MARKERSTRIP);
    l.waveform = l.Px(WAVEFORM);
    l.timelinex = l.Px(TIMELINEX);
    l.blockheight = (layers + 2) * l.row + l.markerstrip;
    l.timeliney = l.height - l.blockheight;

    // The same stretch of music per design pixel at every size; truncated as the zoom's own
    // frames per pixel are, never below one frame.
    const double frames = std::isnan(zoom) ? 0.0 : (double)zoom * 64 / l.scale;
    l.frames = (int)std::clamp(frames, 1.0, 1e9);
    l.position = position;
    // The playhead starts at the left edge and moves right until LEAD pixels of time lie
    // before it; then the view scrolls under it.
    const long long played = std::max(position, 0) / l.frames;
    l.sliderx = (int)std::min<long long>(l.Px(LEAD), played);

    l.detailsx = l.width - l.Px(DETAILSWIDTH);
    l.detailsy = l.Px(DETAILSY);
    l.resourcex = l.Px(RESOURCEX);
    l.resourcey = l.Px(RESOURCEY);
    l.linestep = l.Px(LINESTEP);
    l.listtop = l.resourcey + l.Px(LISTHEAD);
    l.listrow = l.Px(LISTROW);
    l.listwidth = l.Px(LISTWIDTH);
    // As many rows as fit above the timeline block, at most the design's sixteen.
    l.listrows = std::clamp((l.timeliney - l.listtop) / l.listrow, 0, LISTROWS);

    // The preview fills what lies between the side panels and above the timeline block,
    // in the production's aspect ratio, centred across.
    const int left = l.Px(PREVIEWSIDE);
    const int roomw = l.width - 2 * left;
    const int roomh = l.timeliney - l.Px(PREVIEWGAP) - l.Px(PREVIEWY);
    l.previewy = l.Px(PREVIEWY);
    if (roomw > 0 && roomh > 0 && renderwidth > 0 && renderheight > 0) {
        const double aspect = (double)renderheight / renderwidth;
        double w = roomw, h = roomw * aspect;
        if (h > roomh) h = roomh, w = roomh / aspect;
        l.previeww = std::max(1, (int)w);
        l.previewh = std::max(1, (int)h);
        l.previewx = left + (roomw - l.previeww) / 2;
    } else {
        l.previewx = left;
    }
    l.keybox = l.Px(KEYBOX);
    l.markerbox = l.Px(MARKERBOX);
    return l;
}

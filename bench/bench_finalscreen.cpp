// Frame budget of the final scene: 3600 consecutive calls (one minute at 60 frames per
// second, time advancing 735 sample frames per call) on a 1920 x 1080 end logo, reporting
// the median and the slowest of the last 600 calls for
//   step:    the scene's own work (placement, growth, painting the canvas in memory),
//   present: uploading the canvas and drawing it (GL under Mesa, finished with glFinish),
// and, unless --no-reference is given, the plain algorithm's step over the same calls.
// Run under Xvfb:
//   xvfb-run -a -s "-screen 0 1920x1080x24" ./build/<dir>/bench_finalscreen
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "demosystem/test_finalscreen_reference.h"
#include "mox/mox.h"

namespace {

constexpr int CALLS = 3600;
constexpr int TAIL = 600;
constexpr int STEP_FRAMES = 735;  // 44100 / 60

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Tail {
    double median, slowest;
};

Tail LastCalls(const std::vector<double> &ms) {
    std::vector<double> t(ms.end() - TAIL, ms.end());
    std::sort(t.begin(), t.end());
    return {(t[TAIL / 2 - 1] + t[TAIL / 2]) / 2, t.back()};
}

c_demo demo;
s_bitmap logo;
c_finalscreen scene;

}  // namespace

int main(int argc, char **argv) {
    bool reference = !(argc > 1 && strcmp(argv[1], "--no-reference") == 0);
    if (mox_initdriver() != 0) return 1;
    MOX_InitVideo(1920, 1080, 0);
    if (!MOX_VideoReady()) {
        fprintf(stderr, "no GL context (run under Xvfb)\n");
        return 1;
    }

    std::vector<unsigned> px;
    MakeEndLogo(1920, 1080, &px);
    MOX_CreateBitmap(1920, 1080, &logo);
    FillBitmap(&logo, px);
    long nonblack = std::count_if(px.begin(), px.end(), [](unsigned p) { return p & 0xFFFFFF; });

    demo.renderwidth = 1920;
    demo.renderheight = 1080;
    s_demoresource &r = demo.resource[demo.numresources++];
    strcpy(r.name, "endlogo");
    r.type = RESOURCE_TEXTURE;
    r.datapointer = &logo;
    r.loadOK = 1;
    scene.Init(&demo);

    std::vector<double> step(CALLS), present(CALLS), total(CALLS);
    for (int k = 0; k < CALLS; k++) {
        scene.time = k * STEP_FRAMES;
        auto t0 = std::chrono::steady_clock::now();
        scene.Step();
        auto t1 = std::chrono::steady_clock::now();
        MOX_UpdateBitmap(scene.bmp_effect);
        MOX_DrawBitmap(0, 0, scene.bmp_effect);
        glFinish();
        auto t2 = std::chrono::steady_clock::now();
        step[k] = Ms(t1 - t0);
        present[k] = Ms(t2 - t1);
        total[k] = Ms(t2 - t0);
    }
    int growing = 0;
    for (int i = 0; i < scene.numcircles; i++) growing += scene.circles[i].growing;

    printf("end logo 1920 x 1080, %ld non-black pixels (%.1f%%)\n", nonblack,
           100.0 * nonblack / (1920 * 1080));
    printf("after %d calls: %d circles, %d still growing\n", CALLS, scene.numcircles, growing);
    printf("last %d calls, milliseconds     median   slowest\n", TAIL);
    Tail s = LastCalls(step), p = LastCalls(present), t = LastCalls(total);
    printf("  step (scene's own work)      %7.3f  %8.3f  %s\n", s.median, s.slowest,
           s.slowest < 4.0 ? "(under 4 ms)" : "(OVER 4 ms)");
    printf("  present (upload + draw)      %7.3f  %8.3f\n", p.median, p.slowest);
    printf("  whole Update                 %7.3f  %8.3f\n", t.median, t.slowest);

    if (reference) {
        ReferenceFinalScreen ref;
        ref.Init(logo, 1920, 1080);
        std::vector<double> refstep(CALLS);
        for (int k = 0; k < CALLS; k++) {
            ref.time = k * STEP_FRAMES;
            auto t0 = std::chrono::steady_clock::now();
            ref.Step();
            refstep[k] = Ms(std::chrono::steady_clock::now() - t0);
        }
        Tail rs = LastCalls(refstep);
        printf("  plain algorithm's step       %7.3f  %8.3f\n", rs.median, rs.slowest);
        printf("  speed-up of the step: %.1fx (median), %.1fx (slowest)\n", rs.median / s.median,
               rs.slowest / s.slowest);
        bool same = static_cast<int>(ref.circles.size()) == scene.numcircles;
        for (int i = 0; same && i < scene.numcircles; i++) {
            const Circle &a = ref.circles[i], &b = scene.circles[i];
            same = a.Equals(b) && a.color == b.color;
        }
        same = same && memcmp(ref.canvaspixels.data(), scene.bmp_effect.data,
                              ref.canvaspixels.size() * 4) == 0;
        printf("  same circles and canvas as the plain algorithm: %s\n", same ? "yes" : "NO");
    }
    return 0;
}

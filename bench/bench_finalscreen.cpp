// Frame budget of the final scene: 3600 consecutive frames (one minute at 60 frames per
// second, one tick and time advancing 735 sample frames per frame) on a 1920 x 1080 end
// logo. For the last 600 frames it reports the median and the slowest of
//   step:    the scene's own work (a tick's placement and growth, painting the canvas in
//            memory), as wall time and as CPU time of this thread (which leaves out
//            preemption by other processes on a shared machine);
//   present: uploading the canvas and drawing it (GL under Mesa, finished with glFinish),
//            done in those 600 frames only: it does not change the scene's state;
// and, unless --no-reference is given, the same for the plain algorithm over the same frames
// (presenting its own canvas likewise, so both steps find the caches as a frame leaves
// them), with a check that both end with the same circles and canvas.
// The end logo is a built-in ring, block letters and bars (about 15% non-black), with
// --thin a built-in sparse one (about 1.3%, where most placement attempts fail), or the
// TGA file given as argument (e.g. the production's endlogo.tga). Run under Xvfb:
//   xvfb-run -a -s "-screen 0 1920x1080x24" ./build/<dir>/bench_finalscreen
//   (options: --no-reference, and --thin or a logo file)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_timing.h"
#include "demosystem/test_finalscreen_reference.h"
#include "mox/mox.h"

namespace {

constexpr int CALLS = 3600;
constexpr int TAIL = 600;
constexpr int STEP_FRAMES = 735;  // 44100 / 60

struct Tail {
    double median, p99, slowest;
};

Tail LastCalls(const std::vector<double> &ms) {
    std::vector<double> t(ms.end() - TAIL, ms.end());
    std::sort(t.begin(), t.end());
    return {(t[TAIL / 2 - 1] + t[TAIL / 2]) / 2, t[TAIL * 99 / 100 - 1], t.back()};
}

void Row(const char *what, const std::vector<double> &ms) {
    Tail t = LastCalls(ms);
    printf("  %-34s %8.3f %8.3f %9.3f\n", what, t.median, t.p99, t.slowest);
}

bool LoadLogo(const char *path, s_bitmap *logo) {
    FILE *f = fopen(path, "rb");
    if (!f) return false;
    std::vector<unsigned char> bytes;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    s_tgainfo info{};
    unsigned *pixels = MOX_DecodeTGA(bytes.data(), bytes.size(), &info);
    if (!pixels) return false;
    MOX_CreateBitmap(info.width, info.height, logo);
    memcpy(logo->data, pixels, static_cast<size_t>(info.width) * info.height * 4);
    free(pixels);
    return true;
}

c_demo demo;
s_bitmap logo;
c_finalscreen scene;

}  // namespace

int main(int argc, char **argv) {
    bool reference = true;
    bool thin = false;
    const char *logofile = nullptr;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--no-reference") == 0)
            reference = false;
        else if (strcmp(argv[i], "--thin") == 0)
            thin = true;
        else
            logofile = argv[i];
    }
    if (mox_initdriver() != 0) return 1;
    MOX_InitVideo(1920, 1080, 0);
    if (!MOX_VideoReady()) {
        fprintf(stderr, "no GL context (run under Xvfb)\n");
        return 1;
    }

    if (logofile) {
        if (!LoadLogo(logofile, &logo)) {
            fprintf(stderr, "cannot read %s\n", logofile);
            return 1;
        }
    } else {
        std::vector<unsigned> px;
        if (thin)
            MakeThinLogo(1920, 1080, &px);
        else
            MakeEndLogo(1920, 1080, &px);
        MOX_CreateBitmap(1920, 1080, &logo);
        FillBitmap(&logo, px);
    }
    long nonblack = 0;
    for (int i = 0; i < logo.size; i++) nonblack += (logo.data[i] & 0xFFFFFFu) != 0;

    demo.renderwidth = 1920;
    demo.renderheight = 1080;
    s_demoresource &r = demo.resource[demo.numresources++];
    strcpy(r.name, "endlogo");
    r.type = RESOURCE_TEXTURE;
    r.datapointer = &logo;
    r.loadOK = 1;
    scene.Init(&demo);

    std::vector<double> step(CALLS), stepcpu(CALLS), present(CALLS), total(CALLS);
    auto run = [&](auto &&stepfn, s_bitmap &canvas) {
        for (int k = 0; k < CALLS; k++) {
            double w0 = WallMs(), c0 = CpuMs();
            stepfn(k * STEP_FRAMES);
            double w1 = WallMs(), c1 = CpuMs();
            step[k] = w1 - w0;
            stepcpu[k] = c1 - c0;
            if (k >= CALLS - TAIL) {
                MOX_UpdateBitmap(canvas);
                MOX_DrawBitmap(0, 0, canvas);
                glFinish();
                present[k] = WallMs() - w1;
                total[k] = step[k] + present[k];
            }
        }
    };
    run(
        [](int time) {
            scene.Tick(&demo);
            scene.time = time;
            scene.Paint();
        },
        scene.bmp_effect);
    int growing = 0;
    for (int i = 0; i < scene.numcircles; i++) growing += scene.circles[i].growing;

    printf("end logo %s, %d x %d, %ld non-black pixels (%.1f%%)\n",
           logofile ? logofile
           : thin   ? "built-in thin"
                    : "built-in",
           logo.width, logo.height, nonblack, 100.0 * nonblack / logo.size);
    printf("after %d frames: %d circles, %d still growing\n", CALLS, scene.numcircles, growing);
    printf("last %d frames, milliseconds           median      99%%   slowest\n", TAIL);
    Row("step, wall", step);
    Row("step, CPU", stepcpu);
    Row("present (upload + draw), wall", present);
    Row("whole Update, wall", total);
    Tail s = LastCalls(stepcpu);
    printf("  every step of the last %d under 4 ms CPU: %s (load average %.2f)\n", TAIL,
           s.slowest < 4 ? "yes" : "NO", LoadAverage());

    if (reference) {
        static s_bitmap canvas;
        MOX_CreateBitmap(1920, 1080, &canvas);
        static ReferenceFinalScreen ref;
        ref.Init(logo, canvas);
        run(
            [](int time) {
                ref.Tick();
                ref.time = time;
                ref.Paint();
            },
            canvas);
        Row("plain algorithm's step, wall", step);
        Row("plain algorithm's step, CPU", stepcpu);
        Row("plain: whole Update, wall", total);
        Tail rs = LastCalls(stepcpu);
        printf("  plain / scene step, CPU: %.2fx (median), %.2fx (slowest)\n", rs.median / s.median,
               rs.slowest / s.slowest);
        bool same = static_cast<int>(ref.circles.size()) == scene.numcircles;
        for (int i = 0; same && i < scene.numcircles; i++) {
            const Circle &a = ref.circles[i], &b = scene.circles[i];
            same = a.Equals(b) && a.color == b.color;
        }
        same = same && memcmp(canvas.data, scene.bmp_effect.data,
                              static_cast<size_t>(canvas.datasize)) == 0;
        printf("  same circles and canvas as the plain algorithm: %s\n", same ? "yes" : "NO");
    }
    return 0;
}

// Cost of showing a scene after a jump, on the built-in production: a scene restarts at its
// event's start and catches up tick by tick, so a seek costs more than a frame of plain
// playback. Reports, against frames of plain playback measured in the same run:
//   seek:  for every function event, a cold jump to its last frame (the most ticks to catch
//          up), catch-up and drawing, against drawing that frame again (a steady frame);
//   scrub: the end scene stepped backwards frame by frame (60 frames per second of music),
//          each frame a restart, a catch-up and drawing, against drawing it again.
// Each figure is given as wall time and as CPU time of this thread: catching up runs on it
// alone, while Mesa draws on threads of its own, so the CPU time is the catch-up's cost with
// preemption by other processes of a shared machine left out.
// Scrubbing takes every frame of the end scene's last --tail seconds (default 4) and every
// 30th frame before them; --all takes every frame. Run from the build folder (it reads
// outline.dat, or the resource image or folder given as argument) under Xvfb:
//   cd build/<dir> && xvfb-run -a -s "-screen 0 1920x1080x24" ./bench_seek [--all] [--tail S]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench_timing.h"
#include "core/coredebug.h"
#include "core/corefile.h"
#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "demosystem/invite/invite.h"
#include "mox/mox.h"

namespace {

c_demo demo;

struct Cost {
    double wall, cpu;
};

struct Shown {
    int layer;
    s_effectevent *event;
    c_demofunction *scene;
    const char *name;
};

// Every function event of the production with the scene it shows.
std::vector<Shown> FunctionEvents() {
    std::vector<Shown> all;
    for (int i = 0; i < demo.numlayers; i++) {
        s_demolayer &l = demo.layer[i];
        for (int j = 0; j < l.numevents; j++) {
            s_effectevent *e = &l.event[j];
            if (e->type != EFFECT_FUNCTION || e->id < 0 || e->id >= demo.numresources) continue;
            const s_demoresource &r = demo.resource[e->id];
            c_demofunction *f =
                r.type == RESOURCE_FUNCTION && r.loadOK ? EffectScene(demo.effects, r.id) : nullptr;
            if (f) all.push_back({i, e, f, r.name});
        }
    }
    return all;
}

// One frame of the scene at `position` into its layer's framebuffer, finished.
Cost Show(const Shown &s, int position) {
    MOX_SetFrameBuffer(demo.layer[s.layer].framebuffer_id);
    demo.position = position;
    double w0 = WallMs(), c0 = CpuMs();
    RunScene(&demo, s.scene, s.event);
    glFinish();
    return {WallMs() - w0, CpuMs() - c0};
}

struct Spread {
    double median, p95, slowest;
};

Spread SpreadOf(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    size_t n = ms.size();
    return {n ? ms[n / 2] : 0, n ? ms[std::min(n - 1, n * 95 / 100)] : 0, n ? ms.back() : 0};
}

}  // namespace

int main(int argc, char **argv) {
    const char *source = "outline.dat";
    bool all = false;
    double tail = 4;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--all") == 0)
            all = true;
        else if (strcmp(argv[i], "--tail") == 0 && i + 1 < argc)
            tail = atof(argv[++i]);
        else
            source = argv[i];
    }
    if (mox_initdriver() != 0) return 1;
    MOX_InitVideo(1920, 1080, 0);
    if (!MOX_VideoReady()) {
        fprintf(stderr, "no GL context (run under Xvfb)\n");
        return 1;
    }
    if (!corefile_mountimage(source, 0) && !corefile_mountimage(source, 2)) {
        fprintf(stderr, "cannot mount %s (run from the build folder)\n", source);
        return 1;
    }
    core_setloglevel(LOG_WARNING);
    Soundsystem_Init(44100, 8, 2);
    Soundsystem_CloseAudio();
    strcpy(demo.resfolder, "data_invite");
    demo.effects = invite_effects;
    demo.Load("demo.fentro");
    const int rate =
        demo.demomusic.samplerate ? static_cast<int>(demo.demomusic.samplerate) : 44100;
    const int frame = rate / 60;

    std::vector<Shown> shown = FunctionEvents();
    if (shown.empty()) {
        fprintf(stderr, "no scenes in the production\n");
        return 1;
    }

    printf(
        "seek to the last frame of each event (ms)    ticks |    wall: seek steady ratio |"
        "     CPU: seek steady ratio\n");
    Cost slowest = {0, 0}, slowsteady = {1, 1};
    const char *slowname = "";
    for (const Shown &s : shown) {
        const int last = s.event->t + s.event->length - 1;
        s.scene->clock = {};
        Cost seek = Show(s, last);
        Cost steady = Show(s, last);
        printf(
            "  %-12s at %8.3f s                 %6lld | %12.1f %6.1f %5.1fx | %12.1f %6.1f "
            "%5.1fx\n",
            s.name, static_cast<double>(last) / rate, s.scene->clock.ticks, seek.wall, steady.wall,
            seek.wall / steady.wall, seek.cpu, steady.cpu, seek.cpu / steady.cpu);
        if (seek.cpu > slowest.cpu) {
            slowest = seek;
            slowsteady = steady;
            slowname = s.name;
        }
    }
    printf("  slowest seek (by CPU): %s, %.1f ms wall, %.1f ms CPU (%.1fx a steady frame's CPU)\n",
           slowname, slowest.wall, slowest.cpu, slowest.cpu / slowsteady.cpu);

    // The end scene: the function event that ends last.
    const Shown &end =
        *std::max_element(shown.begin(), shown.end(), [](const Shown &a, const Shown &b) {
            return a.event->t + a.event->length < b.event->t + b.event->length;
        });
    const int first = end.event->t, last = end.event->t + end.event->length - 1;
    const int dense = last - static_cast<int>(tail * rate);
    std::vector<int> positions;
    for (int p = last; p >= first; p -= frame) {
        const int index = (last - p) / frame;
        if (all || p >= dense || index % 30 == 0) positions.push_back(p);
    }

    std::vector<double> backward, steady, backwardcpu, steadycpu;
    int over = 0;
    end.scene->clock = {};
    for (int p : positions) {
        Cost b = Show(end, p), s = Show(end, p);
        backward.push_back(b.wall);
        backwardcpu.push_back(b.cpu);
        steady.push_back(s.wall);
        steadycpu.push_back(s.cpu);
        over += b.wall > 250;
    }
    printf("scrubbing backwards through %s (%.1f s to %.1f s), %zu frames (ms)\n", end.name,
           static_cast<double>(last) / rate, static_cast<double>(first) / rate, positions.size());
    printf("                                median      95%%   slowest\n");
    auto row = [](const char *what, const std::vector<double> &ms) {
        Spread s = SpreadOf(ms);
        printf("  %-28s %8.1f %8.1f %9.1f\n", what, s.median, s.p95, s.slowest);
        return s;
    };
    Spread bw = row("backwards, wall", backward), sw = row("steady (reference), wall", steady);
    Spread bc = row("backwards, CPU", backwardcpu), sc = row("steady (reference), CPU", steadycpu);
    printf(
        "  backwards / steady: wall %.1fx, CPU %.1fx (median); slowest %.1f ms wall, %.1f ms"
        " CPU; frames over 250 ms wall: %d\n",
        bw.median / sw.median, bc.median / sc.median, bw.slowest, bc.slowest, over);
    printf("  (load average %.2f)\n", LoadAverage());
    return 0;
}

// Shader reload latency: from the moment a fragment shader file is written to the end of the
// first editor frame whose picture shows the new version, through the editor's whole frame
// loop (refresh wait, playback, editor drawing and input, presentation).
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" ./bench_reload [PRODUCTION]
//
// With a production folder (build/main/production) a copy of it is loaded with its scenes and
// the editor stands inside its first shader event; without one, a small production of five
// shader layers is made. Each round writes the shader as another solid colour and waits for
// that colour in the layer's framebuffer. Prints the median and the slowest of the rounds, the
// frames it took and the editor's frame time (on a loaded machine the frame time dominates).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "core/coredebug.h"
#include "core/corefile.h"
#include "coresound/audiodriver.h"
#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "demosystem/invite/invite.h"
#include "mox/mox.h"

namespace fs = std::filesystem;

namespace {

constexpr int WIDTH = 1920, HEIGHT = 1080;
constexpr int ROUNDS = 15;
constexpr double GIVEUPMS = 5000;

c_demo demo;

void Write(const fs::path &path, const std::string &text) {
    std::ofstream(path, std::ios::binary).write(text.data(), (std::streamsize)text.size());
}

std::string ColourShader(int r, int g, int b) {
    char text[256];
    snprintf(text, sizeof text,
             "#version 120\nvarying vec2 uvCoord;\nvoid main() {\n"
             "  gl_FragColor = vec4(%d.0 / 255.0, %d.0 / 255.0, %d.0 / 255.0, 1.0);\n}\n",
             r, g, b);
    return text;
}

// A small production: five layers, each a shader event over the whole music.
void MakeProduction(const fs::path &dir) {
    std::string project =
        "#title \"reload bench\"\n#renderwidth 1920\n#renderheight 1080\n#demotype 1\n"
        "#resources\n";
    for (int i = 0; i < 5; i++) {
        const std::string file = "fx" + std::to_string(i) + ".glsl";
        Write(dir / file, ColourShader(40 * i, 0, 0));
        project += "#shader " + std::to_string(i) + " \"fx" + std::to_string(i) + "\" \"" + file +
                   "\" :0\n";
    }
    for (int i = 0; i < 5; i++) {
        project += "#layer \"l" + std::to_string(i) + "\"\n#event 0,2646000,3," +
                   std::to_string(i) + ",4:0,0,0,0\n";
    }
    Write(dir / "demo.fentro", project);
}

unsigned LayerPixel(int layer) {
    s_framebuffer *keep = MOX_FrameBuffer;
    MOX_SetFrameBuffer(demo.layer[layer].framebuffer_id);
    unsigned char p[4] = {0, 0, 0, 0};
    glFinish();
    glReadPixels(MOX_GetFrameBufferWidth() / 2, MOX_GetFrameBufferHeight() / 2, 1, 1, GL_RGBA,
                 GL_UNSIGNED_BYTE, p);
    if (keep) MOX_SetFrameBuffer(keep->id);
    return (unsigned)p[0] << 16 | (unsigned)p[1] << 8 | p[2];
}

}  // namespace

int main(int argc, char **argv) {
    core_setloglevel(LOG_WARNING);
    char templ[] = "/tmp/fentro_reload_XXXXXX";
    if (!mkdtemp(templ)) return 1;
    const fs::path dir = templ;
    const bool production = argc > 1;
    std::error_code error;
    if (production) {
        fs::copy(argv[1], dir, fs::copy_options::recursive, error);
        if (error) {
            core_log(LOG_ERROR, "bench.reload_copy", "%s could not be copied: %s\n", argv[1],
                     error.message().c_str());
            return 1;
        }
    } else {
        MakeProduction(dir);
    }

    if (mox_initdriver() != 0) return 1;
    MOX_InitVideo(WIDTH, HEIGHT, MOX_VIDEO_HIDDEN);
    Soundsystem_Init(44100, 8, 2);
    audiodriver_close();  // the position is set by the benchmark alone
    if (!corefile_mountimage(dir.c_str(), 2)) return 1;
    if (production) demo.effects = invite_effects;
    demo.Load("demo.fentro");
    static s_font font{};
    demo.InitGUI(WIDTH, HEIGHT, &font, &font, nullptr);

    // The first shader event: its layer, its file and a time inside it.
    int layer = -1, at = 0;
    std::string file;
    for (int l = 0; l < demo.numlayers && layer < 0; l++) {
        for (int e = 0; e < demo.layer[l].numevents; e++) {
            const s_effectevent &ev = demo.layer[l].event[e];
            if (ev.type != EFFECT_SHADER || ev.id < 0 || ev.id >= demo.numresources) continue;
            layer = l;
            at = ev.t + ev.length / 2;
            file = demo.resource[ev.id].filename;
            break;
        }
    }
    if (layer < 0) {
        core_log(LOG_ERROR, "bench.reload_no_shader", "no shader event in the production\n");
        return 1;
    }
    auto frame = [&] {
        MOX_WaitRefresh();
        Soundsystem_SetSoundOffset(&demo.demomusic, (uint64_t)at);
        MOX_ClearFrameBuffer(0);
        MOX_SetPostShader(-1);
        demo.HandleDemo();
        demo.UpdateGUI();
        MOX_SwapBuffers();
    };
    for (int i = 0; i < 10; i++) frame();

    std::vector<double> latency;
    std::vector<double> frametimes;
    std::vector<int> framecounts;
    for (int round = 0; round < ROUNDS; round++) {
        const int r = 10 + 16 * round, g = 200 - 8 * round, b = 77;
        const unsigned want = (unsigned)r << 16 | (unsigned)g << 8 | (unsigned)b;
        const double start = WallMs();
        Write(dir / file, ColourShader(r, g, b));
        double seen = -1;
        int frames = 0;
        while (WallMs() - start < GIVEUPMS) {
            const double before = WallMs();
            frame();
            frames++;
            frametimes.push_back(WallMs() - before);
            const unsigned got = LayerPixel(layer);
            auto near = [](unsigned a, unsigned b) {
                for (int s = 0; s < 24; s += 8) {
                    if (std::abs((int)(a >> s & 255) - (int)(b >> s & 255)) > 2) return false;
                }
                return true;
            };
            if (near(got, want)) {
                seen = WallMs() - start;
                break;
            }
        }
        if (seen < 0) {
            core_log(LOG_ERROR, "bench.reload_timeout", "round %d: no new picture in %.0f ms\n",
                     round, GIVEUPMS);
            return 1;
        }
        latency.push_back(seen);
        framecounts.push_back(frames);
        // Settle between rounds.
        for (int i = 0; i < 3; i++) frame();
    }
    std::sort(latency.begin(), latency.end());
    std::sort(frametimes.begin(), frametimes.end());
    std::sort(framecounts.begin(), framecounts.end());
    core_log(
        LOG_ERROR, "bench.reload_latency",
        "shader reload, write to first frame showing it (%s, %s, %d rounds): median %.1f ms, "
        "slowest %.1f ms, fastest %.1f ms; frames until shown: median %d, most %d; editor frame "
        "median %.1f ms; load %.2f\n",
        production ? argv[1] : "five shader layers", file.c_str(), ROUNDS,
        latency[latency.size() / 2], latency.back(), latency.front(),
        framecounts[framecounts.size() / 2], framecounts.back(), frametimes[frametimes.size() / 2],
        LoadAverage());
    demo.Release();
    corefile_closeimage();
    fs::remove_all(dir, error);
    return 0;
}

// libFuzzer target for the project file: any text, read through the file layer from a
// scratch directory that also holds a small picture, sound and shader it may name, loads
// into a fresh demo object (resources included, without a GL context) whose tables all stay
// within their capacities. No effect table is handed over, or the production's when
// FENTRO_FUZZ_SCENES is set. The loaded production is evaluated at its key times, played for
// a frame, saved and loaded again, then released: anything it leaves behind is a leak.
#include "demosystem/demosystem.h"
#include "demosystem/invite/invite.h"
#include "fuzz_scratch.h"
#include "mox/mox.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The table handed to every demo object the target loads.
s_effecttable effects = {};

// A 16 x 9, 32-bit, top-left picture whose first row marks glyphs at columns 3, 7 and 12.
std::vector<uint8_t> picture() {
    std::vector<uint8_t> f = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 9, 0, 32, 0x20};
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool marker = y == 0 && (x == 3 || x == 7 || x == 12);
            const uint8_t a = y == 0 ? (marker ? 255 : 0) : 255;
            f.insert(f.end(), {(uint8_t)(x * 16), (uint8_t)(y * 28), 90, a});
        }
    return f;
}

// 16-bit stereo at 44100 Hz, four frames.
std::vector<uint8_t> sound() {
    std::vector<uint8_t> f(44 + 16, 0);
    auto put = [&f](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) f[at + i] = (uint8_t)(v >> (8 * i));
    };
    memcpy(&f[0], "RIFF", 4);
    put(4, 36 + 16, 4);
    memcpy(&f[8], "WAVEfmt ", 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, 2, 2);
    put(24, 44100, 4);
    put(28, 44100 * 4, 4);
    put(32, 4, 2);
    put(34, 16, 2);
    memcpy(&f[36], "data", 4);
    put(40, 16, 4);
    return f;
}

void check(const c_demo &d) {
    if (d.numlayers < 0 || d.numlayers > DEMO_MAXLAYERS) abort();
    if (d.numresources < 0 || d.numresources > DEMO_MAXRESOURCES) abort();
    if (d.nummarkers < 0 || d.nummarkers > DEMO_MAXMARKERS) abort();
    if (strnlen(d.title, DEMO_NAMESIZE) == DEMO_NAMESIZE) abort();
    if (strnlen(d.musicfilename, DEMO_NAMESIZE) == DEMO_NAMESIZE) abort();
    for (int i = 0; i < d.numlayers; ++i) {
        const s_demolayer &l = d.layer[i];
        if (strnlen(l.name, DEMO_NAMESIZE) == DEMO_NAMESIZE) abort();
        if (l.numevents < 0 || l.numevents > DEMO_MAXEVENTS) abort();
        if (l.numevents_value < 1 || l.numevents_value > DEMO_MAXKEYS) abort();
        if (l.numevents_transform < 0 || l.numevents_transform > DEMO_MAXKEYS) abort();
        if (l.numevents_camera < 0 || l.numevents_camera > DEMO_MAXKEYS) abort();
        for (int e = 0; e < l.numevents; ++e) {
            const s_effectevent &ev = l.event[e];
            if (!ev.value || ev.numvalues < 0 || ev.numvalues > DEMO_MAXVALUES) abort();
            if (ev.id < 0 || ev.id >= DEMO_MAXRESOURCES) abort();
        }
    }
    for (int i = 0; i < d.numresources; ++i) {
        const s_demoresource &r = d.resource[i];
        if (strnlen(r.name, DEMO_NAMESIZE) == DEMO_NAMESIZE) abort();
        if (strnlen(r.filename, DEMO_NAMESIZE) == DEMO_NAMESIZE) abort();
        if (r.numparams < DEMO_BUILTINPARAMS || r.numparams > DEMO_MAXPARAMS) abort();
        for (int j = 0; j < r.numparams; ++j)
            if (!r.param[j] || strnlen(r.param[j], DEMO_PARAMSIZE) == DEMO_PARAMSIZE) abort();
        if (r.type == RESOURCE_SPRITESHEET && r.id >= 0 && r.id < DEMO_MAXRESOURCES) {
            const s_spritesheet &s = d.resource_spritesheet[r.id];
            if (s.numsprites != s.columns * s.rows || s.numsprites < 0) abort();
            if (s.numsprites > 0 && !s.sprite) abort();
        }
    }
}

// Reads every track of every layer at the times where something changes.
void evaluate(c_demo &d) {
    for (int i = 0; i < d.numlayers; ++i) {
        s_demolayer &l = d.layer[i];
        std::vector<int> times = {0, 1, INT_MAX};
        for (int k = 0; k < l.numevents_value && k < 8; ++k) times.push_back(l.event_value[k].t);
        for (int k = 0; k < l.numevents_transform && k < 8; ++k)
            times.push_back(l.event_transform[k].t);
        for (int k = 0; k < l.numevents && k < 8; ++k)
            times.push_back(l.event[k].t < INT_MAX ? l.event[k].t + 1 : INT_MAX);
        volatile float sum = 0;
        for (int t : times) {
            d.position = t;
            for (int type = VALUE_NONE; type <= VALUE_EFFECTVALUE2; ++type)
                sum = sum + d.GetValue(&l, type);
            for (int c = 0; c < 9; ++c) sum = sum + d.GetTransformValue(&l, c);
            sum = sum + d.GetBeatMultiplier();
        }
    }
}

// Frees the demo object and resets the core library's lists, so that memory stays flat.
void release(c_demo *d) {
    d->Release();
    delete d;
    MOX_FlushGraphics();
    MOX_numshaders = 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_scratch::mount();
    const std::vector<uint8_t> tga = picture(), wav = sound();
    fuzz_scratch::write("a.tga", tga.data(), tga.size());
    fuzz_scratch::write("a.wav", wav.data(), wav.size());
    const char shader[] = "uniform float speed;\nvoid main() { gl_FragColor = vec4(speed); }\n";
    fuzz_scratch::write("a.glsl", shader, sizeof shader - 1);
    if (getenv("FENTRO_FUZZ_SCENES")) effects = invite_effects;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_scratch::write("demo.fentro", data, size);
    c_demo *demo = new c_demo();
    demo->effects = effects;
    demo->Load("demo.fentro");
    check(*demo);
    evaluate(*demo);
    demo->HandleDemo();
    demo->Save("saved.fentro");
    c_demo *again = new c_demo();
    again->effects = effects;
    again->Load("saved.fentro");
    check(*again);
    if (again->numlayers != demo->numlayers || again->nummarkers != demo->nummarkers) abort();
    release(again);
    release(demo);
    return 0;
}

// Editor drawing benchmark at 1920 x 1080, against references measured in the same run:
//  1. waveform while the music plays (the start moves every frame): DrawSoundWave against a
//     plain rendering that clears and uploads the bitmap, sets every pixel through
//     MOX_DrawPixel and uploads again;
//  2. the whole editor frame (DrawGUI) with a production of the built-in one's size (5 layers,
//     40 effect events, 100 value keys, 240 markers, 40 resources), with the music playing
//     and standing still;
//  3. the editor frame over the built production (the folder given, default ./production;
//     the synthetic one of 2 when there is none) while its music plays, at 1280 x 720 and
//     1920 x 1080, and again with 5,000 value keys added over its timeline.
// Needs a display (xvfb-run -a -s "-screen 0 1920x1080x24" ./bench_drawgui [DIR]). Prints the
// time per frame of each and the ratios.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/coredebug.h"
#include "core/corefile.h"
#include "demosystem/demosystem.h"
#include "mox/mox.h"

namespace {

constexpr int WIDTH = 1920, HEIGHT = 1080;
constexpr int STEP = 661;  // frames of music per 15 ms frame

double now_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

struct Result {
    double a, b, ratio;
};

// Milliseconds per frame of both paths in alternating rounds: best times and median ratio.
template <typename A, typename B>
Result compare(int frames, A a, B b) {
    constexpr int ROUNDS = 7;
    double ratios[ROUNDS];
    Result r{1e30, 1e30, 0};
    for (int round = 0; round < ROUNDS; round++) {
        double t[2];
        for (int which = 0; which < 2; which++) {
            const double start = now_ms();
            for (int i = 0; i < frames; i++) which == 0 ? a() : b();
            glFinish();
            t[which] = (now_ms() - start) / frames;
        }
        r.a = std::min(r.a, t[0]);
        r.b = std::min(r.b, t[1]);
        ratios[round] = t[0] / t[1];
    }
    std::sort(ratios, ratios + ROUNDS);
    r.ratio = ratios[ROUNDS / 2];
    return r;
}

// The waveform drawn pixel by pixel through the bitmap interface.
void plain_wave(c_demo &d) {
    const int centery = (int)(d.gui_waveformheight * 0.6);
    const int scale = (int)(d.gui_zoom * 64);
    const int nc = d.demomusic.numchannels;
    int soundoffset = d.position * nc / scale * scale;
    MOX_ClearBitmap(d.bmp_waveform);
    const int16_t *samples = (const int16_t *)d.demomusic.buffer;
    for (int x = 0; x < d.gui_width; x++) {
        int data = 0;
        if (soundoffset > 0 && soundoffset < (int)d.demomusic.length) data = samples[soundoffset];
        soundoffset += scale * nc;
        const int y = (int)(centery + data * (d.gui_waveformheight * 0.6) / 32768);
        for (int yy = std::min(y, centery); yy < std::max(y, centery); yy++)
            MOX_DrawPixel(x, yy, (int)0xff00ffff, d.bmp_waveform);
        MOX_DrawPixel(x, centery, (int)0xffffffff, d.bmp_waveform);
    }
    MOX_UpdateBitmap(d.bmp_waveform);
}

void make_font(s_font *font, s_bitmap *image) {
    *font = s_font{};
    MOX_CreateBitmap(96 * 8, 17, image);
    for (int k = 2; k < 96; k++)
        for (int y = 1; y < 17; y++)
            for (int x = 1; x < 7; x++)
                if ((x * 7 + y * 3 + k) % 5 < 3) MOX_DrawPixel(8 * k + x, y, -1, *image);
    MOX_UpdateBitmap(*image);
    for (int k = 0; k < 96; k++) {
        MOX_GetSprite(8 * k, 1, 8, 16, *image, &font->fontchar[k]);
        font->fontwidth[k] = 8;
    }
    font->height = 16;
    font->numcharacters = 96;
    font->bitmap = image;
}

// Best time of a DrawGUI frame of `demo` at width x height over several rounds, the music
// advancing a frame's worth each time.
double editor_frame(c_demo &d, int width, int height) {
    mox_resizeevent(width, height);
    d.ResizeGUI(width, height);
    uint64_t pos = 44100 * 20;
    double best = 1e30;
    for (int round = 0; round < 5; round++) {
        const double start = now_ms();
        constexpr int FRAMES = 20;
        for (int i = 0; i < FRAMES; i++) {
            pos += STEP;
            Soundsystem_SetSoundOffset(&d.demomusic, pos);
            d.DrawGUI();
        }
        glFinish();
        best = std::min(best, (now_ms() - start) / FRAMES);
    }
    return best;
}

}  // namespace

int main(int argc, char *argv[]) {
    if (mox_initdriver() != 0) return 1;
    MOX_InitVideo(WIDTH, HEIGHT, MOX_VIDEO_HIDDEN);
    if (!MOX_VideoReady()) return 1;

    static s_font font1, font2;
    static s_bitmap image1, image2;
    make_font(&font1, &image1);
    make_font(&font2, &image2);

    auto demo = std::make_unique<c_demo>();
    c_demo &d = *demo;
    d.Init(640, 360, 0);
    d.SetTitle("benchmark");
    // Three minutes of stereo music: a beating pair of tones.
    const uint32_t frames = 44100 * 180;
    std::vector<int16_t> music((size_t)frames * 2);
    for (uint32_t f = 0; f < frames; f++) {
        const double t = f / 44100.0;
        const int16_t v = (int16_t)(20000 * std::sin(t * 440) * std::sin(t * 3.1));
        music[2 * f] = v;
        music[2 * f + 1] = (int16_t)-v;
    }
    d.demomusic.bits = 16;
    d.demomusic.numchannels = 2;
    d.demomusic.samplerate = 44100;
    d.demomusic.length = frames * 2;
    d.demomusic.size = frames * 4;
    d.demomusic.buffer = music.data();
    d.duration = 180;

    for (int i = 0; i < 40; i++) {
        char name[32];
        snprintf(name, sizeof name, "resource%02d", i);
        d.CreateResource(name, "", i, nullptr, RESOURCE_TEXTURE);
    }
    for (int l = 0; l < 5; l++) {
        char name[32];
        snprintf(name, sizeof name, "layer %d", l);
        d.CreateLayer(64, 64, name);
        s_demolayer *layer = &d.layer[l];
        for (int e = 0; e < 8; e++)
            d.CreateEventA(layer, e * 200000, 180000, EFFECT_IMAGE, (e + l) % 40, 0, nullptr);
        for (int k = 0; k < 20; k++)
            d.CreateEventValue(layer, k * 80000, VALUE_BLEND, 0, (k % 3) * 0.4f);
        for (int k = 0; k < 4; k++)
            d.CreateEventTransform(layer, k * 400000 + 50000, 0, 2 * k, 0, 0, 0, 0, 0, 0, 1, 1, 1);
        for (int k = 0; k < 2; k++) d.CreateEventCamera(layer, k * 800000, 45, 0, 0, 0, 0, 0, 0);
    }
    for (int m = 0; m < 240; m++) d.CreateMarker(m * 22050, m & 3);

    d.gui_width = WIDTH;
    d.gui_height = HEIGHT;
    d.gui_layerheight = 64;
    d.gui_waveformheight = 128;
    d.gui_timelinex = 192;
    d.gui_detailsx = 1540;
    d.gui_detailsy = 48;
    d.gui_resourcex = 4;
    d.gui_resourcey = 48;
    d.gui_selected_resource = -1;
    d.gui_selected_marker = -1;
    d.gui_selected_layer = 2;
    d.gui_selected_event = 3;
    d.gui_selected_eventtype = EDIT_TRANSFORM;
    d.gui_zoom = 8.0f;
    d.gui_visible = true;
    d.guifont1 = &font1;
    d.guifont2 = &font2;
    MOX_CreateBitmap(WIDTH, 128, &d.bmp_waveform);
    d.gui_framebuffer_id = MOX_CreateFrameBuffer(WIDTH, HEIGHT, 2);
    fflush(stdout);

    uint64_t pos = 44100 * 2;
    auto advance = [&] {
        pos += STEP;
        Soundsystem_SetSoundOffset(&d.demomusic, pos);
        d.position = (int)pos;
    };
    Result playing = compare(
        100, [&] { advance(), d.DrawSoundWave(); }, [&] { advance(), plain_wave(d); });
    Result frame = compare(
        30, [&] { advance(), d.DrawGUI(); }, [&] { d.DrawGUI(); });

    printf("waveform: %.3f ms, plain %.3f ms, ratio %.3f\n", playing.a, playing.b, playing.ratio);
    printf("editor frame: %.3f ms with the music playing, %.3f ms with it still\n", frame.a,
           frame.b);
    fflush(stdout);

    // The built production when its folder is there (with the fonts above: the sprite list
    // holds the production's cells and one pair of fonts); else the one above.
    const char *dir = argc > 1 ? argv[1] : "production";
    auto loaded = std::make_unique<c_demo>();
    c_demo *p = &d;
    if (corefile_mountimage(dir, 2) == 1) {
        core_setloglevel(LOG_WARNING);
        // The synthetic production leaves the sprite and bitmap lists to the loaded one; its
        // music belongs to the vector above.
        d.demomusic.buffer = nullptr;
        d.Release();
        loaded->Load("demo.fentro");
        if (loaded->numlayers > 0) {
            p = loaded.get();
            p->InitGUI(WIDTH, HEIGHT, &font1, &font2, nullptr);
            printf("production: %s, %d layers, %d resources\n", dir, p->numlayers, p->numresources);
        }
    }
    if (p == &d) {
        printf("production: none at %s, the synthetic one\n", dir);
        if (d.numlayers == 0) return 1;
        d.gui_previewbuffer_id = MOX_CreateFrameBuffer(WIDTH, HEIGHT, 2);
        d.gui_windowwidth = WIDTH;
        d.gui_windowheight = HEIGHT;
    }
    p->gui_selected_layer = -1;
    p->gui_selected_eventtype = 0;
    const double small = editor_frame(*p, 1280, 720);
    const double full = editor_frame(*p, 1920, 1080);
    // 5,000 value keys, a thousand on each of five layers, over the whole timeline.
    const int layers = std::min(p->numlayers, DEMO_MAXLAYERS);
    const int end = p->TimelineEnd();
    int added = 0;
    for (int l = 0; l < layers; l++) {
        const int n = 5000 / layers;
        for (int k = 0; k < n && p->layer[l].numevents_value < DEMO_MAXKEYS; k++, added++)
            p->CreateEventValue(&p->layer[l], (int)((long long)end * k / n), VALUE_BLEND, 0,
                                (k % 5) * 0.25f);
    }
    p->KeepTablesInOrder();
    const double smallkeys = editor_frame(*p, 1280, 720);
    const double fullkeys = editor_frame(*p, 1920, 1080);
    printf("editor frame, music playing: 1280x720 %.2f ms, 1920x1080 %.2f ms\n", small, full);
    printf("with %d more value keys:     1280x720 %.2f ms (x%.2f), 1920x1080 %.2f ms (x%.2f)\n",
           added, smallkeys, smallkeys / small, fullkeys, fullkeys / full);
    return 0;
}

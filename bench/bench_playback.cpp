// Frame cost of playback at 1920 x 1080 under Mesa: a synthetic production with five layers
// (texture, 3D sprite, shader, effect function, post-processing) played frame by frame, the
// music position advancing 735 sample frames (1/60 s) per frame, each frame presented with
// MOX_SwapBuffers; against the passes that picture needs issued directly in GL in the same
// run: four layer passes into their own framebuffers (each a full-screen textured quad, the
// shader layer with the same program), the four layers blended into a main framebuffer over
// the background, and the presentation with the same post shader, then the buffer swap.
// Both are finished with glFinish (inside MOX_SwapBuffers for the engine); no frame pacing.
// Run under Xvfb:
//   xvfb-run -a -s "-screen 0 1920x1080x24" ./build/<dir>/bench_playback [frames]
// Prints milliseconds per frame for both (best of several alternating rounds) and the ratio.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "coresound/audiodriver.h"
#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "support/media.h"
#include "support/scratch.h"
#include "mox/mox.h"

namespace {

using namespace test_support;

constexpr int WIDTH = 1920, HEIGHT = 1080;
constexpr int STEP_FRAMES = 735;
constexpr int ROUNDS = 5;
constexpr double TARGET = 1.15;

c_demo demo;

// The effect function layer: the panel texture over the whole layer.
class PanelScene : public c_demofunction {
public:
    void Init(c_demo *d) override { panel = static_cast<s_bitmap *>(d->GetResource("panel")); }
    void Update(c_demo *d, s_effectevent *) override {
        if (panel)
            MOX_DrawScaledBitmap(0, 0, (float)d->renderwidth, (float)d->renderheight, *panel, 1);
    }
    s_bitmap *panel = nullptr;
};
PanelScene panelscene;

const char *const layer_shader =
    "#version 120\n"
    "varying vec2 uvCoord;\n"
    "uniform vec2 resolution;\n"
    "uniform float time;\n"
    "uniform float blend;\n"
    "uniform float speed;\n"
    "uniform sampler2D texture0;\n"
    "void main() {\n"
    "  vec2 p = uvCoord * 2.0 - 1.0;\n"
    "  float v = sin(p.x * 8.0 + time * speed) + sin(p.y * 6.0 - time);\n"
    "  vec4 t = texture2D(texture0, uvCoord);\n"
    "  gl_FragColor = vec4(t.rgb * (0.5 + 0.25 * v), blend);\n"
    "}\n";

const char *const post_shader =
    "#version 120\n"
    "varying vec2 uvCoord;\n"
    "uniform sampler2D prevPass;\n"
    "uniform float fadevalue;\n"
    "uniform float vignette;\n"
    "void main() {\n"
    "  vec4 c = texture2D(prevPass, uvCoord);\n"
    "  vec2 d = uvCoord - 0.5;\n"
    "  gl_FragColor = vec4(c.rgb * (1.0 - vignette * dot(d, d)), 1.0) * fadevalue;\n"
    "}\n";

std::string Project() {
    return "#title \"playback benchmark\"\n"
           "#renderwidth 1920\n#renderheight 1080\n#demotype 1\n"
           "#music \"music.wav\"\n"
           "#resources\n"
           "#texture 0 \"picture\" \"picture.tga\"\n"
           "#sprite 0 \"emblem\" \"emblem.tga\"\n"
           "#shader 0 \"waves\" \"waves.glsl\" :1 \"speed\"\n"
           "#function 0 \"panel\" :0\n"
           "#texture 1 \"panel\" \"panel.tga\"\n"
           "#postshader 1 \"post\" \"post.glsl\" :1 \"vignette\"\n"
           "#marker 44100,0\n"
           "#layer \"texture\"\n"
           "#event 0,10000000,1,0,0:\n"
           "#layer \"sprite\"\n"
           "#event 0,10000000,1,1,0:\n"
           "#eventtransform 0,0,0,0,0,0,0,0,0,1,1,1\n"
           "#eventtransform 400000,0,0,0.2,-0.1,0,20,30,360,1.2,1.2,1\n"
           "#layer \"shader\"\n"
           "#event 0,10000000,3,2,5:0,0,0,0,3\n"
           "#eventvalue 0,1,0,0.8\n"
           "#eventvalue 10000000,1,0,0.8\n"
           "#layer \"function\"\n"
           "#event 0,10000000,4,3,4:0,0,0,0\n"
           "#eventvalue 0,1,0,0.5\n"
           "#eventvalue 10000000,1,0,0.5\n"
           "#layer \"post\"\n"
           "#event 0,10000000,7,5,5:0,0,0,0,1.5\n";
}

std::vector<uint32_t> Gradient(int w, int h, uint32_t seed) {
    std::vector<uint32_t> px((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            px[(size_t)y * w + x] = 0xff000000u | (uint32_t)(x * 255 / w) << 16 |
                                    (uint32_t)(y * 255 / h) << 8 | (seed & 0xff);
    return px;
}

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

int position;

void EngineFrame() {
    position += STEP_FRAMES;
    Soundsystem_SetSoundOffset(&demo.demomusic, (uint64_t)position);
    MOX_ClearFrameBuffer(0);
    demo.HandleDemo();
    MOX_SwapBuffers();
}

// The reference's own framebuffer objects, each with a colour and a depth texture like the
// engine's layers.
struct Target {
    GLuint fbo = 0, colour = 0, depth = 0;
};

Target MakeTarget() {
    Target t;
    glGenTextures(1, &t.colour);
    glBindTexture(GL_TEXTURE_2D, t.colour);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, WIDTH, HEIGHT, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenTextures(1, &t.depth);
    glBindTexture(GL_TEXTURE_2D, t.depth);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH24_STENCIL8_EXT, WIDTH, HEIGHT, 0, GL_DEPTH_STENCIL_EXT,
                 GL_UNSIGNED_INT_24_8_EXT, nullptr);
    glGenFramebuffersEXT(1, &t.fbo);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, t.fbo);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, t.colour,
                              0);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, t.depth,
                              0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    return t;
}

struct Reference {
    Target layer[4], main;
    GLuint texture[4] = {};  // content of the texture, sprite and function layers
    GLuint wave = 0, post = 0;
    GLint wave_resolution = -1, wave_time = -1, wave_blend = -1, wave_speed = -1, wave_tex = -1;
    GLint post_prev = -1, post_fade = -1, post_vignette = -1;
};
Reference ref;

void FullScreenQuad() {
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex2f(0, 0);
    glTexCoord2f(1, 0), glVertex2f(WIDTH, 0);
    glTexCoord2f(1, 1), glVertex2f(WIDTH, HEIGHT);
    glTexCoord2f(0, 1), glVertex2f(0, HEIGHT);
    glEnd();
}

void ReferenceFrame() {
    position += STEP_FRAMES;
    const float seconds = position / 44100.0f;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, WIDTH, HEIGHT, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glActiveTexture(GL_TEXTURE0);
    glColor4f(1, 1, 1, 1);
    glClearColor(0, 0, 0, 0);
    for (int i = 0; i < 4; i++) {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, ref.layer[i].fbo);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBindTexture(GL_TEXTURE_2D, ref.texture[i]);
        if (i == 2) {
            glUseProgram(ref.wave);
            glUniform2f(ref.wave_resolution, WIDTH, HEIGHT);
            glUniform1f(ref.wave_time, seconds);
            glUniform1f(ref.wave_blend, 0.8f);
            glUniform1f(ref.wave_speed, 3.0f);
            glUniform1i(ref.wave_tex, 0);
        }
        FullScreenQuad();
        if (i == 2) glUseProgram(0);
    }
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, ref.main.fbo);
    glClearColor(0x10 / 255.0f, 0x20 / 255.0f, 0x30 / 255.0f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const float weight[4] = {1, 1, 0.8f, 0.5f};
    for (int i = 0; i < 4; i++) {
        glColor4f(1, 1, 1, weight[i]);
        glBindTexture(GL_TEXTURE_2D, ref.layer[i].colour);
        FullScreenQuad();
    }
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glActiveTexture(GL_TEXTURE4);
    glBindTexture(GL_TEXTURE_2D, ref.main.colour);
    glActiveTexture(GL_TEXTURE0);
    glUseProgram(ref.post);
    glUniform1i(ref.post_prev, 4);
    glUniform1f(ref.post_fade, 1.0f);
    glUniform1f(ref.post_vignette, 1.5f);
    FullScreenQuad();
    glUseProgram(0);
    glFinish();
    mox_swapbuffers();
}

// Milliseconds per frame of the best of the rounds; engine and reference alternate so that
// both see the same background load.
void Measure(int frames, double *engine, double *direct) {
    *engine = *direct = 1e30;
    for (int round = 0; round < ROUNDS; round++) {
        // The engine starts from its own framebuffer state, as after a presented frame.
        MOX_SetFrameBuffer(0);
        MOX_lasttextureid = -1;
        position = 0;
        double start = NowMs();
        for (int i = 0; i < frames; i++) EngineFrame();
        double t = (NowMs() - start) / frames;
        if (t < *engine) *engine = t;
        position = 0;
        start = NowMs();
        for (int i = 0; i < frames; i++) ReferenceFrame();
        t = (NowMs() - start) / frames;
        if (t < *direct) *direct = t;
    }
}

}  // namespace

int main(int argc, char **argv) {
    const int frames = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    if (mox_initdriver() != 0) return 1;
    MOX_InitVideo(WIDTH, HEIGHT, 0);
    if (!MOX_VideoReady() || !MOX_shaders_enabled || !MOX_framebuffers_enabled) {
        fprintf(stderr,
                "needs a GL context with shaders and framebuffer objects (run under Xvfb)\n");
        return 1;
    }
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    Soundsystem_Init(44100, 8, 2);
    audiodriver_close();  // the position is set per frame; nothing mixes

    TempDir dir;
    WriteFile(dir / "demo.fentro", Project());
    WriteFile(dir / "music.wav", SilentWav(60 * 44100));
    WriteFile(dir / "picture.tga", TgaImage32(512, 512, Gradient(512, 512, 0x40)));
    WriteFile(dir / "emblem.tga", TgaImage32(1024, 1024, Gradient(1024, 1024, 0xc0)));
    WriteFile(dir / "panel.tga", TgaImage32(256, 256, Gradient(256, 256, 0x80)));
    WriteFile(dir / "waves.glsl", layer_shader);
    WriteFile(dir / "post.glsl", post_shader);
    if (corefile_mountimage(dir.c_str(), 2) != 1) return 1;
    static c_demofunction *const scenes[] = {&panelscene};
    demo.effects = {scenes, 1};

    // The loader's progress lines are not part of the report.
    fflush(stdout);
    FILE *keep = fdopen(dup(fileno(stdout)), "w");
    if (!freopen("/dev/null", "w", stdout)) return 1;
    demo.Load("demo.fentro");
    fflush(stdout);
    dup2(fileno(keep), fileno(stdout));
    fclose(keep);
    if (demo.numlayers != 5) {
        fprintf(stderr, "production not loaded\n");
        return 1;
    }

    for (int i = 0; i < 4; i++) ref.layer[i] = MakeTarget();
    ref.main = MakeTarget();
    ref.texture[0] = (GLuint)demo.resource_texture[0].textureid;
    ref.texture[1] = (GLuint)demo.resource_sprite[0].textureid;
    ref.texture[2] = ref.texture[0];
    ref.texture[3] = (GLuint)demo.resource_texture[1].textureid;
    ref.wave = MOX_shader[demo.resource_shader[0].shader_id].program;
    ref.post = MOX_shader[demo.resource_shader[1].shader_id].program;
    ref.wave_resolution = glGetUniformLocation(ref.wave, "resolution");
    ref.wave_time = glGetUniformLocation(ref.wave, "time");
    ref.wave_blend = glGetUniformLocation(ref.wave, "blend");
    ref.wave_speed = glGetUniformLocation(ref.wave, "speed");
    ref.wave_tex = glGetUniformLocation(ref.wave, "texture0");
    ref.post_prev = glGetUniformLocation(ref.post, "prevPass");
    ref.post_fade = glGetUniformLocation(ref.post, "fadevalue");
    ref.post_vignette = glGetUniformLocation(ref.post, "vignette");

    double engine, direct;
    Measure(2, &engine, &direct);  // warm-up
    Measure(frames, &engine, &direct);
    printf(
        "playback 1920x1080, 5 layers (texture, 3D sprite, shader, function, post), %d frames x %d "
        "rounds:\n",
        frames, ROUNDS);
    printf("  engine    %.2f ms/frame\n  direct GL %.2f ms/frame (9 full-screen textured passes)\n",
           engine, direct);
    printf("  ratio %.3f (target <= %.2f)\n", engine / direct, TARGET);
    return 0;
}

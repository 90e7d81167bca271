// Video benchmarks, each against a plain-GL reference measured in the same run:
//  1. presentation: MOX_SwapBuffers with the default post shader at 1920 x 1080, against a
//     bare textured full-screen quad plus buffer swap;
//  2. draw calls: 10,000 MOX_DrawSprite calls of one 16 x 16 sprite per frame, against the
//     same quads issued directly with vertex arrays.
// Needs a display (xvfb-run -a -s "-screen 0 1920x1080x24" ./bench_video). Prints the time
// per frame of both and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "mox/mox.h"

namespace {

constexpr int WIDTH = 1920, HEIGHT = 1080;
constexpr int SPRITES = 10000;

double now_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

struct Result {
    double mox, gl, ratio;
};

// Milliseconds per frame of both paths, measured in alternating rounds so that load from
// other processes hits both alike: the best time of each and the median of the per-round
// ratios.
template <typename A, typename B>
Result compare(int frames, A mox, B gl) {
    constexpr int ROUNDS = 9;
    double ratios[ROUNDS];
    Result r{1e30, 1e30, 0};
    for (int round = 0; round < ROUNDS; round++) {
        double t[2];
        for (int which = 0; which < 2; which++) {
            double start = now_ms();
            for (int i = 0; i < frames; i++) which == 0 ? mox() : gl();
            t[which] = (now_ms() - start) / frames;
        }
        r.mox = std::min(r.mox, t[0]);
        r.gl = std::min(r.gl, t[1]);
        ratios[round] = t[0] / t[1];
    }
    std::sort(ratios, ratios + ROUNDS);
    r.ratio = ratios[ROUNDS / 2];
    return r;
}

void bare_present() {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glViewport(0, 0, WIDTH, HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, WIDTH, HEIGHT, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBindTexture(GL_TEXTURE_2D, GLuint(MOX_GetFrameBufferTexture(0)));
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex2f(0, 0);
    glTexCoord2f(0, 0);
    glVertex2f(0, HEIGHT);
    glTexCoord2f(1, 0);
    glVertex2f(WIDTH, HEIGHT);
    glTexCoord2f(1, 1);
    glVertex2f(WIDTH, 0);
    glEnd();
    mox_swapbuffers();
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, MOX_framebufferdata[0].fbo);
    MOX_projectionmode = 1;
}

float sprite_x(int i) { return float(i * 37 % (WIDTH - 16)); }
float sprite_y(int i) { return float(i * 53 % (HEIGHT - 16)); }

void direct_quads(const s_sprite &s) {
    static const GLubyte index[6] = {0, 3, 2, 0, 2, 1};
    glBindTexture(GL_TEXTURE_2D, GLuint(s.textureid));
    glEnable(GL_ALPHA_TEST);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const GLfloat tex[8] = {s.u, s.v, s.u2, s.v, s.u2, s.v2, s.u, s.v2};
    for (int i = 0; i < SPRITES; i++) {
        float x = sprite_x(i), y = sprite_y(i), w = float(s.width), h = float(s.height);
        const GLfloat v[12] = {x, y, 0, x + w, y, 0, x + w, y + h, 0, x, y + h, 0};
        glVertexPointer(3, GL_FLOAT, 0, v);
        glTexCoordPointer(2, GL_FLOAT, 0, tex);
        glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_BYTE, index);
    }
    glDisable(GL_ALPHA_TEST);
    glFinish();
}

void mox_sprites(const s_sprite &s) {
    for (int i = 0; i < SPRITES; i++) MOX_DrawSprite(int(sprite_x(i)), int(sprite_y(i)), s);
    MOX_DisableRenderState(MOX_STATE_ALPHATEST);
    glFinish();
}

void report(const char *what, const Result &r, double target) {
    printf(
        "%s: MOX %.3f ms/frame, direct GL %.3f ms/frame (best rounds), median ratio %.2f "
        "(target <= %.1f)\n",
        what, r.mox, r.gl, r.ratio, target);
}

}  // namespace

int main() {
    if (mox_initdriver() != 0) return 1;
    MOX_InitVideo(WIDTH, HEIGHT, 0);
    if (!MOX_VideoReady()) return 1;
    MOX_SetPostShader(MOX_InitDefaultPostShader());
    MOX_SetScanlineValue(0.5f);
    MOX_ClearFrameBuffer(0xFF404040);

    compare(3, MOX_SwapBuffers, bare_present);  // warm-up
    report("presentation 1920x1080 with post shader", compare(10, MOX_SwapBuffers, bare_present),
           1.2);

    s_bitmap bitmap{};
    MOX_CreateBitmap(16, 16, &bitmap);
    MOX_ClearBitmapWithColor(bitmap, int(0xFF00FFFF));
    s_sprite sprite{};
    MOX_GetSprite(0, 0, 16, 16, bitmap, &sprite);
    MOX_SetFrameBuffer(0);
    MOX_Enable2D();
    auto run_mox = [&] { mox_sprites(sprite); };
    auto run_gl = [&] { direct_quads(sprite); };
    compare(1, run_mox, run_gl);  // warm-up
    report("10000 sprites of 16x16", compare(4, run_mox, run_gl), 1.5);
    return 0;
}

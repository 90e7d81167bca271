// Video benchmarks, each against a plain-GL reference measured in the same run:
//  1. presentation: MOX_SwapBuffers with the default post shader at 1920 x 1080, against a
//     bare textured full-screen quad plus buffer swap;
//  2. draw calls: 10,000 MOX_DrawSprite calls of one 16 x 16 sprite per frame, against the
//     same quads issued directly with vertex arrays.
// Needs a display (xvfb-run -a -s "-screen 0 1920x1080x24" ./bench_video). Prints the time
// per frame of both and their ratio.
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

// Milliseconds per frame of `frame`, best of several rounds to damp noise from other load.
template <typename Frame>
double measure(int frames, Frame frame) {
  double best = 1e30;
  for (int round = 0; round < 5; round++) {
    double start = now_ms();
    for (int i = 0; i < frames; i++) frame();
    double t = (now_ms() - start) / frames;
    if (t < best) best = t;
  }
  return best;
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

void report(const char *what, double mox, double gl, double target) {
  printf("%s: MOX %.3f ms/frame, direct GL %.3f ms/frame, ratio %.2f (target <= %.1f)\n", what,
         mox, gl, mox / gl, target);
}

}  // namespace

int main() {
  if (mox_initdriver() != 0) return 1;
  MOX_InitVideo(WIDTH, HEIGHT, 0);
  if (!MOX_VideoReady()) return 1;
  MOX_SetPostShader(MOX_InitDefaultPostShader());
  MOX_SetScanlineValue(0.5f);
  MOX_ClearFrameBuffer(0xFF404040);

  // Presentation: warm up both paths, then alternate measurements.
  measure(3, MOX_SwapBuffers);
  measure(3, bare_present);
  double swap = measure(20, MOX_SwapBuffers);
  double bare = measure(20, bare_present);
  report("presentation 1920x1080 with post shader", swap, bare, 1.2);

  s_bitmap bitmap{};
  MOX_CreateBitmap(16, 16, &bitmap);
  MOX_ClearBitmapWithColor(bitmap, int(0xFF00FFFF));
  s_sprite sprite{};
  MOX_GetSprite(0, 0, 16, 16, bitmap, &sprite);
  MOX_SetFrameBuffer(0);
  MOX_Enable2D();
  auto run_mox = [&] { mox_sprites(sprite); };
  auto run_gl = [&] { direct_quads(sprite); };
  measure(2, run_mox);
  measure(2, run_gl);
  double drawmox = measure(10, run_mox);
  double drawgl = measure(10, run_gl);
  report("10000 sprites of 16x16", drawmox, drawgl, 1.5);
  return 0;
}

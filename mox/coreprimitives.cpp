// Filled boxes and lines in packed 0xAARRGGBB colours.
#include "mox/corevideo.h"
#include "mox/coresprite.h"

namespace {

struct rgba {
  float r, g, b, a;
};

rgba unpack(int colour) {
  const unsigned c = (unsigned)colour;
  return {(c >> 16 & 0xFF) / 255.0f, (c >> 8 & 0xFF) / 255.0f, (c & 0xFF) / 255.0f,
          (c >> 24) / 255.0f};
}

}  // namespace

void MOX_DrawBox(int x, int y, int w, int h, int colour) {
  MOX_DisableRenderState(MOX_STATE_ALPHATEST);
  MOX_BindTexture(mox_whitetexture_id);
  const rgba c = unpack(colour);
  MOX_DrawColorQuad((float)x, (float)y, (float)w, (float)h, c.r, c.g, c.b, c.a);
}

void MOX_DrawLine(int x1, int y1, int x2, int y2, int colour) {
  MOX_DisableRenderState(MOX_STATE_ALPHATEST);
  MOX_BindTexture(mox_whitetexture_id);
  const rgba c = unpack(colour);
  MOX_DrawLineRGB((float)x1, (float)y1, (float)x2, (float)y2, c.r, c.g, c.b, c.a);
}

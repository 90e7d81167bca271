// Filled boxes and lines in packed 0xAARRGGBB colours.
#include <vector>

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

// Vertices of a batch, kept between calls so that a frame's batches allocate once.
std::vector<GLfloat> batch;

// Draws the batch's vertices as `mode` primitives in one colour, without texture coordinates
// (the white texture is bound). Triangles wind as the single quads do, so face culling
// treats both alike.
void draw_batch(GLenum mode, int colour) {
    if (batch.empty() || !MOX_VideoReady() || !MOX_FrameBuffer) return;
    MOX_DisableRenderState(MOX_STATE_ALPHATEST);
    MOX_BindTexture(mox_whitetexture_id);
    MOX_Enable2D();
    const rgba c = unpack(colour);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glColor4f(c.r, c.g, c.b, c.a);
    glVertexPointer(2, GL_FLOAT, 0, batch.data());
    glDrawArrays(mode, 0, (GLsizei)(batch.size() / 2));
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glColor4f(1, 1, 1, 1);
}

}  // namespace

void MOX_DrawBoxes(const int *boxes, int count, int colour) {
    if (!boxes || count <= 0) return;
    batch.clear();
    for (int i = 0; i < count; i++) {
        const float x = (float)boxes[4 * i], y = (float)boxes[4 * i + 1];
        const float x2 = x + (float)boxes[4 * i + 2], y2 = y + (float)boxes[4 * i + 3];
        batch.insert(batch.end(), {x, y, x, y2, x2, y2, x, y, x2, y2, x2, y});
    }
    draw_batch(GL_TRIANGLES, colour);
    MOX_stats_numtriangles += 2 * count;
}

void MOX_DrawLines(const int *lines, int count, int colour) {
    if (!lines || count <= 0) return;
    batch.clear();
    for (int i = 0; i < 4 * count; i++) batch.push_back((float)lines[i]);
    draw_batch(GL_LINES, colour);
    MOX_stats_numlines += count;
}

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

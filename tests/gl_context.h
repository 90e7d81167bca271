// GL context for tests: a window with a current OpenGL context, GLEW initialised and the
// video layer set up at a given size, all on the calling thread (no program thread, no
// event thread). Needs a display: run the test under Xvfb, e.g.
//   xvfb-run -a -s "-screen 0 1920x1080x24" ./build/<you>/test_x
//
// Use:
//   #include "gl_context.h"
//   class MyTest : public GLTest {};            // 256 x 256 window, framebuffer 0 current
//   TEST_F(MyTest, Draws) {
//     MOX_ClearFrameBuffer(0xFF0000FF);         // opaque red (0xAABBGGRR)
//     EXPECT_EQ(gltest_pixel(3, 4), 0xFF0000FFu);
//   }
// or, with another size, call gltest_init(width, height) in your own SetUp. Calling it again
// re-initialises the video layer at the new size (framebuffers start again from id 0; the
// shader table and other modules' lists keep their entries).
//
// gltest_pixel(x, y) reads one pixel of the current framebuffer (origin top left, y down,
// as drawing coordinates) as 0xAABBGGRR, the byte order of MOX_ClearFrameBuffer.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>

#include "mox/mox.h"

// Returns true when the window, the context and the video layer are ready.
inline bool gltest_init(int width, int height) {
    if (mox_initdriver() != 0) return false;
    MOX_InitVideo(width, height, 0);
    return MOX_VideoReady();
}

// Reads from whatever is bound for drawing: the current framebuffer object, or the window's
// back buffer in read-back mode.
inline uint32_t gltest_pixel(int x, int y) {
    unsigned char p[4] = {0, 0, 0, 0};
    int h = MOX_GetFrameBufferHeight();
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, h - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

class GLTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gltest_init(256, 256)) << "no GL context (display?)"; }
};

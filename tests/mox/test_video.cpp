// Video layer under Xvfb: clears, quads, caches, framebuffers and the presentation pass, checked
// by reading pixels back.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <vector>

#include "gl_context.h"
#include "log_capture.h"

namespace {

class VideoTest : public GLTest {};

// Reads one pixel of the presented frame (origin top left) as 0xAABBGGRR. Mesa's software
// rasteriser keeps the frame in the window's back buffer after the swap; the front buffer of a
// window that Xvfb has only just mapped may still read black.
uint32_t window_pixel(int x, int y) {
    unsigned char p[4] = {0, 0, 0, 0};
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, MOX_video.height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    glReadBuffer(GL_BACK);
    if (MOX_framebuffers_enabled)
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, MOX_framebufferdata[MOX_FrameBuffer->id].fbo);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | 0xFF000000u;
}

TEST_F(VideoTest, InitFillsTheVideoRecordAndFramebufferZero) {
    EXPECT_EQ(MOX_video.width, 256);
    EXPECT_EQ(MOX_video.pitch, 256);
    EXPECT_EQ(MOX_video.bpp, 32);
    EXPECT_EQ(MOX_video.redmask, 0xFF0000u);
    EXPECT_EQ(MOX_numframebuffers, 1);
    EXPECT_EQ(MOX_FrameBuffer, &MOX_framebuffers[0]);
    EXPECT_EQ(MOX_framebuffers_enabled, 1);
    EXPECT_EQ(MOX_postshader_id, -1);
    EXPECT_EQ(MOX_video_updatespeed, 15);
    EXPECT_EQ(MOX_shaders_enabled, 1);
}

TEST_F(VideoTest, StartingAgainSwitchesOffWhatTheCacheForgets) {
    MOX_EnableRenderState(MOX_STATE_ALPHATEST | MOX_STATE_BLEND | MOX_STATE_LIGHTING);
    ASSERT_TRUE(gltest_init(256, 256));
    EXPECT_EQ(MOX_renderstate, 0);
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(VideoTest, ClearTakesRedInTheLowestByte) {
    MOX_ClearFrameBuffer(0xFF0000FF);
    EXPECT_EQ(gltest_pixel(0, 0), 0xFF0000FFu);
    MOX_ClearFrameBuffer(0x80FF0000);
    EXPECT_EQ(gltest_pixel(5, 5), 0x80FF0000u);  // blue, half alpha
}

TEST_F(VideoTest, ColorQuadCoversItsPixelsWithYDown) {
    MOX_ClearFrameBuffer(0xFF000000);
    MOX_BindTexture(mox_whitetexture_id);
    MOX_DrawColorQuad(10, 20, 30, 5, 0, 1, 0, 1);
    EXPECT_EQ(gltest_pixel(10, 20), 0xFF00FF00u);
    EXPECT_EQ(gltest_pixel(39, 24), 0xFF00FF00u);
    EXPECT_EQ(gltest_pixel(40, 24), 0xFF000000u);
    EXPECT_EQ(gltest_pixel(10, 25), 0xFF000000u);
    EXPECT_EQ(gltest_pixel(9, 20), 0xFF000000u);
    // The colour is white again afterwards.
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ(c[0], 1.0f);
    EXPECT_EQ(c[2], 1.0f);
}

TEST_F(VideoTest, QuadsAreRejectedExactlyAtTheFramebufferEdges) {
    auto triangles = [](float x, float y) {
        MOX_stats_numtriangles = 0;
        MOX_DrawQuad(x, y, 16, 8, 0, 0, 1, 1);
        return MOX_stats_numtriangles;
    };
    EXPECT_EQ(triangles(-16, 0), 0);
    EXPECT_EQ(triangles(-15.5f, 0), 2);
    EXPECT_EQ(triangles(256, 0), 0);
    EXPECT_EQ(triangles(255.5f, 0), 2);
    EXPECT_EQ(triangles(0, -8), 0);
    EXPECT_EQ(triangles(0, -7.5f), 2);
    EXPECT_EQ(triangles(0, 256), 0);
}

TEST_F(VideoTest, RotatedQuadTurnsAboutItsCentre) {
    MOX_ClearFrameBuffer(0xFF000000);
    MOX_BindTexture(mox_whitetexture_id);
    // 60 x 10 bar centred on (100, 100), turned upright.
    MOX_DrawRotatedQuad(70, 95, 60, 10, 0, 0, 1, 1, 90);
    EXPECT_EQ(gltest_pixel(100, 75), 0xFFFFFFFFu);
    EXPECT_EQ(gltest_pixel(100, 125), 0xFFFFFFFFu);
    EXPECT_EQ(gltest_pixel(75, 100), 0xFF000000u);
    EXPECT_EQ(gltest_pixel(125, 100), 0xFF000000u);
    // The next quad is unrotated again.
    MOX_DrawQuad(0, 0, 4, 4, 0, 0, 1, 1);
    EXPECT_EQ(gltest_pixel(3, 3), 0xFFFFFFFFu);
}

TEST_F(VideoTest, LinesDrawAndCount) {
    MOX_ClearFrameBuffer(0xFF000000);
    MOX_stats_numlines = 0;
    MOX_BindTexture(mox_whitetexture_id);
    MOX_DrawLineRGB(10, 50.5f, 100, 50.5f, 1, 0, 0, 1);
    EXPECT_EQ(MOX_stats_numlines, 1);
    EXPECT_EQ(gltest_pixel(50, 50), 0xFF0000FFu);
    EXPECT_EQ(gltest_pixel(50, 60), 0xFF000000u);
}

TEST_F(VideoTest, RenderStateCacheFollowsRecordedBitsOnly) {
    MOX_EnableRenderState(MOX_STATE_DEPTHTEST);
    int switches = MOX_stats_numstateswitches;
    // Depth test already recorded: the whole request is ignored, blending stays off.
    MOX_EnableRenderState(MOX_STATE_DEPTHTEST | MOX_STATE_BLEND);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(MOX_stats_numstateswitches, switches);

    MOX_DisableRenderState(MOX_STATE_DEPTHTEST);
    EXPECT_EQ(MOX_stats_numstateswitches, switches + 1);
    EXPECT_EQ(MOX_renderstate, 0);

    // Blending switched on directly is not recorded, so the cache does not switch it off.
    MOX_EnableAlphaBlend(0.5f);
    MOX_DisableRenderState(MOX_STATE_BLEND);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    MOX_DisableAlphaBlend();
    EXPECT_FALSE(glIsEnabled(GL_BLEND));

    MOX_EnableRenderState(MOX_STATE_ALPHATEST | MOX_STATE_BLEND);
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    MOX_DisableRenderState(MOX_STATE_ALPHATEST | MOX_STATE_BLEND);
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(VideoTest, BindCacheSkipsOnlyTrulyRedundantBinds) {
    unsigned px[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    int a = MOX_CreateTexture(2, 2, px, 0);
    MOX_BindTexture(a);
    EXPECT_EQ(MOX_lasttextureid, a);
    int binds = MOX_stats_numtexturebinds;
    MOX_BindTexture(a);
    EXPECT_EQ(MOX_stats_numtexturebinds, binds);

    // Operations that bind a texture directly forget the cache, so binding the cached name
    // afterwards really binds it.
    int b = MOX_CreateTexture(2, 2, px, 0);
    for (auto direct :
         {+[](int t) { MOX_BindTextureChannel(t, 0); }, +[](int) { MOX_SetFrameBuffer(0); },
          +[](int) { MOX_DrawFrameBuffer(0, 0, 1, 1, 0); },
          +[](int t) { MOX_UpdateTexture(t, 2, 2, nullptr); }}) {
        MOX_BindTexture(a);
        direct(b);
        EXPECT_EQ(MOX_lasttextureid, -1);
        MOX_BindTexture(a);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(bound, a);
    }

    MOX_SwapBuffers();
    EXPECT_EQ(MOX_lasttextureid, -1);
    EXPECT_EQ(MOX_stats_numtexturebinds, 0);
    MOX_DeleteTexture(a);
    MOX_DeleteTexture(b);
}

TEST_F(VideoTest, BoxAfterFramebufferSwitchDrawsItsColour) {
    int fb = MOX_CreateFrameBuffer(64, 64, 0);
    ASSERT_GE(fb, 0);
    MOX_SetFrameBuffer(0);
    MOX_DrawBox(0, 0, 8, 8, int(0xFFFFFFFF));  // caches the white texture
    MOX_SetFrameBuffer(fb);
    MOX_ClearFrameBuffer(0xFF000000);
    MOX_DrawBox(0, 0, 64, 64, int(0xFF00FF00));
    EXPECT_EQ(gltest_pixel(10, 10), 0xFF00FF00u);
    MOX_SetFrameBuffer(0);
}

TEST_F(VideoTest, RefreshRateTargets) {
    MOX_SetRefreshRate(60);
    EXPECT_EQ(MOX_video_updatespeed, 15);
    MOX_SetRefreshRate(-20);
    EXPECT_EQ(MOX_video_updatespeed, 20);
    MOX_SetRefreshRate(1000);
    EXPECT_EQ(MOX_video_updatespeed, 1);
    MOX_SetRefreshRate(0);
    EXPECT_EQ(MOX_video_updatespeed, 1);

    MOX_SetRefreshRate(-5);
    unsigned start = MOX_GetMillis();
    MOX_WaitRefresh();
    float late = MOX_WaitRefresh();
    EXPECT_GE(MOX_GetMillis() - start, 10u);
    EXPECT_GE(late, 1.0f);
}

TEST_F(VideoTest, FpsIsSampledOncePerSecond) {
    int first = MOX_GetFPS();
    MOX_video_numframes += 50;
    EXPECT_EQ(MOX_GetFPS(), first);
}

TEST_F(VideoTest, PerspectiveAspectIsAnIntegerRatio) {
    int fb = MOX_CreateFrameBuffer(1920, 1080, MOX_FRAMEBUFFER_DEPTH);
    ASSERT_GE(fb, 0);
    MOX_SetFrameBuffer(fb);
    MOX_Enable2D();
    MOX_Disable2D();
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], m[5]);  // aspect 1
    EXPECT_NEAR(m[5], 1 / std::tan(22.5 * 3.141592653 / 180), 1e-4);
    // Already in 3D: a second call changes nothing.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    MOX_Disable2D();
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_EQ(m[0], 1.0f);
    glMatrixMode(GL_MODELVIEW);
    EXPECT_NE(MOX_GetFrameBufferDepth(fb), 0);
}

TEST_F(VideoTest, FramebufferTableRefusesTheSeventeenth) {
    for (int i = 1; i < MOX_MAXFRAMEBUFFERS; i++) ASSERT_EQ(MOX_CreateFrameBuffer(8, 8, 0), i);
    {
        LogCapture log;
        EXPECT_EQ(MOX_CreateFrameBuffer(8, 8, 0), -1);
        EXPECT_TRUE(log.Has("mox.framebuffer_table_full"));
    }
    EXPECT_EQ(MOX_numframebuffers, MOX_MAXFRAMEBUFFERS);
    // An invalid id selects nothing.
    MOX_SetFrameBuffer(-1);
    MOX_SetFrameBuffer(MOX_MAXFRAMEBUFFERS);
    EXPECT_EQ(MOX_FrameBuffer, &MOX_framebuffers[0]);
    EXPECT_EQ(MOX_CreateFrameBuffer(0, 8, 0), -1);
}

TEST_F(VideoTest, FramebuffersKeepTheirOwnPictures) {
    int fb = MOX_CreateFrameBuffer(64, 32, 0);
    MOX_SetFrameBuffer(fb);
    EXPECT_EQ(MOX_GetFrameBufferWidth(), 64);
    MOX_ClearFrameBuffer(0xFF00FF00);
    MOX_SetFrameBuffer(0);
    MOX_ClearFrameBuffer(0xFF000000);
    // Drawn upright: its top-left pixel lands at the quad's top left.
    MOX_DrawFrameBuffer(100, 100, 64, 32, fb);
    EXPECT_EQ(gltest_pixel(100, 100), 0xFF00FF00u);
    EXPECT_EQ(gltest_pixel(163, 131), 0xFF00FF00u);
    EXPECT_EQ(gltest_pixel(164, 131), 0xFF000000u);
}

double monotonic_now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A frame held until a moment is swapped no earlier, and is the same picture.
TEST_F(VideoTest, PresentationIsUprightWithoutPostShaderAndHeldUntilAsked) {
    for (double hold : {0.0, 0.05}) {
        MOX_ClearFrameBuffer(0xFF000000);
        MOX_BindTexture(mox_whitetexture_id);
        MOX_DrawColorQuad(0, 0, 256, 10, 1, 0, 0, 1);
        const double swapat = hold > 0 ? monotonic_now() + hold : 0;
        const double ready = MOX_SwapBuffersAt(swapat);
        EXPECT_GE(monotonic_now(), swapat);
        EXPECT_LE(ready, monotonic_now());
        EXPECT_EQ(window_pixel(5, 5), 0xFF0000FFu);
        EXPECT_EQ(window_pixel(5, 200), 0xFF000000u);
    }
}

TEST_F(VideoTest, PresentationIgnoresBlendingLeftOnByTheFrame) {
    MOX_ClearFrameBuffer(0xFF000000);
    MOX_BindTexture(mox_whitetexture_id);
    MOX_DrawColorQuad(0, 0, 256, 10, 1, 1, 1, 1);
    MOX_EnableAlphaBlend(0.25f);  // as composition leaves it after a faded layer
    MOX_SwapBuffers();
    EXPECT_EQ(window_pixel(5, 5), 0xFFFFFFFFu);
}

TEST_F(VideoTest, PostShaderDarkensOddRowsAndFades) {
    int post = MOX_InitDefaultPostShader();
    ASSERT_GE(post, 0);
    MOX_SetPostShader(post);
    MOX_ClearFrameBuffer(0xFFFFFFFF);
    MOX_SetScanlineValue(0.5f);
    MOX_SwapBuffers();
    // Rows count from the bottom of the texture: window row 255 is texture row 0.
    uint32_t even = window_pixel(10, 255), odd = window_pixel(10, 254);
    EXPECT_EQ(even, 0xFFFFFFFFu);
    EXPECT_NEAR(int(odd & 0xFF), 128, 1);
    EXPECT_EQ(window_pixel(10, 253), 0xFFFFFFFFu);

    MOX_SetFadeValue(0);
    MOX_SwapBuffers();
    EXPECT_EQ(window_pixel(10, 255), 0xFF000000u);
    EXPECT_EQ(window_pixel(10, 254), 0xFF000000u);

    MOX_SetFadeValue(0.5f);
    MOX_SetScanlineValue(0);
    MOX_SwapBuffers();
    EXPECT_NEAR(int(window_pixel(10, 254) & 0xFF), 128, 1);
    MOX_SetPostShader(-1);
}

TEST_F(VideoTest, PresentationIntoAFramebufferMatchesTheWindow) {
    int post = MOX_InitDefaultPostShader();
    ASSERT_GE(post, 0);
    int target = MOX_CreateFrameBuffer(256, 256, 0);
    ASSERT_GE(target, 0);
    MOX_SetFrameBuffer(0);
    MOX_SetPostShader(post);
    MOX_SetScanlineValue(0.5f);
    MOX_ClearFrameBuffer(0xFF000000);
    MOX_BindTexture(mox_whitetexture_id);
    MOX_DrawColorQuad(0, 0, 256, 10, 1, 1, 1, 1);

    MOX_SetPresentTarget(target);
    MOX_SwapBuffers();
    MOX_SetPresentTarget(-1);
    std::vector<unsigned char> rgba(256 * 256 * 4);
    MOX_ReadFrameBuffer(target, rgba.data());
    MOX_SwapBuffers();
    // Same frame twice: once off-screen, once in the window; rows bottom-up in the buffer.
    // The window has no alpha channel, so only the colours are compared.
    for (int y : {0, 1, 5, 9, 10, 200}) {
        const unsigned char *p = &rgba[size_t((255 - y) * 256 + 7) * 4];
        uint32_t off = p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
        EXPECT_EQ(off & 0xFFFFFF, window_pixel(7, y) & 0xFFFFFF) << "row " << y;
    }
    MOX_SetScanlineValue(0);
    MOX_SetPostShader(-1);
}

// The presentation's clear is left out under a quad that replaces every pixel; a post shader
// that may discard, or a state that lets the old pixel through, keeps it.
TEST_F(VideoTest, PresentationClearIsLeftOutOnlyWhereNothingShowsThrough) {
    const char *vertex = vv_defaultpostshader;
    const int plain = MOX_InitShader(vertex,
                                     "#version 120\nuniform sampler2D fbo_texture;\n"
                                     "varying vec2 texCoord;\n"
                                     "void main() { gl_FragColor = texture2D(fbo_texture, "
                                     "texCoord); }");
    const int halves = MOX_InitShader(vertex,
                                      "#version 120\nuniform sampler2D fbo_texture;\n"
                                      "varying vec2 texCoord;\nvoid main() {\n"
                                      "  if (texCoord.x < 0.5) discard;\n"
                                      "  gl_FragColor = texture2D(fbo_texture, texCoord);\n}");
    ASSERT_GE(plain, 0);
    ASSERT_GE(halves, 0);
    MOX_DisableAlphaBlend();
    MOX_Enable2D();
    EXPECT_TRUE(MOX_QuadReplacesEveryPixel(-1));
    EXPECT_TRUE(MOX_QuadReplacesEveryPixel(plain));
    EXPECT_FALSE(MOX_QuadReplacesEveryPixel(halves));
    EXPECT_FALSE(MOX_QuadReplacesEveryPixel(MOX_MAXSHADERS));
    for (GLenum cap : {GL_BLEND, GL_COLOR_LOGIC_OP, GL_ALPHA_TEST, GL_DEPTH_TEST, GL_STENCIL_TEST,
                       GL_SCISSOR_TEST, GL_POLYGON_STIPPLE}) {
        glEnable(cap);
        EXPECT_FALSE(MOX_QuadReplacesEveryPixel(plain)) << cap;
        glDisable(cap);
    }
    // The quad faces the viewer: only culling of front faces removes it.
    glEnable(GL_CULL_FACE);
    EXPECT_TRUE(MOX_QuadReplacesEveryPixel(plain));
    glCullFace(GL_FRONT);
    EXPECT_FALSE(MOX_QuadReplacesEveryPixel(plain));
    glCullFace(GL_BACK);
    glFrontFace(GL_CW);
    EXPECT_FALSE(MOX_QuadReplacesEveryPixel(plain));
    glFrontFace(GL_CCW);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    EXPECT_FALSE(MOX_QuadReplacesEveryPixel(-1));
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    EXPECT_FALSE(MOX_QuadReplacesEveryPixel(-1));
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    EXPECT_TRUE(MOX_QuadReplacesEveryPixel(-1));

    // A target holding an old picture: where the shader discards, the presented frame is
    // cleared (to the last clear colour), with the reference switch on or off.
    const int target = MOX_CreateFrameBuffer(256, 256, 0);
    ASSERT_GE(target, 0);
    std::vector<unsigned char> rgba(256 * 256 * 4);
    auto pixel = [&](int x) {
        const unsigned char *p = &rgba[size_t(128 * 256 + x) * 4];
        return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
    };
    for (int shader : {plain, halves})
        for (bool every : {false, true}) {
            MOX_everypass = every;
            MOX_SetFrameBuffer(target);
            MOX_ClearFrameBuffer(0xFF00FFFF);
            MOX_SetFrameBuffer(0);
            MOX_ClearFrameBuffer(0xFF000000);
            MOX_BindTexture(mox_whitetexture_id);
            MOX_DrawColorQuad(0, 0, 256, 256, 1, 1, 1, 1);
            MOX_SetPostShader(shader);
            MOX_SetPresentTarget(target);
            MOX_SwapBuffers();
            MOX_SetPresentTarget(-1);
            MOX_ReadFrameBuffer(target, rgba.data());
            EXPECT_EQ(pixel(200), 0xFFFFFFFFu) << shader << every;
            EXPECT_EQ(pixel(20), shader == plain ? 0xFFFFFFFFu : 0xFF000000u) << every;
        }
    MOX_everypass = false;
    MOX_SetPostShader(-1);
}

TEST_F(VideoTest, ReadBackModeWhenFramebufferObjectsAreMissing) {
    // As after a failed extension load: the framebuffer entry points are not there.
    GLboolean saved = __GLEW_EXT_framebuffer_object;
    __GLEW_EXT_framebuffer_object = GL_FALSE;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);  // no framebuffer object was ever bound
    MOX_InitVideo(256, 256, 0);
    EXPECT_EQ(MOX_framebuffers_enabled, 0);
    MOX_ClearFrameBuffer(0xFF000000);
    MOX_BindTexture(mox_whitetexture_id);
    MOX_DrawColorQuad(0, 0, 256, 10, 0, 0, 1, 1);
    MOX_SwapBuffers();
    __GLEW_EXT_framebuffer_object = saved;
    EXPECT_NE(MOX_framebufferdata[0].pixels, nullptr);
    EXPECT_EQ(window_pixel(5, 5), 0xFFFF0000u);
    EXPECT_EQ(window_pixel(5, 100), 0xFF000000u);
}

TEST_F(VideoTest, PalettesCopyWithinBounds) {
    unsigned char rgb[6] = {1, 2, 3, 4, 5, 6};
    MOX_SetPallete(7, 2, rgb);
    EXPECT_EQ(MOX_Palette[7][1][2], 6);
    MOX_SetPallete(8, 2, rgb);
    MOX_SetPallete(-1, 2, rgb);
}

}  // namespace

// Calls that need GL made before video is initialised: no crash, a refusal and a message, so
// that data-model code can run without a window.
#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
#include "mox/mox.h"

namespace {

TEST(VideoWithoutContext, RefusesInsteadOfCrashing) {
    ASSERT_FALSE(MOX_VideoReady());
    LogCapture log;
    EXPECT_EQ(MOX_CreateFrameBuffer(64, 64, 1), -1);
    EXPECT_EQ(MOX_CreateTexture(8, 8, nullptr, 0), 0);
    MOX_SetFrameBuffer(0);
    MOX_ClearFrameBuffer(0);
    MOX_BindTexture(5);
    MOX_BindTextureChannel(5, 1);
    MOX_UpdateTexture(5, 8, 8, nullptr);
    MOX_DrawQuad(0, 0, 10, 10, 0, 0, 1, 1);
    MOX_DrawColorQuad(0, 0, 10, 10, 1, 1, 1, 1);
    MOX_DrawRotatedQuad(0, 0, 10, 10, 0, 0, 1, 1, 45);
    MOX_DrawLineRGB(0, 0, 10, 10, 1, 1, 1, 1);
    MOX_DrawFrameBuffer(0, 0, 10, 10, 0);
    MOX_EnableRenderState(MOX_STATE_BLEND);
    MOX_Enable2D();
    MOX_Disable2D();
    MOX_LookAt(0, 0, 5, 0, 0, 0);
    MOX_SwapBuffers();
    MOX_SwapBuffersBasic();
    EXPECT_TRUE(log.Has("mox.no_video"));
    EXPECT_EQ(MOX_GetFrameBufferWidth(), 0);
    EXPECT_EQ(MOX_GetFrameBufferTexture(0), 0);
    EXPECT_EQ(MOX_lasttextureid, -1);
    EXPECT_EQ(MOX_renderstate, 0);
}

TEST(VideoWithoutContext, ShadersOnlyCountIds) {
    EXPECT_EQ(MOX_shaders_enabled, 0);
    int first = MOX_InitShader("v", "f");
    EXPECT_EQ(MOX_InitDefaultPostShader(), first + 1);
    MOX_BindShader(first);
    MOX_SetShaderUniform1f(first, "x", 1);
    MOX_DeleteShader(first);
    MOX_UnbindShader();
    EXPECT_EQ(MOX_numshaders, first + 2);
}

TEST(VideoWithoutContext, PacingNeedsNoWindow) {
    MOX_SetRefreshRate(-2);
    EXPECT_GE(MOX_WaitRefresh(), 0.0f);
    EXPECT_GE(MOX_GetFPS(), 0);
}

}  // namespace

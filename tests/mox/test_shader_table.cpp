// The shader table's limit, in a process of its own so that the ids start at 0.
#include <gtest/gtest.h>

#include "gl_context.h"
#include "log_capture.h"

namespace {

TEST(ShaderTable, SixtyFifthBuildIsRefused) {
    ASSERT_TRUE(gltest_init(64, 64));
    ASSERT_EQ(MOX_numshaders, 0);
    const char *v = "#version 120\nvoid main() { gl_Position = ftransform(); }";
    const char *f = "#version 120\nvoid main() { gl_FragColor = vec4(1.0); }";
    for (int i = 0; i < MOX_MAXSHADERS; i++) ASSERT_EQ(MOX_InitShader(v, f), i);
    {
        LogCapture log;
        EXPECT_EQ(MOX_InitShader(v, f), -1);
        EXPECT_TRUE(log.Has("mox.shader_table_full"));
    }
    EXPECT_EQ(MOX_numshaders, MOX_MAXSHADERS);
    // A post shader of -1 presents the frame unshaded.
    MOX_SetPostShader(-1);
    MOX_ClearFrameBuffer(0xFF00FF00);
    MOX_SwapBuffers();
}

}  // namespace

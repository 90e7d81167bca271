// Shaders and the 3D view helpers under Xvfb.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gl_context.h"
#include "log_capture.h"

namespace {

class ShaderTest : public GLTest {};

const char *vertex_ok = "#version 120\nvoid main() { gl_Position = ftransform(); }";
const char *fragment_ok = "#version 120\nuniform vec4 tint;\nvoid main() { gl_FragColor = tint; }";

GLint link_status(int id) {
    GLint ok = 0;
    glGetProgramiv(MOX_shader[id].program, GL_LINK_STATUS, &ok);
    return ok;
}

TEST_F(ShaderTest, DefaultPostShaderBuildsWithItsUniforms) {
    int id = MOX_InitDefaultPostShader();
    ASSERT_GE(id, 0);
    EXPECT_EQ(link_status(id), GL_TRUE);
    for (const char *name : {"fbo_texture", "fadevalue", "scanlinevalue", "height"})
        EXPECT_GE(glGetUniformLocation(MOX_shader[id].program, name), 0) << name;
    std::string fragment = ff_defaultpostshader;
    EXPECT_NE(fragment.find(" gl_FragColor = color*fadevalue;\n}"), std::string::npos);
    EXPECT_NE(fragment.back(), '\n');
}

TEST_F(ShaderTest, CompileErrorIsPrintedAndStillGetsAnId) {
    int before = MOX_numshaders;
    LogCapture log;
    int id = MOX_InitShader("#version 120\nvoid main() { gl_Position = ; }", fragment_ok);
    EXPECT_EQ(id, before);
    EXPECT_EQ(MOX_numshaders, before + 1);
    EXPECT_TRUE(log.Has("mox.shader_compile_failed")) << log.Text();
    EXPECT_TRUE(log.Has("mox.shader_link_failed")) << log.Text();
    EXPECT_EQ(link_status(id), GL_FALSE);
}

TEST_F(ShaderTest, MissingFileReturnsMinusOneAndFreesTheId) {
    std::string vfile = std::string(FENTRO_BINARY_DIR) + "/shadertest.vs";
    FILE *f = fopen(vfile.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs(vertex_ok, f);
    fclose(f);
    int next = MOX_numshaders;
    {
        LogCapture log;
        EXPECT_EQ(MOX_LoadShader(vfile.c_str(), "no/such/file.fs"), -1);
        EXPECT_THAT(log.Ids(), testing::ElementsAre("mox.shader_missing"));
    }
    EXPECT_EQ(MOX_LoadShader(nullptr, vfile.c_str()), -1);
    EXPECT_EQ(MOX_numshaders, next);
    EXPECT_EQ(MOX_InitShader(vertex_ok, fragment_ok), next);
    remove(vfile.c_str());
}

TEST_F(ShaderTest, UniformsBindTheProgramAndDrawWithIt) {
    int id = MOX_InitShader(vertex_ok, fragment_ok);
    ASSERT_GE(id, 0);
    MOX_UnbindShader();
    MOX_SetShaderUniform1f(id, "undeclared", 1.0f);
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(GLuint(current), MOX_shader[id].program);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    MOX_SetShaderUniform4f(id, "tint", 0, 0, 1, 1);
    MOX_ClearFrameBuffer(0xFF000000);
    MOX_DrawQuad(0, 0, 16, 16, 0, 0, 1, 1);
    MOX_UnbindShader();
    EXPECT_EQ(gltest_pixel(8, 8), 0xFFFF0000u);

    MOX_DeleteShader(id);
    EXPECT_EQ(glIsProgram(MOX_shader[id].program), GL_FALSE);
    // Ids outside the table are ignored.
    MOX_BindShader(-1);
    MOX_BindShader(MOX_MAXSHADERS);
    MOX_SetShaderUniform1i(MOX_MAXSHADERS + 5, "tint", 0);
}

// Where the camera transform puts a world point.
void transformed(float x, float y, float z, float out[3]) {
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int r = 0; r < 3; r++) out[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
}

TEST_F(ShaderTest, LookAtPutsTheTargetStraightAhead) {
    glMatrixMode(GL_MODELVIEW);
    float p[3];
    struct Case {
        float eye[3], target[3], distance;
    } cases[] = {{{0, 10, 0}, {0, 0, 0}, 10},
                 {{0, -4, 0}, {0, 0, 0}, 4},
                 {{0, 0, 5}, {0, 0, 0}, 5},
                 {{0, 0, -5}, {0, 0, 0}, 5},
                 {{10, 0, 0}, {0, 0, 0}, 10},
                 {{3, 4, 12}, {1, 1, 1}, 11.575837f},
                 {{-2, 7, -9}, {4, -1, 3}, 15.620499f}};
    for (const Case &c : cases) {
        glLoadIdentity();
        MOX_LookAt(c.eye[0], c.eye[1], c.eye[2], c.target[0], c.target[1], c.target[2]);
        transformed(c.target[0], c.target[1], c.target[2], p);
        EXPECT_NEAR(p[0], 0, 1e-4) << c.eye[0] << "," << c.eye[1] << "," << c.eye[2];
        EXPECT_NEAR(p[1], 0, 1e-4);
        EXPECT_NEAR(p[2], -c.distance, 1e-4);
        transformed(c.eye[0], c.eye[1], c.eye[2], p);
        EXPECT_NEAR(p[0] * p[0] + p[1] * p[1] + p[2] * p[2], 0, 1e-6);
    }
    // Eye (0, 10, 0): +90 degrees about x, then a translation by (0, -10, 0).
    glLoadIdentity();
    MOX_LookAt(0, 10, 0, 0, 0, 0);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_NEAR(m[6], 1, 1e-6);   // y -> z
    EXPECT_NEAR(m[9], -1, 1e-6);  // z -> -y
    EXPECT_NEAR(m[14], -10, 1e-5);
    // Eye equal to target changes nothing.
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    MOX_LookAt(1, 1, 1, 1, 1, 1);
    transformed(0, 0, 0, p);
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[2], 3);
}

TEST_F(ShaderTest, ViewPortAndUpdateMatrix) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    MOX_ViewPort(123, 456, 2.0f, 90, 1, 100);
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_NEAR(m[5], 1, 1e-5);  // tan(45) = 1
    EXPECT_NEAR(m[0], 0.5, 1e-5);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 256);
    float id2[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 7, 8, 9, 1};
    MOX_UpdateMatrix(id2);
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_EQ(m[12], 7);
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace

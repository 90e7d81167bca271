#include "demosystem/c_mesh.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "gl_context.h"
#include "log_capture.h"

namespace {

// Builds mesh files byte by byte.
struct meshfile {
    std::vector<unsigned char> b;
    void u16(int v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
    void f32(float f) {
        uint32_t u;
        memcpy(&u, &f, 4);
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(u >> (8 * i)));
    }
    void header(const char *id, int nv, int ngroups, int nchannels) {
        b.insert(b.end(), id, id + 4);
        u16(nv), u16(ngroups), u16(nchannels), u16(0);
    }
};

// A square in the xy-plane from (-1,-1) to (1,1) as two triangles; channel c's texture
// coordinates are (c, c) at every corner so that the lists can be told apart.
meshfile square(int nchannels, int badindex = -1) {
    meshfile m;
    m.header("MESH", 4, 1, nchannels);
    const float v[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (auto &p : v) m.f32(p[0]), m.f32(p[1]), m.f32(0);
    m.u16(2), m.u16(7);
    const int tri[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (auto &t : tri) m.u16(t[0]), m.u16(t[1]), m.u16(badindex >= 0 ? badindex : t[2]), m.u16(0);
    for (int c = 0; c < nchannels; ++c) {
        m.u16(1), m.u16(2);
        m.f32(float(c)), m.f32(float(c));
        for (int i = 0; i < 6; ++i) m.u16(0);
    }
    return m;
}

}  // namespace

TEST(Mesh, ParsesOneGroupOneChannelAndPrintsTheIdReversed) {
    c_mesh mesh;
    meshfile f = square(1);
    const char *why = nullptr;
    {
        LogCapture log;
        ASSERT_TRUE(mesh_parse(&mesh, f.b.data(), (uint32_t)f.b.size(), &why));
        EXPECT_THAT(log.Ids(), testing::ElementsAre("demo.mesh_info"));
    }
    EXPECT_EQ(mesh.numvertices, 4);
    EXPECT_EQ(mesh.numfaces[0], 2);
    EXPECT_EQ(mesh.matid[0], 7);
    EXPECT_EQ(mesh.face[0][1].c, 3);
    EXPECT_EQ(mesh.numtvertices[0], 1);
    mesh.Remove();
    EXPECT_EQ(mesh.vertex, nullptr);
    EXPECT_EQ(mesh.numfacegroups, 0);
}

TEST(Mesh, RefusesMalformedFilesAndStaysEmpty) {
    struct bad {
        const char *name;
        meshfile file;
    };
    std::vector<bad> cases;
    meshfile truncated = square(1);
    truncated.b.resize(truncated.b.size() - 3);
    cases.push_back({"truncated", truncated});
    cases.push_back({"vertex index", square(1, 4)});
    meshfile badtex = square(1);
    badtex.b[badtex.b.size() - 1] = 5;  // last texture index of face 1 -> 0x0500
    cases.push_back({"texture index", badtex});
    meshfile groups;
    groups.header("MESH", 0, 9, 1);
    cases.push_back({"nine groups", groups});
    meshfile channels;
    channels.header("MESH", 0, 0, 3);
    cases.push_back({"three channels", channels});
    meshfile nochannel;
    nochannel.header("MESH", 0, 0, 0);
    cases.push_back({"no channel", nochannel});
    cases.push_back({"empty", meshfile{}});

    for (auto &c : cases) {
        c_mesh mesh;
        const char *why = nullptr;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(mesh_parse(&mesh, c.file.b.data(), (uint32_t)c.file.b.size(), &why)) << c.name;
        testing::internal::GetCapturedStdout();
        EXPECT_NE(why, nullptr) << c.name;
        EXPECT_EQ(mesh.vertex, nullptr) << c.name;
        EXPECT_EQ(mesh.numfacegroups, 0) << c.name;
    }
}

class MeshDraw : public GLTest {
protected:
    std::string dir;
    void SetUp() override {
        GLTest::SetUp();
        dir = std::string(FENTRO_BINARY_DIR) + "/mesh_test_data";
        std::filesystem::create_directories(dir);
        ASSERT_EQ(corefile_mountimage((dir + "/").c_str(), 2), 1);
    }
    void TearDown() override { corefile_closeimage(); }
    void write(const char *name, const meshfile &m) {
        FILE *fp = fopen((dir + "/" + name).c_str(), "wb");
        ASSERT_NE(fp, nullptr);
        fwrite(m.b.data(), 1, m.b.size(), fp);
        fclose(fp);
    }
};

TEST_F(MeshDraw, LoadsBuildsAndDrawsWithChannelZero) {
    write("two.msh", square(2));
    c_mesh mesh;
    testing::internal::CaptureStdout();
    mesh.Load((char *)"two.msh");
    testing::internal::GetCapturedStdout();
    ASSERT_NE(mesh.displaylist_id, 0);
    ASSERT_NE(mesh.displaylist_id2, 0);
    EXPECT_NE(mesh.displaylist_id, mesh.displaylist_id2);

    // A 2 x 1 texture: black at u < 0.5, white at u >= 0.5. Channel 0 samples u = 0 (black),
    // channel 1 samples u = 1 (white), so the colour tells which list was drawn.
    const unsigned char texels[8] = {0, 0, 0, 255, 255, 255, 255, 255};
    GLuint tex;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);

    MOX_ClearFrameBuffer(0xFF0000FF);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    mesh.Draw();
    EXPECT_EQ(gltest_pixel(128, 128) & 0xFFFFFF, 0x000000u);
    glCallList((GLuint)mesh.displaylist_id2);
    EXPECT_EQ(gltest_pixel(128, 128) & 0xFFFFFF, 0xFFFFFFu);
    glDeleteTextures(1, &tex);
    mesh.Remove();
}

TEST_F(MeshDraw, MissingOrBadFileLeavesNothingToDraw) {
    write("bad.msh", square(1, 9));
    const char *const cases[][2] = {{"missing.msh", "demo.mesh_missing"},
                                    {"bad.msh", "demo.mesh_malformed"}};
    for (const auto &c : cases) {
        const char *name = c[0];
        c_mesh mesh;
        LogCapture log;
        mesh.Load((char *)name);
        EXPECT_TRUE(log.Has(c[1])) << name << ": " << log.Text();
        EXPECT_EQ(mesh.displaylist_id, 0) << name;
        mesh.Draw();
    }
}

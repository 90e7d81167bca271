// Releasing a loaded production: everything the demo object allocated is freed, its bitmaps
// and sprites leave the core library's lists, and loading again after a release works. Runs
// without a GL context (images stay as pixels in memory, no driver allocates beside us) and
// without scenes (the demo object's effect table is empty).
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/corefile.h"
#include "demosystem/demosystem.h"
#include "mox/mox.h"
#include "support/media.h"
#include "support/scratch.h"

namespace {

using namespace test_support;

const char *const project =
    "#renderwidth 64\n#renderheight 64\n#demotype 1\n#music \"music.wav\"\n#resources\n"
    "#texture 0 \"tex\" \"pic.tga\"\n"
    "#sprite 1 \"spr\" \"pic.tga\"\n"
    "#spritesheet 2 \"sheet\" \"sheet.tga\" :16 8 8 8\n"
    // The same sheet id again: the cells of the line above are replaced.
    "#spritesheet 2 \"sheet2\" \"sheet.tga\" :2 2 16 8\n"
    "#shader 3 \"glow\" \"glow.glsl\" :2 \"amount\" \"speed\"\n"
    "#shader 3 \"glow2\" \"glow.glsl\" :0\n"
    "#postshader 4 \"post\" \"glow.glsl\" :1 \"fade\"\n"
    "#marker 100,1\n"
    "#layer \"one\"\n"
    "#event 0,1000,3,4,6:1.00,2.00,0.00,0.00,5.00,6.00\n"
    "#event 1000,1000,1,0,4:0.00,0.00,0.00,0.00\n"
    "#eventvalue 0,1,1,0.50\n";

class Release : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir / "demo.fentro", project);
        WriteFile(dir / "pic.tga", SolidTga(16, 16, 0xFF00FF00));
        WriteFile(dir / "sheet.tga", SolidTga(32, 16, 0xFF0000FF));
        WriteFile(dir / "glow.glsl", "void main() { gl_FragColor = vec4(1.0); }\n");
        WriteFile(dir / "music.wav", SilentWav(44100));
        ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
    }
    void TearDown() override {
        MOX_FlushGraphics();
        corefile_closeimage();
    }
    static void LoadQuietly(c_demo &demo) {
        ::testing::internal::CaptureStdout();
        demo.Load("demo.fentro");
        ::testing::internal::GetCapturedStdout();
    }
    static void ReleaseQuietly(c_demo &demo) {
        ::testing::internal::CaptureStdout();
        demo.Release();
        ::testing::internal::GetCapturedStdout();
    }
    TempDir dir;
};

// Whether a listed sprite or bitmap lies in the `bytes` bytes at `begin`.
bool Listed(const void *begin, size_t bytes) {
    const auto inside = [&](const void *p) {
        const char *c = static_cast<const char *>(p), *d = static_cast<const char *>(begin);
        return c >= d && c < d + bytes;
    };
    for (int i = 0; i < mox_numsprites; i++)
        if (inside(mox_spritelist[i])) return true;
    for (int i = 0; i < mox_numbitmaps; i++)
        if (inside(mox_bitmaplist[i])) return true;
    return false;
}

TEST_F(Release, EmptiesEveryTableAndUnlistsTheGraphics) {
    auto demo = std::make_unique<c_demo>();
    LoadQuietly(*demo);
    ASSERT_EQ(demo->numlayers, 1);
    ASSERT_EQ(demo->layer[0].numevents, 2);
    ASSERT_NE(demo->demomusic.buffer, nullptr);
    ASSERT_NE(demo->resource_texture[0].data, nullptr);
    ASSERT_EQ(demo->resource_spritesheet[2].numsprites, 4);
    ASSERT_NE(demo->resource_shader[3].ff, nullptr);
    ASSERT_TRUE(Listed(demo.get(), sizeof *demo));
    const s_spritesheet &sheet = demo->resource_spritesheet[2];
    const void *cells = sheet.sprite;
    const size_t cellbytes = sizeof *sheet.sprite * sheet.numsprites;
    ASSERT_TRUE(Listed(cells, cellbytes));

    ReleaseQuietly(*demo);
    EXPECT_EQ(demo->numlayers, 0);
    EXPECT_EQ(demo->numresources, 0);
    EXPECT_EQ(demo->nummarkers, 0);
    EXPECT_EQ(demo->layer[0].event[0].value, nullptr);
    EXPECT_EQ(demo->demomusic.buffer, nullptr);
    EXPECT_EQ(demo->resource_texture[0].data, nullptr);
    EXPECT_EQ(demo->resource_spritesheet[2].spritesheet.data, nullptr);
    EXPECT_EQ(demo->resource_spritesheet[2].sprite, nullptr);
    EXPECT_EQ(demo->resource_shader[3].ff, nullptr);
    for (const s_demoresource &r : demo->resource)
        for (const char *p : r.param) EXPECT_EQ(p, nullptr);
    EXPECT_FALSE(Listed(demo.get(), sizeof *demo));
    EXPECT_FALSE(Listed(cells, cellbytes));
    ReleaseQuietly(*demo);  // twice is harmless

    // Nothing listed points into the object any more, so it can go before a flush.
    demo.reset();
    ::testing::internal::CaptureStdout();
    MOX_FlushGraphics();
    ::testing::internal::GetCapturedStdout();
}

TEST_F(Release, LoadingAgainAfterARelease) {
    auto demo = std::make_unique<c_demo>();
    LoadQuietly(*demo);
    ReleaseQuietly(*demo);
    LoadQuietly(*demo);
    EXPECT_EQ(demo->numresources, 7);
    EXPECT_EQ(demo->layer[0].numevents, 2);
    EXPECT_FLOAT_EQ(demo->layer[0].event[0].value[4], 5.0f);
    EXPECT_STREQ(demo->resource[4].param[5], "speed");
    EXPECT_EQ(demo->resource_spritesheet[2].numsprites, 4);
    EXPECT_EQ(demo->resource_spritesheet[2].sprite[3].width, 16);
    ReleaseQuietly(*demo);
}

// Loading and releasing over and over keeps the heap flat: nothing that a load allocates,
// including the cells of a sheet id declared twice, stays behind.
TEST_F(Release, RepeatedLoadsKeepTheHeapFlat) {
    auto demo = std::make_unique<c_demo>();
    const auto cycle = [&] {
        LoadQuietly(*demo);
        ::testing::internal::CaptureStdout();
        demo->Release();
        MOX_FlushGraphics();
        ::testing::internal::GetCapturedStdout();
    };
    for (int i = 0; i < 3; i++) cycle();
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 20; i++) cycle();
    const size_t after = mallinfo2().uordblks;
    // One cycle allocates well over 8 KB (pixels, music, cells, texts, value blocks).
    EXPECT_LT(after, before + 8192) << "grew by " << after - before << " bytes";
}

}  // namespace

// Bitmaps under a GL context: loading TGA files through the file layer, pixel access, the
// bitmap list and its limits, deletion, and drawing checked by reading pixels back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "gl_context.h"
#include "log_capture.h"
#include "mox/mox.h"
#include "support/media.h"
#include "support/scratch.h"

using namespace test_support;

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kDir = std::string(FENTRO_BINARY_DIR) + "/test_bitmap_files";

// 0xAARRGGBB colours of a 2 x 2 test image, top row first.
const uint32_t RED = 0xFFFF0000, GREEN = 0xFF00FF00, BLUE = 0xFF0000FF, WHITE = 0xFFFFFFFF;

class BitmapTest : public GLTest {
protected:
    static void SetUpTestSuite() {
        std::filesystem::create_directories(kDir);
        const bytes_t quad = TgaImage32(2, 2, {RED, GREEN, BLUE, WHITE});
        for (const char *name : {"lower.tga", "upper.TGA", "mixed.TgA", "x.png", "noext", ".tga"})
            ASSERT_TRUE(WriteFile(kDir + "/" + name, quad));
        ASSERT_TRUE(WriteFile(kDir + "/short.tga", bytes_t(quad.begin(), quad.end() - 1)));
        ASSERT_EQ(corefile_mountimage(kDir.c_str(), 2), 1);
    }
    void TearDown() override { Quietly(MOX_FlushGraphics); }
    // Loads and returns the ids of the messages logged.
    std::vector<std::string> load(const char *name, s_bitmap *b, bool keep = true) {
        LogCapture log;
        (keep ? MOX_LoadBitmap : MOX_LoadBitmapStatic)(name, b);
        return log.Ids();
    }
    s_bitmap bm[4] = {};
};

TEST_F(BitmapTest, LoadsTgaWithTheExtensionInAnyCase) {
    const char *names[] = {"lower.tga", "upper.TGA", "mixed.TgA"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_THAT(load(names[i], &bm[i]), ElementsAre("mox.tga_loading", "mox.tga_info"));
        ASSERT_NE(bm[i].data, nullptr) << names[i];
        EXPECT_NE(bm[i].textureid, 0);
        EXPECT_EQ(MOX_GetPixel(0, 0, bm[i]), RED);
        EXPECT_EQ(MOX_GetPixel(1, 1, bm[i]), WHITE);
        EXPECT_EQ(bm[i].data[1], ToBuffer(GREEN));
    }
    EXPECT_EQ(mox_numbitmaps, 3);
    EXPECT_EQ(mox_bitmaplist[2], &bm[2]);
}

TEST_F(BitmapTest, OtherNamesAreNotSupportedAndFailuresLeaveTheRecord) {
    for (const char *name : {"x.png", "noext", ".tga", "lower.tgax"}) {
        bm[0].width = 77;
        EXPECT_THAT(load(name, &bm[0]), ElementsAre("mox.image_unsupported")) << name;
        EXPECT_EQ(bm[0].width, 77);
    }
    for (const char *name : {"missing.tga", "short.tga"}) {
        EXPECT_THAT(load(name, &bm[0]), Contains("mox.image_not_loaded")) << name;
        EXPECT_EQ(bm[0].width, 77);
        EXPECT_EQ(bm[0].data, nullptr);
        EXPECT_EQ(bm[0].textureid, 0);
    }
    EXPECT_THAT(load("short.tga", &bm[0]), Contains("mox.tga_malformed"));
    EXPECT_EQ(mox_numbitmaps, 0);
}

TEST_F(BitmapTest, PixelAccessSwapsRedAndBlueAndStaysInside) {
    MOX_CreateBitmap(4, 3, &bm[0]);
    ASSERT_NE(bm[0].data, nullptr);
    EXPECT_EQ(MOX_GetPixel(3, 2, bm[0]), 0u);  // created zeroed
    MOX_DrawPixel(3, 2, (int)0xFF112233, bm[0]);
    EXPECT_EQ(MOX_GetPixel(3, 2, bm[0]), 0xFF112233u);
    EXPECT_EQ(bm[0].data[3 + 2 * 4], 0xFF332211u);
    for (int xy : {-1, 4, 100}) {
        MOX_DrawPixel(xy, 0, -1, bm[0]);
        MOX_DrawPixel(0, xy, -1, bm[0]);
    }
    MOX_DrawPixel(0, 3, -1, bm[0]);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(bm[0].data[i], i == 11 ? 0xFF332211u : 0u) << i;
    EXPECT_EQ(MOX_GetPixel(-1, 0, bm[0]), 0u);
    EXPECT_EQ(MOX_GetPixel(bm[0].width, 0, bm[0]), 0u);
    EXPECT_EQ(MOX_GetPixel(0, bm[0].height, bm[0]), 0u);

    MOX_ClearBitmapWithColor(bm[0], 0x80332211);  // stored as given
    EXPECT_EQ(MOX_GetPixel(2, 1, bm[0]), 0x80112233u);
    MOX_ClearBitmap(bm[0]);
    EXPECT_EQ(MOX_GetPixel(2, 1, bm[0]), 0u);
}

TEST_F(BitmapTest, BadSizesGiveAnEmptyRecord) {
    const int sizes[][2] = {{0, 5}, {5, 0}, {-1, 3}, {65536, 16384}};
    for (const auto &s : sizes) {
        bm[0].width = 9;
        LogCapture log;
        MOX_CreateBitmap(s[0], s[1], &bm[0]);
        EXPECT_TRUE(log.Has("mox.bitmap_bad_size"));
        EXPECT_EQ(bm[0].width, 0);
        EXPECT_EQ(bm[0].data, nullptr);
    }
    EXPECT_EQ(mox_numbitmaps, 0);
    MOX_ClearBitmap(bm[0]);
}

// A picture wider than the largest texture is refused before decoding; an upload that GL
// refuses is reported and leaves no texture.
TEST_F(BitmapTest, PicturesNoTextureCanHoldAreNotLoaded) {
    const int limit = MOX_MaxTextureSize();
    ASSERT_GT(limit, 0);
    ASSERT_TRUE(WriteFile(kDir + "/wide.tga",
                          TgaImage32(limit + 1, 1, std::vector<uint32_t>(limit + 1, RED))));
    {
        LogCapture log;
        MOX_LoadBitmap("wide.tga", &bm[0]);
        EXPECT_TRUE(log.Has("mox.image_too_large"));
    }
    EXPECT_EQ(bm[0].data, nullptr);
    EXPECT_EQ(bm[0].textureid, 0);
    EXPECT_EQ(mox_numbitmaps, 0);

    LogCapture log;
    EXPECT_EQ(MOX_CreateTexture(limit + 1, 1, nullptr, 0), 0);
    EXPECT_TRUE(log.Has("mox.texture_too_large"));
    const int texture = MOX_CreateTexture(2, 2, nullptr, 0);
    ASSERT_NE(texture, 0);
    // Pixels read from a buffer object too small for them: GL refuses the upload.
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, buffer);
    glBufferData(GL_PIXEL_UNPACK_BUFFER, 4, nullptr, GL_STATIC_DRAW);
    EXPECT_EQ(MOX_UpdateTexture(texture, 2, 2, nullptr), 0);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
    EXPECT_TRUE(log.Has("mox.texture_failed"));
    EXPECT_EQ(MOX_UpdateTexture(texture, 2, 2, nullptr), 1);
    MOX_DeleteTexture(texture);
}

TEST_F(BitmapTest, TextureKeepsOddSizes) {
    MOX_CreateBitmap(1023, 1, &bm[0]);
    EXPECT_EQ(bm[0].texturewidth, 1023);
    EXPECT_EQ(bm[0].textureheight, 1);
    EXPECT_EQ(bm[0].datasize, 1023 * 4);
    GLint w = 0;
    glBindTexture(GL_TEXTURE_2D, (GLuint)bm[0].textureid);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(w, 1023);
    MOX_lasttextureid = -1;
}

TEST_F(BitmapTest, StaticBitmapKeepsOnlyItsTexture) {
    load("lower.tga", &bm[0], false);
    EXPECT_EQ(bm[0].data, nullptr);
    EXPECT_NE(bm[0].textureid, 0);
    EXPECT_EQ(bm[0].width, 2);
    MOX_ClearBitmap(bm[0]);
    EXPECT_EQ(MOX_GetPixel(0, 0, bm[0]), 0u);
}

TEST_F(BitmapTest, DeletingTwiceDoesNothingTheSecondTime) {
    MOX_CreateBitmap(2, 2, &bm[0]);
    MOX_CreateBitmap(2, 2, &bm[1]);
    LogCapture log;
    MOX_DeleteBitmap(&bm[0]);
    EXPECT_THAT(log.Ids(), ElementsAre("mox.bitmap_deleted"));
    EXPECT_EQ(bm[0].data, nullptr);
    EXPECT_EQ(bm[0].textureid, 0);
    log.Clear();
    MOX_DeleteBitmap(&bm[0]);
    EXPECT_THAT(log.Ids(), IsEmpty());
    MOX_FlushGraphics();
    EXPECT_THAT(log.Ids(),
                ElementsAre("mox.sprites_deleted", "mox.bitmap_deleted", "mox.bitmaps_deleted"));
    EXPECT_EQ(mox_numbitmaps, 0);
}

TEST_F(BitmapTest, FullBitmapListRefusesNewBitmaps) {
    std::vector<s_bitmap> many(MOX_MAXBITMAPS);
    for (s_bitmap &b : many) MOX_CreateBitmap(1, 1, &b);
    EXPECT_EQ(mox_numbitmaps, MOX_MAXBITMAPS);
    bm[0].width = 5;
    EXPECT_THAT(load("lower.tga", &bm[1]), Contains("mox.image_not_loaded"));
    LogCapture log;
    MOX_CreateBitmap(8, 8, &bm[0]);
    EXPECT_TRUE(log.Has("mox.bitmap_table_full"));
    EXPECT_EQ(bm[0].data, nullptr);
    EXPECT_EQ(bm[0].textureid, 0);
    EXPECT_EQ(bm[0].width, 0);
    EXPECT_EQ(mox_numbitmaps, MOX_MAXBITMAPS);
    MOX_FlushGraphics();
}

// Drawing into framebuffer 0 (256 x 256), read back as 0xAABBGGRR.
class BitmapDrawTest : public BitmapTest {
protected:
    void SetUp() override {
        BitmapTest::SetUp();
        load("lower.tga", &bm[0]);
        ASSERT_NE(bm[0].textureid, 0);
        MOX_ClearFrameBuffer(0xFF000000);
    }
    // The 2 x 2 image scaled by `s` at (x, y), with the black around it.
    void expect_image(int x, int y, int s, uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br) {
        EXPECT_EQ(gltest_pixel(x, y), ToBuffer(tl));
        EXPECT_EQ(gltest_pixel(x + 2 * s - 1, y), ToBuffer(tr));
        EXPECT_EQ(gltest_pixel(x, y + 2 * s - 1), ToBuffer(bl));
        EXPECT_EQ(gltest_pixel(x + 2 * s - 1, y + 2 * s - 1), ToBuffer(br));
        EXPECT_EQ(gltest_pixel(x - 1, y), 0xFF000000u);
        EXPECT_EQ(gltest_pixel(x, y - 1), 0xFF000000u);
        EXPECT_EQ(gltest_pixel(x + 2 * s, y + 2 * s - 1), 0xFF000000u);
        EXPECT_EQ(gltest_pixel(x, y + 2 * s), 0xFF000000u);
    }
};

TEST_F(BitmapDrawTest, DrawBitmapPlacesTheImageTopLeftAtXY) {
    MOX_DrawBitmap(10, 20, bm[0]);
    expect_image(10, 20, 1, RED, GREEN, BLUE, WHITE);
}

TEST_F(BitmapDrawTest, ZoomedAndScaledBitmaps) {
    MOX_DrawZoomedBitmap(30, 40, 300, bm[0]);
    expect_image(30, 40, 3, RED, GREEN, BLUE, WHITE);
    EXPECT_EQ(gltest_pixel(32, 42), ToBuffer(RED));
    EXPECT_EQ(gltest_pixel(33, 42), ToBuffer(GREEN));
    MOX_DrawScaledBitmap(100, 100, 8, 8, bm[0], 0);
    expect_image(100, 100, 4, RED, GREEN, BLUE, WHITE);
}

TEST_F(BitmapDrawTest, RotatedBitmapTurnsAboutItsCentreAtXY) {
    MOX_DrawRotatedBitmap(50, 60, bm[0], 0);
    expect_image(50, 60, 1, RED, GREEN, BLUE, WHITE);
    MOX_DrawRotatedBitmap(80, 60, bm[0], 180);
    expect_image(80, 60, 1, WHITE, BLUE, GREEN, RED);
}

TEST_F(BitmapDrawTest, UpdatedPixelsShowAfterUpload) {
    MOX_DrawPixel(0, 0, (int)0xFF123456, bm[0]);
    MOX_DrawBitmap(10, 10, bm[0]);
    EXPECT_EQ(gltest_pixel(10, 10), ToBuffer(RED));
    MOX_UpdateBitmap(bm[0]);
    MOX_DrawBitmap(10, 10, bm[0]);
    EXPECT_EQ(gltest_pixel(10, 10), ToBuffer(0xFF123456));
}

TEST_F(BitmapDrawTest, AlphaAndAdditiveBitmaps) {
    MOX_ClearBitmapWithColor(bm[0], (int)0xFF0000FF);  // opaque red in buffer order
    MOX_DrawAlphaBitmap(10, 10, bm[0], 0.5f);
    const uint32_t half = gltest_pixel(10, 10);
    EXPECT_NEAR((int)(half & 0xFF), 128, 2);
    EXPECT_EQ(half & 0xFFFF00, 0u);
    MOX_ClearFrameBuffer(0xFF00FF00);  // green
    MOX_DrawBlendBitmap(10, 10, bm[0], 2);
    EXPECT_EQ(gltest_pixel(10, 10) & 0xFFFFFF, 0x00FFFFu);  // red added to green
}

}  // namespace

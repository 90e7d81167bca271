// Sprites, collision tests, boxes and lines, and the graphics bookkeeping; drawing checked by
// reading pixels back.
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

using ::testing::ElementsAre;

const std::string kDir = std::string(FENTRO_BINARY_DIR) + "/test_sprite_files";
const uint32_t RED = 0xFFFF0000, GREEN = 0xFF00FF00, MAGENTA = 0xFFFF00FF, WHITE = 0xFFFFFFFF;
const uint32_t BG = 0xFF800000;  // clear colour, 0xAABBGGRR: dark blue

class SpriteTest : public GLTest {
protected:
    static void SetUpTestSuite() {
        std::filesystem::create_directories(kDir);
        // 2 x 2: red, green / keyed magenta, white.
        ASSERT_TRUE(
            WriteFile(kDir + "/sprite.tga", TgaImage32(2, 2, {RED, GREEN, MAGENTA, WHITE})));
        ASSERT_EQ(corefile_mountimage(kDir.c_str(), 2), 1);
    }
    void SetUp() override {
        GLTest::SetUp();
        MOX_ClearFrameBuffer(BG);
    }
    void TearDown() override { Quietly(MOX_FlushGraphics); }
    void load(s_sprite *s) {
        Quietly([&] { MOX_LoadSprite("sprite.tga", s); });
        ASSERT_NE(s->textureid, 0);
    }
    s_bitmap bm = {};
    s_sprite sp[4] = {};
};

TEST_F(SpriteTest, CreatedSpriteOwnsZeroedPixelsSharedWithItsBitmapView) {
    MOX_CreateSprite(3, 2, &sp[0]);
    ASSERT_NE(sp[0].data, nullptr);
    EXPECT_EQ(sp[0].textureid, 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(sp[0].data[i], 0u);
    const s_bitmap view = MOX_GetBitmapFromSprite(sp[0]);
    EXPECT_EQ(view.size, 6);
    EXPECT_EQ(view.datasize, 24);
    MOX_DrawPixel(2, 1, (int)0xFF010203, view);
    EXPECT_EQ(sp[0].data[5], 0xFF030201u);
    MOX_ClearSprite(sp[0]);
    EXPECT_EQ(sp[0].data[5], 0u);
    MOX_DeleteSprite(&sp[0]);
    EXPECT_EQ(sp[0].data, nullptr);
    MOX_DeleteSprite(&sp[0]);
}

TEST_F(SpriteTest, LoadSpriteKeepsItsImageInTheSpriteBitmapTable) {
    MOX_CreateSprite(1, 1, &sp[0]);
    load(&sp[1]);
    EXPECT_EQ(sp[1].bitmap, &mox_spritebmp[1]);
    EXPECT_EQ(sp[1].width, 2);
    EXPECT_EQ(sp[1].height, 2);
    EXPECT_EQ(sp[1].textureid, mox_spritebmp[1].textureid);
    EXPECT_EQ(mox_numsprites, 2);

    Quietly([&] { MOX_LoadSprite("missing.tga", &sp[2]); });
    EXPECT_EQ(sp[2].textureid, 0);
    EXPECT_EQ(sp[2].width, 0);
}

TEST_F(SpriteTest, CollisionsAreStrictOverlaps) {
    EXPECT_EQ(MOX_CheckBoxCollision(0, 0, 10, 10, 10, 0, 10, 10), 0);
    EXPECT_EQ(MOX_CheckBoxCollision(0, 0, 10, 10, 0, 10, 10, 10), 0);
    EXPECT_EQ(MOX_CheckBoxCollision(0, 0, 10, 10, 9, 9, 10, 10), 1);
    EXPECT_EQ(MOX_CheckBoxCollision(9, 9, 10, 10, 0, 0, 10, 10), 1);
    EXPECT_EQ(MOX_CheckBoxCollision(0, 0, 10, 10, -10, 0, 10, 10), 0);

    MOX_CreateSprite(10, 10, &sp[0]);
    MOX_CreateSprite(10, 10, &sp[1]);
    EXPECT_EQ(MOX_CheckSpriteCollision(0, 0, sp[0], 9, 0, sp[1]), 1);
    EXPECT_EQ(MOX_SetSpriteCollisionBox(&sp[0], 2, 2, 8, 8), 1);  // 6 x 6 at (2, 2)
    EXPECT_EQ(MOX_CheckSpriteCollision(0, 0, sp[0], 8, 0, sp[1]), 0);
    EXPECT_EQ(MOX_CheckSpriteCollision(0, 0, sp[0], 7, 7, sp[1]), 1);
    EXPECT_EQ(MOX_CheckSpriteCollision(0, 0, sp[0], -8, 0, sp[1]), 0);

    EXPECT_EQ(MOX_CheckSpriteTransparency((int)0xFFFF00FF), 1);
    EXPECT_EQ(MOX_CheckSpriteTransparency((int)0x00F80AF8), 1);
    EXPECT_EQ(MOX_CheckSpriteTransparency((int)0xFFF010F1), 0);
    EXPECT_EQ(MOX_CheckSpriteTransparency(0), 0);
}

TEST_F(SpriteTest, FullSpriteListRefusesNewSprites) {
    MOX_CreateBitmap(4, 4, &bm);
    std::vector<s_sprite> many(MOX_MAXSPRITES);
    for (s_sprite &s : many) MOX_GetSprite(0, 0, 4, 4, bm, &s);
    EXPECT_EQ(mox_numsprites, MOX_MAXSPRITES);
    LogCapture log;
    MOX_GetSprite(0, 0, 4, 4, bm, &sp[0]);
    MOX_CreateSprite(4, 4, &sp[1]);
    MOX_LoadSprite("sprite.tga", &sp[2]);
    EXPECT_EQ(log.Count("mox.sprite_table_full"), 3) << log.Text();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sp[i].width, 0);
        EXPECT_EQ(sp[i].textureid, 0);
        EXPECT_EQ(sp[i].data, nullptr);
    }
    EXPECT_EQ(mox_numsprites, MOX_MAXSPRITES);
    MOX_FlushGraphics();
    EXPECT_EQ(mox_numsprites, 0);
}

TEST_F(SpriteTest, SpritesDrawWithTheKeyedPixelsLeftOut) {
    load(&sp[0]);
    MOX_DrawSprite(10, 10, sp[0]);
    EXPECT_EQ(gltest_pixel(10, 10), ToBuffer(RED));
    EXPECT_EQ(gltest_pixel(11, 10), ToBuffer(GREEN));
    EXPECT_EQ(gltest_pixel(10, 11), BG);  // magenta became transparent
    EXPECT_EQ(gltest_pixel(11, 11), ToBuffer(WHITE));
    EXPECT_EQ(gltest_pixel(12, 10), BG);

    MOX_DrawMirroredSprite(20, 10, sp[0]);
    EXPECT_EQ(gltest_pixel(20, 10), ToBuffer(GREEN));
    EXPECT_EQ(gltest_pixel(21, 10), ToBuffer(RED));
    EXPECT_EQ(gltest_pixel(20, 11), ToBuffer(WHITE));
    EXPECT_EQ(gltest_pixel(21, 11), BG);

    MOX_DrawScaledSprite(30, 10, 4, 4, sp[0], 0);
    EXPECT_EQ(gltest_pixel(31, 11), ToBuffer(RED));
    EXPECT_EQ(gltest_pixel(32, 11), ToBuffer(GREEN));
    EXPECT_EQ(gltest_pixel(31, 12), BG);
    EXPECT_EQ(gltest_pixel(33, 13), ToBuffer(WHITE));

    MOX_DrawRotatedSprite(40, 10, sp[0], 180);
    EXPECT_EQ(gltest_pixel(40, 10), ToBuffer(WHITE));
    EXPECT_EQ(gltest_pixel(41, 10), BG);
    EXPECT_EQ(gltest_pixel(40, 11), ToBuffer(GREEN));
    EXPECT_EQ(gltest_pixel(41, 11), ToBuffer(RED));
}

TEST_F(SpriteTest, AlphaAndBlendSprites) {
    load(&sp[0]);
    MOX_ClearFrameBuffer(0xFF000000);
    MOX_DrawAlphaSprite(10, 10, sp[0], 0.5f);
    const uint32_t half = gltest_pixel(10, 10);
    EXPECT_NEAR((int)(half & 0xFF), 128, 2);
    EXPECT_EQ(half & 0xFFFF00, 0u);
    EXPECT_EQ(gltest_pixel(10, 11), 0xFF000000u);

    MOX_ClearFrameBuffer(0xFFFF0000);  // blue
    MOX_DrawBlendSprite(10, 10, sp[0], 2);
    EXPECT_EQ(gltest_pixel(10, 10) & 0xFFFFFF, 0xFF00FFu);  // red added to blue
    EXPECT_EQ(gltest_pixel(10, 11) & 0xFFFFFF, 0xFF0000u);
}

TEST_F(SpriteTest, BoxesAndLinesUseTheirPackedColour) {
    MOX_DrawBox(5, 5, 10, 10, (int)0x80FF0000);
    EXPECT_EQ(gltest_pixel(5, 5), 0x800000FFu);  // red, alpha 128 written as it is
    EXPECT_EQ(gltest_pixel(14, 14), 0x800000FFu);
    EXPECT_EQ(gltest_pixel(15, 14), BG);

    MOX_ClearFrameBuffer(0xFF000000);
    MOX_EnableAlphaBlend(1);
    MOX_DrawBox(0, 0, 10, 10, (int)0x80FF0000);
    MOX_DisableAlphaBlend();
    EXPECT_NEAR((int)(gltest_pixel(3, 3) & 0xFF), 128, 2);

    MOX_DrawLine(20, 40, 60, 40, (int)0xFF00FF00);
    const uint32_t a = gltest_pixel(40, 39), b = gltest_pixel(40, 40);
    EXPECT_TRUE(a == ToBuffer(GREEN) || b == ToBuffer(GREEN)) << std::hex << a << " " << b;
    EXPECT_EQ(gltest_pixel(40, 45), 0xFF000000u);
}

TEST_F(SpriteTest, GraphicsMemoryReportAndFlush) {
    LogCapture log;
    MOX_ShowGraphicsMemory();
    EXPECT_THAT(log.Ids(), ElementsAre("mox.memory_info"));
    log.Clear();
    MOX_CreateBitmap(2, 2, &bm);
    MOX_CreateSprite(2, 2, &sp[0]);
    MOX_GetSprite(0, 0, 1, 1, bm, &sp[1]);
    MOX_FlushGraphics();
    EXPECT_THAT(log.Ids(),
                ElementsAre("mox.sprites_deleted", "mox.bitmap_deleted", "mox.bitmaps_deleted"));
    EXPECT_EQ(sp[0].data, nullptr);
    EXPECT_EQ(bm.data, nullptr);
    EXPECT_EQ(mox_numsprites, 0);
    EXPECT_EQ(mox_numbitmaps, 0);
}

}  // namespace

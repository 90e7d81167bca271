// Live reload in the editor: a production in a mounted scratch folder plays with the editor
// over it; shaders and images rewritten on disk change the picture in the following frames,
// while broken, half-written, deleted and renamed-in files leave the last good version
// running. Frames are read back from the layer framebuffers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "core/corefile.h"
#include "coresound/audiodriver.h"
#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "demosystem/demosystem_reload.h"
#include "support/media.h"
#include "support/scratch.h"
#include "gl_context.h"
#include "log_capture.h"

namespace {

using namespace test_support;

constexpr int SIZE = 64;
constexpr uint32_t RED = 0xffff0000, GREEN = 0xff00ff00, BLUE = 0xff0000ff;

// A colour as a fragment shader that fills the layer with it, with the error (if any) on
// line 4.
std::string ColourShader(const char *rgb) {
    return std::string("#version 120\nvarying vec2 uvCoord;\nvoid main() {\n") +
           "  gl_FragColor = vec4(" + rgb + ", 1.0);\n}\n";
}

// 0xAABBGGRR as read back, its 0xRRGGBB part.
uint32_t Rgb(uint32_t abgr) { return (abgr & 0xff) << 16 | (abgr & 0xff00) | (abgr >> 16 & 0xff); }

c_demo &Demo() {
    static c_demo demo;
    return demo;
}

class Reload : public ::testing::Test {
protected:
    c_demo &demo = Demo();
    TempDir dir;
    s_font font{};

    void SetUp() override {
        ASSERT_TRUE(gltest_init(SIZE, SIZE)) << "no GL context (display?)";
        static const bool sound = [] {
            Soundsystem_Init(44100, 8, 2);
            audiodriver_close();
            return true;
        }();
        (void)sound;
        ASSERT_FALSE(dir.path().empty());
        WriteFile(dir / "music.wav", SilentWav(3 * 44100));
        WriteFile(dir / "fx.glsl", ColourShader("1.0, 0.0, 0.0"));
        WriteFile(dir / "pic.tga", SolidTga(4, 4, RED));
        WriteFile(dir / "spr.tga", SolidTga(4, 2, RED));
        WriteFile(dir / "sheet.tga", SolidTga(8, 8, RED));
        WriteFile(dir / "demo.fentro",
                  "#title \"reload\"\n#renderwidth 64\n#renderheight 64\n#demotype 1\n"
                  "#music \"music.wav\"\n#resources\n"
                  "#shader 0 \"fx\" \"fx.glsl\" :0\n"
                  "#texture 1 \"pic\" \"pic.tga\"\n"
                  "#sprite 2 \"spr\" \"spr.tga\"\n"
                  "#spritesheet 3 \"sheet\" \"sheet.tga\" :2 2 4 4\n"
                  "#layer \"shader\"\n#event 0,100000,3,0,4:0,0,0,0\n"
                  "#layer \"texture\"\n#event 0,100000,1,1,0:\n");
        ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
        LogCapture quiet;
        demo.Load("demo.fentro");
        demo.InitGUI(SIZE, SIZE, &font, &font, nullptr);
        ASSERT_TRUE(demo.gui_reload);
        Frame();
    }

    void TearDown() override {
        demo.Release();
        corefile_closeimage();
    }

    void Frame() {
        Soundsystem_SetSoundOffset(&demo.demomusic, 4410);
        MOX_ClearFrameBuffer(0);
        demo.HandleDemo();
        demo.UpdateGUI();
    }

    // Frames until `done` holds, for at most two seconds: the watch reports a file once the
    // writer has closed it.
    bool FramesUntil(const std::function<bool()> &done) {
        for (int i = 0; i < 200; i++) {
            Frame();
            if (done()) return true;
            usleep(10000);
        }
        return false;
    }
    // A few frames that must not change anything.
    void SomeFrames() {
        for (int i = 0; i < 20; i++) {
            Frame();
            usleep(10000);
        }
    }

    uint32_t LayerColour(int layer) {
        s_framebuffer *keep = MOX_FrameBuffer;
        MOX_SetFrameBuffer(demo.layer[layer].framebuffer_id);
        const uint32_t p = gltest_pixel(SIZE / 2, SIZE / 2);
        if (keep) MOX_SetFrameBuffer(keep->id);
        return Rgb(p);
    }
};

TEST_F(Reload, ShaderRewrittenOnDiskChangesThePictureAndKeepsTimePauseAndSelection) {
    EXPECT_EQ(LayerColour(0), 0xff0000u);
    demo.gui_paused = true;
    demo.gui_selected_layer = 1;
    demo.gui_selected_eventtype = EDIT_EFFECT;
    demo.gui_selected_event = 0;
    LogCapture log;
    WriteFile(dir / "fx.glsl", ColourShader("0.0, 1.0, 0.0"));
    ASSERT_TRUE(FramesUntil([&] { return LayerColour(0) == 0x00ff00u; })) << log.Text();
    EXPECT_TRUE(log.Has("edit.reloaded"));
    EXPECT_EQ(demo.position, 4410);
    EXPECT_TRUE(demo.gui_paused);
    EXPECT_EQ(demo.gui_selected_layer, 1);
    EXPECT_EQ(demo.gui_selected_eventtype, EDIT_EFFECT);
    EXPECT_EQ(demo.gui_selected_event, 0);
    EXPECT_STREQ(demo.resource_shader[0].ff, ColourShader("0.0, 1.0, 0.0").c_str());

    // Saved again and again: the program is rebuilt in place, no new shader ids are used up.
    const int shaders = MOX_numshaders;
    for (const char *rgb : {"0.0, 0.0, 1.0", "1.0, 0.0, 0.0", "0.0, 1.0, 0.0"}) {
        WriteFile(dir / "fx.glsl", ColourShader(rgb));
        const uint32_t want = rgb[0] == '1' ? 0xff0000u : rgb[5] == '1' ? 0x00ff00u : 0x0000ffu;
        ASSERT_TRUE(FramesUntil([&] { return LayerColour(0) == want; })) << rgb;
    }
    EXPECT_EQ(MOX_numshaders, shaders);
}

TEST_F(Reload, BrokenHalfWrittenDeletedAndRenamedShadersKeepTheLastGoodPicture) {
    LogCapture log;
    // A syntax error on line 4: the red picture stays and the compiler's line is kept on the
    // screen with the file name and line number.
    WriteFile(dir / "fx.glsl",
              "#version 120\nvarying vec2 uvCoord;\nvoid main() {\n"
              "  gl_FragColor = vec4(0.0, 0.0, 1.0, 1.0)\n}\n");
    ASSERT_TRUE(FramesUntil([&] { return log.Has("edit.shader_failed"); }));
    EXPECT_EQ(LayerColour(0), 0xff0000u);
    std::vector<std::string> shown = LiveReloadMessages(demo);
    ASSERT_GE(shown.size(), 2u);
    bool numbered = false;
    for (const std::string &line : shown)
        numbered = numbered || line.rfind("fx.glsl:5:", 0) == 0 || line.rfind("fx.glsl:4:", 0) == 0;
    EXPECT_TRUE(numbered) << shown[1];
    SomeFrames();
    EXPECT_FALSE(LiveReloadMessages(demo).empty()) << "the error stays until a good save";

    // Half a file: still the last good picture.
    log.Clear();
    const std::string blue = ColourShader("0.0, 0.0, 1.0");
    WriteFile(dir / "fx.glsl", blue.substr(0, blue.size() / 2));
    ASSERT_TRUE(FramesUntil([&] { return log.Has("edit.shader_failed"); }));
    EXPECT_EQ(LayerColour(0), 0xff0000u);

    // The whole file: blue, and the error is gone.
    WriteFile(dir / "fx.glsl", blue);
    ASSERT_TRUE(FramesUntil([&] { return LayerColour(0) == 0x0000ffu; }));
    EXPECT_TRUE(LiveReloadMessages(demo).empty());

    // Deleted: a warning, and the picture stays.
    log.Clear();
    ASSERT_EQ(unlink((dir / "fx.glsl").c_str()), 0);
    ASSERT_TRUE(FramesUntil([&] { return log.Has("edit.reload_missing"); }));
    EXPECT_EQ(LayerColour(0), 0x0000ffu);

    // Written under another name and renamed into place.
    WriteFile(dir / "fx.glsl.tmp", ColourShader("0.0, 1.0, 0.0"));
    ASSERT_EQ(rename((dir / "fx.glsl.tmp").c_str(), (dir / "fx.glsl").c_str()), 0);
    ASSERT_TRUE(FramesUntil([&] { return LayerColour(0) == 0x00ff00u; }));
}

TEST_F(Reload, ImagesAreReplacedInPlaceAndHalfWrittenOnesAreSurvived) {
    EXPECT_EQ(LayerColour(1), 0xff0000u);
    const int bitmaps = mox_numbitmaps, sprites = mox_numsprites;
    s_bitmap *const texture = &demo.resource_texture[1];
    const int textureid = texture->textureid;

    // A texture of another size: the same record and texture name, the new picture.
    WriteFile(dir / "pic.tga", SolidTga(8, 6, GREEN));
    ASSERT_TRUE(FramesUntil([&] { return LayerColour(1) == 0x00ff00u; }));
    EXPECT_EQ(texture->width, 8);
    EXPECT_EQ(texture->textureid, textureid);

    // Half an image: it does not decode, the green one stays.
    LogCapture log;
    const std::string blue = Text(SolidTga(8, 6, BLUE));
    WriteFile(dir / "pic.tga", blue.substr(0, blue.size() / 2));
    ASSERT_TRUE(FramesUntil([&] { return log.Has("edit.image_failed"); }));
    EXPECT_EQ(LayerColour(1), 0x00ff00u);
    EXPECT_EQ(texture->width, 8);
    WriteFile(dir / "pic.tga", "");
    ASSERT_TRUE(FramesUntil([&] { return log.Count("edit.image_failed") == 2; }));
    EXPECT_EQ(LayerColour(1), 0x00ff00u);

    // A sprite and a sprite sheet take their new pictures and sizes; the cells are cut anew.
    WriteFile(dir / "spr.tga", SolidTga(6, 3, BLUE));
    WriteFile(dir / "sheet.tga", SolidTga(16, 16, GREEN));
    const s_sprite &sprite = demo.resource_sprite[2];
    const s_spritesheet &sheet = demo.resource_spritesheet[3];
    ASSERT_TRUE(FramesUntil([&] { return sprite.width == 6 && sheet.spritesheet.width == 16; }));
    EXPECT_EQ(sprite.height, 3);
    EXPECT_EQ(MOX_GetPixel(1, 1, *sprite.bitmap), BLUE);
    EXPECT_EQ(sprite.textureid, sprite.bitmap->textureid);
    ASSERT_EQ(sheet.numsprites, 4);
    EXPECT_FLOAT_EQ(sheet.sprite[3].u, 0.25f);
    EXPECT_FLOAT_EQ(sheet.sprite[3].v2, 0.5f);
    EXPECT_EQ(MOX_GetPixel(15, 15, sheet.spritesheet), GREEN);
    // Nothing new on the core library's lists.
    EXPECT_EQ(mox_numbitmaps, bitmaps);
    EXPECT_EQ(mox_numsprites, sprites);
}

TEST(ReloadLog, CompilerLinesNameTheFileAndLine) {
    const auto lines = ShaderLogLines(
        "a.glsl",
        "0:12(5): error: syntax error, unexpected '}'\n\n0(7) : warning C7050: x\nlink failed");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "a.glsl:12: error: syntax error, unexpected '}'");
    EXPECT_EQ(lines[1], "a.glsl:7: warning C7050: x");
    EXPECT_EQ(lines[2], "a.glsl: link failed");
    EXPECT_TRUE(ShaderLogLines("a.glsl", nullptr).empty());
    EXPECT_TRUE(ShaderLogLines("a.glsl", "").empty());
}

TEST(ReloadWatch, PollingSeesWritesOnceTheyHaveSettled) {
    TempDir dir;
    WriteFile(dir / "a.glsl", "one");
    c_folderwatch watch(dir.str(), {"a.glsl", "gone.tga"}, false);
    EXPECT_FALSE(watch.Notifying());
    EXPECT_TRUE(watch.Settled(1000).empty());
    WriteFile(dir / "a.glsl", "two, longer");
    EXPECT_TRUE(watch.Settled(1300).empty());  // seen, not yet settled
    EXPECT_EQ(watch.Settled(1700), std::vector<std::string>{"a.glsl"});
    EXPECT_TRUE(watch.Settled(2100).empty());  // reported once
    // A file that appears is a change too; an untracked one is not.
    WriteFile(dir / "gone.tga", "x");
    WriteFile(dir / "other.tga", "x");
    watch.Settled(2400);
    EXPECT_EQ(watch.Settled(2800), std::vector<std::string>{"gone.tga"});
}

}  // namespace

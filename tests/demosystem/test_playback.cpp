// Playback under GL: productions loaded from project texts in a mounted scratch folder,
// frames drawn at positions set on the music, pixels read back from the layer and main
// framebuffers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "coresound/audiodriver.h"
#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "support/media.h"
#include "support/scratch.h"
#include "gl_context.h"
#include "log_capture.h"

namespace {

using namespace test_support;

// Colours as 0xAARRGGBB for the files, and their 0xRRGGBB part for the checks.
constexpr uint32_t RED = 0xffff0000, GREEN = 0xff00ff00, BLUE = 0xff0000ff, WHITE = 0xffffffff;
constexpr uint32_t BACKGROUND = 0x102030;

// The pixel's colour (read as 0xAABBGGRR) is within `tolerance` of 0xRRGGBB in every channel.
::testing::AssertionResult Near(uint32_t abgr, uint32_t rgb, int tolerance = 2) {
    const int got[3] = {int(abgr & 0xff), int(abgr >> 8 & 0xff), int(abgr >> 16 & 0xff)};
    const int want[3] = {int(rgb >> 16 & 0xff), int(rgb >> 8 & 0xff), int(rgb & 0xff)};
    for (int i = 0; i < 3; i++) {
        if (std::abs(got[i] - want[i]) > tolerance) {
            char text[96];
            snprintf(text, sizeof text, "pixel %02x%02x%02x, expected %06x", got[0], got[1], got[2],
                     (unsigned)rgb);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

// The demo object is several megabytes: one static instance, loaded afresh by each test.
c_demo &Demo() {
    static c_demo demo;
    return demo;
}

// A scene that records what playback tells it and fills its framebuffer with blue.
class ProbeScene : public c_demofunction {
public:
    void Init(c_demo *) override { inits++; }
    void Update(c_demo *demo, s_effectevent *event) override {
        updates++;
        seen_time = time;
        seen_state = state;
        seen_event = event;
        seen_framebuffer = MOX_FrameBuffer ? MOX_FrameBuffer->id : -1;
        MOX_DrawBox(0, 0, demo->renderwidth, demo->renderheight, (int)BLUE);
    }
    int inits = 0, updates = 0;
    int seen_time = -1, seen_state = -1, seen_framebuffer = -1;
    s_effectevent *seen_event = nullptr;
};

const char *const vertex_header = "#version 120\nvarying vec2 uvCoord;\n";

class Playback : public ::testing::Test {
protected:
    c_demo &demo = Demo();
    TempDir dir;
    s_effecttable effects = {};  // handed to the demo object by Load

    void SetUp() override {
        ASSERT_TRUE(gltest_init(128, 128)) << "no GL context (display?)";
        // Nothing mixes: the music's position is set by the tests alone.
        static const bool sound = [] {
            Soundsystem_Init(44100, 8, 2);
            audiodriver_close();
            return true;
        }();
        (void)sound;
        ASSERT_FALSE(dir.path().empty());
        WriteFile(dir / "music.wav", SilentWav(3 * 44100));
        WriteFile(dir / "red.tga", SolidTga(4, 4, RED));
        WriteFile(dir / "green.tga", SolidTga(4, 4, GREEN));
        WriteFile(dir / "blue.tga", SolidTga(4, 4, BLUE));
        WriteFile(dir / "white.tga", SolidTga(4, 4, WHITE));
        ASSERT_EQ(corefile_mountimage(dir.c_str(), 2), 1);
        demo.gui_visible = false;
        demo.guifont1 = nullptr;
    }

    void TearDown() override {
        demo.effects = {};  // the tests' tables go with them
        demo.gui_visible = false;
        corefile_closeimage();
    }

    // Loads a production of the given render size; `body` follows the "#resources" line.
    std::vector<std::string> Load(const std::string &body, int width = 128, int height = 128) {
        WriteFile(dir / "demo.fentro",
                  "#title \"playback\"\n#renderwidth " + std::to_string(width) +
                      "\n#renderheight " + std::to_string(height) +
                      "\n#demotype 1\n#music \"music.wav\"\n#resources\n" + body);
        LogCapture log;
        demo.effects = effects;
        demo.Load("demo.fentro");
        return log.Ids();
    }

    // "sprite.tga": 64 x 64, red above green.
    void SpriteFile() {
        std::vector<uint32_t> pixels(64 * 64, GREEN);
        std::fill(pixels.begin(), pixels.begin() + 64 * 32, RED);
        WriteFile(dir / "sprite.tga", TgaImage32(64, 64, pixels));
    }

    void Shader(const std::string &file, const std::string &uniforms, const std::string &main) {
        WriteFile(dir / file,
                  std::string(vertex_header) + uniforms + "void main() {\n" + main + "}\n");
    }

    // One pass of the player's frame loop at music position `pos`, without pacing; the
    // previous frame is presented first.
    void Frame(int pos) {
        if (drawn) MOX_SwapBuffers();
        drawn = true;
        Soundsystem_SetSoundOffset(&demo.demomusic, (uint64_t)pos);
        MOX_ClearFrameBuffer(0);
        demo.HandleDemo();
        EXPECT_EQ(demo.position, pos);
    }

    uint32_t MainPixel(int x, int y) { return PixelOf(demo.framebuffer_id, x, y); }
    uint32_t LayerPixel(int layer, int x, int y) {
        return PixelOf(demo.layer[layer].framebuffer_id, x, y);
    }

    // Texture bound to unit `unit` now.
    static int BoundTexture(int unit) {
        GLint name = 0;
        glActiveTexture(GL_TEXTURE0 + unit);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
        glActiveTexture(GL_TEXTURE0);
        return name;
    }

    uint32_t PixelOf(int framebuffer, int x, int y) {
        s_framebuffer *keep = MOX_FrameBuffer;
        MOX_SetFrameBuffer(framebuffer);
        const uint32_t p = gltest_pixel(x, y);
        if (keep) MOX_SetFrameBuffer(keep->id);
        return p;
    }

private:
    bool drawn = false;
};

TEST_F(Playback, StartPlaysTheMusicFromTheBeginning) {
    Load("#layer \"a\"\n");
    ASSERT_GT(demo.demomusic.length, 0u);
    Soundsystem_SetSoundOffset(&demo.demomusic, 5000);
    demo.position = 5000;
    demo.Start();
    EXPECT_EQ(demo.position, 0);
    EXPECT_EQ(Soundsystem_GetSoundOffset(demo.demomusic), 0u);
    EXPECT_EQ(Soundsystem_IsActive(demo.demomusic), 1);
    EXPECT_EQ(demo.demomusic.type, 1u);  // mixed at the music volume
    Soundsystem_StopMusic(&demo.demomusic);
}

TEST_F(Playback, TwoLayersBlendOverTheBackground) {
    Load(
        "#texture 0 \"red\" \"red.tga\"\n"
        "#texture 1 \"green\" \"green.tga\"\n"
        "#layer \"base\"\n"
        "#event 1000,100000,1,0,0:\n"
        "#layer \"over\"\n"
        "#event 1000,100000,1,1,0:\n"
        "#eventvalue 0,1,0,0.5\n"
        "#eventvalue 1000000,1,0,0.5\n");
    ASSERT_EQ(demo.numlayers, 2);

    // No event yet: neither layer is composed.
    Frame(500);
    EXPECT_TRUE(Near(MainPixel(5, 5), BACKGROUND));
    EXPECT_TRUE(Near(MainPixel(120, 120), BACKGROUND));
    EXPECT_EQ(MOX_FrameBuffer->id, demo.framebuffer_id);
    EXPECT_EQ(MainPixel(64, 64) >> 24, 0xffu);

    // Red at full weight, then green at half weight over it.
    Frame(5000);
    EXPECT_TRUE(Near(MainPixel(64, 64), 0x808000, 3));
    EXPECT_TRUE(Near(MainPixel(0, 127), 0x808000, 3));
    EXPECT_TRUE(Near(LayerPixel(1, 64, 64), 0x00ff00));

    // A hidden layer is neither rendered nor composed.
    demo.layer[1].visible = false;
    Frame(5000);
    EXPECT_TRUE(Near(MainPixel(64, 64), 0xff0000));
    demo.layer[1].visible = true;

    // Only the half-weighted layer: green at half over the background.
    demo.layer[0].visible = false;
    Frame(5000);
    EXPECT_TRUE(Near(MainPixel(64, 64), 0x089018, 3));
}

TEST_F(Playback, TextureIsStretchedOverTheLayer) {
    // 2 x 2 image: red, green on top; blue, white below.
    WriteFile(dir / "quad.tga", TgaImage32(2, 2, {RED, GREEN, BLUE, WHITE}));
    Load(
        "#texture 4 \"quad\" \"quad.tga\"\n"
        "#layer \"image\"\n"
        "#event 0,100000,1,0,0:\n",
        128, 96);
    Frame(100);
    EXPECT_TRUE(Near(MainPixel(0, 0), 0xff0000));
    EXPECT_TRUE(Near(MainPixel(63, 47), 0xff0000));
    EXPECT_TRUE(Near(MainPixel(64, 0), 0x00ff00));
    EXPECT_TRUE(Near(MainPixel(127, 47), 0x00ff00));
    EXPECT_TRUE(Near(MainPixel(0, 48), 0x0000ff));
    EXPECT_TRUE(Near(MainPixel(63, 95), 0x0000ff));
    EXPECT_TRUE(Near(MainPixel(64, 48), 0xffffff));
    EXPECT_TRUE(Near(MainPixel(127, 95), 0xffffff));
}

TEST_F(Playback, SpriteFollowsItsTransformKeys) {
    // On a 128 x 128 layer the sprite's half-extent is 0.2 units, about 31 pixels at the
    // camera's distance of 1 (45 degree field of view).
    SpriteFile();
    Load(
        "#sprite 0 \"sprite\" \"sprite.tga\"\n"
        "#layer \"3d\"\n"
        "#event 0,100000,1,0,0:\n"
        "#eventtransform 1000,0,0,0,0,0,0,0,0,1,1,1\n"
        "#eventtransform 3000,0,0,0.8,0,0,0,0,180,1,1,1\n");

    // At the first key: centred, upright.
    const float frames = currentframe;
    Frame(1000);
    EXPECT_EQ(currentframe, frames + 1);
    EXPECT_TRUE(Near(MainPixel(64, 45), 0xff0000));
    EXPECT_TRUE(Near(MainPixel(64, 83), 0x00ff00));
    EXPECT_TRUE(Near(MainPixel(20, 64), BACKGROUND));
    EXPECT_TRUE(Near(MainPixel(64, 20), BACKGROUND));
    // Around the sprite the layer is transparent black.
    EXPECT_EQ(LayerPixel(0, 20, 64), 0u);

    // Half way: moved right by 0.5 * 0.4 units (about 31 pixels) and turned by 90 degrees
    // anticlockwise, so the red half lies on the left.
    Frame(2000);
    EXPECT_TRUE(Near(MainPixel(80, 64), 0xff0000));
    EXPECT_TRUE(Near(MainPixel(110, 64), 0x00ff00));
    EXPECT_TRUE(Near(MainPixel(80, 40), 0xff0000));
    EXPECT_TRUE(Near(MainPixel(40, 64), BACKGROUND));

    // After the last key the transform holds: moved by about 62 pixels, upside down.
    Frame(4000);
    EXPECT_TRUE(Near(MainPixel(120, 80), 0xff0000));
    EXPECT_TRUE(Near(MainPixel(120, 48), 0x00ff00));
    EXPECT_TRUE(Near(MainPixel(80, 64), BACKGROUND));
}

TEST_F(Playback, ShaderEventSetsTheEffectUniforms) {
    Shader(
        "probe.glsl",
        "uniform vec2 resolution;\nuniform float time;\nuniform float blend;\n"
        "uniform float beatmultiplier;\nuniform float effectvalue1;\nuniform float effectvalue2;\n"
        "uniform float speed;\nuniform float gain;\n",
        "  if (uvCoord.x < 0.25) gl_FragColor = vec4(time / 2.0, blend, beatmultiplier - 1.0, "
        "1.0);\n"
        "  else if (uvCoord.x < 0.5) gl_FragColor = vec4(speed, gain, effectvalue2 - effectvalue1, "
        "1.0);\n"
        "  else gl_FragColor = vec4(resolution.x / 512.0, resolution.y / 512.0, 0.0, 1.0);\n");
    Load(
        "#shader 0 \"probe\" \"probe.glsl\" :2 \"speed\" \"gain\"\n"
        "#marker 24883,0\n"
        "#layer \"fx\"\n"
        "#event 0,100000,3,0,6:0,0,0,0,0.2,0.6\n"
        "#eventvalue 0,1,0,0.25\n"
        "#eventvalue 1000000,1,0,0.25\n",
        128, 96);
    ASSERT_EQ(demo.resource[0].loadOK, 1);

    // 0.75 s of music, 8192 frames after the marker: beat multiplier 1.5.
    Frame(33075);
    EXPECT_TRUE(Near(LayerPixel(0, 10, 40), 0x604080));
    EXPECT_TRUE(Near(LayerPixel(0, 40, 40), 0x3399ff));
    EXPECT_TRUE(Near(LayerPixel(0, 100, 40), 0x403000));
    // The layer, drawn at its Blend of 0.25 over the background.
    EXPECT_TRUE(Near(MainPixel(10, 40), 0x242844, 3));
}

TEST_F(Playback, ShaderChannelsAndThePreviousPass) {
    Shader("channels.glsl",
           "uniform sampler2D texture0;\nuniform sampler2D texture1;\n"
           "uniform sampler2D texture2;\nuniform sampler2D texture3;\n",
           "  vec2 c = vec2(0.5);\n"
           "  if (uvCoord.x < 0.25) gl_FragColor = texture2D(texture0, c);\n"
           "  else if (uvCoord.x < 0.5) gl_FragColor = texture2D(texture1, c);\n"
           "  else if (uvCoord.x < 0.75) gl_FragColor = texture2D(texture2, c);\n"
           "  else gl_FragColor = texture2D(texture3, c);\n");
    // Descriptors 1 to 4: red, green, blue and white; an event's values 0 to 3 name them.
    Load(
        "#shader 0 \"channels\" \"channels.glsl\" :0\n"
        "#texture 1 \"red\" \"red.tga\"\n"
        "#texture 2 \"green\" \"green.tga\"\n"
        "#texture 3 \"blue\" \"blue.tga\"\n"
        "#texture 4 \"white\" \"white.tga\"\n"
        "#layer \"fx\"\n"
        "#event 0,10000,3,0,4:4,3,2,1\n"
        "#event 10000,10000,3,0,4:99,-1,1e30,2\n");
    Frame(5000);
    EXPECT_TRUE(Near(LayerPixel(0, 16, 64), 0xffffff));
    EXPECT_TRUE(Near(LayerPixel(0, 48, 64), 0x0000ff));
    EXPECT_TRUE(Near(LayerPixel(0, 80, 64), 0x00ff00));
    EXPECT_TRUE(Near(LayerPixel(0, 112, 64), 0xff0000));
    // "prevPass" (unit 4) holds the framebuffer the shader draws into: the layer's own.
    EXPECT_EQ(BoundTexture(4), MOX_GetFrameBufferTexture(demo.layer[0].framebuffer_id));

    // Values that name no descriptor bind no texture; the others still work.
    Frame(15000);
    EXPECT_TRUE(Near(LayerPixel(0, 16, 64), 0x000000));
    EXPECT_TRUE(Near(LayerPixel(0, 48, 64), 0x000000));
    EXPECT_TRUE(Near(LayerPixel(0, 80, 64), 0x000000));
    EXPECT_TRUE(Near(LayerPixel(0, 112, 64), 0x00ff00));
    EXPECT_EQ(BoundTexture(1), 0);
    EXPECT_EQ(BoundTexture(2), 0);
}

TEST_F(Playback, FunctionEventTimeAndMarkersPassed) {
    ProbeScene probe;
    c_demofunction *const table[] = {nullptr, &probe};
    effects = {table, 2};
    Load(
        "#function 1 \"probe\" :1 \"amount\"\n"
        "#marker 5000,0\n"
        "#marker 10000,1\n"
        "#marker 20000,0\n"
        "#marker 30000,0\n"
        "#marker 110000,2\n"
        "#layer \"scene\"\n"
        "#event 10000,100000,4,0,5:0,0,0,0,0.5\n");
    EXPECT_EQ(probe.inits, 1);

    Frame(9999);
    EXPECT_EQ(probe.updates, 0);
    EXPECT_TRUE(Near(MainPixel(64, 64), BACKGROUND));

    // A second after the start; the marker at the start itself does not count.
    Frame(54100);
    EXPECT_EQ(probe.updates, 1);
    EXPECT_EQ(probe.seen_time, 44100);
    EXPECT_EQ(probe.seen_state, 2);
    EXPECT_EQ(probe.seen_event, &demo.layer[0].event[0]);
    EXPECT_FLOAT_EQ(probe.seen_event->value[4], 0.5f);
    EXPECT_EQ(probe.seen_framebuffer, demo.layer[0].framebuffer_id);
    EXPECT_TRUE(Near(MainPixel(64, 64), 0x0000ff));

    // A marker exactly at the current time has not been passed yet.
    Frame(30000);
    EXPECT_EQ(probe.seen_time, 20000);
    EXPECT_EQ(probe.seen_state, 1);

    // The marker at the event's end lies outside it.
    Frame(109999);
    EXPECT_EQ(probe.seen_time, 99999);
    EXPECT_EQ(probe.seen_state, 2);

    Frame(110000);
    EXPECT_EQ(probe.updates, 3);
    EXPECT_TRUE(Near(MainPixel(64, 64), BACKGROUND));
}

TEST_F(Playback, EventEndsAtItsExactEndTime) {
    Load(
        "#texture 0 \"red\" \"red.tga\"\n"
        "#texture 1 \"green\" \"green.tga\"\n"
        "#layer \"a\"\n"
        "#event 1000,2000,1,0,0:\n"
        "#event 3000,2000,1,1,0:\n");
    Frame(999);
    EXPECT_TRUE(Near(MainPixel(64, 64), BACKGROUND));
    Frame(1000);
    EXPECT_TRUE(Near(MainPixel(64, 64), 0xff0000));
    Frame(2999);
    EXPECT_TRUE(Near(MainPixel(64, 64), 0xff0000));
    Frame(3000);
    EXPECT_TRUE(Near(MainPixel(64, 64), 0x00ff00));
    Frame(4999);
    EXPECT_TRUE(Near(MainPixel(64, 64), 0x00ff00));
    Frame(5000);
    EXPECT_TRUE(Near(MainPixel(64, 64), BACKGROUND));
}

TEST_F(Playback, PostProcessingInstallsThePresentationShader) {
    // The presentation shader shows the composed picture inverted, with "amount" in blue.
    Shader("invert.glsl", "uniform sampler2D prevPass;\nuniform float amount;\n",
           "  vec4 c = texture2D(prevPass, uvCoord);\n"
           "  gl_FragColor = vec4(1.0 - c.r, 1.0 - c.g, amount, 1.0);\n");
    Shader("flat.glsl", "", "  gl_FragColor = vec4(0.0, 0.0, 1.0, 1.0);\n");
    Load(
        "#texture 0 \"red\" \"red.tga\"\n"
        "#postshader 1 \"invert\" \"invert.glsl\" :1 \"amount\"\n"
        "#postshader 2 \"flat\" \"flat.glsl\" :0\n"
        "#texture 3 \"green\" \"green.tga\"\n"
        "#layer \"picture\"\n"
        "#event 0,100000,1,0,0:\n"
        "#layer \"post\"\n"
        "#event 0,10000,7,1,5:0,0,0,0,0.25\n"
        "#event 10000,10000,7,2,4:0,0,0,0\n"
        "#layer \"after\"\n"
        "#event 0,100000,1,3,0:\n");
    const int invert = demo.resource_shader[1].shader_id;
    ASSERT_GE(invert, 0);
    ASSERT_EQ(MOX_postshader_id, -1);

    Frame(5000);
    EXPECT_EQ(MOX_postshader_id, invert);
    ASSERT_NE(MOX_FrameBuffer, nullptr);
    EXPECT_EQ(MOX_FrameBuffer->id, 0);
    // The layer after the post-processing event is drawn into framebuffer 0.
    EXPECT_TRUE(Near(gltest_pixel(64, 64), 0x00ff00));
    // The main framebuffer holds the picture composed before the event; prevPass shows it.
    EXPECT_TRUE(Near(MainPixel(64, 64), 0xff0000));
    EXPECT_EQ(BoundTexture(4), MOX_GetFrameBufferTexture(demo.framebuffer_id));

    // The presentation pass, drawn into a framebuffer of its own to read it back.
    const int target = MOX_CreateFrameBuffer(128, 128, 0);
    ASSERT_GE(target, 0);
    MOX_SetFrameBuffer(target);
    MOX_DisableAlphaBlend();
    MOX_BindShader(MOX_postshader_id);
    MOX_DrawQuad(0, 0, 128, 128, 0, 0, 1, 1);
    MOX_UnbindShader();
    EXPECT_TRUE(Near(gltest_pixel(64, 64), 0x00ff40));

    // With the editor shown, the shader is installed all the same (the editor presents its
    // preview through it), and the composed picture stays as it was for prevPass.
    MOX_SetPostShader(-1);
    demo.gui_visible = true;
    Frame(15000);
    EXPECT_EQ(MOX_postshader_id, demo.resource_shader[2].shader_id);
    EXPECT_EQ(MOX_FrameBuffer->id, 0);
    EXPECT_TRUE(Near(MainPixel(64, 64), 0xff0000));
}

// The editor's preview is the frame the player presents at the same position, scaled into
// the preview area, before and after hiding and showing the overlay; while hidden, the editor
// presents what the player does.
TEST_F(Playback, EditorPreviewIsThePresentedFrame) {
    // Red inverted, green left to right, blue bottom to top plus half the layer composed after
    // the event: a picture without post-processing, mirrored or missing a layer differs.
    Shader("ramp.glsl", "uniform sampler2D prevPass;\nuniform sampler2D fbo_texture;\n",
           "  vec4 c = texture2D(prevPass, uvCoord);\n"
           "  vec4 f = texture2D(fbo_texture, uvCoord);\n"
           "  gl_FragColor = vec4(1.0 - c.r, uvCoord.x, 0.5 * uvCoord.y + 0.5 * f.b, 1.0);\n");
    Load(
        "#texture 0 \"red\" \"red.tga\"\n"
        "#postshader 1 \"ramp\" \"ramp.glsl\" :0\n"
        "#texture 2 \"blue\" \"blue.tga\"\n"
        "#layer \"picture\"\n"
        "#event 0,100000,1,0,0:\n"
        "#layer \"post\"\n"
        "#event 0,100000,7,1,4:0,0,0,0\n"
        "#layer \"after\"\n"
        "#event 50000,50000,1,2,0:\n",
        256, 144);
    ASSERT_GE(demo.resource_shader[1].shader_id, 0);

    // Samples at the centres of a grid of the 128 x 128 presented frame.
    constexpr int N = 8, STEP = 128 / N;
    const int target = MOX_CreateFrameBuffer(128, 128, 0);
    ASSERT_GE(target, 0);
    auto presented = [&] {
        std::vector<uint32_t> out;
        for (int y = STEP / 2; y < 128; y += STEP)
            for (int x = STEP / 2; x < 128; x += STEP) out.push_back(PixelOf(target, x, y));
        return out;
    };
    // Presents the frame drawn last into `target` instead of the window.
    auto present = [&] {
        MOX_SetPresentTarget(target);
        MOX_SwapBuffers();
        MOX_SetPresentTarget(-1);
    };
    const int positions[2] = {20000, 60000};  // without and with the layer after the event
    std::vector<uint32_t> player[2];
    for (int k = 0; k < 2; k++) {
        Frame(positions[k]);
        present();
        player[k] = presented();
        // The shader's picture, upright: top left, green 8.5 / 128 and blue half 1 - 8.5 / 128
        // plus half the layer after the event.
        const uint32_t p = player[k][0];
        EXPECT_TRUE(Near(p, k ? 0x0011f6 : 0x001177, 3));
    }

    demo.InitGUI(1920, 1080, nullptr, nullptr, nullptr);
    ASSERT_GT(demo.gui_previewbuffer_id, 0);
    // The editor's frame loop; Tab hides or shows the overlay.
    auto edit = [&](int pos, bool tab) {
        MOX_SetPostShader(-1);
        Soundsystem_SetSoundOffset(&demo.demomusic, (uint64_t)pos);
        MOX_ClearFrameBuffer(0);
        demo.HandleDemo();
        if (tab) mox_keyevent(MOX_VK_TAB, 1);
        demo.UpdateGUI();
        mox_keyevent(MOX_VK_TAB, 0);
        int key, trig;
        MOX_GetKeys(&key, &trig);
    };
    // The preview is 1152 x 648 at (384, 64): 9 by 5.0625 preview pixels a presented one.
    auto preview = [&] {
        std::vector<uint32_t> out;
        for (int y = STEP / 2; y < 128; y += STEP)
            for (int x = STEP / 2; x < 128; x += STEP)
                out.push_back(PixelOf(demo.gui_framebuffer_id, 384 + 9 * x + 4,
                                      64 + (int)((y + 0.5) * 648 / 128)));
        return out;
    };
    auto same = [&](const std::vector<uint32_t> &got, const std::vector<uint32_t> &want) {
        for (size_t i = 0; i < want.size(); i++) {
            const uint32_t w = want[i];
            SCOPED_TRACE(i);
            EXPECT_TRUE(Near(got[i], (w & 0xff) << 16 | (w & 0xff00) | (w >> 16 & 0xff), 4));
        }
    };

    for (int cycle = 0; cycle < 4; cycle++) {
        SCOPED_TRACE(cycle);
        for (int k = 0; k < 2; k++) {
            edit(positions[k], false);
            ASSERT_TRUE(demo.gui_visible);
            same(preview(), player[k]);
            MOX_SwapBuffers();
        }
        edit(positions[cycle % 2], true);
        ASSERT_FALSE(demo.gui_visible);
        MOX_SwapBuffers();
        for (int k = 0; k < 2; k++) {
            edit(positions[k], false);
            present();
            same(presented(), player[k]);
        }
        edit(positions[cycle % 2], true);
        ASSERT_TRUE(demo.gui_visible);
        MOX_SwapBuffers();
    }
    MOX_DeleteBitmap(&demo.bmp_waveform);
}

TEST_F(Playback, IndicesOutsideTheTablesAreSkipped) {
    ProbeScene first, last;
    c_demofunction *const table[] = {&first, nullptr, nullptr, nullptr, nullptr, &last};
    effects = {table, 6};
    Shader("white.glsl", "", "  gl_FragColor = vec4(1.0);\n");
    const std::vector<std::string> out = Load(
        "#texture 0 \"red\" \"red.tga\"\n"
        "#function 6 \"far\" :0\n"
        "#function -1 \"negative\" :0\n"
        "#texture 5000 \"huge\" \"red.tga\"\n"
        "#shader 1 \"white\" \"white.glsl\" :0\n"
        "#postshader 2 \"lost\" \"missing.glsl\" :0\n"
        "#layer \"ids\"\n"
        "#event 0,1000,1,7,0:\n"
        "#event 1000,1000,1,-3,0:\n"
        "#event 2000,1000,3,99,0:\n"
        "#event 3000,1000,7,-1,0:\n"
        "#event 4000,1000,4,50,0:\n"
        "#event 5000,1000,1,3,0:\n"
        "#event 6000,1000,3,0,0:\n"
        "#event 7000,1000,7,5,0:\n"
        "#event 8000,1000,5,0,0:\n"
        "#event 9000,1000,2,0,0:\n"
        "#event 10000,1000,6,0,0:\n"
        "#layer \"functions\"\n"
        "#event 0,5000,4,1,0:\n"
        "#event 5000,6000,4,2,0:\n");
    EXPECT_THAT(out, testing::Contains("resources.id_range"));
    EXPECT_EQ(first.inits + last.inits, 0);

    for (int pos = 500; pos < 11000; pos += 1000) {
        SCOPED_TRACE(pos);
        Frame(pos);
        EXPECT_EQ(MOX_postshader_id, -1);
        ASSERT_NE(MOX_FrameBuffer, nullptr);
        EXPECT_EQ(MOX_FrameBuffer->id, demo.framebuffer_id);
        EXPECT_TRUE(Near(MainPixel(64, 64), BACKGROUND));
    }
    EXPECT_EQ(first.updates + last.updates, 0);
}

// A layer without an event, one whose Blend is 0 (a function layer too) and one whose event
// draws nothing (a caption without the editor's font) cost no pass: their framebuffers keep
// what was there, and the composed picture is the one that every pass gives.
TEST_F(Playback, PassesThatCannotChangeThePictureAreLeftOut) {
    ProbeScene probe;
    c_demofunction *table[] = {&probe};
    effects = {table, 1};
    Load(
        "#texture 0 \"red\" \"red.tga\"\n"
        "#texture 1 \"green\" \"green.tga\"\n"
        "#function 0 \"probe\" :0\n"
        "#layer \"faded\"\n#event 0,132300,1,0,0:\n"
        "#eventvalue 0,1,0,0.0\n#eventvalue 132300,1,0,0.0\n"
        "#layer \"empty\"\n"
        "#layer \"caption\"\n#event 0,132300,5,0,0:\n"
        "#layer \"scene\"\n#event 0,132300,4,2,0:\n"
        "#eventvalue 0,1,0,0.0\n#eventvalue 132300,1,0,0.0\n"
        "#layer \"green\"\n#event 0,132300,1,1,0:\n"
        "#eventvalue 0,1,0,0.5\n#eventvalue 132300,1,0,0.5\n");
    ASSERT_EQ(demo.numlayers, 5);
    constexpr unsigned MARK = 0xff00ffff;  // yellow, as 0xAABBGGRR
    auto mark = [&] {
        for (int i = 0; i < 4; i++) {
            MOX_SetFrameBuffer(demo.layer[i].framebuffer_id);
            MOX_ClearFrameBuffer(MARK);
        }
        // As the last frame's presentation leaves it.
        MOX_SetFrameBuffer(demo.framebuffer_id);
    };
    demo.everypass = false;
    mark();
    Frame(44100);
    for (int i = 0; i < 4; i++) EXPECT_EQ(LayerPixel(i, 64, 64), MARK) << "layer " << i;
    EXPECT_EQ(probe.updates, 0);
    const uint32_t shown = MainPixel(64, 64);
    EXPECT_TRUE(Near(shown, 0x089018));  // half green over the background

    demo.everypass = true;
    mark();
    Frame(44100);
    EXPECT_TRUE(Near(LayerPixel(0, 64, 64), RED & 0xffffff));
    EXPECT_EQ(LayerPixel(1, 64, 64), 0xff000000u);
    EXPECT_EQ(LayerPixel(2, 64, 64), 0u);
    EXPECT_TRUE(Near(LayerPixel(3, 64, 64), BLUE & 0xffffff));
    EXPECT_EQ(probe.updates, 1);
    EXPECT_EQ(MainPixel(64, 64), shown);
    demo.everypass = false;
}

// Counts the ticks it was stepped since its restart and draws that count as its red level.
class TickScene : public c_demofunction {
public:
    void Init(c_demo *) override {}
    void Restart(c_demo *) override { ticks = 0; }
    void Tick(c_demo *) override { ticks++; }
    void Update(c_demo *demo, s_effectevent *) override {
        updates++;
        MOX_DrawBox(0, 0, demo->renderwidth, demo->renderheight,
                    (int)(0xff000000u | (unsigned)(ticks & 0xff) << 16));
    }
    int ticks = 0, updates = 0;
};

// A scene left out while its layer's Blend is 0 shows, once the Blend rises, the state that
// stepping it on every frame gives: the ticks it missed are caught up.
TEST_F(Playback, SceneLeftOutAtBlendZeroCatchesUp) {
    TickScene scene;
    c_demofunction *table[] = {&scene};
    effects = {table, 1};
    Load(
        "#function 0 \"ticks\" :0\n"
        "#layer \"scene\"\n#event 0,132300,4,0,0:\n"
        "#eventvalue 0,1,4,0.0\n#eventvalue 44100,1,4,1.0\n");
    std::vector<uint32_t> shown[2];
    for (bool every : {true, false}) {
        demo.everypass = every;
        scene.updates = 0;
        for (int pos = 0; pos <= 88200; pos += 735) Frame(pos);
        shown[every].push_back(LayerPixel(0, 64, 64));
        shown[every].push_back(MainPixel(64, 64));
        // Drawn on every frame, or only from where the Blend is 1.
        EXPECT_EQ(scene.updates, every ? 121 : 61);
    }
    demo.everypass = false;
    EXPECT_EQ(shown[0], shown[1]);
    // 88200 frames in: the tick at the start and one every 735 frames after it.
    EXPECT_TRUE(Near(shown[0][0], 121u << 16));
}

// The black box on the framebuffer selected at entry is drawn where it can show, and left out
// where the frame clears that framebuffer before reading it: the main framebuffer always,
// framebuffer 0 while a post-processing event runs. Either way the pixels are the same.
TEST_F(Playback, EntryBoxIsLeftOutWhereTheFrameClearsItsFramebuffer) {
    Shader("pass.glsl", "uniform sampler2D prevPass;\n",
           "  gl_FragColor = texture2D(prevPass, uvCoord);\n");
    Load(
        "#texture 0 \"red\" \"red.tga\"\n"
        "#postshader 1 \"pass\" \"pass.glsl\" :0\n"
        "#layer \"picture\"\n#event 0,100000,1,0,0:\n"
        "#layer \"post\"\n#event 50000,50000,7,1,4:0,0,0,0\n");
    constexpr unsigned MARK = 0xff00ffff;
    struct Case {
        int pos, entry;
        bool cleared;
    } cases[] = {{10000, 0, false},
                 {10000, demo.framebuffer_id, true},
                 {60000, 0, true},
                 {60000, demo.framebuffer_id, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.pos << " entry " << c.entry);
        uint32_t pixels[2][2];
        for (bool every : {true, false}) {
            demo.everypass = every;
            MOX_SetFrameBuffer(c.entry);
            MOX_ClearFrameBuffer(MARK);
            Soundsystem_SetSoundOffset(&demo.demomusic, (uint64_t)c.pos);
            demo.position = c.pos;
            EXPECT_EQ(demo.EntryBufferCleared(), c.cleared);
            demo.HandleDemo();
            pixels[every][0] = PixelOf(0, 64, 64);
            pixels[every][1] = PixelOf(demo.framebuffer_id, 64, 64);
        }
        demo.everypass = false;
        EXPECT_EQ(pixels[0][0], pixels[1][0]);
        EXPECT_EQ(pixels[0][1], pixels[1][1]);
        if (c.entry == 0) {
            EXPECT_EQ(pixels[0][0], c.cleared ? 0u : 0xff000000u);
        }
        EXPECT_TRUE(Near(pixels[0][1], 0xff0000));
    }
}

// Draws a white quad over the left quarter of its framebuffer, halfway into the depth range
// with the depth test on: it shows only where the depth buffer was cleared.
class DepthScene : public c_demofunction {
public:
    void Init(c_demo *) override {}
    void Update(c_demo *demo, s_effectevent *) override {
        const float w = demo->renderwidth / 4.0f, h = (float)demo->renderheight;
        MOX_BindTexture(mox_whitetexture_id);
        glPushAttrib(GL_ENABLE_BIT);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glBegin(GL_QUADS);
        glVertex3f(0, 0, 0), glVertex3f(w, 0, 0), glVertex3f(w, h, 0), glVertex3f(0, h, 0);
        glEnd();
        glPopAttrib();
    }
};

// A shader pass over the whole layer replaces every pixel, so its layer is not cleared first;
// one that samples its own layer (prevPass) or may discard still is. A sprite's layer is
// composed only over the sprite's projected box, or whole where the sprite reaches behind
// the eye or past any size. Only a scene that tests depth has its layer's depth buffer
// cleared, and the main framebuffer's never is. Either way every pixel of the layers and of
// the composed frame is the reference path's, whatever colour and depth they held before.
TEST_F(Playback, ClearsAndCompositionLeftOutWhereNoPixelCanChange) {
    DepthScene scene;
    c_demofunction *table[] = {&scene};
    effects = {table, 1};
    Shader("wash.glsl", "", "  gl_FragColor = vec4(uvCoord, 0.5, 0.75);\n");
    Shader("feedback.glsl", "uniform sampler2D prevPass;\n",
           "  gl_FragColor = texture2D(prevPass, uvCoord) + vec4(0.25);\n");
    Shader("holes.glsl", "",
           "  if (uvCoord.x < 0.5) discard;\n  gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0);\n");
    SpriteFile();
    Load(
        "#shader 0 \"wash\" \"wash.glsl\" :0\n"
        "#shader 1 \"feedback\" \"feedback.glsl\" :0\n"
        "#shader 2 \"holes\" \"holes.glsl\" :0\n"
        "#sprite 3 \"sprite\" \"sprite.tga\"\n"
        "#layer \"fx\"\n"
        "#event 0,10000,3,0,4:-1,-1,-1,-1\n"
        "#event 10000,10000,3,1,4:-1,-1,-1,-1\n"
        "#event 20000,30000,3,2,4:-1,-1,-1,-1\n"
        "#layer \"sprite\"\n"
        "#event 0,50000,1,3,0:\n"
        "#eventtransform 0,0,0,0,0,0,0,0,0,1,1,1\n"
        "#eventtransform 20000,0,0,0.9,-0.6,0,0,0,45,1.5,1.5,1\n"
        "#eventtransform 40000,0,0,0,0,1.9,0,80,0,1,1,1\n"
        "#eventtransform 45000,0,0,0,0,0,0,0,0,1e30,1e30,1\n"
        "#eventvalue 0,1,0,0.75\n#eventvalue 50000,1,0,0.75\n"
        "#function 0 \"depth\" :0\n"
        "#layer \"depth\"\n#event 0,50000,4,4,0:\n");
    ASSERT_EQ(demo.numlayers, 3);
    const size_t size = 128 * 128 * 4;
    const int ids[4] = {demo.layer[0].framebuffer_id, demo.layer[1].framebuffer_id,
                        demo.layer[2].framebuffer_id, demo.framebuffer_id};
    for (int pos = 2500; pos < 50000; pos += 2500) {
        SCOPED_TRACE(pos);
        std::vector<unsigned char> pixels[2][4];
        for (bool every : {true, false}) {
            demo.everypass = every;
            // Depth 0 hides anything drawn with the depth test on.
            glClearDepth(0);
            for (int id : ids) {
                MOX_SetFrameBuffer(id);
                MOX_ClearFrameBuffer(0xff00ffff);
            }
            glClearDepth(1);
            Soundsystem_SetSoundOffset(&demo.demomusic, (uint64_t)pos);
            demo.HandleDemo();
            for (int k = 0; k < 4; k++) {
                pixels[every][k].resize(size);
                MOX_ReadFrameBuffer(ids[k], pixels[every][k].data());
            }
        }
        demo.everypass = false;
        if (pos >= 10000 && pos < 20000) {
            // A shader reading the framebuffer it draws into may see, near tile borders and
            // the quad's diagonal, what the same pass has drawn there: only a pixel away
            // from both is certain, read from the cleared layer.
            const unsigned char *p = &pixels[0][0][(20 * 128 + 100) * 4];
            EXPECT_TRUE(Near(p[0] | p[1] << 8 | p[2] << 16, 0x404040));
            continue;
        }
        for (int k = 0; k < 4; k++)
            EXPECT_TRUE(pixels[0][k] == pixels[1][k]) << "framebuffer " << k;
        const unsigned char *quad = &pixels[0][2][(64 * 128 + 8) * 4];
        EXPECT_TRUE(Near(quad[0] | quad[1] << 8 | quad[2] << 16, 0xffffff));
    }
}

}  // namespace

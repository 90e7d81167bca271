// Resources: descriptors and parameter names, loading into the typed tables with a real GL
// context, sprite-sheet cells, shaders with the built-in vertex stage, lookups by name, the
// order in which effect scenes are initialised, and ids outside the tables.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "demosystem/demosystem.h"
#include "gl_context.h"
#include "log_capture.h"
#include "support/demo_owner.h"

namespace {

namespace fs = std::filesystem;

const fs::path data_dir = fs::path(FENTRO_BINARY_DIR) / "test_resources_data";

void WriteFile(const std::string &name, const std::string &bytes) {
    std::ofstream out(data_dir / name, std::ios::binary);
    out << bytes;
}

// An uncompressed 32-bit top-left TGA image filled with one 0xAARRGGBB colour.
std::string Tga(int width, int height, uint32_t argb) {
    std::string t(18, '\0');
    t[2] = 2;
    t[12] = (char)width;
    t[13] = (char)(width >> 8);
    t[14] = (char)height;
    t[15] = (char)(height >> 8);
    t[16] = 32;
    t[17] = 0x28;
    for (int i = 0; i < width * height; i++) {
        t += (char)argb;
        t += (char)(argb >> 8);
        t += (char)(argb >> 16);
        t += (char)(argb >> 24);
    }
    return t;
}

const char *const fragment_shader =
    "#version 120\n"
    "varying vec2 uvCoord;\n"
    "uniform float amount;\n"
    "void main() { gl_FragColor = vec4(uvCoord, amount, 1.0); }\n";

// A scene that notes what it finds when it is initialised.
class ProbeScene : public c_demofunction {
public:
    void Init(c_demo *demo) override {
        inits++;
        const s_bitmap *bg = (const s_bitmap *)demo->GetResource("tex");
        const s_demoresource *sheet = demo->GetResourceInfo("sheet");
        media_ready =
            bg && bg->textureid != 0 && strcmp(sheet->name, "sheet") == 0 && sheet->loadOK == 1;
    }
    void Update(c_demo *, s_effectevent *) override {}
    int inits = 0;
    bool media_ready = false;
};

class Resources : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        fs::remove_all(data_dir);
        fs::create_directories(data_dir);
        WriteFile("tex.tga", Tga(4, 2, 0xFFFF0000));
        WriteFile("spr.tga", Tga(16, 8, 0xFF00FF00));
        WriteFile("sheet.tga", Tga(256, 64, 0xFF0000FF));
        WriteFile("glow.glsl", fragment_shader);
        ASSERT_EQ(corefile_mountimage(data_dir.c_str(), 2), 1);
    }
    void TearDown() override { corefile_closeimage(); }
    // Loads with the effect table `effects` (empty unless a test hands one over) and returns
    // the ids of the messages logged.
    std::vector<std::string> Load(c_demo &demo, const std::string &resources) {
        demo.effects = effects;
        std::ofstream(data_dir / "demo.fentro", std::ios::binary)
            << "#renderwidth 256\n#renderheight 256\n#demotype 1\n#resources\n"
            << resources;
        LogCapture log;
        demo.Load("demo.fentro");
        return log.Ids();
    }
    s_effecttable effects = {};
};

TEST(VertexShader, BuiltInTextIsExact) {
    EXPECT_EQ(strlen(vv_demo), 110u);
    EXPECT_STREQ(vv_demo,
                 "#version 120\nvarying vec2 uvCoord;\nvoid main() {\n"
                 "uvCoord = gl_MultiTexCoord0.xy;\ngl_Position = ftransform();\n}");
}

TEST_F(Resources, IdsIndexTheTypedTables) {
    auto demo = test_support::NewDemo();
    Load(*demo,
         "#sprite 0 \"spr\" \"spr.tga\"\n"
         "#shader 1 \"glow\" \"glow.glsl\" :1 \"amount\"\n"
         "#texture 3 \"tex\" \"tex.tga\"\n");
    ASSERT_EQ(demo->numresources, 3);
    const s_demoresource &tex = demo->resource[2];
    EXPECT_EQ(tex.loadOK, 1);
    EXPECT_EQ(tex.datapointer, &demo->resource_texture[3]);
    EXPECT_EQ(demo->resource_texture[3].width, 4);
    EXPECT_NE(demo->resource_texture[3].textureid, 0);
    EXPECT_EQ(demo->resource_texture[2].textureid, 0);
    EXPECT_EQ(demo->GetResource("tex"), &demo->resource_texture[3]);

    const s_demoresource &spr = demo->resource[0];
    EXPECT_EQ(spr.loadOK, 1);
    EXPECT_EQ(spr.datapointer, &demo->resource_sprite[0]);
    EXPECT_EQ(demo->resource_sprite[0].width, 16);
    EXPECT_EQ(demo->resource_sprite[0].height, 8);

    // The loaded texture holds the image: draw it over the framebuffer and read it back.
    MOX_ClearFrameBuffer(0xFF000000);
    MOX_DrawScaledBitmap(0, 0, 256, 256, demo->resource_texture[3], 1);
    EXPECT_EQ(gltest_pixel(128, 128), 0xFF0000FFu);  // opaque red, 0xAABBGGRR
}

TEST_F(Resources, ShadersCompileWithTheBuiltInVertexStage) {
    auto demo = test_support::NewDemo();
    Load(*demo,
         "#shader 4 \"glow\" \"glow.glsl\" :1 \"amount\"\n"
         "#postshader 5 \"lost\" \"lost.glsl\" :0\n");
    const s_demoresource &glow = demo->resource[0];
    const s_demoshader &sh = demo->resource_shader[4];
    EXPECT_EQ(glow.loadOK, 1);
    EXPECT_GE(sh.shader_id, 0);
    EXPECT_STREQ(sh.ff, fragment_shader);
    EXPECT_EQ(glow.datapointer, sh.ff);
    EXPECT_EQ(demo->resource[1].loadOK, 0);  // its file does not exist
    EXPECT_EQ(demo->resource[1].datapointer, nullptr);

    // The program runs: uvCoord from the vertex stage, amount from its parameter name.
    MOX_ClearFrameBuffer(0xFF000000);
    MOX_BindShader(sh.shader_id);
    MOX_SetShaderUniform1f(sh.shader_id, glow.param[4], 1.0f);
    MOX_DrawQuad(0, 0, 256, 256, 0, 0, 1, 1);
    MOX_UnbindShader();
    const uint32_t p = gltest_pixel(250, 250);
    EXPECT_EQ(p >> 16 & 0xFF, 0xFFu);  // blue = amount
    EXPECT_EQ(p >> 24, 0xFFu);
}

TEST_F(Resources, SpriteSheetCellsRowByRow) {
    auto demo = test_support::NewDemo();
    Load(*demo, "#spritesheet 7 \"sheet\" \"sheet.tga\" :4 2 64 32\n");
    const s_spritesheet &sheet = demo->resource_spritesheet[7];
    EXPECT_EQ(demo->resource[0].loadOK, 1);
    EXPECT_EQ(demo->GetResource("sheet"), &sheet);
    ASSERT_EQ(sheet.numsprites, 8);
    EXPECT_EQ(sheet.spritesheet.width, 256);
    const s_sprite &cell = sheet.sprite[5];  // column 1, row 1
    EXPECT_EQ(cell.width, 64);
    EXPECT_EQ(cell.height, 32);
    EXPECT_FLOAT_EQ(cell.u, 64.0f / 256);
    EXPECT_FLOAT_EQ(cell.v, 32.0f / 64);
    EXPECT_FLOAT_EQ(cell.u2, 128.0f / 256);
    EXPECT_FLOAT_EQ(cell.v2, 1.0f);
    EXPECT_EQ(cell.textureid, sheet.spritesheet.textureid);
}

TEST_F(Resources, ScenesStartAfterAllMediaInTheOrderOfTheirLines) {
    ProbeScene first, second;
    c_demofunction *const table[] = {&second, nullptr, &first};
    effects = {table, 3};
    auto demo = test_support::NewDemo();
    Load(*demo,
         "#function 2 \"first\" :0\n"
         "#texture 0 \"tex\" \"tex.tga\"\n"
         "#function 0 \"second\" :2 \"speed\" \"size\"\n"
         "#spritesheet 1 \"sheet\" \"sheet.tga\" :2 2 32 32\n"
         "#function 1 \"empty\" :0\n");
    EXPECT_EQ(first.inits, 1);
    EXPECT_EQ(second.inits, 1);
    EXPECT_TRUE(first.media_ready);
    EXPECT_TRUE(second.media_ready);
    EXPECT_EQ(demo->resource[0].loadOK, 1);
    EXPECT_EQ(demo->resource[0].numparams, 4);
    EXPECT_EQ(demo->resource[2].loadOK, 1);
    EXPECT_EQ(demo->resource[2].numparams, 6);
    EXPECT_STREQ(demo->resource[2].param[5], "size");
    EXPECT_EQ(demo->resource[4].loadOK, 0);  // no scene in that entry
    EXPECT_EQ(demo->GetResource("first"), nullptr);
}

TEST_F(Resources, ImagesNoTextureCanHoldStayUnloaded) {
    const int wide = MOX_MaxTextureSize() + 1;
    WriteFile("wide.tga", Tga(wide, 1, 0xFFFF0000));
    auto demo = test_support::NewDemo();
    Load(*demo,
         "#texture 0 \"tex\" \"wide.tga\"\n"
         "#sprite 1 \"spr\" \"wide.tga\"\n"
         "#spritesheet 2 \"sheet\" \"wide.tga\" :2 1 8 1\n");
    ASSERT_EQ(demo->numresources, 3);
    for (int i = 0; i < 3; i++) EXPECT_EQ(demo->resource[i].loadOK, 0) << demo->resource[i].name;
    EXPECT_EQ(demo->resource_texture[0].data, nullptr);
    demo->Release();
}

TEST_F(Resources, IdsOutsideTheTablesStayUnloaded) {
    ProbeScene scene;
    c_demofunction *const table[] = {&scene, nullptr};
    effects = {table, 2};
    auto demo = test_support::NewDemo();
    const auto out = Load(*demo,
                          "#texture 1024 \"far\" \"tex.tga\"\n"
                          "#spritesheet -3 \"neg\" \"sheet.tga\" :2 2 8 8\n"
                          "#function 2 \"past\" :0\n"
                          "#function -1 \"before\" :0\n");
    ASSERT_EQ(demo->numresources, 4);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(demo->resource[i].loadOK, 0) << i;
        EXPECT_EQ(demo->resource[i].datapointer, nullptr) << i;
    }
    EXPECT_EQ(std::count(out.begin(), out.end(), "resources.id_range"), 2);
    EXPECT_EQ(std::count(out.begin(), out.end(), "resources.function_outside_table"), 2);
    EXPECT_EQ(scene.inits, 0);

    // A program that hands over no table starts no scene.
    effects = {};
    auto bare = test_support::NewDemo();
    EXPECT_THAT(Load(*bare, "#function 0 \"first\" :0\n"),
                testing::Contains("resources.no_effect_table"));
    EXPECT_EQ(bare->resource[0].loadOK, 0);
    EXPECT_EQ(scene.inits, 0);
}

TEST(ResourceLookup, UnknownNames) {
    auto demo = test_support::NewDemo();
    demo->CreateResource("a", "a.tga", 0, nullptr, RESOURCE_TEXTURE);
    demo->CreateResource("b", "b.tga", 1, nullptr, RESOURCE_TEXTURE);
    demo->resource[1].datapointer = &demo->resource_texture[1];
    EXPECT_EQ(demo->GetResource("b"), &demo->resource_texture[1]);
    EXPECT_EQ(demo->GetResource("B"), nullptr);
    EXPECT_EQ(demo->GetResource("nothing"), nullptr);
    EXPECT_EQ(demo->GetResourceInfo("b"), &demo->resource[1]);
    EXPECT_EQ(demo->GetResourceInfo("nothing"), &demo->resource[0]);
}

TEST(ResourceParameters, FourBuiltInNamesThenTheGivenOnes) {
    auto demo = test_support::NewDemo();
    demo->CreateResource("fn", "", 0, "0", RESOURCE_FUNCTION);
    const s_demoresource &fn = demo->resource[0];
    ASSERT_EQ(fn.numparams, 4);
    EXPECT_STREQ(fn.param[0], "resource 1");
    EXPECT_STREQ(fn.param[3], "resource 4");

    const std::string longname(80, 'n');
    const std::string varstr = "2 \"" + longname + "\" \"ok\"";
    demo->CreateResource("sh", "sh.glsl", 1, varstr.c_str(), RESOURCE_SHADER);
    const s_demoresource &sh = demo->resource[1];
    ASSERT_EQ(sh.numparams, 6);
    EXPECT_EQ(std::string(sh.param[4]), longname.substr(0, DEMO_PARAMSIZE - 1));
    EXPECT_STREQ(sh.param[5], "ok");

    // Textures take no names even when a colon part is given.
    demo->CreateResource("t", "t.tga", 2, "3 \"x\"", RESOURCE_TEXTURE);
    EXPECT_EQ(demo->resource[2].numparams, 4);
    for (int i = 0; i < 40; i++) demo->AddParameter(&demo->resource[2], "extra");
    EXPECT_EQ(demo->resource[2].numparams, DEMO_MAXPARAMS);
}

TEST(ResourceTable, FullTableDropsFurtherDescriptors) {
    auto demo = test_support::NewDemo();
    for (int i = 0; i < DEMO_MAXRESOURCES + 2; i++) {
        demo->CreateResource("r", "r.tga", i, nullptr, RESOURCE_MESH);
    }
    EXPECT_EQ(demo->numresources, DEMO_MAXRESOURCES);
    EXPECT_EQ(demo->resource[DEMO_MAXRESOURCES - 1].id, DEMO_MAXRESOURCES - 1);
}

TEST(SelectResourceEffect, MapsResourceTypesToEffectTypes) {
    auto demo = test_support::NewDemo();
    demo->CreateResource("sh", "sh.glsl", 0, "3 \"a\" \"b\" \"c\"", RESOURCE_SHADER);
    const int expected[10] = {EFFECT_NONE,           EFFECT_IMAGE,  EFFECT_IMAGE,    EFFECT_SOUND,
                              EFFECT_MESH,           EFFECT_SHADER, EFFECT_FUNCTION, EFFECT_NONE,
                              EFFECT_POSTPROCESSING, EFFECT_NONE};
    for (int type = 0; type < 10; type++) {
        s_effectevent e = {};
        e.numvalues = 2;
        e.id = 0;
        EXPECT_EQ(demo->SelectResourceEffect(&e, type), expected[type]) << type;
        const bool takes =
            type == RESOURCE_SHADER || type == RESOURCE_FUNCTION || type == RESOURCE_POSTSHADER;
        EXPECT_EQ(e.numvalues, takes ? 7 : 2) << type;
    }
    s_effectevent far = {};
    far.id = 5000;
    far.numvalues = 1;
    EXPECT_EQ(demo->SelectResourceEffect(&far, RESOURCE_SHADER), EFFECT_SHADER);
    EXPECT_EQ(far.numvalues, 1);
}

TEST(TitleAndMusic, CopiedIntoTheDemo) {
    auto demo = test_support::NewDemo();
    demo->SetTitle("FENTRO v0.2b");
    EXPECT_STREQ(demo->title, "FENTRO v0.2b");
    const std::string longtitle(400, 'x');
    demo->SetTitle(longtitle.c_str());
    EXPECT_EQ(strlen(demo->title), (size_t)DEMO_NAMESIZE - 1);
    s_sound music = {};
    music.samplerate = 44100;
    music.length = 123;
    demo->SetMusic(&music);
    EXPECT_EQ(demo->demomusic.samplerate, 44100u);
    EXPECT_EQ(demo->demomusic.length, 123u);

    // Music that is playing leaves the mixer's list before its record is replaced (no
    // sound system runs here, so nothing else takes it off).
    auto listed = [&] {
        for (int i = 0; i < soundsystem.numactive; i++)
            if (active_sounds[i] == &demo->demomusic) return true;
        return false;
    };
    Soundsystem_PlayMusic(&demo->demomusic, 0);
    ASSERT_TRUE(listed());
    music.length = 77;
    demo->SetMusic(&music);
    EXPECT_FALSE(listed());
    EXPECT_EQ(demo->demomusic.length, 77u);
}

}  // namespace

// The built-in production's timeline, read by the engine's own loader: it saves back byte for
// byte, every table is in time order, every event shows a resource of its kind, the scenes
// get the markers their states need, the layers fade in and out, the sprite moves with every
// easing curve, the last event ends with the music, and the shaders compile, follow the beat
// and keep the presentation contract.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "demosystem/demosystem.h"
#include "demosystem/invite/invite.h"
#include "gl_context.h"
#include "log_capture.h"
#include "support/production_media.h"
#include "tools/gen/music.h"

namespace {

// The descriptor type a project gives a kind of generated image; -1 for the editor's own.
int ResourceType(ResKind kind) {
    switch (kind) {
        case ResKind::Texture:
            return RESOURCE_TEXTURE;
        case ResKind::Sprite:
            return RESOURCE_SPRITE;
        case ResKind::SpriteSheet:
            return RESOURCE_SPRITESHEET;
        default:
            return -1;
    }
}

namespace fs = std::filesystem;

const fs::path source_dir = fs::path(FENTRO_SOURCE_DIR) / "data" / "invite";
const fs::path work_dir = fs::path(FENTRO_BINARY_DIR) / "test_timeline_data";

std::string ReadText(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

constexpr int kSecond = kMusicRate;
const char *const kScenes[] = {"intro",       "welcome", "compos",
                               "partyevents", "screen",  "finalscreen"};

// Loads the committed project once, from a folder that holds nothing else, so that no media
// load and, with no effect table handed over, no scene is initialised.
class Timeline : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fs::remove_all(work_dir);
        fs::create_directories(work_dir);
        fs::copy_file(source_dir / "demo.fentro", work_dir / "demo.fentro");
        ASSERT_EQ(corefile_mountimage(work_dir.c_str(), 2), 1);
        demo_ = std::make_unique<c_demo>();
        ::testing::internal::CaptureStdout();
        demo_->Load("demo.fentro");
        ::testing::internal::GetCapturedStdout();
    }
    static void TearDownTestSuite() {
        corefile_closeimage();
        demo_->Release();
        demo_.reset();
        fs::remove_all(work_dir);
    }

    static c_demo &D() { return *demo_; }

    // Every effect event of the production, with its layer.
    struct Placed {
        int layer;
        const s_effectevent *e;
    };
    static std::vector<Placed> Events() {
        std::vector<Placed> all;
        for (int l = 0; l < D().numlayers; l++)
            for (int i = 0; i < D().layer[l].numevents; i++)
                all.push_back({l, &D().layer[l].event[i]});
        return all;
    }

    // Times of the markers that lie strictly inside an event: the scene's state steps up by
    // one at each.
    static std::vector<int> InnerMarkers(const s_effectevent &e) {
        std::vector<int> inner;
        for (int i = 0; i < D().nummarkers; i++) {
            const int t = D().marker[i].t;
            if (e.t < t && t < e.t + e.length) inner.push_back(t);
        }
        return inner;
    }

    static const s_demoresource &ResourceOf(const s_effectevent &e) { return D().resource[e.id]; }

    static std::unique_ptr<c_demo> demo_;
};

std::unique_ptr<c_demo> Timeline::demo_;

TEST_F(Timeline, SavesBackUnchanged) {
    ::testing::internal::CaptureStdout();
    D().Save("saved.fentro");
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReadText(work_dir / "saved.fentro"), ReadText(source_dir / "demo.fentro"));
}

TEST_F(Timeline, HeaderNamesTheMusicAndItsTempo) {
    EXPECT_GT(std::strlen(D().title), 0u);
    EXPECT_EQ(D().renderwidth, 1920);
    EXPECT_EQ(D().renderheight, 1080);
    EXPECT_EQ(D().bpm, kMusicBpm);
    EXPECT_STREQ(D().musicfilename, kMusicFileName);
}

TEST_F(Timeline, TablesAreInTimeOrder) {
    for (int i = 1; i < D().nummarkers; i++)
        EXPECT_LT(D().marker[i - 1].t, D().marker[i].t) << "marker " << i;
    for (int l = 0; l < D().numlayers; l++) {
        const s_demolayer &L = D().layer[l];
        for (int i = 0; i < L.numevents; i++) {
            EXPECT_GT(L.event[i].length, 0) << L.name << " event " << i;
            // One event at a time: playback shows only the first that covers the time.
            if (i) {
                EXPECT_LE(L.event[i - 1].t + L.event[i - 1].length, L.event[i].t)
                    << L.name << " " << i;
            }
        }
        for (int i = 1; i < L.numevents_value; i++)
            EXPECT_LE(L.event_value[i - 1].t, L.event_value[i].t) << L.name << " value key " << i;
        for (int i = 1; i < L.numevents_transform; i++)
            EXPECT_LE(L.event_transform[i - 1].t, L.event_transform[i].t) << L.name << " key " << i;
        for (int i = 1; i < L.numevents_camera; i++)
            EXPECT_LE(L.event_camera[i - 1].t, L.event_camera[i].t) << L.name << " camera " << i;
    }
}

TEST_F(Timeline, MarkersSitOnTheBeatGridThroughTheShow) {
    ASSERT_GT(D().nummarkers, 0);
    std::set<int> bars;
    for (int i = 0; i < D().nummarkers; i++) {
        const s_marker &m = D().marker[i];
        EXPECT_EQ(m.t % (kMusicBeatFrames / 4), 0) << "marker at " << m.t;
        EXPECT_GT(m.t, 0);
        EXPECT_LT(m.t, int(kMusicFrames));
        EXPECT_GE(m.type, 0);
        EXPECT_LE(m.type, 3);
        bars.insert(m.t / kMusicBarFrames);
    }
    // The beat multiplier pulses in nearly every bar.
    EXPECT_GE(int(bars.size()), kMusicBars * 3 / 4);
}

TEST_F(Timeline, LastEventEndsWithTheMusic) {
    long long last = 0;
    for (const Placed &p : Events()) {
        EXPECT_GE(p.e->t, 0);
        last = std::max(last, (long long)p.e->t + p.e->length);
    }
    EXPECT_EQ(last, (long long)kMusicFrames);
}

TEST_F(Timeline, ResourcesAreTheGeneratedMediaAndTheSixScenes) {
    int functions = 0;
    for (int i = 0; i < D().numresources; i++) {
        const s_demoresource &r = D().resource[i];
        if (r.type == RESOURCE_FUNCTION) {
            // The scenes in the order of the effect table.
            ASSERT_LT(functions, invite_effects.count);
            EXPECT_EQ(r.id, functions);
            EXPECT_STREQ(r.name, kScenes[functions]);
            functions++;
            continue;
        }
        EXPECT_EQ(r.id, i) << r.name;
        if (r.type == RESOURCE_SHADER || r.type == RESOURCE_POSTSHADER) {
            EXPECT_TRUE(fs::exists(source_dir / r.filename)) << r.filename;
            continue;
        }
        const ResourceFile *f = test_support::GeneratedMedium(r.name);
        ASSERT_NE(f, nullptr) << r.name << " is not made by the generator";
        EXPECT_STREQ(r.filename, f->file);
        ASSERT_NE(ResourceType(f->kind), -1) << r.name << " is an editor resource";
        EXPECT_EQ(r.type, ResourceType(f->kind)) << r.name;
        if (f->kind == ResKind::SpriteSheet) {
            const s_spritesheet &s = D().resource_spritesheet[r.id];
            EXPECT_EQ(s.columns, f->columns) << r.name;
            EXPECT_EQ(s.rows, f->rows) << r.name;
            EXPECT_EQ(s.width, f->cellwidth) << r.name;
            EXPECT_EQ(s.height, f->cellheight) << r.name;
        }
    }
    EXPECT_EQ(functions, invite_effects.count);
}

TEST_F(Timeline, ScenesFindTheirMediaByName) {
    // Lookups by name take the first descriptor of that name: it must be of the kind the
    // generator made ("screen" names both a scene and a sprite).
    for (const test_support::SceneNeed &n : test_support::SceneNeeds()) {
        const s_demoresource *r = D().GetResourceInfo(n.name);
        ASSERT_STREQ(r->name, n.name);
        EXPECT_EQ(r->type, ResourceType(test_support::GeneratedMedium(n.name)->kind)) << n.name;
        if (n.frames) {
            EXPECT_GE(D().resource_spritesheet[r->id].numsprites, n.frames) << n.name;
        }
    }
}

TEST_F(Timeline, EventsShowResourcesOfTheirKind) {
    std::set<int> kinds, scenes, shaders_with_channels;
    for (const Placed &p : Events()) {
        const s_effectevent &e = *p.e;
        ASSERT_GE(e.id, 0);
        ASSERT_LT(e.id, D().numresources);
        const s_demoresource &r = ResourceOf(e);
        kinds.insert(e.type);
        // A text event writes with the editor's font, which the player does not load.
        ASSERT_NE(e.type, EFFECT_TEXT)
            << "a text event at " << e.t << " shows nothing in the player";
        s_effectevent probe = e;
        EXPECT_EQ(D().SelectResourceEffect(&probe, r.type), e.type) << r.name;
        if (e.type == EFFECT_IMAGE) kinds.insert(100 + r.type);
        if (e.type == EFFECT_FUNCTION) scenes.insert(r.id);
        if (e.type != EFFECT_SHADER && e.type != EFFECT_POSTPROCESSING && e.type != EFFECT_FUNCTION)
            continue;
        // Every parameter name of the resource gets its value, so every uniform is set.
        EXPECT_EQ(e.numvalues, r.numparams) << r.name;
        if (e.type == EFFECT_FUNCTION) continue;
        const std::string text = ReadText(source_dir / r.filename);
        for (int j = DEMO_BUILTINPARAMS; j < r.numparams; j++)
            EXPECT_NE(text.find(std::string("uniform float ") + r.param[j] + ";"),
                      std::string::npos)
                << r.filename << " lacks " << r.param[j];
        // Each sampled channel names a texture descriptor.
        for (int j = 0; j < 4; j++) {
            if (text.find("sampler2D texture" + std::to_string(j)) == std::string::npos) continue;
            const int k = int(e.value[j]);
            ASSERT_GE(k, 0);
            ASSERT_LT(k, D().numresources);
            EXPECT_EQ(D().resource[k].type, RESOURCE_TEXTURE) << r.name << " channel " << j;
            if (e.type == EFFECT_SHADER && r.numparams > DEMO_BUILTINPARAMS)
                shaders_with_channels.insert(e.id);
        }
    }
    EXPECT_EQ(scenes.size(), size_t(invite_effects.count));
    EXPECT_GE(shaders_with_channels.size(), 2u);
    EXPECT_TRUE(kinds.count(100 + RESOURCE_TEXTURE));
    EXPECT_TRUE(kinds.count(100 + RESOURCE_SPRITE));
    EXPECT_TRUE(kinds.count(EFFECT_POSTPROCESSING));
}

TEST_F(Timeline, ScenesGetTheMarkersTheirStatesNeed) {
    std::vector<const s_effectevent *> compos;
    for (const Placed &p : Events()) {
        const s_effectevent &e = *p.e;
        if (e.type != EFFECT_FUNCTION) continue;
        const std::vector<int> in = InnerMarkers(e);
        const int end = e.t + e.length;
        switch (ResourceOf(e).id) {
            case 0:  // intro: words (1), bounce and burst (2, 3), fly apart (4), logo (5)
                ASSERT_GE(in.size(), 5u);
                EXPECT_GE(in[3] - in[1], 2 * kSecond);
                EXPECT_GE(in[4] - in[3], 2 * kSecond);
                EXPECT_GE(end - in[4], kSecond);
                break;
            case 1:  // welcome: the location text in full from state 6
                ASSERT_GE(in.size(), 6u);
                EXPECT_GE(end - in[5], 5 * kSecond);
                break;
            case 2:  // compos: slides out in state 2 only, so no event may pass it
                EXPECT_LE(in.size(), 2u);
                compos.push_back(&e);
                break;
            case 3:  // party events: all three lines from state 6
                ASSERT_GE(in.size(), 6u);
                EXPECT_GE(end - in[5], 2 * kSecond);
                break;
            case 4:  // screen: sparks follow the beat
                EXPECT_GE(int(in.size()), e.length / kMusicBarFrames * 4 - 1);
                break;
            default:
                break;
        }
    }
    // The compos scene slides out once, at the end of its last event, long enough to finish.
    ASSERT_FALSE(compos.empty());
    for (size_t i = 0; i + 1 < compos.size(); i++) EXPECT_LT(InnerMarkers(*compos[i]).size(), 2u);
    const std::vector<int> last = InnerMarkers(*compos.back());
    ASSERT_EQ(last.size(), 2u);
    EXPECT_GE(compos.back()->t + compos.back()->length - last[1], kSecond);
}

TEST_F(Timeline, BlendKeysFadeLayersInAndOut) {
    bool fades_in = false, fades_out = false;
    for (int l = 0; l < D().numlayers; l++) {
        s_demolayer *L = &D().layer[l];
        ASSERT_GT(L->numevents_value, 0) << L->name;
        // Keys of one track only: keys of another track between two would break the segment.
        for (int i = 0; i < L->numevents_value; i++) EXPECT_EQ(L->event_value[i].type, VALUE_BLEND);
        for (int i = 0; i < L->numevents; i++) {
            const s_effectevent &e = L->event[i];
            D().position = e.t + e.length / 2;
            EXPECT_GT(D().GetValue(L, VALUE_BLEND), 0.15f)
                << L->name << " event " << i << " hidden";
            D().position = e.t + kSecond / 10;
            fades_in |= D().GetValue(L, VALUE_BLEND) < 0.2f;
            D().position = e.t + e.length - kSecond / 10;
            fades_out |= D().GetValue(L, VALUE_BLEND) < 0.2f;
        }
    }
    EXPECT_TRUE(fades_in);
    EXPECT_TRUE(fades_out);
}

TEST_F(Timeline, PostShaderCoversTheShowAndFadesToBlack) {
    s_demolayer *post = nullptr;
    for (int l = 0; l < D().numlayers; l++)
        for (int i = 0; i < D().layer[l].numevents; i++)
            if (D().layer[l].event[i].type == EFFECT_POSTPROCESSING) post = &D().layer[l];
    ASSERT_NE(post, nullptr);
    // Installed from the first frame and last in the composition.
    ASSERT_EQ(post->numevents, 1);
    EXPECT_EQ(post->event[0].t, 0);
    EXPECT_EQ(post->event[0].length, int(kMusicFrames));
    EXPECT_EQ(post, &D().layer[D().numlayers - 1]);
    D().position = int(kMusicFrames) / 2;
    EXPECT_FLOAT_EQ(D().GetValue(post, VALUE_BLEND), 1.0f);
    D().position = int(kMusicFrames) - 1;
    EXPECT_LT(D().GetValue(post, VALUE_BLEND), 0.01f);
}

TEST_F(Timeline, SpriteMovesWithEveryEasingCurve) {
    std::set<int> curves;
    int animated = 0;
    for (int l = 0; l < D().numlayers; l++) {
        s_demolayer *L = &D().layer[l];
        for (int i = 0; i < L->numevents_transform; i++) {
            const s_transformevent &k = L->event_transform[i];
            ASSERT_GE(k.parent, 0);
            ASSERT_LT(k.parent, L->numevents);
            const s_effectevent &e = L->event[k.parent];
            EXPECT_EQ(e.type, EFFECT_IMAGE);
            EXPECT_EQ(ResourceOf(e).type, RESOURCE_SPRITE);
            // Keys outside the event are not evaluated.
            EXPECT_GE(k.t, e.t);
            EXPECT_LT(k.t, e.t + e.length);
            // Each segment changes something.
            if (i + 1 < L->numevents_transform && L->event_transform[i + 1].parent == k.parent) {
                curves.insert(k.curvetype);
                const s_transformevent &n = L->event_transform[i + 1];
                bool moved = false;
                const float *a = &k.x, *b = &n.x;
                for (int c = 0; c < 9; c++) moved |= a[c] != b[c];
                EXPECT_TRUE(moved) << "segment from " << k.t << " holds still";
                animated++;
            }
        }
    }
    EXPECT_GT(animated, 0);
    for (int c : {CURVE_LINEAR, CURVE_SMOOTH, CURVE_SMOOTHIN, CURVE_SMOOTHOUT})
        EXPECT_TRUE(curves.count(c)) << "curve " << c << " unused";
}

// The shaders on a real GL context: they compile with the engine's vertex stage, draw a
// picture that changes with the beat, and the post shader keeps the presentation contract.
class TimelineShaders : public GLTest {
protected:
    static constexpr int kSize = 64;

    int Build(const char *file) {
        const std::string text = ReadText(source_dir / file);
        EXPECT_FALSE(text.empty()) << file;
        LogCapture log;
        const int id = MOX_InitShader(vv_demo, text.c_str());
        EXPECT_GE(id, 0) << file;
        if (id < 0) return id;
        GLint linked = 0;
        glGetProgramiv(MOX_shader[id].program, GL_LINK_STATUS, &linked);
        EXPECT_TRUE(linked) << file << ": " << log.Text();
        return linked ? id : -1;
    }

    // A texture of one colour (0xAABBGGRR), or a pattern when colour is 0.
    int Texture(unsigned colour) {
        std::vector<unsigned> px(16 * 16);
        for (int i = 0; i < 256; i++)
            px[i] = colour ? colour : 0xff000000u | unsigned((i * 37) % 256) << 8 | unsigned(i);
        return MOX_CreateTexture(16, 16, px.data(), 0);
    }

    std::vector<unsigned> Draw(int program) {
        MOX_SetFrameBuffer(fb_);
        MOX_ClearFrameBuffer(0);
        MOX_BindShader(program);
        MOX_DrawQuad(0, 0, kSize, kSize, 0, 1, 1, 0);
        MOX_UnbindShader();
        std::vector<unsigned> px;
        for (int y = 0; y < kSize; y++)
            for (int x = 0; x < kSize; x++) px.push_back(gltest_pixel(x, y));
        return px;
    }

    void SetUp() override {
        GLTest::SetUp();
        fb_ = MOX_CreateFrameBuffer(kSize, kSize, 0);
    }

    int fb_ = 0;
};

TEST_F(TimelineShaders, EffectsCompileAndFollowTheBeat) {
    const int pattern = Texture(0);
    for (const char *file : {"tunnel.glsl", "plasma.glsl", "rays.glsl"}) {
        const int s = Build(file);
        if (s < 0) continue;
        for (int j = 0; j < 4; j++) MOX_BindTextureChannel(pattern, j);
        MOX_SetShaderUniform2f(s, "resolution", kSize, kSize);
        MOX_SetShaderUniform1f(s, "time", 10.0f);
        MOX_SetShaderUniform1f(s, "blend", 1.0f);
        for (const char *p : {"speed", "twist", "glow", "scale", "warp", "intensity", "spread"})
            MOX_SetShaderUniform1f(s, p, 1.0f);
        for (int j = 0; j < 4; j++)
            MOX_SetShaderUniform1i(s, ("texture" + std::to_string(j)).c_str(), j);
        MOX_SetShaderUniform1f(s, "beatmultiplier", 1.0f);
        const std::vector<unsigned> calm = Draw(s);
        MOX_SetShaderUniform1f(s, "beatmultiplier", 2.0f);
        const std::vector<unsigned> beat = Draw(s);
        EXPECT_NE(std::count(calm.begin(), calm.end(), calm[0]), long(calm.size()))
            << file << " draws one colour";
        EXPECT_NE(calm, beat) << file << " ignores the beat";
    }
}

TEST_F(TimelineShaders, PostShaderKeepsFadeAndScanlines) {
    const int s = Build("post.glsl");
    ASSERT_GE(s, 0);
    // The composed picture in prevPass, a black framebuffer on unit 0, a white vignette.
    // (Creating a texture binds it on the active unit: make them all before binding.)
    const int white = Texture(0xffffffffu), grey = Texture(0xffc8c8c8u),
              black = Texture(0xff000000u);
    MOX_BindTextureChannel(white, 1);
    MOX_BindTextureChannel(grey, 4);
    MOX_BindTextureChannel(black, 0);
    MOX_SetShaderUniform1i(s, "fbo_texture", 0);
    MOX_SetShaderUniform1i(s, "texture1", 1);
    MOX_SetShaderUniform1i(s, "prevPass", 4);
    MOX_SetShaderUniform2f(s, "resolution", kSize, kSize);
    MOX_SetShaderUniform1f(s, "width", kSize);
    MOX_SetShaderUniform1f(s, "height", kSize);
    MOX_SetShaderUniform1f(s, "time", 5.0f);
    MOX_SetShaderUniform1f(s, "blend", 1.0f);
    MOX_SetShaderUniform1f(s, "beatmultiplier", 1.0f);
    MOX_SetShaderUniform1f(s, "vignette", 0.85f);
    MOX_SetShaderUniform1f(s, "aberration", 2.0f);
    MOX_SetShaderUniform1f(s, "flash", 0.15f);
    MOX_SetShaderUniform1f(s, "scanlines", 0.0f);

    auto red = [](unsigned p) { return int(p & 0xff); };
    MOX_SetShaderUniform1f(s, "fadevalue", 1.0f);
    MOX_SetShaderUniform1f(s, "scanlinevalue", 0.0f);
    for (unsigned p : Draw(s)) ASSERT_NEAR(red(p), 200, 2);

    MOX_SetShaderUniform1f(s, "scanlinevalue", 0.5f);
    const std::vector<unsigned> lined = Draw(s);
    for (int y = 0; y + 1 < kSize; y += 2) {
        const int a = red(lined[size_t(y) * kSize]), b = red(lined[size_t(y + 1) * kSize]);
        EXPECT_NEAR(std::max(a, b), 200, 2) << "row " << y;
        EXPECT_NEAR(std::min(a, b), 100, 2) << "row " << y;
    }

    MOX_SetShaderUniform1f(s, "scanlinevalue", 0.0f);
    MOX_SetShaderUniform1f(s, "fadevalue", 0.5f);
    for (unsigned p : Draw(s)) ASSERT_NEAR(red(p), 100, 2);
    MOX_SetShaderUniform1f(s, "fadevalue", 0.0f);
    for (unsigned p : Draw(s)) ASSERT_EQ(p & 0xffffff, 0u);
}

}  // namespace

// Deterministic mutation runs over a valid project file: random lines, long lines, odd
// characters, numbers at the int limits, lines moved, repeated, cut or dropped. Every mutant
// loads, resources included (without a GL context), into a demo object whose tables stay
// within their capacities; the result is evaluated, saved and loaded again.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "demosystem/demosystem.h"
#include "demosystem/invite/invite.h"
#include "mox/mox.h"
#include "corefile/imageformat.h"
#include "log_capture.h"
#include "support/demo_owner.h"
#include "support/media.h"
#include "support/mutation.h"
#include "support/scratch.h"

namespace {

using namespace test_support;

const char *const base_project =
    "#title \"Mutations\"\n"
    "#renderwidth 64\n"
    "#renderheight 32\n"
    "#demotype 1\n"
    "#bpm 130\n"
    "#music \"a.wav\"\n"
    "#resources\n"
    "#texture 0 \"tex\" \"a.tga\"\n"
    "#sprite 1 \"spr\" \"a.tga\"\n"
    "#spritesheet 2 \"sheet\" \"a.tga\" :4 3 4 3\n"
    "#shader 3 \"sh\" \"a.glsl\" :2 \"speed\" \"warp\"\n"
    "#postshader 4 \"post\" \"a.glsl\" :1 \"fade\"\n"
    "#function 0 \"intro\" :1 \"phase\"\n"
    "#mesh 5 \"mesh\" \"a.msh\"\n"
    "#marker 100,1\n"
    "#marker 44100,3\n"
    "#layer \"one\"\n"
    "#event 0,44100,3,3,6:0,1,2,3,0.5,2\n"
    "#event 44100,1000,1,0,0:\n"
    "#eventvalue 10,1,1,0.5\n"
    "#eventvalue 200,1,8,1.5\n"
    "#eventvalue 300,3,4,-2\n"
    "#eventtransform 0,2,0,1,2,3,4,5,6,1,1,1\n"
    "#eventtransform 300,0,0,2,2,2,0,0,0,2,2,2\n"
    "#eventcamera 0,60,0,0,5,0,0,0\n"
    "#layer \"two\"\n"
    "#event 0,88200,4,5,1:0.25\n"
    "#event 100,200,7,4,5:0,0,0,0,1\n";

const char *const keywords[] = {"#title",   "#renderwidth", "#renderheight",   "#demotype",
                                "#bpm",     "#music",       "#marker",         "#resources",
                                "#texture", "#sprite",      "#mesh",           "#spritesheet",
                                "#shader",  "#postshader",  "#function",       "#layer",
                                "#event",   "#eventvalue",  "#eventtransform", "#eventcamera"};

const char *const numbers[] = {
    "2147483647", "-2147483648", "2147483648", "-2147483649", "99999999999999999999",
    "1e39",       "-1e39",       "nan",        "inf",         "-0",
    "0x10",       "1024",        "1023",       "-1",          "32",
    "33",         "65536",       "0"};

std::vector<std::string> split_lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string random_text(xorshift &rng, size_t n) {
    static const char alphabet[] = "#\":,. -0123456789abcxyzEe\t\r\x01\x7f\x80\xff";
    std::string s;
    for (size_t i = 0; i < n; ++i) s += alphabet[rng.below(sizeof alphabet - 1)];
    return s;
}

// Replaces the number at a random place in the line with a limit value.
void replace_number(std::string &line, xorshift &rng) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < line.size(); ++i)
        if (isdigit((unsigned char)line[i]) && (i == 0 || !isdigit((unsigned char)line[i - 1])))
            starts.push_back(i);
    if (starts.empty()) return;
    const size_t at = starts[rng.below(starts.size())];
    size_t end = at;
    while (end < line.size() && (isdigit((unsigned char)line[end]) || line[end] == '.')) ++end;
    line.replace(at, end - at, numbers[rng.below(sizeof numbers / sizeof *numbers)]);
}

std::string mutate(const std::string &text, xorshift &rng) {
    std::vector<std::string> lines = split_lines(text);
    const int count = 1 + (int)rng.below(4);
    for (int m = 0; m < count; ++m) {
        const size_t i = rng.below(lines.size());
        std::string &line = lines[i];
        switch (rng.below(10)) {
            case 0:
                line = random_text(rng, rng.below(80)) + "\n";
                break;
            case 1:  // far longer than the line buffer, with a record at its end
                line = std::string(1000 + rng.below(9000), "x\"#,:"[rng.below(5)]) + line;
                break;
            case 2:
            case 3:
                replace_number(line, rng);
                break;
            case 4:  // another keyword with these arguments
                line = std::string(keywords[rng.below(20)]) +
                       line.substr(std::min(line.find(' '), line.size()));
                break;
            case 5:
                lines.insert(lines.begin() + (ptrdiff_t)rng.below(lines.size() + 1), line);
                break;
            case 6:
                lines.erase(lines.begin() + (ptrdiff_t)i);
                if (lines.empty()) lines.push_back("\n");
                break;
            case 7:
                line.resize(rng.below(line.size() + 1));
                break;
            case 8:
                if (!line.empty()) line[rng.below(line.size())] = "\0\"\r:,\xff "[rng.below(7)];
                break;
            default:  // many values or names after the colon
                line += std::string(":") + std::to_string(rng.below(80));
                for (size_t k = rng.below(70); k > 0; --k) line += rng.below(2) ? ",1.5" : " \"p\"";
                break;
        }
    }
    std::string out;
    for (const std::string &l : lines) out += l;
    if (rng.below(8) == 0) out.resize(rng.below(out.size() + 1));
    return out;
}

// A sprite sheet id named twice keeps its earlier cells on purpose (the sprite list may still
// point at them); such mutants are left out so the address sanitizer's leak check stays quiet.
bool repeats_sheet_id(const std::string &text) {
    const std::string keyword = "#spritesheet";
    std::set<long> ids;
    for (size_t at = text.find(keyword); at != std::string::npos; at = text.find(keyword, at + 1))
        if (!ids.insert(strtol(text.c_str() + at + keyword.size(), nullptr, 10)).second)
            return true;
    return false;
}

void expect_within_capacities(const c_demo &d, int round) {
    ASSERT_GE(d.numlayers, 0);
    ASSERT_LE(d.numlayers, DEMO_MAXLAYERS);
    ASSERT_GE(d.numresources, 0);
    ASSERT_LE(d.numresources, DEMO_MAXRESOURCES);
    ASSERT_GE(d.nummarkers, 0);
    ASSERT_LE(d.nummarkers, DEMO_MAXMARKERS);
    ASSERT_LT(strnlen(d.title, DEMO_NAMESIZE), (size_t)DEMO_NAMESIZE);
    for (int i = 0; i < d.numlayers; ++i) {
        const s_demolayer &l = d.layer[i];
        ASSERT_LT(strnlen(l.name, DEMO_NAMESIZE), (size_t)DEMO_NAMESIZE);
        ASSERT_GE(l.numevents, 0);
        ASSERT_LE(l.numevents, DEMO_MAXEVENTS);
        ASSERT_GE(l.numevents_value, 1) << round;  // the Blend key of an unkeyed layer
        ASSERT_LE(l.numevents_value, DEMO_MAXKEYS);
        ASSERT_LE(l.numevents_transform, DEMO_MAXKEYS);
        ASSERT_LE(l.numevents_camera, DEMO_MAXKEYS);
        for (int e = 0; e < l.numevents; ++e) {
            ASSERT_NE(l.event[e].value, nullptr);
            ASSERT_GE(l.event[e].numvalues, 0);
            ASSERT_LE(l.event[e].numvalues, DEMO_MAXVALUES);
            ASSERT_GE(l.event[e].id, 0) << round;
            ASSERT_LT(l.event[e].id, DEMO_MAXRESOURCES) << round;
        }
    }
    for (int i = 0; i < d.numresources; ++i) {
        const s_demoresource &r = d.resource[i];
        ASSERT_LT(strnlen(r.name, DEMO_NAMESIZE), (size_t)DEMO_NAMESIZE);
        ASSERT_LT(strnlen(r.filename, DEMO_NAMESIZE), (size_t)DEMO_NAMESIZE);
        ASSERT_GE(r.numparams, DEMO_BUILTINPARAMS) << round;
        ASSERT_LE(r.numparams, DEMO_MAXPARAMS) << round;
        for (int j = 0; j < r.numparams; ++j) {
            ASSERT_NE(r.param[j], nullptr);
            ASSERT_LT(strnlen(r.param[j], DEMO_PARAMSIZE), (size_t)DEMO_PARAMSIZE);
        }
        if (r.type == RESOURCE_SPRITESHEET && r.id >= 0 && r.id < DEMO_MAXRESOURCES) {
            const s_spritesheet &s = d.resource_spritesheet[r.id];
            ASSERT_GE(s.numsprites, 0);
            ASSERT_EQ(s.numsprites, s.columns * s.rows) << round;
            if (s.numsprites > 0) {
                ASSERT_NE(s.sprite, nullptr);
            }
        }
    }
}

// Reads every track of every layer where keys and events start, and at the ends of time.
void evaluate(c_demo &d) {
    volatile float sum = 0;
    for (int i = 0; i < d.numlayers; ++i) {
        s_demolayer &l = d.layer[i];
        std::vector<int> times = {INT_MIN, 0, 1, INT_MAX};
        for (int k = 0; k < l.numevents_value && k < 8; ++k) times.push_back(l.event_value[k].t);
        for (int k = 0; k < l.numevents_transform && k < 8; ++k)
            times.push_back(l.event_transform[k].t);
        for (int k = 0; k < l.numevents && k < 8; ++k) times.push_back(l.event[k].t);
        for (int t : times) {
            d.position = t;
            for (int type = VALUE_NONE; type <= VALUE_EFFECTVALUE2; ++type)
                sum = sum + d.GetValue(&l, type);
            for (int c = 0; c < 9; ++c) sum = sum + d.GetTransformValue(&l, c);
            sum = sum + d.GetBeatMultiplier();
        }
    }
}

// Releases a loaded demo object; the graphics lists and the shader table that point into it
// go first.
struct demo_deleter {
    void operator()(c_demo *d) const {
        MOX_FlushGraphics();
        MOX_numshaders = 0;
        DemoRelease()(d);
    }
};
using demo_ptr = std::unique_ptr<c_demo, demo_deleter>;

// The media the base project names, by file name.
std::vector<std::pair<std::string, bytes_t>> media() {
    std::vector<uint32_t> px(16 * 9, 0xFF336699u);
    for (int x : {3, 7, 12}) px[x] = 0xFFFFFFFFu;
    const bytes_t wav = Wav(2, 16, 44100, bytes_t(16, 0x11));
    const std::string shader =
        "uniform float speed;\nvoid main() { gl_FragColor = vec4(speed); }\n";
    return {{"a.tga", TgaImage32(16, 9, px)},
            {"a.wav", wav},
            {"a.glsl", bytes_t(shader.begin(), shader.end())}};
}

class ProjectMutations : public ::testing::Test {
protected:
    void TearDown() override { corefile_closeimage(); }
    // Mounts the folder holding the media and the given texts as p0.fentro, p1.fentro, ...
    void mount_folder(const std::vector<std::string> &texts) {
        corefile_closeimage();
        for (const auto &m : media()) ASSERT_TRUE(WriteFile(dir_ + "/" + m.first, m.second));
        for (size_t i = 0; i < texts.size(); ++i)
            ASSERT_TRUE(WriteFile(dir_ + "/p" + std::to_string(i) + ".fentro",
                                  bytes_t(texts[i].begin(), texts[i].end())));
        ASSERT_EQ(corefile_mountimage(dir_.c_str(), 2), 1);
    }
    // The same as one resource image, as the player reads its production: one file for
    // thousands of texts.
    void mount_image(const std::vector<std::string> &texts) {
        corefile_closeimage();
        std::vector<std::pair<std::string, bytes_t>> entries = media();
        for (size_t i = 0; i < texts.size(); ++i)
            entries.push_back(
                {"p" + std::to_string(i) + ".fentro", bytes_t(texts[i].begin(), texts[i].end())});
        const std::string image = dir_ + "/mutants.dat";
        ASSERT_TRUE(WriteResourceImage(image, entries));
        const int mounted = Quietly([&] { return corefile_mountimage(image.c_str(), 0); });
        ASSERT_EQ(mounted, 1);
    }
    // Loads with the effect table `effects_` (empty unless a test hands one over).
    demo_ptr load(const std::string &name) {
        demo_ptr demo(new c_demo());
        demo->effects = effects_;
        demo->Load(name.c_str());
        return demo;
    }
    // Loads each text, checks and evaluates the result; with a folder mounted every fourth
    // one is also saved and loaded again. Returns how many scenes were started.
    int run(const std::vector<std::string> &texts, bool saves);

    const TempDir scratch_{"project_mutations"};
    const std::string dir_ = scratch_.str();
    s_effecttable effects_ = {};
};

// Mutants of the base project; those that name one sprite sheet id twice are left out.
std::vector<std::string> mutants(int count, uint64_t seed) {
    xorshift rng{seed};
    std::vector<std::string> texts;
    while ((int)texts.size() < count) {
        std::string text = mutate(base_project, rng);
        if (!repeats_sheet_id(text)) texts.push_back(text);
    }
    return texts;
}

int ProjectMutations::run(const std::vector<std::string> &texts, bool saves) {
    int scenes = 0, withlayers = 0;
    LogCapture quiet;
    for (size_t round = 0; round < texts.size() && !HasFailure(); ++round) {
        demo_ptr demo = load("p" + std::to_string(round) + ".fentro");
        expect_within_capacities(*demo, (int)round);
        evaluate(*demo);
        withlayers += demo->numlayers > 0;
        for (int i = 0; i < demo->numresources; ++i)
            scenes += demo->resource[i].type == RESOURCE_FUNCTION && demo->resource[i].loadOK;
        if (!saves || round % 4 != 0) continue;
        // What was loaded saves and loads again into the same tables.
        const std::string saved = "s" + std::to_string(round) + ".fentro";
        demo->Save(saved.c_str());
        demo_ptr again = load(saved);
        expect_within_capacities(*again, (int)round);
        EXPECT_EQ(again->numlayers, demo->numlayers) << round;
        EXPECT_EQ(again->nummarkers, demo->nummarkers) << round;
        EXPECT_EQ(again->numresources, demo->numresources) << round;
    }
    EXPECT_GT(withlayers, (int)texts.size() / 2);
    return scenes;
}

TEST_F(ProjectMutations, EveryMutantLoadsWithinTheTables) {
    mount_image({base_project});
    {
        LogCapture log(LOG_WARNING);
        demo_ptr demo = load("p0.fentro");
        EXPECT_EQ(demo->numlayers, 2);
        EXPECT_EQ(demo->numresources, 7);
        EXPECT_NE(demo->demomusic.buffer, nullptr);
        EXPECT_NE(demo->resource_texture[0].data, nullptr);
        for (const s_logged &m : log.messages()) EXPECT_NE(m.id.rfind("project.", 0), 0u) << m.text;
    }
    const std::vector<std::string> texts = mutants(3000, 0xabcdef);
    mount_image(texts);
    EXPECT_EQ(run(texts, false), 0);
}

TEST_F(ProjectMutations, MutantsSaveAndLoadAgain) {
    const std::vector<std::string> texts = mutants(300, 0x5a7e);
    mount_folder(texts);
    run(texts, true);
}

// Found by the mutation run (as leaks): a repeated #music line, or two texture lines with one
// id, loaded into the same record again and lost what the first had loaded.
TEST_F(ProjectMutations, RepeatedMusicAndTextureIdsReleaseTheEarlierLoad) {
    mount_folder(
        {"#demotype 1\n#music \"a.wav\"\n#music \"a.wav\"\n"
         "#texture 0 \"one\" \"a.tga\"\n#texture 0 \"two\" \"a.tga\"\n"
         "#texture 0 \"three\" \"missing.tga\"\n"});
    const int sounds = soundsystem.numsounds;
    LogCapture log;
    demo_ptr demo = load("p0.fentro");
    EXPECT_EQ(soundsystem.numsounds, sounds + 1);
    ASSERT_NE(demo->demomusic.buffer, nullptr);
    EXPECT_EQ(demo->demomusic.size, 16u);
    EXPECT_EQ(log.Count("mox.bitmap_deleted"), 1) << log.Text();
    // The missing third file leaves the second image in place.
    EXPECT_NE(demo->resource_texture[0].data, nullptr);
    EXPECT_EQ(demo->GetResource("one"), &demo->resource_texture[0]);
}

// Sheet cells are cut as declared, but cells that reach beyond the image are reported.
TEST_F(ProjectMutations, SheetCellsBeyondTheImageAreReported) {
    mount_folder(
        {"#demotype 1\n#spritesheet 0 \"fits\" \"a.tga\" :4 3 4 3\n"
         "#spritesheet 1 \"wide\" \"a.tga\" :5 3 4 3\n"
         "#spritesheet 2 \"far\" \"a.tga\" :1 1 4 2147483647\n"});
    LogCapture log;
    demo_ptr demo = load("p0.fentro");
    // "wide" and "far" reach beyond their image, "fits" does not.
    EXPECT_EQ(log.Count("resources.sheet_too_large"), 2) << log.Text();
    EXPECT_EQ(demo->resource_spritesheet[1].numsprites, 15);
}

// A scene that counts its calls.
struct counting_scene : c_demofunction {
    int inits = 0, updates = 0;
    void Init(c_demo *) override { ++inits; }
    void Update(c_demo *, s_effectevent *) override { ++updates; }
};

// Found by the fuzz run with the production's scenes: a Function event on a descriptor that is
// no function (here a texture whose id is 1) ran scene 1, which no #function line had started,
// so it drew with whatever it had kept from another production.
TEST_F(ProjectMutations, FunctionEventsRunOnlyScenesTheProjectStarted) {
    static counting_scene scene;
    scene = counting_scene{};
    c_demofunction *const table[] = {nullptr, &scene};
    effects_ = {table, 2};
    mount_folder(
        {"#demotype 1\n#texture 1 \"tex\" \"a.tga\"\n#layer \"one\"\n"
         "#event 0,100,4,0,0:\n"});
    LogCapture quiet;
    demo_ptr demo = load("p0.fentro");
    demo->HandleDemo();
    EXPECT_EQ(scene.inits, 0);
    EXPECT_EQ(scene.updates, 0);
}

// The production's own scenes start on whatever a mutant leaves them (missing media, no GL).
TEST_F(ProjectMutations, ScenesStartOnMutatedProjects) {
    effects_ = invite_effects;
    const std::vector<std::string> texts = mutants(400, 0x5ce4e5);
    mount_image(texts);
    EXPECT_GT(run(texts, false), 100);
}

}  // namespace

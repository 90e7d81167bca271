// Project file: loading every record, the save/load round trip, the default Blend key, the
// ordering rules, malformed lines, the music's duration, saving without a directory, and the
// effect table listing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "demosystem/demosystem.h"
#include "log_capture.h"
#include "support/demo_owner.h"

namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;

const fs::path data_dir = fs::path(FENTRO_BINARY_DIR) / "test_project_data";

void WriteText(const std::string &name, const std::string &text) {
    std::ofstream out(data_dir / name, std::ios::binary);
    out << text;
}

std::string ReadText(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return lines;
}

int IndexOf(const std::vector<std::string> &lines, const std::string &line) {
    for (size_t i = 0; i < lines.size(); i++) {
        if (lines[i] == line) return (int)i;
    }
    return -1;
}

const char *const round_trip_project =
    "#title \"Round Trip\"\n"
    "#renderwidth 320\n"
    "#renderheight 200\n"
    "#demotype 3\n"
    "#bpm 140\n"
    "#music \"missing.wav\"\n"
    "\n"
    "#resources\n"
    "#texture 0 \"tex\" \"tex.tga\"\n"
    "#sprite 1 \"spr\" \"spr.tga\"\n"
    "#spritesheet 2 \"sheet\" \"sheet.tga\" :4 2 64 32\n"
    "#shader 3 \"sh\" \"sh.glsl\" :3 \"amount\" \"speed\" \"tint\"\n"
    "#mesh 4 \"mesh\" \"mesh.bin\"\n"
    "#function 0 \"intro\" :1 \"phase\"\n"
    "#postshader 5 \"post\" \"post.glsl\" :0\n"
    "// a comment line\n"
    "#unknown 1,2,3\n"
    "#marker 1000,0\n"
    "#marker 44100,3\n"
    "\n"
    "#layer \"one\"\n"
    "#event 0,44100,1,0,0:\n"
    "#event 44100,88200,3,3,7:0,1,2,0,0.25,-1.5,1234.567\n"
    "#eventtransform 100,1,0,1.25,-2.5,3,45,90,180.004,1,2,3\n"
    "#eventcamera 200,60,0,1,2,3,4,5.555\n"
    "#eventvalue 0,1,0,0.5\n"
    "#eventvalue 44100,2,3,1.75\n"
    "\n"
    "#layer \"two\"\n"
    "#event 100,200,3,1,0:\n";

// Runs each test with the data directory mounted; no effect table is handed over, so
// function resources name no real scene.
class Project : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(data_dir);
        fs::create_directories(data_dir);
        ASSERT_EQ(corefile_mountimage(data_dir.c_str(), 2), 1);
    }
    void TearDown() override { corefile_closeimage(); }
    // Loads a project text into a new demo object and returns the ids of the messages logged.
    std::vector<std::string> LoadText(c_demo &demo, const std::string &text,
                                      int maxlevel = LOG_DEBUG) {
        WriteText("demo.fentro", text);
        LogCapture log(maxlevel);
        demo.Load("demo.fentro");
        return log.Ids();
    }
};

void ExpectSameProduction(const c_demo &a, const c_demo &b) {
    EXPECT_STREQ(a.title, b.title);
    EXPECT_EQ(a.renderwidth, b.renderwidth);
    EXPECT_EQ(a.renderheight, b.renderheight);
    EXPECT_EQ(a.demotype, b.demotype);
    EXPECT_EQ(a.bpm, b.bpm);
    EXPECT_STREQ(a.musicfilename, b.musicfilename);
    ASSERT_EQ(a.numresources, b.numresources);
    for (int i = 0; i < a.numresources; i++) {
        const s_demoresource &ra = a.resource[i], &rb = b.resource[i];
        EXPECT_EQ(ra.id, rb.id);
        EXPECT_EQ(ra.type, rb.type);
        EXPECT_STREQ(ra.name, rb.name);
        EXPECT_STREQ(ra.filename, rb.filename);
        ASSERT_EQ(ra.numparams, rb.numparams) << ra.name;
        for (int j = 0; j < ra.numparams; j++) EXPECT_STREQ(ra.param[j], rb.param[j]);
        if (ra.type == RESOURCE_SPRITESHEET) {
            const s_spritesheet &sa = a.resource_spritesheet[ra.id];
            const s_spritesheet &sb = b.resource_spritesheet[rb.id];
            EXPECT_EQ(sa.columns, sb.columns);
            EXPECT_EQ(sa.rows, sb.rows);
            EXPECT_EQ(sa.width, sb.width);
            EXPECT_EQ(sa.height, sb.height);
            EXPECT_EQ(sa.numsprites, sb.numsprites);
        }
    }
    ASSERT_EQ(a.nummarkers, b.nummarkers);
    for (int i = 0; i < a.nummarkers; i++) {
        EXPECT_EQ(a.marker[i].t, b.marker[i].t);
        EXPECT_EQ(a.marker[i].type, b.marker[i].type);
    }
    ASSERT_EQ(a.numlayers, b.numlayers);
    const float eps = 0.005f;
    for (int l = 0; l < a.numlayers; l++) {
        const s_demolayer &la = a.layer[l], &lb = b.layer[l];
        EXPECT_STREQ(la.name, lb.name);
        ASSERT_EQ(la.numevents, lb.numevents);
        for (int i = 0; i < la.numevents; i++) {
            const s_effectevent &ea = la.event[i], &eb = lb.event[i];
            EXPECT_EQ(ea.t, eb.t);
            EXPECT_EQ(ea.length, eb.length);
            EXPECT_EQ(ea.type, eb.type);
            EXPECT_EQ(ea.id, eb.id);
            ASSERT_EQ(ea.numvalues, eb.numvalues);
            for (int j = 0; j < DEMO_MAXVALUES; j++) EXPECT_NEAR(ea.value[j], eb.value[j], eps);
        }
        ASSERT_EQ(la.numevents_value, lb.numevents_value);
        for (int i = 0; i < la.numevents_value; i++) {
            const s_valueevent &ka = la.event_value[i], &kb = lb.event_value[i];
            EXPECT_EQ(ka.t, kb.t);
            EXPECT_EQ(ka.type, kb.type);
            EXPECT_EQ(ka.curvetype, kb.curvetype);
            EXPECT_NEAR(ka.value, kb.value, eps);
        }
        ASSERT_EQ(la.numevents_transform, lb.numevents_transform);
        for (int i = 0; i < la.numevents_transform; i++) {
            const s_transformevent &ka = la.event_transform[i], &kb = lb.event_transform[i];
            EXPECT_EQ(ka.t, kb.t);
            EXPECT_EQ(ka.curvetype, kb.curvetype);
            EXPECT_EQ(ka.parent, kb.parent);
            const float va[9] = {ka.x,    ka.y,      ka.z,      ka.rotx,  ka.roty,
                                 ka.rotz, ka.scalex, ka.scaley, ka.scalez};
            const float vb[9] = {kb.x,    kb.y,      kb.z,      kb.rotx,  kb.roty,
                                 kb.rotz, kb.scalex, kb.scaley, kb.scalez};
            for (int j = 0; j < 9; j++) EXPECT_NEAR(va[j], vb[j], eps) << j;
        }
        ASSERT_EQ(la.numevents_camera, lb.numevents_camera);
        for (int i = 0; i < la.numevents_camera; i++) {
            const s_cameraevent &ka = la.event_camera[i], &kb = lb.event_camera[i];
            EXPECT_EQ(ka.t, kb.t);
            const float va[7] = {ka.fov, ka.x, ka.y, ka.z, ka.targetx, ka.targety, ka.targetz};
            const float vb[7] = {kb.fov, kb.x, kb.y, kb.z, kb.targetx, kb.targety, kb.targetz};
            for (int j = 0; j < 7; j++) EXPECT_NEAR(va[j], vb[j], eps) << j;
        }
    }
}

TEST_F(Project, LoadsEveryRecord) {
    auto demo = test_support::NewDemo();
    const std::vector<std::string> out = LoadText(*demo, round_trip_project);
    const c_demo &d = *demo;
    EXPECT_STREQ(d.title, "Round Trip");
    EXPECT_THAT(out, IsSupersetOf({"project.title", "project.resources", "project.layer"}));
    EXPECT_EQ(d.renderwidth, 320);
    EXPECT_EQ(d.renderheight, 200);
    EXPECT_EQ(d.demotype, 3);
    EXPECT_EQ(d.bpm, 140);
    EXPECT_STREQ(d.musicfilename, "missing.wav");
    EXPECT_EQ(d.duration, 0);  // the music did not load
    ASSERT_EQ(d.numresources, 7);
    EXPECT_EQ(d.resource[3].type, RESOURCE_SHADER);
    EXPECT_STREQ(d.resource[3].filename, "sh.glsl");
    ASSERT_EQ(d.resource[3].numparams, 7);
    const char *names[7] = {"resource 1", "resource 2", "resource 3", "resource 4",
                            "amount",     "speed",      "tint"};
    for (int i = 0; i < 7; i++) EXPECT_STREQ(d.resource[3].param[i], names[i]);
    EXPECT_STREQ(d.resource[5].filename, "");
    EXPECT_EQ(d.resource[5].type, RESOURCE_FUNCTION);
    EXPECT_EQ(d.resource[5].loadOK, 0);  // its table entry is empty
    EXPECT_EQ(d.resource_spritesheet[2].numsprites, 8);
    ASSERT_EQ(d.nummarkers, 2);
    EXPECT_EQ(d.marker[1].t, 44100);
    EXPECT_EQ(d.marker[1].type, 3);
    ASSERT_EQ(d.numlayers, 2);

    const s_demolayer &one = d.layer[0];
    ASSERT_EQ(one.numevents, 2);
    EXPECT_EQ(one.event[0].numvalues, 0);
    const s_effectevent &e = one.event[1];
    EXPECT_EQ(e.t, 44100);
    EXPECT_EQ(e.length, 88200);
    EXPECT_EQ(e.type, 3);
    EXPECT_EQ(e.id, 3);
    EXPECT_EQ(e.numvalues, 7);
    EXPECT_FLOAT_EQ(e.value[5], -1.5f);
    EXPECT_FLOAT_EQ(e.value[6], 1234.567f);
    EXPECT_EQ(e.value[7], 0.0f);
    ASSERT_EQ(one.numevents_transform, 1);
    EXPECT_EQ(one.event_transform[0].curvetype, 1);
    EXPECT_FLOAT_EQ(one.event_transform[0].y, -2.5f);
    EXPECT_FLOAT_EQ(one.event_transform[0].scalez, 3);
    ASSERT_EQ(one.numevents_camera, 1);
    EXPECT_FLOAT_EQ(one.event_camera[0].fov, 60);
    EXPECT_FLOAT_EQ(one.event_camera[0].targetz, 5.555f);
    ASSERT_EQ(one.numevents_value, 2);
    EXPECT_EQ(one.event_value[1].curvetype, 3);

    // A layer without value keys gets a Blend key of 1.0 at time 0.
    const s_demolayer &two = d.layer[1];
    ASSERT_EQ(two.numevents_value, 1);
    EXPECT_EQ(two.event_value[0].t, 0);
    EXPECT_EQ(two.event_value[0].type, VALUE_BLEND);
    EXPECT_EQ(two.event_value[0].curvetype, CURVE_LINEAR);
    EXPECT_EQ(two.event_value[0].value, 1.0f);
    EXPECT_EQ(two.event[0].numvalues, 0);
}

TEST_F(Project, SaveAndLoadKeepTheProduction) {
    auto a = test_support::NewDemo();
    LoadText(*a, round_trip_project);
    Quietly([&] { a->Save("saved.fentro"); });
    const std::string saved = ReadText(data_dir / "saved.fentro");

    auto b = test_support::NewDemo();
    LoadText(*b, saved);
    ExpectSameProduction(*a, *b);
    b->Save("saved2.fentro");
    EXPECT_EQ(ReadText(data_dir / "saved2.fentro"), saved);

    const std::vector<std::string> lines = Lines(saved);
    EXPECT_EQ(lines[0], "#title \"Round Trip\"");
    EXPECT_LT(IndexOf(lines, "#demotype 3"), IndexOf(lines, "#bpm 140"));
    EXPECT_NE(IndexOf(lines, "#shader 3 \"sh\" \"sh.glsl\" :3 \"amount\" \"speed\" \"tint\""), -1);
    EXPECT_NE(IndexOf(lines, "#spritesheet 2 \"sheet\" \"sheet.tga\" :4 2 64 32"), -1);
    EXPECT_NE(IndexOf(lines, "#function 0 \"intro\" :1 \"phase\""), -1);
    EXPECT_NE(IndexOf(lines, "#postshader 5 \"post\" \"post.glsl\" :0"), -1);
    EXPECT_NE(IndexOf(lines, "#event 44100,88200,3,3,7:0.00,1.00,2.00,0.00,0.25,-1.50,1234.567"),
              -1);
    EXPECT_NE(IndexOf(lines,
                      "#eventtransform 100,1,0,1.25,-2.50,3.00,45.00,90.00,180.004,1.00,"
                      "2.00,3.00"),
              -1);
    EXPECT_NE(IndexOf(lines, "#eventcamera 200,60.00,0.00,1.00,2.00,3.00,4.00,5.555"), -1);
    // The added Blend key is written back with the second layer.
    const int two = IndexOf(lines, "#layer \"two\"");
    ASSERT_NE(two, -1);
    EXPECT_EQ(lines[two + 1], "#event 100,200,3,1,0:");
    EXPECT_EQ(lines[two + 2], "#eventvalue 0,1,0,1.00");
}

TEST_F(Project, BpmBeforeDemotypeIsReset) {
    auto demo = test_support::NewDemo();
    LoadText(*demo, "#bpm 90\n#renderwidth 64\n#renderheight 48\n#demotype 1\n");
    EXPECT_EQ(demo->bpm, 125);
    EXPECT_EQ(demo->renderwidth, 64);
}

TEST_F(Project, WindowsLineEndsAndIndentedRecordsLoad) {
    auto demo = test_support::NewDemo();
    LoadText(*demo,
             "#renderwidth 64\r\n#demotype 2\r\n  #layer \"crlf\"\r\n#resources\r\n"
             "\t#eventvalue 5,1,0,0.25\r\n#event 100,200,3,1,2:1.5,2.5\r\n");
    EXPECT_EQ(demo->demotype, 2);
    ASSERT_EQ(demo->numlayers, 1);
    EXPECT_STREQ(demo->layer[0].name, "crlf");
    EXPECT_EQ(demo->layer[0].numevents_value, 1);
    EXPECT_FLOAT_EQ(demo->layer[0].event[0].value[1], 2.5f);
}

TEST_F(Project, MalformedLinesAreSkippedOrClampedWithTheirLineNumber) {
    std::string values40, names40;
    for (int i = 0; i < 40; i++) {
        values40 += (i ? "," : "") + std::to_string(i + 1);
        names40 += " \"p" + std::to_string(i) + "\"";
    }
    const std::string text =
        "#renderwidth 64\n"         // 1
        "#renderheight 48\n"        // 2
        "#demotype 1\n"             // 3
        "#eventvalue 10,1,0,0.5\n"  // 4: before the first layer
        "#layer \"l\"\n"            // 5
        "#event 0,100,3,0,40:" +
        values40 +
        "\n"                              // 6: 40 values
        "#event 200,100,3,0,3\n"          // 7: no colon
        "#event 300,100,3,0,3:1.5,2.5\n"  // 8: two of three
        "#" +
        std::string(70, 'k') +
        " 1,2\n"                                         // 9: long keyword
        "#texture 1024 \"big\" \"big.tga\"\n"            // 10: id too large
        "#texture -1 \"neg\" \"neg.tga\"\n"              // 11: negative id
        "#shader 2 \"sh\" \"sh.glsl\" :5 \"a\" \"b\"\n"  // 12: five announced, two given
        "#function 1 \"fn\" :40" +
        names40 +
        "\n"                                        // 13: 40 names
        "#event 400,100,3,2000,0:\n"                // 14: descriptor index
        "#marker 5\n"                               // 15: one number
        "#event 500,100,3,0,-4:1,2\n"               // 16: negative count
        "#spritesheet 3 \"sheet\" \"s.tga\" :4\n";  // 17: one of four numbers
    auto demo = test_support::NewDemo();
    // One warning for each faulty line, in the order of the lines, then the summaries.
    std::vector<std::string> out = LoadText(*demo, text, LOG_WARNING);
    out.erase(std::remove_if(out.begin(), out.end(),
                             [](const std::string &id) { return id.rfind("project.", 0) != 0; }),
              out.end());
    EXPECT_THAT(out,
                ElementsAre("project.event_without_layer", "project.values_cut",
                            "project.values_without_colon", "project.values_missing",
                            "project.keyword_too_long", "project.resource_id_range",
                            "project.resource_id_range", "project.params_cut", "project.params_cut",
                            "project.event_resource_range", "project.line_skipped",
                            "project.value_count_bad", "project.sheet_incomplete",
                            "project.lines_kept", "project.lines_skipped"));

    const s_demolayer &l = demo->layer[0];
    // The key before the layer went nowhere; the layer got its default Blend key.
    ASSERT_EQ(l.numevents_value, 1);
    EXPECT_EQ(l.event_value[0].value, 1.0f);
    ASSERT_EQ(l.numevents, 4);
    EXPECT_EQ(l.event[0].numvalues, DEMO_MAXVALUES);
    EXPECT_FLOAT_EQ(l.event[0].value[31], 32.0f);
    EXPECT_EQ(l.event[1].numvalues, 0);
    EXPECT_EQ(l.event[2].numvalues, 2);
    EXPECT_FLOAT_EQ(l.event[2].value[1], 2.5f);
    EXPECT_EQ(l.event[3].t, 500);
    EXPECT_EQ(l.event[3].numvalues, 0);
    EXPECT_EQ(demo->nummarkers, 0);

    ASSERT_EQ(demo->numresources, 5);
    EXPECT_EQ(demo->resource[0].id, 1024);
    EXPECT_EQ(demo->resource[0].loadOK, 0);
    EXPECT_EQ(demo->resource[0].datapointer, nullptr);
    EXPECT_EQ(demo->resource[1].loadOK, 0);
    EXPECT_EQ(demo->resource[2].numparams, 6);
    EXPECT_STREQ(demo->resource[2].param[5], "b");
    EXPECT_EQ(demo->resource[3].numparams, DEMO_MAXPARAMS);
    EXPECT_STREQ(demo->resource[3].param[31], "p27");
    EXPECT_EQ(demo->resource_spritesheet[3].columns, 4);
    EXPECT_EQ(demo->resource_spritesheet[3].numsprites, 0);
}

TEST_F(Project, ASixthLayerAndItsEventsAreDropped) {
    std::string text = "#renderwidth 64\n#renderheight 48\n#demotype 1\n";
    for (int i = 0; i < 6; i++) {
        text += "#layer \"L" + std::to_string(i) + "\"\n";
        text += "#event " + std::to_string(i) + ",10,1,0,0:\n";
    }
    for (int i = 0; i < DEMO_MAXEVENTS + 1; i++) {
        text += "#eventvalue " + std::to_string(i) + ",1,0,0.5\n";
    }
    auto demo = test_support::NewDemo();
    EXPECT_THAT(LoadText(*demo, text), Contains("project.layer_dropped"));
    ASSERT_EQ(demo->numlayers, DEMO_MAXLAYERS);
    EXPECT_EQ(demo->layer[4].numevents, 1);
    EXPECT_EQ(demo->layer[4].event[0].t, 4);
    EXPECT_EQ(demo->layer[4].numevents_value, 1);  // only the default Blend key
}

TEST_F(Project, FullLayerKeepsSixtyFourEvents) {
    std::string text = "#renderwidth 64\n#renderheight 48\n#demotype 1\n#layer \"full\"\n";
    for (int i = 0; i < DEMO_MAXEVENTS + 5; i++) {
        text += "#event " + std::to_string(i * 100) + ",100,1,0,1:0.5\n";
    }
    auto demo = test_support::NewDemo();
    LoadText(*demo, text);
    EXPECT_EQ(demo->layer[0].numevents, DEMO_MAXEVENTS);
    EXPECT_EQ(demo->layer[0].event[63].t, 6300);
}

TEST_F(Project, OverlongLineIsSkippedAndLoadingGoesOn) {
    const std::string text = "#renderwidth 64\n#renderheight 48\n#demotype 1\n#title \"" +
                             std::string(3000, 'x') + "\"\n#layer \"after\"\n";
    auto demo = test_support::NewDemo();
    EXPECT_THAT(LoadText(*demo, text), Contains("project.line_too_long"));
    EXPECT_STREQ(demo->title, "");
    ASSERT_EQ(demo->numlayers, 1);
    EXPECT_STREQ(demo->layer[0].name, "after");
}

TEST_F(Project, LongQuotedTextIsCutToItsField) {
    const std::string title(600, 't');
    auto demo = test_support::NewDemo();
    LoadText(*demo, "#title \"" + title + "\"\n");
    EXPECT_EQ(std::string(demo->title), title.substr(0, DEMO_NAMESIZE - 1));
}

TEST_F(Project, MissingProjectLeavesTheDemoAlone) {
    auto demo = test_support::NewDemo();
    demo->bpm = 77;
    LogCapture log;
    demo->Load("nothere.fentro");
    EXPECT_TRUE(log.Has("project.not_loaded"));
    EXPECT_EQ(demo->bpm, 77);
    EXPECT_EQ(demo->numlayers, 0);
}

// A canonical 44-byte-header PCM WAV file.
std::string WavFile(int channels, int rate, int frames) {
    auto u32 = [](std::string &s, uint32_t v) {
        for (int i = 0; i < 4; i++) s += (char)(v >> (8 * i));
    };
    auto u16 = [](std::string &s, uint16_t v) {
        s += (char)v;
        s += (char)(v >> 8);
    };
    const uint32_t bytes = (uint32_t)frames * channels * 2;
    std::string w = "RIFF";
    u32(w, 36 + bytes);
    w += "WAVEfmt ";
    u32(w, 16);
    u16(w, 1);
    u16(w, (uint16_t)channels);
    u32(w, (uint32_t)rate);
    u32(w, (uint32_t)rate * channels * 2);
    u16(w, (uint16_t)(channels * 2));
    u16(w, 16);
    w += "data";
    u32(w, bytes);
    w += std::string(bytes, '\0');
    return w;
}

TEST_F(Project, MusicDurationInWholeSeconds) {
    WriteText("music.wav", WavFile(2, 8000, 8000 * 3 + 100));
    auto demo = test_support::NewDemo();
    EXPECT_THAT(LoadText(*demo, "#demotype 1\n#music \"music.wav\"\n"), Contains("project.music"));
    EXPECT_EQ(demo->duration, 3);
    EXPECT_EQ(demo->position, 0);
    EXPECT_EQ(demo->demomusic.samplerate, 8000u);

    // A music file that is not a WAV file loads as an empty sound of 0 seconds.
    WriteText("bad.wav", "RIFF....WAVEfmt junk");
    LoadText(*demo, "#demotype 1\n#music \"bad.wav\"\n");
    EXPECT_EQ(demo->duration, 0);
    LoadText(*demo, "#demotype 1\n#music \"music.ogg\"\n");
    EXPECT_EQ(demo->duration, 0);
}

// A stand-alone CORE image holding one file.
std::string CoreImage(const std::string &name, const std::string &data) {
    auto u32 = [](std::string &s, uint32_t v) {
        for (int i = 0; i < 4; i++) s += (char)(v >> (8 * i));
    };
    uint32_t hash = 0;
    for (char c : name) hash += (uint32_t)(int32_t)(signed char)c;
    const uint32_t offset = 12 + 12 + (uint32_t)name.size();
    std::string image = "CORE";
    u32(image, 1);
    u32(image, offset + (uint32_t)data.size());
    u32(image, (uint32_t)name.size());
    u32(image, hash);
    image += name;
    u32(image, offset);
    return image + data;
}

TEST_F(Project, SaveWithAnImageMountedWritesNothingAndSaysSo) {
    const std::string project = "#renderwidth 64\n#demotype 1\n#layer \"img\"\n";
    WriteText("outline.dat", CoreImage("demo.fentro", project));
    const std::string image = (data_dir / "outline.dat").string();
    corefile_closeimage();
    ASSERT_EQ(corefile_mountimage(image.c_str(), 0), 1);

    auto demo = test_support::NewDemo();
    LogCapture log;
    demo->Load("demo.fentro");
    demo->Save("demo.fentro");
    ASSERT_EQ(demo->numlayers, 1);
    EXPECT_TRUE(log.Has("project.save_nodir"));
    EXPECT_FALSE(fs::exists(data_dir / "demo.fentro"));
    EXPECT_FALSE(fs::exists("demo.fentro"));
}

TEST_F(Project, SaveFunctionsListsFunctionResourcesInOrder) {
    auto demo = test_support::NewDemo();
    LoadText(*demo,
             "#title \"Party\"\n#demotype 1\n#function 1 \"welcome\" :0\n"
             "#texture 0 \"bg\" \"bg.tga\"\n#function 0 \"intro\" :0\n");
    const fs::path listing = data_dir / "functions.txt";
    demo->SaveFunctions(listing.c_str());
    EXPECT_EQ(ReadText(listing),
              "// Party - Function pointer list\n"
              "c_demofunction *demofunction[]={\n"
              "&welcome,\n"
              "&intro,\n"
              "};\n\n");
}

TEST(FindString, FindsTheFirstQuotedText) {
    char dest[DEMO_NAMESIZE] = "unchanged";
    int ofs = -1;
    const char *line = "#texture 3 \"name\" \"file\"";
    const char *rest = FindString(line, dest, &ofs);
    EXPECT_STREQ(dest, "name");
    EXPECT_EQ(ofs, 16);
    EXPECT_STREQ(rest, " \"file\"");

    strcpy(dest, "unchanged");
    EXPECT_EQ(FindString("a \"\" b", dest, &ofs), std::string("a \"\" b"));
    EXPECT_EQ(ofs, 3);
    EXPECT_STREQ(dest, "unchanged");
    EXPECT_EQ(FindString("no quotes", dest, &ofs), std::string("no quotes"));
    EXPECT_EQ(ofs, 0);
    EXPECT_EQ(FindString("one \"quote", dest, &ofs), std::string("one \"quote"));
    EXPECT_EQ(ofs, 0);

    char small[4];
    FindString("\"abcdef\"", small, &ofs, sizeof small);
    EXPECT_STREQ(small, "abc");
}

}  // namespace

// The offline renderer run whole, as a subprocess under the current display, on a small
// production packed with coreimage. Its timeline (4 s of music, 320 x 180):
//   0.0 - 1.0 s  a 2 x 2 texture (red, green / blue, white) fading in from Blend 0 to 1
//   1.0 - 2.0 s  a shader whose red is "time" / 4 and green the horizontal position
//   2.0 - 3.0 s  a green texture whose Blend follows a Random curve
//   3.0 - 4.0 s  the 2 x 2 texture again under a post-processing event that inverts red and
//                green and puts its parameter "amount" (0.5) into blue
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/media.h"
#include "support/scratch.h"
#include "support/subprocess.h"

namespace {

using namespace test_support;

constexpr int W = 320, H = 180;
constexpr uint32_t RATE = 44100;
constexpr uint32_t MUSIC_FRAMES = 4 * RATE;
constexpr uint32_t BACKGROUND = 0x102030;

const char *const PROJECT =
    "#title \"render test\"\n"
    "#renderwidth 320\n#renderheight 180\n#demotype 1\n"
    "#music \"music.wav\"\n"
    "#resources\n"
    "#texture 0 \"quads\" \"quads.tga\"\n"
    "#texture 1 \"green\" \"green.tga\"\n"
    "#shader 2 \"ramp\" \"ramp.glsl\" :0\n"
    "#postshader 3 \"invert\" \"invert.glsl\" :1 \"amount\"\n"
    "#layer \"fade\"\n"
    "#event 0,44100,1,0,0:\n"
    "#event 132300,44100,1,0,0:\n"
    "#eventvalue 0,1,0,0.0\n"
    "#eventvalue 44100,1,0,1.0\n"
    "#layer \"ramp\"\n"
    "#event 44100,44100,3,2,4:0,0,0,0\n"
    "#layer \"noise\"\n"
    "#event 88200,44100,1,1,0:\n"
    "#eventvalue 0,1,8,1.0\n"
    "#eventvalue 176400,1,0,1.0\n"
    "#layer \"post\"\n"
    "#event 132300,44100,7,3,5:0,0,0,0,0.5\n";

// A second project in the same source: one flat yellow shader.
const char *const ALT_PROJECT =
    "#renderwidth 320\n#renderheight 180\n#demotype 1\n"
    "#music \"music.wav\"\n"
    "#shader 0 \"yellow\" \"yellow.glsl\" :0\n"
    "#layer \"only\"\n"
    "#event 0,176400,3,0,4:0,0,0,0\n";

// A decoded frame: 0xAARRGGBB pixels, rows top to bottom.
struct Frame {
    int width = 0, height = 0;
    std::vector<uint32_t> argb;
    uint32_t At(int x, int y) const { return argb[(size_t)y * width + x]; }
};

// Reads an uncompressed 32-bit true-colour TGA stored from the top left, as the renderer
// writes them; an empty frame for anything else.
Frame ReadTga(const fs::path &path) {
    Frame f;
    const std::string b = ReadFile(path);
    if (b.size() < 18) return f;
    auto byte = [&](size_t i) { return (uint32_t)(unsigned char)b[i]; };
    const int width = (int)(byte(12) | byte(13) << 8), height = (int)(byte(14) | byte(15) << 8);
    const size_t start = 18 + byte(0);
    if (byte(1) != 0 || byte(2) != 2 || byte(16) != 32 || !(byte(17) & 0x20) ||
        b.size() != start + (size_t)width * height * 4)
        return f;
    f.width = width, f.height = height;
    for (size_t i = start; i < b.size(); i += 4)
        f.argb.push_back(byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | byte(i + 3) << 24);
    return f;
}

::testing::AssertionResult Near(uint32_t argb, uint32_t rgb, int tolerance = 2) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = (int)(argb >> shift & 0xff), e = (int)(rgb >> shift & 0xff);
        if (a - e > tolerance || e - a > tolerance) {
            std::ostringstream text;
            text << std::hex << "pixel 0x" << (argb & 0xffffff) << ", expected 0x" << rgb;
            return ::testing::AssertionFailure() << text.str();
        }
    }
    if (argb >> 24 != 0xff) return ::testing::AssertionFailure() << "pixel not opaque";
    return ::testing::AssertionSuccess();
}

// a over b with weight w, per channel, as 0xRRGGBB.
uint32_t Mix(uint32_t a, uint32_t b, double w) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double v = (a >> shift & 0xff) * w + (b >> shift & 0xff) * (1 - w);
        out |= (uint32_t)(v + 0.5) << shift;
    }
    return out;
}

// The shader's colour at music position p, at the frame's horizontal centre.
uint32_t RampAt(uint32_t p) {
    const double red = (double)p / RATE * 0.25 * 255;
    return (uint32_t)(red + 0.5) << 16 | 128u << 8;
}

// The four quadrants of the 2 x 2 texture (top left, top right, bottom left, bottom right) as
// 0xRRGGBB, shown over the background with weight w.
std::vector<uint32_t> Quads(double w) {
    std::vector<uint32_t> q;
    for (uint32_t c : {0xff0000u, 0x00ff00u, 0x0000ffu, 0xffffffu})
        q.push_back(Mix(c, BACKGROUND, w));
    return q;
}

::testing::AssertionResult ShowsQuads(const Frame &f, const std::vector<uint32_t> &q) {
    if (f.width == 0) return ::testing::AssertionFailure() << "no frame";
    const int x[4] = {f.width / 4, f.width * 3 / 4, f.width / 4, f.width * 3 / 4};
    const int y[4] = {f.height / 4, f.height / 4, f.height * 3 / 4, f.height * 3 / 4};
    for (int i = 0; i < 4; ++i) {
        ::testing::AssertionResult r = Near(f.At(x[i], y[i]), q[i]);
        if (!r) return r << " in quadrant " << i;
    }
    return ::testing::AssertionSuccess();
}

// The post-processed 2 x 2 texture: red and green inverted, blue 0.5.
const std::vector<uint32_t> POST_QUADS = {0x00ff80, 0xff0080, 0xffff80, 0x000080};

std::vector<std::string> Files(const fs::path &dir) {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Render : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no display: run under Xvfb";
        ASSERT_FALSE(dir.path().empty());
        ASSERT_TRUE(fs::exists(FENTRO_BINARY_DIR "/fentro-render")) << "build fentro-render first";
        const fs::path src = dir / "src";
        WriteFile(src / "demo.fentro", PROJECT);
        WriteFile(src / "alt.fentro", ALT_PROJECT);
        WriteFile(src / "music.wav", SilentWav(MUSIC_FRAMES));
        WriteFile(src / "quads.tga",
                  TgaImage32(2, 2, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff}));
        WriteFile(src / "green.tga", SolidTga(2, 2, 0xff00ff00));
        WriteFile(src / "ramp.glsl",
                  "#version 120\nvarying vec2 uvCoord;\nuniform float time;\n"
                  "void main() { gl_FragColor = vec4(time * 0.25, uvCoord.x, 0.0, 1.0); }\n");
        WriteFile(src / "invert.glsl",
                  "#version 120\nvarying vec2 uvCoord;\nuniform sampler2D prevPass;\n"
                  "uniform float amount;\nvoid main() {\n"
                  "  vec4 c = texture2D(prevPass, uvCoord);\n"
                  "  gl_FragColor = vec4(1.0 - c.r, 1.0 - c.g, amount, 1.0);\n}\n");
        WriteFile(src / "yellow.glsl",
                  "#version 120\nvoid main() { gl_FragColor = vec4(1.0, 1.0, 0.0, 1.0); }\n");
        ASSERT_EQ(PackImage(dir / "outline.dat", src), 0);
    }

    // fentro-render in the scratch folder, quiet unless the arguments say otherwise.
    ProgramRun Run(std::vector<std::string> args, const std::vector<std::string> &env = {},
                   double limit = 120) {
        args.insert(args.begin(), "--quiet");
        return RunProgram(FENTRO_BINARY_DIR "/fentro-render", args, dir.path(), env, limit);
    }

    static std::string Log(const ProgramRun &run) { return run.out + run.err; }

    // Folders `a` and `b` hold the same `count` files with the same bytes.
    void ExpectSameFrames(const std::string &a, const std::string &b, size_t count) {
        const std::vector<std::string> names = Files(dir / a);
        ASSERT_EQ(names.size(), count);
        ASSERT_EQ(Files(dir / b), names);
        for (const std::string &n : names)
            EXPECT_TRUE(ReadFile(dir / a / n) == ReadFile(dir / b / n)) << n;
    }

    static void ExpectSuccess(const ProgramRun &run) {
        ASSERT_TRUE(run.finished) << Log(run);
        EXPECT_EQ(run.signal, 0) << Log(run);
        EXPECT_EQ(run.status, 0) << Log(run);
    }

    // Exit status 1 with a message on stderr that contains `words`.
    static void ExpectRefused(const ProgramRun &run, const std::string &id) {
        ASSERT_TRUE(run.finished) << Log(run);
        EXPECT_EQ(run.signal, 0) << Log(run);
        EXPECT_EQ(run.status, 1) << Log(run);
        EXPECT_NE(run.err.find("[" + id + "]"), std::string::npos) << run.err;
    }

    // A mistake on the command line: status 2, the reason and the usage on stderr.
    static void ExpectUsage(const ProgramRun &run) {
        ASSERT_TRUE(run.finished) << Log(run);
        EXPECT_EQ(run.signal, 0) << Log(run);
        EXPECT_EQ(run.status, 2) << Log(run);
        EXPECT_NE(run.err.find("[render.bad_option]"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("usage: fentro-render"), std::string::npos) << run.err;
    }
};

TEST_F(Render, FramesShowTheTimelineAtTheirPositions) {
    // The default source is outline.dat in the working folder; four frames per second over
    // the whole music: frame n at position 11025 n.
    const ProgramRun run =
        Run({"--size", "320x180", "--fps", "4", "--out", (dir / "out").string()});
    ExpectSuccess(run);
    EXPECT_EQ(Log(run), "") << "--quiet prints nothing on success";
    std::vector<std::string> expected;
    for (int n = 0; n < 16; ++n)
        expected.push_back("frame_0000" + std::string(n < 10 ? "0" : "") + std::to_string(n) +
                           ".tga");
    ASSERT_EQ(Files(dir / "out"), expected);

    // Halfway through the fade, three quarters through it, at its end.
    const Frame half = ReadTga(dir / "out/frame_000002.tga");
    ASSERT_EQ(half.width, W);
    ASSERT_EQ(half.height, H);
    EXPECT_TRUE(ShowsQuads(half, Quads(0.5)));
    EXPECT_TRUE(ShowsQuads(ReadTga(dir / "out/frame_000003.tga"), Quads(0.75)));
    // The shader follows the music's time; its green runs from left to right.
    for (int n : {4, 6, 7}) {
        const Frame f = ReadTga(dir / ("out/frame_00000" + std::to_string(n) + ".tga"));
        ASSERT_EQ(f.width, W);
        EXPECT_TRUE(Near(f.At(W / 2, H / 2), RampAt(11025 * n))) << "frame " << n;
        EXPECT_TRUE(Near(f.At(0, 0), RampAt(11025 * n) & 0xff0000, 3)) << "frame " << n;
        EXPECT_TRUE(Near(f.At(W - 1, H - 1), (RampAt(11025 * n) & 0xff0000) | 0xff00, 3))
            << "frame " << n;
    }
    // The Random Blend shows green over the background at some weight.
    const Frame noise = ReadTga(dir / "out/frame_000009.tga");
    ASSERT_EQ(noise.width, W);
    const uint32_t p = noise.At(W / 2, H / 2);
    const double weight = ((p >> 8 & 0xff) - 0x20) / (double)(0xff - 0x20);
    EXPECT_TRUE(weight >= 0 && weight < 1) << weight;
    EXPECT_TRUE(Near(p, Mix(0x00ff00, BACKGROUND, weight))) << weight;
    // The post-processing event presents the composed picture through its shader.
    for (int n : {12, 15})
        EXPECT_TRUE(
            ShowsQuads(ReadTga(dir / ("out/frame_0000" + std::to_string(n) + ".tga")), POST_QUADS))
            << n;
}

TEST_F(Render, TwoRunsWriteIdenticalFiles) {
    const std::vector<std::string> args = {"--size", "320x180",     "--fps",
                                           "8",      "outline.dat", "--out"};
    std::vector<std::string> a = args, b = args;
    a.push_back("a");
    b.push_back("b");
    ExpectSuccess(Run(a));
    ExpectSuccess(Run(b));
    const std::vector<std::string> names = Files(dir / "a");
    ASSERT_EQ(names.size(), 32u);
    ASSERT_EQ(Files(dir / "b"), names);
    for (const std::string &n : names)
        EXPECT_EQ(ReadFile(dir / "a" / n), ReadFile(dir / "b" / n)) << n;
    // The Random Blend did vary from frame to frame (frames 16 to 23 are its second).
    std::set<std::string> noise;
    for (int n = 16; n < 24; ++n) noise.insert(ReadFile(dir / "a" / names[n]));
    EXPECT_GT(noise.size(), 1u);
}

TEST_F(Render, AtRendersExactlyTheGivenPositions) {
    ExpectSuccess(Run({"--size", "320x180", "--at", "66150,50000,80000,22050,0", "--out", "at"}));
    EXPECT_EQ(Files(dir / "at"),
              (std::vector<std::string>{"frame_000000.tga", "frame_022050.tga", "frame_050000.tga",
                                        "frame_066150.tga", "frame_080000.tga"}));
    for (uint32_t p : {50000u, 66150u, 80000u}) {
        const Frame f = ReadTga(dir / ("at/frame_0" + std::to_string(p) + ".tga"));
        ASSERT_EQ(f.width, W);
        EXPECT_TRUE(Near(f.At(W / 2, H / 2), RampAt(p))) << p;
    }
    EXPECT_TRUE(ShowsQuads(ReadTga(dir / "at/frame_022050.tga"), Quads(0.5)));

    // The same position reached on the fixed time step gives the same picture.
    ExpectSuccess(
        Run({"--size", "320x180", "--fps", "4", "--from", "1.5", "--to", "1.6", "--out", "step"}));
    ASSERT_EQ(Files(dir / "step"), std::vector<std::string>{"frame_000000.tga"});
    EXPECT_EQ(ReadFile(dir / "step/frame_000000.tga"), ReadFile(dir / "at/frame_066150.tga"));
}

TEST_F(Render, FromToAndFpsChooseAndNumberTheFrames) {
    // 10 frames per second from 1 s up to 1.5 s: positions 44100 + 4410 n for n = 0 to 4.
    ExpectSuccess(
        Run({"--size", "320x180", "--fps", "10", "--from", "1", "--to", "1.5", "--out", "range"}));
    const std::vector<std::string> names = Files(dir / "range");
    ASSERT_EQ(names.size(), 5u);
    for (int n = 0; n < 5; ++n) {
        EXPECT_EQ(names[n], "frame_00000" + std::to_string(n) + ".tga");
        const Frame f = ReadTga(dir / "range" / names[n]);
        ASSERT_EQ(f.width, W);
        EXPECT_TRUE(Near(f.At(W / 2, H / 2), RampAt(44100 + 4410 * n))) << "frame " << n;
    }
    // A range reaching past the music ends with its last whole step; 7 frames per second do
    // not divide the rate into whole steps: positions 44100 n / 7 from 3.5 s on.
    ExpectSuccess(
        Run({"--size", "320x180", "--fps", "7", "--from", "3.5", "--to", "60", "--out", "tail"}));
    EXPECT_EQ(Files(dir / "tail").size(), 4u);  // 154350 + 6300 n < 176400 for n = 0 to 3
}

TEST_F(Render, SourceMayBeAFolderAndNameAnotherProject) {
    ExpectSuccess(
        Run({"--size", "320x180", "--at", "22050,66150,154350", "--out", "image", "outline.dat"}));
    ExpectSuccess(Run({"--size", "320x180", "--at", "22050,66150,154350", "--out", "folder",
                       (dir / "src").string()}));
    const std::vector<std::string> names = Files(dir / "image");
    ASSERT_EQ(names.size(), 3u);
    ASSERT_EQ(Files(dir / "folder"), names);
    for (const std::string &n : names)
        EXPECT_EQ(ReadFile(dir / "image" / n), ReadFile(dir / "folder" / n)) << n;

    // Another project at another presented size.
    ExpectSuccess(
        Run({"--project", "alt.fentro", "--size", "160x90", "--at", "22050", "--out", "alt"}));
    const Frame f = ReadTga(dir / "alt/frame_022050.tga");
    ASSERT_EQ(f.width, 160);
    ASSERT_EQ(f.height, 90);
    EXPECT_TRUE(Near(f.At(80, 45), 0xffff00));
}

TEST_F(Render, UnusableSourcesAreRefused) {
    WriteFile(dir / "notes.txt", "not a resource image\n");
    WriteFile(dir / "bare/music.wav", SilentWav(100));
    ASSERT_EQ(PackImage(dir / "bare.dat", dir / "bare"), 0);
    ExpectRefused(Run({"--out", "o", "missing.dat"}), "render.no_source");
    ExpectRefused(Run({"--out", "o", "notes.txt"}), "render.no_source");
    ExpectRefused(Run({"--out", "o", "bare.dat"}), "render.no_project");
    ExpectRefused(Run({"--out", "o", (dir / "bare").string()}), "render.no_project");
    ExpectRefused(Run({"--out", "o", "--project", "other.fentro"}), "render.no_project");
    // A named pipe is refused before it is opened, where reading would wait for a writer.
    ASSERT_EQ(mkfifo((dir / "pipe.dat").c_str(), 0600), 0);
    ExpectRefused(Run({"--out", "o", "pipe.dat"}, {}, 20), "render.no_source");
    EXPECT_FALSE(fs::exists(dir / "o"));

    // A project whose music is missing has no time line to render.
    WriteFile(dir / "mute/demo.fentro",
              "#renderwidth 64\n#renderheight 64\n#demotype 1\n#music \"gone.wav\"\n");
    ExpectRefused(Run({"--size", "64x64", "--out", "o", (dir / "mute").string()}),
                  "render.no_music");
}

TEST_F(Render, BadOptionsAreRefused) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--size", "320by180"},
        {"--size", "8x8"},
        {"--size", "320x180x"},
        {"--fps", "0"},
        {"--fps", "ten"},
        {"--from", "-1"},
        {"--to", "nan"},
        // Far past any music: the positions would overflow.
        {"--from", "1e15"},
        {"--to", "1e300"},
        {"--from", "86401"},
        {"--from", "2", "--to", "1"},
        {"--from", "1", "--to", "1"},
        {"--at", "1,,2"},
        {"--at", "5,x"},
        {"--at", "-5"},
        {"--at", "99999999999"},
        {"--jobs", "0"},
        {"--jobs", "17"},
        {"--jobs", "two"},
        {"outline.dat", "outline.dat"},
        {"--project"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = {"--out", "o"};
        args.insert(args.end(), c.begin(), c.end());
        SCOPED_TRACE(c.back());
        ExpectUsage(Run(args, {}, 30));
    }
    // Nothing was written for any of them.
    EXPECT_FALSE(fs::exists(dir / "o"));

    // Positions and ranges that lie outside the music.
    ExpectRefused(Run({"--size", "64x64", "--at", "100,176400", "--out", "o"}),
                  "render.bad_option");
    ExpectRefused(Run({"--size", "64x64", "--from", "4", "--out", "o"}), "render.no_frames");

    const ProgramRun help = Run({"--help"});
    ExpectSuccess(help);
    EXPECT_EQ(help.out.rfind("usage: fentro-render", 0), 0u) << help.out;
}

TEST_F(Render, UnusableOutputsAreRefused) {
    WriteFile(dir / "taken", "a file\n");
    ExpectRefused(Run({}), "render.no_output");
    ExpectRefused(Run({"--out", "taken"}), "render.no_output");
    ExpectRefused(Run({"--out", "taken/frames"}), "render.no_output");

    // A video without ffmpeg on the PATH.
    fs::create_directories(dir / "nothing");
    ExpectRefused(Run({"--out", "x.mp4"}, {"PATH=" + (dir / "nothing").string()}),
                  "render.no_ffmpeg");
    EXPECT_FALSE(fs::exists(dir / "x.mp4"));
}

TEST_F(Render, AFailedWriteLeavesNoPartialFrameAndKeepsTheOldOne) {
    // Files may not grow past 4 KB (a 64 x 64 frame is 16 KB): the first write fails.
    WriteFile(dir / "o/frame_000000.tga", "the frame of an earlier run");
    const ProgramRun run =
        RunProgram("/bin/sh",
                   {"-c", "ulimit -f 8 && exec \"$0\" \"$@\"", FENTRO_BINARY_DIR "/fentro-render",
                    "--quiet", "--size", "64x64", "--fps", "4", "--to", "1", "--out", "o"},
                   dir.path(), {}, 60);
    ExpectRefused(run, "render.write_failed");
    EXPECT_EQ(Files(dir / "o"), std::vector<std::string>{"frame_000000.tga"});
    EXPECT_EQ(ReadFile(dir / "o/frame_000000.tga"), "the frame of an earlier run");
}

// A 64 x 64 frame file is 16402 bytes. Under a limit of 16896 bytes it fits, though a write
// of whole 4 KB blocks would not: the frames are written, with the bytes of a run without the
// limit.
TEST_F(Render, FramesThatFitTheSizeLimitAreWritten) {
    const std::vector<std::string> args = {"--size", "64x64", "--fps", "4", "--to", "1", "--out"};
    std::vector<std::string> limited = {"-c", "ulimit -f 33 && exec \"$0\" \"$@\"",
                                        FENTRO_BINARY_DIR "/fentro-render", "--quiet"};
    limited.insert(limited.end(), args.begin(), args.end());
    limited.push_back("limited");
    ExpectSuccess(RunProgram("/bin/sh", limited, dir.path(), {}, 60));
    std::vector<std::string> free = args;
    free.push_back("free");
    ExpectSuccess(Run(free));
    ExpectSameFrames("free", "limited", 4);
}

TEST_F(Render, JobsSplitTheRangeIntoProcessesWithTheSameFrames) {
    ExpectSuccess(Run({"--size", "320x180", "--fps", "4", "--out", "one"}));
    ExpectSuccess(Run({"--size", "320x180", "--fps", "4", "--jobs", "3", "--out", "three"}));
    // More jobs than frames: the surplus workers render nothing.
    ExpectSuccess(Run({"--size", "320x180", "--at", "22050,66150", "--jobs", "4", "--out", "few"}));
    const std::vector<std::string> names = Files(dir / "one");
    ASSERT_EQ(names.size(), 16u);
    ASSERT_EQ(Files(dir / "three"), names);
    // Frames 8 to 11 show the Random Blend, whose draws depend on where a process started.
    for (int n = 0; n < 16; ++n) {
        if (n >= 8 && n <= 11) continue;
        EXPECT_TRUE(ReadFile(dir / "one" / names[n]) == ReadFile(dir / "three" / names[n])) << n;
    }
    EXPECT_EQ(Files(dir / "few"),
              (std::vector<std::string>{"frame_022050.tga", "frame_066150.tga"}));
    EXPECT_EQ(ReadFile(dir / "few/frame_066150.tga"), ReadFile(dir / "one/frame_000006.tga"));
}

// The built-in production, as the build packs it: frames where layer passes are left out (no
// event, Blend 0, a caption without a font, the post-processing layer) have the same bytes as
// the reference path's, which issues every pass and reads each frame back before the next;
// also at a width whose rows the read-back's copy does not take four pixels at a time.
TEST_F(Render, ProductionFramesMatchTheReferencePath) {
    const fs::path production = FENTRO_BINARY_DIR "/outline.dat";
    if (!fs::exists(production)) GTEST_SKIP() << "the production is not built";
    for (const std::string size : {"1920x1080", "318x179"}) {
        SCOPED_TRACE(size);
        const std::vector<std::string> args = {"--size",
                                               size,
                                               "--at",
                                               "0,1100000,4064256,4454100,4718700,6747300",
                                               production.string(),
                                               "--out"};
        std::vector<std::string> a = args, b = args;
        a.push_back("reference" + size);
        b.push_back("normal" + size);
        ExpectSuccess(Run(a, {"FENTRO_RENDER_REFERENCE=1"}));
        ExpectSuccess(Run(b));
        ExpectSameFrames(a.back(), b.back(), 6);
    }
}

// A stand-in for ffmpeg that records its arguments and a copy of the music it is given, and
// writes what it reads (or, joining parts, their bytes in the listed order) to the output
// named last; "fail" makes one that quits at once with status 3 without reading.
void FakeFfmpeg(const fs::path &bin, bool fail) {
    WriteFile(bin / "ffmpeg",
              fail ? "#!/bin/sh\nexit 3\n"
                   : "#!/bin/sh\n"
                     "printf '%s\\n' \"$@\" > ffmpeg.args\n"
                     "prev=\nlist=\n"
                     "for a in \"$@\"; do\n"
                     "  if [ \"$prev\" = -i ] && [ \"$a\" != - ]; then\n"
                     "    case \"$a\" in *.txt) list=$a ;; *) cp \"$a\" ffmpeg.music ;; esac\n"
                     "  fi\n"
                     "  prev=$a\n"
                     "done\n"
                     "if [ -n \"$list\" ]; then\n"
                     "  sed -n \"s/^file '\\(.*\\)'$/\\1/p\" \"$list\" | while read -r f; do\n"
                     "    cat \"$(dirname \"$list\")/$f\"; done > \"$prev\"\n"
                     "else cat > \"$prev\"; fi\n");
    fs::permissions(bin / "ffmpeg", fs::perms::owner_all);
}

TEST_F(Render, VideoFramesArePipedToFfmpegWithTheMusic) {
    FakeFfmpeg(dir / "bin", false);
    // The music's temporary file goes where TMPDIR says, and is gone after each run.
    const fs::path tmp = dir / "tmp";
    fs::create_directories(tmp);
    const std::vector<std::string> env = {"PATH=" + (dir / "bin").string() + ":/usr/bin:/bin",
                                          "TMPDIR=" + tmp.string()};
    const std::string out = (dir / "it's a demo.mp4").string();
    ExpectSuccess(
        Run({"--size", "320x180", "--fps", "10", "--from", "1", "--to", "1.5", "--out", out}, env));
    ExpectSuccess(
        Run({"--size", "320x180", "--fps", "10", "--from", "1", "--to", "1.5", "--out", "tga"}));

    std::vector<std::string> args;
    std::istringstream lines(ReadFile(dir / "ffmpeg.args"));
    for (std::string line; std::getline(lines, line);) args.push_back(line);
    ASSERT_FALSE(args.empty());
    auto after = [&](const std::string &option) {
        for (size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == option) return args[i + 1];
        return std::string();
    };
    EXPECT_EQ(after("-s"), "320x180");
    EXPECT_EQ(after("-framerate"), "10");
    EXPECT_EQ(after("-pix_fmt"), "bgra");
    EXPECT_EQ(after("-ss"), "1.000000");
    // The music went out whole, into a temporary file that is gone again.
    EXPECT_EQ(ReadFile(dir / "ffmpeg.music"), Text(SilentWav(MUSIC_FRAMES)));
    const auto music = std::find(args.begin(), args.end(), "-ss") + 3;
    ASSERT_LT(music, args.end());
    EXPECT_EQ(fs::path(*music).parent_path(), tmp);
    EXPECT_TRUE(Files(tmp).empty());

    // ffmpeg wrote a temporary file (the name arrives whole, quote and blanks included) that
    // became the video: the pixels of the TGA frames, BGRA in the same order.
    EXPECT_EQ(args.back().rfind(out, 0), 0u) << args.back();
    const std::string frames = ReadFile(out);
    ASSERT_EQ(frames.size(), 5u * W * H * 4);
    const std::vector<std::string> names = Files(dir / "tga");
    ASSERT_EQ(names.size(), 5u);
    for (size_t n = 0; n < names.size(); ++n)
        EXPECT_TRUE(frames.compare(n * W * H * 4, W * H * 4, ReadFile(dir / "tga" / names[n]), 18,
                                   W * H * 4) == 0)
            << n;

    // With --jobs the parts are joined, with the music, into the same video.
    ExpectSuccess(Run({"--size", "320x180", "--fps", "10", "--from", "1", "--to", "1.5", "--jobs",
                       "2", "--out", "joined.mp4"},
                      env));
    EXPECT_TRUE(ReadFile(dir / "joined.mp4") == frames);
    EXPECT_EQ(ReadFile(dir / "ffmpeg.music"), Text(SilentWav(MUSIC_FRAMES)));
    args.clear();
    std::istringstream joined(ReadFile(dir / "ffmpeg.args"));
    for (std::string line; std::getline(joined, line);) args.push_back(line);
    EXPECT_EQ(after("-c:v"), "copy");  // joined without encoding again
    EXPECT_TRUE(Files(tmp).empty());
    for (const std::string &n : Files(dir.path()))
        EXPECT_TRUE(n.find(".tmp") == std::string::npos && n.find(".parts") == std::string::npos)
            << n;
}

TEST_F(Render, FfmpegThatFailsOrAnOddSizeIsReported) {
    FakeFfmpeg(dir / "bin", true);
    const std::string path = "PATH=" + (dir / "bin").string() + ":/usr/bin:/bin";
    // The video of an earlier run stays as it was; nothing temporary is left.
    WriteFile(dir / "x.mp4", "an earlier video");
    ExpectRefused(Run({"--size", "320x180", "--fps", "10", "--to", "1", "--out", "x.mp4"}, {path}),
                  "render.ffmpeg_failed");
    ExpectRefused(
        Run({"--size", "320x180", "--fps", "10", "--to", "1", "--jobs", "2", "--out", "x.mp4"},
            {path}),
        "render.ffmpeg_failed");
    EXPECT_EQ(ReadFile(dir / "x.mp4"), "an earlier video");
    ExpectRefused(Run({"--size", "321x180", "--out", "x.webm"}, {path}), "render.odd_size");
    for (const std::string &n : Files(dir.path()))
        EXPECT_TRUE(n.find(".tmp") == std::string::npos && n.find(".parts") == std::string::npos)
            << n;
}

}  // namespace

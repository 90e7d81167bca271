// The player run whole, headless, as a subprocess in a scratch folder: a small production
// packed into outline.dat with coreimage ends with its music, Escape ends a long one, images
// and music that cannot be played end it with status 1, and its command line: refusals, the
// timing file, a start time and silent play. The player draws under the current display, with
// SDL's dummy audio driver (callbacks at real-time pace, nothing heard).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/media.h"
#include "support/scratch.h"
#include "support/subprocess.h"

namespace {

using namespace test_support;

// Long enough for start-up and a second of music on a loaded machine.
constexpr double TIME_LIMIT_SECONDS = 120;

ProgramRun RunPlayer(const fs::path &folder, const std::vector<std::string> &env = {},
                     const std::vector<std::string> &args = {}) {
    return RunProgram(FENTRO_BINARY_DIR "/invite", args, folder, env, TIME_LIMIT_SECONDS);
}

// 8-bit mono music at a constant level, so that what the device plays is not silence.
std::string LoudWav(uint32_t frames) { return Text(Wav(1, 8, 44100, bytes_t(frames, 0xC0))); }

struct TimingLine {
    double time;
    long long position;
};

// The timing file's lines; an empty list when any line is not "%.6f %d".
std::vector<TimingLine> ReadTiming(const fs::path &file) {
    std::vector<TimingLine> lines;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        TimingLine t{};
        int used = 0;
        const size_t dot = line.find('.');
        if (sscanf(line.c_str(), "%lf %lld%n", &t.time, &t.position, &used) != 2 ||
            used != (int)line.size() || dot == std::string::npos || line.find(' ') != dot + 7)
            return {};
        lines.push_back(t);
    }
    return lines;
}

class Player : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no display: run under Xvfb";
        ASSERT_FALSE(dir.path().empty());
        ASSERT_TRUE(fs::exists(FENTRO_BINARY_DIR "/invite")) << "build the player first";
    }

    // Packs a production with `seconds` of music, a texture layer and a shader layer into
    // outline.dat in the scratch folder.
    void Pack(double seconds, const std::string &music = "",
              const std::string &size = "1920x1080") {
        const std::string width = size.substr(0, size.find('x')),
                          height = size.substr(size.find('x') + 1);
        const fs::path src = dir / "src";
        WriteFile(src / "demo.fentro",
                  "#title \"player test\"\n"
                  "#renderwidth " +
                      width + "\n#renderheight " + height +
                      "\n#demotype 1\n"
                      "#music \"music.wav\"\n"
                      "#resources\n"
                      "#texture 0 \"stripes\" \"stripes.tga\"\n"
                      "#shader 0 \"glow\" \"glow.glsl\" :1 \"amount\"\n"
                      "#marker 22050,0\n"
                      "#layer \"picture\"\n"
                      "#event 0,10000000,1,0,0:\n"
                      "#layer \"glow\"\n"
                      "#event 0,10000000,3,1,5:0,0,0,0,0.5\n"
                      "#eventvalue 0,1,0,0.5\n"
                      "#eventvalue 10000000,1,0,0.5\n");
        WriteFile(src / "music.wav",
                  music.empty() ? Text(SilentWav((uint32_t)(seconds * 44100))) : music);
        WriteFile(src / "stripes.tga",
                  TgaImage32(2, 2, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff}));
        WriteFile(
            src / "glow.glsl",
            "#version 120\nvarying vec2 uvCoord;\nuniform float time;\nuniform float amount;\n"
            "void main() { gl_FragColor = vec4(uvCoord, fract(time) * amount, 1.0); }\n");
        fs::remove(dir / "outline.dat");
        ASSERT_EQ(PackImage(dir / "outline.dat", src), 0);
    }
};

TEST_F(Player, EndsWhenItsMusicEnds) {
    Pack(1.0);
    const ProgramRun run = RunPlayer(dir.path());
    ASSERT_TRUE(run.finished) << "still running after " << TIME_LIMIT_SECONDS << " s\n"
                              << run.out << run.err;
    EXPECT_EQ(run.signal, 0) << run.out << run.err;
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    // It played the production to the end of its second of music.
    EXPECT_NE(run.out.find("[demo.init_sound]"), std::string::npos) << run.out << run.err;
    EXPECT_NE(run.out.find("[project.layer]"), std::string::npos) << run.out << run.err;
    EXPECT_NE(run.out.find("[resources.shader_loading]"), std::string::npos) << run.out << run.err;
    EXPECT_NE(run.out.find("[corefile.image_loading]"), std::string::npos) << run.out << run.err;
    EXPECT_GE(run.seconds, 0.9);
}

TEST_F(Player, EndsWhenEscapeIsPressed) {
    Pack(60.0);
    const ProgramRun run = RunPlayer(dir.path(), {"MOX_ESCAPE_AFTER_FRAMES=5"});
    ASSERT_TRUE(run.finished) << "still running after " << TIME_LIMIT_SECONDS << " s\n"
                              << run.out << run.err;
    EXPECT_EQ(run.signal, 0) << run.out << run.err;
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("[project.layer]"), std::string::npos) << run.out << run.err;
    // Long before its minute of music is over.
    EXPECT_LT(run.seconds, 50.0);
}

TEST_F(Player, ImagesAndMusicThatCannotBePlayedEndItWithStatusOne) {
    const ProgramRun missing = RunPlayer(dir.path());
    EXPECT_EQ(missing.status, 1) << missing.out << missing.err;
    EXPECT_NE(missing.out.find("[player.bad_image]"), std::string::npos)
        << missing.out << missing.err;
    // Refused before any window or sound is brought up.
    EXPECT_EQ(missing.out.find("[demo.init_sound]"), std::string::npos) << missing.out;

    Pack(1.0);
    const std::string image = ReadFile(dir / "outline.dat");
    const std::vector<std::pair<std::string, std::string>> broken = {
        {"empty.dat", ""},
        {"truncated.dat", image.substr(0, image.size() / 2)},
        {"header.dat", image.substr(0, 6)},
        {"text.dat", "this is not a resource image at all\n"},
    };
    for (const auto &[name, bytes] : broken) {
        WriteFile(dir / name, bytes);
        const ProgramRun run = RunPlayer(dir.path(), {}, {name});
        EXPECT_EQ(run.status, 1) << name << "\n" << run.out << run.err;
        EXPECT_NE(run.out.find("[player.bad_image]"), std::string::npos) << name << "\n" << run.out;
    }
    fs::create_directory(dir / "folder.dat");
    EXPECT_EQ(RunPlayer(dir.path(), {}, {"folder.dat"}).status, 1);

    // A music file that is not a WAV file: nothing can be played in time.
    Pack(1.0, "RIFF but not a wave file at all");
    const ProgramRun music = RunPlayer(dir.path());
    EXPECT_EQ(music.status, 1) << music.out << music.err;
    EXPECT_NE(music.out.find("[player.bad_music]"), std::string::npos) << music.out;
}

TEST_F(Player, CommandLineRefusals) {
    Pack(1.0);
    const std::vector<std::vector<std::string>> refused = {
        {"--bogus"},
        {"-x"},
        {"--size"},
        {"--size", "1920"},
        {"--size", "x1080"},
        {"--size", "15x100"},
        {"--size", "100x8193"},
        {"--size", "100x100x3"},
        {"--size", "1e3x100"},
        {"--display", "-1"},
        {"--display", "64"},
        {"--display", "zero"},
        {"--from", "-1"},
        {"--from", "nan"},
        {"--from", "inf"},
        {"--from", "1e15"},
        {"--from", "2s"},
        {"--from"},
        {"--timing"},
        {"--timing", ""},
        {"--timing", "no/such/folder/timing.txt"},
        {"outline.dat", "other.dat"},
        // Well formed, but the music lasts one second.
        {"--window", "--size", "64x36", "--from", "1.5"},
    };
    for (const auto &args : refused) {
        std::string shown;
        for (const std::string &a : args) shown += a + " ";
        const ProgramRun run = RunPlayer(dir.path(), {}, args);
        EXPECT_EQ(run.status, 2) << shown << "\n" << run.out << run.err;
        EXPECT_NE(run.out.find("[player.bad_option]"), std::string::npos) << shown << "\n"
                                                                          << run.err;
    }
    const ProgramRun help = RunPlayer(dir.path(), {}, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: invite"), std::string::npos) << help.out;
    EXPECT_EQ(help.out.find("[demo.init_sound]"), std::string::npos) << help.out;
}

TEST_F(Player, TimingFileFollowsTheHeardMusic) {
    // Drawn small, so that frames come often even on a loaded machine.
    Pack(1.5, "", "64x36");
    const ProgramRun run = RunPlayer(
        dir.path(), {},
        {"--window", "--size", "64x36", "--quiet", "--display", "0", "--timing", "timing.txt"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    // The loader's progress lines are gone.
    EXPECT_EQ(run.out.find("[corefile.image_loading]"), std::string::npos) << run.out;
    const std::vector<TimingLine> lines = ReadTiming(dir / "timing.txt");
    ASSERT_GE(lines.size(), 5u);
    size_t repeated = 0;
    for (size_t i = 1; i < lines.size(); i++) {
        ASSERT_GT(lines[i].time, lines[i - 1].time) << i;
        ASSERT_GE(lines[i].position, lines[i - 1].position) << i;
        if (lines[i].position == lines[i - 1].position && lines[i].position > 0) repeated++;
    }
    // Played to its last frame, a frame at a time rather than a mixed block at a time (the
    // smoothness itself is measured by the clock's own tests and benchmark).
    EXPECT_EQ(lines.back().position, 66150 - 1);
    EXPECT_LE(repeated, lines.size() / 2);
    EXPECT_GE(lines.back().time - lines.front().time, 1.2);

    // From a start time the first pictures show that time, and the run is that much shorter.
    const ProgramRun from = RunPlayer(
        dir.path(), {}, {"--window", "--size", "64x36", "--from", "1", "--timing", "from.txt"});
    ASSERT_EQ(from.status, 0) << from.out << from.err;
    const std::vector<TimingLine> later = ReadTiming(dir / "from.txt");
    ASSERT_FALSE(later.empty());
    EXPECT_GE(later.front().position, 44100);
    EXPECT_LT(later.front().position, 44100 + 22050);
    EXPECT_EQ(later.back().position, 66150 - 1);
    EXPECT_LT(later.back().time - later.front().time, 1.4);
}

TEST_F(Player, MutePlaysInTimeWithoutSound) {
    Pack(0.5, LoudWav(22050), "64x36");
    for (bool mute : {false, true}) {
        const fs::path output = dir / (mute ? "muted.raw" : "loud.raw");
        std::vector<std::string> args = {"--window", "--size", "64x36", "--timing", "timing.txt"};
        if (mute) args.push_back("--mute");
        const ProgramRun run = RunPlayer(
            dir.path(), {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + output.string()}, args);
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        const std::vector<TimingLine> lines = ReadTiming(dir / "timing.txt");
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().position, 22050 - 1);
        const std::string heard = ReadFile(output);
        const bool silent = heard.find_first_not_of('\0') == std::string::npos;
        EXPECT_EQ(silent, mute) << heard.size();
    }
}

}  // namespace

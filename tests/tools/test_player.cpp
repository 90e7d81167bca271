// The player run whole, headless, as a subprocess in a scratch folder: a small production
// packed into outline.dat with coreimage ends with its music, Escape ends a long one, and a
// folder without the image ends at once with a message. The player draws under the current
// display, with SDL's dummy audio driver (callbacks at real-time pace, nothing heard).
#include <gtest/gtest.h>

#include <string>

#include "demosystem/test_playback_media.h"
#include "tools/production_fixture.h"

namespace {

using namespace playback_media;
using namespace production_fixture;

// Long enough for start-up and a second of music on a loaded machine.
constexpr double TIME_LIMIT_SECONDS = 120;

ProgramRun RunPlayer(const fs::path &folder, const std::vector<std::string> &env = {}) {
    return RunProgram(FENTRO_BINARY_DIR "/invite", {}, folder, env, TIME_LIMIT_SECONDS);
}

class Player : public ::testing::Test {
protected:
    ScratchDir dir;

    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no display: run under Xvfb";
        ASSERT_FALSE(dir.path.empty());
        ASSERT_TRUE(fs::exists(FENTRO_BINARY_DIR "/invite")) << "build the player first";
    }

    // Packs a production with `seconds` of music, a texture layer and a shader layer into
    // outline.dat in the scratch folder.
    void Pack(double seconds) {
        const fs::path src = dir / "src";
        WriteFile(src / "demo.fentro",
                  "#title \"player test\"\n"
                  "#renderwidth 1920\n#renderheight 1080\n#demotype 1\n"
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
        WriteFile(src / "music.wav", SilentWav((uint32_t)(seconds * 44100)));
        WriteFile(src / "stripes.tga", Tga(2, 2, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff}));
        WriteFile(src / "glow.glsl",
                  "#version 120\nvarying vec2 uvCoord;\nuniform float time;\nuniform float amount;\n"
                  "void main() { gl_FragColor = vec4(uvCoord, fract(time) * amount, 1.0); }\n");
        ASSERT_EQ(Coreimage(dir / "outline.dat", src), 0);
    }
};

TEST_F(Player, EndsWhenItsMusicEnds) {
    Pack(1.0);
    const ProgramRun run = RunPlayer(dir.path);
    ASSERT_TRUE(run.finished) << "still running after " << TIME_LIMIT_SECONDS << " s\n" << run.out << run.err;
    EXPECT_EQ(run.signal, 0) << run.out << run.err;
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    // It played the production to the end of its second of music.
    EXPECT_NE(run.out.find("- Init Sound"), std::string::npos) << run.out << run.err;
    EXPECT_NE(run.out.find("Layer: glow"), std::string::npos) << run.out << run.err;
    EXPECT_NE(run.out.find("load shadefile glow.glsl"), std::string::npos) << run.out << run.err;
    EXPECT_GE(run.seconds, 0.9);
}

TEST_F(Player, EndsWhenEscapeIsPressed) {
    Pack(60.0);
    const ProgramRun run = RunPlayer(dir.path, {"MOX_ESCAPE_AFTER_FRAMES=5"});
    ASSERT_TRUE(run.finished) << "still running after " << TIME_LIMIT_SECONDS << " s\n" << run.out << run.err;
    EXPECT_EQ(run.signal, 0) << run.out << run.err;
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Layer: picture"), std::string::npos) << run.out << run.err;
    // Long before its minute of music is over.
    EXPECT_LT(run.seconds, 50.0);
}

TEST_F(Player, EndsAtOnceWithoutItsImage) {
    const ProgramRun run = RunPlayer(dir.path);
    ASSERT_TRUE(run.finished) << "still running after " << TIME_LIMIT_SECONDS << " s\n" << run.out << run.err;
    EXPECT_EQ(run.signal, 0) << run.out << run.err;
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("outline.dat is missing"), std::string::npos) << run.out << run.err;
    EXPECT_NE(run.out.find("- Init Sound"), std::string::npos) << run.out << run.err;
}

}  // namespace

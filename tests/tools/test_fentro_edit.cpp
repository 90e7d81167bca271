// The editor host run whole, headless, as a subprocess: it edits a production in a folder given
// on the command line, outlives its music (which the editor may pause), ends on Escape (the
// driver's test hook presses it after a number of frames), and refuses a folder it cannot
// mount.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/media.h"
#include "support/scratch.h"
#include "support/subprocess.h"

namespace {

using namespace test_support;
using test_support::ProgramRun;

constexpr double TIME_LIMIT_SECONDS = 120;

// Runs fentro-edit in `cwd`; the editor's console lines go to either stream, so the test reads
// them as one text.
ProgramRun RunEditor(const fs::path &cwd, const std::vector<std::string> &args,
                     const std::vector<std::string> &env = {}) {
    ProgramRun run = test_support::RunProgram(FENTRO_BINARY_DIR "/fentro-edit", args, cwd, env,
                                              TIME_LIMIT_SECONDS);
    run.out += run.err;
    return run;
}

class FentroEdit : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no display: run under Xvfb";
        ASSERT_FALSE(dir.path().empty());
        ASSERT_TRUE(fs::exists(FENTRO_BINARY_DIR "/fentro-edit")) << "build fentro-edit first";
    }
};

TEST_F(FentroEdit, EditsAFolderPastItsMusicUntilEscape) {
    const fs::path prod = dir / "prod";
    WriteFile(prod / "demo.fentro",
              "#title \"edit test\"\n#renderwidth 320\n#renderheight 180\n#demotype 1\n"
              "#music \"music.wav\"\n#resources\n#texture 0 \"dots\" \"dots.tga\"\n"
              "#marker 11025,1\n#layer \"picture\"\n#event 0,100000,1,0,0:\n");
    WriteFile(prod / "music.wav", SilentWav(4410));  // a tenth of a second
    WriteFile(prod / "dots.tga",
              TgaImage32(2, 2, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff}));
    // At the 15 ms frame pace, 30 frames outlast the music several times.
    const ProgramRun run = RunEditor(dir.path(), {"prod"}, {"MOX_ESCAPE_AFTER_FRAMES=30"});
    ASSERT_TRUE(run.finished) << "still running after " << TIME_LIMIT_SECONDS << " s\n" << run.out;
    EXPECT_EQ(run.signal, 0) << run.out;
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("[project.layer]"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[edit.no_fonts]"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[edit.closed]"), std::string::npos) << run.out;
    EXPECT_GE(run.seconds, 0.44);
    // Nothing was saved: the project is as it was.
    EXPECT_FALSE(fs::exists(prod / "backup.fentro"));
}

TEST_F(FentroEdit, RefusesAFolderThatCannotBeMounted) {
    // Errors still show with --quiet.
    const ProgramRun run = RunEditor(dir.path(), {"--quiet", "missing"});
    ASSERT_TRUE(run.finished) << run.out;
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("[edit.mount_failed]"), std::string::npos) << run.out;
}

TEST_F(FentroEdit, HelpExplainsItAndOtherOptionsAreRefused) {
    const ProgramRun help = RunEditor(dir.path(), {"--help"});
    ASSERT_TRUE(help.finished) << help.out;
    EXPECT_EQ(help.status, 0) << help.out;
    EXPECT_NE(help.out.find("usage: fentro-edit [DIR]"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("backup.fentro"), std::string::npos) << help.out;

    const ProgramRun bad = RunEditor(dir.path(), {"--fast"});
    ASSERT_TRUE(bad.finished) << bad.out;
    EXPECT_EQ(bad.status, 2) << bad.out;
    EXPECT_NE(bad.out.find("[edit.bad_option]"), std::string::npos) << bad.out;
    const ProgramRun two = RunEditor(dir.path(), {"a", "b"});
    EXPECT_EQ(two.status, 2) << two.out;
}

}  // namespace

// The editor host run whole, headless, as a subprocess: it edits a production in a folder given
// on the command line, outlives its music (which the editor may pause), ends on Escape (the
// driver's test hook presses it after a number of frames), and refuses a folder it cannot
// mount.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "demosystem/test_playback_media.h"

namespace {

using namespace playback_media;
using Clock = std::chrono::steady_clock;

constexpr double TIME_LIMIT_SECONDS = 120;

struct EditRun {
    bool finished = false;  // ended by itself within the time limit
    int status = -1;
    int signal = 0;
    double seconds = 0;
    std::string out;
};

// Runs fentro-edit in `cwd` with `args` and extra environment entries; kills it (by its own
// id) when it outlives the time limit.
EditRun RunEditor(const fs::path &cwd, const std::vector<std::string> &args,
                  const std::vector<std::string> &env = {}) {
    EditRun run;
    const fs::path log = cwd / "edit.log";
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || chdir(cwd.c_str()) != 0) _exit(126);
        dup2(fd, 1);
        dup2(fd, 2);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        for (const std::string &e : env) putenv(const_cast<char *>(e.c_str()));
        std::vector<char *> argv{const_cast<char *>("fentro-edit")};
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(FENTRO_BINARY_DIR "/fentro-edit", argv.data());
        _exit(127);
    }
    if (pid < 0) return run;
    int raw = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &raw, WNOHANG);
        run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (done == pid) {
            run.finished = true;
            break;
        }
        if (run.seconds > TIME_LIMIT_SECONDS) {
            kill(pid, SIGKILL);
            waitpid(pid, &raw, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) run.signal = WTERMSIG(raw);
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    run.out = text.str();
    return run;
}

class FentroEdit : public ::testing::Test {
protected:
    ScratchDir dir;

    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no display: run under Xvfb";
        ASSERT_FALSE(dir.path.empty());
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
    WriteFile(prod / "dots.tga", Tga(2, 2, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff}));
    // At the 15 ms frame pace, 30 frames outlast the music several times.
    const EditRun run = RunEditor(dir.path, {"prod"}, {"MOX_ESCAPE_AFTER_FRAMES=30"});
    ASSERT_TRUE(run.finished) << "still running after " << TIME_LIMIT_SECONDS << " s\n" << run.out;
    EXPECT_EQ(run.signal, 0) << run.out;
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Layer: picture"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("No editor fonts"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("- Editor closed"), std::string::npos) << run.out;
    EXPECT_GE(run.seconds, 0.44);
    // Nothing was saved: the project is as it was.
    EXPECT_FALSE(fs::exists(prod / "backup.fentro"));
}

TEST_F(FentroEdit, RefusesAFolderThatCannotBeMounted) {
    const EditRun run = RunEditor(dir.path, {"missing"});
    ASSERT_TRUE(run.finished) << run.out;
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("missing could not be mounted"), std::string::npos) << run.out;
}

TEST_F(FentroEdit, HelpExplainsItAndOtherOptionsAreRefused) {
    const EditRun help = RunEditor(dir.path, {"--help"});
    ASSERT_TRUE(help.finished) << help.out;
    EXPECT_EQ(help.status, 0) << help.out;
    EXPECT_NE(help.out.find("usage: fentro-edit [DIR]"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("backup.fentro"), std::string::npos) << help.out;

    const EditRun bad = RunEditor(dir.path, {"--fast"});
    ASSERT_TRUE(bad.finished) << bad.out;
    EXPECT_EQ(bad.status, 2) << bad.out;
    const EditRun two = RunEditor(dir.path, {"a", "b"});
    EXPECT_EQ(two.status, 2) << two.out;
}

}  // namespace

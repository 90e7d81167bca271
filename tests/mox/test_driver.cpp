// The real process entry: the probe program (tests/mox/driver_probe.cpp) runs as a
// subprocess on the current display, through the event thread and the program thread.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/subprocess.h"

namespace {

const std::string probe = std::string(FENTRO_BINARY_DIR) + "/mox_probe";

struct ProbeRun {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    std::string out;  // standard output and standard error
};

// Starts the probe with `args` and extra environment; `until` (when given) is awaited in its
// output, then `sig` is sent. Gives up after `seconds`.
ProbeRun run_probe(const std::vector<std::string> &args, const std::vector<std::string> &env = {},
                   const char *until = nullptr, int sig = 0, int seconds = 60) {
    test_support::RunOptions o;
    o.env = env;
    o.limit = seconds;
    if (until) o.until = until;
    o.signal = sig;
    const test_support::ProgramRun run = test_support::RunProgram(probe, args, o);
    ProbeRun r;
    r.out = run.all();
    if (!run.finished) r.out += "\n(killed: timed out)";
    if (run.finished && run.signal == 0) r.status = run.status;
    return r;
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no display";
    }
};

TEST_F(DriverTest, FullScreenRunPresentsFramesAndExitsCleanly) {
    ProbeRun r = run_probe({"1920", "1080", "5", "1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("[mox.glsl_ready]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("fullscreen 1 shaders 1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("probe: 5 frames presented"), std::string::npos) << r.out;
}

TEST_F(DriverTest, FullScreenFallsBackToAWindow) {
    ProbeRun r = run_probe({"333", "222", "2", "1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("[mox.fullscreen_unavailable]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("fullscreen 0"), std::string::npos) << r.out;
}

// The process ends with _exit; an address-sanitizer build checks for leaks when the program has
// returned, so a lost block fails a program that would otherwise succeed.
TEST_F(DriverTest, ALeakFailsTheProcessInAnAddressSanitizerBuild) {
    ProbeRun r = run_probe({"leak"});
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_NE(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("LeakSanitizer"), std::string::npos) << r.out;
#else
    EXPECT_EQ(r.status, 0) << r.out;
#endif
}

TEST_F(DriverTest, ProgramResultBecomesTheExitStatus) {
    ProbeRun r = run_probe({});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("usage: mox_probe"), std::string::npos);
}

// A quit request (here from SDL's interrupt handler) ends the process at once while the
// program is still drawing.
TEST_F(DriverTest, QuitEndsTheProcessWhileTheProgramRuns) {
    ProbeRun r = run_probe({"320", "200", "-1", "0"}, {}, "probe: desktop", SIGINT, 30);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("frames presented"), std::string::npos) << r.out;
}

TEST_F(DriverTest, WindowCloseEndsTheProcessWhileTheProgramRuns) {
    ProbeRun r = run_probe({"320", "200", "-2", "0"}, {}, nullptr, 0, 30);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("probe: close requested"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("frames presented"), std::string::npos) << r.out;
}

TEST_F(DriverTest, NoWindowMeansAMessageAndAFailure) {
    ProbeRun r = run_probe({"320", "200", "1", "0"}, {"SDL_VIDEODRIVER=dummy"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("[mox.window_failed]"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("probe:"), std::string::npos) << r.out;

    r = run_probe({"320", "200", "1", "0"}, {"DISPLAY=:nonexistent.0", "SDL_VIDEODRIVER=x11"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("[mox.video_init_failed]"), std::string::npos) << r.out;
}

// SDL's offscreen driver makes EGL contexts, where GLEW's GLX part reports an error after the
// GL entry points were loaded: the program still runs, on what was loaded.
TEST_F(DriverTest, GlewErrorIsReportedAndTheProgramRunsOn) {
    ProbeRun r = run_probe({"320", "200", "3", "0"}, {"SDL_VIDEODRIVER=offscreen"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("[mox.glew_error]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("probe: 3 frames presented"), std::string::npos) << r.out;
}

}  // namespace

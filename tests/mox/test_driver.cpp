// The real process entry: the probe program (tests/mox/driver_probe.cpp) runs as a
// subprocess on the current display, through the event thread and the program thread.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string probe = std::string(FENTRO_BINARY_DIR) + "/mox_probe";

struct ProbeRun {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;
};

// Starts the probe with `args` and extra environment; `until` (when given) is awaited in its
// output, then `sig` is sent. Gives up after `seconds`.
ProbeRun run_probe(std::vector<std::string> args, std::vector<std::string> env = {},
              const char *until = nullptr, int sig = 0, int seconds = 60) {
  int fds[2];
  ProbeRun r;
  if (pipe(fds) != 0) return r;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    setenv("FENTRO_LOG_IDS", "1", 1);
    for (const std::string &e : env) putenv(const_cast<char *>(e.c_str()));
    std::vector<char *> argv{const_cast<char *>(probe.c_str())};
    for (std::string &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execv(probe.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  bool signalled = false;
  for (int waited = 0; waited < seconds * 10;) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 100) == 0) {
      waited++;
      continue;
    }
    char buf[512];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    r.out.append(buf, size_t(n));
    if (until && !signalled && r.out.find(until) != std::string::npos) {
      kill(pid, sig);
      signalled = true;
    }
  }
  close(fds[0]);
  int status = 0;
  pid_t done = 0;
  for (int i = 0; i < 100 && (done = waitpid(pid, &status, WNOHANG)) == 0; i++) usleep(50000);
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    r.out += "\n(killed: timed out)";
  } else if (WIFEXITED(status)) {
    r.status = WEXITSTATUS(status);
  }
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

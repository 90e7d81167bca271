// The player run whole, headless, as a subprocess in a scratch folder: a small production
// packed into outline.dat with coreimage ends with its music, Escape ends a long one, and a
// folder without the image ends at once with a message. The player draws under the current
// display, with SDL's dummy audio driver (callbacks at real-time pace, nothing heard).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "demosystem/test_playback_media.h"

namespace {

using namespace playback_media;
using Clock = std::chrono::steady_clock;

// Long enough for start-up and a second of music on a loaded machine.
constexpr double TIME_LIMIT_SECONDS = 120;

struct PlayerRun {
    bool finished = false;  // ended by itself within the time limit
    int status = -1;        // exit status, when it exited
    int signal = 0;         // signal that ended it, if any
    double seconds = 0;
    std::string out;
};

// Runs the player in `folder` with extra environment entries; kills it (by its own id) when
// it outlives the time limit.
PlayerRun RunPlayer(const fs::path &folder, const std::vector<std::string> &env = {}) {
    PlayerRun run;
    const fs::path log = folder / "player.log";
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || chdir(folder.c_str()) != 0) _exit(126);
        dup2(fd, 1);
        dup2(fd, 2);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        for (const std::string &e : env) putenv(const_cast<char *>(e.c_str()));
        execl(FENTRO_BINARY_DIR "/invite", "invite", (char *)nullptr);
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

int Coreimage(const fs::path &image, const fs::path &dir) {
    const std::string cmd = "'" FENTRO_BINARY_DIR "/coreimage' create '" + image.string() + "' '" +
                            dir.string() + "' >/dev/null 2>&1";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
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
    const PlayerRun run = RunPlayer(dir.path);
    ASSERT_TRUE(run.finished) << "still running after " << TIME_LIMIT_SECONDS << " s\n" << run.out;
    EXPECT_EQ(run.signal, 0) << run.out;
    EXPECT_EQ(run.status, 0) << run.out;
    // It played the production to the end of its second of music.
    EXPECT_NE(run.out.find("- Init Sound"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Layer: glow"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("load shadefile glow.glsl"), std::string::npos) << run.out;
    EXPECT_GE(run.seconds, 0.9);
}

TEST_F(Player, EndsWhenEscapeIsPressed) {
    Pack(60.0);
    const PlayerRun run = RunPlayer(dir.path, {"MOX_ESCAPE_AFTER_FRAMES=5"});
    ASSERT_TRUE(run.finished) << "still running after " << TIME_LIMIT_SECONDS << " s\n" << run.out;
    EXPECT_EQ(run.signal, 0) << run.out;
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Layer: picture"), std::string::npos) << run.out;
    // Long before its minute of music is over.
    EXPECT_LT(run.seconds, 50.0);
}

TEST_F(Player, EndsAtOnceWithoutItsImage) {
    const PlayerRun run = RunPlayer(dir.path);
    ASSERT_TRUE(run.finished) << "still running after " << TIME_LIMIT_SECONDS << " s\n" << run.out;
    EXPECT_EQ(run.signal, 0) << run.out;
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("outline.dat is missing"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("- Init Sound"), std::string::npos) << run.out;
}

}  // namespace

// End-to-end runs of the built programs: a production packed into a resource image with
// coreimage, and a program run as a subprocess in a folder, with a time limit and its output
// captured.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace production_fixture {

namespace fs = std::filesystem;

struct ProgramRun {
    bool finished = false;  // ended by itself within the time limit
    int status = -1;        // exit status, when it exited
    int signal = 0;         // signal that ended it, if any
    double seconds = 0;
    std::string out;  // standard output
    std::string err;  // standard error
};

inline std::string ReadText(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `program` with `args` in `folder`, with SDL's dummy audio driver and the extra
// environment entries "NAME=value" of `env`; kills it (by its own id) when it outlives
// `limit` seconds.
inline ProgramRun RunProgram(const std::string &program, const std::vector<std::string> &args,
                             const fs::path &folder, const std::vector<std::string> &env = {},
                             double limit = 120) {
    ProgramRun run;
    std::string outname = (fs::temp_directory_path() / "fentro_run_out_XXXXXX").string();
    std::string errname = (fs::temp_directory_path() / "fentro_run_err_XXXXXX").string();
    const int outfd = mkstemp(outname.data());
    const int errfd = mkstemp(errname.data());
    if (outfd < 0 || errfd < 0) {
        if (outfd >= 0) close(outfd), unlink(outname.c_str());
        if (errfd >= 0) close(errfd), unlink(errname.c_str());
        return run;
    }
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(126);
        dup2(outfd, 1);
        dup2(errfd, 2);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        // Messages show their item ids, which the tests match.
        setenv("FENTRO_LOG_IDS", "1", 1);
        for (const std::string &e : env) {
            const size_t eq = e.find('=');
            if (eq != std::string::npos) setenv(e.substr(0, eq).c_str(), e.c_str() + eq + 1, 1);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outfd);
    close(errfd);
    if (pid > 0) {
        int raw = 0;
        for (;;) {
            const pid_t done = waitpid(pid, &raw, WNOHANG);
            run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (done == pid) {
                run.finished = true;
                break;
            }
            if (run.seconds > limit) {
                kill(pid, SIGKILL);
                waitpid(pid, &raw, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
        if (WIFSIGNALED(raw)) run.signal = WTERMSIG(raw);
    }
    run.out = ReadText(outname);
    run.err = ReadText(errname);
    unlink(outname.c_str());
    unlink(errname.c_str());
    return run;
}

// Packs every file below `dir` into the resource image `image`; the tool's exit status.
inline int Coreimage(const fs::path &image, const fs::path &dir) {
    const std::string cmd = "'" FENTRO_BINARY_DIR "/coreimage' create '" + image.string() + "' '" +
                            dir.string() + "' >/dev/null 2>&1";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace production_fixture

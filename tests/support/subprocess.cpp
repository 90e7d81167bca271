#include "support/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace test_support {

namespace {

// Child side: never returns.
[[noreturn]] void Exec(const std::string &program, const std::vector<std::string> &args,
                       const RunOptions &o, int out, int err) {
    if (!o.folder.empty() && chdir(o.folder.c_str()) != 0) _exit(126);
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, 0);
    dup2(out, 1);
    dup2(err, 2);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("FENTRO_LOG_IDS", "1", 1);
    for (const std::string &e : o.env) {
        const size_t eq = e.find('=');
        if (eq != std::string::npos) setenv(e.substr(0, eq).c_str(), e.c_str() + eq + 1, 1);
    }
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

}  // namespace

ProgramRun RunProgram(const std::string &program, const std::vector<std::string> &args,
                      const RunOptions &o) {
    ProgramRun run;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return run;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]), close(out[1]);
        return run;
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) Exec(program, args, o, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]), close(err[0]);
        return run;
    }

    // Reads both pipes until the program closes them or outlives its limit.
    bool signalled = false, killed = false;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *sinks[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0) {
        run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (run.seconds > o.limit) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        if (poll(fds, 2, 50) <= 0) continue;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, size_t(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                open--;
            }
        }
        if (!o.until.empty() && !signalled && run.all().find(o.until) != std::string::npos) {
            kill(pid, o.signal);
            signalled = true;
        }
    }
    for (pollfd &p : fds)
        if (p.fd >= 0) close(p.fd);

    // The pipes may close before the program ends: wait for it within the limit too.
    int raw = 0;
    while (!killed && waitpid(pid, &raw, WNOHANG) == 0) {
        run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (run.seconds > o.limit) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        usleep(10000);
    }
    if (killed) waitpid(pid, &raw, 0);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.finished = !killed;
    if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) run.signal = WTERMSIG(raw);
    return run;
}

ProgramRun RunProgram(const std::string &program, const std::vector<std::string> &args,
                      const std::string &folder, const std::vector<std::string> &env,
                      double limit) {
    RunOptions o;
    o.folder = folder;
    o.env = env;
    o.limit = limit;
    return RunProgram(program, args, o);
}

ProgramRun RunBuilt(const std::string &name, const std::vector<std::string> &args,
                    const RunOptions &options) {
    return RunProgram(std::string(FENTRO_BINARY_DIR) + "/" + name, args, options);
}

int PackImage(const std::string &image, const std::string &folder) {
    const ProgramRun run = RunBuilt("coreimage", {"create", image, folder});
    return run.finished ? run.status : -1;
}

}  // namespace test_support

// Runs a program as a subprocess with a time limit and captures its exit status and output.
#pragma once
#include <string>
#include <vector>

namespace test_support {

struct RunOptions {
    std::string folder;            // working folder; empty: the test's own
    std::vector<std::string> env;  // extra "NAME=value" entries
    double limit = 120;            // seconds before the program is killed
    std::string until;             // once this shows in its output, `signal` is sent to it
    int signal = 0;
};

struct ProgramRun {
    bool finished = false;  // ended by itself within the time limit
    int status = -1;        // exit status, when it exited
    int signal = 0;         // signal that ended it, if any
    double seconds = 0;
    std::string out;  // standard output
    std::string err;  // standard error
    std::string all() const { return out + err; }
};

// Runs `program` with `args`. The child gets SDL's dummy audio driver and shows the item ids
// of its messages (FENTRO_LOG_IDS=1), both overridable through `env`; standard input is empty.
ProgramRun RunProgram(const std::string &program, const std::vector<std::string> &args,
                      const RunOptions &options = {});

// The same in `folder`, with extra environment and a time limit.
ProgramRun RunProgram(const std::string &program, const std::vector<std::string> &args,
                      const std::string &folder, const std::vector<std::string> &env = {},
                      double limit = 120);

// Runs a program of the build folder by its target name.
ProgramRun RunBuilt(const std::string &name, const std::vector<std::string> &args,
                    const RunOptions &options = {});

// Packs every file below `folder` into the resource image `image` with the built coreimage
// tool; its exit status.
int PackImage(const std::string &image, const std::string &folder);

}  // namespace test_support

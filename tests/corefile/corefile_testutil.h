// Helpers for the file layer and image tool tests: running the coreimage tool, the ids of the
// messages logged by a call, little-endian words of the image format.
#pragma once
#include <gtest/gtest.h>

#include "log_capture.h"
#include "support/scratch.h"
#include "support/subprocess.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testutil {

using namespace test_support;

inline void writefile(const fs::path &path, const std::string &bytes) { WriteFile(path, bytes); }
inline std::string readfile(const fs::path &path) { return ReadFile(path); }

struct ToolResult {
    int status;
    std::string out;
    std::string err;
};

// Runs the built coreimage tool with the given (shell-quoted where needed) arguments; `shell`
// comes first on the command line (limits, traps, a time limit).
inline ToolResult coreimage(const std::string &args, const std::string &shell = "") {
    const std::string tool = "'" FENTRO_BINARY_DIR "/coreimage' " + args;
    const ProgramRun run =
        RunProgram("/bin/sh", {"-c", shell.empty() ? "exec " + tool : shell + " " + tool});
    return {run.finished ? run.status : -1, run.out, run.err};
}

// Ids of the messages logged while fn runs.
inline std::vector<std::string> idsof(const std::function<void()> &fn) {
    LogCapture log;
    fn();
    return log.Ids();
}

// Bytes of a little-endian unsigned 32-bit value.
inline std::string le32(uint32_t v) {
    return std::string{(char)(v & 0xff), (char)((v >> 8) & 0xff), (char)((v >> 16) & 0xff),
                       (char)(v >> 24)};
}

}  // namespace testutil

// Helpers for the file layer and image tool tests: scratch folders, files, running the
// coreimage tool, capturing the layer's console lines.
#pragma once
#include <gtest/gtest.h>

#include "log_capture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <string>
#include <vector>

namespace testutil {

namespace fs = std::filesystem;

// A scratch folder below the system's temporary folder, removed with everything in it.
struct TempDir {
    std::string path;
    TempDir()
    {
        std::string templ = (fs::temp_directory_path() / "corefile_test_XXXXXX").string();
        if (!mkdtemp(templ.data())) ADD_FAILURE() << "mkdtemp failed";
        path = templ;
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

inline void writefile(const std::string &path, const std::string &bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

inline std::string readfile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct ToolResult {
    int status;
    std::string out;
    std::string err;
};

// Runs the built coreimage tool with the given (shell-quoted where needed) arguments.
inline ToolResult coreimage(const std::string &args)
{
    TempDir capture;
    const std::string cmd = std::string("FENTRO_LOG_IDS=1 '" FENTRO_BINARY_DIR "/coreimage' ") + args + " >'" + (capture / "out") +
                            "' 2>'" + (capture / "err") + "'";
    const int raw = std::system(cmd.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return {status, readfile(capture / "out"), readfile(capture / "err")};
}

// Ids of the messages logged while fn runs.
inline std::vector<std::string> idsof(const std::function<void()> &fn)
{
    LogCapture log;
    fn();
    return log.Ids();
}

// Bytes of a little-endian unsigned 32-bit value.
inline std::string le32(uint32_t v)
{
    return std::string{(char)(v & 0xff), (char)((v >> 8) & 0xff), (char)((v >> 16) & 0xff), (char)(v >> 24)};
}

}  // namespace testutil

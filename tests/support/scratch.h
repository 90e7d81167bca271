// Scratch folders and whole-file reads and writes for tests.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

namespace fs = std::filesystem;

// A fresh folder below the system's temporary folder, removed with everything in it when the
// object goes. The path is empty (and a test failure recorded) when it cannot be made.
class TempDir {
public:
    explicit TempDir(const std::string &prefix = "fentro_test");
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const fs::path &path() const { return path_; }
    std::string str() const { return path_.string(); }
    const char *c_str() const { return path_.c_str(); }
    fs::path operator/(const std::string &name) const { return path_ / name; }
    // Removes everything inside, keeping the folder.
    void Clear() const;

private:
    fs::path path_;
};

// Writes `bytes` to `path`, creating the folders above it; false when that fails.
bool WriteFile(const fs::path &path, const std::string &bytes);
bool WriteFile(const fs::path &path, const std::vector<unsigned char> &bytes);
// The whole file, or "" when it cannot be read.
std::string ReadFile(const fs::path &path);

}  // namespace test_support

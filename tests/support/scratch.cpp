#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace test_support {

TempDir::TempDir(const std::string &prefix) {
    std::string templ = (fs::temp_directory_path() / (prefix + "_XXXXXX")).string();
    if (mkdtemp(templ.data()))
        path_ = templ;
    else
        ADD_FAILURE() << "cannot make a scratch folder for " << prefix;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
}

void TempDir::Clear() const {
    std::error_code ec;
    if (path_.empty()) return;
    for (const fs::directory_entry &e : fs::directory_iterator(path_, ec))
        fs::remove_all(e.path(), ec);
}

namespace {

bool Write(const fs::path &path, const char *data, size_t size) {
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, std::streamsize(size));
    out.close();
    return bool(out);
}

}  // namespace

bool WriteFile(const fs::path &path, const std::string &bytes) {
    return Write(path, bytes.data(), bytes.size());
}

bool WriteFile(const fs::path &path, const std::vector<unsigned char> &bytes) {
    return Write(path, reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

std::string ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace test_support

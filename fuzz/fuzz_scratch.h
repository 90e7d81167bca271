// A scratch directory mounted as the file layer's source, for fuzz targets whose parser reads
// through the file layer: each input is written there and opened by name.
#pragma once
#include "core/corefile.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzz_scratch {

inline std::string &dir() {
    static std::string path;
    return path;
}

inline void remove_dir() {
    corefile_closeimage();
    std::string cmd = "rm -rf '" + dir() + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir().c_str());
}

// Creates and mounts the directory (in memory where /dev/shm exists); removed at exit.
inline void mount() {
    char templ[] = "/dev/shm/fentro_fuzz.XXXXXX";
    char templ_tmp[] = "/tmp/fentro_fuzz.XXXXXX";
    const char *made = access("/dev/shm", W_OK) == 0 ? mkdtemp(templ) : nullptr;
    if (!made) made = mkdtemp(templ_tmp);
    if (!made || !corefile_mountimage(made, 2)) {
        fprintf(stderr, "no scratch directory\n");
        abort();
    }
    dir() = made;
    atexit(remove_dir);
}

inline void write(const char *name, const void *data, size_t size) {
    const std::string path = dir() + "/" + name;
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || fwrite(data, 1, size, f) != size || fclose(f) != 0) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        abort();
    }
}

}  // namespace fuzz_scratch

// fentro-gen OUTDIR: writes the built-in production's media (music, images, sprite sheets,
// editor fonts and cursor) into OUTDIR, the same bytes on every run.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/coredebug.h"
#include "images.h"
#include "music.h"

namespace {

const char *const USAGE =
    "usage: fentro-gen [--quiet | --verbose] OUTDIR\n"
    "Writes the built-in production's media into OUTDIR (made when missing).\n";

}  // namespace

int main(int argc, char **argv) {
    core_logconsole(LOG_CONSOLE_STDERR);
    argc = int(std::remove_if(argv + 1, argv + argc, core_logoption) - argv);
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        core_log(LOG_PROGRESS, "gen.usage", "%s", USAGE);
        return 0;
    }
    // A mistyped option is a mistake, not a folder to create.
    if (argc != 2 || argv[1][0] == '-' || !argv[1][0]) {
        core_log(LOG_ERROR, "gen.bad_arguments", "fentro-gen: expected one folder\n%s", USAGE);
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(argv[1], ec);
    if (ec) {
        core_log(LOG_ERROR, "gen.no_outdir", "cannot create %s: %s\n", argv[1],
                 ec.message().c_str());
        return 1;
    }
    const bool images = gen_images(argv[1]);
    const bool music = gen_music(argv[1]);
    if (!music) core_log(LOG_ERROR, "gen.music_failed", "the music could not be written\n");
    return images && music ? 0 : 1;
}

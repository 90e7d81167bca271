// fentro-gen OUTDIR: writes the built-in production's media (music, images, sprite sheets,
// editor fonts and cursor) into OUTDIR, the same bytes on every run.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "images.h"
#include "music.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fentro-gen OUTDIR\n");
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  if (ec) {
    std::fprintf(stderr, "cannot create %s: %s\n", argv[1], ec.message().c_str());
    return 1;
  }
  const bool images = gen_images(argv[1]);
  const bool music = gen_music(argv[1]);
  if (!music) std::fprintf(stderr, "the music could not be written\n");
  return images && music ? 0 : 1;
}

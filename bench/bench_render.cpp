// Capture speed of fentro-render on the built-in production at 1920 x 1080: the same 300
// frames (two per second of music over the first 150 s, so every part of the production is
// in them) rendered as TGA files by the reference path (every layer pass, each frame read back
// and written before the next is drawn; FENTRO_RENDER_REFERENCE set) and by the normal path
// (passes that cannot change the picture left out, read-back through pixel buffer objects,
// writing on a thread of its own, past the page cache). The two alternate for the given number
// of rounds (5), so that both see the same background load; each run's wall time includes its
// start-up (about two seconds of loading) and starts once the files of the run before are on
// the disk, which would otherwise slow the next run's writing. The files of the first round
// must be identical, and every run must have written all its frames.
// Run in the build folder under Xvfb:
//   xvfb-run -a -s "-screen 0 1920x1080x24" ./bench_render [rounds]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "support/subprocess.h"

namespace {

using namespace test_support;

constexpr int FRAMES = 300;
constexpr double TARGET = 1.5;

// Seconds for one run writing into `out`, or a negative value when it failed.
double Capture(const fs::path &out, bool reference) {
    std::vector<std::string> env;
    if (reference) env.push_back("FENTRO_RENDER_REFERENCE=1");
    const ProgramRun run =
        RunProgram(FENTRO_BINARY_DIR "/fentro-render",
                   {"--quiet", "--fps", "2", "--to", "150", "--out", out.string()},
                   FENTRO_BINARY_DIR, env, 3600);
    if (!run.finished || run.status != 0) {
        fprintf(stderr, "fentro-render failed (status %d, signal %d):\n%s%s", run.status,
                run.signal, run.out.c_str(), run.err.c_str());
        return -1;
    }
    return run.seconds;
}

size_t Count(const fs::path &folder) {
    size_t n = 0;
    for (const auto &e : fs::directory_iterator(folder)) n += e.is_regular_file() ? 1 : 0;
    return n;
}

// Both folders hold the same FRAMES files with the same bytes.
bool SameFiles(const fs::path &a, const fs::path &b) {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(a)) names.push_back(e.path().filename().string());
    const size_t others = Count(b);
    if (names.size() != FRAMES || others != names.size()) {
        fprintf(stderr, "frame counts differ: %zu and %zu (expected %d)\n", names.size(), others,
                FRAMES);
        return false;
    }
    std::sort(names.begin(), names.end());
    for (const std::string &n : names)
        if (ReadFile(a / n) != ReadFile(b / n)) {
            fprintf(stderr, "%s differs\n", n.c_str());
            return false;
        }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    // The machine's speed drifts by a sixth from one minute to the next (the same run takes
    // that much more CPU time). The best of several alternating runs is what each path can do;
    // the median of each round's ratio, its two runs a minute apart, follows the drift less.
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    if (!fs::exists(FENTRO_BINARY_DIR "/outline.dat")) {
        fprintf(stderr, "build the production first (outline.dat)\n");
        return 1;
    }
    const TempDir scratch("bench_render");
    if (scratch.path().empty()) return 1;
    const fs::path &dir = scratch.path();
    double reference = 1e30, normal = 1e30;
    std::vector<double> ratios;
    bool same = true;
    for (int r = 0; r < rounds; ++r) {
        const fs::path a = dir / ("reference" + std::to_string(r)),
                       b = dir / ("normal" + std::to_string(r));
        // Each run starts with nothing of the one before waiting to be written to the disk.
        sync();
        const double ta = Capture(a, true);
        sync();
        const double tb = Capture(b, false);
        if (ta < 0 || tb < 0) return 1;
        printf("  round %d: reference %.1f s, normal %.1f s (%.2fx)\n", r + 1, ta, tb, ta / tb);
        fflush(stdout);
        reference = std::min(reference, ta);
        normal = std::min(normal, tb);
        ratios.push_back(ta / tb);
        // Every round's files are counted, the first round's compared.
        same = same && (r == 0 ? SameFiles(a, b) : Count(a) == FRAMES && Count(b) == FRAMES);
        std::error_code ec;
        fs::remove_all(a, ec);
        fs::remove_all(b, ec);
    }
    printf(
        "capture of %d frames of the production at 1920x1080 to TGA files, best of %d round(s):\n",
        FRAMES, rounds);
    printf("  reference path %.1f s (%.2f frames/s)\n", reference, FRAMES / reference);
    printf("  normal path    %.1f s (%.2f frames/s)\n", normal, FRAMES / normal);
    std::sort(ratios.begin(), ratios.end());
    const size_t n = ratios.size();
    const double median = n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2;
    printf(
        "  speed-up %.2fx of the best runs, %.2fx median of the rounds (target >= %.1f); files "
        "%s\n",
        reference / normal, median, TARGET, same ? "identical" : "DIFFER");
    return same ? 0 : 1;
}

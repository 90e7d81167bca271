// Loading a maximal project file (5 layers, each with 64 events of 32 values and 1024 keys of
// every kind, 1024 markers, 1024 descriptors) with the console sent to /dev/null, against a
// plain fgets pass over the same file. Prints both times and their ratio; target: under 100 ms.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "demosystem/demosystem.h"

namespace {

namespace fs = std::filesystem;

int WriteProject(const fs::path &path) {
    FILE *f = fopen(path.c_str(), "w");
    if (!f) return 0;
    int lines = 0;
    auto line = [&](const char *format, auto... args) {
        fprintf(f, format, args...);
        lines++;
    };
    line("#title \"%s\"\n", "Benchmark");
    line("#renderwidth %d\n", 1920);
    line("#renderheight %d\n", 1080);
    line("#demotype %d\n", 1);
    line("#bpm %d\n", 140);
    line("#resources\n");
    for (int i = 0; i < DEMO_MAXRESOURCES; i++) {
        line("#mesh %d \"mesh%d\" \"mesh%d.bin\"\n", i, i, i);
    }
    for (int i = 0; i < DEMO_MAXMARKERS; i++) line("#marker %d,%d\n", i * 4410, i & 3);
    for (int l = 0; l < DEMO_MAXLAYERS; l++) {
        line("#layer \"layer %d\"\n", l);
        for (int e = 0; e < DEMO_MAXEVENTS; e++) {
            fprintf(f, "#event %d,%d,%d,%d,%d:", e * 70000, 70000, 3, e, DEMO_MAXVALUES);
            for (int v = 0; v < DEMO_MAXVALUES; v++) {
                fprintf(f, v ? ",%.2f" : "%.2f", (e * 32 + v) * 0.37f - 100);
            }
            line("\n");
        }
        for (int k = 0; k < DEMO_MAXKEYS; k++) {
            line("#eventtransform %d,%d,%d,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f\n",
                 k * 4000, k % 9, k / 16, k * 0.5f, -k * 0.25f, 1.5f, 45.0f, 90.0f, k * 1.0f, 1.0f,
                 2.0f, 3.0f);
        }
        for (int k = 0; k < DEMO_MAXKEYS; k++) {
            line("#eventcamera %d,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f\n", k * 4000, 60.0f, k * 0.1f,
                 2.0f, 3.0f, 0.0f, 0.0f, -1.0f);
        }
        for (int k = 0; k < DEMO_MAXKEYS; k++) {
            line("#eventvalue %d,%d,%d,%.2f\n", k * 4000, 1 + k % 4, k % 9, (k % 100) / 100.0f);
        }
    }
    fclose(f);
    return lines;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Smallest time of a few runs of fn.
template <typename F>
double Best(int runs, F fn) {
    double best = 1e9;
    for (int i = 0; i < runs; i++) {
        auto start = std::chrono::steady_clock::now();
        fn();
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
    }
    return best;
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "bench_project_data";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path file = dir / "demo.fentro";
    const int lines = WriteProject(file);
    if (!lines) {
        fprintf(stderr, "cannot write %s\n", file.c_str());
        return 1;
    }

    // The loader's console lines go to /dev/null while it runs.
    fflush(stdout);
    const int console = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);

    corefile_mountimage(dir.c_str(), 2);
    auto demo = std::make_unique<c_demo>();
    const int runs = 10;
    const double load = Best(runs, [&] { demo->Load("demo.fentro"); });
    const double fgetspass = Best(runs, [&] {
        FILE *f = fopen(file.c_str(), "r");
        char buffer[2048];
        int n = 0;
        while (fgets(buffer, sizeof buffer, f)) n++;
        fclose(f);
        if (n != lines) fprintf(stderr, "fgets read %d lines\n", n);
    });

    fflush(stdout);
    dup2(console, 1);
    close(console);
    corefile_closeimage();

    int keys = 0, events = 0;
    for (int l = 0; l < demo->numlayers; l++) {
        events += demo->layer[l].numevents;
        keys += demo->layer[l].numevents_value + demo->layer[l].numevents_transform +
                demo->layer[l].numevents_camera;
    }
    printf("project: %d lines, %d layers, %d events, %d keys, %d markers, %d resources\n", lines,
           demo->numlayers, events, keys, demo->nummarkers, demo->numresources);
    printf("Load:       %8.2f ms (best of %d)\n", load * 1000, runs);
    printf("fgets pass: %8.2f ms\n", fgetspass * 1000);
    printf("ratio:      %8.1f (Load / fgets)\n", load / fgetspass);
    printf("target:     Load under 100 ms: %s\n", load < 0.1 ? "met" : "MISSED");
    fs::remove_all(dir);
    return 0;
}

// File layer lookup: opening the last entry of a 1024-entry image and reading it, against
// opening and reading a plain file of the same size with stdio. The layer's trace lines go
// to /dev/null; the results are printed on standard error.
#include "core/corefile.h"
#include "corefile/imageformat.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int ENTRIES = 1024;
constexpr uint32_t ENTRY_BYTES = 256;
std::string g_dir;

std::string entryname(int i) {
    char name[64];
    snprintf(name, sizeof name, "data/entry%04d.bin", i);
    return name;
}

void buildimage() {
    char templ[] = "/tmp/bench_corefile_XXXXXX";
    if (!mkdtemp(templ)) abort();
    g_dir = templ;
    std::vector<std::string> names;
    std::vector<const char *> pointers;
    std::vector<uint32_t> sizes(ENTRIES, ENTRY_BYTES);
    for (int i = 0; i < ENTRIES; ++i) names.push_back(entryname(i));
    for (const auto &n : names) pointers.push_back(n.c_str());
    FILE *out = fopen((g_dir + "/image.dat").c_str(), "wb");
    char why[256];
    if (!out ||
        !imageformat_writetable(out, 0, ENTRIES, pointers.data(), sizes.data(), why, sizeof why))
        abort();
    std::vector<unsigned char> data(ENTRY_BYTES);
    for (int i = 0; i < ENTRIES; ++i) {
        for (uint32_t b = 0; b < ENTRY_BYTES; ++b) data[b] = (unsigned char)(i + b);
        fwrite(data.data(), 1, data.size(), out);
    }
    fclose(out);
    FILE *plain = fopen((g_dir + "/plain.bin").c_str(), "wb");
    fwrite(data.data(), 1, data.size(), plain);
    fclose(plain);
}

void BM_ImageOpenLastEntryAndRead(benchmark::State &state) {
    if (!corefile_mountimage((g_dir + "/image.dat").c_str(), 0)) {
        state.SkipWithError("mount failed");
        return;
    }
    const std::string name = entryname(ENTRIES - 1);
    unsigned char buffer[ENTRY_BYTES];
    for (auto _ : state) {
        s_corefile f;
        corefile_open(name.c_str(), &f, 0);
        corefile_read(buffer, 1, corefile_fsize(&f), &f);
        corefile_close(&f);
        benchmark::DoNotOptimize(buffer);
    }
    if (buffer[0] != (unsigned char)(ENTRIES - 1)) state.SkipWithError("wrong data");
    corefile_closeimage();
}
BENCHMARK(BM_ImageOpenLastEntryAndRead);

void BM_DirectoryOpenAndRead(benchmark::State &state) {
    if (!corefile_mountimage(g_dir.c_str(), 2)) {
        state.SkipWithError("mount failed");
        return;
    }
    unsigned char buffer[ENTRY_BYTES];
    for (auto _ : state) {
        s_corefile f;
        corefile_open("plain.bin", &f, 0);
        corefile_read(buffer, 1, corefile_fsize(&f), &f);
        corefile_close(&f);
        benchmark::DoNotOptimize(buffer);
    }
    corefile_closeimage();
}
BENCHMARK(BM_DirectoryOpenAndRead);

// Reference: the same amount of data through a plain stdio open, read and close.
void BM_StdioOpenAndRead(benchmark::State &state) {
    const std::string path = g_dir + "/plain.bin";
    unsigned char buffer[ENTRY_BYTES];
    for (auto _ : state) {
        FILE *fp = fopen(path.c_str(), "rb");
        benchmark::DoNotOptimize(fread(buffer, 1, sizeof buffer, fp));
        fclose(fp);
    }
}
BENCHMARK(BM_StdioOpenAndRead);

}  // namespace

int main(int argc, char **argv) {
    buildimage();
    benchmark::Initialize(&argc, argv);
    // The layer traces every open on standard output: send it to /dev/null and report on
    // standard error.
    fflush(stdout);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    close(devnull);
    benchmark::ConsoleReporter reporter(isatty(2) ? benchmark::ConsoleReporter::OO_Color
                                                  : benchmark::ConsoleReporter::OO_None);
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    unlink((g_dir + "/image.dat").c_str());
    unlink((g_dir + "/plain.bin").c_str());
    rmdir(g_dir.c_str());
    return 0;
}

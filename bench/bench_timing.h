// Clocks for the scene benchmarks: wall time, the calling thread's CPU time (which leaves out
// preemption by other processes on a shared machine) and the load average that puts the
// slowest figures in context.
#pragma once
#include <chrono>
#include <cstdio>
#include <ctime>

inline double WallMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double CpuMs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The 1-minute load average, or -1 when it cannot be read.
inline double LoadAverage() {
    double load = -1;
    if (FILE *f = fopen("/proc/loadavg", "r")) {
        if (fscanf(f, "%lf", &load) != 1) load = -1;
        fclose(f);
    }
    return load;
}

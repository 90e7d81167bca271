// Smoothness and lead of the music clock, in the player and in the sound system, against the
// mixer's own offset (the clock the picture used to follow) measured in the same run.
//
// Smoothness: the player plays the built-in production in a 320x180 window for 10 s with SDL's
// dummy device and writes its timing file; counted are positions repeated between consecutive
// frames and the 95th percentile of |dposition / 44100 - dtime| per frame.
// Lead: SDL's disk device writes what it plays to a file; the file's growth over time says which
// frame is heard when (the disk device plays a block from the moment it writes it). The first
// sound of the music in the file gives the file's frame of the music's first sound, so each
// reading of a clock can be compared with the music frame heard at that moment. Measured for
// the player's timing file and for the sound system's clocks sampled in this process.
//
// Run from the build folder (it holds outline.dat, production/music.wav and invite).
#include "coresound/coresound.h"
#include "coresound/soundclock.h"
#include "core/corefile.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double RATE = 44100;
constexpr double SECONDS = 10;

struct s_sample {
    double time;
    double position;
};

struct s_smoothness {
    int frames = 0;
    int repeated = 0;
    double p95ms = 0;
};

// From the first frame whose position moved on.
s_smoothness smoothness(const std::vector<s_sample> &s) {
    s_smoothness r;
    size_t first = 1;
    while (first < s.size() && s[first].position == s[first - 1].position) first++;
    std::vector<double> deviation;
    for (size_t i = first + 1; i < s.size(); i++) {
        r.frames++;
        if (s[i].position == s[i - 1].position) r.repeated++;
        deviation.push_back(
            std::fabs((s[i].position - s[i - 1].position) / RATE - (s[i].time - s[i - 1].time)));
    }
    if (!deviation.empty()) {
        std::sort(deviation.begin(), deviation.end());
        r.p95ms = 1000 * deviation[std::min(deviation.size() - 1, size_t(deviation.size() * 0.95))];
    }
    return r;
}

// The disk device's file over time: (moment a block was written, frames in the file before it).
struct s_growth {
    std::vector<s_sample> writes;
    // Music frame heard at `time`, given that file frame `fileframe` holds music frame
    // `musicframe`.
    bool heard(double time, double fileframe, double musicframe, double *frame) const {
        auto after = std::upper_bound(writes.begin(), writes.end(), time,
                                      [](double t, const s_sample &w) { return t < w.time; });
        if (after == writes.begin() || after == writes.end()) return false;
        const s_sample &w = *(after - 1);
        *frame = w.position + std::min((time - w.time) * RATE, after->position - w.position) -
                 fileframe + musicframe;
        return true;
    }
};

long long file_frames(const std::string &name) {
    struct stat st;
    return stat(name.c_str(), &st) == 0 ? (long long)st.st_size / 4 : 0;
}

// Polls the file's size every 0.2 ms until `done` says stop; each growth is a block that starts
// to be heard at that moment, from the frame the file ended at before.
template <typename Done>
s_growth watch(const std::string &file, Done done) {
    s_growth g;
    long long last = file_frames(file);
    while (!done()) {
        const long long now = file_frames(file);
        if (now != last) g.writes.push_back({soundclock_now(), double(last)});
        last = now;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    g.writes.push_back({soundclock_now(), double(last)});
    return g;
}

// First frame whose left value is not silent in a 16-bit stereo file, or -1.
long long first_sound(const std::string &file, size_t header) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(std::streamoff(header));
    int16_t frame[2];
    for (long long f = 0; in.read(reinterpret_cast<char *>(frame), 4); f++)
        if (std::abs(frame[0]) > 64 || std::abs(frame[1]) > 64) return f;
    return -1;
}

double mean_lead_ms(const std::vector<s_sample> &clock, const s_growth &g, double fileframe,
                    double musicframe) {
    double sum = 0;
    int n = 0;
    for (const s_sample &s : clock) {
        double heard;
        if (s.position <= musicframe || !g.heard(s.time, fileframe, musicframe, &heard)) continue;
        sum += (s.position - heard) / RATE * 1000;
        n++;
    }
    return n ? sum / n : NAN;
}

pid_t start_player(const std::vector<std::string> &env, const std::string &timing) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string &e : env) putenv(const_cast<char *>(e.c_str()));
        freopen("/dev/null", "w", stdout);
        execl("./invite", "invite", "--window", "--size", "320x180", "--quiet", "--timing",
              timing.c_str(), (char *)nullptr);
        _exit(127);
    }
    return pid;
}

void stop_player(pid_t pid) {
    kill(pid, SIGTERM);
    int status;
    waitpid(pid, &status, 0);
}

std::vector<s_sample> read_timing(const std::string &file) {
    std::vector<s_sample> s;
    FILE *f = fopen(file.c_str(), "r");
    double t, p;
    while (f && fscanf(f, "%lf %lf", &t, &p) == 2) s.push_back({t, p});
    if (f) fclose(f);
    return s;
}

void print_smoothness(const char *what, const s_smoothness &s) {
    printf("%-34s %6d frames, %5d repeated positions, p95 |dpos/44100 - dt| = %7.3f ms\n", what,
           s.frames, s.repeated, s.p95ms);
}

}  // namespace

int main() {
    if (access("./invite", X_OK) != 0 || access("outline.dat", R_OK) != 0) {
        fprintf(stderr, "run from the build folder after building invite and the production\n");
        return 1;
    }
    // The music's first sound, counted in its own frames (16-bit stereo after a 44-byte header).
    const long long musicfirst = first_sound("production/music.wav", 44);

    // The player with the dummy device.
    std::vector<std::string> dummy = {"SDL_AUDIODRIVER=dummy"};
    pid_t pid = start_player(dummy, "bench_clock_dummy.txt");
    std::this_thread::sleep_for(std::chrono::duration<double>(SECONDS + 2));
    stop_player(pid);
    const s_smoothness player = smoothness(read_timing("bench_clock_dummy.txt"));

    // The player with the disk device, the file watched as it grows.
    const std::string playerfile = "bench_clock_player.raw";
    remove(playerfile.c_str());
    std::vector<std::string> disk = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + playerfile};
    pid = start_player(disk, "bench_clock_disk.txt");
    const double end = soundclock_now() + SECONDS + 2;
    const s_growth playergrowth = watch(playerfile, [&] { return soundclock_now() > end; });
    stop_player(pid);
    const double playerlead = mean_lead_ms(read_timing("bench_clock_disk.txt"), playergrowth,
                                           double(first_sound(playerfile, 0)), double(musicfirst));

    // The sound system in this process with the disk device: both clocks read at 60 Hz.
    const std::string ownfile = "bench_clock_own.raw";
    remove(ownfile.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", ownfile.c_str(), 1);
    corefile_mountimage("outline.dat", 0);
    Soundsystem_Init(44100, 8, 2);
    s_sound music{};
    Soundsystem_LoadSound("music.wav", &music);
    Soundsystem_PlayMusic(&music, 0);
    std::vector<s_sample> heard, mixed;
    std::thread reader([&] {
        const double stop = soundclock_now() + SECONDS;
        for (double t = soundclock_now(); t < stop; t = soundclock_now()) {
            heard.push_back({t, double(Soundsystem_GetHeardOffset(music))});
            mixed.push_back({t, double(Soundsystem_GetSoundOffset(music))});
            std::this_thread::sleep_for(std::chrono::microseconds(16667));
        }
    });
    const double ownend = soundclock_now() + SECONDS;
    const s_growth owngrowth = watch(ownfile, [&] { return soundclock_now() > ownend; });
    reader.join();
    Soundsystem_CloseAudio();
    const double ownfirst = double(first_sound(ownfile, 0));

    printf("Smoothness, about 60 readings a second for %.0f s:\n", SECONDS);
    print_smoothness("  player (heard position)", player);
    print_smoothness("  sound system, heard position", smoothness(heard));
    print_smoothness("  sound system, mixer offset (old)", smoothness(mixed));
    const double ownlead = mean_lead_ms(heard, owngrowth, ownfirst, double(musicfirst));
    const double oldlead = mean_lead_ms(mixed, owngrowth, ownfirst, double(musicfirst));
    printf("Lead of the picture over the sound (disk device), mean:\n");
    printf("  player (presented frames)          %7.1f ms\n", playerlead);
    printf("  sound system, heard position       %7.1f ms\n", ownlead);
    printf("  sound system, mixer offset (old)   %7.1f ms   ratio old/new %.1f\n", oldlead,
           std::fabs(oldlead / ownlead));
    remove(playerfile.c_str());
    remove(ownfile.c_str());
    return 0;
}

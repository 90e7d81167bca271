// The player: mounts the production's resource image, brings up video and sound, loads the
// project into the one demo object and plays it until the music has been heard to its end or
// Escape is held.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "core/coredebug.h"
#include "core/corefile.h"
#include "coresound/coresound.h"
#include "coresound/soundclock.h"
#include "demosystem/demosystem.h"
#include "demosystem/framepacer.h"
#include "demosystem/invite/invite.h"
#include "mox/mox.h"

c_demo gbd_demo;

namespace {

const char *const USAGE =
    "usage: invite [options] [IMAGE]\n"
    "Plays the production in the resource image IMAGE (default outline.dat) locked to its music.\n"
    "  --window          play in a window instead of full screen\n"
    "  --size WxH        size of the window and of the presented picture (default 1920x1080,\n"
    "                    16 to 8192 each)\n"
    "  --display N       monitor to play on, from 0 (default 0)\n"
    "  --from SECONDS    start the music there (default 0)\n"
    "  --mute            play silently, in time\n"
    "  --quiet           no progress lines (errors still print)\n"
    "  --verbose         also debugging lines\n"
    "  --timing FILE     write a line per presented frame: the monotonic time in seconds and\n"
    "                    the music position in sample frames that the frame showed\n"
    "  --help            this text\n";

constexpr char PROJECTFILE[] = "demo.fentro";

// The exit status of a refused command line; a production that cannot be played gives 1.
constexpr int EXIT_USAGE = 2;

struct s_playeroptions {
    const char *image = "outline.dat";
    bool window = false;
    int width = 1920, height = 1080;
    int display = 0;
    double from = 0.0;
    bool mute = false;
    const char *timing = nullptr;
};

// Logs why the command line is refused and shows the usage on standard error.
__attribute__((format(printf, 1, 2))) int refuse(const char *format, ...) {
    char reason[512];
    va_list args;
    va_start(args, format);
    vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    core_log(LOG_ERROR, "player.bad_option", "invite: %s\n", reason);
    fputs(USAGE, stderr);
    return EXIT_USAGE;
}

bool parse_int(const char *text, long lo, long hi, int *v) {
    char *end = nullptr;
    errno = 0;
    const long n = strtol(text, &end, 10);
    if (end == text || *end || errno || n < lo || n > hi) return false;
    *v = (int)n;
    return true;
}

bool parse_size(const char *text, int *w, int *h) {
    const char *x = strchr(text, 'x');
    if (!x || x == text) return false;
    const std::string width(text, x);
    return parse_int(width.c_str(), 16, 8192, w) && parse_int(x + 1, 16, 8192, h);
}

// A day of music is far beyond any production; the bound keeps the frame arithmetic in range.
constexpr double MAXSECONDS = 86400;

bool parse_seconds(const char *text, double *v) {
    char *end = nullptr;
    errno = 0;
    *v = strtod(text, &end);
    return end != text && !*end && !errno && std::isfinite(*v) && *v >= 0 && *v <= MAXSECONDS;
}

// Reads the command line into `opt`; returns -1 to play, or the exit status to end with.
int parse_options(int argc, char **args, s_playeroptions *opt) {
    bool have_image = false;
    for (int i = 1; i < argc; ++i) {
        const char *a = args[i];
        const bool takes_value = !strcmp(a, "--size") || !strcmp(a, "--display") ||
                                 !strcmp(a, "--from") || !strcmp(a, "--timing");
        if (takes_value && i + 1 >= argc) return refuse("%s needs a value", a);
        const char *v = takes_value ? args[++i] : nullptr;
        if (!strcmp(a, "--help") || !strcmp(a, "-h")) {
            fputs(USAGE, stdout);
            return 0;
        } else if (core_logoption(a)) {
            continue;
        } else if (!strcmp(a, "--window")) {
            opt->window = true;
        } else if (!strcmp(a, "--mute")) {
            opt->mute = true;
        } else if (!strcmp(a, "--size")) {
            if (!parse_size(v, &opt->width, &opt->height))
                return refuse("bad --size '%s' (expected WxH, 16 to 8192 each)", v);
        } else if (!strcmp(a, "--display")) {
            const int displays = mox_getnumdisplays();
            if (!parse_int(v, 0, displays - 1, &opt->display))
                return refuse("bad --display '%s' (this machine has monitors 0 to %d)", v,
                              displays - 1);
        } else if (!strcmp(a, "--from")) {
            if (!parse_seconds(v, &opt->from))
                return refuse("bad --from '%s' (expected seconds, 0 to %.0f)", v, MAXSECONDS);
        } else if (!strcmp(a, "--timing")) {
            if (!*v) return refuse("--timing needs a file name");
            opt->timing = v;
        } else if (a[0] == '-' && a[1]) {
            return refuse("unknown option '%s'", a);
        } else if (have_image) {
            return refuse("more than one image: '%s' and '%s'", opt->image, a);
        } else {
            opt->image = a;
            have_image = true;
        }
    }
    return -1;
}

// Mounts the resource image, or says why it cannot be played.
bool mount_image(const char *name) {
    struct stat st;
    const char *why = nullptr;
    if (stat(name, &st) != 0)
        why = strerror(errno);
    else if (!S_ISREG(st.st_mode))
        why = "not a regular file";
    else if (st.st_size == 0)
        why = "the file is empty";
    else if (!corefile_mountimage(name, 0))
        why = "not a resource image, or truncated or damaged";
    if (!why) return true;
    core_log(LOG_ERROR, "player.bad_image", "invite: cannot play %s: %s\n", name, why);
    return false;
}

bool has_project(const char *name) {
    s_corefile file;
    if (!corefile_open(name, &file, 0)) return false;
    corefile_close(&file);
    return true;
}

// Plays the image the command line names; returns the exit status.
int play(int argc, char **args) {
    int key = 0, keytrig = 0;
    s_playeroptions opt;
    const int status = parse_options(argc, args, &opt);
    if (status >= 0) return status;
    FILE *timing = nullptr;
    if (opt.timing && !(timing = fopen(opt.timing, "w")))
        return refuse("cannot write --timing file '%s': %s", opt.timing, strerror(errno));

    srand(13371337);
    strcpy(gbd_demo.resfolder, "data_invite");
    if (!mount_image(opt.image)) return 1;
    if (!has_project(PROJECTFILE)) {
        core_log(LOG_ERROR, "player.no_project", "invite: %s holds no project file %s\n", opt.image,
                 PROJECTFILE);
        return 1;
    }
    mox_setdisplay(opt.display);
    MOX_InitVideo(opt.width, opt.height, opt.window ? 0 : MOX_VIDEO_FULLSCREEN);
    MOX_HideMouse();
    core_log(LOG_PROGRESS, "demo.init_sound", "- Init Sound\n");
    Soundsystem_Init(44100, 8, 2);
    if (opt.mute) Soundsystem_SetMasterVolume(0);
    gbd_demo.effects = invite_effects;
    gbd_demo.Load(PROJECTFILE);
    const s_sound &music = gbd_demo.demomusic;
    const uint64_t musicframes = music.numchannels ? music.length / music.numchannels : 0;
    if (musicframes == 0 || music.samplerate == 0) {
        core_log(LOG_ERROR, "player.bad_music",
                 "invite: the music '%s' of %s could not be loaded\n", gbd_demo.musicfilename,
                 opt.image);
        return 1;
    }
    const uint64_t start = (uint64_t)std::llround(opt.from * music.samplerate);
    if (start >= musicframes)
        return refuse("--from %.3f lies at or after the end of the music (%.3f s)", opt.from,
                      (double)musicframes / music.samplerate);
    gbd_demo.Start();
    if (start > 0) Soundsystem_SetSoundOffset(&gbd_demo.demomusic, start);

    int demoexit = 0;
    bool timing_ok = true;
    s_framepacer pacer;
    while (!demoexit) {
        MOX_WaitRefresh();
        // Each frame shows the music where it will be heard when the frame appears, and is
        // held until that moment.
        const double started = soundclock_now();
        Soundsystem_SetHeardAhead(framepacer_budget(pacer));
        MOX_ClearFrameBuffer(0);
        // Asked before the frame reads its position, so the last frame shows the music's end.
        if (!Soundsystem_IsHeard(gbd_demo.demomusic)) demoexit = 1;
        gbd_demo.HandleDemo();
        MOX_GetKeys(&key, &keytrig);
        if (key & 0x8000) demoexit = 1;
        const double swapat = framepacer_swapat(pacer, started);
        const double ready = MOX_SwapBuffersAt(swapat);
        const double presented = soundclock_now();
        framepacer_record(&pacer, started, ready, std::max(ready, swapat), presented);
        // Written through at once: closing the window ends the process without returning here.
        if (timing && timing_ok)
            timing_ok = fprintf(timing, "%.6f %d\n", presented, gbd_demo.position) > 0 &&
                        fflush(timing) == 0;
    }
    if (timing && (fclose(timing) != 0 || !timing_ok)) {
        core_log(LOG_ERROR, "player.timing_failed", "invite: writing the timing file %s failed\n",
                 opt.timing);
        return 1;
    }
    return 0;
}

}  // namespace

int coremain(int argc, char **args) {
    const int status = play(argc, args);
    gbd_demo.Release();
    return status;
}

// fentro-render: plays a production without sound on a fixed time step and writes exactly the
// frames the player would present, as TGA files or piped to ffmpeg as a video.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "core/corefile.h"
#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "demosystem/invite/invite.h"
#include "mox/mox.h"
#include "tools/gen/tga.h"

extern char **environ;

c_demo gbd_demo;

namespace {

const char *const USAGE =
    "usage: fentro-render [options] [SOURCE]\n"
    "Plays a production frame by frame without sound and writes the presented frames.\n"
    "  SOURCE            a resource image (default outline.dat) or a directory\n"
    "  --project NAME    project file in the source (default demo.fentro)\n"
    "  --size WxH        size of the presented frame (default 1920x1080)\n"
    "  --fps N           frames per second of music time (default 60)\n"
    "  --from SECONDS    first frame's music time (default 0)\n"
    "  --to SECONDS      end of the range, exclusive (default: the end of the music)\n"
    "  --at F1,F2,...    render exactly these music positions, in sample frames, in this order\n"
    "  --out DIR         write DIR/frame_NNNNNN.tga (32-bit, top-left origin); with --at the\n"
    "                    number is the music position\n"
    "  --out FILE.mp4    pipe the frames to ffmpeg with the music (also .webm, .mkv); the\n"
    "                    frame size must be even; with --at the video has no sound\n"
    "  --quiet           no progress line\n"
    "  --help            this text\n";

struct options {
    std::string source = "outline.dat";
    std::string project = "demo.fentro";
    std::string out;
    int width = 1920, height = 1080;
    int fps = 60;
    double from = 0.0, to = -1.0;
    std::vector<long long> at;
    bool quiet = false;
};

options opt;

// The music written out for ffmpeg; removed on every way out.
std::string musicfile;

[[noreturn]] __attribute__((format(printf, 1, 2))) void fail(const char *format, ...)
{
    fputs("fentro-render: ", stderr);
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    if (!musicfile.empty()) remove(musicfile.c_str());
    fflush(stdout);
    // The driver's event thread may be running: end the process without running destructors.
    _exit(1);
}

bool parse_number(const char *text, double *v)
{
    char *end = nullptr;
    errno = 0;
    *v = strtod(text, &end);
    return end != text && *end == 0 && errno == 0 && std::isfinite(*v);
}

bool parse_int(const char *text, long long lo, long long hi, long long *v)
{
    char *end = nullptr;
    errno = 0;
    *v = strtoll(text, &end, 10);
    return end != text && *end == 0 && errno == 0 && *v >= lo && *v <= hi;
}

void parse_options(int argc, char *argv[])
{
    bool have_source = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc) fail("%s needs a value", a.c_str());
            return argv[++i];
        };
        long long n;
        double d;
        if (a == "--help" || a == "-h") {
            fputs(USAGE, stdout);
            exit(0);
        } else if (a == "--quiet") {
            opt.quiet = true;
        } else if (a == "--project") {
            opt.project = value();
        } else if (a == "--out") {
            opt.out = value();
        } else if (a == "--size") {
            const char *v = value();
            int w = 0, h = 0;
            char tail = 0;
            if (sscanf(v, "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 || w > 8192 || h > 8192)
                fail("bad --size '%s' (expected WxH, 16 to 8192 each)", v);
            opt.width = w, opt.height = h;
        } else if (a == "--fps") {
            const char *v = value();
            if (!parse_int(v, 1, 1000, &n)) fail("bad --fps '%s' (expected 1 to 1000)", v);
            opt.fps = (int)n;
        } else if (a == "--from" || a == "--to") {
            const char *v = value();
            if (!parse_number(v, &d) || d < 0) fail("bad time '%s' (expected seconds, 0 or more)", v);
            (a == "--from" ? opt.from : opt.to) = d;
        } else if (a == "--at") {
            std::string list = value();
            size_t start = 0;
            while (start <= list.size()) {
                const size_t comma = list.find(',', start);
                const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                if (!parse_int(item.c_str(), 0, 0x7fffffff, &n)) fail("bad --at position '%s'", item.c_str());
                opt.at.push_back(n);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else if (!a.empty() && a[0] == '-') {
            fail("unknown option '%s' (see --help)", a.c_str());
        } else if (have_source) {
            fail("more than one source given ('%s')", a.c_str());
        } else {
            opt.source = a;
            have_source = true;
        }
    }
    if (opt.to >= 0 && opt.to <= opt.from) fail("--to must lie after --from");
}

bool is_video_name(const std::string &name)
{
    for (const char *ext : {".mp4", ".webm", ".mkv"}) {
        const size_t n = strlen(ext);
        if (name.size() > n && name.compare(name.size() - n, n, ext) == 0) return true;
    }
    return false;
}

bool program_on_path(const char *name)
{
    const char *path = getenv("PATH");
    if (!path) return false;
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t colon = dirs.find(':', start);
        const std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        const std::string full = (dir.empty() ? "." : dir) + "/" + name;
        struct stat st;
        if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0) return true;
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return false;
}

void mount_source()
{
    struct stat st;
    if (stat(opt.source.c_str(), &st) != 0) fail("cannot read the source '%s'", opt.source.c_str());
    int ok;
    if (S_ISDIR(st.st_mode)) {
        std::string dir = opt.source;
        if (dir.back() != '/') dir += '/';
        ok = corefile_mountimage(dir.c_str(), 2);
    } else {
        ok = corefile_mountimage(opt.source.c_str(), 0);
    }
    if (!ok) fail("cannot mount the source '%s' (not a resource image?)", opt.source.c_str());
    s_corefile f;
    if (!corefile_open(opt.project.c_str(), &f, 0)) fail("the source holds no project file '%s'", opt.project.c_str());
    corefile_close(&f);
}

// Everything about the output that can be checked before the production is loaded.
void check_output()
{
    if (opt.out.empty()) fail("no output given: use --out DIR or --out FILE.mp4");
    if (is_video_name(opt.out)) {
        if (!program_on_path("ffmpeg"))
            fail("writing '%s' needs the program ffmpeg, which is not installed (apt-get install ffmpeg)", opt.out.c_str());
        // yuv420p, which players expect, halves both dimensions.
        if (opt.width % 2 || opt.height % 2) fail("a video needs an even --size, not %dx%d", opt.width, opt.height);
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(opt.out, ec);
    if (!std::filesystem::is_directory(opt.out)) fail("cannot create the output folder '%s'", opt.out.c_str());
}

// The music written to a temporary WAV for ffmpeg, which cannot read the resource image.
std::string extract_music()
{
    s_corefile f;
    if (!corefile_open(gbd_demo.musicfilename, &f, 0)) return "";
    std::vector<unsigned char> bytes(corefile_fsize(&f));
    corefile_read(bytes.data(), 1, (uint32_t)bytes.size(), &f);
    corefile_close(&f);
    char name[] = "/tmp/fentro-render-music-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return "";
    musicfile = name;
    FILE *fp = fdopen(fd, "wb");
    bool ok = fp && fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
    if (fp) ok = fclose(fp) == 0 && ok;
    else close(fd);
    if (!ok) {
        remove(name);
        musicfile.clear();
    }
    return musicfile;
}

// Where the frames go: numbered TGA files or ffmpeg's standard input.
struct sink {
    FILE *pipe = nullptr;
    pid_t ffmpeg = -1;
    std::vector<uint32_t> argb;

    // Starts ffmpeg on a pipe, without a shell, so that no file name is ever parsed as a
    // command; frames start at music time `start` seconds.
    void open(double start)
    {
        if (!is_video_name(opt.out)) return;
        std::vector<std::string> args = {"ffmpeg", "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "bgra",
                                         "-s", std::to_string(opt.width) + "x" + std::to_string(opt.height),
                                         "-framerate", std::to_string(opt.fps), "-i", "-"};
        // Positions given with --at lie on no time grid that the music could follow.
        if (opt.at.empty() && !extract_music().empty()) {
            char seek[32];
            snprintf(seek, sizeof seek, "%.6f", start);
            args.insert(args.end(), {"-ss", seek, "-i", musicfile, "-map", "0:v", "-map", "1:a", "-shortest"});
        }
        args.insert(args.end(), {"-pix_fmt", "yuv420p", opt.out});
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) fail("cannot start ffmpeg for '%s': %s", opt.out.c_str(), strerror(errno));
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        // This process ignores SIGPIPE; ffmpeg gets the default back.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t sigs;
        sigemptyset(&sigs);
        sigaddset(&sigs, SIGPIPE);
        posix_spawnattr_setsigdefault(&attr, &sigs);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
        const int err = posix_spawnp(&ffmpeg, "ffmpeg", &actions, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        ::close(fds[0]);
        if (err != 0) {
            ::close(fds[1]);
            fail("cannot start ffmpeg for '%s': %s", opt.out.c_str(), strerror(err));
        }
        pipe = fdopen(fds[1], "wb");
        if (!pipe) fail("cannot start ffmpeg for '%s'", opt.out.c_str());
    }

    void write(long long number, const std::vector<unsigned char> &rgba)
    {
        to_argb(rgba);
        if (pipe) {
            // ffmpeg reads BGRA bytes: the 0xAARRGGBB words in little-endian memory.
            if (fwrite(argb.data(), 4, argb.size(), pipe) != argb.size()) fail("ffmpeg stopped taking frames for '%s'", opt.out.c_str());
            return;
        }
        char name[64];
        snprintf(name, sizeof name, "/frame_%06lld.tga", number);
        if (!tga_write_rgba32((opt.out + name).c_str(), argb.data(), opt.width, opt.height))
            fail("cannot write frames into '%s'", opt.out.c_str());
    }

    // GL rows come bottom-up in RGBA byte order; the presented picture is opaque, as on screen.
    void to_argb(const std::vector<unsigned char> &rgba)
    {
        argb.resize((size_t)opt.width * opt.height);
        for (int y = 0; y < opt.height; ++y) {
            const unsigned char *src = &rgba[(size_t)(opt.height - 1 - y) * opt.width * 4];
            uint32_t *dst = &argb[(size_t)y * opt.width];
            for (int x = 0; x < opt.width; ++x, src += 4)
                dst[x] = 0xFF000000u | uint32_t(src[0]) << 16 | uint32_t(src[1]) << 8 | src[2];
        }
    }

    void close()
    {
        if (pipe) {
            const bool flushed = fclose(pipe) == 0;
            int status = 0;
            while (waitpid(ffmpeg, &status, 0) < 0 && errno == EINTR) {}
            if (!flushed || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
                fail("ffmpeg failed to write '%s'", opt.out.c_str());
        }
        if (!musicfile.empty()) remove(musicfile.c_str());
        musicfile.clear();
    }
};

void progress(long long n, long long total, std::chrono::steady_clock::time_point start)
{
    if (opt.quiet) return;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double fps = elapsed > 0 ? n / elapsed : 0.0;
    const double left = fps > 0 ? (total - n) / fps : 0.0;
    fprintf(stderr, "\rframe %lld of %lld, %.1f frames/s, %.0f s left   ", n, total, fps, left);
    if (n == total) fputc('\n', stderr);
}

}  // namespace

int coremain(int, char *[])
{
    // The same start-up as the player, with a hidden window and no audible device.
    srand(13371337);
    strcpy(gbd_demo.resfolder, "data_invite");
    MOX_InitVideo(opt.width, opt.height, MOX_VIDEO_HIDDEN);
    if (!MOX_VideoReady()) fail("no OpenGL context for the presented frame");
    MOX_HideMouse();
    puts("- Init Sound");
    Soundsystem_Init(44100, 8, 2);
    // Nothing mixes from here on: the music stands where each frame puts it.
    Soundsystem_CloseAudio();
    gbd_demo.effects = invite_effects;
    gbd_demo.Load(opt.project.c_str());
    gbd_demo.Start();

    const uint32_t rate = gbd_demo.demomusic.samplerate;
    const long long musicframes = gbd_demo.demomusic.numchannels ? gbd_demo.demomusic.length / gbd_demo.demomusic.numchannels : 0;
    if (rate == 0 || musicframes == 0) fail("the production's music '%s' did not load", gbd_demo.musicfilename);

    std::vector<long long> positions = opt.at;
    // A position past the music would show the music's last frame under another number.
    for (long long p : positions)
        if (p >= musicframes) fail("--at position %lld lies after the music's last frame %lld", p, musicframes - 1);
    if (positions.empty()) {
        const double end = opt.to >= 0 ? std::min(opt.to * rate, (double)musicframes) : (double)musicframes;
        const long long first = (long long)std::llround(opt.from * rate);
        for (long long n = 0;; ++n) {
            const long long t = first + n * (long long)rate / opt.fps;
            if (t >= end) break;
            positions.push_back(t);
        }
        if (positions.empty()) fail("no frames to render: --from %.3f lies at or after the end of the music (%.3f s)", opt.from, (double)musicframes / rate);
    }

    const int target = MOX_CreateFrameBuffer(opt.width, opt.height, 0);
    if (target < 0) fail("no framebuffer left for the presented frame");
    MOX_SetPresentTarget(target);

    sink out;
    out.open((double)positions[0] / rate);
    std::vector<unsigned char> rgba((size_t)opt.width * opt.height * 4);
    const auto start = std::chrono::steady_clock::now();
    const long long total = (long long)positions.size();
    for (long long n = 0; n < total; ++n) {
        Soundsystem_SetSoundOffset(&gbd_demo.demomusic, (uint64_t)positions[n]);
        MOX_ClearFrameBuffer(0);
        gbd_demo.HandleDemo();
        MOX_SwapBuffers();
        MOX_ReadFrameBuffer(target, rgba.data());
        out.write(opt.at.empty() ? n : positions[n], rgba);
        progress(n + 1, total, start);
    }
    out.close();
    return 0;
}

// Options, source and output are checked before the driver starts, so that mistakes are
// reported at once and without a display.
int main(int argc, char *argv[])
{
    // A pipe to an ffmpeg that has quit reports an error instead of ending the process.
    signal(SIGPIPE, SIG_IGN);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    parse_options(argc, argv);
    mount_source();
    check_output();
    const int result = mox_processentry(argc, argv, coremain);
    fflush(nullptr);
    if (result != 0) fputs("fentro-render: no window for the OpenGL context (no display? run it under xvfb-run)\n", stderr);
    _exit(result);
}

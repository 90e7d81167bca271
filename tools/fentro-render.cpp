// fentro-render: plays a production without sound on a fixed time step and writes exactly the
// frames the player would present, as TGA files or piped to ffmpeg as a video.
//
// Threads and processes: the driver's program thread plays the production and makes every GL
// call; a writer thread converts the frames read back and writes them, in their order. With
// --jobs N the range is split into N parts: this process renders the first and N - 1 worker
// processes, forked before anything is mounted or started, render the others.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <spawn.h>
#include <string>
#include <sys/mman.h>
#include <sys/uio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/coredebug.h"
#include "core/corefile.h"
#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "demosystem/invite/invite.h"
#include "mox/mox.h"

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
    "  --jobs N          split the range into N parts rendered by N processes (1 to 16);\n"
    "                    video parts are joined without encoding them again\n"
    "  --quiet           only errors and warnings: no loading messages, no progress line\n"
    "  --verbose         also debugging messages\n"
    "  --help            this text\n";

// Music time is limited to a day: positions then stay far inside 64-bit arithmetic.
constexpr double MAX_SECONDS = 86400;
constexpr int MAX_JOBS = 16;

struct options {
    std::string source = "outline.dat";
    std::string project = "demo.fentro";
    std::string out;
    int width = 1920, height = 1080;
    int fps = 60;
    double from = 0.0, to = -1.0;
    std::vector<long long> at;
    int jobs = 1;
};

options opt;

// Which part of the range this process renders (0 is the first process, which joins).
int part = 0;

// Frames written by all processes, in memory shared with the workers, for the progress line.
std::atomic<long long> *frames_done = nullptr;

// What a failure must remove: the music written out for ffmpeg, ffmpeg's temporary output
// (and the running ffmpeg), the folder of video parts, the worker processes.
std::string musicfile;
std::string videotemp;
std::string partsfolder;

// Removes the music written out for ffmpeg, once ffmpeg is done with it or has failed.
void remove_music() {
    if (!musicfile.empty()) remove(musicfile.c_str());
    musicfile.clear();
}

pid_t ffmpeg_pid = -1;
int ffmpeg_pipe = -1;
std::vector<pid_t> workers;

void stop_child(pid_t pid) {
    kill(pid, SIGTERM);
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Any thread. Removes what this process started and ends it without running destructors
// (the driver's event thread may be running).
[[noreturn]] void leave(int status) {
    static std::mutex once;
    once.lock();  // a second failing thread waits here until the process ends
    if (ffmpeg_pipe >= 0) close(ffmpeg_pipe);
    if (ffmpeg_pid > 0) stop_child(ffmpeg_pid);
    for (pid_t w : workers) stop_child(w);
    if (!videotemp.empty()) remove(videotemp.c_str());
    if (!partsfolder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(partsfolder, ec);
    }
    remove_music();
    fflush(stdout);
    _exit(status);
}

void vreport(const char *id, const char *format, va_list args) {
    char text[1024];
    vsnprintf(text, sizeof text, format, args);
    core_log(LOG_ERROR, id, "fentro-render: %s\n", text);
}

[[noreturn]] __attribute__((format(printf, 2, 3))) void fail(const char *id, const char *format,
                                                             ...) {
    va_list args;
    va_start(args, format);
    vreport(id, format, args);
    va_end(args);
    leave(1);
}

// A mistake on the command line: the reason, the usage and status 2.
[[noreturn]] __attribute__((format(printf, 1, 2))) void usage_error(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vreport("render.bad_option", format, args);
    va_end(args);
    fputs(USAGE, stderr);
    leave(2);
}

bool parse_number(const char *text, double lo, double hi, double *v) {
    char *end = nullptr;
    errno = 0;
    *v = strtod(text, &end);
    return end != text && *end == 0 && errno == 0 && *v >= lo && *v <= hi;
}

bool parse_int(const char *text, long long lo, long long hi, long long *v) {
    char *end = nullptr;
    errno = 0;
    *v = strtoll(text, &end, 10);
    return end != text && *end == 0 && errno == 0 && *v >= lo && *v <= hi;
}

void parse_options(int argc, char *argv[]) {
    bool have_source = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc) usage_error("%s needs a value", a.c_str());
            return argv[++i];
        };
        long long n;
        double d;
        if (a == "--help" || a == "-h") {
            fputs(USAGE, stdout);
            exit(0);
        } else if (core_logoption(argv[i])) {
        } else if (a == "--project") {
            opt.project = value();
        } else if (a == "--out") {
            opt.out = value();
        } else if (a == "--size") {
            const char *v = value();
            int w = 0, h = 0;
            char tail = 0;
            if (sscanf(v, "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 || w > 8192 ||
                h > 8192)
                usage_error("bad --size '%s' (expected WxH, 16 to 8192 each)", v);
            opt.width = w, opt.height = h;
        } else if (a == "--fps") {
            const char *v = value();
            if (!parse_int(v, 1, 1000, &n)) usage_error("bad --fps '%s' (expected 1 to 1000)", v);
            opt.fps = (int)n;
        } else if (a == "--jobs") {
            const char *v = value();
            if (!parse_int(v, 1, MAX_JOBS, &n))
                usage_error("bad --jobs '%s' (expected 1 to %d)", v, MAX_JOBS);
            opt.jobs = (int)n;
        } else if (a == "--from" || a == "--to") {
            const char *v = value();
            if (!parse_number(v, 0, MAX_SECONDS, &d))
                usage_error("bad time '%s' (expected seconds, 0 to %.0f)", v, MAX_SECONDS);
            (a == "--from" ? opt.from : opt.to) = d;
        } else if (a == "--at") {
            std::string list = value();
            size_t start = 0;
            while (start <= list.size()) {
                const size_t comma = list.find(',', start);
                const std::string item = list.substr(
                    start, comma == std::string::npos ? std::string::npos : comma - start);
                if (!parse_int(item.c_str(), 0, 0x7fffffff, &n))
                    usage_error("bad --at position '%s'", item.c_str());
                opt.at.push_back(n);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else if (!a.empty() && a[0] == '-') {
            usage_error("unknown option '%s'", a.c_str());
        } else if (have_source) {
            usage_error("more than one source given ('%s')", a.c_str());
        } else {
            opt.source = a;
            have_source = true;
        }
    }
    if (opt.to >= 0 && opt.to <= opt.from) usage_error("--to must lie after --from");
}

bool is_video_name(const std::string &name) {
    for (const char *ext : {".mp4", ".webm", ".mkv"}) {
        const size_t n = strlen(ext);
        if (name.size() > n && name.compare(name.size() - n, n, ext) == 0) return true;
    }
    return false;
}

// ffmpeg's container for a video name: temporary names carry no telling extension.
const char *video_format(const std::string &name) {
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".webm") == 0) return "webm";
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".mkv") == 0) return "matroska";
    return "mp4";
}

bool program_on_path(const char *name) {
    const char *path = getenv("PATH");
    if (!path) return false;
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t colon = dirs.find(':', start);
        const std::string dir =
            dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        const std::string full = (dir.empty() ? "." : dir) + "/" + name;
        struct stat st;
        if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0)
            return true;
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return false;
}

void mount_source() {
    struct stat st;
    if (stat(opt.source.c_str(), &st) != 0)
        fail("render.no_source", "cannot read the source '%s'", opt.source.c_str());
    // Opening a pipe or a device could block or read without end.
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
        fail("render.no_source", "the source '%s' is neither a file nor a folder",
             opt.source.c_str());
    int ok;
    if (S_ISDIR(st.st_mode)) {
        std::string dir = opt.source;
        if (dir.back() != '/') dir += '/';
        ok = corefile_mountimage(dir.c_str(), 2);
    } else {
        ok = corefile_mountimage(opt.source.c_str(), 0);
    }
    if (!ok)
        fail("render.no_source", "cannot mount the source '%s' (not a resource image?)",
             opt.source.c_str());
    s_corefile f;
    if (!corefile_open(opt.project.c_str(), &f, 0))
        fail("render.no_project", "the source holds no project file '%s'", opt.project.c_str());
    corefile_close(&f);
}

// Everything about the output that can be checked before the production is loaded.
void check_output() {
    if (opt.out.empty())
        fail("render.no_output", "no output given: use --out DIR or --out FILE.mp4");
    if (is_video_name(opt.out)) {
        if (!program_on_path("ffmpeg"))
            fail("render.no_ffmpeg",
                 "writing '%s' needs the program ffmpeg, which is not installed (apt-get install "
                 "ffmpeg)",
                 opt.out.c_str());
        // yuv420p, which players expect, halves both dimensions.
        if (opt.width % 2 || opt.height % 2)
            fail("render.odd_size", "a video needs an even --size, not %dx%d", opt.width,
                 opt.height);
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(opt.out, ec);
    if (!std::filesystem::is_directory(opt.out))
        fail("render.no_output", "cannot create the output folder '%s'", opt.out.c_str());
}

// The music written to a temporary WAV for ffmpeg, which cannot read the resource image.
std::string extract_music() {
    s_corefile f;
    if (!corefile_open(gbd_demo.musicfilename, &f, 0)) return "";
    std::vector<unsigned char> bytes(corefile_fsize(&f));
    corefile_read(bytes.data(), 1, (uint32_t)bytes.size(), &f);
    corefile_close(&f);
    const char *tmp = getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/fentro-render-music-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) return "";
    musicfile = name;
    FILE *fp = fdopen(fd, "wb");
    bool ok = fp && fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
    if (fp)
        ok = fclose(fp) == 0 && ok;
    else
        close(fd);
    if (!ok) remove_music();
    return musicfile;
}

// Runs ffmpeg with `args` (without a shell, so that no file name is ever parsed as a command)
// and returns the writing end of a pipe to its standard input, or -1 with `stdin_pipe` false.
pid_t spawn_ffmpeg(std::vector<std::string> args, bool stdin_pipe, int *pipe_out) {
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2] = {-1, -1};
    if (stdin_pipe && pipe2(fds, O_CLOEXEC) != 0)
        fail("render.ffmpeg_failed", "cannot start ffmpeg for '%s': %s", opt.out.c_str(),
             strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdin_pipe) posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    // This process ignores SIGPIPE; ffmpeg gets the default back.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t sigs;
    sigemptyset(&sigs);
    sigaddset(&sigs, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &sigs);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int err = posix_spawnp(&pid, "ffmpeg", &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (stdin_pipe) close(fds[0]);
    if (err != 0) {
        if (stdin_pipe) close(fds[1]);
        fail("render.ffmpeg_failed", "cannot start ffmpeg for '%s': %s", opt.out.c_str(),
             strerror(err));
    }
    if (pipe_out) *pipe_out = fds[1];
    return pid;
}

bool wait_ffmpeg() {
    int status = 0;
    while (waitpid(ffmpeg_pid, &status, 0) < 0 && errno == EINTR) {
    }
    ffmpeg_pid = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The name of part k's video in the parts folder, relative to it.
std::string part_name(int k) {
    return "part-" + std::to_string(k) + std::string(opt.out.substr(opt.out.rfind('.')));
}

// The video's temporary name beside it: a failed run keeps what was there before.
std::string temporary_video() { return opt.out + "." + std::to_string(getpid()) + ".tmp"; }

// The frames to render: the --at list, or a fixed step from --from up to --to or the end of
// the music. Positions are computed, not stored, so any range costs no memory.
struct frame_range {
    std::vector<long long> at;
    long long first = 0, end = 0;
    long long rate = 1, fps = 1;

    long long count() const {
        if (!at.empty()) return (long long)at.size();
        // Frame n lies at first + floor(n * rate / fps), before `end`.
        return end > first ? ((end - first) * fps + rate - 1) / rate : 0;
    }
    long long position(long long n) const { return at.empty() ? first + n * rate / fps : at[n]; }
    // Frames are numbered by their index, or by their position when given with --at.
    long long number(long long n) const { return at.empty() ? n : at[n]; }
};

// A TGA file's header, and the alignment (in bytes, of addresses, lengths and offsets) that
// writes bypassing the page cache take.
constexpr size_t TGA_HEADER = 18;
constexpr size_t DIRECT_ALIGN = 4096;

size_t round_up(size_t n, size_t to) { return (n + to - 1) / to * to; }

// One presented frame as read back: RGBA bytes with rows bottom first or, with `filed`, as
// the file holds them: opaque B, G, R, A bytes with rows top first. The pixels follow
// TGA_HEADER bytes of room in a block aligned for direct writes and long enough for one, so
// that a filed frame is written with its header as it lies.
struct frame {
    long long number = 0;
    bool filed = false;
    size_t bytes = 0;
    std::unique_ptr<unsigned char, decltype(&free)> block{nullptr, free};

    explicit frame(size_t pixelbytes) : bytes(pixelbytes) {
        const size_t size = round_up(TGA_HEADER + bytes, DIRECT_ALIGN);
        block.reset(static_cast<unsigned char *>(aligned_alloc(DIRECT_ALIGN, size)));
        if (!block) throw std::bad_alloc();
        // The padding of a direct write reaches the disk before the file is cut to length.
        memset(block.get(), 0, size);
    }
    unsigned char *pixels() const { return block.get() + TGA_HEADER; }
};

// Makes the frame's pixels what the file or ffmpeg takes, in place: B, G, R, A bytes (the
// 0xAARRGGBB words in little-endian memory), opaque as on screen.
void to_opaque_bgra(frame &f) {
    if (f.filed) return;
    unsigned char *p = f.pixels();
    const size_t n = f.bytes;
    for (size_t i = 0; i + 3 < n; i += 4) {
        const unsigned char r = p[i];
        p[i] = p[i + 2];
        p[i + 2] = r;
        p[i + 3] = 0xFF;
    }
}

// Writes `header` and then the frame's rows from the top, straight from the frame's buffer;
// false with errno set when the descriptor took less.
bool write_top_down(int fd, const std::vector<uint8_t> &header, const frame &f, int width,
                    int height) {
    const size_t row = (size_t)width * 4;
    std::vector<iovec> parts;
    parts.reserve((size_t)height + 1);
    if (!header.empty()) parts.push_back({const_cast<uint8_t *>(header.data()), header.size()});
    if (f.filed)
        parts.push_back({f.pixels(), f.bytes});
    else
        for (int y = height - 1; y >= 0; --y) parts.push_back({f.pixels() + (size_t)y * row, row});
    size_t next = 0;
    while (next < parts.size()) {
        const int count = (int)std::min(parts.size() - next, (size_t)IOV_MAX);
        const ssize_t done = writev(fd, &parts[next], count);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            if (done == 0) errno = EIO;
            return false;
        }
        // Past the parts written whole; a part written in part continues where it stopped.
        size_t left = (size_t)done;
        while (left > 0 && left >= parts[next].iov_len) left -= parts[next++].iov_len;
        if (left > 0) {
            parts[next].iov_base = static_cast<char *>(parts[next].iov_base) + left;
            parts[next].iov_len -= left;
        }
    }
    return true;
}

// Creates `path` for writing, with `flags` added to the usual ones.
int create(const std::string &path, int flags) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | flags, 0666);
}

// Writes `size` bytes from `data`; false with errno set when the descriptor took less.
bool write_all(int fd, const unsigned char *data, size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            if (done == 0) errno = EIO;
            return false;
        }
        data += done;
        size -= (size_t)done;
    }
    return true;
}

// Writes the `size` bytes at the start of `block` (aligned, with room up to the next multiple
// of DIRECT_ALIGN) into a new file `path`; returns its descriptor, or -1 with errno set.
// Where the file system takes direct writes the block goes to the disk without a copy into
// the page cache, which costs the capture as much CPU as a layer pass, and the file is then
// cut to its length. Where that fails for any reason (a file system without direct writes,
// a size limit the padding crosses), the file is written again the usual way, which also
// gives the error to report.
int write_direct(const std::string &path, const unsigned char *block, size_t size) {
    int fd = create(path, O_DIRECT);
    if (fd >= 0) {
        if (write_all(fd, block, round_up(size, DIRECT_ALIGN)) && ftruncate(fd, (off_t)size) == 0)
            return fd;
        ::close(fd);
    }
    fd = create(path, 0);
    if (fd >= 0 && !write_all(fd, block, size)) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

// Where the frames go: numbered TGA files (each written under a temporary name and renamed,
// so that no partial frame is ever left) or ffmpeg's standard input. `write` runs on the
// writer thread, the rest on the program thread.
struct sink {
    int pipe = -1;
    std::vector<uint8_t> header;

    // Starts ffmpeg for a video written into `target`; with a music time `music` (seconds,
    // where the first frame lies) the production's music goes along.
    void open(const std::string &target, double music) {
        std::vector<std::string> args = {
            "ffmpeg",     "-loglevel",
            "error",      "-y",
            "-f",         "rawvideo",
            "-pix_fmt",   "bgra",
            "-s",         std::to_string(opt.width) + "x" + std::to_string(opt.height),
            "-framerate", std::to_string(opt.fps),
            "-i",         "-"};
        if (music >= 0 && !extract_music().empty()) {
            char seek[32];
            snprintf(seek, sizeof seek, "%.6f", music);
            args.insert(args.end(),
                        {"-ss", seek, "-i", musicfile, "-map", "0:v", "-map", "1:a", "-shortest"});
        }
        args.insert(args.end(), {"-pix_fmt", "yuv420p", "-f", video_format(opt.out), target});
        ffmpeg_pid = spawn_ffmpeg(args, true, &ffmpeg_pipe);
        pipe = ffmpeg_pipe;
    }

    // Converts the frame in place and writes it. A TGA header says: uncompressed true colour,
    // 32 bits with 8 of alpha, rows from the top.
    void write(frame &f) {
        to_opaque_bgra(f);
        const int w = opt.width, h = opt.height;
        if (pipe >= 0) {
            header.clear();
            if (!write_top_down(pipe, header, f, w, h))
                fail("render.ffmpeg_failed", "ffmpeg stopped taking frames for '%s'",
                     opt.out.c_str());
            return;
        }
        header = {0,          0,
                  2,          0,
                  0,          0,
                  0,          0,
                  0,          0,
                  0,          0,
                  uint8_t(w), uint8_t(w >> 8),
                  uint8_t(h), uint8_t(h >> 8),
                  32,         0x28};
        char name[64];
        snprintf(name, sizeof name, "/frame_%06lld.tga", f.number);
        const std::string path = opt.out + name;
        const std::string temp = opt.out + "/.frame_" + std::to_string(f.number) + ".tga.tmp";
        // A filed frame lies in its block as the file holds it, after the header's room.
        if (f.filed) memcpy(f.block.get(), header.data(), TGA_HEADER);
        const int fd =
            f.filed ? write_direct(temp, f.block.get(), TGA_HEADER + f.bytes) : create(temp, 0);
        bool ok = fd >= 0 && (f.filed || write_top_down(fd, header, f, w, h));
        int err = errno;
        if (fd >= 0 && ::close(fd) != 0 && ok) {
            ok = false;
            err = errno;
        }
        if (ok && rename(temp.c_str(), path.c_str()) != 0) {
            ok = false;
            err = errno;
        }
        if (!ok) {
            remove(temp.c_str());
            fail("render.write_failed", "cannot write '%s': %s", path.c_str(), strerror(err));
        }
    }

    void close() {
        if (pipe < 0) return;
        const bool closed = ::close(pipe) == 0;
        pipe = -1;
        ffmpeg_pipe = -1;
        if (!wait_ffmpeg() || !closed)
            fail("render.ffmpeg_failed", "ffmpeg failed to write '%s'", opt.out.c_str());
        remove_music();
    }
};

// Writes frames in the order they are handed over, on a thread of its own, so that converting
// and writing one frame overlaps rendering the next. A few buffers go round: the program
// thread takes a free one, fills it and hands it over; the writer gives it back when written.
// Without the thread (`threaded` false) a frame is written when it is handed over.
class writer {
public:
    writer(sink *out, bool threaded, size_t bytes) : out_(out), threaded_(threaded) {
        for (int i = 0; i < (threaded ? 3 : 1); ++i) {
            buffers_.push_back(std::make_unique<frame>(bytes));
            free_.push_back(buffers_.back().get());
        }
        if (threaded_) thread_ = std::thread([this] { run(); });
    }

    // Program thread: a buffer to fill, once one is free.
    frame *take() {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [this] { return !free_.empty(); });
        frame *f = free_.front();
        free_.pop_front();
        return f;
    }

    // Program thread: queues a filled buffer for writing.
    void hand(frame *f) {
        if (!threaded_) {
            out_->write(*f);
            give_back(f);
            return;
        }
        std::lock_guard<std::mutex> hold(lock_);
        queued_.push_back(f);
        changed_.notify_all();
    }

    // Program thread: returns when every frame handed over is written.
    void finish() {
        if (!threaded_) return;
        {
            std::lock_guard<std::mutex> hold(lock_);
            closing_ = true;
            changed_.notify_all();
        }
        thread_.join();
    }

private:
    void run() {
        for (;;) {
            frame *f;
            {
                std::unique_lock<std::mutex> hold(lock_);
                changed_.wait(hold, [this] { return !queued_.empty() || closing_; });
                if (queued_.empty()) return;
                f = queued_.front();
                queued_.pop_front();
            }
            out_->write(*f);
            give_back(f);
        }
    }

    void give_back(frame *f) {
        std::lock_guard<std::mutex> hold(lock_);
        free_.push_back(f);
        changed_.notify_all();
    }

    sink *out_;
    bool threaded_;
    std::vector<std::unique_ptr<frame>> buffers_;
    std::deque<frame *> free_, queued_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool closing_ = false;
    std::thread thread_;
};

// Four pixels as one vector of the compiler's, for the copy out of the read-back.
typedef uint32_t words4 __attribute__((vector_size(16)));

// A pixel read back as R, G, B, A bytes (the word 0xAABBGGRR in little-endian memory) as the
// files hold it: B, G, R bytes and an opaque alpha. For single words and vectors alike.
template <typename W>
W to_file_order(W w) {
    return (w & 0xFF00u) | (w >> 16 & 0xFFu) | (w & 0xFFu) << 16 | 0xFF000000u;
}

// Reads presented frames back through two pixel buffer objects: a read is collected one
// frame after it was started, so that the copy need not hold up the program thread. Reads are
// collected in the order they were started. Program thread only.
class readback {
public:
    readback(int width, int height) : bytes_((size_t)width * height * 4), row_((size_t)width * 4) {
        glGenBuffers(2, pbo_);
        for (GLuint b : pbo_) {
            glBindBuffer(GL_PIXEL_PACK_BUFFER, b);
            glBufferData(GL_PIXEL_PACK_BUFFER, (GLsizeiptr)bytes_, nullptr, GL_STREAM_READ);
        }
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }
    ~readback() { glDeleteBuffers(2, pbo_); }

    static bool available() {
        return MOX_framebuffers_enabled && (GLEW_VERSION_2_1 || GLEW_ARB_pixel_buffer_object) &&
               (GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object || GLEW_EXT_framebuffer_blit);
    }

    // Reads started and not yet collected: 0, 1 or 2.
    int waiting() const { return (int)(started_ - collected_); }

    // Starts reading the frame presented into framebuffer `target`; at most two reads wait at
    // a time.
    void start(int target, long long number) {
        const int i = (int)(started_++ % 2);
        const s_framebuffer &f = MOX_framebuffers[target];
        // Bound for reading only: bound for drawing as well, the target would become software
        // GL's render target, which then finishes every pass issued so far (the next frame's
        // layers) before it copies, instead of only the presentation that the read needs.
        glBindFramebufferEXT(GL_READ_FRAMEBUFFER_EXT, MOX_framebufferdata[target].fbo);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, pbo_[i]);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        // The framebuffer's own order, which software GL copies without converting.
        glReadPixels(0, 0, f.width, f.height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        glBindFramebufferEXT(GL_READ_FRAMEBUFFER_EXT,
                             MOX_FrameBuffer ? MOX_framebufferdata[MOX_FrameBuffer->id].fbo : 0);
        number_[i] = number;
    }

    // Copies the oldest waiting read into `f` as the files and ffmpeg take it: B, G, R, A
    // bytes, rows from the top, opaque. The copy that has to be made anyway turns the frame
    // upright and swaps its red and blue.
    void collect(frame *f) {
        const int i = (int)(collected_++ % 2);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, pbo_[i]);
        const auto *pixels =
            static_cast<const unsigned char *>(glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY));
        if (!pixels) fail("render.readback_failed", "cannot read the presented frame back");
        const size_t rows = bytes_ / row_, words = row_ / 4;
        for (size_t y = 0; y < rows; ++y) {
            unsigned char *to = f->pixels() + y * row_;
            const unsigned char *from = pixels + (rows - 1 - y) * row_;
            // The rows follow the header's 18 bytes, so words are moved without alignment:
            // four at a time as one vector, the rest one by one.
            size_t x = 0;
            for (; x + 4 <= words; x += 4) {
                words4 w;
                memcpy(&w, from + 4 * x, sizeof w);
                w = to_file_order(w);
                memcpy(to + 4 * x, &w, sizeof w);
            }
            for (; x < words; ++x) {
                uint32_t w;
                memcpy(&w, from + 4 * x, 4);
                w = to_file_order(w);
                memcpy(to + 4 * x, &w, 4);
            }
        }
        glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        f->number = number_[i];
        f->filed = true;
    }

private:
    size_t bytes_, row_;
    GLuint pbo_[2] = {};
    long long number_[2] = {};
    long long started_ = 0, collected_ = 0;
};

void progress(long long total, std::chrono::steady_clock::time_point start) {
    if (part != 0) return;
    const long long n = frames_done->load();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double fps = elapsed > 0 ? n / elapsed : 0.0;
    const double left = fps > 0 ? (total - n) / fps : 0.0;
    core_log(LOG_PROGRESS, "render.progress",
             "\rframe %lld of %lld, %.1f frames/s, %.0f s left   %s", n, total, fps, left,
             n == total ? "\n" : "");
}

// First process, after its own part: waits for the workers, showing their progress, and
// fails when one of them did.
void wait_for_workers(long long total, std::chrono::steady_clock::time_point start) {
    while (!workers.empty()) {
        int status = 0;
        const pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid < 0 && errno != EINTR) break;
        if (pid <= 0) {
            progress(total, start);
            usleep(200000);
            continue;
        }
        const auto it = std::find(workers.begin(), workers.end(), pid);
        if (it == workers.end()) continue;
        workers.erase(it);
        // The worker has said why.
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) leave(1);
    }
    progress(total, start);
}

// Joins the parts' videos into the output without encoding them again, adding the music.
void join_parts(double start, long long total) {
    const std::string list = partsfolder + "/parts.txt";
    FILE *fp = fopen(list.c_str(), "w");
    bool ok = fp != nullptr;
    // A part with no frames (more jobs than frames) wrote no video.
    for (int k = 0; ok && k < opt.jobs; ++k)
        if (total * (k + 1) / opt.jobs > total * k / opt.jobs)
            ok = fprintf(fp, "file '%s'\n", part_name(k).c_str()) > 0;
    if (fp) ok = fclose(fp) == 0 && ok;
    if (!ok)
        fail("render.write_failed", "cannot write the list of video parts into '%s'",
             partsfolder.c_str());
    std::vector<std::string> args = {"ffmpeg", "-loglevel", "error", "-y", "-f",
                                     "concat", "-safe",     "0",     "-i", list};
    if (opt.at.empty() && !extract_music().empty()) {
        char seek[32];
        snprintf(seek, sizeof seek, "%.6f", start);
        args.insert(args.end(),
                    {"-ss", seek, "-i", musicfile, "-map", "0:v", "-map", "1:a", "-shortest"});
    }
    args.insert(args.end(), {"-c:v", "copy", "-f", video_format(opt.out), videotemp});
    ffmpeg_pid = spawn_ffmpeg(args, false, nullptr);
    if (!wait_ffmpeg())
        fail("render.ffmpeg_failed", "ffmpeg failed to join the parts of '%s'", opt.out.c_str());
    remove_music();
}

}  // namespace

int coremain(int, char *[]) {
    // The same start-up as the player, with a hidden window and no audible device.
    srand(13371337);
    strcpy(gbd_demo.resfolder, "data_invite");
    MOX_InitVideo(opt.width, opt.height, MOX_VIDEO_HIDDEN);
    if (!MOX_VideoReady()) fail("render.no_context", "no OpenGL context for the presented frame");
    MOX_HideMouse();
    core_log(LOG_PROGRESS, "render.init_sound", "- Init Sound\n");
    Soundsystem_Init(44100, 8, 2);
    // Nothing mixes from here on: the music stands where each frame puts it.
    Soundsystem_CloseAudio();
    gbd_demo.effects = invite_effects;
    gbd_demo.Load(opt.project.c_str());
    gbd_demo.Start();
    // Every layer pass and a read-back that waits for each frame: the path the benchmark and
    // the tests compare the shorter one against.
    const bool reference = getenv("FENTRO_RENDER_REFERENCE") != nullptr;
    gbd_demo.everypass = reference;
    MOX_everypass = reference;

    const uint32_t rate = gbd_demo.demomusic.samplerate;
    const long long musicframes = gbd_demo.demomusic.numchannels
                                      ? gbd_demo.demomusic.length / gbd_demo.demomusic.numchannels
                                      : 0;
    if (rate == 0 || musicframes == 0)
        fail("render.no_music", "the production's music '%s' did not load", gbd_demo.musicfilename);

    frame_range range;
    range.at = opt.at;
    range.rate = rate;
    range.fps = opt.fps;
    // A position past the music would show the music's last frame under another number.
    for (long long p : range.at)
        if (p >= musicframes)
            fail("render.bad_option", "--at position %lld lies after the music's last frame %lld",
                 p, musicframes - 1);
    range.first = std::llround(opt.from * rate);
    range.end =
        opt.to >= 0 ? std::min((long long)std::ceil(opt.to * rate), musicframes) : musicframes;
    const long long total = range.count();
    if (total == 0)
        fail("render.no_frames",
             "no frames to render: --from %.3f lies at or after the end of the music (%.3f s)",
             opt.from, (double)musicframes / rate);
    const long long begin = total * part / opt.jobs, end = total * (part + 1) / opt.jobs;

    const bool async = !reference && readback::available();
    // Read back asynchronously, frames are presented into two framebuffers in turn: a frame's
    // read starts once the next frame's layers are issued, so that software GL, which copies
    // the pixels at once, has finished presenting it meanwhile instead of holding up the
    // program thread.
    int targets[2];
    targets[0] = MOX_CreateFrameBuffer(opt.width, opt.height, 0);
    targets[1] = async ? MOX_CreateFrameBuffer(opt.width, opt.height, 0) : targets[0];
    if (targets[0] < 0 || targets[1] < 0)
        fail("render.no_framebuffer", "no framebuffer left for the presented frame");

    const double start_seconds = (double)range.position(0) / rate;
    sink out;
    // Parts are joined with the music afterwards; positions given with --at lie on no time
    // grid that the music could follow.
    const bool video = is_video_name(opt.out);
    if (video && opt.jobs > 1 && begin < end) out.open(partsfolder + "/" + part_name(part), -1);
    if (video && opt.jobs == 1) out.open(videotemp, opt.at.empty() ? start_seconds : -1);
    const size_t bytes = (size_t)opt.width * opt.height * 4;
    writer frames(&out, !reference, bytes);
    std::unique_ptr<readback> reader;
    if (async) reader = std::make_unique<readback>(opt.width, opt.height);
    // The frame presented and not yet read (asynchronous read-back), or -1.
    long long unread = -1;
    auto start_read = [&] {
        reader->start(targets[unread % 2], range.number(unread));
        if (reader->waiting() == 2) {
            frame *f = frames.take();
            reader->collect(f);
            frames.hand(f);
        }
    };
    const auto started = std::chrono::steady_clock::now();
    for (long long n = begin; n < end; ++n) {
        Soundsystem_SetSoundOffset(&gbd_demo.demomusic, (uint64_t)range.position(n));
        // The player's clear, left out where the frame clears that framebuffer itself.
        gbd_demo.position = (int)range.position(n);
        if (reference || !gbd_demo.EntryBufferCleared()) MOX_ClearFrameBuffer(0);
        gbd_demo.HandleDemo();
        if (unread >= 0) start_read();
        MOX_SetPresentTarget(targets[n % 2]);
        MOX_SwapBuffers();
        if (async) {
            unread = n;
        } else {
            frame *f = frames.take();
            MOX_ReadFrameBuffer(targets[0], f->pixels());
            f->number = range.number(n);
            f->filed = false;
            frames.hand(f);
        }
        ++*frames_done;
        progress(total, started);
    }
    if (unread >= 0) start_read();
    while (async && reader->waiting() > 0) {
        frame *f = frames.take();
        reader->collect(f);
        frames.hand(f);
    }
    frames.finish();
    reader.reset();
    out.close();
    gbd_demo.Release();
    if (part != 0) return 0;
    wait_for_workers(total, started);
    if (opt.jobs > 1 && is_video_name(opt.out)) join_parts(start_seconds, total);
    if (!videotemp.empty() && rename(videotemp.c_str(), opt.out.c_str()) != 0)
        fail("render.write_failed", "cannot write '%s': %s", opt.out.c_str(), strerror(errno));
    videotemp.clear();
    if (!partsfolder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(partsfolder, ec);
        partsfolder.clear();
    }
    return 0;
}

// Options, source and output are checked before the driver starts, so that mistakes are
// reported at once and without a display.
int main(int argc, char *argv[]) {
    // A pipe to an ffmpeg that has quit reports an error instead of ending the process; a
    // file grown past the size limit makes the write fail instead of ending it.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    core_logconsole(LOG_CONSOLE_STDERR);
    parse_options(argc, argv);
    mount_source();
    check_output();
    frames_done = static_cast<std::atomic<long long> *>(mmap(
        nullptr, sizeof *frames_done, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (frames_done == MAP_FAILED)
        fail("render.workers_failed", "cannot share the progress with worker processes");
    new (frames_done) std::atomic<long long>(0);
    if (is_video_name(opt.out)) {
        videotemp = temporary_video();
        if (opt.jobs > 1) {
            partsfolder = opt.out + "." + std::to_string(getpid()) + ".parts";
            if (mkdir(partsfolder.c_str(), 0700) != 0) {
                partsfolder.clear();
                fail("render.write_failed",
                     "cannot make a folder for the video's parts beside '%s': %s", opt.out.c_str(),
                     strerror(errno));
            }
        }
    }
    if (opt.jobs > 1) {
        // Each process reads the source through its own handle.
        corefile_closeimage();
        fflush(nullptr);
        for (int k = 1; k < opt.jobs; ++k) {
            const pid_t pid = fork();
            if (pid < 0)
                fail("render.workers_failed", "cannot start worker processes: %s", strerror(errno));
            if (pid == 0) {
                part = k;
                // The joined video is the first process's; a worker's siblings are not its own.
                workers.clear();
                videotemp.clear();
                break;
            }
            workers.push_back(pid);
        }
        mount_source();
    }
    const int result = mox_processentry(argc, argv, coremain);
    fflush(nullptr);
    if (result != 0) {
        core_log(LOG_ERROR, "render.no_window",
                 "fentro-render: no window for the OpenGL context (no display? run it under "
                 "xvfb-run)\n");
        leave(1);
    }
    _exit(result);
}

// coreimage: builds, lists and extracts "CORE" resource images.
#include "core/coredebug.h"
#include "core/corefile.h"
#include "corefile/imageformat.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *const USAGE =
    "usage:\n"
    "  coreimage create IMAGE DIR   pack every file below DIR into the stand-alone image IMAGE\n"
    "  coreimage append HOST DIR    append an image of DIR to the file HOST (positions absolute "
    "in\n"
    "                               HOST, followed by a 4-byte trailer holding the image's start)\n"
    "  coreimage list IMAGE         one line per entry: offset, size, hash, name (tab-separated)\n"
    "  coreimage extract [--force] IMAGE DIR\n"
    "                               write every entry of IMAGE to DIR/name; an existing file is\n"
    "                               replaced only with --force\n"
    "  coreimage --help             this text\n"
    "  --quiet, --verbose           errors and warnings only, or also debugging messages\n"
    "Names are the paths relative to DIR with \"/\" separators, lower-cased, in byte order.\n"
    "list and extract read stand-alone and appended images alike; they refuse anything but a\n"
    "regular file. extract writes nothing through a symbolic link and refuses, before writing\n"
    "anything, entry names that clash (the same name twice, or \"a\" beside \"a/b\"). IMAGE or\n"
    "HOST given as a symbolic link is written where the link points. A failed command leaves\n"
    "the files it would have replaced as they were and removes what it had started to write.\n";

// What a failure must remove: temporary files, and during extract the folders made so far
// (newest last). A finished output is taken off the list once it is in place.
struct s_undo {
    std::vector<std::string> files;
    std::vector<std::string> dirs;
} undo;

void forget(const std::string &file) {
    undo.files.erase(std::remove(undo.files.begin(), undo.files.end(), file), undo.files.end());
}

[[noreturn]] void die(const char *id, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

void die(const char *id, const char *format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    core_log(LOG_ERROR, id, "coreimage: %s\n", text);
    for (const std::string &f : undo.files) unlink(f.c_str());
    for (auto d = undo.dirs.rbegin(); d != undo.dirs.rend(); ++d) rmdir(d->c_str());
    exit(1);
}

struct s_packfile {
    std::string name;  // lower-cased name in the image
    std::string original;
    fs::path path;
    uint32_t size;
};

std::string downcase(const std::string &s) {
    std::string out(s.size(), 0);
    file_downcase(out.data(), s.data(), (int)s.size());
    return out;
}

// Every regular file below dir, named and ordered as the image stores them. The image being
// written is left out when it lies inside dir.
std::vector<s_packfile> gather(const char *dir, const std::string &output) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        die("coreimage.dir_unreadable", "cannot read directory %s", dir);
    std::vector<s_packfile> files;
    const fs::path skip = fs::weakly_canonical(output, ec);
    fs::recursive_directory_iterator it(dir, ec), end;
    if (ec)
        die("coreimage.dir_unreadable", "cannot read directory %s: %s", dir, ec.message().c_str());
    for (; it != end; it.increment(ec)) {
        if (ec)
            die("coreimage.dir_unreadable", "cannot read directory %s: %s", dir,
                ec.message().c_str());
        if (!it->is_regular_file(ec)) continue;
        if (fs::weakly_canonical(it->path(), ec) == skip) continue;
        const uintmax_t size = it->file_size(ec);
        if (ec)
            die("coreimage.unreadable", "cannot read %s: %s", it->path().c_str(),
                ec.message().c_str());
        if (size > UINT32_MAX)
            die("coreimage.too_large", "%s is larger than an image can hold", it->path().c_str());
        const std::string relative = it->path().lexically_relative(dir).generic_string();
        files.push_back({downcase(relative), relative, it->path(), (uint32_t)size});
    }
    std::sort(files.begin(), files.end(),
              [](const s_packfile &a, const s_packfile &b) { return a.name < b.name; });
    for (size_t i = 1; i < files.size(); ++i)
        if (files[i].name == files[i - 1].name)
            die("coreimage.name_clash", "%s and %s both become %s", files[i - 1].original.c_str(),
                files[i].original.c_str(), files[i].name.c_str());
    return files;
}

// Opens a file for reading only if it is a regular file: a FIFO or device is refused before
// a read could block on it (opening without blocking, then checking what was opened).
FILE *openregular(const char *path, struct stat *st) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) die("coreimage.unreadable", "cannot read %s: %s", path, strerror(errno));
    if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        close(fd);
        die("coreimage.not_regular", "refused %s: not a regular file", path);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE *fp = fdopen(fd, "rb");
    if (!fp) die("coreimage.unreadable", "cannot read %s: %s", path, strerror(errno));
    return fp;
}

// Copies exactly size bytes from in to out; false when either side falls short.
bool copybytes(FILE *in, FILE *out, uint64_t size) {
    std::vector<char> buffer(1 << 16);
    while (size) {
        const size_t n = fread(buffer.data(), 1, std::min<uint64_t>(buffer.size(), size), in);
        if (n == 0 || fwrite(buffer.data(), 1, n, out) != n) return false;
        size -= n;
    }
    return true;
}

// Writes the image of files to out, every position counted from base.
void writeimage(FILE *out, uint32_t base, const std::vector<s_packfile> &files,
                const char *outname) {
    std::vector<const char *> names;
    std::vector<uint32_t> sizes;
    for (const auto &f : files) {
        names.push_back(f.name.c_str());
        sizes.push_back(f.size);
    }
    char why[256];
    if (!imageformat_writetable(out, base, (uint32_t)files.size(), names.data(), sizes.data(), why,
                                sizeof why))
        die("coreimage.table_refused", "%s: %s", outname, why);
    for (const auto &f : files) {
        struct stat st;
        FILE *in = openregular(f.path.c_str(), &st);
        const bool copied = copybytes(in, out, f.size);
        const bool writefailed = ferror(out);
        // A file that changed while packing would shift every later entry.
        const bool grew = fgetc(in) != EOF;
        fclose(in);
        if (writefailed)
            die("coreimage.unwritable", "cannot write %s: %s", outname, strerror(errno));
        if (!copied || grew)
            die("coreimage.changed_size", "%s changed size while it was packed", f.path.c_str());
    }
}

// The file that writing `path` replaces: where a symbolic link points, else path itself.
std::string outputpath(const char *path) {
    struct stat st;
    if (lstat(path, &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::error_code ec;
    const fs::path target = fs::canonical(path, ec);
    if (ec)
        die("coreimage.bad_link", "cannot follow the symbolic link %s: %s", path,
            ec.message().c_str());
    return target.string();
}

// Writes a new file beside target and renames it over target once complete.
struct s_output {
    std::string target;
    std::string temp;
    FILE *fp;
};

s_output beginoutput(const std::string &target) {
    s_output o{target, target + ".~" + std::to_string(getpid()), nullptr};
    const int fd = open(o.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) die("coreimage.unwritable", "cannot write %s: %s", o.temp.c_str(), strerror(errno));
    undo.files.push_back(o.temp);
    o.fp = fdopen(fd, "wb");
    if (!o.fp) die("coreimage.unwritable", "cannot write %s: %s", o.temp.c_str(), strerror(errno));
    return o;
}

// Makes a rename in the folder of `file` durable.
void syncfolder(const std::string &file) {
    const fs::path parent = fs::path(file).parent_path();
    const int fd = open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

void endoutput(s_output &o, mode_t mode) {
    bool ok = fflush(o.fp) == 0 && !ferror(o.fp) && fsync(fileno(o.fp)) == 0;
    if (mode) fchmod(fileno(o.fp), mode);
    ok = fclose(o.fp) == 0 && ok;
    if (!ok || rename(o.temp.c_str(), o.target.c_str()) != 0)
        die("coreimage.unwritable", "cannot write %s: %s", o.target.c_str(), strerror(errno));
    forget(o.temp);
    syncfolder(o.target);
}

int create(const char *image, const char *dir) {
    const std::string target = outputpath(image);
    const auto files = gather(dir, target);
    s_output o = beginoutput(target);
    writeimage(o.fp, 0, files, image);
    endoutput(o, 0);
    return 0;
}

int append(const char *host, const char *dir) {
    struct stat st;
    if (stat(host, &st) != 0)
        die("coreimage.unreadable", "cannot read %s: %s", host, strerror(errno));
    if (!S_ISREG(st.st_mode)) die("coreimage.not_regular", "refused %s: not a regular file", host);
    if ((uint64_t)st.st_size > UINT32_MAX)
        die("coreimage.too_large", "%s is too large to carry an image", host);
    const std::string target = outputpath(host);
    const auto files = gather(dir, target);
    // The host is copied with the image behind it, so a failure leaves the original intact.
    s_output o = beginoutput(target);
    struct stat now;
    FILE *in = openregular(target.c_str(), &now);
    const bool copied = copybytes(in, o.fp, (uint64_t)st.st_size) && fgetc(in) == EOF;
    fclose(in);
    if (ferror(o.fp)) die("coreimage.unwritable", "cannot write %s: %s", host, strerror(errno));
    if (!copied) die("coreimage.changed_size", "%s changed size while it was read", host);
    const uint32_t base = (uint32_t)st.st_size;
    writeimage(o.fp, base, files, host);
    if (!imageformat_putint(o.fp, base)) die("coreimage.unwritable", "cannot write %s", host);
    endoutput(o, st.st_mode & 07777);
    return 0;
}

// Opens an image, stand-alone or appended, and reads its table.
FILE *openimage(const char *image, s_coreimage *table) {
    struct stat st;
    FILE *fp = openregular(image, &st);
    char magic[4] = {};
    const bool standalone = fread(magic, 1, 4, fp) == 4 && !memcmp(magic, "CORE", 4);
    uint64_t start = 0, limit = 0;
    char why[256];
    if (!imageformat_locate(fp, (uint64_t)st.st_size, standalone ? 0 : 1, &start, &limit, why,
                            sizeof why) ||
        !imageformat_readtable(fp, start, limit, table, why, sizeof why))
        die("coreimage.malformed", "malformed image %s: %s", image, why);
    return fp;
}

int list(const char *image) {
    s_coreimage table{};
    FILE *fp = openimage(image, &table);
    for (uint32_t i = 0; i < table.numfiles; ++i)
        printf("%u\t%u\t%u\t%s\n", table.offsets[i], imageformat_entrysize(&table, i),
               table.hashes[i], table.names[i]);
    imageformat_freetable(&table);
    fclose(fp);
    return 0;
}

// An entry's folders and file name, from its "/"-separated name.
std::vector<std::string> splitname(const std::string &name) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = name.find('/', from)) != std::string::npos; from = at + 1)
        parts.push_back(name.substr(from, at - from));
    parts.push_back(name.substr(from));
    return parts;
}

// Refuses, before anything is written, an image whose entries would leave the folder, could
// not be told apart on disk, or would need one path to be a file and a folder at once.
void checknames(const s_coreimage &table, const char *dir) {
    std::set<std::string> names;
    for (uint32_t i = 0; i < table.numfiles; ++i) {
        const std::string name = table.names[i];
        if (!imageformat_safename(name.c_str()))
            die("coreimage.unsafe_name", "refused entry name outside %s: %s", dir, name.c_str());
        for (const std::string &part : splitname(name))
            if (part.empty() || part == ".")
                die("coreimage.bad_name", "refused image: entry name %s has an empty or \".\" part",
                    name.c_str());
        if (!names.insert(name).second)
            die("coreimage.duplicate_name", "refused image: entry %s appears more than once",
                name.c_str());
    }
    for (const std::string &name : names)
        for (size_t at = name.find('/'); at != std::string::npos; at = name.find('/', at + 1))
            if (names.count(name.substr(0, at)))
                die("coreimage.file_and_folder",
                    "refused image: %s is an entry and also the folder of %s",
                    name.substr(0, at).c_str(), name.c_str());
}

// Opens the folder of entry `parts` below the folder root (descriptor rootfd) without ever
// following a symbolic link. Missing folders are made when `make` (and noted for undo);
// otherwise -2 tells that the folder does not exist yet. Refuses a link or a non-folder in the
// way, with the reason.
int openparent(int rootfd, const std::string &root, const std::vector<std::string> &parts,
               bool make) {
    int fd = dup(rootfd);
    std::string path = root;
    for (size_t i = 0; fd >= 0 && i + 1 < parts.size(); ++i) {
        const char *part = parts[i].c_str();
        path += "/" + parts[i];
        struct stat st;
        if (fstatat(fd, part, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                die("coreimage.unwritable", "cannot read %s: %s", path.c_str(), strerror(errno));
            if (!make) {
                close(fd);
                return -2;
            }
            if (mkdirat(fd, part, 0777) != 0)
                die("coreimage.dir_uncreatable", "cannot create %s: %s", path.c_str(),
                    strerror(errno));
            undo.dirs.push_back(path);
        } else if (S_ISLNK(st.st_mode)) {
            die("coreimage.link_in_the_way",
                "refused: %s is a symbolic link, nothing is written through it", path.c_str());
        } else if (!S_ISDIR(st.st_mode)) {
            die("coreimage.file_in_the_way", "refused: %s is in the way of a folder", path.c_str());
        }
        const int next = openat(fd, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    if (fd < 0)
        die("coreimage.unwritable", "cannot open a folder below %s: %s", root.c_str(),
            strerror(errno));
    return fd;
}

// Refuses to replace a folder, and a file unless forced; a link there is replaced itself,
// never written through.
void checktarget(int parentfd, const std::string &path, const std::string &leaf, bool force) {
    struct stat st;
    if (fstatat(parentfd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (S_ISDIR(st.st_mode))
        die("coreimage.file_in_the_way", "refused: %s is a folder", path.c_str());
    if (!force) die("coreimage.exists", "refused: %s exists (--force replaces it)", path.c_str());
}

// Makes dir and any missing folder above it, noting each for undo.
void makeroot(const fs::path &dir) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            die("coreimage.file_in_the_way", "refused: %s is not a folder", dir.c_str());
        return;
    }
    if (dir.has_parent_path() && dir.parent_path() != dir) makeroot(dir.parent_path());
    if (mkdir(dir.c_str(), 0777) != 0)
        die("coreimage.dir_uncreatable", "cannot create %s: %s", dir.c_str(), strerror(errno));
    undo.dirs.push_back(dir.string());
}

// Every entry is first written to a temporary file beside its target; only when all are
// complete do they take their names, so a failure leaves the folder as it was.
int extract(const char *image, const char *dir, bool force) {
    s_coreimage table{};
    FILE *fp = openimage(image, &table);
    checknames(table, dir);
    fs::path rootpath = fs::path(dir).lexically_normal();
    if (!rootpath.has_filename() && rootpath.has_parent_path()) rootpath = rootpath.parent_path();
    const std::string root = rootpath.string();
    std::vector<std::vector<std::string>> parts;
    for (uint32_t i = 0; i < table.numfiles; ++i) parts.push_back(splitname(table.names[i]));

    int rootfd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootfd >= 0) {
        for (uint32_t i = 0; i < table.numfiles; ++i) {
            const int fd = openparent(rootfd, root, parts[i], false);
            if (fd == -2) continue;
            checktarget(fd, root + "/" + table.names[i], parts[i].back(), force);
            close(fd);
        }
        close(rootfd);
    }
    makeroot(rootpath);
    rootfd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootfd < 0) die("coreimage.unwritable", "cannot open %s: %s", dir, strerror(errno));

    const std::string suffix = ".~" + std::to_string(getpid());
    for (uint32_t i = 0; i < table.numfiles; ++i) {
        const std::string path = root + "/" + table.names[i];
        const int fd = openparent(rootfd, root, parts[i], true);
        const std::string temp = parts[i].back() + suffix;
        const int out =
            openat(fd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (out < 0)
            die("coreimage.unwritable", "cannot write %s: %s", path.c_str(), strerror(errno));
        undo.files.push_back(path + suffix);
        FILE *o = fdopen(out, "wb");
        if (!o) die("coreimage.unwritable", "cannot write %s: %s", path.c_str(), strerror(errno));
        const uint32_t size = imageformat_entrysize(&table, i);
        if (fseeko(fp, (off_t)table.offsets[i], SEEK_SET) != 0 || !copybytes(fp, o, size)) {
            const bool writefailed = ferror(o);
            fclose(o);
            if (writefailed)
                die("coreimage.unwritable", "cannot write %s: %s", path.c_str(), strerror(errno));
            die("coreimage.entry_unreadable", "cannot read entry %s of %s", table.names[i], image);
        }
        if (fclose(o) != 0)
            die("coreimage.unwritable", "cannot write %s: %s", path.c_str(), strerror(errno));
        close(fd);
    }
    for (uint32_t i = 0; i < table.numfiles; ++i) {
        const std::string path = root + "/" + table.names[i];
        const int fd = openparent(rootfd, root, parts[i], false);
        checktarget(fd, path, parts[i].back(), force);
        if (renameat(fd, (parts[i].back() + suffix).c_str(), fd, parts[i].back().c_str()) != 0)
            die("coreimage.unwritable", "cannot write %s: %s", path.c_str(), strerror(errno));
        forget(path + suffix);
        close(fd);
    }
    close(rootfd);
    imageformat_freetable(&table);
    fclose(fp);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    core_logconsole(LOG_CONSOLE_STDERR);
    // --quiet and --verbose may stand anywhere; the rest are the command and its operands.
    argc = int(std::remove_if(argv + 1, argv + argc, core_logoption) - argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string command = args.empty() ? "" : args[0];
    if (command == "--help" || command == "-h") {
        fputs(USAGE, stdout);
        return 0;
    }
    const bool force = command == "extract" && args.size() == 4 && args[1] == "--force";
    if (force) args.erase(args.begin() + 1);
    if (command == "create" && args.size() == 3) return create(args[1].c_str(), args[2].c_str());
    if (command == "append" && args.size() == 3) return append(args[1].c_str(), args[2].c_str());
    if (command == "list" && args.size() == 2) return list(args[1].c_str());
    if (command == "extract" && args.size() == 3)
        return extract(args[1].c_str(), args[2].c_str(), force);
    fputs(USAGE, stderr);
    return 1;
}

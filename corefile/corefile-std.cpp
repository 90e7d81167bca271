#include "core/corefile.h"

#include "core/coredebug.h"
#include "core/coremem.h"
#include "corefile/imageformat.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#define COREFILE_ALLOC(n) _wrap_malloc_dbg((n), "corefile/corefile-std", __LINE__)
#define COREFILE_FREE(p) _wrap_free_dbg((p), "corefile/corefile-std", __LINE__)

MOUNT_TYPE corefile_mounttype = MOUNT_FILE;
s_coreimage corefile_image = {};
char corefile_pathname[1024] = "";
FILE *g_fp = nullptr;
char *corefile_localpath = nullptr;
s_corefileentry *corefile_filelist = nullptr;
int32_t corefile_numfiles = 0;
char *corefile_dirnames[256] = {};
int32_t corefile_numdirs = 0;

namespace {

constexpr size_t LOCALPATH_SIZE = 256;
constexpr size_t PATH_SIZE = 1024;
constexpr int MAX_DIRNAMES = 256;

// Directory scan state: the relative directory being scanned ("sub/dir/") and its length,
// and the relative path of the file met last.
char curDir[256];
char curFile[256];
size_t diroffset;

// A file opened for writing goes to a temporary file beside its target and replaces the
// target only when it is closed complete, so a crash half-way keeps the previous version.
struct s_pendingwrite {
    FILE *fp;
    bool failed;
    char temp[PATH_SIZE + 32];
    char target[PATH_SIZE];
};
std::array<s_pendingwrite, 16> pendingwrites{};
unsigned tempcounter;

char *copystring(const char *text, size_t length) {
    char *copy = static_cast<char *>(COREFILE_ALLOC(length + 1));
    if (copy) {
        memcpy(copy, text, length);
        copy[length] = 0;
    }
    return copy;
}

// Each scan pass either counts the regular files below root or records their relative
// paths in table->names, up to capacity. Symbolic links are followed, but a directory that
// is its own ancestor is skipped, and the 255-character limit of a relative path bounds
// the depth.
struct s_scan {
    const char *root;
    bool collect;
    s_coreimage *table;
    uint32_t capacity;
    uint32_t count;
    bool rootfailed;
    int depth;
    std::array<dev_t, 130> devs;
    std::array<ino_t, 130> inos;
};

void corefile_opendir(s_scan &scan) {
    char path[PATH_SIZE + 260];
    snprintf(path, sizeof path, "%s/%s", scan.root, curDir);
    DIR *dir = opendir(path);
    if (!dir) {
        core_log(LOG_WARNING, "corefile.dir_unreadable", "error reading directory\n");
        if (scan.depth == 0) scan.rootfailed = true;
        return;
    }
    if (scan.depth == 0) {
        const size_t len = strlen(scan.root);
        int levels = 1;
        for (size_t i = 1; i + 1 < len; ++i)
            if (scan.root[i] == '/') ++levels;
        if (levels > 1)
            core_log(LOG_DEBUG, "corefile.dir_depth", "path has %d sublevels\n", levels);
    }
    struct stat st;
    if (fstat(dirfd(dir), &st) == 0) {
        scan.devs[scan.depth] = st.st_dev;
        scan.inos[scan.depth] = st.st_ino;
    }
    while (const dirent *e = readdir(dir)) {
        const char *name = e->d_name;
        if (!strcmp(name, ".") || !strcmp(name, "..")) continue;
        const size_t len = strlen(name);
        char entry[sizeof path + 256];
        snprintf(entry, sizeof entry, "%s%s", path, name);
        if (stat(entry, &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (diroffset + len + 1 >= sizeof curDir) {
                if (!scan.collect)
                    core_log(LOG_WARNING, "corefile.path_too_long",
                             "path too long, skipped: %s%s/\n", curDir, name);
                continue;
            }
            bool loop = false;
            for (int d = 0; d <= scan.depth; ++d)
                loop |= scan.devs[d] == st.st_dev && scan.inos[d] == st.st_ino;
            if (loop) {
                if (!scan.collect)
                    core_log(LOG_WARNING, "corefile.dir_loop", "directory loop, skipped: %s%s/\n",
                             curDir, name);
                continue;
            }
            memcpy(curDir + diroffset, name, len);
            curDir[diroffset + len] = '/';
            curDir[diroffset + len + 1] = 0;
            diroffset += len + 1;
            ++scan.depth;
            corefile_opendir(scan);
            --scan.depth;
            diroffset -= len + 1;
            curDir[diroffset] = 0;
        } else if (S_ISREG(st.st_mode)) {
            if (diroffset + len >= sizeof curFile) {
                if (!scan.collect)
                    core_log(LOG_WARNING, "corefile.path_too_long",
                             "path too long, skipped: %s%s\n", curDir, name);
                continue;
            }
            memcpy(curFile, curDir, diroffset);
            memcpy(curFile + diroffset, name, len + 1);
            if (!scan.collect) {
                ++scan.count;
            } else if (scan.count < scan.capacity) {
                if (char *copy = copystring(curFile, diroffset + len))
                    scan.table->names[scan.count++] = copy;
            }
        }
    }
    if (closedir(dir) != 0)
        core_log(LOG_WARNING, "corefile.dir_close_failed", "Error closing directory\n");
}

// Table of a directory mount: the relative paths of its regular files (offsets and hashes
// are unused and zero).
bool readheader_dir(const char *path, s_coreimage *table) {
    s_scan scan{};
    scan.root = path;
    curDir[0] = curFile[0] = 0;
    diroffset = 0;
    corefile_opendir(scan);
    if (scan.rootfailed) return false;
    core_log(LOG_PROGRESS, "corefile.files_found", "Found %d files\n", (int)scan.count);

    s_coreimage t{};
    const size_t elements = scan.count ? scan.count : 1;
    t.names = static_cast<char **>(COREFILE_ALLOC(elements * sizeof(char *)));
    t.offsets = static_cast<uint32_t *>(COREFILE_ALLOC(elements * sizeof(uint32_t)));
    t.hashes = static_cast<uint32_t *>(COREFILE_ALLOC(elements * sizeof(uint32_t)));
    if (!t.names || !t.offsets || !t.hashes) {
        imageformat_freetable(&t);
        return false;
    }
    memset(t.offsets, 0, elements * sizeof(uint32_t));
    memset(t.hashes, 0, elements * sizeof(uint32_t));

    scan.collect = true;
    scan.table = &t;
    scan.capacity = scan.count;
    scan.count = 0;
    curDir[0] = curFile[0] = 0;
    diroffset = 0;
    corefile_opendir(scan);
    t.numfiles = scan.count;
    *table = t;
    return true;
}

void release_listing() {
    if (!corefile_filelist) return;
    for (int32_t i = 0; i < corefile_numfiles; ++i) {
        if (corefile_filelist[i].displayname) COREFILE_FREE(corefile_filelist[i].displayname);
        if (corefile_filelist[i].name) COREFILE_FREE(corefile_filelist[i].name);
        corefile_filelist[i] = s_corefileentry{};
    }
    corefile_numfiles = 0;
}

void release_dirnames() {
    for (int32_t i = 0; i < corefile_numdirs; ++i) {
        COREFILE_FREE(corefile_dirnames[i]);
        corefile_dirnames[i] = nullptr;
    }
    corefile_numdirs = 0;
}

void adddir(const char *name, size_t length) {
    for (int32_t i = 0; i < corefile_numdirs; ++i)
        if (strlen(corefile_dirnames[i]) == length && !memcmp(corefile_dirnames[i], name, length))
            return;
    if (corefile_numdirs >= MAX_DIRNAMES) {
        core_log(LOG_WARNING, "corefile.too_many_dirs", "too many directories, skipped: %.*s\n",
                 (int)length, name);
        return;
    }
    if (char *copy = copystring(name, length)) corefile_dirnames[corefile_numdirs++] = copy;
}

// Position where the handle's data starts in its stream (0 for a plain file), or false for
// a handle that no longer belongs to the mounted image.
bool handle_start(const s_corefile *file, FILE **stream, uint32_t *start) {
    if (file->data) {
        *stream = static_cast<FILE *>(file->data);
        *start = 0;
        return true;
    }
    if (!g_fp || corefile_mounttype != MOUNT_FILE || file->fileindex >= corefile_image.numfiles)
        return false;
    *stream = g_fp;
    *start = corefile_image.offsets[file->fileindex];
    return true;
}

// Bytes left between the cursor and the end of the handle's data.
uint32_t handle_remaining(const s_corefile *file, uint32_t start) {
    const uint32_t pos = file->offset - start;
    return pos < file->size ? file->size - pos : 0;
}

// Read-ahead of corefile_gets: one window of a stream's bytes, so that a text read line by
// line costs a seek and a read per window instead of per line. The layer never writes a
// stream it reads (a write goes to a separate file that replaces its target when closed), so
// the window stays valid until its stream is closed.
struct s_readahead {
    FILE *stream;
    uint64_t position;  // stream position of data[0]
    size_t length;
    std::array<char, 16384> data;
};
s_readahead readahead;

void forget_readahead(const FILE *stream) {
    if (readahead.stream == stream) readahead.stream = nullptr;
}

// The stream's bytes from position on, as far as the window holds them: sets bytes to them
// and returns their count, 0 when nothing can be read there.
size_t readahead_at(FILE *stream, uint64_t position, const char **bytes) {
    if (readahead.stream != stream || position < readahead.position ||
        position - readahead.position >= readahead.length) {
        readahead.stream = nullptr;
        if (fseeko(stream, (off_t)position, SEEK_SET) != 0) return 0;
        const size_t got = fread(readahead.data.data(), 1, readahead.data.size(), stream);
        if (got == 0) return 0;
        readahead.stream = stream;
        readahead.position = position;
        readahead.length = got;
    }
    const size_t skip = (size_t)(position - readahead.position);
    *bytes = readahead.data.data() + skip;
    return readahead.length - skip;
}

s_pendingwrite *pending_of(const FILE *fp) {
    for (auto &w : pendingwrites)
        if (w.fp && w.fp == fp) return &w;
    return nullptr;
}

// The file that a write to `path` replaces: where a symbolic link points (so the link stays a
// link), else path itself. False for a link that leads nowhere.
bool resolve_target(const char *path, char *resolved, size_t size) {
    struct stat st;
    if (lstat(path, &st) != 0 || !S_ISLNK(st.st_mode))
        return snprintf(resolved, size, "%s", path) < (int)size;
    char *real = realpath(path, nullptr);
    if (!real) return false;
    const bool fits = snprintf(resolved, size, "%s", real) < (int)size;
    free(real);
    return fits;
}

// Makes a rename in the folder of `path` durable.
void sync_folder(const char *path) {
    char folder[PATH_SIZE];
    snprintf(folder, sizeof folder, "%s", path);
    char *slash = strrchr(folder, '/');
    if (slash == folder)
        slash[1] = 0;
    else if (slash)
        *slash = 0;
    else
        strcpy(folder, ".");
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

int open_write(const char *path, s_corefile *file) {
    char target[PATH_SIZE];
    if (!resolve_target(path, target, sizeof target)) {
        core_log(LOG_ERROR, "corefile.bad_link",
                 "cannot write %s: the symbolic link leads nowhere\n", path);
        return 0;
    }
    s_pendingwrite *slot = nullptr;
    for (auto &w : pendingwrites)
        if (!w.fp) {
            slot = &w;
            break;
        }
    if (!slot) {
        core_log(LOG_ERROR, "corefile.write_slots_full", "too many files open for writing: %s\n",
                 target);
        return 0;
    }
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        snprintf(slot->temp, sizeof slot->temp, "%s.~%d-%u", target, (int)getpid(), tempcounter++);
        fd = open(slot->temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        core_log(LOG_ERROR, "corefile.write_open_failed", "couldn't open file for writing: %s\n",
                 target);
        return 0;
    }
    // The replacement keeps the permissions of the file it replaces.
    struct stat st;
    if (stat(target, &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd, st.st_mode & 07777);
    FILE *fp = fdopen(fd, "wb");
    if (!fp) {
        close(fd);
        unlink(slot->temp);
        core_log(LOG_ERROR, "corefile.write_open_failed", "couldn't open file for writing: %s\n",
                 target);
        return 0;
    }
    slot->fp = fp;
    slot->failed = false;
    snprintf(slot->target, sizeof slot->target, "%s", target);
    file->data = fp;
    return 1;
}

int commit_write(s_pendingwrite *w) {
    bool ok = !w->failed && fflush(w->fp) == 0 && !ferror(w->fp) && fsync(fileno(w->fp)) == 0;
    ok = fclose(w->fp) == 0 && ok;
    w->fp = nullptr;
    if (ok && rename(w->temp, w->target) != 0) ok = false;
    if (!ok) {
        unlink(w->temp);
        core_log(LOG_ERROR, "corefile.write_failed", "could not write %s, previous version kept\n",
                 w->target);
        return 0;
    }
    sync_folder(w->target);
    return 1;
}

// Opens a regular file for reading. The open does not block, so that a FIFO cannot stall it,
// and anything but a regular file is refused before it is read.
FILE *open_regular(const char *path, struct stat *st) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE *fp = fdopen(fd, "rb");
    if (!fp) close(fd);
    return fp;
}

int open_read(const char *path, s_corefile *file) {
    struct stat st;
    FILE *fp = open_regular(path, &st);
    if (!fp) return 0;
    if ((uint64_t)st.st_size > UINT32_MAX) {
        fclose(fp);
        return 0;
    }
    file->data = fp;
    file->size = (uint32_t)st.st_size;
    return 1;
}

int open_dir(const char *name, const char *lower, s_corefile *file, int mode) {
    if (!imageformat_safename(lower)) {
        core_log(LOG_WARNING, "corefile.path_refused",
                 "refused path outside the mounted directory: %s\n", name);
        return 0;
    }
    const char *root = static_cast<const char *>(corefile_image.source);
    char path[PATH_SIZE];
    if (snprintf(path, sizeof path, "%s/%s", root, lower) >= (int)sizeof path) {
        core_log(LOG_WARNING, "corefile.name_too_long", "name too long: %s\n", name);
        return 0;
    }
    if (mode == 1) return open_write(path, file);
    if (open_read(path, file)) return 1;
    // Names are looked up lower-cased; on a case-sensitive file system a file whose name on
    // disk has capitals is still found under the name as given.
    if (strcmp(name, lower) != 0 &&
        snprintf(path, sizeof path, "%s/%s", root, name) < (int)sizeof path &&
        open_read(path, file))
        return 1;
    core_log(LOG_WARNING, "corefile.not_found", "couldn't find file: %s\n", lower);
    return 0;
}

int open_image(const char *lower, s_corefile *file, int mode) {
    const uint32_t hash = corefile_gethash(lower);
    file->hashname = hash;
    if (mode == 1) {
        core_log(LOG_ERROR, "corefile.write_not_directory",
                 "cannot write %s: only a mounted directory can be written\n", lower);
        return 0;
    }
    for (uint32_t i = 0; i < corefile_image.numfiles; ++i) {
        if (corefile_image.hashes[i] != hash || strcmp(corefile_image.names[i], lower) != 0)
            continue;
        file->fileindex = i;
        file->offset = corefile_image.offsets[i];
        file->size = imageformat_entrysize(&corefile_image, i);
        core_log(LOG_PROGRESS, "corefile.found", "found file at offset: %u\n", file->offset);
        return 1;
    }
    core_log(LOG_WARNING, "corefile.not_found", "couldn't find file: %s\n", lower);
    return 0;
}

// Installs a table read by a mount, replacing whatever was mounted before.
int install(MOUNT_TYPE type, void *source, s_coreimage *table) {
    auto *filelist = static_cast<s_corefileentry *>(
        COREFILE_ALLOC((table->numfiles + 1) * sizeof(s_corefileentry)));
    char *localpath = static_cast<char *>(COREFILE_ALLOC(LOCALPATH_SIZE));
    if (!filelist || !localpath) {
        if (filelist) COREFILE_FREE(filelist);
        if (localpath) COREFILE_FREE(localpath);
        imageformat_freetable(table);
        return 0;
    }
    corefile_closeimage();
    for (uint32_t i = 0; i <= table->numfiles; ++i) filelist[i] = s_corefileentry{};
    memset(localpath, 0, LOCALPATH_SIZE);
    strcpy(localpath, "/");
    corefile_image = *table;
    corefile_image.source = source;
    corefile_mounttype = type;
    if (type == MOUNT_FILE) g_fp = static_cast<FILE *>(source);
    corefile_filelist = filelist;
    corefile_localpath = localpath;
    return 1;
}

// "localpath + name" without the leading "/" of the local path, so that the name is
// relative to the mounted source in both modes.
char *localname(const char *name) {
    const char *local = corefile_localpath ? corefile_localpath : "";
    while (*local == '/' || *local == '\\') ++local;
    const size_t a = strlen(local), b = strlen(name);
    char *full = static_cast<char *>(COREFILE_ALLOC(a + b + 1));
    if (full) {
        memcpy(full, local, a);
        memcpy(full + a, name, b + 1);
    }
    return full;
}

}  // namespace

int corefile_mountimage(const char *name, int type) {
    char full[1024];
    if (!name) name = "";
    if (snprintf(full, sizeof full, "%s%s", corefile_pathname, name) >= (int)sizeof full) {
        core_log(LOG_ERROR, "corefile.image_name_too_long", "image name too long: %s%s\n",
                 corefile_pathname, name);
        return 0;
    }
    core_log(LOG_PROGRESS, "corefile.image_loading", "Loading resource image: %s\n", full);

    if (type == 0 || type == 1) {
        struct stat st;
        FILE *fp = open_regular(full, &st);
        if (!fp) {
            core_log(LOG_ERROR, "corefile.image_missing", "could not open image: %s\n", full);
            return 0;
        }
        core_log(LOG_PROGRESS, "corefile.image_source",
                 type == 0 ? "loading from file\n" : "loading from executable\n");
        uint64_t start = 0, limit = 0;
        char why[256];
        s_coreimage table{};
        if (!imageformat_locate(fp, (uint64_t)st.st_size, type, &start, &limit, why, sizeof why) ||
            !imageformat_readtable(fp, start, limit, &table, why, sizeof why)) {
            fclose(fp);
            core_log(LOG_ERROR, "corefile.image_malformed", "malformed image %s: %s\n", full, why);
            return 0;
        }
        core_log(LOG_PROGRESS, "corefile.image_files", "numfiles: %d\n", (int)table.numfiles);
        core_log(LOG_PROGRESS, "corefile.image_size", "romsize: %d\n", (int)table.romsize);
        if (!install(MOUNT_FILE, fp, &table)) {
            fclose(fp);
            return 0;
        }
        return 1;
    }
    if (type == 2) {
        s_coreimage table{};
        if (!readheader_dir(full, &table)) return 0;
        char *source = copystring(full, strlen(full));
        if (!source) {
            imageformat_freetable(&table);
            return 0;
        }
        if (!install(MOUNT_DIR, source, &table)) {
            COREFILE_FREE(source);
            return 0;
        }
        return 1;
    }
    return 0;
}

void corefile_closeimage() {
    if (corefile_mounttype == MOUNT_DIR) {
        if (corefile_image.source) COREFILE_FREE(corefile_image.source);
    } else if (g_fp) {
        forget_readahead(g_fp);
        fclose(g_fp);
    }
    g_fp = nullptr;
    corefile_image.source = nullptr;
    imageformat_freetable(&corefile_image);
    release_listing();
    release_dirnames();
    if (corefile_filelist) COREFILE_FREE(corefile_filelist);
    corefile_filelist = nullptr;
    if (corefile_localpath) COREFILE_FREE(corefile_localpath);
    corefile_localpath = nullptr;
    corefile_mounttype = MOUNT_FILE;
}

int corefile_open(const char *name, s_corefile *file, int mode) {
    if (!file) return 0;
    // A failed open leaves an empty handle, so reads through it do nothing.
    *file = s_corefile{};
    if (!name) name = "";
    const size_t length = strlen(name);
    char *lower = static_cast<char *>(COREFILE_ALLOC(length + 1));
    if (!lower) return 0;
    file_downcase(lower, name, (int)length + 1);
    const int result = corefile_mounttype == MOUNT_DIR ? open_dir(name, lower, file, mode)
                                                       : open_image(lower, file, mode);
    COREFILE_FREE(lower);
    return result;
}

void corefile_read(void *buffer, uint32_t size, uint32_t count, s_corefile *file) {
    if (!file) return;
    const uint64_t wanted = (uint64_t)size * count;
    FILE *stream;
    uint32_t start;
    if (buffer && handle_start(file, &stream, &start)) {
        const uint64_t n =
            wanted < handle_remaining(file, start) ? wanted : handle_remaining(file, start);
        if (n && fseeko(stream, (off_t)file->offset, SEEK_SET) == 0) fread(buffer, 1, n, stream);
    }
    // The cursor moves by the amount asked for, whatever could be read.
    const uint64_t next = file->offset + wanted;
    file->offset = next > UINT32_MAX ? UINT32_MAX : (uint32_t)next;
}

void corefile_write(const void *buffer, uint32_t size, uint32_t count, s_corefile *file) {
    if (!file || !file->data || !buffer) return;
    s_pendingwrite *w = pending_of(static_cast<FILE *>(file->data));
    if (!w) return;
    const uint64_t n = (uint64_t)size * count;
    const uint64_t end = file->offset + n;
    if (end > UINT32_MAX || fseeko(w->fp, (off_t)file->offset, SEEK_SET) != 0 ||
        fwrite(buffer, 1, n, w->fp) != n) {
        w->failed = true;
        return;
    }
    file->offset = (uint32_t)end;
    if (file->offset > file->size) file->size = file->offset;
}

void corefile_seek(s_corefile *file, int32_t offset, int whence) {
    if (!file) return;
    if (whence == 0) {
        FILE *stream;
        uint32_t start = 0;
        if (!handle_start(file, &stream, &start)) start = 0;
        file->offset = start + (uint32_t)offset;
    } else if (whence == 1) {
        file->offset += (uint32_t)offset;
    }
}

uint32_t corefile_tell(s_corefile *file) { return file ? file->offset : 0; }

uint32_t corefile_fsize(s_corefile *file) { return file ? file->size : 0; }

void corefile_gets(char *buffer, int size, s_corefile *file) {
    if (!buffer || size <= 0) return;
    buffer[0] = 0;
    FILE *stream;
    uint32_t start;
    if (!file || size == 1 || !handle_start(file, &stream, &start)) return;
    const uint32_t remaining = handle_remaining(file, start);
    const size_t n = (uint32_t)(size - 1) < remaining ? (size_t)(size - 1) : remaining;
    if (n == 0) return;
    size_t length = 0;
    while (length < n) {
        const char *bytes;
        const size_t got =
            std::min(readahead_at(stream, (uint64_t)file->offset + length, &bytes), n - length);
        if (got == 0) break;
        const char *newline = static_cast<const char *>(memchr(bytes, '\n', got));
        const size_t take = newline ? (size_t)(newline - bytes) + 1 : got;
        memcpy(buffer + length, bytes, take);
        length += take;
        if (newline) break;
    }
    if (length == 0) {
        // The data is gone (the file shrank): end the file rather than read the same spot forever.
        file->offset = start + file->size;
        return;
    }
    buffer[length] = 0;
    file->offset += (uint32_t)length;
}

int corefile_feof(s_corefile *file) {
    FILE *stream;
    uint32_t start;
    if (!file || !handle_start(file, &stream, &start)) return 1;
    return handle_remaining(file, start) == 0 ? 1 : 0;
}

void corefile_rewind(s_corefile *file) {
    if (!file) return;
    FILE *stream;
    uint32_t start;
    if (!handle_start(file, &stream, &start)) return;
    file->offset = start;
    if (file->data) rewind(stream);
}

void corefile_close(s_corefile *file) {
    if (!file) return;
    if (file->data) {
        FILE *fp = static_cast<FILE *>(file->data);
        if (s_pendingwrite *w = pending_of(fp)) {
            commit_write(w);
        } else {
            forget_readahead(fp);
            fclose(fp);
        }
    }
    file->data = nullptr;
    file->fileindex = 0;
    file->offset = 0;
}

uint32_t corefile_gethash(const char *text) {
    uint32_t hash = 0;
    if (text)
        for (const char *p = text; *p; ++p) hash += (uint32_t)(int32_t)(signed char)*p;
    return hash;
}

void corefile_chdir(const char *path) {
    if (!path || !strcmp(path, ".")) return;
    if (!corefile_localpath) {
        core_log(LOG_WARNING, "corefile.not_mounted", "no source mounted\n");
        return;
    }
    char result[LOCALPATH_SIZE];
    const size_t current = strlen(corefile_localpath);
    if (!strcmp(path, "..")) {
        memcpy(result, corefile_localpath, current + 1);
        size_t keep = 0;
        for (size_t i = current >= 2 ? current - 1 : 0; i-- > 0;)
            if (result[i] == '/' || result[i] == '\\') {
                keep = i;
                break;
            }
        result[keep] = 0;
    } else {
        const bool absolute = path[0] == '/' || path[0] == '\\';
        const size_t base = absolute ? 0 : current;
        if (base + strlen(path) > LOCALPATH_SIZE - 2) {
            core_log(LOG_WARNING, "corefile.path_too_long", "local path too long: %s\n", path);
            return;
        }
        memcpy(result, corefile_localpath, base);
        strcpy(result + base, path);
    }
    const size_t n = strlen(result);
    if (n == 0 || result[n - 1] != '/') strcpy(result + n, "/");
    strcpy(corefile_localpath, result);
    core_log(LOG_DEBUG, "corefile.localpath", "localpath = %s\n", corefile_localpath);
}

const char *corefile_getpath() { return corefile_localpath ? corefile_localpath : "/"; }

void corefile_adddir(const char *name) {
    if (name) adddir(name, strlen(name));
}

void corefile_readdir(const char *pattern) {
    if (!corefile_localpath || !corefile_filelist) {
        core_log(LOG_WARNING, "corefile.not_mounted", "no source mounted\n");
        return;
    }
    // The extension runs from the pattern's last "." to its end; a pattern without one
    // (or with its only "." in front) matches every file, as ".*" does.
    const char *ext = pattern ? strrchr(pattern, '.') : nullptr;
    if (ext == pattern) ext = nullptr;
    const bool every = !ext || !strcmp(ext, ".*");
    const size_t extlength = ext ? strlen(ext) : 0;
    core_log(LOG_DEBUG, "corefile.dir_extension", "extension = %s, length: %d\n", ext ? ext : "",
             (int)extlength);

    release_listing();
    release_dirnames();
    const char *local = corefile_localpath;
    const size_t n = strlen(local);
    const bool root = n == 0 || !strcmp(local, "/");
    if (root) core_log(LOG_DEBUG, "corefile.dir_root", "dir is root\n");
    if (!root) adddir("..", 2);
    const char *prefix = n <= 1 ? "" : local + 1;
    const size_t prefixlength = strlen(prefix);

    // Whether the part of a name behind the prefix holds a "/" before its last character.
    auto insubdir = [](const char *rest, size_t length) {
        return length > 1 && memchr(rest, '/', length - 1) != nullptr;
    };
    const s_coreimage &t = corefile_image;
    for (uint32_t i = 0; i < t.numfiles; ++i) {
        if (strncmp(t.names[i], prefix, prefixlength) != 0) continue;
        const char *rest = t.names[i] + prefixlength;
        const size_t length = strlen(rest);
        if (insubdir(rest, length)) adddir(rest, strcspn(rest, "/\\"));
    }

    const int32_t capacity = (int32_t)t.numfiles + 1;
    auto addentry = [&](const char *display, size_t displaylength, const char *name, uint32_t size,
                        uint8_t isdir) {
        if (corefile_numfiles >= capacity) return;
        s_corefileentry &e = corefile_filelist[corefile_numfiles];
        e.displayname = copystring(display, displaylength);
        e.name = copystring(name, strlen(name));
        e.size = size;
        e.isdir = isdir;
        ++corefile_numfiles;
    };
    for (int32_t i = 0; i < corefile_numdirs; ++i) {
        const size_t length = strlen(corefile_dirnames[i]);
        char *display = static_cast<char *>(COREFILE_ALLOC(length + 3));
        if (!display) continue;
        snprintf(display, length + 3, "[%s]", corefile_dirnames[i]);
        addentry(display, length + 2, corefile_dirnames[i], 0, 1);
        COREFILE_FREE(display);
    }
    release_dirnames();

    for (uint32_t i = 0; i < t.numfiles; ++i) {
        if (strncmp(t.names[i], prefix, prefixlength) != 0) continue;
        const char *rest = t.names[i] + prefixlength;
        const size_t length = strlen(rest);
        if (insubdir(rest, length)) continue;
        if (!every &&
            (length < extlength || memcmp(rest + length - extlength, ext, extlength) != 0))
            continue;
        uint32_t size = 0;
        if (corefile_mounttype == MOUNT_DIR) {
            char path[PATH_SIZE + 260];
            struct stat st;
            snprintf(path, sizeof path, "%s/%s", static_cast<const char *>(t.source), t.names[i]);
            if (stat(path, &st) == 0)
                size = st.st_size > UINT32_MAX ? UINT32_MAX : (uint32_t)st.st_size;
        } else {
            size = imageformat_entrysize(&t, i);
        }
        addentry(rest, length, t.names[i], size, 0);
    }
    core_log(LOG_DEBUG, "corefile.dir_read", "- ReadDIR completed!\n");
}

void *corefile_loadbuffer(const char *name) {
    char *full = localname(name ? name : "");
    if (!full) return nullptr;
    s_corefile file;
    const int opened = corefile_open(full, &file, 0);
    COREFILE_FREE(full);
    if (!opened) return nullptr;
    // One byte more than the file, zero, so that text can be used as a string.
    char *buffer = static_cast<char *>(COREFILE_ALLOC((size_t)file.size + 1));
    if (buffer) {
        memset(buffer, 0, (size_t)file.size + 1);
        corefile_read(buffer, file.size, 1, &file);
    }
    corefile_close(&file);
    return buffer;
}

int corefile_savebuffer(const char *name, const void *data, uint32_t length) {
    char *full = localname(name ? name : "");
    if (!full) return 0;
    s_corefile file;
    const int opened = corefile_open(full, &file, 1);
    COREFILE_FREE(full);
    if (!opened) return 0;
    corefile_write(data, length, 1, &file);
    s_pendingwrite *w = pending_of(static_cast<FILE *>(file.data));
    const int written = w ? commit_write(w) : 0;
    file.data = nullptr;
    return written;
}

void file_downcase(char *dest, const char *src, int length) {
    for (int i = 0; i < length; ++i) {
        const char c = src[i];
        dest[i] = c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
    }
}

uint32_t getint(const unsigned char *bytes) {
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
           (uint32_t)bytes[3] << 24;
}

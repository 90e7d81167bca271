// coreimage: builds, lists and extracts "CORE" resource images.
#include "core/coredebug.h"
#include "core/corefile.h"
#include "corefile/imageformat.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *const USAGE =
    "usage:\n"
    "  coreimage create IMAGE DIR   pack every file below DIR into the stand-alone image IMAGE\n"
    "  coreimage append HOST DIR    append an image of DIR to the file HOST (positions absolute in\n"
    "                               HOST, followed by a 4-byte trailer holding the image's start)\n"
    "  coreimage list IMAGE         one line per entry: offset, size, hash, name (tab-separated)\n"
    "  coreimage extract IMAGE DIR  write every entry of IMAGE to DIR/name\n"
    "  coreimage --help             this text\n"
    "  --quiet, --verbose           errors and warnings only, or also debugging messages\n"
    "Names are the paths relative to DIR with \"/\" separators, lower-cased, in byte order.\n"
    "list and extract read stand-alone and appended images alike.\n";

[[noreturn]] void die(const char *id, const char *format, ...) __attribute__((format(printf, 2, 3)));

void die(const char *id, const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    core_log(LOG_ERROR, id, "coreimage: %s\n", text);
    exit(1);
}

struct s_packfile {
    std::string name;  // lower-cased name in the image
    std::string original;
    fs::path path;
    uint32_t size;
};

std::string downcase(const std::string &s)
{
    std::string out(s.size(), 0);
    file_downcase(out.data(), s.data(), (int)s.size());
    return out;
}

// Every regular file below dir, named and ordered as the image stores them. The image being
// written is left out when it lies inside dir.
std::vector<s_packfile> gather(const char *dir, const char *output)
{
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) die("coreimage.dir_unreadable", "cannot read directory %s", dir);
    std::vector<s_packfile> files;
    const fs::path skip = fs::weakly_canonical(output, ec);
    fs::recursive_directory_iterator it(dir, ec), end;
    if (ec) die("coreimage.dir_unreadable", "cannot read directory %s: %s", dir, ec.message().c_str());
    for (; it != end; it.increment(ec)) {
        if (ec) die("coreimage.dir_unreadable", "cannot read directory %s: %s", dir, ec.message().c_str());
        if (!it->is_regular_file(ec)) continue;
        if (fs::weakly_canonical(it->path(), ec) == skip) continue;
        const uintmax_t size = it->file_size(ec);
        if (ec) die("coreimage.unreadable", "cannot read %s: %s", it->path().c_str(), ec.message().c_str());
        if (size > UINT32_MAX) die("coreimage.too_large", "%s is larger than an image can hold", it->path().c_str());
        const std::string relative = it->path().lexically_relative(dir).generic_string();
        files.push_back({downcase(relative), relative, it->path(), (uint32_t)size});
    }
    std::sort(files.begin(), files.end(), [](const s_packfile &a, const s_packfile &b) { return a.name < b.name; });
    for (size_t i = 1; i < files.size(); ++i)
        if (files[i].name == files[i - 1].name)
            die("coreimage.name_clash", "%s and %s both become %s", files[i - 1].original.c_str(), files[i].original.c_str(),
                files[i].name.c_str());
    return files;
}

// Writes the image of files to out, every position counted from base.
void writeimage(FILE *out, uint32_t base, const std::vector<s_packfile> &files, const char *outname)
{
    std::vector<const char *> names;
    std::vector<uint32_t> sizes;
    for (const auto &f : files) {
        names.push_back(f.name.c_str());
        sizes.push_back(f.size);
    }
    char why[256];
    if (!imageformat_writetable(out, base, (uint32_t)files.size(), names.data(), sizes.data(), why, sizeof why))
        die("coreimage.table_refused", "%s: %s", outname, why);
    std::vector<char> buffer(1 << 16);
    for (const auto &f : files) {
        FILE *in = fopen(f.path.c_str(), "rb");
        if (!in) die("coreimage.unreadable", "cannot read %s: %s", f.path.c_str(), strerror(errno));
        uint64_t copied = 0;
        size_t n;
        while (copied < f.size && (n = fread(buffer.data(), 1, std::min<uint64_t>(buffer.size(), f.size - copied), in)) > 0) {
            if (fwrite(buffer.data(), 1, n, out) != n) die("coreimage.unwritable", "cannot write %s", outname);
            copied += n;
        }
        // A file that changed while packing would shift every later entry.
        const bool grew = fgetc(in) != EOF;
        fclose(in);
        if (copied != f.size || grew) die("coreimage.changed_size", "%s changed size while it was packed", f.path.c_str());
    }
}

// Writes a new file beside target and renames it over target once complete.
struct s_output {
    std::string target;
    std::string temp;
    FILE *fp;
};

s_output beginoutput(const char *target)
{
    s_output o{target, std::string(target) + ".~" + std::to_string(getpid()), nullptr};
    o.fp = fopen(o.temp.c_str(), "wb");
    if (!o.fp) die("coreimage.unwritable", "cannot write %s: %s", o.temp.c_str(), strerror(errno));
    return o;
}

void endoutput(s_output &o, mode_t mode)
{
    const bool ok = fflush(o.fp) == 0 && !ferror(o.fp);
    if (mode) fchmod(fileno(o.fp), mode);
    if (fclose(o.fp) != 0 || !ok || rename(o.temp.c_str(), o.target.c_str()) != 0) {
        unlink(o.temp.c_str());
        die("coreimage.unwritable", "cannot write %s", o.target.c_str());
    }
}

int create(const char *image, const char *dir)
{
    const auto files = gather(dir, image);
    s_output o = beginoutput(image);
    writeimage(o.fp, 0, files, image);
    endoutput(o, 0);
    return 0;
}

int append(const char *host, const char *dir)
{
    struct stat st;
    if (stat(host, &st) != 0 || !S_ISREG(st.st_mode)) die("coreimage.unreadable", "cannot read %s", host);
    if ((uint64_t)st.st_size > UINT32_MAX) die("coreimage.too_large", "%s is too large to carry an image", host);
    const auto files = gather(dir, host);
    // The host is copied with the image behind it, so a failure leaves the original intact.
    s_output o = beginoutput(host);
    FILE *in = fopen(host, "rb");
    if (!in) die("coreimage.unreadable", "cannot read %s: %s", host, strerror(errno));
    std::vector<char> buffer(1 << 16);
    uint64_t copied = 0;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        if (fwrite(buffer.data(), 1, n, o.fp) != n) die("coreimage.unwritable", "cannot write %s", host);
        copied += n;
    }
    fclose(in);
    if (copied != (uint64_t)st.st_size) die("coreimage.changed_size", "%s changed size while it was read", host);
    const uint32_t base = (uint32_t)copied;
    writeimage(o.fp, base, files, host);
    if (!imageformat_putint(o.fp, base)) die("coreimage.unwritable", "cannot write %s", host);
    endoutput(o, st.st_mode & 07777);
    return 0;
}

// Opens an image, stand-alone or appended, and reads its table.
FILE *openimage(const char *image, s_coreimage *table)
{
    FILE *fp = fopen(image, "rb");
    struct stat st;
    if (!fp || fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) die("coreimage.unreadable", "cannot read %s", image);
    char magic[4] = {};
    const bool standalone = fread(magic, 1, 4, fp) == 4 && !memcmp(magic, "CORE", 4);
    uint64_t start = 0, limit = 0;
    char why[256];
    if (!imageformat_locate(fp, (uint64_t)st.st_size, standalone ? 0 : 1, &start, &limit, why, sizeof why) ||
        !imageformat_readtable(fp, start, limit, table, why, sizeof why))
        die("coreimage.malformed", "malformed image %s: %s", image, why);
    return fp;
}

int list(const char *image)
{
    s_coreimage table{};
    FILE *fp = openimage(image, &table);
    for (uint32_t i = 0; i < table.numfiles; ++i)
        printf("%u\t%u\t%u\t%s\n", table.offsets[i], imageformat_entrysize(&table, i), table.hashes[i],
               table.names[i]);
    imageformat_freetable(&table);
    fclose(fp);
    return 0;
}

int extract(const char *image, const char *dir)
{
    s_coreimage table{};
    FILE *fp = openimage(image, &table);
    for (uint32_t i = 0; i < table.numfiles; ++i)
        if (!imageformat_safename(table.names[i])) die("coreimage.unsafe_name", "refused entry name outside %s: %s", dir, table.names[i]);
    std::vector<char> buffer(1 << 16);
    for (uint32_t i = 0; i < table.numfiles; ++i) {
        const fs::path target = fs::path(dir) / table.names[i];
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        if (ec) die("coreimage.dir_uncreatable", "cannot create %s: %s", target.parent_path().c_str(), ec.message().c_str());
        FILE *out = fopen(target.c_str(), "wb");
        if (!out) die("coreimage.unwritable", "cannot write %s: %s", target.c_str(), strerror(errno));
        uint32_t left = imageformat_entrysize(&table, i);
        if (fseeko(fp, (off_t)table.offsets[i], SEEK_SET) != 0) die("coreimage.unreadable", "cannot read %s", image);
        while (left) {
            const size_t n = fread(buffer.data(), 1, std::min<size_t>(buffer.size(), left), fp);
            if (n == 0) die("coreimage.entry_unreadable", "cannot read entry %s of %s", table.names[i], image);
            if (fwrite(buffer.data(), 1, n, out) != n) die("coreimage.unwritable", "cannot write %s", target.c_str());
            left -= (uint32_t)n;
        }
        if (fclose(out) != 0) die("coreimage.unwritable", "cannot write %s", target.c_str());
    }
    imageformat_freetable(&table);
    fclose(fp);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    core_logconsole(LOG_CONSOLE_STDERR);
    // --quiet and --verbose may stand anywhere; the rest are the command and its operands.
    argc = int(std::remove_if(argv + 1, argv + argc, core_logoption) - argv);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h") {
        fputs(USAGE, stdout);
        return 0;
    }
    if (command == "create" && argc == 4) return create(argv[2], argv[3]);
    if (command == "append" && argc == 4) return append(argv[2], argv[3]);
    if (command == "list" && argc == 3) return list(argv[2]);
    if (command == "extract" && argc == 4) return extract(argv[2], argv[3]);
    fputs(USAGE, stderr);
    return 1;
}

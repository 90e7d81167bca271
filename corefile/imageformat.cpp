#include "corefile/imageformat.h"

#include "core/coremem.h"

#include <cstdarg>
#include <cstring>

#define IMAGE_ALLOC(n) _wrap_malloc_dbg((n), "corefile/corefile-std", __LINE__)
#define IMAGE_FREE(p) _wrap_free_dbg((p), "corefile/corefile-std", __LINE__)

namespace {

int fail(char *why, size_t whysize, const char *format, ...) __attribute__((format(printf, 3, 4)));

int fail(char *why, size_t whysize, const char *format, ...) {
    if (why && whysize) {
        va_list args;
        va_start(args, format);
        vsnprintf(why, whysize, format, args);
        va_end(args);
    }
    return 0;
}

bool readat(FILE *fp, uint64_t position, void *buffer, size_t bytes) {
    if (position > (uint64_t)INT64_MAX || fseeko(fp, (off_t)position, SEEK_SET) != 0) return false;
    return fread(buffer, 1, bytes, fp) == bytes;
}

bool readint(FILE *fp, uint32_t *value) {
    unsigned char b[4];
    if (fread(b, 1, 4, fp) != 4) return false;
    *value = getint(b);
    return true;
}

}  // namespace

int imageformat_locate(FILE *fp, uint64_t filesize, int appended, uint64_t *start, uint64_t *limit,
                       char *why, size_t whysize) {
    if (!appended) {
        *start = 0;
        *limit = filesize;
        return 1;
    }
    if (filesize < 4 + IMAGEFORMAT_HEADERSIZE)
        return fail(why, whysize,
                    "file of %llu bytes is too short to hold an image and its trailer",
                    (unsigned long long)filesize);
    unsigned char b[4];
    if (!readat(fp, filesize - 4, b, 4)) return fail(why, whysize, "could not read the trailer");
    const uint32_t p = getint(b);
    if ((uint64_t)p + IMAGEFORMAT_HEADERSIZE > filesize - 4)
        return fail(why, whysize,
                    "trailer position %u leaves no room for a header before the trailer at %llu", p,
                    (unsigned long long)(filesize - 4));
    *start = p;
    *limit = filesize - 4;
    return 1;
}

int imageformat_readtable(FILE *fp, uint64_t start, uint64_t limit, s_coreimage *table, char *why,
                          size_t whysize) {
    *table = s_coreimage{};
    if (limit < start || limit - start < IMAGEFORMAT_HEADERSIZE)
        return fail(why, whysize, "%llu bytes are too short for the 12-byte header",
                    (unsigned long long)(limit < start ? 0 : limit - start));
    unsigned char header[IMAGEFORMAT_HEADERSIZE];
    if (!readat(fp, start, header, sizeof header))
        return fail(why, whysize, "could not read the header");
    if (memcmp(header, "CORE", 4) != 0)
        return fail(why, whysize, "no \"CORE\" magic at position %llu", (unsigned long long)start);
    const uint32_t numfiles = getint(header + 4);
    const uint32_t romsize = getint(header + 8);
    if (romsize > limit)
        return fail(why, whysize, "romsize %u lies beyond the end of the image data at %llu",
                    romsize, (unsigned long long)limit);
    uint64_t pos = start + IMAGEFORMAT_HEADERSIZE;
    if (numfiles > (limit - pos) / IMAGEFORMAT_ENTRYSIZE)
        return fail(why, whysize,
                    "entry count %u needs at least %llu table bytes, only %llu follow the header",
                    numfiles, (unsigned long long)numfiles * IMAGEFORMAT_ENTRYSIZE,
                    (unsigned long long)(limit - pos));

    s_coreimage t{};
    t.romsize = romsize;
    // Releases whatever was read when a check fails.
    struct s_guard {
        s_coreimage *t;
        bool keep;
        ~s_guard() {
            if (!keep) imageformat_freetable(t);
        }
    } guard{&t, false};
    // At least one element each: an empty image still gets real arrays.
    const size_t elements = numfiles ? numfiles : 1;
    t.offsets = static_cast<uint32_t *>(IMAGE_ALLOC(elements * sizeof(uint32_t)));
    t.hashes = static_cast<uint32_t *>(IMAGE_ALLOC(elements * sizeof(uint32_t)));
    t.names = static_cast<char **>(IMAGE_ALLOC(elements * sizeof(char *)));
    if (!t.offsets || !t.hashes || !t.names)
        return fail(why, whysize, "out of memory for %u table entries", numfiles);

    if (fseeko(fp, (off_t)pos, SEEK_SET) != 0)
        return fail(why, whysize, "could not read the table");
    for (uint32_t i = 0; i < numfiles; ++i) {
        if (limit - pos < IMAGEFORMAT_ENTRYSIZE)
            return fail(why, whysize, "table entry %u runs past the end of the image data", i);
        uint32_t namelen = 0, hash = 0, offset = 0;
        if (!readint(fp, &namelen) || !readint(fp, &hash))
            return fail(why, whysize, "could not read table entry %u", i);
        if (namelen == 0) return fail(why, whysize, "entry %u has an empty name", i);
        if (namelen > limit - pos - IMAGEFORMAT_ENTRYSIZE)
            return fail(why, whysize,
                        "name length %u of entry %u runs past the end of the image data", namelen,
                        i);
        char *name = static_cast<char *>(IMAGE_ALLOC((size_t)namelen + 1));
        if (!name) return fail(why, whysize, "out of memory for the name of entry %u", i);
        t.names[i] = name;
        t.numfiles = i + 1;
        if (fread(name, 1, namelen, fp) != namelen || !readint(fp, &offset))
            return fail(why, whysize, "could not read table entry %u", i);
        name[namelen] = 0;
        if (memchr(name, 0, namelen))
            return fail(why, whysize, "name of entry %u contains a zero byte", i);
        t.hashes[i] = hash;
        t.offsets[i] = offset;
        pos += IMAGEFORMAT_ENTRYSIZE + namelen;
    }

    for (uint32_t i = 0; i < numfiles; ++i) {
        if (t.offsets[i] < pos)
            return fail(why, whysize,
                        "offset %u of entry %u lies inside the header or table, which end at %llu",
                        t.offsets[i], i, (unsigned long long)pos);
        if (i && t.offsets[i] < t.offsets[i - 1])
            return fail(why, whysize,
                        "offset %u of entry %u is below the previous entry's offset %u",
                        t.offsets[i], i, t.offsets[i - 1]);
    }
    if (numfiles && romsize < t.offsets[numfiles - 1])
        return fail(why, whysize, "romsize %u is below the last entry's offset %u", romsize,
                    t.offsets[numfiles - 1]);
    guard.keep = true;
    *table = t;
    return 1;
}

void imageformat_freetable(s_coreimage *table) {
    if (table->names) {
        for (uint32_t i = 0; i < table->numfiles; ++i)
            if (table->names[i]) IMAGE_FREE(table->names[i]);
        IMAGE_FREE(table->names);
    }
    if (table->offsets) IMAGE_FREE(table->offsets);
    if (table->hashes) IMAGE_FREE(table->hashes);
    *table = s_coreimage{};
}

uint32_t imageformat_entrysize(const s_coreimage *table, uint32_t index) {
    if (index >= table->numfiles) return 0;
    const uint32_t end = index + 1 < table->numfiles ? table->offsets[index + 1] : table->romsize;
    return end - table->offsets[index];
}

int imageformat_putint(FILE *out, uint32_t value) {
    const unsigned char b[4] = {(unsigned char)value, (unsigned char)(value >> 8),
                                (unsigned char)(value >> 16), (unsigned char)(value >> 24)};
    return fwrite(b, 1, 4, out) == 4;
}

int imageformat_writetable(FILE *out, uint32_t base, uint32_t count, const char *const *names,
                           const uint32_t *sizes, char *why, size_t whysize) {
    uint64_t end = (uint64_t)base + IMAGEFORMAT_HEADERSIZE;
    for (uint32_t i = 0; i < count; ++i) end += IMAGEFORMAT_ENTRYSIZE + strlen(names[i]);
    const uint64_t datastart = end;
    for (uint32_t i = 0; i < count; ++i) end += sizes[i];
    if (end > UINT32_MAX)
        return fail(why, whysize,
                    "image would end at %llu, beyond the 4 GiB that its positions can address",
                    (unsigned long long)end);

    bool ok = fwrite("CORE", 1, 4, out) == 4 && imageformat_putint(out, count) &&
              imageformat_putint(out, (uint32_t)end);
    uint64_t offset = datastart;
    for (uint32_t i = 0; ok && i < count; ++i) {
        const uint32_t namelen = (uint32_t)strlen(names[i]);
        ok = imageformat_putint(out, namelen) &&
             imageformat_putint(out, corefile_gethash(names[i])) &&
             fwrite(names[i], 1, namelen, out) == namelen &&
             imageformat_putint(out, (uint32_t)offset);
        offset += sizes[i];
    }
    return ok ? 1 : fail(why, whysize, "could not write the table");
}

int imageformat_safename(const char *name) {
    if (!name || name[0] == '/' || name[0] == '\\') return 0;
    const char *component = name;
    for (const char *p = name;; ++p) {
        if (*p == '/' || *p == '\\' || *p == 0) {
            if (p - component == 2 && component[0] == '.' && component[1] == '.') return 0;
            if (*p == 0) return 1;
            component = p + 1;
        }
    }
}

// The "CORE" resource image format, shared by the file layer and the coreimage tool.
// Layout (all integers unsigned 32-bit little-endian), starting at position P of its file:
// "CORE", numfiles, romsize, then numfiles table entries (namelen, hash, name bytes, offset),
// then the entries' data back to back. Offsets and romsize are absolute positions in the
// file; an entry's size is the next offset (or romsize) minus its own. An image appended to
// a host file is followed by a 4-byte trailer holding P.
#pragma once
#include "core/corefile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr uint32_t IMAGEFORMAT_HEADERSIZE = 12;  // "CORE", numfiles, romsize
constexpr uint32_t IMAGEFORMAT_ENTRYSIZE = 12;   // namelen, hash, offset (the name comes extra)

// Finds the image in fp (filesize bytes): a stand-alone image starts at 0 and may use the
// whole file; an appended one starts at the trailer's position and ends before the trailer.
// On failure why tells which check failed.
int imageformat_locate(FILE *fp, uint64_t filesize, int appended, uint64_t *start, uint64_t *limit,
                       char *why, size_t whysize);

// Reads the table of the image at start, whose data must end by limit. Every count, name
// length, offset and romsize is checked before it is used or allocated: offsets lie behind
// the table, never decrease, and romsize closes them within limit; names are non-empty and
// hold no zero byte. Allocates through the counting wrappers. On failure nothing is kept and
// why tells which check failed.
int imageformat_readtable(FILE *fp, uint64_t start, uint64_t limit, s_coreimage *table, char *why,
                          size_t whysize);
// Releases the names and arrays of a table read by imageformat_readtable and clears it.
void imageformat_freetable(s_coreimage *table);
uint32_t imageformat_entrysize(const s_coreimage *table, uint32_t index);

// Writes the header and table for count entries whose data will follow back to back in the
// given order, with every position absolute from base. Fails (writing nothing) when the
// positions do not fit in 32 bits.
int imageformat_writetable(FILE *out, uint32_t base, uint32_t count, const char *const *names,
                           const uint32_t *sizes, char *why, size_t whysize);
int imageformat_putint(FILE *out, uint32_t value);

// A name that stays below the folder it is joined to: relative (no leading "/" or "\") and
// without ".." components.
int imageformat_safename(const char *name);

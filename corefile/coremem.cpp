#include "core/coremem.h"

#include "core/coredebug.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

uint32_t g_mem_in_use = 0;
uint32_t g_mem_in_use_peak = 0;

void *_wrap_malloc(size_t size) { return malloc(size); }
void _wrap_free(void *pointer) { free(pointer); }

// Counting by the heap's usable size, not the requested one, keeps allocation and release
// balanced without storing a header in the block.
void *_wrap_malloc_dbg(size_t size, const char *file, int line) {
    void *p = malloc(size);
    if (!p) {
        core_log(LOG_ERROR, "corefile.alloc_failed", "%s(%d): wrap_malloc(%d) failed!\n", file,
                 line, (int)size);
        return nullptr;
    }
    g_mem_in_use += (uint32_t)malloc_usable_size(p);
    if (g_mem_in_use > g_mem_in_use_peak) g_mem_in_use_peak = g_mem_in_use;
    return p;
}

void _wrap_free_dbg(void *pointer, const char *file, int line) {
    if (!pointer) {
        core_log(LOG_WARNING, "corefile.free_null",
                 "%s(%d): wrap_free() tried to free a NULL pointer!\n", file, line);
        return;
    }
    g_mem_in_use -= (uint32_t)malloc_usable_size(pointer);
    free(pointer);
}

// This platform has a single memory pool: the fast-RAM variants share the counters.
void *_wrap_malloc_iwram(size_t size) { return _wrap_malloc(size); }
void _wrap_free_iwram(void *pointer) { _wrap_free(pointer); }
void *_wrap_malloc_iwram_dbg(size_t size, const char *file, int line) {
    return _wrap_malloc_dbg(size, file, line);
}
void _wrap_free_iwram_dbg(void *pointer, const char *file, int line) {
    _wrap_free_dbg(pointer, file, line);
}

void wrap_memcpy(void *dest, const void *src, size_t bytes) {
    auto *d = static_cast<unsigned char *>(dest);
    auto *s = static_cast<const unsigned char *>(src);
    while (bytes > 3) {
        memcpy(d, s, 4);
        d += 4;
        s += 4;
        bytes -= 4;
    }
    while (bytes--) *d++ = *s++;
}

void wrap_memcpy16(void *dest, const void *src, size_t count) { memcpy(dest, src, count * 2); }
void wrap_memcpy32(void *dest, const void *src, size_t count) { memcpy(dest, src, count * 4); }

void wrap_memset(void *dest, int value, size_t bytes) {
    auto *d = static_cast<unsigned char *>(dest);
    const uint32_t word = 0x01010101u * (uint32_t)(value & 0xff);
    while (bytes > 3) {
        memcpy(d, &word, 4);
        d += 4;
        bytes -= 4;
    }
    while (bytes--) *d++ = (unsigned char)value;
}

void wrap_memclr(void *dest, size_t bytes) { wrap_memset(dest, 0, bytes); }

void wrap_showusage() {
    core_log(LOG_PROGRESS, "corefile.memory_usage", "memory usage: %d (peak: %d)\n",
             (int)g_mem_in_use, (int)g_mem_in_use_peak);
}

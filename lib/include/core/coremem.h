// Heap wrappers of the core library. The *_dbg entry points count the usable size of every
// block they hand out in g_mem_in_use (and its peak); the plain ones are not counted.
// Main thread only: the counters are plain integers.
#pragma once
#include <cstddef>
#include <cstdint>

extern uint32_t g_mem_in_use;
extern uint32_t g_mem_in_use_peak;

void *_wrap_malloc(size_t size);
void _wrap_free(void *pointer);
void *_wrap_malloc_dbg(size_t size, const char *file, int line);
void _wrap_free_dbg(void *pointer, const char *file, int line);
void *_wrap_malloc_iwram(size_t size);
void _wrap_free_iwram(void *pointer);
void *_wrap_malloc_iwram_dbg(size_t size, const char *file, int line);
void _wrap_free_iwram_dbg(void *pointer, const char *file, int line);

void wrap_memcpy(void *dest, const void *src, size_t bytes);
void wrap_memcpy16(void *dest, const void *src, size_t count);
void wrap_memcpy32(void *dest, const void *src, size_t count);
void wrap_memset(void *dest, int value, size_t bytes);
void wrap_memclr(void *dest, size_t bytes);
// Prints "memory usage: IN_USE (peak: PEAK)".
void wrap_showusage();

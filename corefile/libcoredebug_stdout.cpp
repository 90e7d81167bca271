#include "core/coredebug.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#define FENTRO_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FENTRO_LEAK_CHECK 1
#endif
#endif
#ifdef FENTRO_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace {

std::mutex log_lock;
std::atomic<int> log_threshold{LOG_PROGRESS};
log_sink current_sink = nullptr;
void *current_user = nullptr;
int console_flags = 0;

void vlog(int level, const char *id, const char *format, va_list args) {
    if (level > log_threshold.load(std::memory_order_relaxed)) return;
    // Long lines are cut rather than allocated: a message never fails to be delivered.
    char text[2048];
    vsnprintf(text, sizeof text, format, args);
    std::lock_guard<std::mutex> hold(log_lock);
    if (current_sink) {
        current_sink(level, id, text, current_user);
        return;
    }
    core_consolesink(level, id, text, nullptr);
}

}  // namespace

void core_consolesink(int level, const char *id, const char *text, void *) {
    static const bool ids_from_environment = getenv("FENTRO_LOG_IDS") != nullptr;
    FILE *out = level <= LOG_WARNING && (console_flags & LOG_CONSOLE_STDERR) ? stderr : stdout;
    // What went to standard output before comes first on a shared terminal.
    if (out == stderr) fflush(stdout);
    if (ids_from_environment || (console_flags & LOG_CONSOLE_IDS)) fprintf(out, "[%s] ", id);
    fputs(text, out);
    if (level <= LOG_WARNING) fflush(out);
}

void core_log(int level, const char *id, const char *format, ...) {
    va_list args;
    va_start(args, format);
    vlog(level, id, format, args);
    va_end(args);
}

int core_setloglevel(int maxlevel) { return log_threshold.exchange(maxlevel); }

int core_getloglevel() { return log_threshold.load(); }

void core_setlogsink(log_sink sink, void *user) {
    std::lock_guard<std::mutex> hold(log_lock);
    current_sink = sink;
    current_user = user;
}

void core_logconsole(int flags) {
    std::lock_guard<std::mutex> hold(log_lock);
    console_flags = flags;
}

bool core_logoption(const char *arg) {
    if (strcmp(arg, "--quiet") == 0) {
        core_setloglevel(LOG_WARNING);
        return true;
    }
    if (strcmp(arg, "--verbose") == 0) {
        core_setloglevel(LOG_DEBUG);
        return true;
    }
    return false;
}

void core_leakcheck() {
#ifdef FENTRO_LEAK_CHECK
    __lsan_do_leak_check();
#endif
}

void _dbg_init() {}
void _dbg_shutdown() {}

void _dbg_printf(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vlog(LOG_PROGRESS, "trace", format, args);
    va_end(args);
}

void _dbg_assert(const char *file, int line, const char *expression) {
    core_log(LOG_ERROR, "core.assert", "%s(%d): assertion failed: %s\n", file, line, expression);
    fflush(stdout);
    exit(1);
}

void error(const char *message) {
    core_log(LOG_ERROR, "core.fatal", "Error: %s\n", message);
    fflush(stdout);
    exit(1);
}

// Diagnostic output and fatal errors of the core library.
//
// Every console line of the engine and the tools goes through `core_log`: a level, a stable
// item id that tests and on-screen sinks can match ("project.line_skipped"), and the text.
// The default sink writes the text unchanged to standard output (errors and warnings too, so
// what the player prints stays as it was). A program may install its own sink; the editor
// shows warnings and errors on screen that way. Any thread may log: a short lock serialises
// the sink calls.
#pragma once

enum log_level {
    LOG_ERROR = 0,
    LOG_WARNING = 1,
    LOG_PROGRESS = 2,
    LOG_DEBUG = 3,
};

// Receives one formatted message; `text` is exactly what the console would show (it may or
// may not end in a line end).
typedef void (*log_sink)(int level, const char *id, const char *text, void *user);

// Formats like printf and hands the message to the sink when `level` is at most the
// threshold set by `core_setloglevel`.
void core_log(int level, const char *id, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
// Messages above `maxlevel` are dropped (default LOG_PROGRESS; --quiet sets LOG_WARNING,
// --verbose LOG_DEBUG). Returns the previous threshold.
int core_setloglevel(int maxlevel);
int core_getloglevel();
// Replaces the sink; null restores the console. Returns nothing: a caller that nests sinks
// keeps its own copy of the previous one.
void core_setlogsink(log_sink sink, void *user);
// Takes "--quiet" or "--verbose" and sets the threshold; true when `arg` was one of them.
bool core_logoption(const char *arg);

// How the console sink writes. LOG_CONSOLE_STDERR sends errors and warnings to standard error
// (the command-line tools do, so their results on standard output stay clean);
// LOG_CONSOLE_IDS puts "[id] " before each message, as does the environment variable
// FENTRO_LOG_IDS, so that a test running a program can match item ids in its output.
enum log_console_flags {
    LOG_CONSOLE_STDERR = 1,
    LOG_CONSOLE_IDS = 2,
};
void core_logconsole(int flags);
// The console sink itself, for a sink that also passes messages on to the console. Call it only
// from within a sink (the log's lock is held there).
void core_consolesink(int level, const char *id, const char *text, void *user);

// Programs that end with _exit skip the leak checker's exit hook: in a build with the address
// sanitizer this runs the check at once (a leak ends the process with the checker's failure
// status; later calls do nothing); elsewhere it does nothing. The driver calls it when the
// program's entry function has returned.
void core_leakcheck();

void _dbg_init();
void _dbg_shutdown();
// Formats like printf and logs a progress line with the id "trace".
void _dbg_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Logs "FILE(LINE): assertion failed: EXPRESSION" and ends the process with status 1.
[[noreturn]] void _dbg_assert(const char *file, int line, const char *expression);
// Logs "Error: MESSAGE" and ends the process with status 1.
[[noreturn]] void error(const char *message);

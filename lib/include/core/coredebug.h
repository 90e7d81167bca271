// Diagnostic output and fatal errors of the core library.
#pragma once

void _dbg_init();
void _dbg_shutdown();
// Formats like printf and writes to standard output.
void _dbg_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Prints "FILE(LINE): assertion failed: EXPRESSION" and ends the process with status 1.
[[noreturn]] void _dbg_assert(const char *file, int line, const char *expression);
// Prints "Error: MESSAGE" and ends the process with status 1.
[[noreturn]] void error(const char *message);

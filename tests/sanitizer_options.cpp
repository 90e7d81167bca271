// Options of the address-sanitizer build, linked into each of its programs, so that the tests,
// the programs they start and a program started by hand all check the same way.
extern "C" {

// Leak suppressions: only allocations made inside system libraries, which the process cannot
// release.
const char *__lsan_default_suppressions() {
    // D-Bus keeps a buffer from the connection SDL's initialisation opens, for the process's
    // life.
    return "leak:libdbus-1.so\n";
}

// A clean run prints nothing of its own: the list of suppressions used is left out.
const char *__lsan_default_options() { return "print_suppressions=0"; }

const char *__ubsan_default_options() { return "print_stacktrace=1"; }
}

// Process entry of every program built on the core library: the driver runs `coremain` on
// the program thread. Modules are not shut down (their threads, such as the sound timer, may
// still run), so the process ends here without running static destructors; the driver has
// run the leak check of sanitizer builds when the program returned.
#include <unistd.h>

#include <cstdio>

#include "mox/mox.h"

int main(int argc, char *argv[]) {
    int result = mox_processentry(argc, argv, coremain);
    fflush(nullptr);
    _exit(result);
}

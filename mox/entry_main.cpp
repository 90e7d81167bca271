// Process entry of every program built on the core library: the driver runs `coremain` on
// the program thread.
#include "mox/mox.h"

int main(int argc, char *argv[]) { return mox_processentry(argc, argv, coremain); }

#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite headless: the main build's
# tests, the same suite built with the address and undefined-behaviour sanitizers (leaks
# checked at every program's exit), the threaded sound tests under ThreadSanitizer, and, when
# clang with libFuzzer is present, each fuzz target for FENTRO_FUZZ_SECONDS (default 30)
# seconds. Starts Xvfb when no display is set.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${FENTRO_TEST_INNER:-}" ]; then
  scripts/setup.sh build/main
  scripts/setup.sh build/asan -DFENTRO_SANITIZE=address,undefined
  scripts/setup.sh build/tsan -DFENTRO_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
  if [ -z "${DISPLAY:-}" ]; then
    echo "No display: running the tests under Xvfb"
    exec env FENTRO_TEST_INNER=1 xvfb-run -a -s "-screen 0 1920x1080x24" "$0"
  fi
fi

export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
status=0
ctest --test-dir build/main --output-on-failure -j2 || status=1
ctest --test-dir build/asan --output-on-failure -j2 || status=1
ctest --test-dir build/tsan --output-on-failure || status=1
scripts/fuzz.sh || status=1
exit $status

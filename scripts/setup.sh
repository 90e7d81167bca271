#!/usr/bin/env bash
# Installs what a Debian machine lacks, then configures and builds.
# Usage: scripts/setup.sh [--play] [BUILD_DIR [extra cmake arguments...]]
# --play installs only what building and playing needs and configures a new build folder
# without the tests and benchmarks (BUILD_TESTING=OFF); without it the test packages are
# installed too and the build folder builds the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=test
if [ "${1:-}" = "--play" ]; then
  mode=play
  shift
fi

PLAY_PACKAGES="g++ make cmake ninja-build pkg-config libsdl2-dev libglew-dev libgl-dev
libgl1-mesa-dri xvfb xauth libfreetype-dev fonts-dejavu-core"
# clang and its runtime build the fuzz targets.
TEST_PACKAGES="googletest libgtest-dev libgmock-dev libbenchmark-dev libstb-dev clang
libclang-rt-14-dev"
PACKAGES=$PLAY_PACKAGES
if [ "$mode" = test ]; then
  PACKAGES="$PLAY_PACKAGES $TEST_PACKAGES"
fi

missing=()
if command -v dpkg-query >/dev/null; then
  for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
fi
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
  else
    echo "These packages are missing; install them as root and run again:"
    echo "  apt-get install -y ${missing[*]}"
    exit 1
  fi
fi

build=${1:-build/main}
shift || true
# A folder configured for playing only is configured again with the tests when they are asked
# for; a folder that has the tests keeps them for playing.
testing=OFF
[ "$mode" = test ] && testing=ON
if [ ! -f "$build/build.ninja" ] ||
   { [ "$mode" = test ] && grep -q '^BUILD_TESTING:BOOL=OFF' "$build/CMakeCache.txt"; }; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=$testing "$@"
fi
cmake --build "$build"

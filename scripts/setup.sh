#!/usr/bin/env bash
# Installs what a Debian machine lacks for building and testing, then configures and builds.
# Usage: scripts/setup.sh [BUILD_DIR [extra cmake arguments...]]
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES="g++ make cmake ninja-build pkg-config libsdl2-dev libglew-dev libgl-dev libglu1-mesa-dev
libgl1-mesa-dri xvfb xauth googletest libgtest-dev libgmock-dev libbenchmark-dev libstb-dev
libfreetype-dev fonts-dejavu-core"

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
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
cmake --build "$build"

#!/usr/bin/env bash
# Sets up what is missing, builds, and plays the built-in production.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build/main
echo "The player is not built yet: nothing to play."

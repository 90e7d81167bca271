#!/usr/bin/env bash
# Formats every C++ source of the tree with .clang-format; --check only reports files that
# would change (status 1 when any would).
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  exec clang-format --dry-run --Werror "${files[@]}"
fi
exec clang-format -i "${files[@]}"

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for FENTRO_FUZZ_SECONDS seconds
# (default 30), starting from the seed corpora in fuzz/corpus/TARGET. Inputs that add coverage
# collect in BUILD/corpus/TARGET; an input that fails is kept as BUILD/findings/TARGET-*.
# Without a clang that can link libFuzzer it says so and succeeds.
# Usage: scripts/fuzz.sh [TARGET...]   (targets: corefile_image tga wav project mesh)
set -euo pipefail
cd "$(dirname "$0")/.."

probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }'
if ! command -v clang++ >/dev/null ||
   ! echo "$probe" | clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
  echo "No clang with libFuzzer: fuzzing skipped"
  exit 0
fi

seconds=${FENTRO_FUZZ_SECONDS:-30}
build=${FENTRO_FUZZ_BUILD:-build/fuzz}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(corefile_image tga wav project mesh)
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
fi
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

status=0
mkdir -p "$build/findings"
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  options=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -close_fd_mask=1
           -print_final_stats=1 -artifact_prefix="$build/findings/$t-")
  [ -f "fuzz/fuzz_$t.dict" ] && options+=(-dict="fuzz/fuzz_$t.dict")
  echo "fuzz_$t: $seconds s"
  "$build/fuzz_$t" "${options[@]}" "$build/corpus/$t" "fuzz/corpus/$t" || status=1
done
exit $status

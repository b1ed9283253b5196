#!/usr/bin/env bash
# Builds and runs every test twice (optimised, then under AddressSanitizer and
# UndefinedBehaviorSanitizer), builds the benchmarks and runs each fuzz target briefly.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
jobs=$(nproc)

echo "== optimised build"
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release
ctest --test-dir "$root/build" --output-on-failure -j"$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
# -O1 with line tables only: a third of the compile time of -O2 -g, and the sanitizers'
# reports still name files and lines.
light=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
       "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")
"$root/scripts/build.sh" "$root/build-asan" "${light[@]}" -DTAVRIK_SANITIZE=ON -DTAVRIK_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j"$jobs"

if [ -f "$root/fuzz/CMakeLists.txt" ]; then
  echo "== fuzz targets (short bounded runs)"
  "$root/scripts/build.sh" "$root/build-fuzz" "${light[@]}" \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DTAVRIK_FUZZ=ON -DTAVRIK_TESTS=OFF -DTAVRIK_BENCH=OFF -- fuzz_all
  "$root/scripts/fuzz.sh" "$root/build-fuzz" 20
fi
echo "== all tests passed"

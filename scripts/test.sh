#!/usr/bin/env bash
# Builds and runs every test twice (optimised, then under AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each fuzz target briefly.
# The benchmarks are scripts/bench.sh's. test.sh --configure-only DIR configures the optimised
# tree in DIR and stops (the tests check that step).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Every option the optimised tree depends on is given, whatever another script left cached
# there (run.sh turns the tests off in the same tree).
optimised=(-DCMAKE_BUILD_TYPE=Release -DTAVRIK_TESTS=ON -DTAVRIK_BENCH=OFF -DTAVRIK_SANITIZE=OFF -DTAVRIK_FUZZ=OFF)
if [ "${1:-}" = "--configure-only" ]; then
  cmake -S "$root" -B "$2" -G Ninja "${optimised[@]}" >/dev/null
  exit 0
fi
"$root/scripts/deps.sh"
jobs=$(nproc)

echo "== optimised build"
"$root/scripts/build.sh" "$root/build" "${optimised[@]}"
ctest --test-dir "$root/build" --output-on-failure -j"$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
# -O1 with line tables only: a third of the compile time of -O2 -g, and the sanitizers'
# reports still name files and lines. Built with clang, which compiles the instrumented tree
# faster than g++ and checks what g++'s sanitizers do not (the optimised tree above stays
# g++'s). The libFuzzer targets need clang too and are built in this tree, over its
# instrumented libraries, instead of in a tree of their own.
light=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
       "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")
fuzz=(-DTAVRIK_FUZZ=OFF)
[ -f "$root/fuzz/CMakeLists.txt" ] && fuzz=(-DTAVRIK_FUZZ=ON)
"$root/scripts/build.sh" "$root/build-asan" "${light[@]}" -DCMAKE_C_COMPILER=clang-14 \
  -DCMAKE_CXX_COMPILER=clang++-14 -DTAVRIK_SANITIZE=ON -DTAVRIK_BENCH=OFF "${fuzz[@]}"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j"$jobs"

if [ "${fuzz[0]}" = -DTAVRIK_FUZZ=ON ]; then
  echo "== fuzz targets (short bounded runs)"
  "$root/scripts/fuzz.sh" "$root/build-asan" 20
fi
echo "== all tests passed"

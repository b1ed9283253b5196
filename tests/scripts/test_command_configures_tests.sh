#!/usr/bin/env bash
# The test command turns the tests on in its tree even when the start command (run.sh) left
# them off there: otherwise it would run stale test binaries and report a false green.
set -euo pipefail
root=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIK_TESTS=OFF -DTAVRIK_BENCH=OFF >/dev/null
grep -q '^TAVRIK_TESTS:BOOL=OFF$' "$tree/CMakeCache.txt"
bash "$root/scripts/test.sh" --configure-only "$tree"
if ! grep -q '^TAVRIK_TESTS:BOOL=ON$' "$tree/CMakeCache.txt"; then
  echo "test.sh left the tests off in a tree run.sh configured" >&2
  exit 1
fi
# The tree really builds the tests now.
grep -q 'core_tests' "$tree/build.ninja"
echo "the test command's tree builds the tests"

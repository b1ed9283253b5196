#!/usr/bin/env bash
# Builds the benchmarks and runs each one; every benchmark measures beside an outside reference.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release -DTAVRIK_BENCH=ON
for b in "$root"/build/bin/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done

#!/usr/bin/env bash
# Configures and builds one tree: build.sh DIR [cmake options...] [-- TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
options=()
while (($#)) && [ "$1" != "--" ]; do
  options+=("$1")
  shift
done
[ "${1:-}" = "--" ] && shift
targets=()
for t in "$@"; do targets+=(--target "$t"); done
# A compiler cache shared by every tree and clone: paths below the source root are hashed
# relative to it, so a fresh clone elsewhere reuses what an earlier build compiled.
if command -v ccache >/dev/null && [ -n "${HOME:-}${CCACHE_DIR:-}" ]; then
  options=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "${options[@]}")
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
fi
cmake -S "$root" -B "$dir" -G Ninja "${options[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"

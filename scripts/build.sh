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
# A compiler cache for rebuilds of a tree. (Paths are left absolute: the error records name
# their source files relative to the source root through -fmacro-prefix-map.)
if command -v ccache >/dev/null && [ -n "${HOME:-}${CCACHE_DIR:-}" ]; then
  options=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "${options[@]}")
fi
cmake -S "$root" -B "$dir" -G Ninja "${options[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"

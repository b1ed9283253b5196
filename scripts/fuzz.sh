#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time: fuzz.sh BUILD_DIR SECONDS
# A target starts from the seeds its build wrote (BUILD_DIR/corpus/NAME), when there are any,
# and runs the seconds its build put in BUILD_DIR/corpus/NAME.seconds instead, when less.
set -euo pipefail
dir=$1
seconds=${2:-20}
found=0
for target in "$dir"/bin/*_fuzz; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target" _fuzz)
  work=$(mktemp -d)
  mkdir -p "$work/corpus"
  if [ -d "$dir/corpus/$name" ]; then cp -r "$dir/corpus/$name/." "$work/corpus/"; fi
  run=$seconds
  if [ -f "$dir/corpus/$name.seconds" ] && [ "$(cat "$dir/corpus/$name.seconds")" -lt "$run" ]; then
    run=$(cat "$dir/corpus/$name.seconds")
  fi
  echo "-- $name for ${run}s"
  "$target" -max_total_time="$run" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1 || {
    tail -n 40 "$work/log"
    echo "fuzz target $name failed; artifacts in $work"
    exit 1
  }
  grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units)' "$work/log" | tail -n 2
  rm -rf "$work"
done
[ "$found" = 1 ] || echo "no fuzz targets built"

#!/usr/bin/env bash
# Builds the benchmarks and runs each one; every benchmark measures beside an outside reference
# and prints a RATIO line per case. At the end a table collects the ratio lines of all runs.
#
#   bash scripts/bench.sh [NAME...] [BENCHMARK-OPTION...] [-- ARG...]
#
# NAME       runs only the benchmarks whose name contains it (flood, merge_bench, ...); none
#            runs them all.
# --option   a word starting with "-" (e.g. --benchmark_filter=Merge) goes to every benchmark,
#            as does everything after "--".
# BENCH_BUILD_DIR  the build tree (default build-bench beside the sources).
# BENCH_NO_BUILD=1 runs what is built without building again.
#
# The script picks no cores itself: under `taskset -c 0,1 bash scripts/bench.sh` the build
# and the benchmarks keep to those cores. A benchmark that fails (or reports a result check
# failure) is named at the end and the script exits non-zero, after the table.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${BENCH_BUILD_DIR:-$root/build-bench}

names=()
args=()
while (($#)); do
  case $1 in
    --) shift; args+=("$@"); break ;;
    -*) args+=("$1") ;;
    *) names+=("$1") ;;
  esac
  shift
done

if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  "$root/scripts/deps.sh"
  "$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DTAVRIK_BENCH=ON
fi

wanted() {
  ((${#names[@]} == 0)) && return 0
  local n
  for n in "${names[@]}"; do
    [[ $1 == *"$n"* ]] && return 0
  done
  return 1
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ratios=$tmp/ratios
out=$tmp/out
: >"$ratios"
failed=()
ran=0
for b in "$dir"/bin/*_bench; do
  [ -x "$b" ] || continue
  name=$(basename "$b")
  wanted "$name" || continue
  ran=$((ran + 1))
  echo "== $name"
  # Google benchmark names a failed check "ERROR OCCURRED" and still exits 0.
  status=0
  "$b" "${args[@]}" 2>&1 | tee "$out" || status=$?
  grep '^RATIO ' "$out" >>"$ratios" || true
  if ((status != 0)) || grep -q 'ERROR OCCURRED' "$out"; then failed+=("$name"); fi
done
((ran)) || { echo "no benchmark in $dir/bin matches: ${names[*]}" >&2; exit 1; }

# The table: the last ratio line of each bench, case and reference (Google benchmark may run a
# case several times while it settles; a case may compare with more than one reference), in
# the order they first appeared.
echo
echo "== summary (ref/ours above 1: ours is faster; a floor is no competitor, only the bound)"
awk -F' [|] ' '
  {
    sub(/^RATIO /, "", $1)
    ours = $3; sub(/^ours /, "", ours); sub(/ ms$/, "", ours)
    ref = $4; sub(/ ms$/, "", ref)
    refName = ref; sub(/ [^ ]*$/, "", refName); sub(/^.* /, "", ref)
    key = $1 SUBSEP $2 SUBSEP refName
    if (!(key in row)) order[++n] = key
    ratio = $5; sub(/^ref\/ours /, "", ratio)
    note = ""
    for (i = 6; i <= NF; ++i) note = note (i > 6 ? " | " : "") $i
    row[key] = $1 "\t" $2 "\t" ours "\t" refName "\t" ref "\t" ratio "\t" note
  }
  END {
    row[""] = "bench\tcase\tours ms\treference\tref ms\tref/ours\tnote"
    order[0] = ""
    for (k = 0; k <= n; ++k) {
      c = split(row[order[k]], f, "\t")
      for (i = 1; i < c; ++i) if (length(f[i]) > width[i]) width[i] = length(f[i])
    }
    for (k = 0; k <= n; ++k) {
      c = split(row[order[k]], f, "\t")
      line = ""
      for (i = 1; i < c; ++i) line = line sprintf("%-" width[i] "s  ", f[i])
      print line f[c]
    }
  }' "$ratios"

if ((${#failed[@]})); then
  echo "failed: ${failed[*]}" >&2
  exit 1
fi

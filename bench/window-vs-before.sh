#!/usr/bin/env bash
# The report window against an earlier build of itself and against the
# command-line scan, on the same tree, in one run.
#
#   bench/window-vs-before.sh BEFORE_REPORT_BENCH [TREE...]
#
# BEFORE_REPORT_BENCH is report_bench built from the commit to compare with
# (e.g. a worktree at that commit); the new one and vorntools-scan come from
# BUILD_DIR (build). TREE defaults to /tmp/trees/home. The three take turns,
# round by round (ROUNDS, 3), so other work on the machine weighs on all
# alike; the ratios are of the medians. Figures in milliseconds.
set -euo pipefail
cd "$(dirname "$0")/.."
before=${1:?usage: bench/window-vs-before.sh BEFORE_REPORT_BENCH [TREE...]}
shift
trees=("${@:-/tmp/trees/home}")
build_dir=${BUILD_DIR:-build}
rounds=${ROUNDS:-3}
scan_bin="$build_dir/src/cli/vorntools-scan"
after="$build_dir/src/report/report_bench"
[ -x "$scan_bin" ] && [ -x "$after" ] || bash scripts/build.sh >/dev/null

run_shown() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
window_ms() { run_shown "$1" --tree "$2" --rounds 1 2>/dev/null | awk '/^scan_ms/ { printf "%d", $2 }'; }

for tree in "${trees[@]}"; do
  name=$(basename "$tree")
  cli=() old=() new=()
  "$scan_bin" "$tree" >/dev/null  # warm the cache
  for r in $(seq "$rounds"); do
    start=$(date +%s%N)
    "$scan_bin" "$tree" >/dev/null
    cli+=($(((($(date +%s%N) - start)) / 1000000)))
    old+=($(window_ms "$before" "$tree"))
    new+=($(window_ms "$after" "$tree"))
    echo "${name} round $r: command ${cli[-1]}, window before ${old[-1]}, window now ${new[-1]}"
  done
  c=$(printf '%s\n' "${cli[@]}" | median)
  o=$(printf '%s\n' "${old[@]}" | median)
  n=$(printf '%s\n' "${new[@]}" | median)
  awk -v c="$c" -v o="$o" -v n="$n" -v t="$name" 'BEGIN {
    printf "%s medians: command %d, window before %d, window now %d\n", t, c, o, n
    printf "%s window now / before %.2f, now / command %.2f, before / command %.2f\n",
      t, n / o, n / c, o / c }'
done

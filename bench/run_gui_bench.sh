#!/usr/bin/env bash
# The report window against the command-line scan on the same tree.
#
#   bench/run_gui_bench.sh [TREE] [BIG_TREE]
#
# TREE defaults to /tmp/trees/home (made with ../shared/bench/mktree.py home
# /tmp/trees/home --seed 1 when missing), BIG_TREE to a tree of 100,000
# folders made the same way. The window is shown on an X server: under
# xvfb-run when no display is set. Figures: milliseconds and KiB.
#
# The command and the window take turns, round by round, so that other work
# on the machine weighs on both alike; the ratio is of the two medians.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
mktree=${MKTREE:-/work/shared/bench/mktree.py}
tree=${1:-/tmp/trees/home}
big=${2:-/tmp/trees-report/home100k}
rounds=${ROUNDS:-5}

[ -d "$tree" ] || python3 "$mktree" home "$tree" --seed 1
[ -d "$big" ] || python3 "$mktree" home "$big" --seed 3 --dirs 100000 --files 300000

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j2 --target vorntools-scan report_bench >/dev/null

scan_bin="$build_dir/src/cli/vorntools-scan"
bench_bin="$build_dir/src/report/report_bench"
run_shown() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# One tree, `rounds` turns: the command's wall time, then a window scan.
compare() {
  local name=$1 folder=$2 cli=() win=()
  "$scan_bin" "$folder" >/dev/null  # warm the cache
  for r in $(seq "$rounds"); do
    local start=$(date +%s%N)
    "$scan_bin" "$folder" >/dev/null
    cli+=($(( ($(date +%s%N) - start) / 1000000 )))
    win+=($(run_shown "$bench_bin" --tree "$folder" --rounds 1 2>/dev/null |
      awk '/^scan_ms/ { printf "%d", $2 }'))
    echo "${name}_round_$r cli ${cli[-1]} window ${win[-1]}"
  done
  local c w
  c=$(printf '%s\n' "${cli[@]}" | median)
  w=$(printf '%s\n' "${win[@]}" | median)
  echo "${name}_cli_median_ms $c"
  echo "${name}_window_median_ms $w"
  awk -v w="$w" -v c="$c" -v n="$name" 'BEGIN { printf "%s_window_to_cli_ratio %.2f\n", n, w / c }'
}

compare home "$tree"
/usr/bin/time -f "home_cli_peak_rss_kib %M" "$scan_bin" "$tree" >/dev/null
compare big "$big"

echo "# window on the home tree: repaints, Stop, peak memory"
"$scan_bin" "$tree" >/dev/null
run_shown "$bench_bin" --tree "$tree" --rounds 3 2>/dev/null
echo "# window with the 100,000-folder report: expand, sort, save, print"
"$scan_bin" "$big" >/dev/null
run_shown "$bench_bin" --tree "$tree" --big "$big" --rounds 1 2>/dev/null | grep -v '^scan_\|^stop\|^stopped\|^status'

#!/usr/bin/env bash
# The report window against the command-line scan on the same tree, in one run.
#
#   bench/run_gui_bench.sh [TREE] [BIG_TREE]
#
# TREE defaults to /tmp/trees/home (made with ../shared/bench/mktree.py home
# /tmp/trees/home --seed 1 when missing), BIG_TREE to a tree of 100,000
# folders made the same way. The window is shown on an X server: under
# xvfb-run when no display is set. Figures: milliseconds and KiB.
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

# The command-line scan of a tree, warm cache: median milliseconds of the rounds.
cli_median() {
  "$scan_bin" "$1" >/dev/null
  local times=()
  for _ in $(seq "$rounds"); do
    local start=$(date +%s%N)
    "$scan_bin" "$1" >/dev/null
    times+=($(( ($(date +%s%N) - start) / 1000000 )))
  done
  echo "# cli runs (ms): ${times[*]}" >&2
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (rounds + 1) / 2 ))p"
}
cli_median=$(cli_median "$tree")
echo "cli_scan_median_ms $cli_median"
/usr/bin/time -f "cli_peak_rss_kib %M" "$scan_bin" "$tree" >/dev/null
cli_big_median=$(cli_median "$big")
echo "cli_big_scan_median_ms $cli_big_median"

# Other work on the machine can push the trees out of the page cache:
# read them again right before the window's runs.
"$scan_bin" "$tree" >/dev/null
echo "# window, home tree only (its peak memory)"
run_shown "$bench_bin" --tree "$tree" --rounds "$rounds" | tee /tmp/report_bench_home.txt
"$scan_bin" "$tree" >/dev/null
"$scan_bin" "$big" >/dev/null
echo "# window, home tree, then the 100,000-folder report"
run_shown "$bench_bin" --tree "$tree" --big "$big" --rounds 1 | tee /tmp/report_bench_big.txt

gui_median=$(awk '/^scan_median_ms/ {print $2}' /tmp/report_bench_home.txt)
gui_big=$(awk '/^big_scan_ms/ {print $2}' /tmp/report_bench_big.txt)
awk -v g="$gui_median" -v c="$cli_median" 'BEGIN { printf "window_to_cli_ratio %.2f\n", g / c }'
awk -v g="$gui_big" -v c="$cli_big_median" 'BEGIN { printf "big_window_to_cli_ratio %.2f\n", g / c }'

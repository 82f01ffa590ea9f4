#!/usr/bin/env bash
# Load figures on a very large tree: the command's scan, then the window's
# scan, save, load, sort, full expand and print to PDF, each with its time
# and peak memory, and the report tree's bytes per node.
#
#   bench/load_bench.sh [TREE] [OUT]
#
# TREE defaults to /tmp/trees/big4 (mktree.py home DEST --seed 4 --dirs
# 300000 --files 3000000); it is only read. OUT (default build/load-bench)
# takes the reports and the PDF.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
tree=${1:-/tmp/trees/big4}
out=${2:-$build_dir/load-bench}
[ -d "$tree" ] || { echo "no tree at $tree" >&2; exit 2; }
mkdir -p "$out"
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j2 --target vorntools-scan load_bench >/dev/null

"$build_dir/src/cli/vorntools-scan" "$tree" >/dev/null  # warm the cache
/usr/bin/time -f "cli_scan     %e s  peak %M KiB" \
  "$build_dir/src/cli/vorntools-scan" --output "$out/cli-report.txt" "$tree"
echo "cli_report_bytes $(stat -c %s "$out/cli-report.txt")"
shown=()
[ -n "${DISPLAY:-}" ] || shown=(xvfb-run -a -s "-screen 0 1280x1024x24")
/usr/bin/time -f "window_total %e s  peak %M KiB" "${shown[@]}" \
  "$build_dir/bench/load_bench" --tree "$tree" --out "$out"

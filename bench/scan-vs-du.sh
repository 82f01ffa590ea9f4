#!/usr/bin/env bash
# Times vorntools-scan against du -k on the benchmark trees, in one run, and
# prints each ratio and each peak memory. Checks the report's totals first.
#
#   bash bench/scan-vs-du.sh [TREES_DIR]      (default /tmp/vorn-bench)
#
# Needs hyperfine and GNU time (scripts/install-deps.sh installs both).
set -euo pipefail
cd "$(dirname "$0")/.."
trees=${1:-/tmp/vorn-bench}
runs=${RUNS:-9}
scan=${SCAN:-build/src/cli/vorntools-scan}
mktree=${MKTREE:-../shared/bench/mktree.py}
[ -x "$scan" ] || bash scripts/build.sh >/dev/null
[ -f "$mktree" ] || mktree=/work/shared/bench/mktree.py

mkdir -p "$trees"
[ -d "$trees/home" ] || python3 "$mktree" home "$trees/home" --seed 1 --per-dir >/dev/null
[ -d "$trees/flat" ] || python3 "$mktree" flat "$trees/flat" --seed 2 >/dev/null
[ -d "$trees/deep" ] || python3 "$mktree" deep "$trees/deep" >/dev/null

printf '%-6s %12s %12s %8s %14s %14s  %s\n' tree "scan s" "du -k s" ratio "scan peak KiB" "du peak KiB" check
for name in home flat deep; do
  tree="$trees/$name"
  "$scan" --output "$trees/$name.report.txt" "$tree"
  check=$(python3 bench/check_report.py "$trees/$name.report.txt" "$tree" 2>&1 | tail -1)
  json=$(mktemp)
  hyperfine -N --warmup 2 --runs "$runs" --export-json "$json" \
    "$scan --output /dev/null $tree" "du -k $tree" >/dev/null 2>&1
  read -r scan_s du_s < <(python3 - "$json" <<'PY'
import json, statistics, sys
r = json.load(open(sys.argv[1]))["results"]
print(*(f"{statistics.median(x['times']):.3f}" for x in r))
PY
)
  rm -f "$json"
  scan_kb=$( { /usr/bin/time -f %M "$scan" --output /dev/null "$tree"; } 2>&1 | tail -1)
  du_kb=$( { /usr/bin/time -f %M du -k "$tree" >/dev/null; } 2>&1 | tail -1)
  ratio=$(python3 -c "print(f'{$scan_s / $du_s:.2f}')")
  printf '%-6s %12s %12s %8s %14s %14s  %s\n' "$name" "$scan_s" "$du_s" "$ratio" "$scan_kb" "$du_kb" "$check"
done

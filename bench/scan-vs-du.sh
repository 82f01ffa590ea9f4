#!/usr/bin/env bash
# Times vorntools-scan against du -k on the benchmark trees, in one run, and
# prints each ratio and each peak memory. Checks the report's totals first.
#
#   bash bench/scan-vs-du.sh [TREES_DIR]      (default /tmp/vorn-bench)
#
# NAMES="home" limits the run to some of the trees (home, flat, deep).
# THREADS="1 2 0" (the default) times the scan with each of these --threads
# values (0 = automatic) in the same run as du. COLD=1 (as root) empties the
# page cache before every run of every command, so the disk answers.
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

threads=(${THREADS:-1 2 0})
prepare=()
if [ "${COLD:-0}" = 1 ]; then
  prepare=(--prepare 'sync; echo 3 > /proc/sys/vm/drop_caches')
  runs=${RUNS:-5}
fi
printf '%-6s %-8s %10s %10s %8s %14s %14s  %s\n' tree threads "scan s" "du -k s" ratio \
  "scan peak KiB" "du peak KiB" check
for name in ${NAMES:-home flat deep}; do
  tree="$trees/$name"
  "$scan" --output "$trees/$name.report.txt" "$tree"
  check=$(python3 bench/check_report.py "$trees/$name.report.txt" "$tree" 2>&1 | tail -1)
  commands=()
  for t in "${threads[@]}"; do commands+=("$scan --threads $t --output /dev/null $tree"); done
  json=$(mktemp)
  hyperfine -N --warmup 2 --runs "$runs" "${prepare[@]}" --export-json "$json" \
    "${commands[@]}" "du -k $tree" >/dev/null 2>&1
  mapfile -t medians < <(python3 - "$json" <<'PY'
import json, statistics, sys
r = json.load(open(sys.argv[1]))["results"]
print(*(f"{statistics.median(x['times']):.3f}" for x in r), sep="\n")
PY
)
  rm -f "$json"
  du_s=${medians[-1]}
  du_kb=$( { /usr/bin/time -f %M du -k "$tree" >/dev/null; } 2>&1 | tail -1)
  for i in "${!threads[@]}"; do
    t=${threads[$i]}
    scan_s=${medians[$i]}
    scan_kb=$( { /usr/bin/time -f %M "$scan" --threads "$t" --output /dev/null "$tree"; } 2>&1 | tail -1)
    ratio=$(python3 -c "print(f'{$scan_s / $du_s:.2f}')")
    label=$t
    [ "$t" = 0 ] && label="0=auto"
    printf '%-6s %-8s %10s %10s %8s %14s %14s  %s\n' "$name" "$label" "$scan_s" "$du_s" "$ratio" \
      "$scan_kb" "$du_kb" "$check"
  done
done

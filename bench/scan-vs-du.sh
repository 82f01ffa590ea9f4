#!/usr/bin/env bash
# Times vorntools-scan against du -k, ncdu, gdu and a minimal walker (the
# floor) on the benchmark trees, all in one run, and prints each median, its
# ratio to du -k and each peak memory. Checks the report's totals first.
#
#   bash bench/scan-vs-du.sh [TREES_DIR]      (default /tmp/vorn-bench)
#
# NAMES="home flat" (the default) picks the trees (home, flat, deep).
# THREADS="0 1 2 4 8 16" (the default) times the scan with each of these
# --threads values (0 = automatic). FLOOR="1 2 16" the floor walker with
# these thread counts; PEERS=0 leaves out ncdu and gdu; BEFORE=PATH adds an
# earlier build of vorntools-scan at its automatic count. COLD=1 (as root)
# empties the page cache before every run of every command, so the disk
# answers. RUNS (default 5 warm after one round unmeasured, 3 cold) rounds,
# each running every command once (bench/interleave.py), so a shared
# machine's changing load falls on all alike; peak memory is the largest
# of a command's runs.
# BUILD_DIR (default build) holds the scan and gets the floor walker, built
# from FLOORWALK (default ../shared/bench/floorwalk.cpp).
# Needs GNU time, ncdu and gdu (scripts/install-deps.sh installs them) and g++.
set -euo pipefail
cd "$(dirname "$0")/.."
trees=${1:-/tmp/vorn-bench}
build=${BUILD_DIR:-build}
scan=${SCAN:-$build/src/cli/vorntools-scan}
mktree=${MKTREE:-../shared/bench/mktree.py}
floorsrc=${FLOORWALK:-../shared/bench/floorwalk.cpp}
[ -f "$mktree" ] || mktree=/work/shared/bench/mktree.py
[ -f "$floorsrc" ] || floorsrc=/work/shared/bench/floorwalk.cpp
[ -x "$scan" ] || BUILD_DIR=$build bash scripts/build.sh >/dev/null
floor=$build/floorwalk
if [ ! -x "$floor" ] || [ "$floorsrc" -nt "$floor" ]; then
  g++ -O2 -std=c++20 -pthread -o "$floor" "$floorsrc"
fi

mkdir -p "$trees"
[ -d "$trees/home" ] || python3 "$mktree" home "$trees/home" --seed 1 --per-dir >/dev/null
[ -d "$trees/flat" ] || python3 "$mktree" flat "$trees/flat" --seed 2 >/dev/null
[ -d "$trees/deep" ] || python3 "$mktree" deep "$trees/deep" >/dev/null

threads=(${THREADS:-0 1 2 4 8 16})
floors=(${FLOOR:-1 2 16})
runs=${RUNS:-5}
warmup=1
mode=warm
if [ "${COLD:-0}" = 1 ]; then
  runs=${RUNS:-3}
  warmup=0
  mode=cold
fi

echo "# $mode page cache, $runs runs each, medians; ratio = median / median of du -k"
printf '%-5s %-24s %9s %7s %10s  %s\n' tree command "median s" ratio "peak KiB" check
for name in ${NAMES:-home flat}; do
  tree="$trees/$name"
  "$scan" --output "$trees/$name.report.txt" "$tree"
  check=$(python3 bench/check_report.py "$trees/$name.report.txt" "$tree" 2>&1 | tail -1)
  labels=() commands=()
  for t in "${threads[@]}"; do
    label="scan --threads $t"
    [ "$t" = 0 ] && label="scan automatic"
    labels+=("$label")
    commands+=("$scan --threads $t --output /dev/null $tree")
  done
  if [ -n "${BEFORE:-}" ]; then
    labels+=("before automatic")
    commands+=("$BEFORE --threads 0 --output /dev/null $tree")
  fi
  if [ "${PEERS:-1}" = 1 ]; then
    labels+=("ncdu -0 -x -o /dev/null" "gdu -n -p")
    commands+=("ncdu -0 -x -o /dev/null $tree" "gdu -n -p $tree")
  fi
  for t in "${floors[@]}"; do
    labels+=("floor -t $t")
    commands+=("$floor -t $t $tree")
  done
  labels+=("du -k")
  commands+=("du -k $tree")
  mapfile -t results < <(python3 -c 'import json, sys; print(json.dumps([c.split() for c in sys.argv[1:]]))' \
    "${commands[@]}" | python3 bench/interleave.py "$runs" "$warmup" "${COLD:-0}")
  du_s=${results[-1]%% *}
  for i in "${!commands[@]}"; do
    median=${results[$i]%% *}
    peak=${results[$i]##* }
    ratio=$(python3 -c "print(f'{$median / $du_s:.2f}')")
    mark=""
    case "${labels[$i]}" in scan*) mark=$check ;; esac
    printf '%-5s %-24s %9s %7s %10s  %s\n' "$name" "${labels[$i]}" "$median" "$ratio" "$peak" "$mark"
  done
done

#!/usr/bin/env bash
# Times scan files on one tree: vorntools-scan writing one (--export: plain,
# .zst, .gz, beside a scan without it) and making its report from one
# (--from), against ncdu reading the same file (ncdu -f F -o /dev/null: it
# reads the file and writes it out again to nowhere). Prints each command's
# median seconds and peak memory, the ratios, and the files' sizes. Checks
# first that the report from the file is the scan's, byte for byte.
#
#   bash bench/scanfile-vs-ncdu.sh [TREE]      (default /tmp/trees/big4)
#
# RUNS (default 3) rounds of the reading commands, each running every one
# once, so a shared machine's changing load falls on all alike; WRITE_RUNS
# (default 1) rounds of the scans, which take a minute each on 3,000,000
# files. BUILD_DIR (default build)
# holds the scan. Needs GNU time and ncdu (scripts/install-deps.sh).
#
# FILE=F.json times only the reading of that scan file, against ncdu's;
# BEFORE=<an older vorntools-scan> reads it with that one too, in the same
# rounds.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-/tmp/trees/big4}
build=${BUILD_DIR:-build}
scan=${SCAN:-$build/src/cli/vorntools-scan}
runs=${RUNS:-3}
write_runs=${WRITE_RUNS:-1}
[ -x "$scan" ] || BUILD_DIR=$build bash scripts/build.sh >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/scanfile-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# name -> "seconds KB" lines, one a run.
declare -A results
run() {
  local name=$1
  shift
  if ! /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err"; then
    echo "failed: $*" >&2
    cat "$work/err" >&2
    exit 1
  fi
  results[$name]+="$(cat "$work/time")"$'\n'
}
median() { printf '%s' "${results[$1]}" | awk '{print $1}' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
peak() { printf '%s' "${results[$1]}" | awk '{print $2}' | sort -n | tail -1; }

if [ -n "${FILE:-}" ]; then
  names=(from-json ncdu-read-json)
  [ -n "${BEFORE:-}" ] && names+=(before-from-json)
  for ((r = 1; r <= runs; r++)); do
    run from-json "$scan" --from "$FILE" --output "$work/from.txt"
    run ncdu-read-json ncdu -f "$FILE" -o /dev/null
    [ -n "${BEFORE:-}" ] && run before-from-json "$BEFORE" --from "$FILE" --output "$work/before.txt"
  done
  printf '%-16s %9s %10s\n' command seconds peak-MB
  for n in "${names[@]}"; do
    printf '%-16s %9s %10.0f\n' "$n" "$(median "$n")" "$(echo "$(peak "$n") / 1024" | bc -l)"
  done
  echo
  echo "from-json / ncdu-read-json:  $(echo "scale=2; $(median from-json) / $(median ncdu-read-json)" | bc -l)   (goal: at most .50)"
  if [ -n "${BEFORE:-}" ]; then
    echo "before / ncdu-read-json:     $(echo "scale=2; $(median before-from-json) / $(median ncdu-read-json)" | bc -l)"
  fi
  exit 0
fi
names=(walk export-json export-zst export-gz from-json from-zst from-gz ncdu-read-json)
for ((r = 1; r <= write_runs; r++)); do
  run walk "$scan" --output "$work/walk.txt" "$tree"
  run export-json "$scan" --export "$work/F.json" --output /dev/null "$tree"
  run export-zst "$scan" --export "$work/F.json.zst" --output /dev/null "$tree"
  run export-gz "$scan" --export "$work/F.json.gz" --output /dev/null "$tree"
done
"$scan" --from "$work/F.json" --output "$work/from.txt"
cmp -s "$work/walk.txt" "$work/from.txt" || { echo "the report from the file differs" >&2; exit 1; }
for ((r = 1; r <= runs; r++)); do
  run from-json "$scan" --from "$work/F.json" --output "$work/from.txt"
  run from-zst "$scan" --from "$work/F.json.zst" --output "$work/from.txt"
  run from-gz "$scan" --from "$work/F.json.gz" --output "$work/from.txt"
  run ncdu-read-json ncdu -f "$work/F.json" -o /dev/null
done

printf '%-16s %9s %10s\n' command seconds peak-MB
for n in "${names[@]}"; do
  printf '%-16s %9s %10.0f\n' "$n" "$(median "$n")" "$(echo "$(peak "$n") / 1024" | bc -l)"
done
ratio() { echo "scale=2; $(median "$1") / $(median "$2")" | bc -l; }
echo
echo "from-json / ncdu-read-json:  $(ratio from-json ncdu-read-json)   (goal: at most .50)"
echo "from-zst  / ncdu-read-json:  $(ratio from-zst ncdu-read-json)"
echo "from-gz   / ncdu-read-json:  $(ratio from-gz ncdu-read-json)"
echo "export-json / walk:          $(ratio export-json walk)"
echo "export-zst  / walk:          $(ratio export-zst walk)"
echo "export-gz   / walk:          $(ratio export-gz walk)"
echo
size() { stat -c %s "$1"; }
plain=$(size "$work/F.json")
for f in F.json F.json.zst F.json.gz; do
  printf '%-12s %12d bytes  %6.2f%% of plain\n' "$f" "$(size "$work/$f")" \
    "$(echo "100 * $(size "$work/$f") / $plain" | bc -l)"
done

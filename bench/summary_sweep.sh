#!/bin/bash
# The time of a sweep's summary (analysis/summarize_sweep.py) on a large sweep:
# RUNS runs (default 1000) over two treatments (contests.kin_tolerance 10 and
# 40, where tarn-sim takes --set), copies of 10 real runs of 300 frames per
# treatment (without their world.sav, which the summary never
# reads), summarised TIMES times (default 3); prints each wall time.
#   bash bench/summary_sweep.sh [tarn-sim] [RUNS] [TIMES]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sim=${1:-$root/build/tarn-sim}
runs=${2:-1000}
times=${3:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/tarn-summary-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

printf 'treatment,contests.kin_tolerance\nlow,10\nhigh,40\n' >"$work/treatments.csv"
rules=
"$sim" --help | grep -q -- --set && rules=1
for t in low high; do
  kin=10
  [ "$t" = low ] || kin=40
  for s in $(seq 1 10); do
    "$sim" --quiet --seed "$s" --frames 300 --out "$work/base-$t-$s" ${rules:+--set contests.kin_tolerance=$kin}
    rm "$work/base-$t-$s/world.sav"
  done
  for s in $(seq 1 $((runs / 2))); do
    mkdir -p "$work/$t"
    cp -r "$work/base-$t-$(((s - 1) % 10 + 1))" "$work/$t/seed-$s"
  done
done
rm -rf "$work"/base-*
echo "$runs runs of 300 frames over 2 treatments in $work"
for _ in $(seq "$times"); do
  start=$(date +%s.%N)
  /usr/bin/python3 "$root/analysis/summarize_sweep.py" "$work" >/dev/null
  echo "summary: $(echo "$(date +%s.%N) - $start" | bc) s"
done

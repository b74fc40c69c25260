#!/bin/bash
# What recording costs: the headless runner's frame rate without options
# beside the same runs with --out (stats and phylogeny every 100 frames),
# seeds 1, 2 and 3 from an empty world, each pair run in turn several
# times so that a busy machine slows both alike. Prints the range of frame
# rates of each (the loop's own rate, as tarn-sim reports it), the CPU
# seconds of the whole program (start, run and saves), and the ratio of
# the median rates, which should be 0.90 or more: by frame rate, and by CPU
# time, which a busy machine disturbs far less.
#   bash bench/recording.sh [build-dir] [frames] [repeats]
set -euo pipefail
build="${1:-build}"
frames="${2:-20000}"
repeats="${3:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
TIMEFORMAT='%U %S'

# run <args...>: prints "<frames/s> <cpu seconds>".
run() {
  local fps cpu
  cpu=$({ time "$build/tarn-sim" "$@" >"$work/out" 2>&1; } 2>&1 | awk '{ print $1 + $2 }')
  fps=$(sed -n 's/.*(\([0-9]*\) frames\/s).*/\1/p' "$work/out")
  echo "$fps $cpu"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
range() { sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%s-%s", lo, hi }'; }

printf "%-5s %15s %15s %14s %14s %9s %9s\n" seed "plain fps" "--out fps" "plain cpu s" "--out cpu s" "fps ratio" "cpu ratio"
for seed in 1 2 3; do
  : >"$work/plain" && : >"$work/out-runs"
  for r in $(seq "$repeats"); do
    run --seed "$seed" --frames "$frames" >>"$work/plain"
    rm -rf "$work/exp"
    run --seed "$seed" --frames "$frames" --out "$work/exp" >>"$work/out-runs"
  done
  plain_median=$(cut -d' ' -f1 "$work/plain" | median)
  out_median=$(cut -d' ' -f1 "$work/out-runs" | median)
  plain_cpu=$(cut -d' ' -f2 "$work/plain" | median)
  out_cpu=$(cut -d' ' -f2 "$work/out-runs" | median)
  printf "%-5s %15s %15s %14s %14s %9.3f %9.3f\n" "$seed" "$(cut -d' ' -f1 "$work/plain" | range)" \
    "$(cut -d' ' -f1 "$work/out-runs" | range)" "$(cut -d' ' -f2 "$work/plain" | range)" \
    "$(cut -d' ' -f2 "$work/out-runs" | range)" "$(awk -v a="$out_median" -v b="$plain_median" 'BEGIN { print a / b }')" \
    "$(awk -v a="$out_cpu" -v b="$plain_cpu" 'BEGIN { print b / a }')"
done

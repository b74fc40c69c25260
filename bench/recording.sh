#!/bin/bash
# What recording and pictures cost: the headless runner's frame rate without
# options beside the same runs with --out (stats and phylogeny every 100
# frames, world.png and run.png at the end), with a time-lapse picture every
# 100 frames (--frames-dir) and with a video of them (--video .mp4). Each
# seed's runs go in turn, several times, so that a busy machine slows all
# alike. Prints the median and the range of the frame rates of each (the
# loop's own rate, as tarn-sim reports it), of the CPU seconds of the whole
# program (start, run, saves, the picture writer and the video encoder,
# which run beside the loop), and the ratio of the median rate to the
# median rate without options (--out should keep 0.90 or more).
#   bash bench/recording.sh [build-dir] [frames] [repeats] [seeds]
set -euo pipefail
build="${1:-build}"
frames="${2:-20000}"
repeats="${3:-3}"
seeds="${4:-1 2 3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
TIMEFORMAT='%U %S'

names=(none --out --frames-dir --video)
options() {
  case $1 in
    none) ;;
    --out) echo "--out $work/exp" ;;
    --frames-dir) echo "--every 100 --frames-dir $work/frames" ;;
    --video) echo "--every 100 --video $work/run.mp4" ;;
  esac
}

# run <args...>: prints "<frames/s> <cpu seconds>".
run() {
  local fps cpu
  rm -rf "$work/exp" "$work/frames" "$work/run.mp4"
  cpu=$({ time "$build/tarn-sim" "$@" >"$work/out" 2>&1; } 2>&1 | awk '{ print $1 + $2 }')
  fps=$(sed -n 's/.*(\([0-9]*\) frames\/s).*/\1/p' "$work/out")
  echo "$fps $cpu"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
range() { sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%s-%s", lo, hi }'; }
summary() { printf "%s (%s)" "$(cut -d' ' -f"$2" "$1" | median)" "$(cut -d' ' -f"$2" "$1" | range)"; }

printf "%-5s %-13s %22s %26s %9s\n" seed options "frames/s" "cpu s" "fps ratio"
for seed in $seeds; do
  for name in "${names[@]}"; do : >"$work/$name.runs"; done
  for _ in $(seq "$repeats"); do
    for name in "${names[@]}"; do
      # shellcheck disable=SC2046
      run --seed "$seed" --frames "$frames" $(options "$name") >>"$work/$name.runs"
    done
  done
  base=$(cut -d' ' -f1 "$work/none.runs" | median)
  for name in "${names[@]}"; do
    printf "%-5s %-13s %22s %26s %9.3f\n" "$seed" "$name" "$(summary "$work/$name.runs" 1)" \
      "$(summary "$work/$name.runs" 2)" "$(cut -d' ' -f1 "$work/$name.runs" | median | awk -v b="$base" '{ print $1 / b }')"
  done
done

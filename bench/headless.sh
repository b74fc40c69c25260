#!/bin/bash
# The headless runner's speed: 20,000 frames of seeds 1, 2 and 3 from an
# empty world, and of seed 1 from the crowded world of bench/crowded.sh, the
# fast way and the plain way; the state files of each row must be
# byte-identical. Given a second build folder (of an earlier commit), its
# runs are shown beside in the same session and its files must be identical
# too. Speeds are frames per second of processor time.
#   bash bench/headless.sh [build-dir] [frames] [earlier build-dir]
set -euo pipefail
build="${1:-build}"
frames="${2:-20000}"
before="${3:-}"
source "$(dirname "$0")/crowded_world.sh" "$build"

# run <build> <state file to write> <tarn-sim options...>: prints frames per
# second of processor time, so that other work on the machine counts less
# than on the clock; the time of a run of no frames (loading and saving) is
# taken off.
cpu() {
  /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null
  awk '{ print $1 + $2 }' "$work/time"
}
run() {
  local from="$1" out="$2"
  shift 2
  local busy idle
  busy=$(cpu "$from/tarn-sim" "$@" --frames "$frames" --save "$out")
  idle=$(cpu "$from/tarn-sim" "$@" --frames 0 --save "$work/idle.sav")
  awk -v f="$frames" -v b="$busy" -v i="$idle" 'BEGIN { printf "%.0f", f / (b - i > 0.01 ? b - i : 0.01) }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

if [ -n "$before" ]; then
  printf "%-8s %10s %10s %7s | %10s %10s %7s | %8s  %s\n" world "fast fps" "plain fps" ratio \
    "before" "bef.plain" ratio "speed-up" identical
else
  printf "%-8s %10s %10s %7s  %s\n" world "fast fps" "plain fps" ratio identical
fi
for world in 1 2 3 crowded; do
  if [ "$world" = crowded ]; then args=(--seed 1 --load "$work/crowded.sav"); else args=(--seed "$world"); fi
  fast=$(run "$build" "$work/fast.sav" "${args[@]}")
  plain=$(run "$build" "$work/plain.sav" --plain "${args[@]}")
  same=yes
  cmp -s "$work/fast.sav" "$work/plain.sav" || same=no
  if [ -n "$before" ]; then
    bfast=$(run "$before" "$work/bfast.sav" "${args[@]}")
    bplain=$(run "$before" "$work/bplain.sav" --plain "${args[@]}")
    for f in bfast bplain; do cmp -s "$work/fast.sav" "$work/$f.sav" || same=no; done
    printf "%-8s %10s %10s %7s | %10s %10s %7s | %8s  %s\n" "$world" "$fast" "$plain" "$(ratio "$fast" "$plain")" \
      "$bfast" "$bplain" "$(ratio "$bfast" "$bplain")" "$(ratio "$fast" "$bfast")" "$same"
  else
    printf "%-8s %10s %10s %7s  %s\n" "$world" "$fast" "$plain" "$(ratio "$fast" "$plain")" "$same"
  fi
  [ "$same" = yes ] || exit 1
done

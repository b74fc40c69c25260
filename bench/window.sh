#!/bin/bash
# Frames a second of the interactive program in a window under a virtual X
# server, every frame drawn and in fast-forward (--fast), beside the headless
# runner's on the same world, loaded as tarn.sav with seed 1. The worlds
# (WORLDS, default "crowded natural"): the crowded world of bench/crowded.sh
# (800 Units that walk, eat, sow and meet, and stay 800), and the natural
# world it is made from (seed 2 after 7,286 frames: 800 Units that go on
# living, breeding, fighting and dying as they will).
#   bash bench/window.sh [build-dir ...]
# Each build runs RUNS times (default 3) for SECONDS each (default 20) in
# each mode (MODES, default "drawn fast"), the builds taking turns, so that
# a change in the machine's load falls on all of them alike. The pointer rests at POINTER (default 600,300: over the world,
# so the hover selection and the magnifier follow it; "off" puts it at
# 600,767, off the world and every button). The crowded world is made with the first build's
# tarn-sim unless CROWDED names a state file.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
[ $# -gt 0 ] || set -- build
builds=()
for b in "$@"; do builds+=("$(cd "$b" && pwd)") || exit 1; done
runs="${RUNS:-3}"
seconds="${SECONDS_PER_RUN:-20}"
pointer="${POINTER:-600,300}"
worlds="${WORLDS:-crowded natural}"
modes="${MODES:-drawn fast}"

# shellcheck source=../tests/e2e/lib.sh
source "$here/../tests/e2e/lib.sh" "${builds[0]}"
e2e_require
e2e_start_xvfb

crowded="${CROWDED:-$E2E_TMP/crowded.sav}"
if [ -z "${CROWDED:-}" ]; then
  echo "making the crowded world with ${builds[0]}/tarn-sim ..."
  bash "$here/crowded.sh" "${builds[0]}" "$crowded" || exit 1
fi
natural="$E2E_TMP/natural.sav"
"${builds[0]}/tarn-sim" --seed 2 --frames 7286 --save "$natural" --quiet || exit 1
world_file() { if [ "$1" = crowded ]; then echo "$crowded"; else echo "$natural"; fi; }

# The headless runner's frames a second on a world: 60,000 frames, less the
# time of a run of none (loading and saving).
headless_rate() {
  local build=$1 file=$2 t0 t1 t2
  t0=$(date +%s%N)
  "$build/tarn-sim" --seed 1 --load "$file" --frames 60000 --save "$E2E_TMP/h.sav" --quiet || return 1
  t1=$(date +%s%N)
  "$build/tarn-sim" --seed 1 --load "$file" --frames 0 --save "$E2E_TMP/h.sav" --quiet || return 1
  t2=$(date +%s%N)
  awk -v a="$t0" -v b="$t1" -v c="$t2" 'BEGIN { printf "%.0f", 60000 / ((b - a - (c - b)) / 1e9) }'
}

# CPU seconds (user and system) a process has used so far.
cpu_seconds() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat" 2>/dev/null
}

# One run: prints the whole run's frames a second, then the frames per
# second of the program's own processor time and per second of the X
# server's, during the run.
run_once() {
  local build=$1 file=$2 mode=$3 dir fast=()
  [ "$mode" = fast ] && fast=(--fast)
  dir=$(e2e_workdir "run")
  cp "$file" "$dir/tarn.sav"
  (cd "$dir" && exec "$build/tarn" --windowed --fps --seed 1 "${fast[@]}" >program.out 2>program.err) &
  E2E_PROGRAM_PID=$!
  if ! e2e_wait_window 20; then
    echo "no window from $build/tarn" >&2
    e2e_stop_program
    return 1
  fi
  if [ "$pointer" = off ]; then
    e2e_move_pointer 600 $((E2E_SCREEN_H - 1))
  else
    e2e_move_pointer "${pointer%,*}" "${pointer#*,}"
  fi
  local x0 t0 x1 t1
  x0=$(cpu_seconds "$E2E_XVFB_PID")
  t0=$(cpu_seconds "$E2E_PROGRAM_PID")
  sleep "$seconds"
  x1=$(cpu_seconds "$E2E_XVFB_PID")
  t1=$(cpu_seconds "$E2E_PROGRAM_PID")
  kill -TERM "$E2E_PROGRAM_PID"
  e2e_wait_exit 60 >/dev/null
  # The run's rate covers the seconds from the first frame to the signal.
  sed -n 's/^tarn: \([0-9]*\) frames a second over the run: \([0-9]*\) frames in \([0-9.]*\) seconds/\1 \2 \3/p' \
    "$dir/program.err" | awk -v t="$t0 $t1" -v x="$x0 $x1" -v s="$seconds" '{
      split(t, tt, " "); split(x, xx, " ")
      rate = $1; perSecond = $2 / $3
      printf "%s %.0f %.0f\n", rate, perSecond * s / (tt[2] - tt[1]), perSecond * s / (xx[2] - xx[1] + 1e-9)
    }'
  if ! grep -q "frames a second over the run" "$dir/program.err"; then
    echo "no frame rate from $build/tarn (exit status $E2E_STATUS):" >&2
    grep -v '^ALSA' "$dir/program.err" | tail -3 >&2
  fi
  rm -rf "$dir"
}

declare -A results cpu xcpu headless
for ((r = 1; r <= runs; r++)); do
  for world in $worlds; do
    for build in "${builds[@]}"; do
      rate=$(headless_rate "$build" "$(world_file "$world")")
      echo "run $r  $world  $build  headless: ${rate:-?} frames a second"
      headless[$world $build]="${headless[$world $build]:-} ${rate:-?}"
      for mode in $modes; do
        out=$(run_once "$build" "$(world_file "$world")" "$mode")
        read -r fps perCpu perX <<<"$out"
        echo "run $r  $world  $build  $mode: ${fps:-?} frames a second (${perCpu:-?} per second of its" \
          "processor time, ${perX:-?} per second of the X server's)"
        key="$world $build $mode"
        results[$key]="${results[$key]:-} ${fps:-?}"
        cpu[$key]="${cpu[$key]:-} ${perCpu:-?}"
        xcpu[$key]="${xcpu[$key]:-} ${perX:-?}"
      done
    done
  done
done
echo
echo "$runs runs of $seconds s, pointer $pointer:"
for world in $worlds; do
  for build in "${builds[@]}"; do
    echo "  $world world, $build"
    echo "    headless runner, frames a second:           ${headless[$world $build]}"
    for mode in $modes; do
      key="$world $build $mode"
      echo "    $mode, frames a second:$(printf '%*s' $((21 - ${#mode})) '')${results[$key]}"
      echo "      per second of the program's time:         ${cpu[$key]}"
      echo "      per second of the X server's time:        ${xcpu[$key]}"
    done
  done
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

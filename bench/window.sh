#!/bin/bash
# Frames a second of the interactive program in a window under a virtual X
# server, on the crowded world of bench/crowded.sh (800 Units that walk, eat,
# sow and meet), loaded as tarn.sav with seed 1.
#   bash bench/window.sh [build-dir ...]
# Each build runs RUNS times (default 3) for SECONDS each (default 20), the
# builds taking turns, so that a change in the machine's load falls on all of
# them alike. The pointer rests at POINTER (default 600,300: over the world,
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

# shellcheck source=../tests/e2e/lib.sh
source "$here/../tests/e2e/lib.sh" "${builds[0]}"
e2e_require
e2e_start_xvfb

crowded="${CROWDED:-$E2E_TMP/crowded.sav}"
if [ -z "${CROWDED:-}" ]; then
  echo "making the crowded world with ${builds[0]}/tarn-sim ..."
  bash "$here/crowded.sh" "${builds[0]}" "$crowded" || exit 1
fi

# One run: prints the whole run's frames a second.
run_once() {
  local build=$1 dir
  dir=$(e2e_workdir "run")
  cp "$crowded" "$dir/tarn.sav"
  (cd "$dir" && exec "$build/tarn" --windowed --fps --seed 1 >program.out 2>program.err) &
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
  sleep "$seconds"
  kill -TERM "$E2E_PROGRAM_PID"
  e2e_wait_exit 60 >/dev/null
  sed -n 's/^tarn: \([0-9]*\) frames a second over the run.*/\1/p' "$dir/program.err"
  rm -rf "$dir"
}

declare -A results
for ((r = 1; r <= runs; r++)); do
  for build in "${builds[@]}"; do
    fps=$(run_once "$build")
    echo "run $r  $build  ${fps:-?} frames a second"
    results[$build]="${results[$build]:-} ${fps:-?}"
  done
done
echo
echo "frames a second, $runs runs of $seconds s, pointer $pointer:"
for build in "${builds[@]}"; do
  echo "  $build:${results[$build]}"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

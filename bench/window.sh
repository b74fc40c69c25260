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
unset TARN_TEST_MIN_FRAME_MS  # the tests' slower frames: not here
e2e_start_xvfb

crowded="${CROWDED:-$E2E_TMP/crowded.sav}"
if [ -z "${CROWDED:-}" ]; then
  echo "making the crowded world with ${builds[0]}/tarn-sim ..."
  bash "$here/crowded.sh" "${builds[0]}" "$crowded" || exit 1
fi

# CPU seconds (user and system) a process has used so far.
cpu_seconds() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat" 2>/dev/null
}

# One run: prints the whole run's frames a second, then the frames per
# second of the program's own processor time and per second of the X
# server's, during the run.
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

declare -A results cpu xcpu
for ((r = 1; r <= runs; r++)); do
  for build in "${builds[@]}"; do
    out=$(run_once "$build")
    read -r fps perCpu perX <<<"$out"
    echo "run $r  $build  ${fps:-?} frames a second (${perCpu:-?} per second of its processor time," \
      "${perX:-?} per second of the X server's)"
    results[$build]="${results[$build]:-} ${fps:-?}"
    cpu[$build]="${cpu[$build]:-} ${perCpu:-?}"
    xcpu[$build]="${xcpu[$build]:-} ${perX:-?}"
  done
done
echo
echo "$runs runs of $seconds s, pointer $pointer:"
for build in "${builds[@]}"; do
  echo "  $build"
  echo "    frames a second:                          ${results[$build]}"
  echo "    frames per second of the program's time:  ${cpu[$build]}"
  echo "    frames per second of the X server's time: ${xcpu[$build]}"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

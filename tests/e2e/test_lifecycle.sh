# Every way out of the program keeps the world, and the command line:
#  - --help, bad options (one line, status 2) and no X server at all;
#  - the periodic autosave (interval shortened by TARN_TEST_AUTOSAVE_SECONDS)
#    rewrites tarn.sav while the world runs and leaves a paused, untouched
#    world alone; then SIGTERM ends the program (status 0) with a tarn.sav
#    identical to a Save of the paused world; without options: fullscreen;
#  - SIGHUP likewise, in a window (--windowed), with more signals arriving
#    during the final save; the window's close button likewise (a small
#    window manager asks the window to close);
#  - --seed: a SIGTERM in the first frame leaves exactly the world of the
#    headless runner's first frame with that seed;
#  - SIGTERM while a start-up message box is up: the box keeps the last word
#    and the old autosave is left alone.
# Usage: bash test_lifecycle.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"
export LC_ALL=C

SIM="$E2E_BUILD_DIR/tarn-sim"
e2e_require
[ -x "$SIM" ] || e2e_skip "no headless runner at $SIM"
command -v matchbox-window-manager >/dev/null && command -v wmctrl >/dev/null ||
  e2e_skip "no matchbox-window-manager or wmctrl (run tools/deps.sh)"

# --- The command line, no display needed -------------------------------------
run=$(e2e_workdir options)
tarn() { (cd "$run" && env -u DISPLAY "$E2E_PROGRAM" "$@" >out 2>err); }
tarn --help
e2e_expect_eq "--help: status" 0 $?
e2e_expect_eq "--help names the options and the exit statuses" 3 \
  "$(grep -c -e '^ *--windowed' -e '^ *--seed S' -e '^Exit status' "$run/out")"
# Bad uses end with status 2 and one line on standard error before any
# window (each option's message is the unit tests' business); a few:
# <arguments>|<the message>
while IFS='|' read -r args words; do
  tarn $args
  status=$?
  if [ "$status" = 2 ] && [ ! -s "$run/out" ] && [ "$(wc -l <"$run/err")" = 1 ] &&
    grep -q "^tarn: $words" "$run/err"; then
    e2e_pass "'$args': status 2, $(cat "$run/err")"
  else
    e2e_fail "'$args': status $status, stderr: $(head -3 "$run/err")"
  fi
done <<'EOF'
--bogus|unknown option or argument: --bogus
--seed 4294967296|--seed must be a whole number
--input-rate 60 --input-rate 30|--input-rate is given more than once
EOF
TARN_TEST_FRAMES=0 tarn
e2e_expect_eq "a bad TARN_TEST_FRAMES: status" 2 $?
(cd "$run" && DISPLAY=:999 "$E2E_PROGRAM" 2>err)
e2e_expect_eq "no X server: status and message" "255 1" "$? $(grep -c '^tarn: cannot start the display' "$run/err")"
e2e_expect_eq "files left by option errors" "bg.bmp cursor.bmp err out spacefont.pcx" "$(ls "$run" | tr '\n' ' ' | sed 's/ $//')"

# --- Helpers for running programs ------------------------------------------------
prepared="$E2E_TMP/prepared.sav"
"$SIM" --seed 5 --frames 1500 --save "$prepared" >"$E2E_TMP/sim.out" 2>&1 ||
  { e2e_fail "headless runner failed: $(tail -3 "$E2E_TMP/sim.out")"; e2e_finish; }
e2e_start_xvfb
WM_PID=
trap '[ -n "$WM_PID" ] && e2e_kill_pid "$WM_PID"; e2e_cleanup' EXIT

# file_id <file>: changes whenever the file is replaced.
file_id() { stat -c '%i %z' "$1" 2>/dev/null; }
# wait_replaced <seconds> <file> <old id>
wait_replaced() {
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    [ "$(file_id "$2")" != "$3" ] && return 0
    sleep 0.1
  done
  return 1
}

# save_world <copy>: clicks Save until usersaved.sav is replaced and copies
# it (the button may fire more than once: each save holds the same world
# then). Longer and longer clicks, for a program slowed down by the load.
save_world() {
  local file="$run/usersaved.sav" old hold
  old=$(file_id "$file")
  for hold in 0.1 0.3 0.6 1; do
    E2E_CLICK_HOLD=$hold e2e_click $SAVE
    e2e_move_pointer $NEUTRAL
    wait_replaced 5 "$file" "$old" && cp "$file" "$1" && return 0
  done
  return 1
}

# pause_and_save: clicks Pause, then saves twice; the world stands still
# when both saves are the same, otherwise Pause was missed (a click between
# two frames) or seen twice (a click longer than the buttons' cooldown) and
# is clicked again, for longer: a slow program misses short clicks, a fast
# one sees long ones twice. Leaves the paused world in $run/paused.sav.
pause_and_save() {
  local hold
  for hold in 0.02 0.015 0.03 0.06 0.12 0.25 0.5 1; do
    E2E_CLICK_HOLD=$hold e2e_click $PAUSE
    save_world "$run/paused.sav" && save_world "$run/again.sav" || break
    cmp -s "$run/paused.sav" "$run/again.sav" && return 0
  done
  e2e_fail "could not pause the world and save it"
  return 1
}

# end_and_compare <what>: waits for the program to end; expects status 0,
# a tarn.sav identical to the paused Save and no temporary file left.
end_and_compare() {
  e2e_wait_exit 60
  e2e_expect_eq "$1: exit status" 0 "$E2E_STATUS"
  e2e_expect_eq "$1: tarn.sav is the paused world saved by the Save button" "" \
    "$(cmp "$run/tarn.sav" "$run/paused.sav" 2>&1)"
  e2e_expect_eq "$1: temporary files left" "" "$(ls "$run" | grep '\.sav\.')"
}

# start <name> <argument> ...: the prepared world in a fresh folder and the
# program started there; false when no window comes up.
start() {
  run=$(e2e_workdir "$1")
  shift
  cp "$prepared" "$run/tarn.sav"
  e2e_move_pointer 8 400
  e2e_start_program_with "$run" "$@"
  e2e_wait_window 30 && sleep 1 && return 0
  e2e_fail "no program window within 30 s ($*)"
  e2e_stop_program
  return 1
}

# The size of the program's window when it is in one (a visible window of
# the library's class).
window_size() {
  local w
  w=$(xdotool search --onlyvisible --class allegro 2>/dev/null | head -1)
  [ -n "$w" ] && xdotool getwindowgeometry "$w" | sed -n 's/ *Geometry: //p'
}

# --- Periodic autosave, then SIGTERM ----------------------------------------------
if TARN_TEST_AUTOSAVE_SECONDS=1 start autosave; then
  e2e_expect_eq "without options: fullscreen (no visible program window)" "" "$(window_size)"
  # Each save renames a whole file over tarn.sav: what the name holds is
  # always complete.
  id=$(file_id "$run/tarn.sav")
  if wait_replaced 20 "$run/tarn.sav" "$id"; then
    id=$(file_id "$run/tarn.sav")
    cp "$run/tarn.sav" "$run/auto1.sav"
    e2e_expect_eq "periodic autosave: lines" "$STATE_LINES" "$(e2e_lines "$run/auto1.sav")"
    cmp -s "$run/auto1.sav" "$prepared" && e2e_fail "periodic autosave wrote the world it started from"
    wait_replaced 20 "$run/tarn.sav" "$id" && ! cmp -s "$run/tarn.sav" "$run/auto1.sav" ||
      e2e_fail "no second periodic autosave with a changed world"
  else
    e2e_fail "tarn.sav not rewritten within 20 s with TARN_TEST_AUTOSAVE_SECONDS=1"
  fi
  if pause_and_save; then
    # The first autosave after the pause writes the paused world; then the
    # world, unchanged, is not written again.
    for _ in $(seq 50); do cmp -s "$run/tarn.sav" "$run/paused.sav" && break; sleep 0.1; done
    e2e_expect_eq "the next autosave writes the paused world" "" "$(cmp "$run/tarn.sav" "$run/paused.sav" 2>&1)"
    id=$(file_id "$run/tarn.sav")
    sleep 3
    e2e_expect_eq "a paused, untouched world is not autosaved again" "$id" "$(file_id "$run/tarn.sav")"
    rm "$run/tarn.sav"
    kill -TERM "$E2E_PROGRAM_PID"
    end_and_compare SIGTERM
  fi
  e2e_stop_program
fi

# --- SIGHUP, more signals during the final save; the close button -----------------
if start sighup --windowed; then
  e2e_expect_eq "--windowed: a 1024 x 768 window" 1024x768 "$(window_size)"
  if pause_and_save; then
    kill -HUP "$E2E_PROGRAM_PID"
    for _ in $(seq 50); do kill -TERM "$E2E_PROGRAM_PID" && kill -INT "$E2E_PROGRAM_PID" || break; sleep 0.01; done 2>/dev/null
    end_and_compare "SIGHUP (then TERM and INT)"
  fi
  e2e_stop_program
fi

# The window manager keeps the window at the top left, without a title bar,
# so the buttons stay where they are on the screen.
matchbox-window-manager -use_titlebar no >"$E2E_TMP/wm.log" 2>&1 &
WM_PID=$!
if start close --windowed; then
  pause_and_save && wmctrl -c tarn && end_and_compare "close button"
  e2e_stop_program
fi
e2e_kill_pid "$WM_PID"
WM_PID=

# --- --seed, and SIGTERM in the first frame ---------------------------------------
# The slot files are named pipes: the first frame re-reads them and waits
# at each until this script opens it, so the signal lands in that frame.
run=$(e2e_workdir seed)
for i in 0 1 2 3 4 5 6; do mkfifo "$run/sample$i.dna"; done
e2e_start_program_with "$run" --windowed --seed 7
if timeout 30 bash -c ': >"$1"' _ "$run/sample0.dna"; then
  kill -TERM "$E2E_PROGRAM_PID"
  for i in 1 2 3 4 5 6; do timeout 10 bash -c ': >"$1"' _ "$run/sample$i.dna"; done
  e2e_wait_exit 30
  e2e_expect_eq "SIGTERM in the first frame: exit status" 0 "$E2E_STATUS"
  for seed in 7 8; do (cd "$run" && "$SIM" --seed $seed --frames 1 --save "ref$seed.sav" >/dev/null); done
  cmp -s "$run/ref7.sav" "$run/ref8.sav" && e2e_fail "test set-up: seeds 7 and 8 give the same first frame"
  e2e_expect_eq "--seed 7: the first frame's world is the headless runner's with seed 7" "" \
    "$(cmp "$run/tarn.sav" "$run/ref7.sav" 2>&1)"
else
  e2e_fail "the first frame did not read the slot files within 30 s"
  e2e_stop_program
fi

# --- SIGTERM during a message box --------------------------------------------------
run=$(e2e_workdir message-box bg.bmp)
echo "left from an earlier run" >"$run/tarn.sav"
e2e_start_program "$run"
for _ in $(seq 300); do
  ps -o comm= --ppid "$E2E_PROGRAM_PID" | grep -q xmessage && break
  sleep 0.1
done
kill -TERM "$E2E_PROGRAM_PID"
sleep 0.5
e2e_dismiss_message_box 30 || e2e_fail "no message box for a missing bg.bmp, or it went away with the signal"
e2e_wait_exit 20
e2e_expect_eq "SIGTERM during a message box: exit status" 255 "$E2E_STATUS"
e2e_expect_eq "SIGTERM during a message box: tarn.sav" "left from an earlier run" "$(cat "$run/tarn.sav")"

e2e_finish

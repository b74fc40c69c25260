# The window started from a file of the user's choice (tarn --load FILE):
#  - the world it runs is the file's: a SIGTERM in the first frame leaves in
#    tarn.sav exactly the headless runner's first frame from that file with
#    the same seed, and FILE itself is left as it was;
#  - a file that cannot be read: status 2, the message, no window (no X
#    server is even needed), nothing written;
#  - a file cut short loads as far as it goes, with the runner's warning;
#  - an experiment's world.sav beside its params.toml: without --params the
#    window says that it runs the world under the default rules; with them
#    its title says the rules are its own.
# Usage: bash test_window_load.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"
export LC_ALL=C
SIM="$E2E_BUILD_DIR/tarn-sim"
e2e_require
[ -x "$SIM" ] || e2e_skip "no headless runner at $SIM"

# --- Refused before any window -------------------------------------------------------
run=$(e2e_workdir refused)
echo "left from an earlier run" >"$run/tarn.sav"
for missing in nothere.sav "$run"; do
  (cd "$run" && env -u DISPLAY "$E2E_PROGRAM" --windowed --load "$missing" >out 2>err)
  status=$?
  why="No such file or directory"
  [ "$missing" = "$run" ] && why="Is a directory"
  if [ "$status" = 2 ] && [ "$(cat "$run/err")" = "tarn: cannot read $missing: $why" ]; then
    e2e_pass "--load $missing: status 2, $(cat "$run/err")"
  else
    e2e_fail "--load $missing: status $status, said: $(cat "$run/err")"
  fi
done
e2e_expect_eq "a refused --load writes nothing" "bg.bmp cursor.bmp err out spacefont.pcx tarn.sav" \
  "$(ls "$run" | tr '\n' ' ' | sed 's/ $//')"
e2e_expect_eq "and leaves tarn.sav alone" "left from an earlier run" "$(cat "$run/tarn.sav")"

# --- The world is the file's ---------------------------------------------------------
e2e_start_xvfb
run=$(e2e_workdir load)
"$SIM" --quiet --seed 5 --frames 800 --out "$run/experiment" --no-pictures --set contests.kin_tolerance=30 >/dev/null 2>&1 ||
  { e2e_fail "headless runner failed"; e2e_finish; }
world="$run/experiment/world.sav"
(cd "$run" && env -u DISPLAY "$E2E_PROGRAM" --windowed --load experiment/world.sav >/dev/null 2>note.err)
e2e_expect_eq "a world beside its rules: the note" "tarn: note: experiment/params.toml lies beside \
experiment/world.sav: the rules its run had. Without --params experiment/params.toml the world runs under the \
default rules" "$(head -1 "$run/note.err")"
before=$(cksum <"$world"; stat -c %Y "$world")
# Another world as the autosave, so that a window that ignored --load shows.
"$SIM" --quiet --seed 6 --frames 800 --save "$run/tarn.sav" >/dev/null
# The slot files are named pipes: the first frame re-reads them and waits at
# each until this script opens it, so the signal lands in that frame.
for i in 0 1 2 3 4 5 6; do mkfifo "$run/sample$i.dna"; done
e2e_start_program_with "$run" --windowed --seed 7 --load experiment/world.sav --params experiment/params.toml
if timeout 30 bash -c ': >"$1"' _ "$run/sample0.dna"; then
  e2e_expect_eq "the title says the world runs under rules of its own" "tarn (own rules)" \
    "$(xdotool search --class allegro getwindowname %@ 2>/dev/null | head -1)"
  kill -TERM "$E2E_PROGRAM_PID"
  for i in 1 2 3 4 5 6; do timeout 10 bash -c ': >"$1"' _ "$run/sample$i.dna"; done
  e2e_wait_exit 30
  e2e_expect_eq "--load: exit status" 0 "$E2E_STATUS"
  rules=(--params "$run/experiment/params.toml")
  "$SIM" --quiet --seed 7 --frames 1 --load "$world" --save "$run/ref.sav" "${rules[@]}"
  "$SIM" --quiet --seed 7 --frames 1 --load "$run/ref.sav" --save "$run/other.sav" "${rules[@]}"
  cmp -s "$run/ref.sav" "$run/other.sav" && e2e_fail "test set-up: a frame from the file changes nothing"
  e2e_expect_eq "tarn.sav is the headless runner's first frame from the loaded file" "" \
    "$(cmp "$run/tarn.sav" "$run/ref.sav" 2>&1)"
  e2e_expect_eq "the loaded file is not written" "$before" "$(cksum <"$world"; stat -c %Y "$world")"
  e2e_expect_eq "nothing said on loading a whole file" "" "$(grep '^tarn:' "$run/program.err")"
else
  e2e_fail "the first frame did not read the slot files within 30 s"
  e2e_stop_program
fi

# --- A damaged file: loaded as far as it goes, with a warning -------------------------
run=$(e2e_workdir damaged)
head -c 1000 "$world" | head -n 100 >"$run/short.sav"
e2e_start_program_with "$run" --windowed --load short.sav
if e2e_wait_window 30; then
  kill -TERM "$E2E_PROGRAM_PID"
  e2e_wait_exit 30
  e2e_expect_eq "a damaged --load: exit status" 0 "$E2E_STATUS"
  e2e_expect_eq "and the runner's warning" \
    "tarn: warning: short.sav: reading stopped at line 101: 100 of the $STATE_LINES_GROUPED values were read; the rest keep their start values" \
    "$(grep '^tarn:' "$run/program.err")"
  [ -f "$run/tarn.sav" ] && e2e_pass "the world is saved as tarn.sav" || e2e_fail "no tarn.sav after a damaged --load"
else
  e2e_fail "no window for a damaged --load: $(cat "$run/program.err")"
  e2e_stop_program
fi
e2e_finish

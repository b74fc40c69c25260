# F12 in the window: with the world paused, holding F12 writes tarn-0001.png
# (one picture however long the key is held), pressing it again writes
# tarn-0002.png, and both equal a screenshot of the same frame; ESC then ends
# with status 0 and no temporary file is left.
# Usage: bash test_screenshot.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"

SIM="$E2E_BUILD_DIR/tarn-sim"

e2e_require
command -v compare >/dev/null || e2e_skip "no ImageMagick compare"
[ -x "$SIM" ] || e2e_skip "no headless runner at $SIM"

run=$(e2e_workdir screenshot)
(cd "$run" && "$SIM" --seed 3 --frames 600 --save tarn.sav >sim.out 2>&1) ||
  { e2e_fail "headless runner failed: $(tail -3 "$run/sim.out")"; e2e_finish; }

e2e_start_xvfb
# shellcheck disable=SC2086
e2e_move_pointer $NEUTRAL
e2e_start_program "$run"
e2e_wait_window 30 || { e2e_fail "no program window within 30 s"; e2e_finish; }
sleep 1

# One click on Pause, however long it is held (up to a third of a second),
# toggles it once.
# shellcheck disable=SC2086
e2e_click $PAUSE 1 0.1
# shellcheck disable=SC2086
e2e_move_pointer $NEUTRAL
sleep 0.2
e2e_wait_still 5 $WORLD $GRAPH || { e2e_fail "the world did not stop after clicking Pause"; e2e_finish; }
e2e_screenshot "$run/shown.png"

# differing <a> <b>: the number of pixels that differ.
differing() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }

for n in 0001 0002; do
  e2e_hold_key F12 2
  for _ in $(seq 50); do [ -f "$run/tarn-$n.png" ] && break; sleep 0.1; done
  if [ -f "$run/tarn-$n.png" ]; then
    e2e_expect_eq "tarn-$n.png is 1024 x 768" "1024x768" "$(identify -format '%wx%h' "$run/tarn-$n.png")"
    e2e_expect_eq "pixels of tarn-$n.png that differ from the screen" 0 "$(differing "$run/tarn-$n.png" "$run/shown.png")"
  else
    e2e_fail "no tarn-$n.png after F12; stderr: $(tail -3 "$run/program.err")"
  fi
done
e2e_expect_eq "pictures after two presses" "tarn-0001.png tarn-0002.png" "$(cd "$run" && echo tarn-*.png)"

e2e_hold_key Escape 20
e2e_wait_exit 10
e2e_expect_eq "exit status after ESC" 0 "$E2E_STATUS"
e2e_expect_eq "temporary files left" "" "$(cd "$run" && ls -A | grep '\.part' || true)"
e2e_finish

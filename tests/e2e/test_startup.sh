# Start-up and shutdown of the whole program under a virtual X server:
#  - a normal run shows the background and the pointer, ends on ESC with
#    status 0 and leaves a complete autosave;
#  - a run with a start-up resource missing shows a message box, ends with
#    status 255 and leaves an existing autosave alone.
# Usage: bash test_startup.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"

SAVE_LINES=2249626
# Points where nothing but the background is ever drawn: the title bar, the
# margin left of the panels, the strip right of the world and the empty part
# of the left column.  Units at the world's edge reach at most 13 pixels out.
BACKGROUND_POINTS="600,20 300,30 8,400 1016,300 100,450"
# Opaque pixels of the pointer picture, relative to its tip.
CURSOR_OFFSETS="0,0 1,2 2,6 3,9 1,12 6,10"
POINTER_X=400
POINTER_Y=300

e2e_require
e2e_start_xvfb

# --- A normal run -----------------------------------------------------------
run=$(e2e_workdir normal)
rm -f "$run/tarn.sav"
e2e_start_program "$run"

if ! e2e_wait_window 30; then
  e2e_fail "no program window within 30 s"
else
  e2e_move_pointer 700 500
  # shellcheck disable=SC2086
  if e2e_wait_screen 60 "$run/first.png" "$run/bg.bmp" $BACKGROUND_POINTS; then
    e2e_pass "screen shows bg.bmp where nothing is drawn"
  else
    e2e_fail "background points differ from bg.bmp: $(e2e_pixels "$run/first.png" $BACKGROUND_POINTS | tr '\n' ' ')"
  fi

  # The pointer picture is drawn with its tip on the mouse point.
  screen_points="" cursor_points=""
  for off in $CURSOR_OFFSETS; do
    dx=${off%,*} dy=${off#*,}
    screen_points="$screen_points $((POINTER_X + dx)),$((POINTER_Y + dy))"
    cursor_points="$cursor_points $off"
  done
  # shellcheck disable=SC2086
  if e2e_pixels "$run/cursor.bmp" $cursor_points | grep -q '=255,0,255$'; then
    e2e_fail "test set-up: an offset in CURSOR_OFFSETS is transparent in cursor.bmp"
  fi
  # shellcheck disable=SC2086
  expected=$(e2e_pixels "$run/cursor.bmp" $cursor_points | cut -d= -f2)
  e2e_move_pointer "$POINTER_X" "$POINTER_Y"
  seen=""
  for _ in $(seq 20); do
    e2e_screenshot "$run/pointer.png"
    # shellcheck disable=SC2086
    seen=$(e2e_pixels "$run/pointer.png" $screen_points | cut -d= -f2)
    [ "$seen" = "$expected" ] && break
    sleep 0.5
  done
  e2e_expect_eq "pointer drawn at the mouse point" "$(tr '\n' ' ' <<<"$expected")" "$(tr '\n' ' ' <<<"$seen")"
fi

if e2e_program_running; then
  e2e_hold_key Escape 120
  e2e_wait_exit 10
  e2e_expect_eq "exit status after ESC" 0 "$E2E_STATUS"
  if [ -f "$run/tarn.sav" ]; then
    e2e_expect_eq "lines in tarn.sav" "$SAVE_LINES" "$(wc -l <"$run/tarn.sav" | tr -d ' ')"
  else
    e2e_fail "no tarn.sav after ESC"
  fi
else
  e2e_wait_exit 1
  e2e_fail "program ended by itself (status $E2E_STATUS); stderr: $(tail -5 "$run/program.err")"
fi

# --- A start-up resource missing ------------------------------------------
# The library's message box is an xmessage window that the program waits
# for; it is closed with Return and the program must then exit with -1.
for missing in $E2E_RESOURCES; do
  run=$(e2e_workdir "missing-$missing" "$missing")
  printf 'left from an earlier run\n' >"$run/tarn.sav"
  before=$(cksum <"$run/tarn.sav")
  e2e_start_program "$run"
  if e2e_dismiss_message_box 30; then
    e2e_pass "message box without $missing"
    case "$E2E_MESSAGE" in
      *"$missing"*) e2e_pass "message names $missing" ;;
      *) e2e_fail "message without $missing does not name it: $E2E_MESSAGE" ;;
    esac
  elif e2e_program_running; then
    e2e_fail "no message box within 30 s without $missing"
  else
    # Without a usable display the library prints the message instead.
    e2e_log "no message box without $missing; stderr: $(grep -v '^ALSA' "$run/program.err" | tail -2)"
  fi
  e2e_wait_exit 20
  e2e_expect_eq "exit status without $missing" 255 "$E2E_STATUS"
  e2e_expect_eq "tarn.sav unchanged without $missing" "$before" "$(cksum <"$run/tarn.sav")"
done

e2e_finish

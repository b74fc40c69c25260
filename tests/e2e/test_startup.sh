# Start-up and shutdown of the whole program under a virtual X server:
#  - a normal run shows the background and the pointer, ends on ESC with
#    status 0 and leaves a complete autosave;
#  - a Save that cannot be written (usersaved.sav is a folder) is reported on
#    standard error and the program goes on;
#  - a run with a start-up resource missing, empty, cut short or holding
#    garbage shows a message box naming it, ends with status 255 and leaves
#    an existing autosave alone.
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

# --- A save that fails -------------------------------------------------------
run=$(e2e_workdir failing-save)
mkdir "$run/usersaved.sav"
e2e_start_program "$run"
if e2e_wait_window 30; then
  sleep 1
  # The Save button; held for some frames so that the program sees it.
  xdotool mousemove 82 76 sleep 0.05 mousedown 1 sleep 0.15 mouseup 1 sleep 0.5 mousemove 700 500
  for _ in $(seq 20); do
    grep -q 'could not save "usersaved.sav"' "$run/program.err" && break
    sleep 0.25
  done
  if grep -q 'could not save "usersaved.sav".*the previous file is kept' "$run/program.err"; then
    e2e_pass "a failed Save is reported on standard error"
  else
    e2e_fail "no report of the failed Save; stderr: $(grep -v '^ALSA' "$run/program.err" | tail -2)"
  fi
  if e2e_program_running; then
    e2e_pass "the program goes on after a failed Save"
    e2e_hold_key Escape 120
    e2e_wait_exit 10
    e2e_expect_eq "exit status after ESC, after a failed Save" 0 "$E2E_STATUS"
    e2e_expect_eq "lines in tarn.sav after a failed Save" "$SAVE_LINES" "$(e2e_lines "$run/tarn.sav")"
  else
    e2e_wait_exit 1
    e2e_fail "program ended after a failed Save (status $E2E_STATUS)"
  fi
  [ -z "$(ls -A "$run/usersaved.sav")" ] || e2e_fail "something was written into the usersaved.sav folder"
  leftover=$(cd "$run" && ls -A | grep -v -x -e usersaved.sav -e tarn.sav -e program.out -e program.err \
    -e bg.bmp -e cursor.bmp -e spacefont.pcx)
  e2e_expect_eq "files left besides the expected ones" "" "$leftover"
else
  e2e_fail "no program window within 30 s"
  e2e_stop_program
fi

# --- A start-up resource missing or damaged ------------------------------------
# The library's message box is an xmessage window that the program waits
# for; it is closed with Return and the program must then exit with -1.
# damage <file> <kind>: leaves the file missing, empty, cut short (the first
# 300 bytes of the good one) or holding garbage.
damage() {
  case "$2" in
    missing) rm -f "$1" ;;
    empty) : >"$1" ;;
    truncated) head -c 300 "$1" >"$1.part" && mv "$1.part" "$1" ;;
    garbage) head -c 5000 /dev/urandom >"$1" ;;
  esac
}
for kind in missing empty truncated garbage; do
  for file in $E2E_RESOURCES; do
    what="$kind $file"
    run=$(e2e_workdir "$kind-$file")
    damage "$run/$file" "$kind"
    printf 'left from an earlier run\n' >"$run/tarn.sav"
    before=$(cksum <"$run/tarn.sav")
    e2e_start_program "$run"
    if e2e_dismiss_message_box 30; then
      case "$E2E_MESSAGE" in
        *"$file"*) e2e_pass "message box names $what" ;;
        *) e2e_fail "message box for $what does not name it: $E2E_MESSAGE" ;;
      esac
    elif e2e_program_running; then
      e2e_fail "no message box within 30 s for $what"
    else
      # Without a usable display the library prints the message instead.
      e2e_log "no message box for $what; stderr: $(grep -v '^ALSA' "$run/program.err" | tail -2)"
    fi
    e2e_wait_exit 20
    e2e_expect_eq "exit status with $what" 255 "$E2E_STATUS"
    e2e_expect_eq "tarn.sav unchanged with $what" "$before" "$(cksum <"$run/tarn.sav")"
  done
done

e2e_finish

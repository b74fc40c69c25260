# Helpers for the whole-program tests: a private virtual X server, the
# program started in a fresh working folder, screenshots, pixels and input.
#
# A test script sources this file with the build folder as its argument:
#   source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "$1"
# and ends with `e2e_finish`, which exits 0 when no check failed.
#
# Notes on driving the program under Xvfb:
# - With no window manager the X server's focus is PointerRoot: keys go to
#   the window under the pointer, so the pointer is first moved into the
#   program's window.
# - The program polls its key array once a frame; a press and release sent
#   back to back can fall between two polls.  Keys are therefore held down
#   (e2e_hold_key) until the program has seen them.
# - allegro_message() under X11 runs `xmessage ... -default OK <text>` as a
#   child of the program and waits for it, so the program blocks until the
#   box is closed.  e2e_dismiss_message_box reads the text from the xmessage
#   command line and closes it with Return (the box's default button),
#   killing that xmessage by its id if Return does not close it.  Without a
#   display or without xmessage the library prints the text to stderr.
#
# Exit status 77 means a tool the tests need is missing (see tools/deps.sh).

E2E_BUILD_DIR=$(cd "${1:?usage: $0 <build-dir>}" && pwd) || exit 1
E2E_PROGRAM="$E2E_BUILD_DIR/tarn"
E2E_DATA="$E2E_BUILD_DIR/data"
E2E_RESOURCES="bg.bmp cursor.bmp spacefont.pcx"
E2E_SCREEN_W=1024
E2E_SCREEN_H=768

E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/tarn-e2e.XXXXXX")
E2E_FAILURES=0
E2E_XVFB_PID=
E2E_PROGRAM_PID=
E2E_STATUS=
# Keys that a script holds down with keydown itself (let go at cleanup).
E2E_HELD_KEYS=

e2e_log() { echo "[e2e] $*"; }

# Records a failed check; the script goes on so that one run shows all.
e2e_fail() {
  echo "[e2e] FAIL: $*" >&2
  E2E_FAILURES=$((E2E_FAILURES + 1))
}

e2e_pass() { echo "[e2e] ok: $*"; }

# e2e_expect_eq <what> <expected> <actual>
e2e_expect_eq() {
  if [ "$2" = "$3" ]; then e2e_pass "$1"; else e2e_fail "$1: expected '$2', got '$3'"; fi
}

e2e_skip() {
  echo "[e2e] SKIP: $*" >&2
  exit 77
}

e2e_require() {
  local missing=
  for tool in Xvfb xdpyinfo xdotool xwininfo import convert; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
  done
  [ -z "$missing" ] || e2e_skip "missing tools:$missing (run tools/deps.sh)"
  [ -x "$E2E_PROGRAM" ] || e2e_skip "no program at $E2E_PROGRAM (is the build done?)"
  for f in $E2E_RESOURCES; do
    [ -f "$E2E_DATA/$f" ] || e2e_skip "no $E2E_DATA/$f (build the artwork target)"
  done
}

# Kills one process by id and waits for it if it is our child.
e2e_kill_pid() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -0 "$pid" 2>/dev/null || return 0
  kill "$pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 0
}

# Ids of the direct children of a process (the message box of the program).
e2e_children() { ps -o pid= --ppid "$1" 2>/dev/null | tr -d ' '; }

e2e_stop_program() {
  if [ -n "$E2E_PROGRAM_PID" ]; then
    for child in $(e2e_children "$E2E_PROGRAM_PID"); do e2e_kill_pid "$child"; done
    e2e_kill_pid "$E2E_PROGRAM_PID"
    E2E_PROGRAM_PID=
  fi
}

e2e_cleanup() {
  # Keys and buttons held when a check failed are let go before the server
  # goes away.
  if [ -n "$E2E_XVFB_PID" ]; then
    for k in Escape $E2E_HELD_KEYS; do xdotool keyup "$k" >/dev/null 2>&1; done
    xdotool mouseup 1 mouseup 3 >/dev/null 2>&1
  fi
  e2e_stop_program
  e2e_kill_pid "$E2E_XVFB_PID"
  E2E_XVFB_PID=
  if [ "$E2E_FAILURES" -eq 0 ] && [ -z "${E2E_KEEP:-}" ]; then
    rm -rf "$E2E_TMP"
  else
    echo "[e2e] screenshots and working folders kept in $E2E_TMP" >&2
  fi
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

# Starts Xvfb on the first free display from :90 on and exports DISPLAY.
e2e_start_xvfb() {
  local n
  for n in $(seq 90 129); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "${E2E_SCREEN_W}x${E2E_SCREEN_H}x24" -nolisten tcp -noreset \
      >"$E2E_TMP/xvfb-$n.log" 2>&1 &
    E2E_XVFB_PID=$!
    for _ in $(seq 100); do
      if ! kill -0 "$E2E_XVFB_PID" 2>/dev/null; then break; fi  # lost a race for :n
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        e2e_log "Xvfb on $DISPLAY (pid $E2E_XVFB_PID)"
        return 0
      fi
      sleep 0.1
    done
    e2e_kill_pid "$E2E_XVFB_PID"
    E2E_XVFB_PID=
  done
  echo "[e2e] cannot start Xvfb" >&2
  exit 1
}

# e2e_workdir <name> [file to leave out ...]: a fresh working folder holding
# the start-up resources; prints its path.
e2e_workdir() {
  local dir="$E2E_TMP/$1" f skip
  shift
  mkdir -p "$dir"
  for f in $E2E_RESOURCES; do
    for skip in "$@"; do [ "$f" = "$skip" ] && continue 2; done
    cp "$E2E_DATA/$f" "$dir/"
  done
  echo "$dir"
}

# e2e_start_program <workdir>: runs the program there in the background,
# output in program.out and program.err of that folder.
e2e_start_program() {
  local dir=$1
  (cd "$dir" && exec "$E2E_PROGRAM" >program.out 2>program.err) &
  E2E_PROGRAM_PID=$!
  E2E_STATUS=
  e2e_log "started $E2E_PROGRAM in $dir (pid $E2E_PROGRAM_PID)"
}

e2e_program_running() { [ -n "$E2E_PROGRAM_PID" ] && kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; }

# e2e_wait_exit <seconds>: waits for the program to end and puts its exit
# status in E2E_STATUS; on time-out kills it, sets E2E_STATUS=timeout and
# returns 1.
e2e_wait_exit() {
  local limit=$(($1 * 10)) i
  for ((i = 0; i < limit; i++)); do
    if ! kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; then
      wait "$E2E_PROGRAM_PID"
      E2E_STATUS=$?
      E2E_PROGRAM_PID=
      return 0
    fi
    sleep 0.1
  done
  e2e_stop_program
  E2E_STATUS=timeout
  return 1
}

# e2e_wait_window <seconds>: waits until the program has a window (its
# windows carry the class "allegro" at first).
e2e_wait_window() {
  timeout "$1" xdotool search --sync --class allegro >/dev/null 2>&1
}

# e2e_screenshot <file>: the whole screen as PNG.
e2e_screenshot() { import -window root "$1" 2>/dev/null; }

# e2e_pixels <image> <x,y> ...: prints "x,y=R,G,B" (0 to 255) for each
# point, one line each, in one pass over the image.
e2e_pixels() {
  local img=$1 fmt='' p c
  shift
  for p in "$@"; do
    fmt="$fmt$p="
    for c in r g b; do fmt="$fmt%[fx:int(255*p{$p}.$c+0.5)],"; done
    fmt="${fmt%,}\n"
  done
  convert "$img" -alpha off -format "$fmt" info: 2>/dev/null
}

# e2e_screen_matches <shot> <reference image> <x,y> ...: true when every
# point has the same colour in both.
e2e_screen_matches() {
  local shot=$1 ref=$2
  shift 2
  [ "$(e2e_pixels "$shot" "$@")" = "$(e2e_pixels "$ref" "$@")" ]
}

# e2e_wait_screen <seconds> <shot file> <reference> <x,y> ...: takes
# screenshots until the points match the reference; the last shot stays in
# <shot file>.
e2e_wait_screen() {
  local limit=$(($1 * 2)) shot=$2 ref=$3 i
  shift 3
  for ((i = 0; i < limit; i++)); do
    e2e_program_running || return 1
    e2e_screenshot "$shot" && e2e_screen_matches "$shot" "$ref" "$@" && return 0
    sleep 0.5
  done
  return 1
}

e2e_move_pointer() { xdotool mousemove "$1" "$2"; }

# e2e_click <x> <y> [button]: moves the pointer there and clicks.  The
# program reads the mouse once a frame, and the X events reach it in batches
# some milliseconds apart, so the button is held for E2E_CLICK_HOLD seconds:
# long enough to be seen in at least one frame, short enough (at a few
# hundred frames per second) to stay below the 20 frames after which a held
# screen button fires again.  Afterwards the function waits E2E_CLICK_GAP
# seconds, so that the next click finds the buttons' shared cooldown run out.
E2E_CLICK_HOLD=${E2E_CLICK_HOLD:-0.02}
E2E_CLICK_GAP=${E2E_CLICK_GAP:-0.3}
e2e_click() {
  local button=${3:-1}
  xdotool mousemove "$1" "$2" sleep 0.05 \
    mousedown "$button" sleep "$E2E_CLICK_HOLD" mouseup "$button" sleep "$E2E_CLICK_GAP"
}

# Regions of a screenshot are given as ImageMagick geometries WxH+X+Y.

# e2e_region_sum <image> <geometry>: a checksum of the region's pixels.
e2e_region_sum() {
  convert "$1" -crop "$2" +repage -alpha off rgb:- 2>/dev/null | cksum | cut -d' ' -f1
}

# e2e_count_colour <image> <geometry> <#RRGGBB>: how many pixels of the
# region have exactly that colour (not for black; see e2e_count_lit).
e2e_count_colour() {
  convert "$1" -crop "$2" +repage -alpha off -fill black +opaque "$3" \
    -fill white -opaque "$3" -format '%[fx:int(mean*w*h+0.5)]\n' info: 2>/dev/null
}

# e2e_count_lit <image> <geometry>: how many pixels of the region are not
# black.
e2e_count_lit() {
  convert "$1" -crop "$2" +repage -alpha off -fill white +opaque black \
    -format '%[fx:int(mean*w*h+0.5)]\n' info: 2>/dev/null
}

# e2e_region_pixels <image> <geometry>: "x,y #RRGGBB" for every pixel of the
# region, x and y counted from the region's corner.
e2e_region_pixels() {
  convert "$1" -crop "$2" +repage -alpha off -depth 8 txt:- 2>/dev/null |
    sed -n 's/^\([0-9]*,[0-9]*\):.*\(#[0-9A-Fa-f]\{6\}\).*/\1 \2/p'
}

# e2e_lines <file>: its number of lines, or "none" when it does not exist.
e2e_lines() {
  if [ -f "$1" ]; then wc -l <"$1" | tr -d ' '; else echo none; fi
}

# e2e_wait_lines <seconds> <file> <lines>: waits until the file exists and
# has that many lines.
e2e_wait_lines() {
  local limit=$(($1 * 10)) i
  for ((i = 0; i < limit; i++)); do
    [ "$(e2e_lines "$2")" = "$3" ] && return 0
    e2e_program_running || return 1
    sleep 0.1
  done
  return 1
}

# e2e_hold_key <key> <seconds>: holds the key down until the program ends or
# the time is up, then lets it go.
e2e_hold_key() {
  local key=$1 limit=$(($2 * 10)) i
  xdotool keydown "$key"
  for ((i = 0; i < limit; i++)); do
    e2e_program_running || break
    sleep 0.1
  done
  xdotool keyup "$key"
}

# e2e_dismiss_message_box <seconds>: waits for the program's message box;
# prints its text and closes it.  Returns 1 when no box came up in time (or
# the program ended first).
E2E_MESSAGE=
e2e_dismiss_message_box() {
  local limit=$(($1 * 10)) i pid='' win='' X Y WIDTH HEIGHT SCREEN WINDOW
  E2E_MESSAGE=
  for ((i = 0; i < limit; i++)); do
    e2e_program_running || return 1
    for child in $(e2e_children "$E2E_PROGRAM_PID"); do
      if [ "$(ps -o comm= -p "$child" 2>/dev/null)" = xmessage ]; then pid=$child; fi
    done
    if [ -n "$pid" ]; then
      win=$(xdotool search --class Xmessage 2>/dev/null | head -1)
      [ -n "$win" ] && break
    fi
    sleep 0.1
  done
  [ -n "$win" ] || return 1
  # xmessage's command line ends with the text of the message.
  E2E_MESSAGE=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
  sleep 0.2
  xdotool key Return
  for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  e2e_log "Return did not close the message box; killing xmessage $pid"
  kill "$pid" 2>/dev/null
  return 0
}

e2e_finish() {
  if [ "$E2E_FAILURES" -eq 0 ]; then
    e2e_log "all checks passed"
    exit 0
  fi
  echo "[e2e] $E2E_FAILURES check(s) failed" >&2
  exit 1
}

# e2e_start_program_with <workdir> <argument> ...: as e2e_start_program,
# with command-line arguments for the program.
e2e_start_program_with() {
  local dir=$1
  shift
  (cd "$dir" && exec "$E2E_PROGRAM" "$@" >program.out 2>program.err) &
  E2E_PROGRAM_PID=$!
  E2E_STATUS=
  e2e_log "started $E2E_PROGRAM $* in $dir (pid $E2E_PROGRAM_PID)"
}

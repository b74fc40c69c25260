# Helpers for the whole-program tests: a private virtual X server, the
# program in a fresh working folder, screenshots, pixels and real input.
# A script sources this file with the build folder as its argument and ends
# with e2e_finish, which exits 0 when no check failed (77: a tool is missing).
#
# Under Xvfb without a window manager keys go to the window under the
# pointer. The program polls its input once a frame, so keys are held until
# it has seen them and clicks last some milliseconds. allegro_message() runs
# xmessage as a child of the program and waits for it to be closed.

E2E_BUILD_DIR=$(cd "${1:?usage: $0 <build-dir>}" && pwd) || exit 1
# The screen's geometry and the state file's layout, written by the build
# from the constants the programs are built with (WORLD, PAUSE, SAVE,
# NEUTRAL, STATE_LINES, FOOD_DIVISOR_LINE, ...).
E2E_GEOMETRY="$E2E_BUILD_DIR/geometry.sh"
# shellcheck source=/dev/null
[ ! -f "$E2E_GEOMETRY" ] || source "$E2E_GEOMETRY"
E2E_PROGRAM="$E2E_BUILD_DIR/tarn" E2E_DATA="$E2E_BUILD_DIR/data"
E2E_RESOURCES="bg.bmp cursor.bmp spacefont.pcx"
E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/tarn-e2e.XXXXXX")
E2E_FAILURES=0 E2E_XVFB_PID='' E2E_PROGRAM_PID='' E2E_STATUS='' E2E_MESSAGE=''

e2e_log() { echo "[e2e] $*"; }
e2e_pass() { echo "[e2e] ok: $*"; }
e2e_fail() { echo "[e2e] FAIL: $*" >&2; E2E_FAILURES=$((E2E_FAILURES + 1)); }
# e2e_expect_eq <what> <expected> <actual>
e2e_expect_eq() { if [ "$2" = "$3" ]; then e2e_pass "$1"; else e2e_fail "$1: expected '$2', got '$3'"; fi; }
e2e_skip() { echo "[e2e] SKIP: $*" >&2; exit 77; }
e2e_require() {
  for tool in Xvfb xdpyinfo xdotool import convert; do command -v $tool >/dev/null || e2e_skip "no $tool (tools/deps.sh)"; done
  [ -x "$E2E_PROGRAM" ] && [ -f "$E2E_DATA/bg.bmp" ] || e2e_skip "build the program and its artwork first"
  [ -f "$E2E_GEOMETRY" ] || e2e_skip "build the geometry of the tests first (cmake --build BUILD --target geometry)"
}

e2e_kill_pid() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$1" 2>/dev/null; wait "$1" 2>/dev/null; return 0
}
e2e_children() { ps -o pid= --ppid "$1" 2>/dev/null | tr -d ' '; }
e2e_stop_program() {
  [ -n "$E2E_PROGRAM_PID" ] || return 0
  for child in $(e2e_children "$E2E_PROGRAM_PID"); do e2e_kill_pid "$child"; done
  e2e_kill_pid "$E2E_PROGRAM_PID"
  E2E_PROGRAM_PID=
}
e2e_cleanup() {
  [ -n "$E2E_XVFB_PID" ] && xdotool keyup Escape mouseup 1 mouseup 3 >/dev/null 2>&1
  e2e_stop_program
  [ -n "$E2E_XVFB_PID" ] && e2e_kill_pid "$E2E_XVFB_PID"
  if [ "$E2E_FAILURES" -eq 0 ]; then rm -rf "$E2E_TMP"; else echo "[e2e] screenshots kept in $E2E_TMP" >&2; fi
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb on a display of its own; exports DISPLAY.
e2e_start_xvfb() {
  # The server picks a free display itself and writes its number once it
  # accepts connections, so tests that start at the same time never share one.
  local numfile="$E2E_TMP/xvfb.display" n=
  : >"$numfile"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$numfile" >"$E2E_TMP/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  for _ in $(seq 150); do
    n=$(tr -dc 0-9 <"$numfile")
    [ -n "$n" ] && break
    kill -0 "$E2E_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ -n "$n" ] && xdpyinfo -display ":$n" >/dev/null 2>&1; then
    export DISPLAY=":$n"
    return 0
  fi
  e2e_kill_pid "$E2E_XVFB_PID"
  echo "[e2e] cannot start Xvfb: $(tail -2 "$E2E_TMP/xvfb.log")" >&2
  exit 1
}

# e2e_workdir <name> [file to leave out ...]: a fresh working folder with the
# artwork; prints its path.
e2e_workdir() {
  local dir="$E2E_TMP/$1" f
  shift
  mkdir -p "$dir"
  for f in $E2E_RESOURCES; do [[ " $* " == *" $f "* ]] || cp "$E2E_DATA/$f" "$dir/"; done
  echo "$dir"
}
# e2e_start_program <dir>: runs it there, output in program.out and program.err.
e2e_start_program() {
  (cd "$1" && exec "$E2E_PROGRAM" >program.out 2>program.err) &
  E2E_PROGRAM_PID=$! E2E_STATUS=
}
e2e_program_running() { [ -n "$E2E_PROGRAM_PID" ] && kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; }
# e2e_wait_exit <seconds>: the exit status goes to E2E_STATUS ("timeout").
e2e_wait_exit() {
  for _ in $(seq $(($1 * 10))); do
    kill -0 "$E2E_PROGRAM_PID" 2>/dev/null || { wait "$E2E_PROGRAM_PID"; E2E_STATUS=$? E2E_PROGRAM_PID=; return 0; }
    sleep 0.1
  done
  e2e_stop_program
  E2E_STATUS=timeout
  return 1
}
e2e_wait_window() { timeout "$1" xdotool search --sync --class allegro >/dev/null 2>&1; }

e2e_screenshot() { import -window root "$1" 2>/dev/null; }
e2e_move_pointer() { xdotool mousemove "$1" "$2"; }
# e2e_pixels <image> <x,y> ...: "x,y=R,G,B" for each point.
e2e_pixels() {
  local img=$1 fmt='' p
  shift
  for p in "$@"; do fmt="$fmt$p=%[fx:int(255*p{$p}.r+0.5)],%[fx:int(255*p{$p}.g+0.5)],%[fx:int(255*p{$p}.b+0.5)]\n"; done
  convert "$img" -alpha off -format "$fmt" info: 2>/dev/null
}
# e2e_region_sum <image> <WxH+X+Y>: a checksum of the region's pixels.
e2e_region_sum() { convert "$1" -crop "$2" +repage -alpha off rgb:- 2>/dev/null | cksum | cut -d' ' -f1; }
# e2e_wait_still <seconds> <WxH+X+Y> ...: true once two screenshots 0.4 s
# apart agree on every region; false when they still differ after that many
# seconds. The screen can lag behind the program while the X server works
# off the drawing of thousands of frames a second, so a world that stopped
# may still seem to move for a moment.
e2e_wait_still() {
  local seconds=$1 a b sa sb r
  shift
  a="$E2E_TMP/still-$$-a.png" b="$E2E_TMP/still-$$-b.png"
  e2e_screenshot "$a"
  for _ in $(seq $((seconds * 5 / 2))); do
    sleep 0.4
    e2e_screenshot "$b"
    sa='' sb=''
    for r in "$@"; do sa="$sa $(e2e_region_sum "$a" "$r")" sb="$sb $(e2e_region_sum "$b" "$r")"; done
    [ "$sa" = "$sb" ] && { rm -f "$a" "$b"; return 0; }
    mv "$b" "$a"
  done
  rm -f "$a" "$b"
  return 1
}
# e2e_count_colour <image> <WxH+X+Y> <#RRGGBB>: pixels of exactly that colour.
e2e_count_colour() {
  convert "$1" -crop "$2" +repage -alpha off -fill black +opaque "$3" -fill white -opaque "$3" \
    -format '%[fx:int(mean*w*h+0.5)]\n' info: 2>/dev/null
}

# e2e_click <x> <y> [button] [seconds held]: a click the program sees in at
# least one input step, then a pause that lets the buttons' cooldown (20
# input steps, a third of a second) run out.  The
# time held is the fourth argument, else $E2E_CLICK_HOLD, else 0.02 s.
e2e_click() {
  xdotool mousemove "$1" "$2" sleep 0.05 mousedown "${3:-1}" sleep "${4:-${E2E_CLICK_HOLD:-0.02}}" mouseup "${3:-1}" sleep 0.4
}
# e2e_hold_key <key> <seconds>: held until the program ends or time is up.
e2e_hold_key() {
  xdotool keydown "$1"
  for _ in $(seq $(($2 * 10))); do e2e_program_running || break; sleep 0.1; done
  xdotool keyup "$1"
}
# e2e_lines <file>: its number of lines, or "none".
e2e_lines() { if [ -f "$1" ]; then wc -l <"$1" | tr -d ' '; else echo none; fi; }
# e2e_wait_lines <seconds> <file> <lines>: until the file has that many lines.
e2e_wait_lines() {
  for _ in $(seq $(($1 * 10))); do [ "$(e2e_lines "$2")" = "$3" ] && return 0; sleep 0.1; done
  return 1
}

# e2e_dismiss_message_box <seconds>: waits for the program's message box,
# puts its text in E2E_MESSAGE and closes it with Return.
e2e_dismiss_message_box() {
  local pid='' win='' X Y WIDTH HEIGHT SCREEN WINDOW
  E2E_MESSAGE=
  for _ in $(seq $(($1 * 10))); do
    e2e_program_running || return 1
    for child in $(e2e_children "$E2E_PROGRAM_PID"); do [ "$(ps -o comm= -p "$child")" = xmessage ] && pid=$child; done
    [ -n "$pid" ] && win=$(xdotool search --class Xmessage 2>/dev/null | head -1) && [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || return 1
  E2E_MESSAGE=$(tr '\0' ' ' <"/proc/$pid/cmdline")
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) sleep 0.2 key Return
  for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  kill "$pid" 2>/dev/null
}

e2e_finish() {
  [ "$E2E_FAILURES" -eq 0 ] && { e2e_log "all checks passed"; exit 0; }
  echo "[e2e] $E2E_FAILURES check(s) failed" >&2; exit 1
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

# The script that a page gets to report what it loaded (tests/e2e/report/checks.html).
E2E_PAGE_CHECKS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/report/checks.html"

# The links of a page, one a line, percent-decoded.
e2e_links() {
  grep -o -E '(href|src)="[^"]*"' "$1" | sed -E 's/^(href|src)="//; s/"$//' |
    while IFS= read -r link; do printf '%b\n' "${link//%/\\x}"; done
}

# e2e_check_page <page> <what>: what every page of the programs gets, from
# the working folder (which gets found.txt, what Chromium found): valid HTML5
# (tidy), every link a file that exists, and in headless Chromium, loaded
# from file:// with no network, every picture and video at its file's size
# and nothing on the console. Needs tidy, chromium, identify and ffprobe.
e2e_check_page() {
  local page=$1 what=$2 dir link shown want missing=0
  dir=$(dirname "$page")
  tidy -e -q "$page" >tidy.log 2>&1
  e2e_expect_eq "$what: tidy finds nothing wrong" "0 " "$? $(head -3 tidy.log)"
  while IFS= read -r link; do
    [ -e "$dir/$link" ] || { e2e_fail "$what links $link, which does not exist"; missing=1; }
  done < <(e2e_links "$page")
  [ "$missing" = 0 ] && e2e_pass "$what: its $(e2e_links "$page" | wc -l) links name files that exist"

  # A copy of the page with the checks' script, in the page's folder so that
  # its links work as they are; Chromium writes what it found into the page.
  sed "/<\/title>/r $E2E_PAGE_CHECKS" "$page" >"$dir/.check.html"
  rm -rf profile
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$PWD/profile" \
    --enable-logging=stderr --v=0 --virtual-time-budget=20000 --dump-dom "file://$dir/.check.html" \
    >dom.html 2>chromium.log
  rm -f "$dir/.check.html"
  sed -n '/<pre id="checks">/,/<\/pre>/p' dom.html | sed '1d;$d' | sed 's/&amp;/\&/g' >found.txt
  [ -s found.txt ] || e2e_fail "$what: the checks wrote nothing: $(grep -v -i dbus chromium.log | tail -3)"
  local count=0
  while read -r kind link shown rest; do
    link=$(printf '%b' "${link//%/\\x}")
    if [ "$kind" = img ]; then
      want=$(identify -format '%wx%h' "$dir/$link" 2>/dev/null)
    else
      want=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$dir/$link")
    fi
    [ "$shown $rest" = "$want " ] || e2e_fail "$what: $kind $link loads as '$shown $rest', the file is $want"
    count=$((count + 1))
  done < <(grep -E '^(img|video) ' found.txt)
  [ "$count" -gt 0 ] && e2e_pass "$what: $count pictures and videos load at their files' sizes" ||
    e2e_fail "$what: no picture found on the page"
  e2e_expect_eq "$what: no load errors" "" "$(grep '^error' found.txt)"
  e2e_expect_eq "$what: nothing on the console" "" "$(grep 'CONSOLE' chromium.log)"
}

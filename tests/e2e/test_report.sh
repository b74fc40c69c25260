# The run's page, report.html, as a user opens it:
#  - valid HTML5 (tidy reports no error or warning);
#  - every file it links exists;
#  - in headless Chromium, loaded from file:// with no network, every
#    picture and the video load at the natural size of their files, nothing
#    reaches the console, and a screenshot of the page is not blank;
#  - a page alone (--report) beside pictures elsewhere, with names that need
#    escaping; a run stopped by SIGTERM: its page says where, and the command
#    it gives goes on with the run.
# Usage: bash test_report.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"
export LC_ALL=C
SIM="$E2E_BUILD_DIR/tarn-sim"
[ -x "$SIM" ] || e2e_skip "no headless runner at $SIM"
for tool in tidy chromium ffprobe identify convert; do
  command -v $tool >/dev/null || e2e_skip "no $tool (tools/deps.sh)"
done
work="$E2E_TMP/report"
mkdir -p "$work" && cd "$work" || exit 1

# --- An experiment folder with every picture, a time-lapse and a video ---------------
"$SIM" --quiet --seed 3 --frames 1000 --every 100 --out a --frames-dir a/frames --video a/run.mp4 ||
  e2e_fail "the run failed"
e2e_check_page "$PWD/a/report.html" "a folder's page"
e2e_expect_eq "it shows world.png, run.png, genes.png, muller.png, phylodiversity.png, the glyph, the video and 10 time-lapse pictures" \
  "world.png run.png genes.png muller.png phylodiversity.png frames/frame-000100.png frames/frame-001000.png report-glyph.png run.mp4" \
  "$(grep -E '^(img|video) ' found.txt | sed -n '1p;2p;3p;4p;5p;6p;15p;16p;17p' | cut -d' ' -f2 | xargs)"
grep -q '<pre>tarn --windowed --load world.sav</pre>' a/report.html &&
  e2e_pass "it says how to open its world in the window" || e2e_fail "no tarn --load line in the page"
rm -rf profile
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$PWD/profile" \
  --hide-scrollbars --window-size=1000,1600 --screenshot="$PWD/shot.png" "file://$PWD/a/report.html" >/dev/null 2>&1
colours=$(convert shot.png -format '%k' info: 2>/dev/null || echo 0)
[ "$colours" -gt 100 ] && e2e_pass "a screenshot of the page is not blank ($colours colours)" ||
  e2e_fail "the screenshot is blank: $colours colours"

# --- A page alone, its pictures elsewhere and names that need escaping ---------------
mkdir "b & c"
"$SIM" --quiet --seed 4 --frames 300 --report "b & c/run <4>.html" --snapshot "b & c/w #1.png" --plot p%20.png \
  --save "b & c/w.sav" || e2e_fail "the run with --report failed"
e2e_check_page "$PWD/b & c/run <4>.html" "a page alone"
e2e_expect_eq "its pictures, linked from its folder" "w%20%231.png ../p%2520.png run%20%3C4%3E-glyph.png" \
  "$(grep -E '^img ' found.txt | cut -d' ' -f2 | xargs)"

# --- A run stopped by SIGTERM, and the command its page gives -------------------------
"$SIM" --quiet --seed 9 --frames 100000000 --every 100 --checkpoint 1000 --out c &
pid=$!
for _ in $(seq 600); do [ -f c/resume ] && [ -f c/world.sav ] && break; sleep 0.05; done
sleep 0.5
kill -TERM "$pid"
wait "$pid"
e2e_expect_eq "stopped by SIGTERM: status" 143 "$?"
frame=$(sed -n 's/.*"frames_run": \([0-9]*\).*/\1/p' c/run.json)
grep -q "This run was stopped at frame <span data-key=\"frames_run\">$frame</span> of 100000000" c/report.html &&
  e2e_pass "its page says it stopped at frame $frame" || e2e_fail "the stopped page: $(grep -i stopped c/report.html)"
command=$(sed -n 's/<pre class="resume">\(.*\)<\/pre>/\1/p' c/report.html | sed 's/&#39;/'"'"'/g; s/&amp;/\&/g')
e2e_expect_eq "the command it gives" "$SIM --resume $PWD/c" "$command"
e2e_check_page "$PWD/c/report.html" "a stopped run's page"
# The command, run from elsewhere, goes on from the checkpoint: once it has
# written a checkpoint of its own, it is stopped again.
before=$(cksum <c/resume)
(cd / && exec bash -c "exec $command" >/dev/null 2>&1) &
pid=$!
for _ in $(seq 1200); do [ "$(cksum <c/resume 2>/dev/null)" != "$before" ] && break; sleep 0.05; done
kill -TERM "$pid"
wait "$pid"
e2e_expect_eq "the command goes on with the run (stopped again by SIGTERM)" 143 "$?"
again=$(sed -n 's/.*"frames_run": \([0-9]*\).*/\1/p' c/run.json)
[ "$again" -gt "$frame" ] && grep -q 'Resumed with' c/report.html &&
  e2e_pass "its page now says frame $again and the command it was resumed with" ||
  e2e_fail "after the resume: frame $again, $(grep -c 'Resumed with' c/report.html) resume lines"

e2e_finish

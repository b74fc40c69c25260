# The headless runner driven from a shell, as a user would:
#  - each bad use and unreadable input: its exit status and message, and
#    nothing run or written (every case asks for 10^8 frames, so a case that
#    ran would not end); a damaged --load file: a warning, or an error under
#    --strict; an experiment folder that is not empty is left as it was;
#    (a missing or failing ffmpeg or gnuplot, and bad rules, among them);
#  - every option leaves the saved world byte for byte as the same run
#    without it; the Units of a loaded file head the lineage;
#  - pictures: their number and sizes, the time-lapse's last picture is the
#    snapshot, the video has a frame per picture;
#  - a run under rules of its own killed by SIGTERM or SIGKILL at a random
#    moment and resumed ends with the world.sav, stats.csv, phylogeny.csv,
#    phylodiversity.csv, tree.nwk, params.toml and time-lapse of the run left
#    alone; a run with a video stopped by Ctrl-C ends it whole.
# Usage: bash test_tarn_sim.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"
export LC_ALL=C
SIM="$E2E_BUILD_DIR/tarn-sim"
[ -x "$SIM" ] || e2e_skip "no headless runner at $SIM"
[ -f "$E2E_GEOMETRY" ] || e2e_skip "build the geometry of the tests first (cmake --build BUILD --target geometry)"

work="$E2E_TMP/sim"
fx="$work/fixtures"
mkdir -p "$fx/notempty" "$fx/farresume" "$fx/bin" "$work/cwd"
echo "an earlier experiment" >"$fx/notempty/keep.txt"
printf '1\n2\n3\n' >"$fx/short.sav"
printf '[regulation]\ncull_at = 400\n[genes.lifespan]\nmaximum = 20000\n' >"$fx/typo.toml"
echo '{"format": "tarn-sim resume 1", "frame": 1e20}' >"$fx/farresume/resume"
mkfifo "$fx/pipe" "$fx/pipe.png"
printf '#!/bin/sh\necho "encoder broken" >&2\nexit 3\n' >"$fx/bin/ffmpeg"
chmod +x "$fx/bin/ffmpeg"
fixtures_before=$(cd "$fx" && find . -type f -exec cksum {} + | sort; ls -l pipe | cut -c1)
cd "$work/cwd" || exit 1

# --- Refusals: status, message, and nothing written --------------------------
# Each case: expected status | part of the message | arguments, after any
# PATH=... for the runner's environment. (The refusals of the command line
# alone, and resume's, are tested with their messages in the unit tests.)
refusals=(
  "2|cannot read $fx/missing.sav: No such file or directory|--load $fx/missing.sav --frames 100000000"
  "2|cannot read $fx: Is a directory|--load $fx --frames 100000000"
  "2|$fx/short.sav: reading stopped at line 4: 3 of the $STATE_LINES_GROUPED values were read|--strict --load $fx/short.sav --frames 100000000"
  "2|$fx/notempty is not empty|--out $fx/notempty --frames 100000000"
  "2|cannot make the folder $fx/short.sav/run|--out $fx/short.sav/run --frames 100000000"
  "2|cannot write $fx/missing/world.sav: No such file or directory|--save $fx/missing/world.sav --frames 100000000"
  "2|cannot write $fx/notempty: it is a folder|--record $fx/notempty --frames 100000000"
  "2|cannot write $fx/missing/p.csv|--stats s.csv --phylogeny $fx/missing/p.csv --frames 100000000"
  "2|cannot write $fx/pipe: a state file must be a regular file|--save $fx/pipe --frames 100000000"
  "2|$fx/farresume/resume is damaged: the frame is not a whole number in range|--resume $fx/farresume"
  "2|cannot write the video v.avi: its name must end in .mp4, .webm or .gif|--video v.avi --frames 100000000"
  "2|cannot write $fx/pipe.png: a picture must be a regular file|--plot $fx/pipe.png --frames 100000000"
  "2|$fx/notempty is not empty|--frames-dir $fx/notempty --frames 100000000"
  "2|cannot write $fx/missing/p.png: No such file or directory|--frames-dir f --plot $fx/missing/p.png --frames 100000000"
  "2|cannot write $fx/missing/v.mp4: No such file or directory|--out o --video $fx/missing/v.mp4 --frames 100000000"
  "2|cannot start ffmpeg: No such file or directory|PATH=/nonexistent --video v.webm --frames 100000000"
  "2|the video encoder for v.gif failed: it ended with exit status 3: encoder broken|PATH=$fx/bin:$PATH --video v.gif --frames 100000000"
  "2|$fx/typo.toml:4: genes.lifespan.maximum is not a parameter (did you mean genes.lifespan.max?)|--params $fx/typo.toml --out o --frames 100000000"
  "2|cannot draw plots: cannot start gnuplot: No such file or directory (is it installed?|PATH=/nonexistent --out o --frames 100000000"
)
for case in "${refusals[@]}"; do
  IFS='|' read -r want message arguments <<<"$case"
  environment=()
  while [[ $arguments == PATH=* ]]; do
    environment+=("${arguments%% *}")
    arguments=${arguments#* }
  done
  # shellcheck disable=SC2086
  timeout 30 env "${environment[@]}" "$SIM" $arguments >../out.log 2>&1
  status=$?
  if [ "$status" != "$want" ] || ! grep -qF -- "$message" ../out.log; then
    e2e_fail "tarn-sim $arguments: status $status (want $want), said: $(head -2 ../out.log)"
  elif [ -n "$(ls -A)" ]; then
    e2e_fail "tarn-sim $arguments left files: $(ls -A)"
  else
    e2e_pass "tarn-sim $arguments: $status, $message"
  fi
  rm -rf ./* 2>/dev/null
done
e2e_expect_eq "refused runs left the fixtures as they were" "$fixtures_before" \
  "$(cd "$fx" && find . -type f -exec cksum {} + | sort; ls -l pipe | cut -c1)"

"$SIM" --load "$fx/short.sav" --frames 3 --save w.sav >../out.log 2>&1
e2e_expect_eq "a file cut short loads as far as it goes: status" 0 "$?"
warning="$fx/short.sav: reading stopped at line 4: 3 of the $STATE_LINES_GROUPED values were read"
grep -qF "warning: $warning" ../out.log && [ -f w.sav ] &&
  e2e_pass "and a warning names the file, the line and the values read" ||
  e2e_fail "no warning for the short file: $(cat ../out.log)"
"$SIM" --quiet --load "$fx/short.sav" --frames 3 --record r.json >../out.log 2>&1
[ ! -s ../out.log ] && grep -qF "\"warning\": \"$warning" r.json && e2e_pass "--quiet keeps it for run.json alone" ||
  e2e_fail "--quiet: $(cat ../out.log) / $(grep warning r.json)"
rm -f w.sav r.json

# A write that fails during the run (here a file-size limit of 20 KB): status
# 1, the failure named, and the earlier file of that name kept.
echo "an earlier table" >s.csv
(ulimit -f 20 && "$SIM" --quiet --frames 400 --every 1 --stats s.csv) >../out.log 2>&1
e2e_expect_eq "an output that fails during the run: status" 1 "$?"
grep -qF "writing s.csv failed: File too large" ../out.log && [ "$(cat s.csv)" = "an earlier table" ] &&
  e2e_pass "it is named, and the earlier file is kept" || e2e_fail "after a failed output: $(cat ../out.log)"
# So does a time-lapse picture, written beside the run: the time-lapse stops
# there, and no partial picture is left.
(ulimit -f 4 && "$SIM" --quiet --seed 1 --frames 400 --every 100 --frames-dir f) >../out.log 2>&1
e2e_expect_eq "a time-lapse picture that cannot be written: status" 1 "$?"
grep -q "cannot write f/frame-000100.png: .*; the time-lapse in f stops here" ../out.log &&
  [ -z "$(ls -A f)" ] && e2e_pass "it is named, and nothing is left" || e2e_fail "after a failed picture: $(cat ../out.log)"
rm -rf f
rm -f s.csv

# --- Observing changes nothing ------------------------------------------------
# dimensions <file>: "width,height" of a picture or a video.
dimensions() { ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$1"; }

# The pictures of 400 frames with a picture every 50, each cell 2 x 2.
check_pictures() {
  e2e_expect_eq "a time-lapse picture every 50 frames" "$(seq -f 'frame-%06g.png' 50 50 400 | xargs)" "$(ls -A o/frames | xargs)"
  e2e_expect_eq "--scale 2: the snapshot's size" 1650,1050 "$(dimensions s.png)"
  cmp -s s.png o/world.png && cmp -s s.png o/frames/frame-000400.png &&
    e2e_pass "world.png, the snapshot and the last time-lapse picture are the same" ||
    e2e_fail "world.png, the snapshot and frame-000400.png differ"
  e2e_expect_eq "the video: a frame per picture" h264,1650,1050,8 "$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 o/v.mp4)"
  e2e_expect_eq "the plots' size" "1200,1000 1200,1000" "$(dimensions p.png) $(dimensions o/run.png)"
}

"$SIM" --quiet --seed 3 --frames 400 --save base.sav
variants=(
  "--stats a.csv --phylogeny b.csv --record c.json --every 1"
  "--genes v.csv --genes-plot g.png --every 30"
  "--plain"
  "--out o --every 30"
  "--out o --checkpoint 50"
  "--out o --no-pictures"
  "--plot p.png --every 30"
  "--video v.gif"
  "--out o --every 50 --scale 2 --frames-dir o/frames --video o/v.mp4 --snapshot s.png --plot p.png"
)
for variant in "${variants[@]}"; do
  saved=v.sav
  case $variant in --out*) saved=o/world.sav ;; *) variant="$variant --save v.sav" ;; esac
  # shellcheck disable=SC2086
  "$SIM" --quiet --seed 3 --frames 400 $variant
  cmp -s base.sav "$saved" && e2e_pass "same world with ${variant% --save v.sav}" ||
    e2e_fail "world differs with $variant"
  [ "$variant" = "--out o --every 30" ] &&
    e2e_expect_eq "an --out folder: its files" \
      "genes.csv genes.png lineages.csv muller.png params.toml phylodiversity.csv phylodiversity.png phylogeny.csv report-glyph.png report.html run.json run.png stats.csv tree.nwk world.png world.sav" "$(ls o | xargs)"
  [ "$variant" = "--out o --no-pictures" ] &&
    e2e_expect_eq "--no-pictures: no pictures but the page's glyph" \
      "genes.csv lineages.csv params.toml phylodiversity.csv phylogeny.csv report-glyph.png report.html run.json stats.csv tree.nwk world.sav" "$(ls o | xargs)"
  [ -d o/frames ] && check_pictures
  [ -f g.png ] && e2e_expect_eq "--genes-plot: its size" 1200,900 "$(dimensions g.png)"
  rm -rf v.sav o ./*.png ./*.gif
done
"$SIM" --seed 3 --frames 400 --save v.sav >/dev/null 2>&1  # progress and summary printed
cmp -s base.sav v.sav && e2e_pass "same world with output on the terminal" || e2e_fail "world differs when printing"

"$SIM" --quiet --seed 8 --frames 200 --load base.sav --save loaded.sav
"$SIM" --quiet --seed 8 --frames 200 --load base.sav --out o --checkpoint 60
cmp -s loaded.sav o/world.sav && e2e_pass "same world from a loaded file with --out" ||
  e2e_fail "world from a loaded file differs with --out"
# Statuses are the thousand lines from STATUS_LINE of a state file; 1 is Alive.
loaded_alive=$(sed -n "$STATUS_LINE,$((STATUS_LINE + 999))p" base.sav | grep -cx 1)
e2e_expect_eq "the loaded Units head the lineage" "$loaded_alive" \
  "$(awk -F, '$2 == "[NONE]" && $3 == 0 { n++ } END { print n + 0 }' o/phylogeny.csv)"
e2e_expect_eq "loaded.csv lists them, and run.json counts them" "$loaded_alive $loaded_alive" \
  "$(($(wc -l <o/loaded.csv) - 1)) $(sed -n 's/.*"units": \([0-9]*\).*/\1/p' o/run.json)"
grep -q "\"sha256\": \"$(sha256sum base.sav | cut -d' ' -f1)\"" o/run.json &&
  e2e_pass "run.json names the loaded file's SHA-256" || e2e_fail "run.json lacks the loaded file's digest"
rm -rf o

# --- Killed and resumed -------------------------------------------------------
# Under rules of its own, which the resumed run takes from its checkpoint.
run_args=(--seed 9 --frames 2000 --every 50 --checkpoint 200 --set contests.kin_tolerance=10 --set regulation.food_step=0.1)
start=$(date +%s%N)
"$SIM" --quiet "${run_args[@]}" --out ref --frames-dir ref/frames
ref_ms=$((($(date +%s%N) - start) / 1000000))
for sig in TERM KILL; do
  "$SIM" "${run_args[@]}" --out "k-$sig" --frames-dir "k-$sig/frames" >"$sig.log" 2>&1 &
  pid=$!
  for _ in $(seq 600); do [ -f "k-$sig/resume" ] && break; sleep 0.05; done
  if [ "$sig" = TERM ]; then
    "$SIM" --quiet --resume k-TERM >../out.log 2>&1
    status=$?
    grep -q "k-TERM is in use by another tarn-sim" ../out.log || e2e_fail "resuming a folder in use: $(cat ../out.log)"
    e2e_expect_eq "a folder in use is refused" 2 "$status"
  fi
  delay=$((RANDOM % (ref_ms * 4 / 5 + 1)))
  sleep "$(awk -v ms="$delay" 'BEGIN { print ms / 1000 }')"
  kill "-$sig" "$pid"
  wait "$pid"
  status=$?
  e2e_log "SIG$sig after $delay ms of a run of about $ref_ms ms: status $status"
  if [ "$status" = 0 ]; then
    e2e_log "the run ended before the signal; nothing to resume"
  else
    if [ "$sig" = TERM ]; then
      e2e_expect_eq "SIGTERM: status" 143 "$status"
      grep -q "stopped by SIGTERM at frame [0-9]* of 2000.*to go on: tarn-sim --resume k-TERM" "$sig.log" &&
        e2e_pass "SIGTERM: says where it stopped and how to go on" || e2e_fail "SIGTERM message: $(cat "$sig.log")"
    else
      e2e_expect_eq "SIGKILL: status" 137 "$status"
    fi
    "$SIM" --quiet --resume "k-$sig" || e2e_fail "resume after SIG$sig failed"
  fi
  for f in world.sav stats.csv phylogeny.csv genes.csv lineages.csv phylodiversity.csv tree.nwk world.png params.toml; do
    cmp -s "ref/$f" "k-$sig/$f" && e2e_pass "SIG$sig and resumed: same $f" || e2e_fail "SIG$sig and resumed: $f differs"
  done
  diff -r ref/frames "k-$sig/frames" >/dev/null && e2e_pass "SIG$sig and resumed: the same time-lapse" ||
    e2e_fail "SIG$sig and resumed: the time-lapse differs: $(diff -r ref/frames "k-$sig/frames" | head -3)"
  [ ! -e "k-$sig/resume" ] && e2e_pass "the finished run removed its checkpoint" || e2e_fail "k-$sig/resume is left"
done

# Ctrl-C reaches the whole process group of a terminal's foreground job: the
# runner ends the video whole, with a frame for each picture drawn, and
# leaves no checkpoint (a video cannot be continued).
setsid "$SIM" --seed 9 --frames 100000000 --every 50 --out kv --video kv/v.mp4 >kv.log 2>&1 &
pid=$!
sleep 3
kill -INT -- "-$pid"
wait "$pid"
e2e_expect_eq "Ctrl-C with a video: status" 130 "$?"
stopped=$(sed -n 's/.*stopped by SIGINT at frame \([0-9]*\) of.*(a run with --video cannot be resumed)/\1/p' kv.log)
if [ -z "$stopped" ] || [ "$stopped" -lt 50 ]; then
  e2e_fail "Ctrl-C with a video: stopped at frame '$stopped': $(cat kv.log)"
else
  e2e_expect_eq "the video ends whole at frame $stopped" "$((stopped / 50))" \
    "$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 kv/v.mp4)"
fi
e2e_expect_eq "and leaves no checkpoint or partial file" \
  "genes.csv genes.png lineages.csv muller.png params.toml phylodiversity.csv phylodiversity.png phylogeny.csv report-glyph.png report.html run.json run.png stats.csv tree.nwk v.mp4 world.png world.sav" \
  "$(ls -A kv | xargs)"

e2e_finish

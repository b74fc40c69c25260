# The headless runner driven from a shell, as a user would:
#  - each bad use and unreadable input: its exit status and message, and
#    nothing run or written (every case asks for 10^8 frames, so a case that
#    ran would not end); a damaged --load file: a warning, or an error under
#    --strict; an experiment folder that is not empty is left as it was;
#  - every option leaves the saved world byte for byte as the same run
#    without it; the Units of a loaded file head the lineage;
#  - a sweep of three seeds gives exactly the files of three single runs;
#  - a run killed by SIGTERM or SIGKILL at a random moment and resumed ends
#    with the world.sav, stats.csv and phylogeny.csv of the run left alone.
# Usage: bash test_tarn_sim.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"
export LC_ALL=C
SIM="$E2E_BUILD_DIR/tarn-sim"
SWEEP="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/tools/sweep.sh"
[ -x "$SIM" ] || e2e_skip "no headless runner at $SIM"

work="$E2E_TMP/sim"
fx="$work/fixtures"
mkdir -p "$fx/notempty" "$fx/badresume" "$fx/farresume" "$work/cwd"
echo "an earlier experiment" >"$fx/notempty/keep.txt"
printf '1\n2\n3\n' >"$fx/short.sav"
echo "{" >"$fx/badresume/resume"
echo '{"format": "tarn-sim resume 1", "frame": 1e20}' >"$fx/farresume/resume"
mkfifo "$fx/pipe"
fixtures_before=$(cd "$fx" && find . -type f -exec cksum {} + | sort; ls -l pipe | cut -c1)
cd "$work/cwd" || exit 1

# --- Refusals: status, message, and nothing written --------------------------
# Each case: expected status | part of the message | arguments.
refusals=(
  "2|--frames must be a whole number from 0 up|--frames -5"
  "2|--frames must be a whole number from 0 up|--frames 1e6"
  "2|--frames is too large|--frames 99999999999999999999"
  "2|--frames is given more than once|--frames 5 --frames 6"
  "2|--seed must be a whole number from 0 to 4294967295|--seed -1 --frames 100000000"
  "2|--every must be a whole number from 1 up|--every 0 --frames 100000000"
  "2|--checkpoint must be a whole number from 1 up|--checkpoint x --out o --frames 100000000"
  "2|--checkpoint needs --out DIR|--checkpoint 10 --frames 100000000"
  "2|--stats cannot be used with --out|--out o --stats s.csv --frames 100000000"
  "2|The following argument was not expected: --bogus|--bogus"
  "2|cannot read $fx/missing.sav: No such file or directory|--load $fx/missing.sav --frames 100000000"
  "2|cannot read $fx: Is a directory|--load $fx --frames 100000000"
  "2|$fx/short.sav: reading stopped at line 4: 3 of the 2,249,626 values were read|--strict --load $fx/short.sav --frames 100000000"
  "2|$fx/notempty is not empty|--out $fx/notempty --frames 100000000"
  "2|cannot make the folder $fx/short.sav/run|--out $fx/short.sav/run --frames 100000000"
  "2|cannot write $fx/missing/world.sav: No such file or directory|--save $fx/missing/world.sav --frames 100000000"
  "2|cannot write $fx/notempty: it is a folder|--record $fx/notempty --frames 100000000"
  "2|cannot write $fx/missing/p.csv|--stats s.csv --phylogeny $fx/missing/p.csv --frames 100000000"
  "2|cannot write $fx/pipe: a state file must be a regular file|--save $fx/pipe --frames 100000000"
  "2|--resume goes on as the run was started: it takes no --seed|--resume $fx/notempty --seed 1"
  "2|$fx/notempty holds no checkpoint|--resume $fx/notempty"
  "2|$fx/badresume/resume is damaged|--resume $fx/badresume"
  "2|$fx/farresume/resume is damaged: the frame is not a whole number in range|--resume $fx/farresume"
)
for case in "${refusals[@]}"; do
  IFS='|' read -r want message arguments <<<"$case"
  # shellcheck disable=SC2086
  timeout 30 "$SIM" $arguments >../out.log 2>&1
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

"$SIM" --quiet --load "$fx/short.sav" --frames 3 --save w.sav >../out.log 2>&1
e2e_expect_eq "a file cut short loads as far as it goes: status" 0 "$?"
grep -qF "warning: $fx/short.sav: reading stopped at line 4: 3 of the 2,249,626 values were read" ../out.log &&
  [ -f w.sav ] && e2e_pass "and a warning names the file, the line and the values read" ||
  e2e_fail "no warning for the short file: $(cat ../out.log)"
rm -f w.sav

# A write that fails during the run (here a file-size limit of 20 KB): status
# 1, the failure named, and the earlier file of that name kept.
echo "an earlier table" >s.csv
(ulimit -f 20 && "$SIM" --quiet --frames 400 --every 1 --stats s.csv) >../out.log 2>&1
e2e_expect_eq "an output that fails during the run: status" 1 "$?"
grep -qF "writing s.csv failed: File too large" ../out.log && [ "$(cat s.csv)" = "an earlier table" ] &&
  e2e_pass "it is named, and the earlier file is kept" || e2e_fail "after a failed output: $(cat ../out.log)"
# An output that is not a regular file (a pipe here) is written to directly.
mkfifo stats.pipe
cat stats.pipe >piped.csv &
"$SIM" --quiet --frames 200 --stats stats.pipe
wait $!
e2e_expect_eq "stats through a pipe: rows" 3 "$(wc -l <piped.csv)"
rm -f s.csv stats.pipe piped.csv

# --- Observing changes nothing ------------------------------------------------
"$SIM" --quiet --seed 3 --frames 400 --save base.sav
variants=(
  "--stats v.csv"
  "--phylogeny v.csv"
  "--record v.json"
  "--stats v.csv --every 7"
  "--stats a.csv --phylogeny b.csv --record c.json --every 1"
  "--strict"
  "--plain"
  "--out o --every 30"
  "--out o --checkpoint 50"
)
for variant in "${variants[@]}"; do
  saved=v.sav
  case $variant in --out*) saved=o/world.sav ;; *) variant="$variant --save v.sav" ;; esac
  # shellcheck disable=SC2086
  "$SIM" --quiet --seed 3 --frames 400 $variant
  cmp -s base.sav "$saved" && e2e_pass "same world with ${variant% --save v.sav}" ||
    e2e_fail "world differs with $variant"
  rm -rf v.sav o
done
"$SIM" --seed 3 --frames 400 --save v.sav >/dev/null 2>&1  # progress and summary printed
cmp -s base.sav v.sav && e2e_pass "same world with output on the terminal" || e2e_fail "world differs when printing"

"$SIM" --quiet --seed 8 --frames 200 --load base.sav --save loaded.sav
"$SIM" --quiet --seed 8 --frames 200 --load base.sav --out o --checkpoint 60
cmp -s loaded.sav o/world.sav && e2e_pass "same world from a loaded file with --out" ||
  e2e_fail "world from a loaded file differs with --out"
# Statuses are lines 2,176,626 to 2,177,625 of a state file; 1 is Alive.
loaded_alive=$(sed -n '2176626,2177625p' base.sav | grep -cx 1)
e2e_expect_eq "the loaded Units head the lineage" "$loaded_alive" \
  "$(awk -F, '$2 == "[NONE]" && $3 == 0 { n++ } END { print n + 0 }' o/phylogeny.csv)"
grep -q "\"sha256\": \"$(sha256sum base.sav | cut -d' ' -f1)\"" o/run.json &&
  e2e_pass "run.json names the loaded file's SHA-256" || e2e_fail "run.json lacks the loaded file's digest"
rm -rf o

# --- A sweep is its single runs -----------------------------------------------
if command -v parallel >/dev/null; then
  TARN_SIM="$SIM" bash "$SWEEP" --seeds 4-6 --frames 300 --every 50 --out sweep >../out.log 2>&1 ||
    e2e_fail "the sweep failed: $(tail -3 ../out.log)"
  for seed in 4 5 6; do
    "$SIM" --quiet --seed "$seed" --frames 300 --every 50 --out "single-$seed"
    for f in world.sav stats.csv phylogeny.csv; do
      cmp -s "single-$seed/$f" "sweep/seed-$seed/$f" || e2e_fail "seed $seed: the sweep's $f differs"
    done
  done
  e2e_expect_eq "summary.csv: a row per seed" "4 5 6" "$(tail -n +2 sweep/summary.csv | cut -d, -f1 | xargs)"
  e2e_expect_eq "summary.csv: seed 5's final living count" "$(tail -1 single-5/stats.csv | cut -d, -f2)" \
    "$(grep '^5,' sweep/summary.csv | cut -d, -f3)"
else
  e2e_fail "GNU parallel is missing (tools/deps.sh installs it)"
fi

# --- Killed and resumed -------------------------------------------------------
run_args=(--seed 9 --frames 2000 --every 50 --checkpoint 200)
start=$(date +%s%N)
"$SIM" --quiet "${run_args[@]}" --out ref
ref_ms=$((($(date +%s%N) - start) / 1000000))
for sig in TERM KILL; do
  "$SIM" "${run_args[@]}" --out "k-$sig" >"$sig.log" 2>&1 &
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
  for f in world.sav stats.csv phylogeny.csv; do
    cmp -s "ref/$f" "k-$sig/$f" && e2e_pass "SIG$sig and resumed: same $f" || e2e_fail "SIG$sig and resumed: $f differs"
  done
  [ ! -e "k-$sig/resume" ] && e2e_pass "the finished run removed its checkpoint" || e2e_fail "k-$sig/resume is left"
done

e2e_finish

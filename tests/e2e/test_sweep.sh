# Sweeps with GNU parallel on this machine, driven as a user would:
#  - a grid of --treatment files crossed with --vary values, with --set
#    for all: the treatments' names, treatments.csv and params.toml, and
#    every run's files exactly those of the same run made directly; the
#    summary ran;
#  - the same command again runs nothing; different arguments, a changed
#    treatment file and a run folder that can neither be resumed nor
#    counted as finished are refused before anything is written or run;
#    bad parameters and options are refused before the folder is made;
#  - a sweep whose run was killed (SIGKILL, after its first checkpoint) and
#    that was then stopped itself (SIGTERM) is finished by the same command
#    and ends with the files of the runs made in one go.
# Usage: bash test_sweep.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"
export LC_ALL=C
SIM="$E2E_BUILD_DIR/tarn-sim"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
SWEEP="$ROOT/tools/sweep.sh"
[ -x "$SIM" ] || e2e_skip "no headless runner at $SIM"
command -v parallel >/dev/null || e2e_skip "no GNU parallel (tools/deps.sh)"
export TARN_SIM="$SIM"
work="$E2E_TMP/sweep"
mkdir -p "$work" && cd "$work" || exit 1

# same_files <reference> <run> <what> <file>...
same_files() {
  local reference=$1 run=$2 what=$3 f differ=''
  shift 3
  for f in "$@"; do cmp -s "$reference/$f" "$run/$f" || differ="$differ $f"; done
  [ -z "$differ" ] && e2e_pass "$what: the files of the run made directly" || e2e_fail "$what: differs in$differ"
}
# refused <what> <message> <sweep options>: status 2, the message, and
# nothing in the folder written since the marker.
refused() {
  local what=$1 message=$2 status
  shift 2
  bash "$SWEEP" "$@" >refusal.log 2>&1
  status=$?
  if [ "$status" != 2 ] || ! grep -qF -- "$message" refusal.log; then
    e2e_fail "$what: status $status, said: $(head -3 refusal.log)"
  elif [ -n "$(find grid -newer marker | head -1)" ]; then
    e2e_fail "$what: wrote $(find grid -newer marker | head -3 | xargs)"
  else
    e2e_pass "$what: refused, nothing written"
  fi
}

# --- A grid of treatments ------------------------------------------------------------
printf '[regulation]\nfood_step = 0.1\n' >harsh.toml
printf '[regulation]\nfood_step = 0.02\n' >mild.toml
grid=(--seeds 1-2 --frames 300 --every 50 --treatment harsh=harsh.toml --treatment mild=mild.toml
  --vary contests.kin_tolerance=10,40 --set regulation.cull_at=600 --out grid)
bash "$SWEEP" "${grid[@]}" >grid.log 2>&1 || e2e_fail "the grid failed: $(tail -3 grid.log)"
e2e_expect_eq "treatments.csv: each file with each varied value, the columns that differ" \
  "treatment,regulation.food_step,contests.kin_tolerance
harsh_kin_tolerance=10,0.1,10
harsh_kin_tolerance=40,0.1,40
mild_kin_tolerance=10,0.02,10
mild_kin_tolerance=40,0.02,40" "$(cat grid/treatments.csv)"
e2e_expect_eq "a treatment's params.toml: its file, its value and the --set value" "600 0.1 40" \
  "$(sed -n 's/^\(cull_at\|food_step\|kin_tolerance\) = //p' grid/harsh_kin_tolerance=40/params.toml | xargs)"
for t in harsh_kin_tolerance=10 harsh_kin_tolerance=40 mild_kin_tolerance=10 mild_kin_tolerance=40; do
  for s in 1 2; do
    "$SIM" --quiet --params "grid/$t/params.toml" --seed "$s" --frames 300 --every 50 --out "direct/$t/seed-$s"
    same_files "direct/$t/seed-$s" "grid/$t/seed-$s" "$t/seed-$s" \
      world.sav stats.csv phylogeny.csv genes.csv lineages.csv params.toml world.png
  done
done
[ -s grid/summary.csv ] && e2e_pass "the summary ran" || e2e_fail "no summary.csv: $(tail -3 grid.log)"

# --- The same command again, and other ones -----------------------------------------------
touch -d '1 second ago' marker
bash "$SWEEP" "${grid[@]}" >again.log 2>&1
e2e_expect_eq "the same command again: status" 0 "$?"
grep -q "8 runs (4 treatments x 2 seeds) in .*: 0 to run, 0 to resume, 8 finished" again.log &&
  [ -z "$(find grid/*/seed-* -newer marker | head -1)" ] && e2e_pass "it runs nothing" ||
  e2e_fail "the same command again: $(head -2 again.log) $(find grid/*/seed-* -newer marker | head -3)"
touch marker
refused "other --frames" "was made with --frames 300, not 400" "${grid[@]}" --frames 400
refused "other --vary values" "this command leaves out harsh_kin_tolerance=40, mild_kin_tolerance=40; it adds harsh_kin_tolerance=20" \
  "${grid[@]/contests.kin_tolerance=10,40/contests.kin_tolerance=10,20}"
printf '[regulation]\nfood_step = 0.2\n' >harsh.toml
refused "a changed --treatment file" "treatment harsh_kin_tolerance=10: regulation.food_step was 0.1 when the sweep was made, now 0.2" "${grid[@]}"
printf '[regulation]\nfood_step = 0.1\n' >harsh.toml
mv grid/mild_kin_tolerance=10/seed-2/run.json run.json.kept
touch marker
refused "a run neither finished nor resumable" "remove those 1 folder(s)" "${grid[@]}"
mv run.json.kept grid/mild_kin_tolerance=10/seed-2/run.json
# Bad input for a new sweep: refused before its folder is made.
for case in "--set regulation.cull_at=x|regulation.cull_at must be a whole number" \
  "--vary regulation.cul_at=1,2|regulation.cul_at is not a parameter" \
  "--treatment bad=missing.toml|cannot read missing.toml" \
  "-- --bogus|none was started: tarn-sim: The following argument was not expected: --bogus" \
  "-- --stats s.csv|--stats after -- would give every run the same file"; do
  IFS='|' read -r arguments message <<<"$case"
  # shellcheck disable=SC2086
  bash "$SWEEP" --seeds 1 --frames 100 --out new $arguments >new.log 2>&1
  status=$?
  [ "$status" = 2 ] && grep -qF -- "$message" new.log && [ ! -e new ] && e2e_pass "$arguments: refused, no folder made" ||
    e2e_fail "$arguments: status $status, said: $(head -2 new.log)"
done

# --- Interrupted, then finished by the same command ---------------------------------------
long=(--seeds 3-4 --frames 40000 --jobs 2 --out long)
bash "$SWEEP" "${long[@]}" >long.log 2>&1 &
sweep_pid=$!
for s in 3 4; do "$SIM" --quiet --seed "$s" --frames 40000 --out "direct/long-$s" & done
# run_pid <folder>: the tarn-sim that writes it, found by the shell alone (no
# process started for each of the machine's processes), so that the other
# run is still going when the sweep is stopped.
run_pid() {
  local p words
  for p in /proc/[0-9]*; do
    [ "$p/cwd" -ef "$work/long" ] 2>/dev/null || continue
    mapfile -d '' words 2>/dev/null <"$p/cmdline" || continue
    [ "${words[*]: -2}" != "--out $1" ] || { echo "${p#/proc/}"; return; }
  done
}
for _ in $(seq 2400); do [ -e long/seed-3/resume ] && [ -e long/seed-4/resume ] && break; sleep 0.05; done
pid=$(run_pid seed-3)
if [ -n "$pid" ]; then kill -KILL "$pid"; else e2e_fail "no run of seed 3 to kill"; fi
kill -TERM "$sweep_pid"
wait "$sweep_pid"
e2e_expect_eq "the interrupted sweep: status" 1 "$?"
grep -q "stopped by SIGTERM; the same command again goes on" long.log && [ -e long/seed-3/resume ] &&
  [ -e long/seed-4/resume ] && e2e_pass "both runs left checkpoints, and it says how to go on" ||
  e2e_fail "after the interruption: $(tail -3 long.log); $(ls long/seed-3 long/seed-4 | xargs)"
bash "$SWEEP" "${long[@]}" >long2.log 2>&1
e2e_expect_eq "the same command again: status" 0 "$?"
grep -q "0 to run, 2 to resume, 0 finished" long2.log || e2e_fail "the same command again: $(head -1 long2.log)"
wait
for s in 3 4; do
  same_files "direct/long-$s" "long/seed-$s" "interrupted and finished, seed $s" world.sav stats.csv phylogeny.csv genes.csv lineages.csv
done

e2e_finish

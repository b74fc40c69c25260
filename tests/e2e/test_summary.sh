# A sweep's page, summary.html, as a user opens it: valid HTML5 (tidy), every
# file it links exists, and in headless Chromium, loaded from file:// with no
# network, every picture loads at its file's size and nothing reaches the
# console. The sweep: two treatments of three runs, with pictures, and a run
# stopped (its page linked apart).
# Usage: bash test_summary.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"
export LC_ALL=C
SIM="$E2E_BUILD_DIR/tarn-sim"
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[ -x "$SIM" ] || e2e_skip "no headless runner at $SIM"
for tool in tidy chromium gnuplot identify ffprobe; do command -v $tool >/dev/null || e2e_skip "no $tool (tools/deps.sh)"; done
/usr/bin/python3 -c 'import pandas, scipy' 2>/dev/null || e2e_skip "no pandas or scipy for /usr/bin/python3 (tools/deps.sh)"
sweep="$E2E_TMP/a sweep"
mkdir -p "$sweep" && cd "$E2E_TMP" || exit 1

printf 'treatment,contests.kin_tolerance\nkin=10,10\nkin=40,40\n' >"$sweep/treatments.csv"
low=() high=()  # the rules, where tarn-sim takes them
"$SIM" --help | grep -q -- --set && low=(--set contests.kin_tolerance=10) high=(--set contests.kin_tolerance=40)
for seed in 1 2 3 4; do
  "$SIM" --quiet --seed "$seed" --frames 300 --out "$sweep/kin=10/seed-$seed" "${low[@]}" || e2e_fail "run $seed failed"
  "$SIM" --quiet --seed "$((seed + 20))" --frames 300 --no-pictures --out "$sweep/kin=40/seed-$seed" "${high[@]}" ||
    e2e_fail "run $((seed + 20)) failed"
done
touch "$sweep/kin=40/seed-4/resume"
/usr/bin/python3 "$HERE/../../analysis/summarize_sweep.py" "$sweep" >summary.log 2>&1
e2e_expect_eq "the summary's status" 0 "$?"
page="$sweep/summary.html"

e2e_check_page "$page" "summary.html"
grep -q 'href="kin%3D40/seed-4/report.html">kin=40/seed-4 (a resume file)' "$page" &&
  e2e_pass "the stopped run is listed apart, linked to its page" || e2e_fail "no link to the stopped run"
count=$(grep -c '^img ' found.txt)
e2e_expect_eq "pictures on the page (alive, level, 5 genes and 2 figures of the tree, over frames and at the end)" 18 "$count"
e2e_finish

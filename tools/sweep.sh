#!/bin/bash
# A sweep: one experiment per seed, run side by side with GNU parallel, then
# a summary with one row per seed.
#
#   tools/sweep.sh --seeds 1-32 --frames N --out DIR [--jobs J] [--every K]
#                  [--sshloginfile FILE] [-- more tarn-sim options]
#   tools/sweep.sh --summary DIR
#
# Seed S runs `tarn-sim --quiet --seed S --frames N --every K --out DIR/seed-S`
# with the options after `--` (--load FILE, --checkpoint N, ...); it gives
# exactly the files that the same run gives alone. --jobs defaults to one
# job per core; --sshloginfile spreads the runs over the machines listed
# there (tarn-sim and DIR must then be at the same paths on every machine,
# as on a shared file system). Seeds are a list of numbers and ranges:
# 1-32, 1,5,9 or 1-4,10-12.
#
# Then DIR/summary.csv: seed, frames, living, alive, level, the run's totals
# of arrivals and deaths by cause, genotypes and wall seconds, from each
# DIR/seed-S/stats.csv and run.json; and DIR/summary.png, the population of
# every run over frames in one plot (tools/plot.sh --summary; with
# `-- --no-pictures` the runs draw no pictures and the sweep no summary.png).
# DIR/summary.html shows both on one page, with a row per seed that links
# the run's report.html (and the runs that have not finished, linked to
# theirs, which say where they stopped).
# --summary DIR writes only the summaries, for runs made some other way (a
# cluster's job array, for instance).
#
# tarn-sim is $TARN_SIM when set, else build/tarn-sim, built when missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  echo "usage: $0 --seeds LIST --frames N --out DIR [--jobs J] [--every K] [--sshloginfile FILE] [-- tarn-sim options]" >&2
  echo "       $0 --summary DIR" >&2
  exit 2
}
fail() {
  echo "sweep: $*" >&2
  exit 2
}

seeds= frames= out= jobs= every=100 summary_only= logins=
extra=()
while [ $# -gt 0 ]; do
  case $1 in
    --seeds) seeds=${2:-}; shift 2 || usage ;;
    --frames) frames=${2:-}; shift 2 || usage ;;
    --out) out=${2:-}; shift 2 || usage ;;
    --jobs) jobs=${2:-}; shift 2 || usage ;;
    --every) every=${2:-}; shift 2 || usage ;;
    --sshloginfile) logins=${2:-}; shift 2 || usage ;;
    --summary) summary_only=1; out=${2:-}; shift 2 || usage ;;
    --) shift; extra=("$@"); break ;;
    -h | --help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) usage ;;
  esac
done

# The seeds of a list like 1-4,9: one a line.
expand_seeds() {
  local part
  for part in ${1//,/ }; do
    if [[ $part =~ ^([0-9]+)-([0-9]+)$ ]]; then
      seq "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}"
    elif [[ $part =~ ^[0-9]+$ ]]; then
      echo "$part"
    else
      fail "--seeds must be numbers and ranges like 1-32 or 1,5,9 (not '$part')"
    fi
  done
}

summarize() {
  local dir=$1 summary="$1/summary.csv" folder seed wall
  {
    echo "seed,frames,living,alive,level,births,seeded,deaths_age,deaths_starvation,deaths_contest,deaths_search,deaths_unfit,deaths_cull,genotypes,wall_seconds"
    for folder in "$dir"/seed-*/; do
      folder=${folder%/}
      seed=${folder##*/seed-}
      if [ ! -f "$folder/run.json" ] || [ -f "$folder/resume" ]; then
        echo "sweep: $folder has not finished; left out of the summary" >&2
        continue
      fi
      wall=$(sed -n 's/^ *"wall_seconds": *\([0-9.eE+-]*\).*/\1/p' "$folder/run.json")
      # The last row's state, and the sums of the arrival and death columns.
      awk -F, -v seed="$seed" -v wall="$wall" '
        NR > 1 { for (c = 8; c <= 15; c++) sum[c] += $c; for (c = 1; c <= NF; c++) last[c] = $c }
        END {
          printf "%s,%s,%s,%s,%s", seed, last[1], last[2], last[3], last[4]
          for (c = 8; c <= 15; c++) printf ",%d", sum[c]
          printf ",%s,%s\n", last[16], wall
        }' "$folder/stats.csv"
    done | sort -t, -k1,1n
  } >"$summary.tmp"
  mv "$summary.tmp" "$summary"
  echo "sweep: $(($(wc -l <"$summary") - 1)) runs in $summary"
}

# Text for a page: the characters markup gives meaning to.
html_escape() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g'; }

# summary.html: summary.csv as a table, a row per seed linking its report,
# and summary.png when there is one. Written beside and moved into place.
summary_page() {
  local dir=$1 page="$1/summary.html" folder seed title
  title=$(basename "$dir" | html_escape)
  {
    cat <<HEAD
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Sweep $title</title>
<style>
body{font-family:system-ui,sans-serif;line-height:1.45;color:#1d1d1f;background:#fff;max-width:62rem;margin:0 auto;padding:0 1rem 3rem}
h1{font-size:1.6rem}
h2{font-size:1.2rem;margin:2rem 0 .6rem;padding-bottom:.2rem;border-bottom:1px solid #d0d0d0}
.scroll{overflow-x:auto}
table{border-collapse:collapse;font-variant-numeric:tabular-nums}
th,td{padding:.25rem .6rem;text-align:right;border-bottom:1px solid #ececec;white-space:nowrap}
thead th{border-bottom:2px solid #c8c8c8}
img{max-width:100%;height:auto}
</style>
</head>
<body>
<h1>Sweep $title</h1>
HEAD
    echo "<p>A row per seed from <a href=\"summary.csv\">summary.csv</a>; each seed links its run's page.</p>"
    echo '<div class="scroll"><table>'
    # The header row, then a row per finished run.
    awk -F, '
      NR == 1 { printf "<thead><tr>"; for (c = 1; c <= NF; c++) printf "<th>%s</th>", $c; print "</tr></thead>"; print "<tbody>"; next }
      {
        link = "seed-" $1 "/report.html"
        printf "<tr>"
        for (c = 1; c <= NF; c++)
          if (c == 1 && (getline line < (dir "/" link)) > 0) printf "<td><a href=\"%s\">%s</a></td>", link, $1
          else printf "<td>%s</td>", $c
        close(dir "/" link)
        print "</tr>"
      }
      END { print "</tbody>" }' dir="$dir" "$dir/summary.csv"
    echo '</table></div>'
    local unfinished=''
    for folder in "$dir"/seed-*/; do
      folder=${folder%/}
      seed=${folder##*/seed-}
      { [ ! -f "$folder/run.json" ] || [ -f "$folder/resume" ]; } && [ -f "$folder/report.html" ] &&
        unfinished="$unfinished<li><a href=\"seed-$seed/report.html\">seed $seed</a></li>"
    done
    [ -z "$unfinished" ] || echo "<h2>Not finished</h2><ul>$unfinished</ul>"
    if [ -f "$dir/summary.png" ]; then
      echo '<h2>Population</h2>'
      echo '<figure><img src="summary.png" alt="The population of every run over frames"><figcaption>Units alive in every run over frames</figcaption></figure>'
    fi
    echo '</body>'
    echo '</html>'
  } >"$page.tmp"
  mv "$page.tmp" "$page"
  echo "sweep: a page of them in $page"
}

# summary.png: the population of every run. False when it cannot be drawn.
plot_summary() {
  if bash "$root/tools/plot.sh" --summary "$1" "$1/summary.png"; then
    echo "sweep: their population in $1/summary.png"
  else
    echo "sweep: no summary.png" >&2
    return 1
  fi
}

pictures=1
for option in "${extra[@]}"; do [ "$option" != --no-pictures ] || pictures=; done

[ -n "$out" ] || usage
if [ -n "$summary_only" ]; then
  [ -d "$out" ] || fail "$out is not a folder"
  summarize "$out"
  if ! command -v gnuplot >/dev/null; then
    echo "sweep: gnuplot is missing: no summary.png (tools/deps.sh installs it)" >&2
    summary_page "$out"
    exit 1
  fi
  plot_summary "$out" || { summary_page "$out"; exit 1; }
  summary_page "$out"
  exit 0
fi
[ -n "$seeds" ] && [ -n "$frames" ] || usage
seed_list=$(expand_seeds "$seeds")
[ -n "$seed_list" ] || fail "--seeds names no seed"

sim=${TARN_SIM:-$root/build/tarn-sim}
if [ ! -x "$sim" ]; then
  echo "sweep: building $sim"
  cmake -S "$root" -B "$root/build" >/dev/null
  cmake --build "$root/build" -j "$(nproc)" --target tarn-sim >/dev/null
fi
command -v parallel >/dev/null || fail "GNU parallel is missing (tools/deps.sh installs it)"
[ -z "$pictures" ] || command -v gnuplot >/dev/null ||
  fail "gnuplot is missing: it draws each run's run.png and summary.png (tools/deps.sh installs it; -- --no-pictures leaves them out)"

mkdir -p "$out"
out=$(cd "$out" && pwd)
sim=$(cd "$(dirname "$sim")" && pwd)/$(basename "$sim")
for seed in $seed_list; do
  [ ! -e "$out/seed-$seed" ] || fail "$out/seed-$seed exists: a sweep never writes over an experiment"
done

options=(--will-cite --halt never)
[ -z "$jobs" ] || options+=(--jobs "$jobs")
[ -z "$logins" ] || options+=(--sshloginfile "$logins")
status=0
# -q quotes each word, so paths with spaces reach tarn-sim whole.
echo "$seed_list" | parallel "${options[@]}" -q \
  "$sim" --quiet --seed {} --frames "$frames" --every "$every" --out "$out/seed-{}" "${extra[@]}" || status=$?
[ "$status" -eq 0 ] || echo "sweep: $status run(s) failed" >&2
summarize "$out"
[ -z "$pictures" ] || plot_summary "$out" || status=1
summary_page "$out"
[ "$status" -eq 0 ] || exit 1

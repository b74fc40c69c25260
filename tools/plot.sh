#!/bin/bash
# Draws the plot of a run from its stats.csv, or the summary of a sweep:
#   tools/plot.sh stats.csv run.png       population, Evolution Level, live
#                                         cells and deaths by cause over frames
#   tools/plot.sh --summary DIR out.png   the population of every run
#                                         DIR/seed-*/stats.csv in one plot
# The scripts are picture/run_plot.gp and picture/summary_plot.gp, the same
# that tarn-sim has built in. Needs gnuplot (tools/deps.sh installs it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  echo "usage: $0 STATS.csv OUT.png | $0 --summary DIR OUT.png" >&2
  exit 2
}

# A gnuplot string literal: single quotes, a quote inside written twice.
quoted() { printf "'%s'" "${1//\'/\'\'}"; }

if [ "${1:-}" = --summary ]; then
  [ $# -eq 3 ] || usage
  script="$root/picture/summary_plot.gp"
  [ -d "$2" ] || { echo "$0: no folder $2" >&2; exit 1; }
  settings="sweepdir=$(quoted "$2")"
  out=$3
else
  [ $# -eq 2 ] || usage
  script="$root/picture/run_plot.gp"
  [ -f "$1" ] || { echo "$0: no file $1" >&2; exit 1; }
  settings="statsfile=$(quoted "$1")"
  out=$2
fi
command -v gnuplot >/dev/null || { echo "$0: gnuplot is not installed (run tools/deps.sh)" >&2; exit 1; }

# The picture takes its name only once whole.
temp="$(dirname "$out")/.$(basename "$out").$$.part.png"
trap 'rm -f "$temp"' EXIT
gnuplot -e "$settings; outfile=$(quoted "$temp")" - <"$script"
mv -f "$temp" "$out"

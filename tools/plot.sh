#!/bin/bash
# Draws the plot of a run from its stats.csv:
#   tools/plot.sh stats.csv run.png       population, Evolution Level, live
#                                         cells and deaths by cause over frames
# The script is picture/run_plot.gp, the same that tarn-sim has built in.
# Needs gnuplot (tools/deps.sh installs it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  echo "usage: $0 STATS.csv OUT.png" >&2
  exit 2
}

# A gnuplot string literal: single quotes, a quote inside written twice.
quoted() { printf "'%s'" "${1//\'/\'\'}"; }

[ $# -eq 2 ] || usage
script="$root/picture/run_plot.gp"
[ -f "$1" ] || { echo "$0: no file $1" >&2; exit 1; }
settings="statsfile=$(quoted "$1")"
out=$2
command -v gnuplot >/dev/null || { echo "$0: gnuplot is not installed (run tools/deps.sh)" >&2; exit 1; }

# The picture takes its name only once whole.
temp="$(dirname "$out")/.$(basename "$out").$$.part.png"
trap 'rm -f "$temp"' EXIT
gnuplot -e "$settings; outfile=$(quoted "$temp")" - <"$script"
mv -f "$temp" "$out"

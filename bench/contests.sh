#!/bin/bash
# What contests and the food search cost within a headless frame, in two
# worlds near 800 Units:
#   natural  seed 3 after 20,700 frames, then 1,450 frames with seed 54:
#            712 Units at the start, 590 to 795 throughout, no cull
#   crowded  the world of bench/crowded.sh, 1,000 frames with seed 1: 800
#            Units of one kin marker that walk, eat and sow
# For each world and build it prints the instructions of a frame (the
# simulation and the population count, under callgrind) and the shares of
# contests (resolveContacts and the upkeep of the contact index) and of the
# food search (findFood), by instructions and by processor time (perf
# samples of the same runs, repeated). Given a second build folder (of an
# earlier commit), its runs are shown beside and its state files must be
# byte-identical to the first's.
#   bash bench/contests.sh [build-dir] [earlier build-dir] [repeats]
set -euo pipefail
build="${1:-build}"
before="${2:-}"
repeats="${3:-10}"
source "$(dirname "$0")/crowded_world.sh" "$build"
"$build/tarn-sim" --seed 3 --frames 20700 --save "$work/natural.sav" --quiet

# The functions of each group, as patterns of their names. A sample belongs
# to the group of the innermost of them on its stack (calls at the end of a
# function may leave their caller off the stack).
contests=(resolveContacts beginContactIndex placeInContactIndex endContactIndex removeFromContactIndex)
contestsPattern='resolveContacts|ContactIndex|gatherNear|meetAround|bringUpToDate|::(un)?link|::place[^a-zA-Z]|::place$|::fight'
search=(findFood)
searchPattern='findFood'
frame=(simulateFrame regulatePopulation)

# args <world>: the runner's options for that world.
args() {
  case "$1" in
    natural) echo --seed 54 --frames 1450 --load "$work/natural.sav" ;;
    crowded) echo --seed 1 --frames 1000 --load "$work/crowded.sav" ;;
  esac
}

# share <report> <names...>: the summed percentages of those functions in
# an inclusive report whose lines read "<percent> <function name>".
share() {
  local report="$1"
  shift
  local pattern
  pattern="$(printf '%s|' "$@")"
  awk -v p="^(${pattern%|})\$" '$2 ~ p { s += $1 } END { printf "%.2f", s }' "$report"
}

# measure <build> <world> <tag>: prints "<instructions per frame> <contests %>
# <search %> <contests % of time> <search % of time> <microseconds per frame>"
# and leaves the state file in
# $work/<world>.<tag>.sav.
measure() {
  local from="$1" world="$2" tag="$3"
  local toggles=()
  for f in "${frame[@]}"; do toggles+=("--toggle-collect=$f()"); done
  valgrind --tool=callgrind --callgrind-out-file="$work/cg" --collect-atstart=no "${toggles[@]}" \
    "$from/tarn-sim" $(args "$world") --quiet --save "$work/$world.$tag.sav" 2>/dev/null
  # Inclusive instructions by function, as "<count> <name>": the largest of
  # a function's entries (the others are the parts inlined from headers).
  callgrind_annotate --auto=no --inclusive=yes --threshold=100 "$work/cg" 2>/dev/null |
    sed -n 's/^ *\([0-9,]*\) .*:\([A-Za-z_]*\)(.*/\1 \2/p' | tr -d , |
    awk '$1 > max[$2] { max[$2] = $1 } END { for (f in max) print max[f], f }' >"$work/ir"
  local total
  total=$(awk -v p="^($(printf '%s|' "${frame[@]}" | sed 's/|$//'))\$" '$2 ~ p { s += $1 } END { print s }' "$work/ir")
  awk -v t="$total" '{ printf "%.4f %s\n", 100 * $1 / t, $2 }' "$work/ir" >"$work/irshare"
  local frames
  frames=$(args "$world" | awk '{ for (i = 1; i < NF; ++i) if ($i == "--frames") print $(i + 1) }')
  # Processor time: perf samples with call stacks, the run repeated.
  for ((k = 0; k < repeats; ++k)); do echo "$from/tarn-sim $(args "$world") --quiet"; done >"$work/runs"
  perf record -q -e cpu-clock -F 4000 --call-graph dwarf,8192 -o "$work/perf.data" -- bash "$work/runs" \
    >/dev/null 2>&1
  # Each sample in a frame counts for the group of the innermost function
  # of a group on its stack.
  perf script -i "$work/perf.data" -F comm,ip,sym 2>/dev/null |
    awk -v contests="$contestsPattern" -v search="$searchPattern" '
    function flush() {
      if (comm == "tarn-sim" && inFrame) { frames++; if (group == "c") inContests++; if (group == "s") inSearch++ }
      comm = ""; group = ""; inFrame = 0
    }
    /^[^ \t]/ { flush(); comm = $1; next }
    /^$/ { flush(); next }
    {
      name = $0
      sub(/^[ \t]*[0-9a-f]+ /, "", name)
      if (name ~ /^(simulateFrame|regulatePopulation)/) inFrame = 1
      if (group == "" && name ~ contests) group = "c"
      if (group == "" && name ~ search) group = "s"
      if (group == "" && name ~ /^tickUnit/) group = "-"
    }
    END { flush(); printf "%.2f %.2f %d\n", 100 * inContests / frames, 100 * inSearch / frames, frames }' >"$work/time"
  local timeShares
  read -r -a timeShares <"$work/time"
  # Samples are taken 4,000 times a second of processor time.
  printf "%s %s %s %s %s %s\n" "$((total / frames))" "$(share "$work/irshare" "${contests[@]}")" \
    "$(share "$work/irshare" "${search[@]}")" "${timeShares[0]}" "${timeShares[1]}" \
    "$(awk -v n="${timeShares[2]}" -v f="$((frames * repeats))" 'BEGIN { printf "%.1f", n / 4000 / f * 1e6 }')"
}

printf "%-8s %-6s %12s %10s %9s %9s %10s %9s %9s\n" world build "instr/frame" "us/frame" "contests" "search" \
  "contests" "search" "together"
printf "%-8s %-6s %12s %10s %9s %9s %10s %9s %9s\n" "" "" "" "(cpu)" "(instr)" "(instr)" "(time)" "(time)" "(time)"
for world in natural crowded; do
  builds=("$build")
  [ -n "$before" ] && builds+=("$before")
  for k in "${!builds[@]}"; do
    read -r ir c s ct st us < <(measure "${builds[$k]}" "$world" "$k")
    label=$([ "$k" = 0 ] && echo now || echo before)
    printf "%-8s %-6s %12s %10s %8s%% %8s%% %9s%% %8s%% %8s%%\n" "$world" "$label" "$ir" "$us" "$c" "$s" "$ct" "$st" \
      "$(awk -v a="$ct" -v b="$st" 'BEGIN { printf "%.2f", a + b }')"
  done
  if [ -n "$before" ] && ! cmp -s "$work/$world.0.sav" "$work/$world.1.sav"; then
    echo "the state files of the $world world differ" >&2
    exit 1
  fi
done

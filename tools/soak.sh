#!/bin/bash
# Soak: the headless runner built with AddressSanitizer and
# UndefinedBehaviorSanitizer, run from an empty world and from hostile state
# files, with any sanitizer report failing the run.
#
#   tools/soak.sh [frames from empty] [frames per hostile file]
#
# The default lengths are the long soak (100,000 and 20,000 frames); the
# test script runs a short one. Hostile files: every file of
# fuzz/corpus/state, and full-size worlds written here whose every value is
# random over the whole 32-bit range, or at the limits of its type.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
empty_frames=${1:-100000}
hostile_frames=${2:-20000}
jobs="${JOBS:-$(nproc)}"
build="$root/build-soak"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_SANITIZE=ON \
  -DTARN_GUI=OFF -DTARN_BENCH=OFF -DTARN_WERROR="${TARN_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j "$jobs" --target tarn-sim >/dev/null

work=$(mktemp -d /tmp/tarn-soak.XXXXXX)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# hostile_world <kind> <seed> <file>: a state file of 2,249,626 lines.
# Lines 2212626 to 2213626 are floats (energies, then foodDivisor); all
# others are integers.
hostile_world() {
  awk -v kind="$1" -v seed="$2" 'BEGIN {
    srand(seed)
    for (n = 1; n <= 2249626; n++) {
      is_float = n >= 2212626 && n <= 2213626
      r = rand()
      if (kind == "random") {
        if (is_float) printf "%f\n", (rand() - 0.5) * 10 ^ int(rand() * 39)
        else printf "%d\n", int(r * 4294967296) - 2147483648
      } else if (kind == "limits") {
        if (is_float) {
          if (r < 0.25) print "340282346638528859811704183484516925440.000000"
          else if (r < 0.5) print "-340282346638528859811704183484516925440.000000"
          else if (r < 0.75) print "0.000000"
          else print "-0.000001"
        } else {
          if (r < 0.3) print "2147483647"
          else if (r < 0.6) print "-2147483648"
          else if (r < 0.8) print "0"
          else printf "%d\n", int(rand() * 20) - 10
        }
      }
    }
  }' >"$3"
}

failures=0
# soak <name> <frames> [--load file]
soak() {
  local name=$1 frames=$2
  shift 2
  local log="$work/$name.log" start end status=0
  start=$(date +%s.%N)
  (cd "$work" && "$build/tarn-sim" --seed 7 --frames "$frames" "$@" --save "$work/out.sav") \
    >"$log" 2>&1 || status=$?
  end=$(date +%s.%N)
  if [ "$status" -ne 0 ] || grep -q -e 'runtime error' -e 'ERROR: AddressSanitizer' -e 'LeakSanitizer' "$log"; then
    echo "soak $name: FAILED (status $status)"
    grep -m 20 -e 'runtime error' -e 'ERROR' -e '#[0-9]' "$log" || tail -20 "$log"
    failures=$((failures + 1))
  else
    printf 'soak %-28s %7d frames in %6.1f s, no reports; %s\n' "$name" "$frames" \
      "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$(grep -o '[0-9]* Units living.*' "$log")"
  fi
}

# Built without the drawing library, tarn-sim refuses pictures before the
# first frame, and its experiment folders hold none of its pictures.
status=0
"$build/tarn-sim" --snapshot "$work/world.png" --frames 10 >"$work/pictures.log" 2>&1 || status=$?
"$build/tarn-sim" --quiet --frames 10 --out "$work/experiment" >>"$work/pictures.log" 2>&1 || status=0
if [ "$status" -ne 2 ] || ! grep -q "built without pictures" "$work/pictures.log" || [ -e "$work/world.png" ] ||
  [ "$(ls "$work/experiment")" != "$(printf 'genes.csv\nlineages.csv\nparams.toml\nphylodiversity.csv\nphylogeny.csv\nreport.html\nrun.json\nstats.csv\ntree.nwk\nworld.sav')" ]; then
  echo "soak: pictures in a build without them: status $status; $(cat "$work/pictures.log")"
  failures=$((failures + 1))
fi

soak empty "$empty_frames"
hostile_world random 1 "$work/random-1.sav"
hostile_world random 2 "$work/random-2.sav"
hostile_world limits 3 "$work/limits-3.sav"
for f in "$work"/random-1.sav "$work"/random-2.sav "$work"/limits-3.sav "$root"/fuzz/corpus/state/*; do
  [ -f "$f" ] || continue
  soak "$(basename "$f")" "$hostile_frames" --load "$f"
done

if [ "$failures" -ne 0 ]; then
  echo "soak: $failures run(s) with sanitizer reports or failures"
  exit 1
fi
echo "soak: all runs clean"

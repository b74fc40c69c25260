#!/bin/bash
# The crowded world that the benchmarks load: seed 2 after 7,286 frames
# (800 Units), then in every genome one kin marker (gene 12 = 1600) so that
# nobody fights, a breeding stock (gene 13) and a lifespan (gene 35) of
# 2,000,000,000 so that nobody breeds or dies of age, every Unit that was
# about to breed sent homeward instead, and an energy of 1,000,000 so that
# nobody starves. The Units then walk, eat, sow and meet, and stay at 800.
#   bash bench/crowded.sh [build-dir] [output file]
set -euo pipefail
build="${1:-build}"
out="${2:-crowded.sav}"
start="$(mktemp)"
trap 'rm -f "$start"' EXIT
"$build/tarn-sim" --seed 2 --frames 7286 --save "$start" >/dev/null
# Lines 2,173,626 to 2,174,625 hold the modes (3: Breed, 1: Homeward),
# 2,212,626 to 2,213,625 the energies, and from 2,213,627 on the genomes,
# 36 genes a slot.
awk 'NR >= 2173626 && NR <= 2174625 && $0 == "3" { print 1; next }
     NR >= 2212626 && NR <= 2213625 { print "1000000.000000"; next }
     NR >= 2213627 {
       gene = (NR - 2213627) % 36
       if (gene == 12) { print 1600; next }
       if (gene == 13 || gene == 35) { print 2000000000; next }
     }
     { print }' "$start" >"$out"

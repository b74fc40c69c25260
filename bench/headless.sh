#!/bin/bash
# The headless runner's speed: 20,000 frames of seeds 1, 2 and 3 from an
# empty world, the fast way and the plain way, in one run; the two state
# files of each seed must be byte-identical.
#   bash bench/headless.sh [build-dir] [frames]
set -euo pipefail
build="${1:-build}"
frames="${2:-20000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf "%-6s %12s %12s %8s  %s\n" seed "fast fps" "plain fps" ratio identical
for seed in 1 2 3; do
  fast=$("$build/tarn-sim" --seed "$seed" --frames "$frames" --save "$work/fast.sav" | sed -n 's/.*(\([0-9]*\) frames\/s).*/\1/p')
  plain=$("$build/tarn-sim" --plain --seed "$seed" --frames "$frames" --save "$work/plain.sav" | sed -n 's/.*(\([0-9]*\) frames\/s).*/\1/p')
  same=no
  cmp -s "$work/fast.sav" "$work/plain.sav" && same=yes
  printf "%-6s %12s %12s %8.2f  %s\n" "$seed" "$fast" "$plain" "$(awk -v f="$fast" -v p="$plain" 'BEGIN { print f / p }')" "$same"
  [ "$same" = yes ] || exit 1
done

#!/bin/bash
# Installs what is missing, builds the program and starts it in run/, a
# working directory that holds its pictures and font (and, after the first
# run, its saved worlds and genome slots). Its arguments go on to the
# program: tools/run.sh --windowed --seed 7
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bash "$root/tools/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" -j "$(nproc)" --target tarn artwork tarn-sim
mkdir -p "$root/run"
cp "$root/build/data/bg.bmp" "$root/build/data/cursor.bmp" "$root/build/data/spacefont.pcx" "$root/run/"
cd "$root/run"
exec "$root/build/tarn" "$@"

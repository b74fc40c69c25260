#!/bin/bash
# Installs what is missing, builds the project twice (optimised, and with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test.
# Every build it makes (the soak's and the fuzzers' too) turns compiler
# warnings into errors.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${JOBS:-$(nproc)}"
export TARN_WERROR=ON

bash "$root/tools/deps.sh"

echo "== optimised build, all tests"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_WERROR=ON
cmake --build "$root/build" -j "$jobs"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

echo "== sanitizer build, unit tests"
cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=ON -DTARN_BENCH=OFF -DTARN_WERROR=ON
cmake --build "$root/build-asan" -j "$jobs" --target sim_tests ui_tests tarn-sim
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs" -E '^e2e_'

echo "== short soak under the sanitizers"
bash "$root/tools/soak.sh" "${SOAK_EMPTY_FRAMES:-5000}" "${SOAK_HOSTILE_FRAMES:-1000}"

echo "== loaders fuzzed briefly on their corpus"
bash "$root/tools/fuzz.sh" "${FUZZ_SECONDS:-40}"

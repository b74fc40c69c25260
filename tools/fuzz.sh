#!/bin/bash
# Fuzzes the readers of input (the number reader, the state file, the slot
# file, a checkpoint's resume file, the parameter file) with libFuzzer: each target for the given
# number of seconds (default 60) or until it has run the given number of
# inputs, whichever comes first; side by side, one per core (JOBS, default
# the number of cores), each starting from a copy of its corpus in
# fuzz/corpus. New inputs and any findings go under build-fuzz/work, never
# into the repository. Prints the executions of each target and their rate,
# and fails when a target found anything.
#
#   tools/fuzz.sh [seconds per target [executions per target]]
#   tools/fuzz.sh 3300 10000000   # the long run: ten million each, two at a
#                                 # time, within the hour on two cores
#
# A finding is a file under build-fuzz/work/<target>/findings; run the
# target on it to see the report again: build-fuzz/fuzz/<target> <file>.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds=${1:-60}
runs=${2:--1}
jobs="${JOBS:-$(nproc)}"
build="$root/build-fuzz"

# One line per target (fuzz/CMakeLists.txt lists them too): its name, its
# corpus folder under fuzz/corpus, the longest input it is given. The
# slowest first, so that the others share the second core meanwhile.
targets=(
  "fuzz_resume  resume  20000"
  "fuzz_state   state   4096"
  "fuzz_slot    slot    1024"
  "fuzz_numbers numbers 4096"
  "fuzz_params  params  8192"
)

bash "$root/tools/deps.sh" >/dev/null
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTARN_FUZZ=ON -DTARN_GUI=OFF -DTARN_BENCH=OFF -DTARN_WERROR="${TARN_WERROR:-OFF}" >/dev/null
names=()
for entry in "${targets[@]}"; do names+=("${entry%% *}"); done
cmake --build "$build" -j "$jobs" --target "${names[@]}" >/dev/null

# run_target <target> <corpus> <max_len>: runs it and leaves its summary
# line in work/<target>/result and its exit status in work/<target>/status.
run_target() {
  local target=$1 corpus=$2 max_len=$3
  local work="$build/work/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  cp "$root/fuzz/corpus/$corpus"/* "$work/corpus/"
  local log="$work/log" rc=0 start=$SECONDS
  (cd "$work" && "$build/fuzz/$target" -max_total_time="$seconds" -runs="$runs" -max_len="$max_len" -timeout=60 \
    -rss_limit_mb=2048 -print_final_stats=1 -dict="$root/fuzz/values.dict" \
    -artifact_prefix="$work/findings/" "$work/corpus") >"$log" 2>&1 || rc=$?
  local execs rate findings
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  findings=$(find "$work/findings" -type f | wc -l)
  printf 'fuzz %-13s %6s s  %11s executions  %6s/s  %s findings\n' "$target" $((SECONDS - start)) \
    "${execs:-?}" "${rate:-?}" "$findings" >"$work/result"
  [ "$rc" -eq 0 ] && [ "$findings" -eq 0 ] && rc=0 || rc=1
  echo "$rc" >"$work/status"
}

echo "fuzz: ${#targets[@]} targets, $seconds s each$([ "$runs" -ge 0 ] && echo " or $runs executions"), $jobs at a time;" \
  "load $(cut -d' ' -f1-3 /proc/loadavg)"
for entry in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  # shellcheck disable=SC2086
  run_target $entry &
done
wait

status=0
for target in "${names[@]}"; do
  work="$build/work/$target"
  cat "$work/result"
  if [ "$(cat "$work/status")" -ne 0 ]; then
    grep -m 20 -e 'FINDING' -e 'ERROR' -e 'runtime error' -e '#[0-9] ' "$work/log" || tail -20 "$work/log"
    find "$work/findings" -type f
    status=1
  fi
done
echo "fuzz: load at the end $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status

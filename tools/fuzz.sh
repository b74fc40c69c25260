#!/bin/bash
# Fuzzes the state-file and slot-file loaders with libFuzzer, each target
# for the given number of seconds (default 60), starting from a copy of its
# corpus in fuzz/corpus. New inputs and any findings go under
# build-fuzz/work, never into the repository. Prints the executions and
# findings of each target and fails when a target found a crash.
#
#   tools/fuzz.sh [seconds per target]
#
# A finding is a file under build-fuzz/work/<target>/findings; run the
# target on it to see the report again: build-fuzz/fuzz/<target> <file>.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds=${1:-60}
jobs="${JOBS:-$(nproc)}"
build="$root/build-fuzz"

bash "$root/tools/deps.sh" >/dev/null
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTARN_FUZZ=ON -DTARN_GUI=OFF -DTARN_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target fuzz_state fuzz_slot >/dev/null

status=0
# run_target <target> <corpus> <max_len>
run_target() {
  local target=$1 corpus=$2 max_len=$3
  local work="$build/work/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  cp "$root/fuzz/corpus/$corpus"/* "$work/corpus/"
  local log="$work/log" rc=0
  (cd "$work" && "$build/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=60 \
    -rss_limit_mb=4096 -print_final_stats=1 -dict="$root/fuzz/values.dict" \
    -artifact_prefix="$work/findings/" "$work/corpus") >"$log" 2>&1 || rc=$?
  local execs rate findings
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  findings=$(find "$work/findings" -type f | wc -l)
  printf 'fuzz %-10s %6s s  %10s executions (%s/s)  %s findings\n' "$target" "$seconds" "${execs:-?}" \
    "${rate:-?}" "$findings"
  if [ "$rc" -ne 0 ] || [ "$findings" -ne 0 ]; then
    grep -m 20 -e 'FINDING' -e 'ERROR' -e 'runtime error' -e '#[0-9] ' "$log" || tail -20 "$log"
    find "$work/findings" -type f
    status=1
  fi
}

run_target fuzz_state state 2097152
run_target fuzz_slot slot 4096
exit $status

# Sweeps on a real Slurm: a cluster of this one machine, set up and torn
# down here:
#  - munged with a key and socket of its own; slurmctld and slurmd with a
#    slurm.conf of their own (SLURM_CONF) on free ports, state and spool in
#    the test's folder, processes tracked by process group (no cgroups, no
#    systemd); they, and every process they started, are stopped on every
#    way out;
#  - a grid of 2 treatments x 2 seeds submitted with tools/sweep.sh --slurm
#    --submit: every run folder holds the files of the same run made by
#    tarn-sim directly, and the summary job ran after the array;
#  - a task stopped as at its time limit (USR1 to the task's shell, which
#    Slurm sends --grace seconds before the limit) stops its run at a
#    checkpoint; the same sweep command again resumes it; with --requeue
#    the task requeues itself and goes on. Both end with the files of the
#    run made in one go.
# Skipped without root or without slurm-wlm and munge.
# Usage: bash test_slurm_sweep.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"
export LC_ALL=C
SIM="$E2E_BUILD_DIR/tarn-sim"
SWEEP="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/tools/sweep.sh"
[ -x "$SIM" ] || e2e_skip "no headless runner at $SIM"
[ "$(id -u)" -eq 0 ] || e2e_skip "the test's own Slurm daemons need root"
for tool in munged munge slurmctld slurmd sbatch squeue scontrol scancel sinfo; do
  command -v $tool >/dev/null || e2e_skip "no $tool (tools/deps.sh installs slurm-wlm and munge)"
done

# --- The cluster ------------------------------------------------------------------
cluster="$E2E_TMP/cluster"
mkdir -p "$cluster/munge" "$cluster/key" "$cluster/state" "$cluster/spool" "$cluster/log"
# munged wants every folder above its socket open to all, its key to root.
chmod 755 "$E2E_TMP" "$cluster" "$cluster/munge"
chmod 700 "$cluster/key"
head -c 1024 /dev/urandom >"$cluster/key/munge.key"
chmod 400 "$cluster/key/munge.key"
conf="$cluster/slurm.conf"
daemons=()
# The daemons, the Slurm commands and the sweeps get the configuration in
# their environment, and so does every process they start; nothing else here.
slurm() { SLURM_CONF="$conf" "$@"; }

# Every process that carries this cluster's configuration: the daemons and
# their children, the jobs' shells and their runs. Read by the shell itself,
# so that no reader of its own is among them.
cluster_processes() {
  local p var
  for p in /proc/[0-9]*; do
    while IFS= read -r -d '' var; do
      [ "$var" != "SLURM_CONF=$conf" ] || { echo "${p#/proc/}"; break; }
    done 2>/dev/null <"$p/environ"
  done
}
cluster_stop() {
  local pid i
  [ ${#daemons[@]} -gt 0 ] || return 0
  for pid in $(slurm squeue -h -o %A 2>/dev/null); do slurm scancel "$pid" 2>/dev/null; done
  for _ in $(seq 100); do [ -z "$(slurm squeue -h 2>/dev/null)" ] && break; sleep 0.1; done
  for ((i = ${#daemons[@]} - 1; i >= 0; i--)); do e2e_kill_pid "${daemons[i]}"; done
  daemons=()
  for pid in $(cluster_processes); do kill -9 "$pid" 2>/dev/null; done
}
trap 'cluster_stop; e2e_cleanup' EXIT

read -r ctld_port slurmd_port < <(/usr/bin/python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("", 0))
print(*[x.getsockname()[1] for x in s])')
host=$(hostname -s)
cat >"$conf" <<EOF
ClusterName=tarntest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$cluster/munge/socket
CredType=cred/munge
StateSaveLocation=$cluster/state
SlurmdSpoolDir=$cluster/spool
SlurmctldPidFile=$cluster/slurmctld.pid
SlurmdPidFile=$cluster/slurmd.pid
SlurmctldLogFile=$cluster/log/slurmctld.log
SlurmdLogFile=$cluster/log/slurmd.log
ProctrackType=proctrack/pgid
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/builtin
MpiDefault=none
SwitchType=switch/none
ReturnToService=2
KillWait=10
MinJobAge=3600
NodeName=tarn1 NodeAddr=127.0.0.1 NodeHostname=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=tarn1 Default=YES MaxTime=INFINITE State=UP
EOF

cluster_failed() {
  echo "[e2e] the cluster did not start: $1" >&2
  tail -n 5 "$cluster"/log/*.log "$cluster/munge/munged.log" >&2 2>/dev/null
  exit 1
}
SLURM_CONF="$conf" munged -F --socket="$cluster/munge/socket" --key-file="$cluster/key/munge.key" --pid-file="$cluster/munge/munged.pid" \
  --log-file="$cluster/munge/munged.log" --seed-file="$cluster/munge/munged.seed" >/dev/null 2>&1 &
daemons+=($!)
for _ in $(seq 300); do munge -n -S "$cluster/munge/socket" >/dev/null 2>&1 && break; sleep 0.1; done
munge -n -S "$cluster/munge/socket" >/dev/null 2>&1 || cluster_failed "munged"
SLURM_CONF="$conf" slurmctld -D -i >"$cluster/log/slurmctld.out" 2>&1 &
daemons+=($!)
SLURM_CONF="$conf" slurmd -D -N tarn1 >"$cluster/log/slurmd.out" 2>&1 &
daemons+=($!)
for _ in $(seq 600); do [ "$(slurm sinfo -h -n tarn1 -o %t 2>/dev/null)" = idle ] && break; sleep 0.1; done
[ "$(slurm sinfo -h -n tarn1 -o %t 2>/dev/null)" = idle ] || cluster_failed "the node is not idle: $(slurm sinfo -h -o '%t %E' 2>&1)"
e2e_pass "a cluster of one node on ports $ctld_port and $slurmd_port"

# --- Helpers ------------------------------------------------------------------------
# wait_jobs <id>...: until none is pending or running (10 minutes at most).
wait_jobs() {
  local ids
  ids=$(IFS=,; echo "$*")
  for _ in $(seq 6000); do [ -z "$(slurm squeue -h -j "$ids" 2>/dev/null)" ] && return 0; sleep 0.1; done
  e2e_fail "jobs $ids still in the queue after 10 minutes: $(slurm squeue -h -j "$ids")"
  return 1
}
# wait_file <file>: until it exists (2 minutes at most).
wait_file() {
  for _ in $(seq 1200); do [ -e "$1" ] && return 0; sleep 0.1; done
  return 1
}
# submit <log> <sweep options>: sets array and summary to the two job ids.
submit() {
  local log=$1
  shift
  TARN_SIM="$SIM" slurm bash "$SWEEP" "$@" --slurm --submit >"$log" 2>&1 || { e2e_fail "tools/sweep.sh $*: $(tail -2 "$log")"; return 1; }
  read -r array summary < <(sed -n 's/.*the job array \([0-9]*\) .* the summary \([0-9]*\) after it.*/\1 \2/p' "$log")
  [ -n "$summary" ] || { e2e_fail "no job ids in: $(cat "$log")"; return 1; }
}
# same_run <reference folder> <run folder> <what>: the files that do not hold
# wall times or command lines are the same.
same_run() {
  local f differ=''
  for f in world.sav stats.csv phylogeny.csv genes.csv lineages.csv params.toml; do
    cmp -s "$1/$f" "$2/$f" || differ="$differ $f"
  done
  [ -z "$differ" ] && [ -f "$2/run.json" ] && [ ! -e "$2/resume" ] && e2e_pass "$3: the files of the run made directly" ||
    e2e_fail "$3: differs from the run made directly in:${differ:- (not finished)}"
}
state() { slurm scontrol show job "$1" 2>/dev/null | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p' | sort -u | xargs; }

work="$E2E_TMP/sweeps"
mkdir -p "$work" && cd "$work" || exit 1

# --- A grid of treatments --------------------------------------------------------------
grid=(--seeds 1-2 --frames 300 --every 50 --vary regulation.cull_at=400,800)
if submit grid.log "${grid[@]}" --out grid; then
  e2e_expect_eq "an array of a task per line of runs.txt" "4 #SBATCH --array=1-4" \
    "$(wc -l <grid/runs.txt) $(grep -e --array grid/sweep.sbatch)"
  for t in cull_at=400 cull_at=800; do
    for s in 1 2; do "$SIM" --quiet --params "grid/$t/params.toml" --seed "$s" --frames 300 --every 50 --out "direct/$t/seed-$s"; done
  done
  wait_jobs "$array" "$summary"
  for t in cull_at=400 cull_at=800; do
    for s in 1 2; do same_run "direct/$t/seed-$s" "grid/$t/seed-$s" "the array's $t/seed-$s"; done
  done
  e2e_expect_eq "the array's tasks completed" COMPLETED "$(state "$array")"
  [ -s grid/summary.csv ] && [ -s grid/summary.html ] && e2e_pass "the summary job wrote summary.csv and summary.html" ||
    e2e_fail "no summary: $(cat grid/logs/summary.out 2>&1)"
fi

# --- A task stopped before its time limit ---------------------------------------------------
# One run long enough (a few seconds) for the signal to reach it after its
# first checkpoint, which is written at frame 0.
long=(--seeds 7 --frames 80000)
"$SIM" --quiet --seed 7 --frames 80000 --out direct/long &
direct_pid=$!
# stop_task <sweep folder>: USR1 to the task's shell once the run has a checkpoint.
stop_task() {
  if wait_file "$1/seed-7/resume"; then
    slurm scancel --batch --signal=USR1 "${array}_1"
  else
    e2e_fail "$1/seed-7 has no checkpoint after 2 minutes: $(cat "$1"/logs/run-1.out 2>&1)"
  fi
}

if submit again.log "${long[@]}" --out again; then
  stop_task again
  wait_jobs "$array" "$summary"
  if [ -e again/seed-7/resume ] && grep -q "stopped before the time limit at a checkpoint: submit the array again" again/logs/run-1.out; then
    e2e_pass "the stopped task left a checkpoint and says how to go on"
  else
    e2e_fail "the task was not stopped at a checkpoint (did the run end before the signal?): $(cat again/logs/run-1.out)"
  fi
  if submit again2.log "${long[@]}" --out again; then
    grep -q "0 to run, 1 to resume, 0 finished" again2.log && e2e_pass "the same command again resumes it" ||
      e2e_fail "the second submission: $(head -1 again2.log)"
    wait_jobs "$array" "$summary"
  fi
fi

if submit requeue.log "${long[@]}" --out requeued --requeue; then
  stop_task requeued
  # Slurm holds a requeued job back for two minutes; the test lets it start
  # at once.
  for _ in $(seq 1200); do
    [ "$(state "${array}_1")" = PENDING ] && slurm scontrol show job "${array}_1" | grep -q 'Restarts=1' && break
    sleep 0.1
  done
  slurm scontrol update JobId="${array}_1" StartTime=now 2>/dev/null
  wait_jobs "$array" "$summary"
  grep -q "stopped before the time limit at a checkpoint; requeued to go on" requeued/logs/run-1.out &&
    e2e_pass "--requeue: the stopped task requeued itself" || e2e_fail "--requeue: $(cat requeued/logs/run-1.out)"
  e2e_expect_eq "--requeue: it ran twice" 1 "$(slurm scontrol show job "${array}_1" | sed -n 's/.*Restarts=\([0-9]*\).*/\1/p')"
fi
wait "$direct_pid"
same_run direct/long again/seed-7 "stopped, then the sweep submitted again"
same_run direct/long requeued/seed-7 "stopped, then requeued"

cluster_stop
left=$(cluster_processes)
e2e_expect_eq "nothing of the cluster is left running" "" "$left"
e2e_finish

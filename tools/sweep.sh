#!/bin/bash
# A sweep: a run of tarn-sim for every treatment and every seed, side by side
# with GNU parallel (on this machine or over ssh) or as a Slurm job array,
# then the summary of them all.
#
#   tools/sweep.sh --seeds LIST --frames N --out DIR [--every K]
#       [--vary NAME=V1,V2,...]... [--treatment NAME=FILE]... [--set NAME=VALUE]...
#       [--jobs J] [--sshloginfile FILE]
#       [--slurm [--submit] [--requeue] [--time T] [--partition P] [--account A]
#                [--mem M] [--max-running M] [--grace SECONDS] [--sbatch OPTION]...]
#       [-- more tarn-sim options]
#   tools/sweep.sh --summary DIR
#
# Treatments: each --treatment NAME=FILE (a parameter file) crossed with every
# combination of the --vary values; --set fixes a value for all of them.
# Treatment names: NAME, then each varied parameter as SHORT=VALUE, joined by
# "_" (SHORT is the name without its first part: cull_at, kin.max), e.g.
# cull_at=400_kin_tolerance=10. Each run is DIR/<treatment>/seed-S, given
# --params DIR/<treatment>/params.toml; DIR/treatments.csv lists the
# treatments. Without --vary and --treatment the runs are DIR/seed-S.
# Every treatment is checked (tarn-sim --print-params) and one run is tried
# for one frame before any run starts. DIR/sweep.json records what was asked:
# the same command again runs what is missing, resumes what was stopped and
# skips what finished; different arguments are refused. Runs are given
# --checkpoint 10000 unless the options after -- say otherwise.
# Seeds: numbers and ranges, e.g. 1-32, 1,5,9 or 1-4,10-12. --jobs runs J at
# once (default: one per core); --sshloginfile spreads them over the machines
# listed there (the project and DIR at the same paths on each). --slurm
# writes DIR/sweep.sbatch (a job array, a task per run) and
# DIR/summary.sbatch and prints how to submit them (--submit does it).
# At the end: /usr/bin/python3 analysis/summarize_sweep.py DIR. The README
# ("Sweeps") says what every option does.
#
# tarn-sim is $TARN_SIM when set, else build/tarn-sim, built when missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
plan="$root/tools/sweep_plan.py"
default_checkpoint=10000

usage() {
  echo "usage: $0 --seeds LIST --frames N --out DIR [--every K] [--vary NAME=V1,V2,...] [--treatment NAME=FILE]" >&2
  echo "         [--set NAME=VALUE] [--jobs J] [--sshloginfile FILE] [--slurm [--submit] [--requeue] ...] [-- tarn-sim options]" >&2
  echo "       $0 --summary DIR" >&2
  exit 2
}
fail() {
  echo "sweep: $*" >&2
  exit 2
}
whole() { [[ $1 =~ ^[0-9]+$ ]] && [ "${#1}" -le 18 ]; }
count() { if [ "$1" -eq 1 ]; then echo "1 $2"; else echo "$1 ${2}s"; fi; }

# --- The summary ---------------------------------------------------------------
summarize() {
  local script="$root/analysis/summarize_sweep.py"
  if [ ! -f "$script" ]; then
    echo "sweep: no summary of $1: $script is missing (it comes with the project's analysis/ folder)" >&2
    return 2
  fi
  /usr/bin/python3 "$script" "$1"
}

# --- One run, as a job of GNU parallel or a task of the Slurm array -------------
# --task DIR N SIM MODE: the run on line N of DIR/runs.txt (its folder, then
# its tarn-sim options); MODE is parallel, slurm or slurm-requeue. A finished
# run is left alone, a stopped one resumed, a new one started; a folder that
# is neither is refused.
run_task() {
  local dir=$1 n=$2 sim=$3 mode=$4 line folder status=0 pid stop_asked= trapped=
  local -a words cmd
  cd "$dir" || exit 2
  line=$(sed -n "${n}p" runs.txt)
  [ -n "$line" ] || fail "$dir/runs.txt has no line $n"
  eval "words=($line)"
  folder=${words[0]}
  if [ -f "$folder/run.json" ] && [ ! -e "$folder/resume" ]; then
    echo "sweep: $dir/$folder has finished"
    exit 0
  elif [ -e "$folder/resume" ]; then
    cmd=("$sim" --quiet --resume "$folder")
  elif [ ! -e "$folder" ] || [ -z "$(ls -A "$folder")" ]; then
    cmd=("$sim" --quiet "${words[@]:1}" --out "$folder")
  else
    fail "$dir/$folder holds a run that has neither finished nor a checkpoint to go on from: remove that folder, then the sweep runs it again"
  fi
  [ "$mode" != parallel ] || exec "${cmd[@]}"
  # Under Slurm the shell stays: USR1, sent --grace seconds before the time
  # limit, stops the run (tarn-sim writes a checkpoint at the next frame);
  # the TERM that Slurm sends every process of the task at the limit or on
  # scancel reaches tarn-sim itself, so this shell only outlives it.
  # A second TERM would end tarn-sim at once, so USR1 sends one only.
  trap 'trapped=1; [ -n "$stop_asked" ] || { stop_asked=1; kill -TERM "$pid" 2>/dev/null; }' USR1
  trap 'trapped=1' TERM
  "${cmd[@]}" &
  pid=$!
  [ -z "$stop_asked" ] || kill -TERM "$pid"
  while :; do
    trapped=
    wait "$pid" && status=0 || status=$?
    [ -n "$trapped" ] || break
  done
  if [ -n "$stop_asked" ] && [ -e "$folder/resume" ]; then
    if [ "$mode" = slurm-requeue ]; then
      echo "sweep: $dir/$folder stopped before the time limit at a checkpoint; requeued to go on"
      scontrol requeue "$SLURM_JOB_ID" || echo "sweep: the requeue failed: submit the array again to go on" >&2
    else
      echo "sweep: $dir/$folder stopped before the time limit at a checkpoint: submit the array again to go on (the same tools/sweep.sh command)"
    fi
  fi
  exit "$status"
}

# --- Options ---------------------------------------------------------------------
seeds= frames= out= every=100 jobs= logins= summary_only=
slurm= submit= requeue= time_limit= partition= account= mem= max_running= grace=120
vary=() treatments=() sets=() sbatch_extra=() extra=()
need() { [ $# -ge 2 ] && [ -n "$2" ] || fail "$1 needs a value"; }
while [ $# -gt 0 ]; do
  case $1 in
    --task) [ $# -eq 5 ] || usage; run_task "${@:2}" ;;
    --seeds) need "$@"; seeds=$2; shift 2 ;;
    --frames) need "$@"; frames=$2; shift 2 ;;
    --out) need "$@"; out=$2; shift 2 ;;
    --every) need "$@"; every=$2; shift 2 ;;
    --vary) need "$@"; vary+=("$2"); shift 2 ;;
    --treatment) need "$@"; treatments+=("$2"); shift 2 ;;
    --set) need "$@"; sets+=("$2"); shift 2 ;;
    --jobs) need "$@"; jobs=$2; shift 2 ;;
    --sshloginfile) need "$@"; logins=$2; shift 2 ;;
    --summary) need "$@"; summary_only=1; out=$2; shift 2 ;;
    --slurm) slurm=1; shift ;;
    --submit) submit=1; shift ;;
    --requeue) requeue=1; shift ;;
    --time) need "$@"; time_limit=$2; shift 2 ;;
    --partition) need "$@"; partition=$2; shift 2 ;;
    --account) need "$@"; account=$2; shift 2 ;;
    --mem) need "$@"; mem=$2; shift 2 ;;
    --max-running) need "$@"; max_running=$2; shift 2 ;;
    --grace) need "$@"; grace=$2; shift 2 ;;
    --sbatch) need "$@"; sbatch_extra+=("$2"); shift 2 ;;
    --) shift; extra=("$@"); break ;;
    -h | --help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "sweep: unknown option $1" >&2; usage ;;
  esac
done

[ -n "$out" ] || usage
if [ -n "$summary_only" ]; then
  [ -d "$out" ] || fail "$out is not a folder"
  summarize "$out"
  exit
fi
[ -n "$seeds" ] && [ -n "$frames" ] || usage

# --- What was asked, checked before anything is written --------------------------
whole "$frames" || fail "--frames must be a whole number (not '$frames')"
whole "$every" && [ "$every" -ge 1 ] || fail "--every must be a whole number from 1 up (not '$every')"
seed_list=()
for part in ${seeds//,/ }; do
  if [[ $part =~ ^([0-9]{1,10})-([0-9]{1,10})$ ]]; then
    from=$((10#${BASH_REMATCH[1]})) to=$((10#${BASH_REMATCH[2]}))
    [ "$from" -le "$to" ] || fail "--seeds: the range $part runs backwards"
    [ $((to - from)) -lt 1000000 ] || fail "--seeds: the range $part is too long"
    for ((s = from; s <= to; s++)); do seed_list+=("$s"); done
  elif [[ $part =~ ^[0-9]{1,10}$ ]]; then
    seed_list+=("$((10#$part))")
  else
    fail "--seeds must be numbers and ranges like 1-32 or 1,5,9 (not '$part')"
  fi
done
[ ${#seed_list[@]} -gt 0 ] || fail "--seeds names no seed"
for s in "${seed_list[@]}"; do [ "$s" -le 4294967295 ] || fail "--seeds: $s is past 4294967295"; done
[ -z "$(printf '%s\n' "${seed_list[@]}" | sort | uniq -d | head -1)" ] ||
  fail "--seeds names seed $(printf '%s\n' "${seed_list[@]}" | sort | uniq -d | head -1) twice"

if [ -n "$slurm" ]; then
  [ -z "$jobs" ] && [ -z "$logins" ] || fail "--jobs and --sshloginfile are for GNU parallel, not --slurm"
  [ -z "$time_limit" ] || [[ $time_limit =~ ^([0-9]+-)?[0-9]+(:[0-9]+){0,2}$ ]] ||
    fail "--time must be a Slurm time such as 90, 4:00:00 or 2-00:00:00 (not '$time_limit')"
  whole "$grace" && [ "$grace" -ge 1 ] && [ "$grace" -le 65535 ] || fail "--grace must be a number of seconds from 1 to 65535"
  [ -z "$max_running" ] || { whole "$max_running" && [ "$max_running" -ge 1 ]; } || fail "--max-running must be a whole number from 1 up"
else
  for option in submit:--submit requeue:--requeue time_limit:--time partition:--partition account:--account \
    mem:--mem max_running:--max-running; do
    variable=${option%%:*}
    [ -z "${!variable}" ] || fail "${option#*:} goes with --slurm"
  done
  [ ${#sbatch_extra[@]} -eq 0 ] || fail "--sbatch goes with --slurm"
  [ -z "$jobs" ] || [[ $jobs =~ ^[0-9]+%?$ ]] || fail "--jobs must be a number of runs at once, or a percentage of the cores (not '$jobs')"
  [ -z "$logins" ] || [ -r "$logins" ] || fail "cannot read the --sshloginfile $logins"
fi

# The options after --: the same for every run, so none may name a run's own
# files, and the sweep sets the seed, frames, stats interval and folder.
checkpoint=$default_checkpoint
run_extra=() given_extra=()
for ((i = 0; i < ${#extra[@]}; i++)); do
  option=${extra[i]} name=${extra[i]%%=*}
  case $name in
    --seed | --frames | --every | --out) fail "$name is the sweep's own: give it before --, not after" ;;
    --params | --set | --print-params) fail "$name after -- : give parameters with --set, --vary or --treatment" ;;
    --resume) fail "--resume after -- : the sweep resumes its stopped runs itself (the same command again)" ;;
    --save | --stats | --phylogeny | --genes | --record | --report | --snapshot | --frames-dir | --video | --plot | --genes-plot)
      fail "$name after -- would give every run the same file: each run's folder holds its outputs" ;;
    -h | --help) fail "$name cannot go after --" ;;
    --checkpoint)
      value=${option#--checkpoint}
      [ -n "$value" ] || { value=${extra[i + 1]:-}; i=$((i + 1)); }
      value=${value#=}
      whole "$value" && [ "$value" -ge 1 ] || fail "--checkpoint after -- must be a whole number from 1 up"
      checkpoint=$value
      given_extra+=(--checkpoint "$value")
      continue ;;
    --load)
      value=${option#--load}
      [ -n "$value" ] || { value=${extra[i + 1]:-}; i=$((i + 1)); }
      value=${value#=}
      [ -r "$value" ] && [ -f "$value" ] || fail "cannot read the --load file '$value'"
      run_extra+=(--load "$(cd "$(dirname "$value")" && pwd)/$(basename "$value")")
      given_extra+=("${run_extra[@]: -2}")
      continue ;;
  esac
  run_extra+=("$option") given_extra+=("$option")
done
run_extra=(--checkpoint "$checkpoint" "${run_extra[@]}")

# Parameters: NAME=VALUE with a dotted name and a number-like value.
parameter_name() { [[ $1 =~ ^[a-z][a-z0-9_]*(\.[a-z0-9_]+)+$ ]]; }
parameter_value() { [[ $1 =~ ^[A-Za-z0-9.+-]+$ ]]; }
declare -A fixed=() varied=()
for assignment in "${sets[@]}"; do
  name=${assignment%%=*} value=${assignment#*=}
  [[ $assignment == *=* ]] && parameter_name "$name" && parameter_value "$value" ||
    fail "--set must be NAME=VALUE, such as regulation.cull_at=400 (not '$assignment')"
  [ -z "${fixed[$name]:-}" ] || fail "--set gives $name twice"
  fixed[$name]=$value
done
for assignment in "${vary[@]}"; do
  name=${assignment%%=*} values=${assignment#*=}
  [[ $assignment == *=?* ]] && parameter_name "$name" ||
    fail "--vary must be NAME=V1,V2,..., such as contests.kin_tolerance=10,20,40 (not '$assignment')"
  [ -z "${varied[$name]:-}" ] || fail "--vary gives $name twice"
  [ -z "${fixed[$name]:-}" ] || fail "$name is both --set and --vary"
  for value in ${values//,/ }; do parameter_value "$value" || fail "--vary $name: '$value' is not a value"; done
  [ -z "$(tr , '\n' <<<"$values" | sort | uniq -d)" ] || fail "--vary $name names a value twice"
  varied[$name]=$values
done

# The treatments: each --treatment file (or the defaults) with each
# combination of the varied values, the first --vary changing slowest.
combos=('')
short_names=1
declare -A seen_short=()
for assignment in "${vary[@]}"; do
  short=${assignment%%=*}
  short=${short#*.}
  [ -z "${seen_short[$short]:-}" ] || short_names=
  seen_short[$short]=1
done
for assignment in "${vary[@]}"; do
  name=${assignment%%=*} next=()
  for combo in "${combos[@]}"; do
    for value in ${varied[$name]//,/ }; do next+=("$combo${combo:+ }$name=$value"); done
  done
  combos=("${next[@]}")
done
bases=()
for assignment in "${treatments[@]}"; do
  name=${assignment%%=*} file=${assignment#*=}
  [[ $assignment == ?*=?* ]] || fail "--treatment must be NAME=FILE (not '$assignment')"
  [[ $name =~ ^[A-Za-z0-9._-]+$ ]] && [ "$name" != . ] && [ "$name" != .. ] ||
    fail "--treatment $name: a name is made of letters, digits, '.', '_' and '-'"
  [ -f "$file" ] && [ -r "$file" ] || fail "--treatment $name: cannot read $file"
  bases+=("$name=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")")
done
layout=treatments
if [ ${#vary[@]} -eq 0 ] && [ ${#treatments[@]} -eq 0 ]; then
  layout=seeds
  bases=('=')
fi
[ ${#bases[@]} -gt 0 ] || bases=('=')
t_names=() t_files=() t_values=()
declare -A taken=()
for base in "${bases[@]}"; do
  for combo in "${combos[@]}"; do
    label=${base%%=*}
    for assignment in $combo; do
      name=${assignment%%=*}
      [ -z "$short_names" ] || name=${name#*.}
      label="$label${label:+_}$name=${assignment#*=}"
    done
    case $label in
      seed-* | logs | *.csv | *.json | *.html | *.png | *.sbatch | *.txt)
        fail "a treatment cannot be named $label: the sweep's own files and folders use such names" ;;
    esac
    if [ -n "$label" ]; then
      [ -z "${taken[$label]:-}" ] || fail "two treatments are named $label"
      taken[$label]=1
    fi
    t_names+=("$label") t_files+=("${base#*=}") t_values+=("$combo")
  done
done

# --- tarn-sim, and every treatment checked by it ---------------------------------
sim=${TARN_SIM:-$root/build/tarn-sim}
if [ ! -x "$sim" ]; then
  echo "sweep: building $sim"
  cmake -S "$root" -B "$root/build" >/dev/null
  cmake --build "$root/build" -j "$(nproc)" --target tarn-sim >/dev/null
fi
sim=$(cd "$(dirname "$sim")" && pwd)/$(basename "$sim")
if [ -z "$slurm" ]; then
  command -v parallel >/dev/null || fail "GNU parallel is missing (tools/deps.sh installs it)"
elif [ -n "$submit" ]; then
  command -v sbatch >/dev/null || fail "--submit: sbatch is missing (run it on a machine of the cluster)"
fi
[ -x /usr/bin/python3 ] || fail "/usr/bin/python3 is missing (tools/deps.sh installs it)"

work=$(mktemp -d "${TMPDIR:-/tmp}/tarn-sweep.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The parameter options of treatment $1: its file, its varied values, then
# the --set values (sorted, so that their order on the command line counts
# for nothing).
fixed_sorted=()
[ ${#sets[@]} -eq 0 ] || mapfile -t fixed_sorted < <(printf '%s\n' "${sets[@]}" | sort)
params_args() {
  local i=$1 assignment
  [ -z "${t_files[i]}" ] || printf '%s\0' --params "${t_files[i]}"
  for assignment in ${t_values[i]} "${fixed_sorted[@]}"; do printf '%s\0' --set "$assignment"; done
}
if [ "$layout" = treatments ] || [ ${#sets[@]} -gt 0 ]; then
  "$sim" --help 2>/dev/null | grep -q -e '--print-params' ||
    fail "$sim has no --params, --set and --print-params: --vary, --treatment and --set need a newer tarn-sim"
  for i in "${!t_names[@]}"; do
    mapfile -d '' args < <(params_args "$i")
    if ! "$sim" "${args[@]}" --print-params >"$work/$i.toml" 2>"$work/error"; then
      what=${t_names[i]:+treatment ${t_names[i]}: }
      fail "${what}$(head -1 "$work/error")"
    fi
  done
  declare -A digests=()
  for i in "${!t_names[@]}"; do
    digest=$(md5sum <"$work/$i.toml")
    [ -z "${digests[$digest]:-}" ] ||
      fail "treatments ${t_names[${digests[$digest]}]} and ${t_names[i]} have the same parameters: every treatment must differ"
    digests[$digest]=$i
  done
fi

# The runs: a line each, its folder and its tarn-sim options, treatment by
# treatment. The folders and the parameter files are relative to DIR.
for i in "${!t_names[@]}"; do
  if [ "$layout" = seeds ]; then
    mapfile -d '' args < <(params_args "$i")
  else
    args=(--params "${t_names[i]}/params.toml")
  fi
  for s in "${seed_list[@]}"; do
    folder=${t_names[i]}${t_names[i]:+/}seed-$s
    printf '%s' "$folder"
    printf ' %q' --seed "$s" --frames "$frames" --every "$every" "${args[@]}" "${run_extra[@]}"
    echo
  done
done >"$work/runs.txt"
runs=$((${#seed_list[@]} * ${#t_names[@]}))

# The first run tried for one frame in a scratch folder, so that a bad option, a
# --load file that cannot be read or a missing gnuplot stops the sweep now
# rather than every run.
if [ "$layout" = seeds ]; then
  mapfile -d '' args < <(params_args 0)
else
  args=(--params "$work/0.toml")
fi
trial=(--quiet --seed "${seed_list[0]}" --frames 1 --every "$every" "${args[@]}" "${run_extra[@]}" --out "$work/trial")
if ! "$sim" "${trial[@]}" >"$work/error" 2>&1; then
  fail "a run of this sweep is refused, so none was started: $(grep -v '^$' "$work/error" | head -3)"
fi

# --- The sweep's folder -----------------------------------------------------------
if [ -e "$out" ] && [ ! -d "$out" ]; then fail "$out is not a folder"; fi
if [ -d "$out" ] && [ ! -e "$out/sweep.json" ] && [ -n "$(ls -A "$out")" ]; then
  fail "$out holds files but no sweep.json: it was not made by this script; give the sweep a new folder"
fi
if [ -n "$slurm" ] && [[ $out =~ [[:space:]%] ]]; then
  fail "--slurm needs a folder whose path has no spaces or '%' (Slurm reads them in #SBATCH lines)"
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
record_args=(--seeds "${seed_list[@]}" --frames "$frames" --every "$every" --checkpoint "$checkpoint")
for assignment in "${fixed_sorted[@]}"; do record_args+=(--set "$assignment"); done
if [ "$layout" = treatments ]; then
  for i in "${!t_names[@]}"; do record_args+=(--treatment "${t_names[i]}" "${t_files[i]}" "${t_values[i]}"); done
fi
# One sweep at a time in a folder: a lock on the folder while this one runs.
exec 9<"$out"
flock -n 9 || fail "another sweep is running in $out"
# A new sweep's record is written; the record of one made before must be
# this one's, and each treatment's parameters as they were (a --treatment
# file may have changed since).
again=
[ ! -e "$out/sweep.json" ] || again=1
/usr/bin/python3 "$plan" record "$out/sweep.json" "${record_args[@]}" -- "${given_extra[@]}" || exit 2
if [ -n "$again" ]; then
  if [ "$layout" = treatments ]; then
    for i in "${!t_names[@]}"; do
      [ -f "$out/${t_names[i]}/params.toml" ] || continue
      difference=$(/usr/bin/python3 "$plan" differ "$out/${t_names[i]}/params.toml" "$work/$i.toml") || exit 2
      [ -z "$difference" ] || fail "treatment ${t_names[i]}: $difference (a --treatment file changed?): give the sweep a new folder"
    done
  fi
  if [ -f "$out/runs.txt" ] && ! cmp -s "$out/runs.txt" "$work/runs.txt"; then
    fail "$out/runs.txt lists other runs than this sweep's: remove it if the sweep's record is right"
  fi
fi
if [ "$layout" = treatments ]; then
  for i in "${!t_names[@]}"; do
    mkdir -p "$out/${t_names[i]}"
    [ -f "$out/${t_names[i]}/params.toml" ] ||
      { cp "$work/$i.toml" "$out/${t_names[i]}/params.toml.tmp" && mv "$out/${t_names[i]}/params.toml.tmp" "$out/${t_names[i]}/params.toml"; }
  done
  /usr/bin/python3 "$plan" table "$out" "${t_names[@]}" || exit 2
fi
[ -f "$out/runs.txt" ] || { cp "$work/runs.txt" "$out/runs.txt.tmp" && mv "$out/runs.txt.tmp" "$out/runs.txt"; }

# Where each run stands: finished (run.json, no resume), stopped (resume),
# new (no folder, or an empty one), or a folder the sweep cannot go on with.
todo=() finished=0 stopped=0 blocked=()
n=0
while read -r folder _; do
  n=$((n + 1))
  if [ -f "$out/$folder/run.json" ] && [ ! -e "$out/$folder/resume" ]; then
    finished=$((finished + 1))
  elif [ -e "$out/$folder/resume" ]; then
    stopped=$((stopped + 1)) todo+=("$n")
  elif [ ! -e "$out/$folder" ] || [ -z "$(ls -A "$out/$folder")" ]; then
    todo+=("$n")
  else
    blocked+=("$out/$folder")
  fi
done <"$out/runs.txt"
shape="$(count ${#t_names[@]} treatment) x $(count ${#seed_list[@]} seed)"
[ "$layout" = treatments ] || shape=$(count ${#seed_list[@]} seed)
echo "sweep: $(count "$runs" run) ($shape) in $out: $((${#todo[@]} - stopped)) to run, $stopped to resume, $finished finished"
if [ ${#blocked[@]} -gt 0 ]; then
  printf 'sweep: %s holds a run that has neither finished nor a checkpoint to go on from\n' "${blocked[@]}" >&2
  fail "nothing was started: remove those ${#blocked[@]} folder(s) (rm -r), then the same command runs them again"
fi

# --- A Slurm job array --------------------------------------------------------------
if [ -n "$slurm" ]; then
  mkdir -p "$out/logs"
  directives=()
  [ -z "$time_limit" ] || directives+=("--time=$time_limit")
  [ -z "$partition" ] || directives+=("--partition=$partition")
  [ -z "$account" ] || directives+=("--account=$account")
  [ -z "$mem" ] || directives+=("--mem=$mem")
  directives+=("${sbatch_extra[@]}")
  {
    echo '#!/bin/bash'
    echo "# The runs of the sweep in $out, a task per line of runs.txt. Each task"
    echo "# runs its run, resumes it from its checkpoint, or leaves it when it has"
    echo "# finished, so this array submitted again finishes what is left. USR1, sent"
    echo "# $grace seconds before the time limit, stops a run at a checkpoint$([ -z "$requeue" ] || echo '; the task then requeues itself')."
    echo "# Written by tools/sweep.sh."
    echo "#SBATCH --job-name=tarn-sweep"
    echo "#SBATCH --array=1-$runs${max_running:+%$max_running}"
    echo "#SBATCH --ntasks=1"
    echo "#SBATCH --cpus-per-task=1"
    echo "#SBATCH --output=$out/logs/run-%a.out"
    echo "#SBATCH --open-mode=append"
    echo "#SBATCH --signal=B:USR1@$grace"
    [ -z "$requeue" ] || echo "#SBATCH --requeue"
    for d in "${directives[@]}"; do echo "#SBATCH $d"; done
    printf 'exec bash %q --task %q "$SLURM_ARRAY_TASK_ID" %q %s\n' "$root/tools/sweep.sh" "$out" "$sim" "slurm${requeue:+-requeue}"
  } >"$out/sweep.sbatch.tmp"
  {
    echo '#!/bin/bash'
    echo "# The summary of the sweep in $out, once its job array has ended. Written by tools/sweep.sh."
    echo "#SBATCH --job-name=tarn-sweep-summary"
    echo "#SBATCH --ntasks=1"
    echo "#SBATCH --output=$out/logs/summary.out"
    echo "#SBATCH --open-mode=append"
    for d in "${directives[@]}"; do echo "#SBATCH $d"; done
    printf 'exec'
    printf ' %q' bash "$root/tools/sweep.sh" --summary "$out"
    echo
  } >"$out/summary.sbatch.tmp"
  mv "$out/sweep.sbatch.tmp" "$out/sweep.sbatch"
  mv "$out/summary.sbatch.tmp" "$out/summary.sbatch"
  if [ -z "$submit" ]; then
    echo "sweep: the job array is $out/sweep.sbatch, the summary $out/summary.sbatch; submit them with"
    echo "  job=\$(sbatch --parsable $out/sweep.sbatch)"
    echo "  sbatch --dependency=afterany:\${job%%;*} $out/summary.sbatch"
    exit 0
  fi
  job=$(sbatch --parsable "$out/sweep.sbatch") || fail "sbatch refused $out/sweep.sbatch"
  job=${job%%;*}
  summary_job=$(sbatch --parsable --dependency="afterany:$job" "$out/summary.sbatch") ||
    fail "sbatch refused $out/summary.sbatch (the array $job is submitted)"
  echo "sweep: submitted the job array $job ($(count "$runs" task)) and the summary ${summary_job%%;*} after it; logs in $out/logs"
  exit 0
fi

# --- GNU parallel ---------------------------------------------------------------------
status=0
if [ ${#todo[@]} -gt 0 ]; then
  printf '%s\n' "${todo[@]}" >"$work/todo"
  options=(--will-cite --halt never --termseq TERM,3600000,KILL,25)
  [ -z "$jobs" ] || options+=(--jobs "$jobs")
  [ -z "$logins" ] || options+=(--sshloginfile "$logins")
  # Ctrl-C or a TERM stops every run at its next frame with a checkpoint:
  # parallel, in a session of its own, hears it once and passes it on.
  interrupted= trapped=
  stop() {
    trapped=1
    [ -z "$interrupted" ] || return 0
    interrupted=$1
    kill -INT "$runner" 2>/dev/null || true
  }
  trap 'stop INT' INT
  trap 'stop TERM' TERM
  trap 'stop HUP' HUP
  setsid parallel "${options[@]}" -q bash "$root/tools/sweep.sh" --task "$out" {} "$sim" parallel :::: "$work/todo" &
  runner=$!
  while :; do
    trapped=
    wait "$runner" && status=0 || status=$?
    [ -n "$trapped" ] || break
  done
  trap - INT TERM HUP
fi

# --- The end: what became of the runs, and the summary ----------------------------------
finished=0 left=()
while read -r folder _; do
  if [ -f "$out/$folder/run.json" ] && [ ! -e "$out/$folder/resume" ]; then
    finished=$((finished + 1))
  else
    left+=("$out/$folder")
  fi
done <"$out/runs.txt"
echo "sweep: $finished of $runs runs have finished"
if [ ${#left[@]} -gt 0 ]; then
  printf 'sweep: not finished: %s\n' "${left[@]:0:10}" >&2
  [ ${#left[@]} -le 10 ] || echo "sweep: and $((${#left[@]} - 10)) more" >&2
  echo "sweep: the same command again goes on with them" >&2
fi
if [ -n "${interrupted:-}" ]; then
  echo "sweep: stopped by SIG$interrupted; the same command again goes on" >&2
  exit 1
fi
summarize "$out" || status=1
[ "$status" -eq 0 ] && [ ${#left[@]} -eq 0 ] || exit 1

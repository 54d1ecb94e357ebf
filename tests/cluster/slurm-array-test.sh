#!/usr/bin/env bash
# A batch spread over a Slurm job array, for real: starts a one-node Slurm on
# this machine (one-node-slurm.sh: its own configuration, munge, state and
# logs in a temporary folder), makes a sequence of 12 small noisy frames, and
# submits a 3-task array whose every task runs the same command,
#
#   calvane -q --shard auto --skip-existing in_%02d.png out/out_%02d.png
#
# Then it checks that each task wrote its own share of the frames (the K-th
# of 3 contiguous shares of 4, K counted from the array's first task), that
# together they wrote every frame exactly once, that each output is the
# denoised image of its own input, and that the same array submitted again
# writes nothing: every output keeps its inode and modification time, and
# each task says it skipped its share.
#
#   tests/cluster/slurm-array-test.sh [CALVANE]
#
# CALVANE is the program (default $CALVANE, else build/bin/calvane).
# stand-in-calvane.sh can be given instead, to check the harness itself.
# Exits 0 when every check passes, 1 when one fails, 77 (skipped) only when
# Slurm or munge is not installed (./setup.sh --packages-only cluster).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=tests/cluster/one-node-slurm.sh
. "$here/one-node-slurm.sh"
name=slurm-array-test

if ! slurm_installed; then
  echo "$name: SKIPPED: Slurm or munge is not installed (./setup.sh --packages-only cluster installs them)"
  exit 77
fi
calvane=${1:-${CALVANE:-$root/build/bin/calvane}}
if [ ! -x "$calvane" ]; then
  echo "$name: no program at $calvane (build it, or give its path)" >&2
  exit 1
fi
calvane=$(realpath "$calvane")
command -v python3 > /dev/null || { echo "$name: python3 is needed to make the frames" >&2; exit 1; }

# A job this test runs inside of must not leak its array into ours.
mapfile -t inherited < <(compgen -v SLURM_ || true)
[ ${#inherited[@]} -eq 0 ] || unset "${inherited[@]}"

frames=12
first_task=1 tasks=3
work=$(mktemp -d "${TMPDIR:-/tmp}/calvane-slurm-XXXXXX")
sbatch_pid=
cleanup() {
  [ -z "$sbatch_pid" ] || kill "$sbatch_pid" 2> /dev/null || true
  slurm_stop
  rm -rf "$work"
}
trap cleanup EXIT
# Stopped or interrupted, it still stops its daemons (the EXIT trap).
trap 'exit 143' TERM
trap 'exit 130' INT
chmod 711 "$work"
mkdir "$work/slurm" "$work/logs"
python3 "$here/frames.py" make "$work/data" "$frames"
mkdir "$work/data/out"

# One task of the array. With -q the program says nothing of what it wrote,
# so the task lists the outputs that are new or replaced (by name, inode and
# modification time) after its run. That tells the tasks apart only when they
# do not run at the same time, hence one task at a time (%1 below).
cat > "$work/job.sh" << 'EOF'
#!/bin/bash
cd data || exit 1
list() { find out -type f -printf '%f %i %T@\n' | sort; }
echo "task $SLURM_ARRAY_TASK_ID of $SLURM_ARRAY_TASK_COUNT (first $SLURM_ARRAY_TASK_MIN)"
before=$(list)
status=0
"$CALVANE" $QUIET --shard auto --skip-existing in_%02d.png out/out_%02d.png || status=$?
comm -13 <(echo "$before") <(list) | sed 's/ .*//;s/^/wrote /'
echo "exit $status"
exit $status
EOF
chmod +x "$work/job.sh"

# submit RUN QUIET: submits the array, waits for it and sets $status to
# sbatch's (non-zero when any task failed); task T logs to logs/RUN-T.log.
# sbatch runs in the background so that a signal to this script is acted on
# at once, not when sbatch returns.
submit() {
  status=0
  timeout 100 sbatch --wait --quiet --array="$first_task-$((first_task + tasks - 1))%1" \
    --job-name="calvane-$1" --chdir="$work" --output="$work/logs/$1-%a.log" \
    --ntasks=1 --cpus-per-task=1 --time=5 \
    --export="ALL,CALVANE=$calvane,QUIET=$2" "$work/job.sh" &
  sbatch_pid=$!
  wait "$sbatch_pid" || status=$?
  sbatch_pid=
}
# frames_of RUN TASK WORD: the frame numbers that task's log lists after
# WORD ("wrote") or in the program's "OUT exists, skipped" lines ("skipped").
frames_of() {
  local log=$work/logs/$1-$2.log
  [ -f "$log" ] || return 0
  case $3 in
    wrote) sed -n 's/^wrote out_\([0-9]*\)\.png$/\1/p' "$log" ;;
    skipped) sed -n 's/^calvane: \(.*\/\)\{0,1\}out_\([0-9]*\)\.png exists, skipped$/\2/p' "$log" ;;
  esac | sort | tr '\n' ' '
}
# share_of TASK: the frames the task's share holds, 4 of 12 in order.
share_of() {
  local k=$(($1 - first_task)) i
  for ((i = k * frames / tasks; i < (k + 1) * frames / tasks; i++)); do printf '%02d ' "$i"; done
}
outputs() { (cd "$work/data/out" && find . -type f -printf '%f %i %T@\n' | sort); }

passed=0 failed=0
check() {  # check DESCRIPTION CONDITION...
  local description=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $description" >&2
  fi
}
show_logs() {  # show_logs RUN
  local log
  for log in "$work/logs/$1"-*.log; do
    [ -f "$log" ] || continue
    echo "---- $(basename "$log")" >&2
    cat "$log" >&2
  done
}

slurm_start "$work/slurm"
echo "$name: one-node Slurm up (node $(hostname -s), $(nproc) CPUs); program $calvane"

# ---- the first run: every frame written once, by the task whose share it is
submit first -q
check "the first array succeeds (sbatch --wait exit $status)" [ "$status" -eq 0 ]
all=()
for ((task = first_task; task < first_task + tasks; task++)); do
  wrote=$(frames_of first "$task" wrote)
  echo "$name: task $task wrote ${wrote:-nothing}"
  check "task $task writes its share, frames $(share_of "$task"), not: ${wrote:-nothing}" \
    [ "$wrote" = "$(share_of "$task")" ]
  read -ra numbers <<< "$wrote"
  all+=("${numbers[@]}")
done
mapfile -t twice < <(printf '%s\n' "${all[@]}" | sort | uniq -d)
check "no frame is written by two tasks (twice: ${twice[*]:-none})" [ ${#twice[@]} -eq 0 ]
check "the tasks write all $frames frames between them (${#all[@]} writes)" \
  [ "$(printf '%s\n' "${all[@]}" | sort -u | tr '\n' ' ')" = "$(seq -f '%02g' -s ' ' 0 $((frames - 1))) " ]
check "out/ holds the $frames outputs and nothing else" \
  [ "$(outputs | cut -d' ' -f1 | tr '\n' ' ')" = "$(seq -f 'out_%02g.png' -s ' ' 0 $((frames - 1))) " ]
check "each output is its own input, denoised" \
  python3 "$here/frames.py" check "$work/data" $(seq -f '%02g' 0 $((frames - 1)))
[ "$failed" -eq 0 ] || show_logs first

# ---- the same array again: nothing written, every task says it skipped
before=$(outputs)
submit again ""
after=$(outputs)
check "the second array succeeds (sbatch --wait exit $status)" [ "$status" -eq 0 ]
check "no output is written again (same names, inodes and modification times)" \
  [ "$before" = "$after" ]
for ((task = first_task; task < first_task + tasks; task++)); do
  wrote=$(frames_of again "$task" wrote)
  skipped=$(frames_of again "$task" skipped)
  check "task $task writes nothing the second time, not: $wrote" [ -z "$wrote" ]
  check "task $task says it skipped its share, frames $(share_of "$task"), not: ${skipped:-none}" \
    [ "$skipped" = "$(share_of "$task")" ]
done
[ "$failed" -eq 0 ] || show_logs again

echo "$name: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

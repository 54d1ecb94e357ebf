# shellcheck shell=bash
# A Slurm cluster of one node, this machine, made from Debian's packages
# (slurmctld, slurmd, slurm-client, munge) and kept entirely in a folder of
# its own: its configuration, munge key and socket, state, spool, logs and
# pid files. Nothing under /etc, /run or /var is read or written, and no
# system service is started or stopped, so it can run beside a real Slurm or
# munge on the same machine.
#
# Source this file, then:
#   slurm_installed        0 when every daemon and command needed is installed
#   slurm_start DIR        configures and starts munged, slurmctld and slurmd
#                          in DIR (which must exist and be empty, in folders
#                          everyone may search, as munged requires), exports
#                          SLURM_CONF, and waits until the node is idle;
#                          returns non-zero, with the daemons' logs printed,
#                          when it does not come up in time
#   slurm_stop             cancels the cluster's jobs, then stops every daemon
#                          slurm_start started, by the pid it started it with
#   slurm_logs             prints the daemons' logs (to standard error)
#
# The caller sets `trap slurm_stop EXIT` before slurm_start, so that the
# daemons stop whatever happens. Every daemon runs in the foreground (munged
# -F, slurmctld -D, slurmd -D) as a background job of this shell, so that its
# pid is the one $! gives: nothing is found or stopped by name.
#
# The daemons run as the calling user: SlurmUser and SlurmdUser are that
# user, and the jobs run as that user too. Root (as in CI) is not needed:
# as an ordinary user the same cluster starts and runs jobs.

slurm_dir=
slurm_node=
slurm_pids=()

slurm_installed() {
  local tool
  for tool in munged slurmctld slurmd sbatch sinfo squeue scancel; do
    PATH=$PATH:/usr/sbin command -v "$tool" > /dev/null || return 1
  done
}

# Prints a TCP port on which nothing on this machine listens, from a range
# the system does not hand out to outgoing connections.
slurm_free_port() {
  local port _
  for _ in $(seq 100); do
    port=$((20000 + RANDOM % 12000))
    if ! awk -v port="$(printf '%04X' "$port")" \
      'FNR > 1 && $4 == "0A" && substr($2, length($2) - 3) == port { found = 1 } END { exit !found }' \
      /proc/net/tcp /proc/net/tcp6 2> /dev/null; then
      echo "$port"
      return 0
    fi
  done
  echo "one-node-slurm: no free TCP port found" >&2
  return 1
}

slurm_logs() {
  local log
  for log in "$slurm_dir"/log/*; do
    [ -f "$log" ] || continue
    echo "---- $(basename "$log") (last 40 lines)" >&2
    tail -n 40 "$log" >&2
  done
}

# Starts "$@" in the background, its output to log file $1, and remembers
# its pid.
slurm_daemon() {
  local log=$1
  shift
  "$@" >> "$log" 2>&1 < /dev/null &
  slurm_pids+=("$!")
}

# Waits up to $1 seconds for "${@:2}" to succeed; returns 1 if it never does
# or if any daemon started so far has exited meanwhile.
slurm_wait_for() {
  local seconds=$1 pid deadline
  shift
  deadline=$((SECONDS + seconds))
  while [ "$SECONDS" -lt "$deadline" ]; do
    "$@" && return 0
    for pid in "${slurm_pids[@]}"; do
      if ! kill -0 "$pid" 2> /dev/null; then
        echo "one-node-slurm: a daemon (pid $pid) exited while starting" >&2
        return 1
      fi
    done
    sleep 0.2
  done
  return 1
}

slurm_node_idle() {
  [ "$(sinfo -h -N -n "$slurm_node" -o %T 2> /dev/null)" = idle ]
}

slurm_start() {
  slurm_dir=$(cd "$1" && pwd)
  slurm_node=$(hostname -s)
  PATH=$PATH:/usr/sbin
  local user cpus controller_port node_port
  user=$(id -un)
  cpus=$(nproc)
  controller_port=$(slurm_free_port) || return 1
  node_port=$(slurm_free_port) || return 1
  [ "$node_port" != "$controller_port" ] || node_port=$((controller_port + 1))

  # munged refuses a key or log that others could write or read, and a
  # socket whose folders not everyone can search.
  chmod 711 "$slurm_dir"
  mkdir -m 700 "$slurm_dir"/{state,spool,run,log}
  mkdir -m 711 "$slurm_dir/munge"
  if command -v mungekey > /dev/null; then
    mungekey --create --keyfile="$slurm_dir/munge/munge.key"
  else
    dd if=/dev/urandom of="$slurm_dir/munge/munge.key" bs=1024 count=1 status=none
  fi
  chmod 600 "$slurm_dir/munge/munge.key"
  local socket=$slurm_dir/munge/munge.socket
  slurm_daemon "$slurm_dir/log/munged.out" munged --foreground \
    --socket="$socket" --key-file="$slurm_dir/munge/munge.key" \
    --pid-file="$slurm_dir/run/munged.pid" --log-file="$slurm_dir/log/munged.log" \
    --seed-file="$slurm_dir/munge/munged.seed"
  if ! slurm_wait_for 10 test -S "$socket"; then
    echo "one-node-slurm: munged did not open its socket $socket" >&2
    slurm_logs
    return 1
  fi

  # The plug-in stack (spank) of the machine's own Slurm stays out.
  : > "$slurm_dir/plugstack.conf"
  cat > "$slurm_dir/slurm.conf" << EOF
ClusterName=calvane-test
SlurmctldHost=$slurm_node(127.0.0.1)
SlurmctldPort=$controller_port
SlurmdPort=$node_port
SlurmUser=$user
SlurmdUser=$user
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$slurm_dir/state
SlurmdSpoolDir=$slurm_dir/spool
SlurmctldPidFile=$slurm_dir/run/slurmctld.pid
SlurmdPidFile=$slurm_dir/run/slurmd.pid
SlurmctldLogFile=$slurm_dir/log/slurmctld.log
SlurmdLogFile=$slurm_dir/log/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info
PlugStackConfig=$slurm_dir/plugstack.conf
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
MailProg=/bin/true
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SlurmdParameters=config_overrides
ReturnToService=2
NodeName=$slurm_node NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=batch Nodes=$slurm_node Default=YES MaxTime=INFINITE State=UP
EOF
  export SLURM_CONF=$slurm_dir/slurm.conf

  # -i: start afresh, ignoring any saved state.
  slurm_daemon "$slurm_dir/log/slurmctld.out" slurmctld -D -i -f "$SLURM_CONF"
  slurm_daemon "$slurm_dir/log/slurmd.out" slurmd -D -f "$SLURM_CONF" -N "$slurm_node"
  if ! slurm_wait_for 60 slurm_node_idle; then
    echo "one-node-slurm: node $slurm_node is not idle after 60 s" \
      "(sinfo says: $(sinfo -h -N -o '%N %T %E' 2>&1 | tr '\n' ' '))" >&2
    slurm_logs
    return 1
  fi
}

slurm_stop() {
  local pid deadline i
  [ ${#slurm_pids[@]} -gt 0 ] || return 0
  # Jobs first, while slurmd is there to end their steps.
  if [ -n "${SLURM_CONF:-}" ] && squeue -h > /dev/null 2>&1; then
    scancel --full --user="$(id -un)" 2> /dev/null || true
    deadline=$((SECONDS + 15))
    while [ -n "$(squeue -h -o %i 2> /dev/null)" ] && [ "$SECONDS" -lt "$deadline" ]; do
      sleep 0.2
    done
  fi
  # slurmd, slurmctld, then munged, which both use.
  for ((i = ${#slurm_pids[@]} - 1; i >= 0; i--)); do
    pid=${slurm_pids[i]}
    kill -TERM "$pid" 2> /dev/null || continue
    deadline=$((SECONDS + 10))
    while kill -0 "$pid" 2> /dev/null && [ "$SECONDS" -lt "$deadline" ]; do
      sleep 0.1
    done
    if kill -0 "$pid" 2> /dev/null; then
      echo "one-node-slurm: pid $pid did not stop on TERM in 10 s; killing it" >&2
      kill -KILL "$pid" 2> /dev/null || true
    fi
    wait "$pid" 2> /dev/null || true
  done
  slurm_pids=()
}

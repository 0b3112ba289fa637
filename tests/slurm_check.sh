#!/usr/bin/env bash
# Runs the README's two Slurm commands, read out of README.md and run as printed there, on
# a one-node Slurm cluster set up for the check, on the shipped samples and a bone whose
# mesh is missing, and checks that each cohort table equals that of a run of the same
# samples on this machine's cores. As root: installs slurm-wlm and munge when missing,
# starts munged, slurmctld and slurmd with their key, configuration, state and logs in a
# temporary folder, and stops them and removes the folder however the check ends.
#   bash tests/slurm_check.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh slurm
bash scripts/example.sh >/dev/null # build/verdask
state=$(mktemp -d /tmp/verdask-slurm.XXXXXX)
chmod 755 "$state" # munged serves only a socket whose folders all may enter
export SLURM_CONF=$state/slurm.conf

# Stops the daemon whose pid file is $1, if it runs, and waits for it to end.
stop() {
  local pid
  pid=$(cat "$1" 2>/dev/null) || return 0
  kill "$pid" 2>/dev/null || return 0
  for ((i = 0; i < 100; i++)); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

# Cancels the jobs left by a check that failed, then stops the daemons and removes their state.
clean_up() {
  if [ -f "$state/slurmctld.pid" ]; then
    timeout 5 squeue -h -o %A 2>/dev/null | xargs -r timeout 5 scancel 2>/dev/null || true
    for ((i = 0; i < 30; i++)); do
      [ -z "$(timeout 5 squeue -h -o %A 2>/dev/null)" ] && break
      sleep 1
    done
  fi
  stop "$state/slurmd.pid"
  stop "$state/slurmctld.pid"
  stop "$state/munged.pid"
  rm -rf "$state"
}
trap clean_up EXIT
trap 'exit 1' INT TERM HUP

# The cluster: this machine as its one node, with the CPUs and memory slurmd finds here.
configure() {
  local host node
  host=$(hostname -s)
  node=$(slurmd -C | sed -n "s/^NodeName=[^ ]*/NodeName=$host/p")
  mkdir -p "$state/slurmctld" "$state/slurmd" "$state/daemon"
  cat >"$SLURM_CONF" <<EOF
ClusterName=verdask-check
SlurmctldHost=$host
SlurmUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$state/munge.socket
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
ReturnToService=2
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
StateSaveLocation=$state/slurmctld
SlurmdSpoolDir=$state/slurmd
SlurmctldPidFile=$state/daemon/slurmctld.pid
SlurmdPidFile=$state/daemon/slurmd.pid
SlurmctldLogFile=$state/slurmctld.log
SlurmdLogFile=$state/slurmd.log
$node State=UNKNOWN
PartitionName=standard Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
}

# Starts daemon $1 in the foreground, in the background of this script, its pid in
# $state/$1.pid (the daemons' own go to daemon/): a slurmd that cannot reach slurmctld
# writes none.
daemon() {
  "$@" >"$state/$1.out" 2>&1 &
  echo $! >"$state/$1.pid"
}

# Waits up to a minute for command $2 to succeed; else shows the daemons' logs and fails with $1.
await() {
  local end=$((SECONDS + 60))
  while ((SECONDS < end)); do
    timeout 5 bash -c "$2" >/dev/null 2>&1 && return 0
    sleep 0.5
  done
  tail -n 20 "$state"/*.out "$state"/*.log
  echo "$1 within a minute"
  exit 1
}

# munged with a key of its own, then slurmctld, then slurmd; waits for the node to be idle.
start() {
  (umask 077 && head -c 128 /dev/urandom >"$state/munge.key")
  daemon munged --foreground --key-file="$state/munge.key" --socket="$state/munge.socket" \
    --log-file="$state/munged.log" --seed-file="$state/munged.seed" \
    --pid-file="$state/daemon/munged.pid"
  await "munged did not start" "munge -n -S $state/munge.socket | unmunge -S $state/munge.socket"
  daemon slurmctld -D
  await "slurmctld did not answer" "scontrol ping | grep -q UP"
  daemon slurmd -D
  # shellcheck disable=SC2016 # expanded by await's shell
  await "the Slurm node did not become idle" '[ "$(sinfo -h -N -o %t)" = idle ]'
}

# The README's Slurm block: its first line, continued by its second (the native form) or
# by the line after "# or: " (the generic form).
read_readme() {
  local block
  block=$(awk '/^<!-- not run by the README check: it needs a Slurm cluster/ {found = 1; next}
    found && /^```sh/ {inside = 1; next}
    inside && /^```/ {exit}
    inside' README.md)
  mapfile -t lines <<<"$block"
  if [ "${#lines[@]}" -ne 3 ] || [[ "${lines[0]}" != *\\ ]] || [[ "${lines[2]}" != "# or: "* ]]; then
    printf '%s\n' "$block"
    echo "README.md: the Slurm block is not a command, its native continuation and '# or: ' its generic one"
    exit 1
  fi
  native="${lines[0]%\\}${lines[1]}"
  generic="${lines[0]%\\}${lines[2]#\# or: }"
}

# A folder laid out as the project for the workflow: its workflow/ with the shipped samples
# and a bone whose mesh is missing, the example bone and the binary.
lay_out() {
  mkdir -p "$1/build"
  cp -r workflow "$1/"
  ln -s "$root/examples" "$1/examples"
  cp build/verdask "$1/build/"
  echo "ghost,examples/nowhere.hmascii,examples/cort.surf,examples/norm.vtk,examples/trab.surf,,,,,," \
    >>"$1/workflow/samples.csv"
}

# Runs command $2 in a new folder $state/$1.
run() {
  lay_out "$state/$1"
  echo "$1: $2"
  if ! (cd "$state/$1" && bash -c "$2" >snakemake.log 2>&1); then
    tail -n 40 "$state/$1/snakemake.log"
    echo "$1: snakemake failed"
    exit 1
  fi
}

# The laptop run's table: every bone complete, or failed with its reason.
check_laptop() {
  python3 - "$state/laptop/results/cohort.csv" <<'PY'
import csv, sys
rows = [(r["id"], r["status"], r["exit_code"], r["reason"]) for r in csv.DictReader(open(sys.argv[1]))]
want = [("example", "complete", "0", ""), ("example-surface", "complete", "0", ""),
        ("ghost", "failed", "", "mesh file 'examples/nowhere.hmascii' cannot be read")]
if rows != want:
    sys.exit(f"laptop: cohort rows {rows}, not {want}")
PY
}

# A cluster run's table equals the laptop's, and each of its $3 jobs left a Slurm log $2.
check_cluster() {
  local logs
  if ! cmp "$state/laptop/results/cohort.csv" "$state/$1/results/cohort.csv"; then
    diff "$state/laptop/results/cohort.csv" "$state/$1/results/cohort.csv" || true
    echo "$1: the cohort table differs from the laptop run's"
    exit 1
  fi
  logs=$(cd "$state/$1" && { compgen -G "$2" || true; } | wc -l)
  if [ "$logs" -ne "$3" ]; then
    echo "$1: $logs Slurm job logs $2, not $3"
    exit 1
  fi
}

configure
start
read_readme
run laptop "snakemake --snakefile workflow/Snakefile --configfile workflow/config.yaml --cores 2 --keep-going"
check_laptop
run generic "$generic"
check_cluster generic 'slurm-*.out' 4
# Snakemake 7's own Slurm support reads USER to guess the job's account.
run native "USER=${USER:-$(id -un)} $native"
check_cluster native '.snakemake/slurm_logs/rule_*/*.log' 4
echo "both Slurm forms of the README give the laptop's cohort table"

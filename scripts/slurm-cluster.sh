# Sourced by the Slurm test and benchmark: a one-node Slurm cluster of this machine in a
# folder of its own (munged, slurmctld and slurmd, each run in the foreground as a child of
# this shell and stopped by its pid). Needs root and Debian's slurm-wlm and munge.
#
#   . scripts/slurm-cluster.sh
#   slurm_missing || slurm_start DIR CPUS   # exports SLURM_CONF; 0 when the node is idle
#   sbatch ...
#   slurm_stop                             # also from a trap

slurm_pids=()

# Prints why the cluster cannot be started here; 1 when it can.
slurm_missing() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "not root (slurmd starts jobs as their user)"
        return 0
    fi
    local tool
    for tool in mungekey munged slurmctld slurmd sbatch squeue scancel sinfo python3; do
        if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "/usr/sbin/$tool" ]; then
            echo "$tool not found (scripts/install-deps.sh installs slurm-wlm and munge)"
            return 0
        fi
    done
    return 1
}

# Two ports nobody listens on, so a cluster already on this machine is left alone.
slurm_free_ports() {
    python3 -c '
import socket
held = [socket.socket() for _ in range(2)]
for s in held:
    s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in held))'
}

slurm_start() {
    local dir=$1 cpus=$2
    export PATH="$PATH:/usr/sbin"
    rm -rf "$dir"
    mkdir -p "$dir/state" "$dir/spool" "$dir/log"
    chmod 700 "$dir"
    mungekey -c -k "$dir/munge.key" || return 1
    munged -F -f --key-file="$dir/munge.key" --socket="$dir/munge.socket" --pid-file="$dir/munged.pid" \
        --log-file="$dir/log/munged.log" --seed-file="$dir/munge.seed" </dev/null >>"$dir/log/munged.out" 2>&1 &
    slurm_pids+=($!)
    local ports
    read -r -a ports <<<"$(slurm_free_ports)"
    cat >"$dir/slurm.conf" <<CONF
ClusterName=harrowlight
SlurmctldHost=localhost
SlurmctldPort=${ports[0]}
SlurmdPort=${ports[1]}
AuthType=auth/munge
AuthInfo=socket=$dir/munge.socket
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SlurmdParameters=config_overrides
ReturnToService=2
KillWait=5
# sbatch --wait polls every 2 s when finished jobs are kept at least 4 s (every 32 s when
# they are kept longer).
MinJobAge=4
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
NodeName=localhost CPUs=$cpus RealMemory=2000 State=UNKNOWN
PartitionName=debug Nodes=localhost Default=YES MaxTime=INFINITE State=UP
CONF
    export SLURM_CONF="$dir/slurm.conf"
    local i
    for ((i = 0; i < 50; i++)); do
        [ -S "$dir/munge.socket" ] && break
        sleep 0.1
    done
    slurmctld -D -f "$SLURM_CONF" </dev/null >>"$dir/log/slurmctld.out" 2>&1 &
    slurm_pids+=($!)
    slurmd -D -N localhost -f "$SLURM_CONF" </dev/null >>"$dir/log/slurmd.out" 2>&1 &
    slurm_pids+=($!)
    for ((i = 0; i < 300; i++)); do
        if [ "$(sinfo -h -n localhost -o %t 2>/dev/null)" = idle ]; then
            return 0
        fi
        sleep 0.1
    done
    echo "slurm-cluster: the node did not become idle within 30 s; the logs:" >&2
    tail -n 20 "$dir"/log/* >&2
    sinfo -N -l >&2
    return 1
}

# Cancels what is left of the jobs, then stops the daemons, the last started first. Safe
# under set -e: nothing here ends the caller.
slurm_stop() {
    local i k pid
    if [ ${#slurm_pids[@]} -eq 0 ]; then
        return 0
    fi
    if [ -n "${SLURM_CONF:-}" ]; then
        scancel --full --quiet --partition=debug 2>/dev/null || true
        for ((i = 0; i < 100; i++)); do
            if [ -z "$(squeue -h 2>/dev/null || true)" ]; then break; fi
            sleep 0.1
        done
    fi
    for ((k = ${#slurm_pids[@]} - 1; k >= 0; k--)); do
        pid=${slurm_pids[$k]}
        kill "$pid" 2>/dev/null || true
        for ((i = 0; i < 50; i++)); do
            if ! kill -0 "$pid" 2>/dev/null; then break; fi
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    slurm_pids=()
}

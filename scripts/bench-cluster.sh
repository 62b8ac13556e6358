#!/usr/bin/env bash
# Throughput of one-minute 44.1 kHz files rendered to PNG: one process (one renderer, then one
# per core) against a four-task Slurm array on a one-node cluster of this machine, each task
# one renderer on one CPU. Prints files per second per core (files per CPU second, user and
# system, so other load on the machine does not change it), the wall time, and the peak
# memory of each process.
#   scripts/bench-cluster.sh [build dir] [files]     (root, with slurm-wlm and munge)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
files=${2:-200}
# shellcheck source=slurm-cluster.sh
. "$root/scripts/slurm-cluster.sh"
if why=$(slurm_missing); then
    echo "bench-cluster: cannot run: $why" >&2
    exit 1
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target harrowlight-cli >/dev/null
work=$(mktemp -d /tmp/hl-bench-cluster.XXXXXX)
trap 'slurm_stop; rm -rf "$work"' EXIT
cores=$(nproc)
cli=$(realpath "$build/harrowlight-cli")
mkdir "$work/in"
"$cli" generate demo "$work/in/day000.wav" --rate 44100 --seconds 60
for ((i = 1; i < files; i++)); do
    ln "$work/in/day000.wav" "$work/in/day$(printf %03d "$i").wav"  # names of their own, one page cache
done
cat "$work/in/day000.wav" >/dev/null

per_core() {  # CPU seconds
    python3 -c "import sys; print('%.1f' % ($files / float(sys.argv[1])))" "$1"
}
echo "$files one-minute 44.1 kHz mono files to PNG, $cores cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
for threads in 1 "$cores"; do
    rm -rf "$work/out"
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$cli" render "$work/in" -d "$work/out" --threads "$threads" 2>/dev/null
    read -r wall user system rss <"$work/time"
    cpu=$(python3 -c "print('%.2f' % ($user + $system))")
    echo "one process, --threads $threads: $(per_core "$cpu") files/s per core ($cpu CPU s, $wall s wall)," \
         "peak $((rss / 1024)) MiB"
done

slurm_start "$work/cluster" "$cores"
cat >"$work/task.sh" <<'TASK'
#!/bin/sh
date +%s.%N >"$HL_WORK/start-$SLURM_ARRAY_TASK_ID"
/usr/bin/time -f "%e %U %S %M" -o "$HL_WORK/time-$SLURM_ARRAY_TASK_ID" "$HL_CLI" render "$HL_WORK/in" -d "$HL_WORK/array" \
    --threads 1 --shard "$SLURM_ARRAY_TASK_ID/4" --manifest "$HL_WORK/task-$SLURM_ARRAY_TASK_ID.jsonl"
date +%s.%N >"$HL_WORK/end-$SLURM_ARRAY_TASK_ID"
TASK
export HL_WORK=$work HL_CLI=$cli
start=$(date +%s.%N)
sbatch --quiet --wait --array=0-3 --cpus-per-task=1 --output="$work/task-%a.log" "$work/task.sh"
end=$(date +%s.%N)
# The array's span: from the first task's start to the last one's end (sbatch --wait itself
# polls every 2 s).
span=$(python3 -c "
import sys
starts = [float(open('$work/start-%d' % k).read()) for k in range(4)]
ends = [float(open('$work/end-%d' % k).read()) for k in range(4)]
print('%.2f' % (max(ends) - min(starts)))")
rss=$(for k in 0 1 2 3; do cut -d' ' -f4 "$work/time-$k"; done | sort -n | tail -n 1)
cpu=$(cat "$work"/time-[0-3] | python3 -c "import sys; print('%.2f' % sum(float(l.split()[1]) + float(l.split()[2]) for l in sys.stdin))")
echo "four array tasks, one CPU each: $(per_core "$cpu") files/s per core ($cpu CPU s;" \
     "$span s wall from the first start to the last end, $(python3 -c "print('%.1f' % ($end - $start))") s with" \
     "sbatch --wait), peak $((rss / 1024)) MiB per task"
cmp -s <(cd "$work/out" && cat ./*.png) <(cd "$work/array" && cat ./*.png) && echo "the array's images equal the one-process run's"

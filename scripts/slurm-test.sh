#!/usr/bin/env bash
# A batch spread over a real Slurm cluster: a one-node cluster started in a scratch folder
# runs `harrowlight-cli render --shard K/4` as a four-task array over 200 generated files;
# the manifests must name every input exactly once and the images must equal a one-process
# run byte for byte. Then one task is cancelled part-way, run again with --skip-existing,
# and the set must be complete and equal once more, with no temporary file left behind.
#
#   scripts/slurm-test.sh PATH/TO/harrowlight-cli [SCRATCH]   (SCRATCH: a fresh folder, removed after)
#
# Exit code 0 passed, 1 failed, 77 skipped (not root, or no Slurm or munge here).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=slurm-cluster.sh
. "$here/slurm-cluster.sh"

if [ $# -lt 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 PATH/TO/harrowlight-cli [SCRATCH]" >&2
    exit 2
fi
cli=$(realpath "$1")
if why=$(slurm_missing); then
    echo "slurm-test: skipped: $why"
    exit 77
fi
scratch=${2:-$(mktemp -d /tmp/hl-slurm.XXXXXX)}
rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(realpath "$scratch")
keep=no
cleanup() {
    slurm_stop
    if [ "$keep" = no ]; then rm -rf "$scratch"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "slurm-test: FAILED: $*"
    keep=yes
    echo "slurm-test: the cluster's logs and the outputs are kept in $scratch"
    exit 1
}

tasks=4
export HL_CLI=$cli HL_IN=$scratch/in HL_SHARDS=$tasks
# Options that make each 10 s file take a noticeable moment, so a task can be cancelled
# between its first and its last file.
export HL_OPTIONS="--time-scale 2 --fft 1024"

# 200 files in a tree: 4 sites x 5 days x 10 recordings, of every kind, some stereo or 8-bit.
kinds=(tone sweep harmonics bursts demo)
n=0
for site in 0 1 2 3; do
    for day in 0 1 2 3 4; do
        mkdir -p "$HL_IN/site-$site/day-$day"
        for rec in 0 1 2 3 4 5 6 7 8 9; do
            extra=()
            [ $((n % 7)) -eq 3 ] && extra=(--channels 2)
            [ $((n % 11)) -eq 5 ] && extra+=(--bits 8)
            "$cli" generate "${kinds[$((n % 5))]}" "$HL_IN/site-$site/day-$day/rec-$rec.wav" --rate 22050 \
                --seconds 10 --freq $((300 + 37 * n)) "${extra[@]}" || fail "generate"
            n=$((n + 1))
        done
    done
done

echo "slurm-test: $n files generated in $SECONDS s"
started=$SECONDS
# shellcheck disable=SC2086  # HL_OPTIONS is a list of options
"$cli" render "$HL_IN" -r -d "$scratch/one-process" $HL_OPTIONS 2>"$scratch/one-process.log" ||
    fail "the one-process run: $(cat "$scratch/one-process.log")"

echo "slurm-test: the one-process run took $((SECONDS - started)) s"
started=$SECONDS
slurm_start "$scratch/cluster" 2 || fail "the cluster did not start"
echo "slurm-test: one-node cluster up in $((SECONDS - started)) s"

cat >"$scratch/task.sh" <<'TASK'
#!/bin/sh
# One array task: its shard of the inputs, one renderer on the one CPU Slurm gave it.
# shellcheck disable=SC2086
exec "$HL_CLI" render "$HL_IN" -r -d "$HL_OUT" --threads 1 --shard "$SLURM_ARRAY_TASK_ID/$HL_SHARDS" \
    --manifest "$HL_MANIFESTS/task-$SLURM_ARRAY_TASK_ID$HL_SUFFIX.jsonl" $HL_OPTIONS $HL_EXTRA
TASK
chmod +x "$scratch/task.sh"

# Checks manifests against the input tree and an output folder against the one-process run.
#   check.py OUT IN REFERENCE MANIFEST... : every input exactly once, output complete and equal
#   check.py --partial OUT IN REFERENCE MANIFEST : whole lines only, what exists equal, nothing temporary
cat >"$scratch/check.py" <<'PY'
import hashlib, json, os, sys
partial = sys.argv[1] == "--partial"
out, inputs, reference, *manifests = sys.argv[2:] if partial else sys.argv[1:]
def tree(root):
    return sorted(os.path.relpath(os.path.join(d, f), root) for d, _, names in os.walk(root) for f in names)
def fail(why):
    sys.exit(why)
lines = []
for path in manifests:
    data = open(path, "rb").read()
    if data and not data.endswith(b"\n"):
        fail("%s ends in a partial line" % path)
    lines += [json.loads(line) for line in data.decode("utf-8").splitlines()]
for line in lines:
    if line["status"] not in ("rendered", "skipped"):
        fail("%s: %s %s" % (line["input"], line["status"], line["message"]))
    image = open(line["output"], "rb").read()
    if (len(image), hashlib.sha256(image).hexdigest()) != (line["bytes"], line["sha256"]):
        fail("%s: size or SHA-256 not what the manifest says" % line["output"])
named = sorted(os.path.relpath(line["input"], inputs) for line in lines)
wanted = tree(inputs)
if not partial and named != wanted:
    fail("the manifests name %d inputs (%d distinct) of %d" % (len(named), len(set(named)), len(wanted)))
if len(set(named)) != len(named):
    fail("an input is named twice")
made, expected = tree(out), tree(reference)
stray = [name for name in made if name not in expected]
if stray:
    fail("outputs the one-process run does not have: %s" % stray[:5])
if not partial and made != expected:
    fail("%d of %d images missing" % (len(expected) - len(made), len(expected)))
for name in made:
    if open(os.path.join(out, name), "rb").read() != open(os.path.join(reference, name), "rb").read():
        fail("%s differs from the one-process run" % name)
print("%d manifest lines, %d images equal to the one-process run" % (len(lines), len(made)))
PY

submit() {  # OUT MANIFESTS SUFFIX EXTRA sbatch-options...
    export HL_OUT=$1 HL_MANIFESTS=$2 HL_SUFFIX=$3 HL_EXTRA=$4
    shift 4
    mkdir -p "$HL_MANIFESTS" "$scratch/logs"
    sbatch --chdir="$scratch" --output="$scratch/logs/%A_%a.out" --ntasks=1 --cpus-per-task=1 "$@" \
        "$scratch/task.sh"
}

# 1. The whole set as an array of four tasks.
started=$SECONDS
submit "$scratch/array" "$scratch/manifests" "" "" --wait --array=0-$((tasks - 1)) ||
    fail "sbatch --wait --array: $(cat "$scratch"/logs/* 2>/dev/null)"
echo "slurm-test: array of $tasks tasks done in $((SECONDS - started)) s"
python3 "$scratch/check.py" "$scratch/array" "$HL_IN" "$scratch/one-process" "$scratch"/manifests/task-*.jsonl ||
    fail "the array's images and manifests"

# 2. Again into a fresh folder; task 2 is cancelled once its first input has ended.
job=$(submit "$scratch/again" "$scratch/manifests-again" "" "" --parsable --array=0-$((tasks - 1))) || fail "sbatch"
job=${job%%;*}
cut=$scratch/manifests-again/task-2.jsonl
for ((i = 0; i < 6000; i++)); do
    [ -s "$cut" ] && break
    sleep 0.02
done
[ -s "$cut" ] || fail "task 2 wrote no manifest line within 120 s"
scancel "${job}_2" || fail "scancel ${job}_2"
for ((i = 0; i < 1200; i++)); do
    [ -z "$(squeue -h -j "$job" 2>/dev/null)" ] && break
    sleep 0.1
done
[ -z "$(squeue -h -j "$job" 2>/dev/null)" ] || fail "job $job still queued 120 s after scancel"
ended=$(wc -l <"$cut")
share=$(( ($(find "$HL_IN" -name '*.wav' | wc -l) + tasks - 1 - 2) / tasks ))
[ "$ended" -lt "$share" ] || fail "task 2 ended all $share of its inputs before scancel reached it"
echo "slurm-test: task 2 cancelled after $ended of its $share inputs"
python3 "$scratch/check.py" --partial "$scratch/again" "$HL_IN" "$scratch/one-process" "$cut" ||
    fail "what the cancelled task left"

# 3. Task 2 once more with --skip-existing: the set is complete.
submit "$scratch/again" "$scratch/manifests-again" "-resumed" "--skip-existing" --wait --array=2 ||
    fail "the resubmitted task: $(tail -n 5 "$scratch"/logs/*)"
python3 "$scratch/check.py" "$scratch/again" "$HL_IN" "$scratch/one-process" \
    "$scratch"/manifests-again/task-{0,1,3}.jsonl "$scratch/manifests-again/task-2-resumed.jsonl" ||
    fail "the set after resubmitting the cancelled task"
skipped=$(grep -c '"status": "skipped"' "$scratch/manifests-again/task-2-resumed.jsonl")
[ "$skipped" -ge "$ended" ] || fail "only $skipped inputs kept of the $ended the cancelled task had ended"
echo "slurm-test: the resubmitted task kept $skipped images and rendered $((share - skipped))"
echo "slurm-test: passed"

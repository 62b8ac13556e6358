#!/bin/sh
# Builds the column benchmarks natively (Release) and prints the cost of one column of the
# time–frequency image by path, in microseconds (median and best of the repetitions).
#   scripts/bench.sh [build dir] [benchmark options...]
# e.g. scripts/bench.sh build-bench --benchmark_filter='Column|Batch/avx2'
# Timings are CPU time of one thread; on a busy machine compare the best column.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
[ $# -gt 0 ] && shift

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DHL_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target column_bench >/dev/null
if [ ! -x "$build/bench/column_bench" ]; then
    echo "column_bench was not built: is Google Benchmark (libbenchmark-dev) installed?" >&2
    exit 1
fi

json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$build/bench/column_bench" --benchmark_repetitions=5 --benchmark_min_time=0.2 \
    --benchmark_format=console --benchmark_out_format=json --benchmark_out="$json" "$@" >/dev/null 2>&1

python3 - "$json" <<'EOF'
import json, statistics, sys

with open(sys.argv[1]) as f:
    report = json.load(f)
runs = report["benchmarks"]
print("automatic batched path on this machine:", report["context"].get("batch_path", "?"))
per = {}
for run in runs:
    if run.get("run_type") != "iteration" or run.get("error_occurred"):
        continue
    for counter, unit in (("column", "us/column"), ("bin", "ns/bin")):
        if counter in run:
            scale = 1e6 if counter == "column" else 1e9
            per.setdefault((run["run_name"], unit), []).append(run[counter] * scale)
width = max((len(name) for name, _ in per), default=10)
print(f"{'benchmark':<{width}}  {'median':>9}  {'best':>9}")
for (name, unit), values in per.items():
    print(f"{name:<{width}}  {statistics.median(values):9.3f}  {min(values):9.3f}  {unit}")
EOF

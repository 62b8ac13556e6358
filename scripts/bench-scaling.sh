#!/bin/sh
# How harrowlight-cli render scales with the length of its input: 44.1 kHz 16-bit mono demo
# files of 1 s, 1 min, 10 min, 1 h and 3 h at the defaults (512 points, 12 ms per column),
# each rendered several times from the page cache; the table gives the medians of wall and
# CPU time, the cost per column (of each) and the peak resident memory, beside the input's and the
# image's sizes. The 3-hour file takes about 1 GB of disk in a scratch folder.
#   scripts/bench-scaling.sh [build dir] [runs] [render options...]
# e.g. scripts/bench-scaling.sh build 5 --threads 1
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-5}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target harrowlight-cli >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$build/harrowlight-cli" "$work" "$runs" "$@" <<'EOF'
import os, statistics, subprocess, sys, time

cli, work, runs, options = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
lengths = [("1 s", 1), ("1 min", 60), ("10 min", 600), ("1 h", 3600), ("3 h", 10800)]

def make_demo(path, seconds):
    """The generator's demo file; past its one-hour limit, an hour's samples repeated. The
    samples are copied a piece at a time: a forked child's peak memory starts from this
    process's, so holding the hour here would be counted against every render."""
    hour = 3600
    part = min(seconds, hour)
    subprocess.run([cli, "generate", "demo", path, "--rate", "44100", "--seconds", str(part)],
                   check=True, stdout=subprocess.DEVNULL)
    if seconds == part:
        return
    one = path + ".hour"
    os.replace(path, one)
    with open(one, "rb") as f:
        head = f.read(4096)
    at = head.index(b"data")  # the generator writes a plain 44-byte header
    data_bytes = os.path.getsize(one) - (at + 8)
    repeat = seconds // part
    with open(path, "wb") as out:
        out.write(b"RIFF" + (at + data_bytes * repeat).to_bytes(4, "little") + head[8:at + 4])
        out.write((data_bytes * repeat).to_bytes(4, "little"))
        for _ in range(repeat):
            with open(one, "rb") as f:
                f.seek(at + 8)
                while piece := f.read(1 << 24):
                    out.write(piece)
    os.remove(one)

def run(args):
    """Wall seconds, CPU seconds and peak resident KiB of one run."""
    start = time.perf_counter()
    child = subprocess.Popen(args, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{' '.join(args)} failed ({status})")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss

print(f"harrowlight-cli render {' '.join(options)}".rstrip() + f": medians of {runs} runs, "
      f"load average {os.getloadavg()[0]:.2f} at the start")
print(f"{'input':>6}  {'columns':>9}  {'input MB':>9}  {'image MB':>9}  {'wall s':>8}  {'CPU s':>8}  "
      f"{'us/column':>9}  {'CPU us/col':>10}  {'peak MB':>8}")
for name, seconds in lengths:
    wav = os.path.join(work, "in.wav")
    bmp = os.path.join(work, "out.bmp")
    make_demo(wav, seconds)
    render = [cli, "render", wav, "-o", bmp] + options
    run(render)  # the input into the page cache
    results = [run(render) for _ in range(runs)]
    with open(bmp, "rb") as f:
        header = f.read(26)
    width = int.from_bytes(header[18:22], "little", signed=True)
    wall = statistics.median(r[0] for r in results)
    cpu = statistics.median(r[1] for r in results)
    peak = statistics.median(r[2] for r in results) / 1024
    print(f"{name:>6}  {width:>9}  {os.path.getsize(wav) / 1e6:>9.1f}  {(os.path.getsize(bmp) - 1078) / 1e6:>9.1f}  "
          f"{wall:>8.3f}  {cpu:>8.3f}  {wall / width * 1e6:>9.3f}  {cpu / width * 1e6:>10.3f}  {peak:>8.1f}")
    os.remove(wav)
    os.remove(bmp)
print(f"load average {os.getloadavg()[0]:.2f} at the end")
EOF

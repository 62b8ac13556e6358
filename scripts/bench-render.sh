#!/bin/sh
# Times harrowlight-cli render of a 10-minute 44.1 kHz 16-bit mono file at the defaults
# (about 50,000 columns x 300 rows) and reports wall time and peak memory, five runs.
#   scripts/bench-render.sh [build dir]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target harrowlight-cli >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/harrowlight-cli" generate demo "$work/ten.wav" --rate 44100 --seconds 600
"$build/harrowlight-cli" render "$work/ten.wav" -o "$work/ten.bmp"  # warm the page cache
echo "input $(stat -c %s "$work/ten.wav") bytes, image $(($(stat -c %s "$work/ten.bmp") - 1078)) bytes"
# Replacing an existing image costs more than writing a new one: on ext4 the rename over the
# old file starts the new one's writeback at once. Both are timed, with the disk settled
# (sync, untimed) before each run.
for run in 1 2 3 4 5; do
    sync
    /usr/bin/time -f "run $run, replacing the image: %e s wall, %U s user, %S s system, %M KB peak" \
        "$build/harrowlight-cli" render "$work/ten.wav" -o "$work/ten.bmp"
    rm -f "$work/new.bmp"
    sync
    /usr/bin/time -f "run $run, a new image:       %e s wall, %U s user, %S s system, %M KB peak" \
        "$build/harrowlight-cli" render "$work/ten.wav" -o "$work/new.bmp"
done

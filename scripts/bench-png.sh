#!/bin/sh
# The PNG render of the 10-minute 44.1 kHz 16-bit mono file beside the BMP render of the same
# image (about 50,000 columns x 300 rows), five runs each, alternating; the target is a PNG
# wall time at most 4 x the BMP's.
#   scripts/bench-png.sh [build dir]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target harrowlight-cli >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli=$build/harrowlight-cli
"$cli" generate demo "$work/ten.wav" --rate 44100 --seconds 600
"$cli" render "$work/ten.wav" -o "$work/ten.bmp"  # warm the page cache
for run in 1 2 3 4 5; do
    for format in bmp png; do
        /usr/bin/time -f "run $run $format: %e s wall, %U s user, %S s system, %M KB peak" \
            "$cli" render "$work/ten.wav" -o "$work/ten.$format"
    done
done
echo "bmp $(stat -c %s "$work/ten.bmp") bytes, png $(stat -c %s "$work/ten.png") bytes"

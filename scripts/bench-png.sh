#!/bin/sh
# The PNG render of the 10-minute 44.1 kHz 16-bit mono file beside the BMP render of the same
# image (50,016 columns x 300 rows at the defaults), and beside FFmpeg and SoX making a
# spectrogram image of the same size from the same file (scripts/bench-peers.sh), in
# interleaved runs; prints each one's median wall time and the ratios. The targets: PNG at
# most 1.5 x the BMP's time, FFmpeg at least 40 x the PNG's.
#   scripts/bench-png.sh [build dir] [runs, at least 5]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-5}
[ "$runs" -ge 5 ] || runs=5
. "$root/scripts/bench-peers.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target harrowlight-cli >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli=$build/harrowlight-cli
"$cli" generate demo "$work/ten.wav" --rate 44100 --seconds 600
"$cli" render "$work/ten.wav" -o "$work/ten.bmp"  # warm the page cache
peers=$(peers_found)
times=$work/times
run=1
while [ "$run" -le "$runs" ]; do
    time_run bmp "$times" "$cli" render "$work/ten.wav" -o "$work/ten.bmp"
    time_run png "$times" "$cli" render "$work/ten.wav" -o "$work/ten.png"
    for peer in $peers; do
        time_run "$peer" "$times" peer_run "$peer" "$work/ten.wav" "$work"
    done
    echo "run $run: $(awk -v r="$run" '{ n[$1]++; if (n[$1] == r) printf "%s %d ms  ", $1, $2 }' "$times")"
    run=$((run + 1))
done
bmp=$(median_ms bmp "$times")
png=$(median_ms png "$times")
echo "bmp $(stat -c %s "$work/ten.bmp") bytes, png $(stat -c %s "$work/ten.png") bytes"
echo "median of $runs: bmp $bmp ms, png $png ms; png / bmp = $(ratio "$png" "$bmp") (target at most 1.5)"
for peer in $peers; do
    t=$(median_ms "$peer" "$times")
    echo "median of $runs: $peer $t ms; $peer / png = $(ratio "$t" "$png"), $peer / bmp = $(ratio "$t" "$bmp")"
done

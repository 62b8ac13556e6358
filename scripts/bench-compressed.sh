#!/bin/sh
# The render of a 10-minute 44.1 kHz 16-bit stereo FLAC beside the render of the WAV it was
# made from (defaults, BMP): median wall time of each over interleaved runs, and the ratio.
# The two images must be the same bytes. The target: the FLAC at most 2 x the WAV's time.
#   scripts/bench-compressed.sh [build dir] [runs, at least 5]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-5}
[ "$runs" -ge 5 ] || runs=5
. "$root/scripts/bench-peers.sh"
command -v flac >/dev/null || "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target harrowlight-cli >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli=$build/harrowlight-cli
"$cli" generate demo "$work/ten.wav" --rate 44100 --seconds 600 --channels 2
flac -s -f -o "$work/ten.flac" "$work/ten.wav"
echo "wav $(stat -c %s "$work/ten.wav") bytes, flac $(stat -c %s "$work/ten.flac") bytes, $(nproc) cores"
"$cli" render "$work/ten.wav" -o "$work/wav.bmp"  # warm the page cache
"$cli" render "$work/ten.flac" -o "$work/flac.bmp"
cmp -s "$work/wav.bmp" "$work/flac.bmp" || { echo "the FLAC's image differs from the WAV's" >&2; exit 1; }
times=$work/times
run=1
while [ "$run" -le "$runs" ]; do
    time_run wav "$times" "$cli" render "$work/ten.wav" -o "$work/wav.bmp"
    time_run flac "$times" "$cli" render "$work/ten.flac" -o "$work/flac.bmp"
    echo "run $run: $(awk -v r="$run" '{ n[$1]++; if (n[$1] == r) printf "%s %d ms  ", $1, $2 }' "$times")"
    run=$((run + 1))
done
wav=$(median_ms wav "$times")
flac=$(median_ms flac "$times")
echo "median of $runs: wav $wav ms, flac $flac ms; flac / wav = $(ratio "$flac" "$wav") (target at most 2)"

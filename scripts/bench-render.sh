#!/bin/sh
# Times harrowlight-cli render of a 10-minute 44.1 kHz 16-bit mono file at the defaults
# (50,016 columns x 300 rows) and reports wall time and peak memory, and beside it FFmpeg
# and SoX making a spectrogram image of the same size from the same file
# (scripts/bench-peers.sh), in interleaved runs; prints the medians and the ratios.
#   scripts/bench-render.sh [build dir] [runs, at least 5]
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
echo "input $(stat -c %s "$work/ten.wav") bytes, image $(($(stat -c %s "$work/ten.bmp") - 1078)) bytes"
peers=$(peers_found)
times=$work/times
# Replacing an existing image costs more than writing a new one: on ext4 the rename over the
# old file starts the new one's writeback at once. Both are timed, with the disk settled
# (sync, untimed) before each run.
run=1
while [ "$run" -le "$runs" ]; do
    sync
    time_run replacing "$times" /usr/bin/time -f "run $run, replacing the image: %e s wall, %U s user, %S s system, %M KB peak" \
        "$cli" render "$work/ten.wav" -o "$work/ten.bmp"
    rm -f "$work/new.bmp"
    sync
    time_run new "$times" /usr/bin/time -f "run $run, a new image:       %e s wall, %U s user, %S s system, %M KB peak" \
        "$cli" render "$work/ten.wav" -o "$work/new.bmp"
    for peer in $peers; do
        sync
        time_run "$peer" "$times" peer_run "$peer" "$work/ten.wav" "$work"
        echo "run $run, $peer: $(awk -v p="$peer" '$1 == p { t = $2 } END { print t }' "$times") ms wall"
    done
    run=$((run + 1))
done
replacing=$(median_ms replacing "$times")
new=$(median_ms new "$times")
echo "median of $runs: replacing the image $replacing ms, a new image $new ms"
for peer in $peers; do
    t=$(median_ms "$peer" "$times")
    echo "median of $runs: $peer $t ms; $peer / replacing = $(ratio "$t" "$replacing"), $peer / new = $(ratio "$t" "$new")"
done

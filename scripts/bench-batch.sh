#!/bin/sh
# A batch of 200 one-minute 44.1 kHz files rendered to PNG into a folder: wall time, CPU time
# and their ratio (the target is CPU / wall >= 1.8 on two cores).
#   scripts/bench-batch.sh [build dir] [files]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
files=${2:-200}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target harrowlight-cli >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli=$build/harrowlight-cli
mkdir "$work/in"
"$cli" generate demo "$work/in/day000.wav" --rate 44100 --seconds 60
i=1
while [ "$i" -lt "$files" ]; do
    cp "$work/in/day000.wav" "$work/in/day$(printf %03d "$i").wav"
    i=$((i + 1))
done
cat "$work"/in/*.wav >/dev/null  # warm the page cache
/usr/bin/time -f "%e %U %S" -o "$work/time" "$cli" render "$work/in" -d "$work/out" 2>"$work/summary" || true
tail -n 1 "$work/summary"
read -r wall user system <"$work/time"
echo "$files files: $wall s wall, $user s user, $system s system, CPU / wall $(echo "($user + $system) / $wall" | bc -l | cut -c1-4)"

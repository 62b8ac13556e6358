#!/bin/sh
# Times "&Analyze File" in the Windows program under Wine: a 10-minute 44.1 kHz 16-bit mono
# file at the defaults (about 50,000 columns), from OK in the parameters dialog to the
# data-loaded state, five runs, with the render loop's split between drawing columns,
# pumping messages and copying to the screen, and how fast Stop ends a render. Runs in a
# private X display and Wine prefix (scripts/e2e-env.sh).
#   scripts/bench-analysis.sh [build dir] [runs]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-win64}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target harrowlight_analysis_bench >/dev/null
exec "$root/scripts/e2e-env.sh" --prefix "$build/bench-wineprefix" --timeout 600 -- \
    /usr/lib/wine/wine64 "$build/tests/e2e/harrowlight_analysis_bench.exe" ${2:-5}

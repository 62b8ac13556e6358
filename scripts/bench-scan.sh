#!/bin/sh
# Times "S&can Audio" in the Windows program under Wine: a live scan at 44100 Hz, 16 bit, for
# 30 s (or the given seconds) in the "Scroll" and the "Scope" display, with a tone played into
# the private sound server. Prints the columns drawn against the clock, the late-half resets,
# the half switches and the process's CPU time; then a 10 s "&Record Audio" at 22050 Hz and
# its columns against the 995 planned. Runs in a private X display, sound server and
# Wine prefix (scripts/e2e-env.sh).
#   scripts/bench-scan.sh [build dir] [seconds]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-win64}
seconds=${2:-30}
triplet=x86_64-w64-mingw32
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target harrowlight_shell >/dev/null
# The benchmark is linked here rather than by the build: it is the window's shell library, the
# harness and the program's resources.
out=$build/scan-bench
mkdir -p "$out"
"$triplet-windres" -I"$root" -I"$root/resources" "$root/resources/harrowlight.rc" -O coff -o "$out/resources.o"
"$triplet-g++-posix" -std=c++17 -O2 -Wall -Wextra -Wshadow -I"$root/src" -I"$root" \
    "$root/tests/e2e/scan_bench.cpp" "$root/tests/e2e/harness.cpp" "$root/tests/e2e/dialog_driver.cpp" \
    "$out/resources.o" -L"$build" -lharrowlight_shell -lharrowlight_core \
    -lgdi32 -luser32 -lcomdlg32 -lwinmm -static -o "$out/scan_bench.exe"
exec "$root/scripts/e2e-env.sh" --prefix "$build/bench-wineprefix" --timeout $((seconds * 2 + 120)) -- \
    /usr/lib/wine/wine64 "$out/scan_bench.exe" "$seconds"

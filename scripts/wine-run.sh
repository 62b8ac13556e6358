#!/bin/sh
# Runs a Windows program under 64-bit Wine (the cross build's ctest emulator).
#   scripts/wine-run.sh program.exe [args...]
# The Wine prefix is $HL_WINEPREFIX, or else "wineprefix" in the CMake build
# tree that holds the program. A missing prefix is created first, under a lock,
# because two first runs racing on a new prefix can leave it broken.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 program.exe [args...]" >&2
    exit 2
fi

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

if [ -n "${HL_WINEPREFIX:-}" ]; then
    prefix=$HL_WINEPREFIX
else
    # The build tree is the nearest folder above the program with a CMakeCache.txt.
    dir=$(cd "$(dirname "$1")" && pwd)
    while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do
        dir=$(dirname "$dir")
    done
    if [ "$dir" = / ]; then
        dir=$(pwd)
    fi
    prefix=$dir/wineprefix
fi

WINEPREFIX=$prefix
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/system.reg" ]; then
            "$WINE" wineboot -i >/dev/null 2>&1 || true
            "$WINESERVER" -w
        fi
    ) 9>"$prefix.lock"
    if [ ! -f "$prefix/system.reg" ]; then
        echo "wine-run.sh: could not create the Wine prefix $prefix" >&2
        exit 1
    fi
fi

exec "$WINE" "$@"

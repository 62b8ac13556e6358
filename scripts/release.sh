#!/usr/bin/env bash
# Builds the release packages Harrowlight-<version>-win32.zip and -win64.zip into dist/:
# each holds Harrowlight.exe, harrowlight-cli.exe, the user guide, README.txt and
# LICENCE.txt. The version is the project() line of CMakeLists.txt.
#
#   scripts/release.sh            both packages (build trees build-win32/ and build-win64/)
#   scripts/release.sh win64      one of them
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(win32 win64)
mkdir -p dist
for arch in "${archs[@]}"; do
    case $arch in
        win32) toolchain=cmake/mingw-i686.cmake ;;
        win64) toolchain=cmake/mingw-x86_64.cmake ;;
        *) echo "usage: $0 [win32] [win64]" >&2; exit 2 ;;
    esac
    tree=build-$arch
    cmake -S "$root" -B "$tree" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/$toolchain"
    cmake --build "$tree" -j2 --target release_zip
    version=$(sed -nE 's/^project\(Harrowlight VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
    cp "$tree/Harrowlight-$version-$arch.zip" dist/
    echo "dist/Harrowlight-$version-$arch.zip"
done

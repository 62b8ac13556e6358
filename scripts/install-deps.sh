#!/bin/sh
# Installs the Debian packages that building and testing Harrowlight need.
#
#   scripts/install-deps.sh                  apt-get update, then install all of them
#   scripts/install-deps.sh --if-missing X…  the same, but only when one of X… is
#                                            missing (a command name, or a file path,
#                                            which may contain a * pattern)
#
# Runs apt-get directly as root and through sudo otherwise; never asks questions.
set -eu

PACKAGES="
  cmake make g++
  libgtest-dev googletest
  libbenchmark-dev
  mingw-w64
  wine wine64 fonts-wine
  xvfb xauth x11-utils
  pulseaudio pulseaudio-utils
  clang libclang-rt-14-dev
  python3
  sox imagemagick ffmpeg
  zlib1g-dev libz-mingw-w64-dev
  pkg-config libsndfile1-dev flac lame vorbis-tools opus-tools
  g++-multilib lib32z1-dev qemu-user-static
  slurm-wlm munge
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-ugly gstreamer1.0-libav
  flac lame
"

have() {
    case $1 in
        */*)
            # A path: let the shell expand a pattern, then test the first match.
            for match in $1; do
                [ -e "$match" ] && return 0
            done
            return 1
            ;;
        *)
            command -v "$1" >/dev/null 2>&1
            ;;
    esac
}

if [ "${1:-}" = "--if-missing" ]; then
    shift
    missing=""
    for need in "$@"; do
        have "$need" || missing="$missing $need"
    done
    if [ -z "$missing" ]; then
        exit 0
    fi
    echo "install-deps.sh: missing:$missing; installing packages" >&2
elif [ $# -gt 0 ]; then
    echo "usage: $0 [--if-missing tool-or-path...]" >&2
    exit 2
fi

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    # shellcheck disable=SC2086  # the unquoted list prints on one line
    echo "install-deps.sh: not root and no sudo; as root, install:" $PACKAGES >&2
    exit 1
fi

# shellcheck disable=SC2086  # word splitting of the package list is intended
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update </dev/null
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $PACKAGES </dev/null

#!/bin/sh
# Puts Wine's own fonts (Debian's fonts-wine, /usr/share/wine/fonts) into a Wine prefix's
# Fonts folder.
#
#   scripts/wine-system-fonts.sh PREFIX
#
# Debian's Wine 8 looks for its bitmap "System" font (vgasys.fon, which the prefix's registry
# names as FONTS.FON) in the prefix's C:\windows\Fonts and at /usr/share/wine/../fonts, and
# finds it in neither: fonts-wine installs it under /usr/share/wine/fonts. The stock system font
# then falls back through Wine's font links to whatever sans-serif face fontconfig offers
# (DejaVu Sans Bold on a fresh Debian machine), whose labels are about a sixth wider than the
# System font's. Linking the files in gives the program the font it has on Windows. Wine picks
# the folder's files up the next time a process starts.
set -eu
prefix=${1:?usage: $0 PREFIX}
fonts=$prefix/drive_c/windows/Fonts
[ -d /usr/share/wine/fonts ] || { echo "$0: /usr/share/wine/fonts is missing (package fonts-wine)" >&2; exit 1; }
mkdir -p "$fonts"
for file in /usr/share/wine/fonts/*; do
    [ -e "$fonts/$(basename "$file")" ] || ln -s "$file" "$fonts/"
done

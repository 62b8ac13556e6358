#!/usr/bin/env bash
# Shows that the end-to-end tests which compare drawn text pass whatever font the stock
# system font turns out to be: runs them alone in a new Wine prefix twice, once as Wine sets the
# prefix up on this machine and once with Wine's own fonts linked in (its bitmap "System" font,
# which Debian's Wine does not find by itself: scripts/wine-system-fonts.sh says why).
#
#   scripts/check-text-fonts.sh          (needs the win64 tree built: ./test e2e)
#
# It first lists what decides the fallback font: the font files outside Debian's packages, the
# packages that install fonts, and the face fontconfig offers for a bold sans-serif.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
tests='ReadoutWindow.*'

echo "== font files no Debian package owns"
for dir in /usr/share/fonts /usr/local/share/fonts "$HOME/.fonts" "$HOME/.local/share/fonts"; do
    [ -d "$dir" ] || continue
    find "$dir" -type f \( -name '*.tt[fc]' -o -name '*.otf' -o -name '*.fon' -o -name '*.pcf*' \) -print0 |
        xargs -0 -r dpkg -S 2>&1 | grep 'no path found' | sed 's/^dpkg-query: //'
done
echo "== packages that install fonts"
dpkg -S /usr/share/fonts 2>/dev/null | tr -d ',' | cut -d: -f1 | tr ' ' '\n' | sort -u | sed 's/^/  /'
echo "== fontconfig's bold sans-serif (the stock system font when Wine's System font is missing)"
fc-match 'sans-serif:bold' 2>/dev/null | sed 's/^/  /'

status=0
for fonts in no yes; do
    echo "== the text tests alone, Wine's own fonts linked into the prefix: $fonts"
    HL_E2E_WINE_FONTS=$fonts scripts/e2e-alone.sh "$tests" || status=1
done
exit "$status"

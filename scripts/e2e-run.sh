#!/usr/bin/env bash
# Runs the end-to-end test program under Wine, one process per test suite: the program's
# state lives per process and its window is made once, so each suite is one life of the
# main window. Meant to run inside scripts/e2e-env.sh, which provides the display, the
# sound server and the Wine prefix.
#
#   scripts/e2e-run.sh harrowlight_e2e_tests.exe Harrowlight.exe ARTIFACT_DIR [gtest args...]
#
# Screenshots the tests leave as BMP files in ARTIFACT_DIR are converted to PNG there; each
# suite's GoogleTest report is ARTIFACT_DIR/<suite>.xml.
set -uo pipefail

if [ $# -lt 3 ]; then
    echo "usage: $0 tests.exe Harrowlight.exe artifact-dir [gtest args...]" >&2
    exit 2
fi
tests=$1
program=$2
artifacts=$3
shift 3

WINE=/usr/lib/wine/wine64
SUITE_TIMEOUT=120  # s for one suite's process

say() { echo "e2e-run.sh: $*" >&2; }

if [ -z "${DISPLAY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
    say "DISPLAY and WINEPREFIX are not set; run this through scripts/e2e-env.sh"
    exit 1
fi
for file in "$tests" "$program"; do
    if [ ! -f "$file" ]; then
        say "$file does not exist (build it first)"
        exit 1
    fi
done

mkdir -p "$artifacts"
artifacts=$(cd "$artifacts" && pwd)
rm -f "$artifacts"/*.bmp "$artifacts"/*.png "$artifacts"/*.xml

# The tests take Linux paths and read them through Wine's Z: drive.
export HL_E2E_PROGRAM
HL_E2E_PROGRAM=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
export HL_E2E_ARTIFACTS=$artifacts

# Suite names are the unindented lines of the listing, "Suite." (Wine's console may add \r).
timeout 60 "$WINE" "$tests" --gtest_list_tests "$@" </dev/null >"$artifacts/listing.txt"
status=$?
listing=$(tr -d '\r' <"$artifacts/listing.txt")
rm -f "$artifacts/listing.txt"
if [ "$status" -ne 0 ]; then
    say "listing the tests of $tests failed (exit code $status)"
    exit 1
fi
mapfile -t suites < <(grep -E '^[^ #][^ ]*\.$' <<<"$listing" | sed 's/\.$//')
if [ ${#suites[@]} -eq 0 ]; then
    say "$tests lists no tests"
    exit 1
fi

results=()
failures=0
for suite in "${suites[@]}"; do
    echo
    echo "---- $suite (own process) ----"
    start=$SECONDS
    report=$artifacts/${suite//\//_}.xml
    timeout --kill-after=10 "$SUITE_TIMEOUT" "$WINE" "$tests" "$@" \
        "--gtest_filter=$suite.*" "--gtest_output=xml:Z:${report//\//\\}" </dev/null
    status=$?
    took=$((SECONDS - start))
    if [ "$status" -eq 124 ]; then
        say "$suite did not finish within ${SUITE_TIMEOUT} s and was stopped"
    fi
    if [ "$status" -eq 0 ]; then
        results+=("$(printf 'ok      %3d s  %s' "$took" "$suite")")
    else
        results+=("$(printf 'FAILED  %3d s  %s (exit code %d)' "$took" "$suite" "$status")")
        failures=$((failures + 1))
    fi
done

for bmp in "$artifacts"/*.bmp; do
    [ -e "$bmp" ] || continue
    if convert "$bmp" "${bmp%.bmp}.png"; then
        rm -f "$bmp"
        echo "screenshot: ${bmp%.bmp}.png"
    else
        say "could not convert $bmp to PNG"
        failures=$((failures + 1))
    fi
done

echo
echo "End-to-end suites:"
printf '  %s\n' "${results[@]}"
[ "$failures" -eq 0 ]

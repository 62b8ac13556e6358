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
#
# A --gtest_filter among the arguments picks the tests as GoogleTest would (one test alone:
# --gtest_filter=ReadoutWindow.ClickWithoutMovementOpensNothing); each chosen suite still runs
# in its own process, with only its chosen tests.
#
# With HL_E2E_SHUFFLE_SEED set (1 to 99999) the suites run in an order drawn from that seed,
# and the tests inside each suite in GoogleTest's shuffled order for the same seed
# (--gtest_shuffle), except in the suites of ORDERED_SUITES below. The seed is printed, so a
# failing order can be run again.
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
DPI_KEY='HKCU\Control Panel\Desktop'
SUITE_TIMEOUT=300  # s for one suite's process, generous for a loaded machine

# Suites whose tests are written as steps of one story (a test needs what the test before it
# left in the window), so their order is kept when shuffling.
ORDERED_SUITES=" ToneAnalysis DisplayView TransportPlayback FileScan PointLog SpectrumLog CaptureLiveScan CaptureRecording "

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
# Each suite's chosen tests, as a filter naming them one by one: a --gtest_filter among the
# arguments has already chosen them in the listing.
declare -A chosen=()
suites=()
suite=""
while IFS= read -r line; do
    if [[ $line =~ ^([^\ #][^\ ]*)\.$ ]]; then
        suite=${BASH_REMATCH[1]}
        suites+=("$suite")
        chosen[$suite]=""
    elif [[ -n $suite && $line =~ ^\ +([^\ ]+) ]]; then
        chosen[$suite]+="${chosen[$suite]:+:}$suite.${BASH_REMATCH[1]}"
    fi
done <<<"$listing"
if [ ${#suites[@]} -eq 0 ]; then
    say "$tests lists no tests"
    exit 1
fi

seed=${HL_E2E_SHUFFLE_SEED:-}
if [ -n "$seed" ]; then
    if ! [[ $seed =~ ^[1-9][0-9]{0,4}$ ]]; then
        say "HL_E2E_SHUFFLE_SEED must be a number from 1 to 99999, not \"$seed\""
        exit 2
    fi
    # Fisher-Yates with bash's own generator, which a seed makes repeatable.
    RANDOM=$seed
    for ((i = ${#suites[@]} - 1; i > 0; i--)); do
        j=$((RANDOM % (i + 1)))
        swap=${suites[i]}
        suites[i]=${suites[j]}
        suites[j]=$swap
    done
    echo "e2e-run.sh: shuffled with seed $seed (HL_E2E_SHUFFLE_SEED=$seed replays this order)"
fi

results=()
failures=0
for suite in "${suites[@]}"; do
    echo
    echo "---- $suite (own process) ----"
    start=$SECONDS
    report=$artifacts/${suite//\//_}.xml
    order=()
    if [ -n "$seed" ] && [[ $ORDERED_SUITES != *" $suite "* ]]; then
        order=(--gtest_shuffle "--gtest_random_seed=$seed")
    fi
    # The HighDpi suites run on a screen of 144 DPI: Wine reads LogPixels as a process starts
    # (this key first, then the machine's fonts key), so no restart is needed either way.
    high_dpi=no
    if [[ $suite == HighDpi* ]]; then
        high_dpi=yes
        old_dpi=$("$WINE" reg query "$DPI_KEY" /v LogPixels </dev/null 2>/dev/null | tr -d '\r' |
                  sed -nE 's/.*REG_DWORD[[:space:]]+0x([0-9a-fA-F]+).*/\1/p')
        "$WINE" reg add "$DPI_KEY" /v LogPixels /t REG_DWORD /d 144 /f </dev/null >/dev/null 2>&1
    fi
    timeout --kill-after=10 "$SUITE_TIMEOUT" "$WINE" "$tests" "$@" "${order[@]}" \
        "--gtest_filter=${chosen[$suite]}" "--gtest_output=xml:Z:${report//\//\\}" </dev/null
    status=$?
    if [ "$high_dpi" = yes ]; then
        if [ -n "$old_dpi" ]; then
            "$WINE" reg add "$DPI_KEY" /v LogPixels /t REG_DWORD /d $((16#$old_dpi)) /f </dev/null >/dev/null 2>&1
        else
            "$WINE" reg delete "$DPI_KEY" /v LogPixels /f </dev/null >/dev/null 2>&1
        fi
    fi
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

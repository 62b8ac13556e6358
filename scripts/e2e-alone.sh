#!/usr/bin/env bash
# Runs every end-to-end test that FILTER chooses alone: one process, one window, one test, so
# that a test which only passes after another one has left the window in some state shows up.
#
#   scripts/e2e-alone.sh [FILTER]     (a GoogleTest filter; default: every test)
#
# Needs the win64 tree built (./test e2e). The suites listed as ordered in scripts/e2e-run.sh
# are written as steps and are expected to fail here beyond their first test; leave them out
# of FILTER.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)
build=$root/build-win64
tests=$build/tests/e2e/harrowlight_e2e_tests.exe
program=$build/Harrowlight.exe
filter=${1:-*}

if [ "${HL_E2E_ALONE_INSIDE:-}" != yes ]; then
    for file in "$tests" "$program"; do
        if [ ! -f "$file" ]; then
            echo "e2e-alone.sh: $file does not exist (run ./test e2e first)" >&2
            exit 1
        fi
    done
    fonts=()
    [ "${HL_E2E_WINE_FONTS:-}" = yes ] && fonts=(--wine-fonts)   # see scripts/e2e-env.sh
    HL_E2E_ALONE_INSIDE=yes exec scripts/e2e-env.sh --prefix "$build/e2e-alone-wineprefix" --timeout 3600 "${fonts[@]}" -- \
        "$root/scripts/e2e-alone.sh" "$filter"
fi

# Inside the private desktop: the listing names the tests, "Suite." then "  Test" lines.
mapfile -t chosen < <(wine64 "$tests" --gtest_list_tests "--gtest_filter=$filter" </dev/null | tr -d '\r' |
    awk '/^[^ #]/ { suite = $1 } /^  [^ ]/ { print suite $1 }')
if [ ${#chosen[@]} -eq 0 ]; then
    echo "e2e-alone.sh: the filter $filter chooses no test" >&2
    exit 1
fi
failed=0
for test in "${chosen[@]}"; do
    log=$build/e2e-alone.log
    if "$root/scripts/e2e-run.sh" "$tests" "$program" "$build/e2e-alone" "--gtest_filter=$test" >"$log" 2>&1; then
        echo "ok      $test"
    else
        echo "FAILED  $test"
        grep -B8 '^\[  FAILED  \] .*ms)$' "$log" | grep -v '^\[ RUN\|^\[       OK' | sed 's/^/    /'
        failed=$((failed + 1))
    fi
done
echo "$((${#chosen[@]} - failed)) of ${#chosen[@]} tests passed alone"
[ "$failed" -eq 0 ]

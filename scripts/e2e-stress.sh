#!/usr/bin/env bash
# Runs the whole end-to-end stage N times in a row while two busy loops load both cores, and
# prints pass or fail for every round: a suite that only passes on a quiet machine shows up
# here. The busy loops are started and stopped by their process ids, also when this script is
# interrupted.
#
#   scripts/e2e-stress.sh [N]      (default 10; the win64 tree must have been configured)
#
# Each round is `ctest -R '^e2e$'` in build-win64/ with the suites' tests shuffled (a new seed
# every round, printed); its whole output is build-win64/e2e-stress/round-K.log. The exit status is
# zero only when every round passed.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)

rounds=${1:-10}
if ! [[ $rounds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [rounds]" >&2
    exit 2
fi
if [ ! -f build-win64/CTestTestfile.cmake ]; then
    echo "e2e-stress.sh: build-win64 is not configured; run ./test e2e once first" >&2
    exit 1
fi
if ! cmake --build build-win64 -j2 --target Harrowlight harrowlight_e2e_tests; then
    echo "e2e-stress.sh: the build failed" >&2
    exit 1
fi

logs=$root/build-win64/e2e-stress
mkdir -p "$logs"
loads=()

stop_loads() {
    local pid
    for pid in "${loads[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    loads=()
}
trap stop_loads EXIT
trap 'echo "e2e-stress.sh: interrupted" >&2; exit 130' INT
trap 'echo "e2e-stress.sh: terminated" >&2; exit 143' TERM

for _ in 1 2; do
    yes >/dev/null &
    loads+=($!)
done
echo "busy loops: pids ${loads[*]}"

passed=0
results=()
for round in $(seq "$rounds"); do
    seed=$(( (RANDOM % 99999) + 1 ))
    log=$logs/round-$round.log
    start=$SECONDS
    # The whole output, passing rounds too: what the tests print about the sound they met
    # (a gap in the tone, a late card) is how a loaded round is read afterwards.
    (cd build-win64 && HL_E2E_SHUFFLE_SEED=$seed ctest -V --timeout 1000 -R '^e2e$') \
        >"$log" 2>&1
    status=$?
    took=$((SECONDS - start))
    if [ "$status" -eq 0 ]; then
        passed=$((passed + 1))
        line=$(printf 'round %2d: pass  %4d s  seed %5d' "$round" "$took" "$seed")
    else
        failed_tests=$(grep -oE '^([0-9]+: )?\[  FAILED  \] [A-Za-z_][A-Za-z_0-9/]*\.[A-Za-z_0-9/]+' "$log" | sed -E 's/^([0-9]+: )?\[  FAILED  \] //' | sort -u | tr '\n' ' ')
        line=$(printf 'round %2d: FAIL  %4d s  seed %5d  %s(%s)' "$round" "$took" "$seed" "$failed_tests" "$log")
    fi
    echo "$line"
    results+=("$line")
done

echo
printf '%s\n' "${results[@]}"
echo "$passed of $rounds rounds passed with both cores loaded"
[ "$passed" -eq "$rounds" ]

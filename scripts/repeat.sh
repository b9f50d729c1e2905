#!/bin/bash
# Runs one command a number of times in a row and tells how often it passed:
# the way to show that a test is not intermittent, or to catch it failing.
# Usage: scripts/repeat.sh <count> <command...>
#   e.g. scripts/repeat.sh 10 ctest --test-dir build -R '^wizard_e2e_test$'
# Every run's output goes to $REPEAT_LOGS (default: a new folder under /tmp),
# a failed run's log is kept as fail-<n>.log; the summary ends the output and the
# exit code is 0 only when every run passed.
set -uo pipefail
[ $# -ge 2 ] || { sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
count="$1"
shift
logs="${REPEAT_LOGS:-$(mktemp -d /tmp/repeat.XXXXXX)}"
mkdir -p "$logs"
passed=0
failed=0
for run in $(seq 1 "$count"); do
    start=$(date +%s)
    if "$@" >"$logs/run-$run.log" 2>&1; then
        passed=$((passed + 1))
        outcome=passed
        rm -f "$logs/run-$run.log"
    else
        failed=$((failed + 1))
        outcome="FAILED (log: $logs/fail-$run.log)"
        mv "$logs/run-$run.log" "$logs/fail-$run.log"
    fi
    echo "run $run/$count: $outcome in $(( $(date +%s) - start )) s"
done
echo "$count runs of: $*"
echo "passed $passed, failed $failed"
[ "$failed" -eq 0 ]

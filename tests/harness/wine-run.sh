#!/bin/bash
# Runs one Windows program of the build under the harness's Wine prefix and display.
# Usage: wine-run.sh <build folder> <program.exe> [arguments...]
# The program's output goes through a file so that processes Wine starts on the
# side can never keep the caller's pipe open.
export KELM_BUILD_DIR="$1"
shift
HERE="$(cd "$(dirname "$0")" && pwd)"
. "$HERE/wine-env.sh"
export KELM_SOURCE_DIR="$(cd "$HERE/../.." && pwd)"
out="$(mktemp "$KELM_HARNESS_DIR/run.XXXXXX")"
wine "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
# A test program that reported its result before the loader's teardown failed
# keeps that result (see wine-env.sh); anything else keeps the exit code.
if wine_teardown_failed "$rc" "$out" && grep -q '^\[  PASSED  \]' "$out" && ! grep -q '^\[  FAILED  \]' "$out"; then
    echo "wine-run: $(basename "$1") reported success; Wine's loader then failed its teardown (exit code 127)"
    rc=0
fi
rm -f "$out"
# A program that dies before flushing its output leaves nothing else to go by.
[ "$rc" -eq 0 ] || echo "wine-run: $(basename "$1") ended with exit code $rc"
exit $rc

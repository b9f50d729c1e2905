#!/bin/bash
# Stops the wineserver and the Xvfb display that setup.sh started.
export KELM_BUILD_DIR="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
. "$HERE/wine-env.sh"
started=$(date +%s%N)
wineserver -k >/dev/null 2>&1 || true
# -k waits about ten seconds for the server's end, then kills it outright and
# returns at once: wait until it has really gone, so that the next start meets no
# dying server.
wineserver -w >/dev/null 2>&1 || true
mkdir -p "$KELM_HARNESS_DIR"
echo "$(date '+%F %T') wineserver stopped in $(( ($(date +%s%N) - started) / 1000000 )) ms" >>"$KELM_HARNESS_DIR/cleanup.log"
if [ -f "$KELM_HARNESS_DIR/xvfb.pid" ]; then
    kill "$(cat "$KELM_HARNESS_DIR/xvfb.pid")" 2>/dev/null || true
    rm -f "$KELM_HARNESS_DIR/xvfb.pid" "$KELM_HARNESS_DIR/display" "$KELM_HARNESS_DIR/display.number"
fi
echo "harness stopped"

#!/bin/bash
# Stops the wineserver and the Xvfb display that setup.sh started.
export KELM_BUILD_DIR="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
. "$HERE/wine-env.sh"
wineserver -k >/dev/null 2>&1 || true
if [ -f "$KELM_HARNESS_DIR/xvfb.pid" ]; then
    kill "$(cat "$KELM_HARNESS_DIR/xvfb.pid")" 2>/dev/null || true
    rm -f "$KELM_HARNESS_DIR/xvfb.pid" "$KELM_HARNESS_DIR/display" "$KELM_HARNESS_DIR/display.number"
fi
echo "harness stopped"

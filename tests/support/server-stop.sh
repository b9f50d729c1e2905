#!/bin/bash
# Stops the loopback test server that server-start.sh started for a build folder.
# Usage: server-stop.sh <build folder>
export KELM_BUILD_DIR="$1"
PIDS="$KELM_BUILD_DIR/harness/loopback-server.pid"
if [ -f "$PIDS" ]; then
    kill "$(cat "$PIDS")" 2>/dev/null || true
    rm -f "$PIDS" "$KELM_BUILD_DIR/harness/loopback-server.json"
fi
echo "loopback server stopped"

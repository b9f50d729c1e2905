#!/bin/bash
# Starts the loopback test server for one build folder (CTest fixture
# "loopback_server"): creates the test certificates once, makes the Wine prefix
# trust the test CA, and starts the server in the background. Its ports land in
# <build>/harness/loopback-server.json.
# Usage: server-start.sh <build folder> <trust_test_ca.exe>
set -euo pipefail
export KELM_BUILD_DIR="$1"
TRUST_TOOL="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
HARNESS="$HERE/../harness"
. "$HARNESS/wine-env.sh"
mkdir -p "$KELM_HARNESS_DIR"
INFO="$KELM_HARNESS_DIR/loopback-server.json"
PIDS="$KELM_HARNESS_DIR/loopback-server.pid"
LOG="$KELM_HARNESS_DIR/loopback-server.log"
TLS="$KELM_HARNESS_DIR/tls"

"$HERE/server-stop.sh" "$KELM_BUILD_DIR" >/dev/null
"$HERE/make-test-certs.sh" "$TLS"
"$HARNESS/wine-run.sh" "$KELM_BUILD_DIR" "$TRUST_TOOL" "$(winepath -w "$TLS/ca.pem" 2>/dev/null)"

rm -f "$INFO"
setsid python3 "$HERE/loopback_server.py" --root "$KELM_HARNESS_DIR/www" --info "$INFO" --tls-dir "$TLS" \
    </dev/null >>"$LOG" 2>&1 &
echo $! > "$PIDS"
for _ in $(seq 1 100); do
    if [ -f "$INFO" ]; then
        echo "loopback server ready: $(cat "$INFO")"
        exit 0
    fi
    kill -0 "$(cat "$PIDS")" 2>/dev/null || break
    sleep 0.1
done
echo "loopback server did not start; see $LOG" >&2
exit 1

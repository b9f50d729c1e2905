#!/bin/bash
# Publishes the demo's first release on a site of its own, starts the demo's
# package server on it and runs the given Windows test program (under the test
# harness) against it. Usage: demo_server_download.sh <build folder> <test program>
set -euo pipefail
BUILD="$1"
PROGRAM="$2"
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
WORK="$(mktemp -d "$BUILD/tests/demo/server-download.XXXXXX")"
SERVER_PID=""
finish() {
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap finish EXIT

mkdir -p "$WORK/site"
python3 "$ROOT/tests/support/loopback_server.py" --root "$WORK/site" --port 0 --port-file "$WORK/port" \
        --log "$WORK/server.log" </dev/null >"$WORK/server.out" 2>&1 &
SERVER_PID=$!
for _ in $(seq 1 200); do
    [ -s "$WORK/port" ] && break
    sleep 0.1
done
[ -s "$WORK/port" ] || { echo "the demo server did not start"; cat "$WORK/server.out"; exit 1; }
export KELM_DEMO_BASE_URL="http://127.0.0.1:$(cat "$WORK/port")"
python3 "$ROOT/demo/layout.py" publish --source "$ROOT/demo" --build "$BUILD" --site "$WORK/site" \
        --base-url "$KELM_DEMO_BASE_URL" --release 8.0.1.0
export KELM_DEMO_SITE="$WORK/site"
rc=0
"$ROOT/tests/harness/wine-run.sh" "$BUILD" "$PROGRAM" || rc=$?
echo "server log:"
cat "$WORK/server.log"
exit "$rc"

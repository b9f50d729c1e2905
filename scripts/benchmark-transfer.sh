#!/bin/bash
# Download speed benchmark (not a test): fetches one file from nginx on
# 127.0.0.1 (started here with a configuration of its own, stopped at the end)
# several ways in one run and compares them:
#   job        the download job (CDownloadJob, no-op progress receiver), file written
#   bare-<n>K  a plain InternetReadFile loop into one buffer of n KiB, no file work:
#              the ceiling of the platform, at 256 KiB, 1 MiB and 4 MiB
#   bare-file  the same loop with the job's buffer size (1 MiB), each buffer
#              written to the file before the next read: the ceiling of a
#              download that keeps what it reads
#   curl       the host's curl, file written: the peer
# It prints MB/s (10^6 bytes per second), the working-set growth and the ratios.
# The ways take turns for the given number of rounds and the fastest round of
# each way counts: on a shared machine the load moves the figures a lot.
# Usage: scripts/benchmark-transfer.sh [size in MiB, default 256] [rounds, default 3] [build folder]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SIZE_MIB="${1:-256}"
ROUNDS="${2:-3}"
BUILD="$(mkdir -p "${3:-$ROOT/build}" && cd "${3:-$ROOT/build}" && pwd)"
command -v nginx >/dev/null || { echo "benchmark: nginx is missing; run scripts/install-deps.sh" >&2; exit 1; }
"$ROOT/scripts/build.sh" "$BUILD" >/dev/null
export KELM_BUILD_DIR="$BUILD"
"$ROOT/tests/harness/setup.sh" "$BUILD" >/dev/null

SERVER="$BUILD/harness/benchmark-nginx"
WWW="$SERVER/www"
mkdir -p "$WWW" "$SERVER/temp"
chmod o+rx "$SERVER" "$WWW"
PORT="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
cat > "$SERVER/nginx.conf" <<CONF
daemon on;
worker_processes 1;
pid $SERVER/nginx.pid;
error_log $SERVER/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    default_type application/octet-stream;
    client_body_temp_path $SERVER/temp/body;
    proxy_temp_path $SERVER/temp/proxy;
    fastcgi_temp_path $SERVER/temp/fastcgi;
    uwsgi_temp_path $SERVER/temp/uwsgi;
    scgi_temp_path $SERVER/temp/scgi;
    server { listen 127.0.0.1:$PORT; root $WWW; }
}
CONF
stop() {
    [ -f "$SERVER/nginx.pid" ] && kill "$(cat "$SERVER/nginx.pid")" 2>/dev/null || true
    "$ROOT/tests/harness/cleanup.sh" "$BUILD" >/dev/null
}
trap stop EXIT
nginx -p "$SERVER" -c "$SERVER/nginx.conf" -e "$SERVER/error.log"

NAME="benchmark-${SIZE_MIB}m.bin"
if [ ! -f "$WWW/$NAME" ]; then
    head -c "$((SIZE_MIB * 1048576))" /dev/urandom > "$WWW/$NAME.tmp"
    mv "$WWW/$NAME.tmp" "$WWW/$NAME"
fi
chmod o+r "$WWW/$NAME"
URL="http://127.0.0.1:$PORT/$NAME"
for i in $(seq 1 50); do curl -s -o /dev/null -r 0-0 "$URL" && break; sleep 0.1; done
OUT="$BUILD/harness/benchmark-download.bin"
OUT_WIN="$(winepath -w "$OUT" 2>/dev/null)"
EXE="$BUILD/tests/transfer/transfer_benchmark.exe"
wine_run() { "$ROOT/tests/harness/wine-run.sh" "$BUILD" "$EXE" "$@" | grep '^RESULT'; }

results=()
for round in $(seq 1 "$ROUNDS"); do
    results+=("$(wine_run job "$URL" "$OUT_WIN")")
    cmp -s "$OUT" "$WWW/$NAME" || results+=("CORRUPT job")
    rm -f "$OUT"
    for kib in 256 1024 4096; do
        results+=("$(wine_run bare "$URL" "$kib" | sed "s/^RESULT bare /RESULT bare-${kib}K /")")
    done
    results+=("$(wine_run bare "$URL" 1024 "$OUT_WIN" | sed "s/^RESULT bare /RESULT bare-file /")")
    cmp -s "$OUT" "$WWW/$NAME" || results+=("CORRUPT bare-file")
    rm -f "$OUT"
    results+=("$(python3 - "$URL" "$OUT" <<'PY'
import resource, subprocess, sys, time
start = time.perf_counter()
done = subprocess.run(["curl", "-s", "-f", "-o", sys.argv[2], "-w", "%{size_download}", sys.argv[1]],
                      capture_output=True, text=True, check=True)
seconds = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024
print("RESULT curl bytes=%s seconds=%.3f ws_before=0 ws_peak=%d reports=0" % (done.stdout, seconds, peak))
PY
)")
    rm -f "$OUT"
done

python3 - "$SIZE_MIB" "$ROUNDS" "${results[@]}" <<'PY'
import sys
size_mib, rounds = int(sys.argv[1]), int(sys.argv[2])
rows, order = {}, []
for line in sys.argv[3:]:
    words = line.split()
    if words[0] == "CORRUPT":
        sys.exit("the file of %s differs from the served file" % words[1])
    fields = {key: float(value) for key, value in (word.split("=", 1) for word in words[2:])}
    way = words[1]
    if way not in order:
        order.append(way)
    if way not in rows or fields["seconds"] < rows[way]["seconds"]:
        rows[way] = fields
expected = size_mib * 1048576
print("Download of %d MiB from nginx on 127.0.0.1 (MB = 10^6 bytes), fastest of %d round(s)" % (size_mib, rounds))
print("%-10s %9s %9s %26s" % ("way", "seconds", "MB/s", "working set"))
for way in order:
    row = rows[way]
    ok = "" if row["bytes"] == expected else "  (got %d bytes!)" % row["bytes"]
    row["mbps"] = row["bytes"] / row["seconds"] / 1e6
    if way == "curl":
        memory = "peak %.1f MiB" % (row["ws_peak"] / 1048576)
    else:
        memory = "+%.1f MiB (peak %.1f)" % ((row["ws_peak"] - row["ws_before"]) / 1048576, row["ws_peak"] / 1048576)
    extra = "  %d progress reports" % row["reports"] if way == "job" else ""
    print("%-10s %9.2f %9.1f %26s%s%s" % (way, row["seconds"], row["mbps"], memory, extra, ok))
ceiling = max((rows[w] for w in rows if w.startswith("bare") and w != "bare-file"), key=lambda r: r["mbps"])
print("job / curl: %.2f   job / fastest bare loop: %.2f   fastest bare loop / curl: %.2f" % (
    rows["job"]["mbps"] / rows["curl"]["mbps"], rows["job"]["mbps"] / ceiling["mbps"],
    ceiling["mbps"] / rows["curl"]["mbps"]))
print("job / bare-1024K (same buffer size): %.2f   job / bare-file (loop writing the file): %.2f" % (
    rows["job"]["mbps"] / rows["bare-1024K"]["mbps"], rows["job"]["mbps"] / rows["bare-file"]["mbps"]))
PY

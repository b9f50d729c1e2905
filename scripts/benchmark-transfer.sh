#!/bin/bash
# Download speed benchmark (not a test): fetches one file from the loopback
# test server three ways in one run and compares them:
#   job   the download job (CDownloadJob, no-op progress receiver), file written
#   bare  a bare WinINet loop: the same requests and 4096-byte reads, no file work
#   curl  the host's curl, file written
# It prints MB/s (10^6 bytes per second), the working-set growth of each download
# and the ratios. The ways take turns for the given number of rounds and the
# fastest round of each way counts: on a shared machine the load of the
# wineserver moves the WinINet figures a lot.
# Usage: scripts/benchmark-transfer.sh [size in MiB, default 256] [rounds, default 1] [build folder]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SIZE_MIB="${1:-256}"
ROUNDS="${2:-1}"
BUILD="${3:-$ROOT/build}"
"$ROOT/scripts/build.sh" "$BUILD" >/dev/null
export KELM_BUILD_DIR="$BUILD"
"$ROOT/tests/harness/setup.sh" "$BUILD" >/dev/null
"$ROOT/tests/support/server-start.sh" "$BUILD" "$BUILD/tests/support/trust_test_ca.exe" >/dev/null
trap '"$ROOT/tests/support/server-stop.sh" "$BUILD" >/dev/null; "$ROOT/tests/harness/cleanup.sh" "$BUILD" >/dev/null' EXIT

WWW="$BUILD/harness/www"
NAME="benchmark-${SIZE_MIB}m.bin"
if [ ! -f "$WWW/$NAME" ]; then
    head -c "$((SIZE_MIB * 1048576))" /dev/urandom > "$WWW/$NAME.tmp"
    mv "$WWW/$NAME.tmp" "$WWW/$NAME"
fi
PORT="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["ports"]["http"])' "$BUILD/harness/loopback-server.json")"
URL="http://127.0.0.1:$PORT/$NAME"
OUT="$BUILD/harness/benchmark-download.bin"
OUT_WIN="$(winepath -w "$OUT" 2>/dev/null)"
EXE="$BUILD/tests/transfer/transfer_benchmark.exe"

results=()
for round in $(seq 1 "$ROUNDS"); do
    results+=("$("$ROOT/tests/harness/wine-run.sh" "$BUILD" "$EXE" job "$URL" "$OUT_WIN" | grep '^RESULT')")
    rm -f "$OUT"
    results+=("$("$ROOT/tests/harness/wine-run.sh" "$BUILD" "$EXE" bare "$URL" | grep '^RESULT')")
    results+=("$(python3 - "$URL" "$OUT" <<'PY'
import resource, subprocess, sys, time
start = time.perf_counter()
done = subprocess.run(["curl", "-s", "-f", "-o", sys.argv[2], "-w", "%{size_download}", sys.argv[1]],
                      capture_output=True, text=True, check=True)
seconds = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024
print("RESULT curl bytes=%s seconds=%.3f ws_before=0 ws_peak_before=0 ws_peak=%d" % (done.stdout, seconds, peak))
PY
)")
    rm -f "$OUT"
done

python3 - "$SIZE_MIB" "$ROUNDS" "${results[@]}" <<'PY'
import sys
size_mib, rounds = int(sys.argv[1]), int(sys.argv[2])
rows = {}
for line in sys.argv[3:]:
    words = line.split()
    fields = {key: float(value) for key, value in (word.split("=", 1) for word in words[2:])}
    way = words[1]
    if rounds > 1:
        print("  round result: %-5s %8.2f s" % (way, fields["seconds"]))
    if way not in rows or fields["seconds"] < rows[way]["seconds"]:
        rows[way] = fields
expected = size_mib * 1048576
print("Download of %d MiB from the loopback server (MB = 10^6 bytes), fastest of %d round(s)" % (size_mib, rounds))
print("%-6s %10s %10s %22s" % ("way", "seconds", "MB/s", "working set"))
for way, label in (("job", "job"), ("bare", "bare"), ("curl", "curl")):
    row = rows[way]
    ok = "" if row["bytes"] == expected else "  (got %d bytes!)" % row["bytes"]
    row["mbps"] = row["bytes"] / row["seconds"] / 1e6
    if way == "curl":
        memory = "peak %.1f MiB" % (row["ws_peak"] / 1048576)
    else:
        memory = "+%.1f MiB (peak %.1f)" % ((row["ws_peak"] - row["ws_before"]) / 1048576, row["ws_peak"] / 1048576)
    print("%-6s %10.2f %10.1f %22s%s" % (label, row["seconds"], row["mbps"], memory, ok))
print("job / bare: %.2f   job / curl: %.2f   bare / curl: %.2f" % (
    rows["job"]["mbps"] / rows["bare"]["mbps"], rows["job"]["mbps"] / rows["curl"]["mbps"],
    rows["bare"]["mbps"] / rows["curl"]["mbps"]))
PY

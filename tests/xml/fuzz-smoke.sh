#!/bin/bash
# Short fuzz run of the XML reader's parsing core: builds tools/native with
# clang (AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer) and fuzzes
# SetText, LoadBytes and the cursor for a few seconds from the seed corpus.
# Usage: fuzz-smoke.sh <source folder> <native build folder> [seconds]
set -euo pipefail
SOURCE="$1"
BUILD="$2"
SECONDS_TO_RUN="${3:-30}"
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$SOURCE/tools/native" -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$BUILD" --target xml_document_fuzzer -j2 >/dev/null
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
"$BUILD/xml_document_fuzzer" -max_total_time="$SECONDS_TO_RUN" -timeout=10 -max_len=8192 \
    -dict="$SOURCE/tools/native/xml.dict" -artifact_prefix="$BUILD/" -print_final_stats=1 \
    "$corpus" "$SOURCE/tools/native/corpus/xml_document" 2>&1 | tail -n 60
exit "${PIPESTATUS[0]}"

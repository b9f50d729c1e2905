#!/bin/bash
# Signs an EXE or MSI file with a test certificate of the build (Authenticode,
# SHA-256, no time stamp: the build has no network), in place or into a copy.
# Usage: sign-file.sh <certificate folder> <vendor|other> <file> [signed copy]
set -euo pipefail
folder="$1" identity="$2" input="$3" output="${4:-$3}"
mkdir -p "$(dirname "$output")"
signed="$output.signing"
rm -f "$signed"
osslsigncode sign -certs "$folder/$identity.crt" -key "$folder/$identity.key" -h sha256 \
    -n "Mirelle Web Installer Client" -in "$input" -out "$signed" >/dev/null
mv -f "$signed" "$output"

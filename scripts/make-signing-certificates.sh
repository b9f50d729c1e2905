#!/bin/bash
# Makes the test code-signing certificates of a build, when missing: the
# vendor's ("Kelmware Test Signing", which the installer, the demo's packages
# and the tests' vendor files are signed with) and another publisher's
# ("Another Publisher Test Signing", for files that must be refused). Each is a
# self-signed leaf for code signing, made with openssl, kept in the build folder
# only: no key is ever committed.
# Usage: make-signing-certificates.sh <folder>
set -euo pipefail
folder="$1"
mkdir -p "$folder"
make_certificate() {
    local name="$1" subject="$2"
    [ -f "$folder/$name.crt" ] && [ -f "$folder/$name.key" ] && return
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
        -keyout "$folder/$name.key" -out "$folder/$name.crt" -subj "/CN=$subject" \
        -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
}
make_certificate vendor "Kelmware Test Signing"
make_certificate other "Another Publisher Test Signing"

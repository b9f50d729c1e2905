#!/bin/bash
# Creates the test certificate authority and the server certificates of the
# loopback server in <folder>, unless they are there already:
#   ca.pem                      the test CA (trusted only inside the test Wine prefix)
#   localhost.pem/.key          for "localhost", issued by the CA
#   other-name.pem/.key         for "other-host.invalid", issued by the CA
#   expired.pem/.key            for "localhost", issued by the CA, valid 2020 only
#   self-signed.pem/.key        for "localhost", issued by itself
# Usage: make-test-certs.sh <folder>
set -euo pipefail
dir="$1"
mkdir -p "$dir"
cd "$dir"
[ -f .complete ] && exit 0
rm -rf ./*.pem ./*.key ca-db
export OPENSSL_CONF=/dev/null

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 -sha256 \
    -subj "/O=Kelm Tests/CN=Kelm Loopback Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null

cat > ca.cnf <<'CNF'
[ca]
default_ca = test_ca
[test_ca]
dir = ca-db
database = ca-db/index.txt
new_certs_dir = ca-db
serial = ca-db/serial
certificate = ca.pem
private_key = ca.key
default_md = sha256
policy = any_policy
copy_extensions = copy
unique_subject = no
[any_policy]
commonName = supplied
[server]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
CNF
mkdir -p ca-db
: > ca-db/index.txt
echo 1000 > ca-db/serial

# issue <name> <host> <start> <end>
issue() {
    openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" \
        -subj "/CN=$2" -addext "subjectAltName=DNS:$2" 2>/dev/null
    openssl ca -batch -config ca.cnf -extensions server -notext \
        -startdate "$3" -enddate "$4" -in "$1.csr" -out "$1.pem" 2>/dev/null
    rm -f "$1.csr"
}
now_minus_day="$(date -u -d '-1 day' +%Y%m%d%H%M%SZ)"
in_two_years="$(date -u -d '+730 days' +%Y%m%d%H%M%SZ)"
issue localhost localhost "$now_minus_day" "$in_two_years"
issue other-name other-host.invalid "$now_minus_day" "$in_two_years"
issue expired localhost 20200101000000Z 20210101000000Z

openssl req -x509 -newkey rsa:2048 -nodes -keyout self-signed.key -out self-signed.pem -days 730 -sha256 \
    -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost" 2>/dev/null
touch .complete

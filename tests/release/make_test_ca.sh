#!/bin/bash
# make_test_ca.sh DIR: a test certificate authority and the signing material
# the release tests use, all made here with openssl:
#   ca.pem, ca.key          the test CA (self-signed)
#   sign.pem, sign.key      a code-signing certificate the CA issued
#   sign.p12                the same as PKCS#12, with the password of password.txt
#   password.txt            that password (one line)
#   web.pem, web.key, web.p12   a certificate for servers only (no code signing)
#   expired.pem, expired.key, expired.p12   a code-signing certificate that expired
#   damaged.p12             sign.p12 with bytes in its middle overwritten
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
q() { "$@" >/dev/null 2>&1 || { echo "make_test_ca.sh: failed: $*" >&2; "$@"; exit 1; }; }

echo "test signing password" >password.txt
q openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 \
  -subj "/CN=KSetup Test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign"

# issue NAME SUBJECT EXTENDED-USE [START END]: a certificate the CA signs
# (with `openssl ca` when its dates are given).
cat >ext.cnf <<'CNF'
[code]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
[web]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
[ca]
default_ca = test
[test]
database = index.txt
serial = serial.txt
new_certs_dir = .
default_md = sha256
policy = anything
copy_extensions = none
[anything]
commonName = supplied
CNF
: >index.txt
echo 1000 >serial.txt
issue() {
  local name=$1 subject=$2 section=$3
  q openssl req -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.csr" -subj "$subject"
  if [ $# -gt 3 ]; then
    q openssl ca -batch -config ext.cnf -cert ca.pem -keyfile ca.key -in "$name.csr" -out "$name.pem" \
      -extfile ext.cnf -extensions "$section" -startdate "$4" -enddate "$5" -notext
  else
    q openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -out "$name.pem" \
      -days 825 -sha256 -extfile ext.cnf -extensions "$section"
  fi
  q openssl pkcs12 -export -in "$name.pem" -inkey "$name.key" -certfile ca.pem -out "$name.p12" \
    -passout file:password.txt -name "$name"
}
issue sign "/CN=KSetup Test Publisher" code
issue web "/CN=www.ksetup.test" web
issue expired "/CN=KSetup Expired Publisher" code 20200101000000Z 20210101000000Z

# A PKCS#12 file damaged in its middle.
cp sign.p12 damaged.p12
size=$(stat -c %s damaged.p12)
printf '\x55\xAA\x55\xAA\x55\xAA\x55\xAA' | dd of=damaged.p12 bs=1 seek=$((size / 2)) conv=notrunc status=none

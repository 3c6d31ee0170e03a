#!/usr/bin/env bash
# Makes the demo SoftHSM token once: a demo CA and two personal certificates whose keys
# live on the token. Later runs reuse it.
#
#   demo/make-demo-token.sh FOLDER
#
# FOLDER gets softhsm2.conf (export it as SOFTHSM2_CONF), the CA certificate (ca.pem) and
# the personal certificates (jana.pem, petr.pem). Token "Quillbox Demo", PIN 1234.
set -euo pipefail
trap 'echo "make-demo-token: failed at line $LINENO" >&2' ERR
folder=${1:?usage: make-demo-token.sh FOLDER}
module=/usr/lib/softhsm/libsofthsm2.so
label="Quillbox Demo"
pin=1234

if [ -s "$folder/ready" ]; then
    exit 0
fi
rm -rf "$folder"
mkdir -p "$folder/tokens"
folder=$(cd "$folder" && pwd)
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' \
    "$folder" >"$folder/softhsm2.conf"
export SOFTHSM2_CONF=$folder/softhsm2.conf
cd "$folder"

cat >ext.cnf <<'CNF'
[demo_ca]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[demo_person]
basicConstraints = CA:false
keyUsage = critical, digitalSignature, nonRepudiation
extendedKeyUsage = emailProtection
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 \
    -subj "/C=CZ/O=Quillbox Demo/CN=Quillbox Demo CA" \
    -extensions demo_ca -config <(cat /usr/lib/ssl/openssl.cnf ext.cnf) 2>/dev/null

softhsm2-util --init-token --free --label "$label" --pin "$pin" --so-pin 123456 >/dev/null

serial=1
person() {  # name, subject, CKA_ID, friendly name
    local name=$1 subject=$2 id=$3 friendly=$4
    openssl req -new -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.csr" \
        -utf8 -subj "$subject" 2>/dev/null
    serial=$((serial + 1))
    openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key -set_serial "$serial" \
        -days 730 -extfile ext.cnf -extensions demo_person -out "$name.pem" 2>/dev/null
    openssl pkcs8 -topk8 -nocrypt -in "$name.key" -outform DER -out "$name.key.der"
    openssl x509 -in "$name.pem" -outform DER -out "$name.der"
    local common=(--module "$module" --token-label "$label" --login --pin "$pin" --id "$id")
    pkcs11-tool "${common[@]}" --write-object "$name.key.der" --type privkey \
        --label "$friendly" --usage-sign >/dev/null 2>&1
    pkcs11-tool "${common[@]}" --write-object "$name.der" --type cert --label "$friendly" \
        >/dev/null 2>&1
    rm -f "$name.key" "$name.csr" "$name.key.der"
}
person jana "/C=CZ/O=Město Kvítkov/CN=Jana Nováková/emailAddress=jana@kvitkov.example" 01 \
    "Jana Nováková (podpis)"
person petr "/C=CZ/O=Město Kvítkov/CN=Petr Dvořák/emailAddress=petr@kvitkov.example" 02 \
    "Petr Dvořák (podpis)"
rm -f ca.key ext.cnf
echo "$label" >ready

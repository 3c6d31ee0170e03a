#!/usr/bin/env bash
# Enrollment round trip: the plug-in makes a key and its certificate request, a demo CA
# issues the certificate with "openssl x509 -req", and a later task packs key and certificate
# into a PFX file, which openssl then opens. A scripted person types the key password and
# picks where the PFX goes. The profile folder is a temporary one, so the key file does not
# land in your home folder.
#
#   demo/enroll-demo.sh [QUILLBOX]     (default: build/src/control/quillbox)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
quillbox=${1:-$root/build/src/control/quillbox}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home TMP=$work XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME"
password='Demo pass 1'

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" \
    -days 30 -subj "/C=CZ/O=Quillbox Demo/CN=Quillbox Demo Enrollment CA" 2>/dev/null

cat >"$work/request.xml" <<XML
<Envelope><task><createcertrequest><certinfo pvklen="2048"><subject>
<attribute oid="2.5.4.3">Jana Nováková</attribute>
<attribute oid="2.5.4.10">Quillbox Demo</attribute>
<attribute oid="2.5.4.6">CZ</attribute>
</subject></certinfo></createcertrequest></task></Envelope>
XML
printf '[{"dialog": "password", "password": "%s"}]' "$password" >"$work/request-answers.json"
response=$("$quillbox" exec "$work/request.xml" --document --lang en \
    --ui "script:$work/request-answers.json" --transcript "$work/transcript.jsonl")
echo "request task answered: ${response:0:60}..."
sed -e 's/^[^>]*>//' -e 's/<.*$//' <<<"$response" | base64 -d >"$work/request.pem"
openssl req -in "$work/request.pem" -noout -verify -subject -nameopt utf8,-esc_msb 2>&1
echo "key file: $(cd "$HOME" && ls pk_*.pem)"

openssl x509 -req -in "$work/request.pem" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
    -set_serial 1 -days 30 -out "$work/issued.pem" 2>/dev/null
echo "the CA issued: $(openssl x509 -in "$work/issued.pem" -noout -subject -nameopt utf8,-esc_msb)"

{
    printf '<Envelope><task><makepfx><publickey>'
    cat "$work/issued.pem" "$work/ca.pem"
    printf '</publickey></makepfx></task></Envelope>'
} >"$work/pfx.xml"
printf '[{"dialog": "password", "password": "%s"}, {"dialog": "savefile", "path": "%s"}]' \
    "$password" "$work/jana" >"$work/pfx-answers.json"
"$quillbox" exec "$work/pfx.xml" --document --lang en --ui "script:$work/pfx-answers.json" \
    --transcript "$work/transcript.jsonl"
ls -l "$work/jana.pfx"
echo "key files left: $(cd "$HOME" && ls pk_*.pem 2>/dev/null | wc -l)"

openssl pkcs12 -in "$work/jana.pfx" -passin "pass:$password" -info -noout 2>&1 | head -3
from_pfx=$(openssl pkcs12 -in "$work/jana.pfx" -passin "pass:$password" -nocerts -nodes |
    openssl pkey -pubout)
from_request=$(openssl req -in "$work/request.pem" -noout -pubkey)
if [ "$from_pfx" = "$from_request" ]; then
    echo "the key in the PFX matches the request"
else
    echo "the key in the PFX does NOT match the request" >&2
    exit 1
fi

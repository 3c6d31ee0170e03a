#!/usr/bin/env bash
# The main job: a form's data signed with a personal certificate on a token. Serves a
# signed "sign" task and a preview of the form from a local HTTP server, runs the task by
# URL, prints the response and checks the signature with OpenSSL. With a display the real
# Qt windows appear and are answered on screen from demo/sign-answers.json, a step every
# QUILLBOX_UI_STEP_MS (700) milliseconds; without one a scripted person answers.
#
#   demo/sign-demo.sh [QUILLBOX]     (default: build/src/control/quillbox)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
quillbox=${1:-$root/build/src/control/quillbox}
token=$root/build/demo-token

# shellcheck source=local-server.sh
. "$here/local-server.sh"

"$here/make-demo-token.sh" "$token"
export SOFTHSM2_CONF=$token/softhsm2.conf
# The demo's choices ("LastSignCert") go to a scratch folder, not the person's own settings.
export XDG_CONFIG_HOME=$work/config
export QUILLBOX_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so

mkdir "$work/www"
cp "$here/form-data.txt" "$work/www/preview.txt"
start_task_server "$work/www"

data=$(base64 -w0 "$here/form-data.txt")
sed -e "s|@DATA@|$data|" -e "s|@PREVIEW@|$base/preview.txt|" "$here/sign-task.xml" >"$work/task.xml"
"$root/tools/make-task-document" "$work/task.xml" "$work/www/task.p7"

ui=(--ui "script:$here/sign-answers.json" --transcript "$work/transcript.jsonl")
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QUILLBOX_DEMO_SCRIPTED:-}" ]; then
    ui=(--ui "qt:$here/sign-answers.json" --transcript "$work/transcript.jsonl")
    export QUILLBOX_UI_STEP_MS=${QUILLBOX_UI_STEP_MS:-700}
    echo "(the real windows, answered on screen: \"Jana Nováková\" is chosen and the PIN typed)"
else
    echo "(no display: a scripted person chooses \"Jana Nováková\" and types the PIN)"
fi
echo "quillbox exec $base/task.p7"
"$quillbox" exec "${ui[@]}" "$base/task.p7" | tee "$work/response.xml"
if [ -s "$work/transcript.jsonl" ]; then
    echo "== what the person was shown"
    python3 - "$work/transcript.jsonl" <<'PY'
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    entry = json.loads(line)
    if entry.get("dialog") == "certificates":
        print(f"certificate dialog \"{entry.get('caption', '')}\"")
        for row in entry.get("rows", []):
            print(f"  {row['name']} | {row['issuer']} | {row['validFrom']} - {row['validTo']}"
                  f" | {row['friendlyName']}")
        print(f"  answer: {entry.get('answer')}")
    elif entry.get("dialog") == "pin":
        print(f"PIN dialog: {' '.join(entry.get('texts', []))} answer: {entry.get('answer')}")
PY
fi

python3 - "$work" <<'PY'
import base64, sys, xml.etree.ElementTree as ET
work = sys.argv[1]
root = ET.parse(work + "/response.xml").getroot()
result = root.get("result")
if root.tag != "signresponse" or result != "ok":
    sys.exit(f"sign-demo: the task ended with <{root.tag} result=\"{result}\">, not a signature")
signature = root.findtext("SignatureValue")
certificate = root.find("X509Certificate")
open(work + "/signature.bin", "wb").write(base64.b64decode(signature))
der = base64.b64decode(certificate.text)
open(work + "/signer.der", "wb").write(der)
print(f"certificate id {certificate.get('id')}, signature {len(base64.b64decode(signature))} bytes")
PY
openssl x509 -inform DER -in "$work/signer.der" -noout -subject -nameopt utf8,sep_comma_plus_space
openssl x509 -inform DER -in "$work/signer.der" -out "$work/signer.pem"
echo "== certificate issued by the demo CA (openssl verify): $(openssl verify -CAfile \
    "$token/ca.pem" "$work/signer.pem" | sed 's/.*: //')"
openssl x509 -inform DER -in "$work/signer.der" -pubkey -noout >"$work/signer-key.pem"
echo "== signature over the form data (openssl dgst -sha256 -verify):"
openssl dgst -sha256 -verify "$work/signer-key.pem" -signature "$work/signature.bin" \
    "$here/form-data.txt"

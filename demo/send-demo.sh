#!/usr/bin/env bash
# A form's data sent to a data-box service with the SMS login: the stand-in service from the
# tests asks for the name and password, "sends" an SMS, asks for its code, and takes the data
# on another of its hosts with the session cookie. With a display the real login windows
# appear and are answered on screen from demo/send-answers.json; without one a scripted
# person answers.
#
#   demo/send-demo.sh [QUILLBOX]     (default: build/src/control/quillbox)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
quillbox=${1:-$root/build/src/control/quillbox}

# shellcheck source=local-server.sh
. "$here/local-server.sh"

start_server python3 "$root/tests/net/servers/databox_test_server.py" "$work/port"
url="http://login.box.localhost:$port/sms/forms/podani"

data=$(base64 -w0 "$here/form-data.txt")
sed -e "s|@DATA@|$data|" -e "s|@URL@|$url|" "$here/send-task.xml" >"$work/task.xml"

ui=(--ui "script:$here/send-answers.json" --transcript "$work/transcript.jsonl")
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QUILLBOX_DEMO_SCRIPTED:-}" ]; then
    ui=(--ui "qt:$here/send-answers.json" --transcript "$work/transcript.jsonl")
    export QUILLBOX_UI_STEP_MS=${QUILLBOX_UI_STEP_MS:-700}
    echo "(the real windows, answered on screen: name and password, then the SMS code)"
else
    echo "(no display: a scripted person types the name and password, then the SMS code)"
fi
echo "quillbox exec --document task.xml   (send to $url, login type sms)"
"$quillbox" exec --document "${ui[@]}" "$work/task.xml" >"$work/response.xml"

python3 - "$work" <<'PY'
import base64, json, sys, xml.etree.ElementTree as ET
work = sys.argv[1]
print("== what the person was shown")
for line in open(work + "/transcript.jsonl", encoding="utf-8"):
    entry = json.loads(line)
    if entry.get("dialog") == "login":
        fields = entry.get("fields", {})
        typed = ", ".join(f"{name} \"{field['text']}\"" for name, field in fields.items()
                          if field.get("shown") and field.get("enabled"))
        print(f"login dialog: {' / '.join(entry.get('texts', []))}")
        print(f"  typed {typed}; pressed \"{entry.get('ok')}\" -> {entry.get('answer')}")
root = ET.parse(work + "/response.xml").getroot()
print("== the page's answer")
print(f"<{root.tag} result=\"{root.get('result')}\" retcode=\"{root.get('retcode')}\">")
if root.get("result") != "ok" or root.get("retcode") != "200":
    sys.exit("send-demo: the service did not take the data")
print("the service's answer: " + base64.b64decode(root.text or "").decode("utf-8"))
PY

#!/usr/bin/env bash
# Serves the demo getplugininfo task as a signed task document from a local HTTP server
# and runs it by URL, the way a page hands the plug-in a task.
#
#   demo/serve-demo.sh [QUILLBOX]     (default: build/src/control/quillbox)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
quillbox=${1:-$root/build/src/control/quillbox}

work=$(mktemp -d)
server=""
cleanup() {
    local status=$?
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

"$root/tools/make-task-document" "$here/getplugininfo.xml" "$work/task.p7"
"$root/tools/task-server.py" "$work" "$work/port" &
server=$!
for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.1
done
[ -s "$work/port" ] || { echo "serve-demo: the task server did not start" >&2; exit 1; }
url="http://127.0.0.1:$(cat "$work/port")/task.p7"
echo "quillbox exec $url"
"$quillbox" exec --ui console "$url"

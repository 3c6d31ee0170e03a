#!/usr/bin/env bash
# Serves the demo getplugininfo task as a signed task document from a local HTTP server
# and runs it by URL, the way a page hands the plug-in a task.
#
#   demo/serve-demo.sh [QUILLBOX]     (default: build/src/control/quillbox)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
quillbox=${1:-$root/build/src/control/quillbox}

# shellcheck source=local-server.sh
. "$here/local-server.sh"

"$root/tools/make-task-document" "$here/getplugininfo.xml" "$work/task.p7"
start_task_server "$work"
url="$base/task.p7"
echo "quillbox exec $url"
"$quillbox" exec --ui console "$url"

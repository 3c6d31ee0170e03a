# Sourced by the demo scripts: a scratch folder and a task server on 127.0.0.1, both gone
# when the script ends.
#   start_task_server FOLDER    serves FOLDER; sets base to "http://127.0.0.1:PORT"
#   start_server COMMAND...     runs a server that writes its port to the file named by its
#                               last argument ("$work/port"); sets port
work=$(mktemp -d)
server=""
cleanup() {
    local status=$?
    if [ -n "$server" ]; then
        # The server runs in a group of its own: an interpreter launcher may sit between
        # this shell and the real server process.
        kill -- "-$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

start_server() {
    setsid "$@" &
    server=$!
    for _ in $(seq 100); do
        [ -s "$work/port" ] && break
        sleep 0.1
    done
    [ -s "$work/port" ] || { echo "$(basename "$0"): the server did not start" >&2; exit 1; }
    port=$(cat "$work/port")
}

start_task_server() {
    start_server "$root/tools/task-server.py" "$1" "$work/port"
    base="http://127.0.0.1:$port"
}

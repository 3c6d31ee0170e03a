# Sourced by the demo scripts: a scratch folder and a task server on 127.0.0.1, both gone
# when the script ends.
#   start_task_server FOLDER    serves FOLDER; sets base to "http://127.0.0.1:PORT"
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

start_task_server() {
    setsid "$root/tools/task-server.py" "$1" "$work/port" &
    server=$!
    for _ in $(seq 100); do
        [ -s "$work/port" ] && break
        sleep 0.1
    done
    [ -s "$work/port" ] || { echo "$(basename "$0"): the task server did not start" >&2; exit 1; }
    base="http://127.0.0.1:$(cat "$work/port")"
}

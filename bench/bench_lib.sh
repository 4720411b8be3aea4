# Shell functions shared by the bench scripts, which source this file:
# free ports, starting the exchange, waiting for a server, stopping what a
# run started. The scripts keep the process id of the server they wait for
# in $pid.

# A free port on address $1 (default 127.0.0.1), UDP unless $2 is STREAM.
free_port() {
    python3 -c "import socket; s=socket.socket(socket.AF_INET, socket.SOCK_${2:-DGRAM}); s.bind(('${1:-127.0.0.1}', 0)); print(s.getsockname()[1])"
}

# Waits up to 10 s for the command $1 to succeed; fails at once when the
# process $pid has ended, showing the file $2 when given.
wait_ready() {
    tries=0
    until eval "$1"; do
        tries=$((tries + 1))
        if [ $tries -gt 100 ] || ! kill -0 "$pid" 2>/dev/null; then
            echo "server did not become ready: $1" >&2
            [ -z "${2:-}" ] || cat "$2" >&2
            exit 1
        fi
        sleep 0.1
    done
}

# Starts `$vela -foreground` under VELA_ROOT=$root with its output in $1 and
# waits until it has bound the SIP port $2; sets $pid.
start_vela() {
    : > "$1"
    VELA_ROOT="$root" "$vela" -foreground > "$1" 2>&1 &
    pid=$!
    wait_ready "grep -q 'SIP Private IP is: .*:$2' '$1'" "$1"
}

# Ends each of the processes named (ids; empty ones skipped) with SIGTERM, in
# that order, waiting for each.
stop_all() {
    for p in "$@"; do
        if [ -n "$p" ] && kill -0 "$p" 2>/dev/null; then
            kill -TERM "$p"
            wait "$p" || true
        fi
    done
}

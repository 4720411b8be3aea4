#!/bin/sh
# Memory of `vela -foreground`: resident size (VmRSS) and malloc's bytes in
# use (glibc malloc_stats, the total of mallinfo2's arenas and mmapped
# blocks, read by calling it through gdb) when idle, after [count] phones
# registered, with [calls] calls ringing and with them connected. Prints the
# growth per phone and per call.
#   bench/memory/memory_use.sh [path/to/vela] [count] [calls]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
vela=${1:-build-bench/vela}
count=${2:-5000}
calls=${3:-256}
root=$(mktemp -d "${TMPDIR:-/tmp}/vela-memory.XXXXXX")
pid=""
uas=""
cleanup() {
    for p in $uas $pid; do
        if kill -0 "$p" 2>/dev/null; then
            kill -TERM "$p"
            wait "$p" || true
        fi
    done
    rm -rf "$root"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Prints "<label> rss <kB> heap <bytes>" and sets rss_<label>, heap_<label>.
measure() {
    lines=$(wc -l < "$root/vela.out")
    gdb -p "$pid" -batch -ex 'call (void)malloc_stats()' > /dev/null 2>&1
    heap=$(tail -n +$((lines + 1)) "$root/vela.out" |
        awk '/^Total/ { total = 1 } total && /in use bytes/ { print $NF; exit }')
    rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
    eval "rss_$1=$rss heap_$1=$heap"
    echo "$1: rss $rss kB, heap in use $heap bytes ($(uptime | sed 's/.*load/load/'))"
}

port=$(free_port)
uas_port=$(free_port)
ext="$root/vela/etc/lines_/extensions_"
mkdir -p "$ext"
# All calls come from one SIPp, above the default cap of calls per source.
printf "port=%d\r\nmaxcallspersource=1000\r\n" "$port" > "$root/vela/etc/sip"
echo "SEQUENTIAL" > "$root/users.csv"
for n in 101 102; do
    printf 'password=pw%d\r\n' "$n" > "$ext/$n"
done
i=0
while [ $i -lt "$count" ]; do
    n=$((10000 + i))
    printf 'password=pw%d\r\n' "$n" > "$ext/$n"
    echo "$n;[authentication username=$n password=pw$n];" >> "$root/users.csv"
    i=$((i + 1))
done

VELA_ROOT="$root" "$vela" -foreground > "$root/vela.out" 2>&1 &
pid=$!
tries=0
until grep -q "SIP Private IP is: .*:$port" "$root/vela.out"; do
    tries=$((tries + 1))
    [ $tries -le 100 ] && kill -0 "$pid" 2>/dev/null || { echo "vela did not start" >&2; exit 1; }
    sleep 0.1
done
sleep 1
measure idle

common="-i 127.0.0.1 -nostdin -buff_size 4194304 -timeout_error"
sipp "127.0.0.1:$port" -sf "$here/../registrar/register_auth.xml" -inf "$root/users.csv" \
    -m "$count" -r 1000000 -l 50 $common -timeout 300s > "$root/register.out" 2>&1
sleep 1
measure registered

sipp "127.0.0.1:$port" -sf "$here/../../tests/callcontrol/sipp/register.xml" -p "$uas_port" -m 1 \
    -s 102 -au 102 -ap pw102 $common -timeout 10s > "$root/register102.out" 2>&1
sipp -sf "$here/uas_ring.xml" -p "$uas_port" $common > "$root/uas.out" 2>&1 &
uas=$!
sleep 1
measure before_calls
sipp "127.0.0.1:$port" -sf "$here/uac_talk.xml" -s 102 -au 101 -ap pw101 -r 100 -l "$calls" \
    -m "$calls" -p "$(free_port)" $common -timeout 60s -trace_stat -stf "$root/calls.csv" \
    > "$root/uac.out" 2>&1 &
uac=$!
sleep 6
measure ringing
sleep 10
measure connected
status=0
wait "$uac" || status=$?
ok=$(awk -F';' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "SuccessfulCall(C)") c = i }
                END { print $c + 0 }' "$root/calls.csv")
echo "calls: $ok of $calls completed (sipp status $status)"
[ "$ok" -eq "$calls" ] || grep -h -m 3 -i "error\|unexpected\|aborting" "$root/uac.out" "$root/uas.out" >&2 || true
sleep 7
measure after_calls

per() { awk -v a="$1" -v b="$2" -v n="$3" -v k="$4" 'BEGIN { printf "%.2f", (a - b) * k / n }'; }
echo "per phone: rss $(per "$rss_registered" "$rss_idle" "$count" 1) kB," \
    "heap $(per "$heap_registered" "$heap_idle" "$count" 0.0009765625) kB"
echo "per ringing call: rss $(per "$rss_ringing" "$rss_before_calls" "$calls" 1) kB," \
    "heap $(per "$heap_ringing" "$heap_before_calls" "$calls" 0.0009765625) kB"
echo "per connected call: rss $(per "$rss_connected" "$rss_before_calls" "$calls" 1) kB," \
    "heap $(per "$heap_connected" "$heap_before_calls" "$calls" 0.0009765625) kB"

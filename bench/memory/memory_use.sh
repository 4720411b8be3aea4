#!/bin/sh
# Memory of `vela -foreground`: resident size (VmRSS) and malloc's bytes in
# use (glibc malloc_stats, the total of mallinfo2's arenas and mmapped
# blocks, read by calling it through gdb) when idle, right after [count]
# phones registered, once the answers kept for repeats (30 s) have aged out,
# with [calls] calls ringing and with them connected. Prints the growth per
# phone and per call, and fails unless every call completed. When Kamailio is
# installed, the same registrations are then sent to it (bench/registrar's
# configuration with its control socket added) and its growth per
# registration is printed: shared memory in use (core.shmmem, where its
# location table lives) and the proportional set size of all its processes.
#   bench/memory/memory_use.sh [path/to/vela] [count] [calls]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
vela=${1:-build-bench/vela}
count=${2:-5000}
calls=${3:-256}
root=$(mktemp -d "${TMPDIR:-/tmp}/vela-memory.XXXXXX")
pid=""
uas=""
. "$here/../bench_lib.sh"
cleanup() {
    stop_all "$uas" "$pid"
    rm -rf "$root"
}
trap cleanup EXIT

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

per() { awk -v a="$1" -v b="$2" -v n="$3" -v k="$4" 'BEGIN { printf "%.2f", (a - b) * k / n }'; }

# Registers the phones of users.csv with 127.0.0.1:$1; fails unless all did.
register_all() {
    sipp "127.0.0.1:$1" -sf "$here/../registrar/register_auth.xml" -inf "$root/users.csv" \
        -m "$count" -r 1000000 -l 50 $common -timeout 300s > "$root/register.out" 2>&1
}

port=$(free_port)
uas_port=$(free_port)
ext="$root/vela/etc/lines_/extensions_"
mkdir -p "$ext" "$root/kamailio" "$root/accounts"
# All calls come from one SIPp, above the default cap of calls per source.
printf "port=%d\r\nmaxcallspersource=1000\r\n" "$port" > "$root/vela/etc/sip"
echo "SEQUENTIAL" > "$root/users.csv"
printf 'SEQUENTIAL\n102;[authentication username=102 password=pw102];\n' > "$root/user102.csv"
printf 'table_name(string) table_version(int)\nsubscriber:7\n' > "$root/kamailio/version"
echo "id(int,auto) username(string) domain(string,null) password(string) ha1(string,null) ha1b(string,null)" \
    > "$root/kamailio/subscriber"
for n in 101 102; do
    printf 'password=pw%d\r\n' "$n" > "$ext/$n"
done
i=0
while [ $i -lt "$count" ]; do
    n=$((10000 + i))
    printf 'password=pw%d\r\n' "$n" > "$root/accounts/$n"
    echo "$n;[authentication username=$n password=pw$n];" >> "$root/users.csv"
    echo "$((i + 1)):$n:127.0.0.1:pw$n:::" >> "$root/kamailio/subscriber"
    i=$((i + 1))
done

start_vela "$root/vela.out" "$port"
sleep 1
measure idle

# The phones' accounts appear only now, so that their cost counts too (as
# Kamailio's figure includes its subscriber table).
mv "$root/accounts/"* "$ext/"
common="-i 127.0.0.1 -nostdin -buff_size 4194304 -timeout_error"
register_all "$port"
sleep 1
measure registered
# Answers are kept 30 s for repeated requests (at most 4,096 of them, however
# many phones there are); the next request drops those that aged out.
sleep 31
sipp "127.0.0.1:$port" -sf "$here/../registrar/register_auth.xml" -inf "$root/user102.csv" \
    -p "$uas_port" -m 1 $common -timeout 10s > "$root/register102.out" 2>&1
sleep 1
measure settled

sipp -sf "$here/uas_ring.xml" -p "$uas_port" -l "$((calls * 2))" $common -trace_err -error_file "$root/uas_errors.log" \
    > "$root/uas.out" 2>&1 &
uas=$!
sleep 1
measure before_calls
sipp "127.0.0.1:$port" -sf "$here/uac_talk.xml" -s 102 -au 101 -ap pw101 -r 100 -l "$calls" \
    -m "$calls" -p "$(free_port)" $common -timeout 60s -trace_stat -stf "$root/calls.csv" \
    -trace_err -error_file "$root/uac_errors.log" > "$root/uac.out" 2>&1 &
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
[ "$ok" -eq "$calls" ] || cat "$root"/*errors.log >&2 2>/dev/null || true
sleep 7
measure after_calls
kill -TERM "$pid" "$uas"
wait "$pid" "$uas" || true

echo "per phone, right after: rss $(per "$rss_registered" "$rss_idle" "$count" 1) kB," \
    "heap $(per "$heap_registered" "$heap_idle" "$count" 0.0009765625) kB"
echo "per phone, settled: rss $(per "$rss_settled" "$rss_idle" "$count" 1) kB," \
    "heap $(per "$heap_settled" "$heap_idle" "$count" 0.0009765625) kB"
echo "per ringing call: rss $(per "$rss_ringing" "$rss_before_calls" "$calls" 1) kB," \
    "heap $(per "$heap_ringing" "$heap_before_calls" "$calls" 0.0009765625) kB"
echo "per connected call: rss $(per "$rss_connected" "$rss_before_calls" "$calls" 1) kB," \
    "heap $(per "$heap_connected" "$heap_before_calls" "$calls" 0.0009765625) kB"
[ "$ok" -eq "$calls" ] || exit 1
command -v kamailio > /dev/null || exit 0

# Kamailio: shared memory in use (bytes) and the PSS of all its processes
# (kB), in "<shm> <pss>".
kam_measure() {
    shm=$(kamcmd -s "unix:$root/kamailio.ctl" core.shmmem | awk '$1 == "used:" { print $2 }')
    pss=$(for p in $pid $(cat "/proc/$pid/task/"*/children 2>/dev/null); do
        awk '/^Pss:/ { print $2 }' "/proc/$p/smaps_rollup"
    done | awk '{ s += $1 } END { print s }')
    echo "$shm $pss"
}
port=$(free_port)
sed "s/@PORT@/$port/; s|@DB@|$root/kamailio|" "$here/../registrar/kamailio.cfg" |
    sed "/^loadmodule \"sl.so\"/i loadmodule \"ctl.so\"\nmodparam(\"ctl\", \"binrpc\", \"unix:$root/kamailio.ctl\")" \
    > "$root/kamailio.cfg"
kamailio -f "$root/kamailio.cfg" -DD -E -Y "$root/kamailio" > "$root/kamailio.out" 2>&1 &
pid=$!
wait_ready "ss -lun | grep -q '127.0.0.1:$port ' && [ -S '$root/kamailio.ctl' ]"
sleep 1
set -- $(kam_measure)
echo "kamailio idle: shm in use $1 bytes, pss $2 kB"
shm0=$1 pss0=$2
register_all "$port"
sleep 1
set -- $(kam_measure)
echo "kamailio registered: shm in use $1 bytes, pss $2 kB"
echo "kamailio per registration: pss $(per "$2" "$pss0" "$count" 1) kB," \
    "shm $(per "$1" "$shm0" "$count" 0.0009765625) kB"

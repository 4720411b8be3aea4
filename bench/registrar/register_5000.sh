#!/bin/sh
# Registrar throughput: SIPp registers distinct extensions (REGISTER, 401
# challenge, digest answer, 200) as fast as it can against `vela -foreground`
# on loopback. Prints registrations per second and the service's CPU time per
# registration; fails unless every registration succeeded. When Kamailio is
# installed, the same run is repeated against it (registrar with digest
# authentication, bindings in memory) and the ratio of the rates is printed.
#   bench/registrar/register_5000.sh [path/to/vela] [count]
# ATTACH, when set, is a command given the exchange's process id and run
# while the exchange registers the phones (and goes quiet after them),
# stopped with SIGINT, e.g.
#   ATTACH="strace -c -f -o /tmp/reg.strace -p"  or
#   ATTACH="perf record -g -o /tmp/reg.perf -p"
set -eu
here=$(cd "$(dirname "$0")" && pwd)
vela=${1:-build-bench/vela}
count=${2:-5000}
root=$(mktemp -d "${TMPDIR:-/tmp}/vela-reg-bench.XXXXXX")
pid=""
. "$here/../bench_lib.sh"
cleanup() {
    stop_all "$pid"
    rm -rf "$root"
}
trap cleanup EXIT

# CPU ticks of $pid and its children (Kamailio forks its workers).
cpu_ticks() {
    for p in $pid $(cat "/proc/$pid/task/"*/children 2>/dev/null); do
        awk '{ print $14 + $15 }' "/proc/$p/stat"
    done | awk '{ s += $1 } END { print s }'
}

# CPU ticks once the server has gone quiet (at most 1 tick in 300 ms, or
# 30 s), so that work done behind the answers (writing the registrations to
# their records) is counted too.
settled_ticks() {
    last=$(cpu_ticks)
    tries=0
    while [ $tries -lt 100 ]; do
        sleep 0.3
        now=$(cpu_ticks)
        [ $((now - last)) -le 1 ] && break
        last=$now
        tries=$((tries + 1))
    done
    echo "$now"
}

# Runs SIPp against 127.0.0.1:$1 and prints "name: ok failed rate us/reg".
measure() {
    hz=$(getconf CLK_TCK)
    cpu0=$(cpu_ticks)
    t0=$(date +%s%N)
    status=0
    rm -f "$root/stat.csv"
    sipp "127.0.0.1:$1" -sf "$here/register_auth.xml" -inf "$root/users.csv" -m "$count" \
        -r 1000000 -l 50 -buff_size 4194304 -i 127.0.0.1 -nostdin -timeout 300s \
        -timeout_error -trace_stat -stf "$root/stat.csv" > "$root/sipp.out" 2>&1 || status=$?
    t1=$(date +%s%N)
    cpu1=$(settled_ticks)
    t2=$(date +%s%N)
    ok=$(awk -F';' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "SuccessfulCall(C)") c = i }
                    END { print $c }' "$root/stat.csv")
    failed=$(awk -F';' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "FailedCall(C)") c = i }
                        END { print $c }' "$root/stat.csv")
    elapsed_us=$(( (t1 - t0) / 1000 ))
    cpu_us=$(( (cpu1 - cpu0) * 1000000 / hz ))
    rate=$(( count * 1000000 / elapsed_us ))
    echo "$2 registrations: ${ok:-0} of $count, failed ${failed:-?} (sipp status $status)"
    echo "$2 rate: $rate registrations/s over $(( elapsed_us / 1000 )) ms"
    echo "$2 server CPU: $(( cpu_us / count )) us per registration ($(( cpu_us / 1000 )) ms total, quiet $(( (t2 - t1) / 1000000 )) ms after the last answer)"
    [ "$status" -eq 0 ] && [ "${ok:-0}" -eq "$count" ]
}

stop_server() {
    kill -TERM "$pid"
    wait "$pid" || true
    pid=""
}

# Accounts 10000 upwards, password "pw" + number. SIPp does not expand fields
# inside [authentication], so the whole keyword is a field of its own.
port=$(free_port)
mkdir -p "$root/vela/etc/lines_/extensions_" "$root/kamailio"
echo "port=$port" > "$root/vela/etc/sip"
echo "SEQUENTIAL" > "$root/users.csv"
printf 'table_name(string) table_version(int)\nsubscriber:7\n' > "$root/kamailio/version"
echo "id(int,auto) username(string) domain(string,null) password(string) ha1(string,null) ha1b(string,null)" \
    > "$root/kamailio/subscriber"
i=0
while [ $i -lt "$count" ]; do
    n=$((10000 + i))
    printf 'password=pw%d\r\n' "$n" > "$root/vela/etc/lines_/extensions_/$n"
    echo "$n;[authentication username=$n password=pw$n];" >> "$root/users.csv"
    echo "$((i + 1)):$n:127.0.0.1:pw$n:::" >> "$root/kamailio/subscriber"
    i=$((i + 1))
done

start_vela "$root/server.out" "$port"
attached=""
if [ -n "${ATTACH:-}" ]; then
    $ATTACH "$pid" > "$root/attach.out" 2>&1 &
    attached=$!
    sleep 2
fi
vela_status=0
measure "$port" vela > "$root/vela.result" || vela_status=$?
cat "$root/vela.result"
if [ -n "$attached" ]; then
    kill -INT "$attached"
    wait "$attached" || true
fi
stop_server
[ "$vela_status" -eq 0 ] || exit "$vela_status"

command -v kamailio > /dev/null || exit 0
port=$(free_port)
sed "s/@PORT@/$port/; s|@DB@|$root/kamailio|" "$here/kamailio.cfg" > "$root/kamailio.cfg"
kamailio -f "$root/kamailio.cfg" -DD -E -Y "$root/kamailio" > "$root/server.out" 2>&1 &
pid=$!
wait_ready "ss -lun | grep -q '127.0.0.1:$port '" "$root/server.out"
kam_status=0
measure "$port" kamailio > "$root/kamailio.result" || kam_status=$?
cat "$root/kamailio.result"
stop_server
vela_rate=$(awk '/ rate: / { print $3 }' "$root/vela.result")
kam_rate=$(awk '/ rate: / { print $3 }' "$root/kamailio.result")
echo "ratio vela/kamailio: $(awk -v a="$vela_rate" -v b="$kam_rate" 'BEGIN { printf "%.2f", a / b }')"
exit "$kam_status"

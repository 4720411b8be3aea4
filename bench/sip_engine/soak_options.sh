#!/bin/sh
# Soak of the SIP engine: SIPp sends 10,000 OPTIONS (no retransmissions) as
# fast as it can to `vela -foreground` on loopback. Prints messages per
# second, the service's CPU time per message, and fails unless every OPTIONS
# was answered. At most 100 OPTIONS are in flight: more overflow the
# receive buffer of SIPp itself (it reads answers more slowly than vela
# sends them).
#   bench/sip_engine/soak_options.sh [path/to/vela] [count]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
vela=${1:-build-bench/vela}
count=${2:-10000}
root=$(mktemp -d /tmp/vela-soak.XXXXXX)
log="$root/vela.out"
pid=""
. "$here/../bench_lib.sh"
cleanup() {
    stop_all "$pid"
    rm -rf "$root"
}
trap cleanup EXIT

port=$(free_port)
mkdir -p "$root/vela/etc"
echo "port=$port" > "$root/vela/etc/sip"
start_vela "$log" "$port"

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
cpu0=$(cpu_ticks)
t0=$(date +%s%N)
status=0
sipp "127.0.0.1:$port" -sf "$here/options_soak.xml" -m "$count" -r 1000000 -l 100 \
    -nr -i 127.0.0.1 -nostdin -timeout 120s -timeout_error -trace_stat -stf "$root/stat.csv" \
    > "$root/sipp.out" 2>&1 || status=$?
t1=$(date +%s%N)
cpu1=$(cpu_ticks)

ok=$(awk -F';' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "SuccessfulCall(C)") c = i }
                END { print $c }' "$root/stat.csv")
elapsed_us=$(( (t1 - t0) / 1000 ))
cpu_us=$(( (cpu1 - cpu0) * 1000000 / hz ))
echo "OPTIONS answered: ${ok:-0} of $count (sipp status $status)"
echo "rate: $(( count * 1000000 / elapsed_us )) messages/s over $(( elapsed_us / 1000 )) ms"
echo "server CPU: $(( cpu_us / count )) us per message ($(( cpu_us / 1000 )) ms total)"
[ "$status" -eq 0 ] && [ "${ok:-0}" -eq "$count" ]

#!/bin/sh
# Registrar throughput: SIPp registers distinct extensions (REGISTER, 401
# challenge, digest answer, 200) as fast as it can against `vela -foreground`
# on loopback. Prints registrations per second and the service's CPU time per
# registration; fails unless every registration succeeded.
#   bench/registrar/register_5000.sh [path/to/vela] [count]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
vela=${1:-build-bench/vela}
count=${2:-5000}
root=$(mktemp -d "${TMPDIR:-/tmp}/vela-reg-bench.XXXXXX")
log="$root/vela.out"
pid=""
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid"
        wait "$pid" || true
    fi
    rm -rf "$root"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$root/vela/etc/lines_/extensions_"
echo "port=$port" > "$root/vela/etc/sip"
echo "SEQUENTIAL" > "$root/users.csv"
i=0
while [ $i -lt "$count" ]; do
    n=$((10000 + i))
    printf 'password=pw%d\r\n' "$n" > "$root/vela/etc/lines_/extensions_/$n"
    echo "$n;[authentication username=$n password=pw$n];" >> "$root/users.csv"
    i=$((i + 1))
done
VELA_ROOT="$root" "$vela" -foreground > "$log" 2>&1 &
pid=$!
tries=0
until grep -q "SIP Private IP is: .*:$port" "$log"; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 "$pid" 2>/dev/null; then
        echo "vela did not bind port $port" >&2
        cat "$log" >&2
        exit 1
    fi
    sleep 0.1
done

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
cpu0=$(cpu_ticks)
t0=$(date +%s%N)
status=0
sipp "127.0.0.1:$port" -sf "$here/register_auth.xml" -inf "$root/users.csv" -m "$count" \
    -r 1000000 -l 50 -buff_size 4194304 -i 127.0.0.1 -nostdin -timeout 300s -timeout_error \
    -trace_stat -stf "$root/stat.csv" > "$root/sipp.out" 2>&1 || status=$?
t1=$(date +%s%N)
cpu1=$(cpu_ticks)

ok=$(awk -F';' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "SuccessfulCall(C)") c = i }
                END { print $c }' "$root/stat.csv")
failed=$(awk -F';' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "FailedCall(C)") c = i }
                END { print $c }' "$root/stat.csv")
elapsed_us=$(( (t1 - t0) / 1000 ))
cpu_us=$(( (cpu1 - cpu0) * 1000000 / hz ))
echo "registrations: ${ok:-0} of $count, failed ${failed:-?} (sipp status $status)"
echo "rate: $(( count * 1000000 / elapsed_us )) registrations/s over $(( elapsed_us / 1000 )) ms"
echo "server CPU: $(( cpu_us / count )) us per registration ($(( cpu_us / 1000 )) ms total)"
[ "$status" -eq 0 ] && [ "${ok:-0}" -eq "$count" ]

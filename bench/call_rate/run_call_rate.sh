#!/bin/sh
# Call rate through the exchange: SIPp as extension 101 (digest
# authenticated) calls 102, a registered SIPp that answers at once; the
# caller hangs up right after the ACK, no media. Each step runs for five
# seconds at a higher rate and prints the calls, the failures, the rate
# reached and the exchange's CPU time (user + system from /proc) per call.
# The same SIPp pair is then run directly, without the exchange, to show
# the load generator's own ceiling.
#   bench/call_rate/run_call_rate.sh [vela] [call_rate_setup] [rates...]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
sippdir="$here/../../tests/callcontrol/sipp"
vela=${1:-build-bench/vela}
setup=${2:-build-bench/bench/call_rate/call_rate_setup}
shift 2 2>/dev/null || shift $#
rates=${*:-50 100 200 400 800}
seconds=5
root=$(mktemp -d /tmp/vela-callrate.XXXXXX)
pid=""
uas=""
cleanup() {
    for p in $uas $pid; do
        if kill -0 "$p" 2>/dev/null; then
            kill -TERM "$p"
            wait "$p" || true
        fi
    done
    [ -n "${KEEP_ROOT:-}" ] || rm -rf "$root"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
port=$(free_port)
uas_port=$(free_port)
mkdir -p "$root/vela/etc"
echo "port=$port" > "$root/vela/etc/sip"
VELA_ROOT="$root" "$setup"
VELA_ROOT="$root" "$vela" -foreground > "$root/vela.out" 2>&1 &
pid=$!
tries=0
until grep -q "SIP Private IP is: .*:$port" "$root/vela.out"; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 "$pid" 2>/dev/null; then
        echo "vela did not bind port $port" >&2
        exit 1
    fi
    sleep 0.1
done

common="-i 127.0.0.1 -nostdin -buff_size 4194304 -nd -timeout_error"
sipp "127.0.0.1:$port" -sf "$sippdir/register.xml" -p "$uas_port" -m 1 -s 102 -au 102 \
    -ap pw102 $common -timeout 10s > "$root/register.out" 2>&1
sipp -sf "$here/uas.xml" -p "$uas_port" $common > "$root/uas.out" 2>&1 &
uas=$!

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

# run <label> <remote> <scenario> <rate> <cpu pid>
run() {
    calls=$(($4 * seconds))
    stat="$root/stat-$1-$4.csv"
    cpu0=$(cpu_ticks "$5")
    t0=$(date +%s%N)
    sipp "$2" -sf "$here/$3" -s 102 -au 101 -ap pw101 -r "$4" -m "$calls" -p "$(free_port)" \
        $common -timeout 60s -trace_stat -stf "$stat" > "$root/uac.out" 2>&1 || true
    t1=$(date +%s%N)
    cpu1=$(cpu_ticks "$5")
    failed=$(awk -F';' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "FailedCall(C)") c = i }
                        END { print $c + 0 }' "$stat")
    ok=$(awk -F';' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "SuccessfulCall(C)") c = i }
                    END { print $c + 0 }' "$stat")
    elapsed_us=$(((t1 - t0) / 1000))
    cpu_us=$(((cpu1 - cpu0) * 1000000 / hz))
    printf '%-7s rate %5d/s: %6d calls, %5d ok, %4d failed, %5d calls/s reached, %5d us CPU per call (%s)\n' \
        "$1" "$4" "$calls" "$ok" "$failed" $((ok * 1000000 / elapsed_us)) $((cpu_us / calls)) \
        "$([ "$1" = exchange ] && echo vela || echo answering SIPp)"
}

for rate in $rates; do
    run exchange "127.0.0.1:$port" uac_pbx.xml "$rate" "$pid"
done
for rate in $rates; do
    run direct "127.0.0.1:$uas_port" uac_direct.xml "$rate" "$uas"
done

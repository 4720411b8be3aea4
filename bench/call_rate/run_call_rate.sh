#!/bin/sh
# Call rate through the exchange: SIPp as extension 101 (digest
# authenticated) calls 102, a registered SIPp that answers at once; the
# caller hangs up right after the ACK, no media. Each step runs for five
# seconds at a higher rate and prints the calls, the failures, the rate
# reached and the exchange's CPU time (user + system from /proc) per call.
# When Kamailio is installed the same steps run through it as a
# transaction-stateful proxy (bench/call_rate/kamailio_proxy.cfg: 407
# challenge, record-route, relay of the one dialog) in the same run. The same
# SIPp pair is then run directly, without the exchange, to show the load
# generator's own ceiling. Last, the ceiling of each: the highest rate with
# under 0.1% failed calls.
#   bench/call_rate/run_call_rate.sh [vela] [call_rate_setup] [rates...]
# ATTACH, when set, is a command given the exchange's process id and run
# for the exchange's steps only, stopped with SIGINT after them, e.g.
#   ATTACH="strace -c -f -o /tmp/calls.strace -p"  or
#   ATTACH="perf record -g -o /tmp/calls.perf -p"
# (the calls made are the sum of rate x 5 over the steps).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
vela=${1:-build-bench/vela}
setup=${2:-build-bench/bench/call_rate/call_rate_setup}
shift 2 2>/dev/null || shift $#
rates=${*:-50 100 200 400 600 800}
seconds=5
# TMPDIR=/dev/shm puts the settings tree on tmpfs.
root=$(mktemp -d "${TMPDIR:-/tmp}/vela-callrate.XXXXXX")
pid=""
uas=""
kam=""
. "$here/../bench_lib.sh"
cleanup() {
    stop_all "$uas" "$pid" "$kam"
    [ -n "${KEEP_ROOT:-}" ] || rm -rf "$root"
}
trap cleanup EXIT

port=$(free_port)
uas_port=$(free_port)
mkdir -p "$root/vela/etc"
# The registering phone is one of the call tests' generated scenarios.
python3 "$here/../../tests/support/sipp_gen.py" "$here/../../tests" "$root/sipp" > /dev/null
sippdir="$root/sipp/callcontrol/sipp"
echo "port=$port" > "$root/vela/etc/sip"
VELA_ROOT="$root" "$setup"
start_vela "$root/vela.out" "$port"

common="-i 127.0.0.1 -nostdin -buff_size 4194304 -nd -timeout_error ${SIPP_OPTIONS:-}"
register() {
    sipp "127.0.0.1:$1" -sf "$sippdir/register.xml" -p "$uas_port" -m 1 -s 102 -au 102 \
        -ap pw102 $common -timeout 10s > "$root/register.out" 2>&1
}
register "$port"
if command -v kamailio > /dev/null; then
    kam_port=$(free_port)
    mkdir -p "$root/kamailio"
    printf 'table_name(string) table_version(int)\nsubscriber:7\n' > "$root/kamailio/version"
    printf '%s\n' "id(int,auto) username(string) domain(string,null) password(string) ha1(string,null) ha1b(string,null)" \
        "1:101:127.0.0.1:pw101:::" "2:102:127.0.0.1:pw102:::" > "$root/kamailio/subscriber"
    sed "s/@PORT@/$kam_port/; s|@DB@|$root/kamailio|" "$here/kamailio_proxy.cfg" > "$root/kamailio.cfg"
    # Its default 64 MB of shared memory runs out at 800 calls/s (finished
    # transactions wait out their timers there): "out of mem" and the
    # process ends, which would make the ceiling Kamailio's memory setting.
    kamailio -m 512 -f "$root/kamailio.cfg" -DD -E -Y "$root/kamailio" > "$root/kamailio.out" 2>&1 &
    kam=$!
    tries=0
    until ss -lun | grep -q "127.0.0.1:$kam_port "; do
        tries=$((tries + 1))
        [ $tries -le 100 ] || { echo "kamailio did not bind port $kam_port" >&2; exit 1; }
        sleep 0.1
    done
    register "$kam_port"
fi
sipp -sf "$here/uas.xml" -p "$uas_port" $common > "$root/uas.out" 2>&1 &
uas=$!

# CPU ticks of $1 and its children (Kamailio forks its workers).
cpu_ticks() {
    for p in $1 $(cat "/proc/$1/task/"*/children 2>/dev/null); do
        awk '{ print $14 + $15 }' "/proc/$p/stat"
    done | awk '{ s += $1 } END { print s }'
}
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
    printf '%-8s rate %5d/s: %6d calls, %5d ok, %4d failed, %5d calls/s reached, %5d us CPU per call (%s)\n' \
        "$1" "$4" "$calls" "$ok" "$failed" $((ok * 1000000 / elapsed_us)) $((cpu_us / calls)) \
        "$(case $1 in exchange) echo vela ;; kamailio) echo kamailio ;; *) echo answering SIPp ;; esac)"
    # Under 0.1% failed (and nothing left unanswered) keeps the step.
    if [ $((ok * 1000)) -ge $((calls * 999)) ] && [ $((failed * 1000)) -lt "$calls" ]; then
        eval "ceiling_$1=$4"
    fi
}
ceiling_exchange=0
ceiling_kamailio=0
ceiling_direct=0

attached=""
if [ -n "${ATTACH:-}" ]; then
    $ATTACH "$pid" > "$root/attach.out" 2>&1 &
    attached=$!
    sleep 2
fi
for rate in $rates; do
    run exchange "127.0.0.1:$port" uac_pbx.xml "$rate" "$pid"
done
if [ -n "$attached" ]; then
    kill -INT "$attached"
    wait "$attached" || true
fi
if [ -n "$kam" ]; then
    for rate in $rates; do
        run kamailio "127.0.0.1:$kam_port" uac_pbx.xml "$rate" "$kam"
    done
fi
# NO_DIRECT=1 leaves out the direct pair (for before/after runs).
if [ -z "${NO_DIRECT:-}" ]; then
    for rate in $rates; do
        run direct "127.0.0.1:$uas_port" uac_direct.xml "$rate" "$uas"
    done
fi
echo "ceiling (under 0.1% failed): vela $ceiling_exchange/s, kamailio $ceiling_kamailio/s, direct SIPp $ceiling_direct/s"
uptime

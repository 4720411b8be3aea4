#!/bin/sh
# Media load on the exchange's RTP relay: <calls> calls from extension 101
# (SIPp at 127.0.0.1, a private address) to 102 (SIPp at 127.1.0.1, which
# the exchange takes for a public one, so it relays the audio), all connected
# at once, each carrying PCMU at 20 ms packets both ways for <seconds>. The
# RTP ends are bench/media_load/media_load, which prints per-stream loss and
# RFC 3550 jitter at the receiving side, the transit time through the
# exchange and the exchange's CPU share over the sending window.
#   bench/media_load/run_media_load.sh [vela] [call_rate_setup] [media_load] [calls] [seconds]
# e.g. a quick check: run_media_load.sh "" "" "" 20 10
# Defaults: the build-bench tree, 200 calls, 60 seconds.
# ATTACH, when set, is a command given the exchange's process id, run from
# before the first call until the media has run and stopped with SIGINT,
# e.g. ATTACH="strace -c -f -o /tmp/media.strace -p".
set -eu
here=$(cd "$(dirname "$0")" && pwd)
vela=${1:-build-bench/vela}
setup=${2:-build-bench/bench/call_rate/call_rate_setup}
tool=${3:-build-bench/bench/media_load/media_load}
calls=${4:-200}
seconds=${5:-60}
caller_ip=127.0.0.1
callee_ip=127.1.0.1
rate=50 # calls set up per second
# SENDER_RT=1 runs media_load under real-time round-robin priority 50 (the
# exchange's relay threads run at 91), so that on a busy machine its own
# sending schedule does not make most of the jitter seen at the receivers.
rt=""
[ -z "${SENDER_RT:-}" ] || rt="chrt -r 50"
root=$(mktemp -d "${TMPDIR:-/tmp}/vela-media.XXXXXX")
pid=""
uas=""
uac=""
rtp=""
. "$here/../bench_lib.sh"
cleanup() {
    stop_all "$uac" "$rtp" "$uas" "$pid"
    [ -n "${KEEP_ROOT:-}" ] || rm -rf "$root"
}
trap cleanup EXIT

gen="$here/../../tests/support/sipp_gen.py"
python3 "$gen" "$here" "$root"
python3 "$gen" "$here/../../tests/callcontrol" "$root/callcontrol"
port=$(free_port $caller_ip)
uas_port=$(free_port $callee_ip)
mkdir -p "$root/vela/etc"
# All calls come from one SIPp; relay ports from a base of this run's own.
printf 'port=%d\r\nrtpportbase=%d\r\nmaxcallspersource=%d\r\nmaxcalls=%d\r\n' "$port" \
    $((20000 + (port % 5000) * 2)) $((calls + 16)) $((calls + 16)) > "$root/vela/etc/sip"
printf 'port=%d\r\n' "$(free_port $caller_ip STREAM)" > "$root/vela/etc/webserver"
VELA_ROOT="$root" "$setup"
start_vela "$root/vela.out" "$port"

# -aa: the phones answer the exchange's activity polls (INFO, OPTIONS) of
# calls that stay quiet for a minute, as real phones do.
common="-nostdin -buff_size 4194304 -nd -timeout_error -aa"
sipp "$caller_ip:$port" -sf "$root/callcontrol/sipp/register.xml" -i $callee_ip -p "$uas_port" \
    -m 1 -s 102 -au 102 -ap pw102 $common -timeout 10s > "$root/register.out" 2>&1 ||
    { echo "102 did not register" >&2; cat "$root/register.out" >&2; exit 1; }

attached=""
if [ -n "${ATTACH:-}" ]; then
    $ATTACH "$pid" > "$root/attach.out" 2>&1 &
    attached=$!
    sleep 2
fi
$rt "$tool" "$calls" "$seconds" "$root" "$pid" $caller_ip $callee_ip > "$root/media.out" 2>&1 &
rtp=$!
wait_ready "[ -e '$root/ready' ] || ! kill -0 $rtp"
echo "before: $(uptime | sed 's/.*load/load/')"
sipp -sf "$root/sipp/talk_uas.xml" -i $callee_ip -p "$uas_port" -mp "$(free_port $callee_ip)" \
    -inf "$root/callee.csv" -trace_logs -log_file "$root/callee.log" $common \
    > "$root/uas.out" 2>&1 &
uas=$!
# Every call talks until the last one is set up and the media has run.
hold_ms=$(((calls / rate + seconds + 10) * 1000))
sipp "$caller_ip:$port" -sf "$root/sipp/talk_uac.xml" -i $caller_ip -p "$(free_port $caller_ip)" \
    -mp "$(free_port $caller_ip)" -s 102 -au 101 -ap pw101 -r $rate -m "$calls" -l "$calls" \
    -d $hold_ms -inf "$root/caller.csv" -trace_logs -log_file "$root/caller.log" $common \
    -timeout $((hold_ms / 1000 + 60))s -trace_stat -stf "$root/uac.csv" > "$root/uac.out" 2>&1 &
uac=$!

status=0
wait $rtp || status=$?
rtp=""
if [ -n "$attached" ]; then
    kill -INT "$attached"
    wait "$attached" || true
fi
cat "$root/media.out"
echo "after: $(uptime | sed 's/.*load/load/')"
wait $uac || status=$?
uac=""
ok=$(awk -F';' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "SuccessfulCall(C)") c = i }
                END { print $c + 0 }' "$root/uac.csv")
echo "calls completed (SIPp 101): $ok of $calls"
grep -i 'rtp\|relay\|polling\|refused' "$root/vela.out" | sort | uniq -c | head -5 || true
exit $status

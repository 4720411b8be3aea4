#!/bin/sh
# User-space instructions per call where the machine has no hardware
# counters for `perf stat`: runs the exchange under callgrind for the given
# steps (run_call_rate.sh, Kamailio and the direct pair left out) with its
# counters zeroed when the steps start, and prints the total, the receive
# thread's and the call threads' share, and the calls of malloc, calloc,
# realloc and free, and the datagrams received (7 per call; more when the
# run was slow enough for retransmissions). Divide by the calls made (rate x 5). KEEP_OUT=<file>
# keeps the callgrind output for callgrind_annotate.
#   bench/call_rate/callgrind_calls.sh [vela] [call_rate_setup] [rates...]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
vela=$(realpath "${1:-build-bench/vela}")
setup=${2:-build-bench/bench/call_rate/call_rate_setup}
shift 2 2>/dev/null || shift $#
work=$(mktemp -d)
printf '#!/bin/sh\nexec valgrind --tool=callgrind --callgrind-out-file=%s/out.%%p %s "$@"\n' \
    "$work" "$vela" > "$work/vela"
# A background job of a script ignores SIGINT; Python may still take it.
printf '%s\n' '#!/usr/bin/python3' 'import signal, subprocess, sys, time' \
    'subprocess.run(["callgrind_control", "-z", sys.argv[1]], capture_output=True)' \
    'signal.signal(signal.SIGINT, lambda *a: sys.exit(0))' 'while True: time.sleep(0.2)' \
    > "$work/zero"
chmod +x "$work/vela" "$work/zero"
# Kamailio (in /usr/sbin) is left out of PATH.
PATH=/usr/local/bin:/usr/bin:/bin NO_DIRECT=1 ATTACH="$work/zero" SIPP_OPTIONS=-nr \
    sh "$here/run_call_rate.sh" "$work/vela" "$setup" "${@:-20}" | grep 'rate'
callgrind_annotate --inclusive=yes "$work"/out.* 2>/dev/null |
    grep -E 'PROGRAM TOTALS|LSipEngine::ThreadFunction\(\) \[|LPBXSipLine::ThreadFunction\(\) \['
# Callgrind names a function once as "cfn=(id) name" and then by its id;
# each call site is followed by "calls=<count> ...".
awk '/^c?fn=\([0-9]+\) / { id = substr($1, index($1, "(")); name[id] = substr($0, index($0, " ") + 1) }
     /^cfn=/ { id = substr($1, index($1, "(")); callee = name[id] }
     /^calls=/ { split(substr($1, 7), c, " "); n[callee] += c[1] }
     END { printf "calls: malloc %d, calloc %d, realloc %d, free %d; datagrams %d\n",
           n["malloc"], n["calloc"], n["realloc"], n["free"],
           n["LSipEngine::ReceivePacket(char const*, unsigned long, LIPAddressWithPort const&)"] }' "$work"/out.*
[ -z "${KEEP_OUT:-}" ] || cat "$work"/out.* > "$KEEP_OUT"
rm -rf "$work"

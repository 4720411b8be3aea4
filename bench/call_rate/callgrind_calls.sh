#!/bin/sh
# User-space instructions per call where the machine has no hardware
# counters for `perf stat`: runs the exchange under callgrind for the given
# steps (run_call_rate.sh, Kamailio and the direct pair left out) with its
# counters zeroed when the steps start, and prints the total, the receive
# thread's and the call threads' share. Divide by the calls made (rate x 5).
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
PATH=/usr/local/bin:/usr/bin:/bin NO_DIRECT=1 ATTACH="$work/zero" \
    sh "$here/run_call_rate.sh" "$work/vela" "$setup" "${@:-20}" | grep 'rate'
callgrind_annotate --inclusive=yes "$work"/out.* 2>/dev/null |
    grep -E 'PROGRAM TOTALS|LSipEngine::ThreadFunction\(\) \[|LPBXSipLine::ThreadFunction\(\) \['
rm -rf "$work"

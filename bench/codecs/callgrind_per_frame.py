#!/usr/bin/env python3
"""Instructions per 20 ms frame from a callgrind profile of codecs_bench.

    valgrind --tool=callgrind --callgrind-out-file=cg.out \\
        build-bench/bench/codecs/codecs_bench --benchmark_min_time=0.1
    bench/codecs/callgrind_per_frame.py cg.out

Counts instructions, not time, so the figures do not depend on what else
the machine is running. For each benchmark it divides the inclusive cost of
the per-frame call (ours or the reference library's) by the number of
times the benchmark made that call.
"""
import re
import subprocess
import sys

PER_FRAME_CALLS = ("LGSMEncoder::EncodeNormal", "LGSMDecoder::DecodeFrameNormal",
                   "LG726::EncodeBuffer", "LG726::DecodeBuffer", "gsm_encode",
                   "gsm_decode", "g726_encode", "g726_decode")
CALLER = re.compile(r"\s*([\d,]+) \(.*\)\s+<\s+\?\?\?:\(anonymous namespace\)::"
                    r"(\w+)\(benchmark::State&\) \(([\d,]+)x\)")


def number(text):
    return int(text.replace(",", ""))


def main():
    tree = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--tree=caller", sys.argv[1]],
                          capture_output=True, text=True, check=True).stdout
    callers = []
    rows = {}
    for line in tree.splitlines():
        caller = CALLER.match(line)
        if caller:
            callers.append(caller)
        elif "*  " in line:
            if any(name in line for name in PER_FRAME_CALLS):
                for c in callers:
                    rows[c.group(2)] = (number(c.group(1)) / number(c.group(3)), number(c.group(3)))
            callers = []
        elif not line.strip():
            callers = []
    for name, (per_frame, frames) in sorted(rows.items()):
        print(f"{name:20s} {per_frame:10.0f} instructions per frame ({frames} frames)")


if __name__ == "__main__":
    main()

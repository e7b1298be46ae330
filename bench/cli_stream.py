#!/usr/bin/env python3
"""Streaming figures of `epochsift --batch`: memory under a consumer that reads nothing,
and how soon a record follows its line on a slow input.

    python3 bench/cli_stream.py [--cli PATH] [--threads 2,1000] [--lines 20]

1. Stalled consumer: feeds "0" lines (about 19 KB of JSON each) on stdin for ever and
   never reads stdout; once the input stops being taken for 2 s, reports the peak
   resident memory (VmHWM) and the input taken, for each --threads value.
2. Slow input: writes one value a line every 200 ms and times, for each, the wait from
   the write to its record on stdout; prints the median and the worst.
"""

from __future__ import annotations

import argparse
import os
import select
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from cli_batch import find_cli  # noqa: E402


def vm_kb(pid: int, field: str) -> int:
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def stalled(cli: str, threads: int) -> tuple[float, float]:
    process = subprocess.Popen([cli, "--batch", "--threads", str(threads)], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    taken = [0]

    def feed() -> None:
        piece = b"0\n" * 32768
        try:
            while True:
                process.stdin.write(piece)
                process.stdin.flush()
                taken[0] += len(piece)
        except (BrokenPipeError, ValueError, OSError):
            pass

    threading.Thread(target=feed, daemon=True).start()
    last, since, start = -1, time.monotonic(), time.monotonic()
    while time.monotonic() - since < 2 and time.monotonic() - start < 60 and process.poll() is None:
        time.sleep(0.1)
        if taken[0] != last:
            last, since = taken[0], time.monotonic()
    peak = vm_kb(process.pid, "VmHWM") / 1024
    process.kill()
    process.wait()
    return peak, taken[0] / 2**20


def slow_input(cli: str, lines: int) -> list[float]:
    process = subprocess.Popen([cli, "--batch"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    waits = []
    try:
        for i in range(lines):
            time.sleep(0.2)
            sent = time.monotonic()
            process.stdin.write(f"{1700000000 + i}\n".encode())
            process.stdin.flush()
            ready, _, _ = select.select([process.stdout], [], [], 5)
            if not ready:
                waits.append(float("inf"))
                break
            process.stdout.readline()
            waits.append(time.monotonic() - sent)
    finally:
        process.kill()
        process.wait()
    return waits


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=None)
    parser.add_argument("--threads", default="2,1000")
    parser.add_argument("--lines", type=int, default=20)
    args = parser.parse_args()
    cli = args.cli or find_cli()
    print(f"cli: {cli}; cores: {os.cpu_count()}; load: {os.getloadavg()[0]:.2f}")
    for threads in (int(t) for t in args.threads.split(",")):
        peak, taken = stalled(cli, threads)
        print(f"stalled consumer, --threads {threads}: peak RSS {peak:.0f} MB, input taken {taken:.1f} MB")
    waits = slow_input(cli, args.lines)
    if waits and waits[-1] == float("inf"):
        print(f"slow input: no record within 5 s of line {len(waits)}")
    else:
        print(f"slow input: record after its line: median {statistics.median(waits) * 1000:.1f} ms, "
              f"worst {max(waits) * 1000:.1f} ms over {len(waits)} lines")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Resident memory over a million calls: a leak shows as steady growth.

    python3 bench/memory.py [--calls N] [--limit-mb MB]

Cycles through bench/corpus.tsv calling identify_json and identify in turn
(half the calls each), after two warm-up passes over the corpus that let the
allocators reach their working size. Prints the resident set size at ten
checkpoints and exits 1 when it grew by the limit (2 MB) or more.
"""

from __future__ import annotations

import argparse
import gc
import os
import sys
import time
from pathlib import Path

CORPUS = Path(__file__).resolve().parent / "corpus.tsv"


def resident_bytes() -> int:
    """Current resident set size, from /proc (Linux)."""
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calls", type=int, default=1_000_000)
    parser.add_argument("--limit-mb", type=float, default=2.0)
    args = parser.parse_args()

    import epochsift

    values = [line.split("\t", 2)[2] for line in CORPUS.read_text(encoding="utf-8").splitlines()]
    functions = (epochsift.identify_json, epochsift.identify)
    for _ in range(2):
        for value in values:
            for fn in functions:
                fn(value)
    gc.collect()
    start = resident_bytes()
    print(f"{args.calls} calls over {len(values)} corpus values; resident after warm-up: {start / 2**20:.2f} MiB")

    checkpoint = max(1, args.calls // 10)
    began = time.perf_counter()
    calls = 0
    while calls < args.calls:
        for value in values:
            for fn in functions:
                fn(value)
            calls += 2
            if calls % checkpoint < 2:
                gc.collect()
                print(f"  {calls:>9} calls  {resident_bytes() / 2**20:8.2f} MiB  ({time.perf_counter() - began:.0f} s)",
                      flush=True)
            if calls >= args.calls:
                break
    gc.collect()
    growth = resident_bytes() - start
    ok = growth < args.limit_mb * 2**20
    print(f"growth over {calls} calls: {growth / 2**20:.3f} MiB (limit {args.limit_mb} MB): {'ok' if ok else 'TOO MUCH'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

"""One million calls over a mixed corpus: resident memory must grow by less
than 2 MB after warm-up, and the inputs' reference counts must not move.

    PYTHONPATH=<dir holding epochsift.abi3.so> python3 bench/leak_check.py [--calls N]

Exits non-zero when either check fails. Linux only (reads /proc/self/statm).
"""
import argparse
import gc
import os
import sys
import time

import epochsift

LIMIT_BYTES = 2 << 20

# Every path: integers (with sentinels and packed layouts), floats, each
# string form, texts that read as nothing, and non-ASCII text.
CORPUS = [
    "1700000000",
    "0",
    "-9223372036854775808",
    "14092720279752960",
    "18446744073709551615",
    "45000.5",
    "nan",
    "2024-05-01T12:00:00+02:00[Europe/Paris]",
    "20240501120000.5+0130",
    "240501120000Z",
    "eyJhbGciOiJub25lIn0.eyJleHAiOjE3MDAwMDM2MDAsImlhdCI6MTcwMDAwMDAwMH0.",
    "01ARZ3NDEKTSV4RRFFQ69G5FAV",
    "7ZZZZZZZZZZZZZZZZZZZZZZZZZ",
    "C232AB00-9414-11EC-B3C8-9F6BDECED846",
    "017F22E2-79B0-7CC3-98C4-DC0C0C07398F",
    "507f1f77bcf86cd799439011",
    "q=x&ei=APFTZQ&ved=1",
    "[10/Oct/2000:13:55:36 -0700]",
    "D:20240101120000+05'30'",
    "20240101120000.000000+060",
    "Tue, 1 Jul 2003 10:52:37 +0200 (a (nested) comment)",
    "2024:01:02 03:04:05",
    "2024-060",
    "2020-W53-5",
    "not a timestamp",
    "\u3000 \U0001f600 \x00",
    "x" * 2000,
]


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def run(calls):
    for i in range(calls):
        text = CORPUS[i % len(CORPUS)]
        if i & 1:
            epochsift.identify(text)
        else:
            epochsift.identify_json(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calls", type=int, default=1_000_000)
    args = parser.parse_args()

    refcounts = [sys.getrefcount(text) for text in CORPUS]
    run(20 * len(CORPUS))  # warm up the allocators and the json module
    gc.collect()
    before = resident_bytes()
    start = time.perf_counter()
    step = max(args.calls // 10, 1)
    done = 0
    while done < args.calls:
        batch = min(step, args.calls - done)
        run(batch)
        done += batch
        print(f"{done:>9} calls  resident +{(resident_bytes() - before) / 1024:8.0f} KiB", flush=True)
    gc.collect()
    growth = resident_bytes() - before
    elapsed = time.perf_counter() - start
    refcounts_after = [sys.getrefcount(text) for text in CORPUS]

    print(f"{args.calls} calls in {elapsed:.1f} s ({elapsed / args.calls * 1e6:.1f} us per call)")
    print(f"resident memory growth: {growth / 1024:.0f} KiB (limit {LIMIT_BYTES // 1024} KiB)")
    moved = [CORPUS[i][:40] for i, (a, b) in enumerate(zip(refcounts, refcounts_after)) if a != b]
    print(f"inputs whose reference count moved: {moved or 'none'}")
    ok = growth < LIMIT_BYTES and not moved
    print("leak check passed" if ok else "leak check FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

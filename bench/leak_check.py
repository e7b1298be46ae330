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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python"))

import epochsift  # noqa: E402
from hostile_inputs import CORPUS as MIXED_CORPUS  # noqa: E402

LIMIT_BYTES = 2 << 20

# Every path: the hostile tests' mixed corpus (every form, texts that read as
# nothing, non-ASCII text) and two long texts. A list of its own, so that
# memory.py can swap in the benchmark corpus.
CORPUS = MIXED_CORPUS + ["not a timestamp", "x" * 2000]


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

    # The empty and one-character strings are interpreter-wide singletons that
    # other code references too; their counts say nothing about these calls.
    counted = [text for text in CORPUS if len(text) > 1]
    refcounts = [sys.getrefcount(text) for text in counted]
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
    refcounts_after = [sys.getrefcount(text) for text in counted]

    print(f"{args.calls} calls in {elapsed:.1f} s ({elapsed / args.calls * 1e6:.1f} us per call)")
    print(f"resident memory growth: {growth / 1024:.0f} KiB (limit {LIMIT_BYTES // 1024} KiB)")
    moved = [counted[i][:40] for i, (a, b) in enumerate(zip(refcounts, refcounts_after)) if a != b]
    print(f"inputs whose reference count moved: {moved or 'none'}")
    ok = growth < LIMIT_BYTES and not moved
    print("leak check passed" if ok else "leak check FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

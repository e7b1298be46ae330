"""Times every hostile text family at 100 KB and at 10 MB and prints the
ratio. Linear work gives a ratio near 100; the target is at most 120.
Each call starts with cold caches and is timed in processor time.

    PYTHONPATH=<dir holding epochsift.abi3.so> python3 bench/hostile_scaling.py [--small N] [--large N]

Exits non-zero when a family's ratio exceeds the limit.
"""
import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python"))

import epochsift  # noqa: E402
from hostile_inputs import hostile_inputs  # noqa: E402

LIMIT = 120.0


# Larger than any last-level cache: scanning it before each timed call
# leaves both input sizes to start from memory, so that the ratio measures
# how the work grows rather than whether 100 KB happened to sit in a cache.
EVICT = bytearray(64 << 20)


def best_time(text, repeats):
    # Processor time of this process, so that other work on a shared machine
    # does not count; the best of several runs, each from cold caches.
    best = float("inf")
    for _ in range(repeats):
        EVICT.find(b"x")
        start = time.process_time()
        epochsift.identify_json(text)
        best = min(best, time.process_time() - start)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--small", type=int, default=100_000, help="bytes of the small input (default 100 KB)")
    parser.add_argument("--large", type=int, default=10_000_000, help="bytes of the large input (default 10 MB)")
    parser.add_argument("--family", action="append", help="time only these families")
    args = parser.parse_args()

    small = hostile_inputs(args.small)
    families = args.family or sorted(small)
    expected_ratio = args.large / args.small
    print(f"{'family':<24} {'small ms':>10} {'large ms':>10} {'ratio':>8}")
    worst = 0.0
    failed = []
    for family in families:
        large_text = hostile_inputs(args.large)[family]
        small_time = best_time(small[family], 9)
        large_time = best_time(large_text, 5)
        # Normalised to a 100x size step, so the limit holds for other sizes.
        ratio = large_time / small_time * 100.0 / expected_ratio
        worst = max(worst, ratio)
        flag = "" if ratio <= LIMIT else "  <-- over the limit"
        if flag:
            failed.append(family)
        print(f"{family:<24} {small_time * 1e3:>10.3f} {large_time * 1e3:>10.1f} {ratio:>8.1f}{flag}")
        del large_text
    print(f"worst ratio {worst:.1f} (limit {LIMIT:.0f}); {len(families) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

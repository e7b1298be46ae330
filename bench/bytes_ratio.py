"""identify_bytes against identify(decimal, extended=True) of the same value, per call, one thread.

    PYTHONPATH=build/py python3 bench/bytes_ratio.py [--calls N]

Best of five, in CPU seconds of this process (time.process_time), each call's
result dropped at once (a fresh process, a small heap), and again with the
calls' results kept in one list, as bench/columns.py measures them (the
collector then has a heap to walk). Values: the ones columns.py names
(1_700_000_000 as 4 big-endian bytes, 1_700_000_000_123 as 8) and two with
more byte readings against the decimal's. To compare two builds, run it with
each build's PYTHONPATH in turn, a few times alternately, and give the load.
"""

import argparse
import time

import epochsift

VALUES = [(4, 1_700_000_000), (8, 1_700_000_000_123), (4, 0x65540000), (8, 0x56_5400_0000)]


def per_call(call, calls, keep):
    best = float("inf")
    for _ in range(5):
        start = time.process_time()
        if keep:
            kept = [call() for _ in range(calls)]
        else:
            for _ in range(calls):
                call()
        best = min(best, time.process_time() - start)
        if keep:
            del kept
    return best / calls


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--calls", type=int, default=5000)
    calls = parser.parse_args().calls
    print("| bytes | value | readings (bytes / decimal) | dropped: bytes, decimal, ratio | kept: bytes, decimal, ratio |")
    print("|---|---|---|---|---|")
    for width, value in VALUES:
        data = value.to_bytes(width, "big")
        decimal = str(value)
        row = [str(width), decimal,
               f"{len(epochsift.identify_bytes(data))} / {len(epochsift.identify(decimal, extended=True))}"]
        for keep in (False, True):
            t_bytes = per_call(lambda: epochsift.identify_bytes(data), calls, keep)
            t_dec = per_call(lambda: epochsift.identify(decimal, extended=True), calls, keep)
            row.append(f"{t_bytes * 1e6:.1f} µs, {t_dec * 1e6:.1f} µs, {t_bytes / t_dec:.2f}×")
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()

"""The cost of a hint: the same calls with and without one.

    python3 bench/hint_cost.py [--cli PATH] [--values N] [--rounds R]

A hint is read once a call and shared over every value and family, so a
long hint should add about its own length's reading, once, to a call:
identify_many over 50,000 values with a 1.2 KB hint, the command line's
`--batch --hint` over the same values, and one identify with an 8 MB hint.
Prints the best of a few rounds, in seconds, and the ratio to no hint.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

import epochsift

ROUNDS = 3
VALUES = []
# A 93-byte artifact path, repeated to 1.2 KB: words that name families and words that do not.
PATH = "/Users/analyst/Library/Application Support/Google/Chrome/Default/History-journal.sqlite3"
HINT = (PATH + " ") * 13
BIG_HINT = "zzzz " * ((8 << 20) // 5)


def best_of(call):
    best = float("inf")
    for _ in range(ROUNDS):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def row(name, plain, hinted):
    print(f"{name:<34} {plain:>9.3f} {hinted:>9.3f} {hinted / plain:>7.2f}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", help="the epochsift command line to time (default: none)")
    parser.add_argument("--values", type=int, default=50_000)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    global ROUNDS
    ROUNDS = args.rounds
    VALUES[:] = [str(1_600_000_000 + 7919 * i) for i in range(args.values)]
    print(f"hint {len(HINT)} bytes; {len(VALUES)} values")
    print(f"{'call':<34} {'no hint':>9} {'hint':>9} {'ratio':>7}")
    row("identify_many(threads=1)",
        best_of(lambda: epochsift.identify_many(VALUES, threads=1, best=1)),
        best_of(lambda: epochsift.identify_many(VALUES, threads=1, best=1, hint=HINT)))
    row("identify_many(extended, threads=1)",
        best_of(lambda: epochsift.identify_many(VALUES, threads=1, best=1, extended=True)),
        best_of(lambda: epochsift.identify_many(VALUES, threads=1, best=1, extended=True, hint=HINT)))
    row(f"identify, {len(BIG_HINT) >> 20} MB hint",
        best_of(lambda: epochsift.identify("1700000000")),
        best_of(lambda: epochsift.identify("1700000000", hint=BIG_HINT)))
    if args.cli:
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("\n".join(VALUES) + "\n")
        try:
            run = lambda *extra: subprocess.run(  # noqa: E731
                [args.cli, "--batch", "--threads", "1", "--best", "1", *extra, f.name],
                stdout=subprocess.DEVNULL, check=True)
            row("epochsift --batch --threads 1", best_of(lambda: run()), best_of(lambda: run("--hint", HINT)))
        finally:
            os.unlink(f.name)


if __name__ == "__main__":
    sys.exit(main())

"""The cost of context in the extended reading: the same calls alone, with an
analyst's hint, and with 100 neighbours, per call and over identify_many.

    python3 bench/context_cost.py [--rounds R]

Prints the best of R rounds (process CPU time, steadier than the wall clock on a shared machine) per call in microseconds and the ratio to the
call without context.
"""

import argparse
import random
import time

import epochsift

HINT = "Chrome History urls last_visit_time"


def best_of(rounds, call):
    best = float("inf")
    for _ in range(rounds):
        start = time.process_time()
        call()
        best = min(best, time.process_time() - start)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    rng = random.Random(23)
    values = [str(rng.randrange(10**9, 2 * 10**9)) for _ in range(300)]
    neighbours = [rng.randrange(10**9, 2 * 10**9) for _ in range(100)]

    def per_call(**options):
        # Each answer dropped at once: a list of them all would time the
        # cyclic collector walking a growing heap, not the call.
        def call():
            for v in values:
                epochsift.identify(v, extended=True, **options)
        return call

    alone = best_of(args.rounds, per_call())
    rows = [("alone", alone)]
    rows.append(("hint", best_of(args.rounds, per_call(hint=HINT))))
    rows.append(("100 neighbours", best_of(args.rounds, per_call(neighbours=neighbours))))
    many_alone = best_of(args.rounds, lambda: epochsift.identify_many(values, threads=1))
    many = [("identify_many alone", many_alone),
            ("identify_many hint", best_of(args.rounds, lambda: epochsift.identify_many(values, threads=1, hint=HINT))),
            ("identify_many 100 neighbours",
             best_of(args.rounds, lambda: epochsift.identify_many(values, threads=1, neighbours=neighbours)))]
    print(f"{'':<30} {'µs/value':>9} {'ratio':>6}")
    for name, seconds in rows:
        print(f"{name:<30} {1e6 * seconds / len(values):>9.1f} {seconds / alone:>6.2f}")
    for name, seconds in many:
        print(f"{name:<30} {1e6 * seconds / len(values):>9.1f} {seconds / many_alone:>6.2f}")


if __name__ == "__main__":
    main()

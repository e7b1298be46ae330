"""identify_json per value over distinct values, extended against reference.

    python3 bench/varied_cost.py

bench/extended_cost.py calls each corpus value many times over; a real
caller passes a new value each time. Here every call gets a different
integer of the given digit count (fixed seed), and the same value repeated
is timed beside it. Prints microseconds per call and the extended/reference
ratio for each.
"""

import random
import time

import epochsift

ROUNDS = 5
VALUES = 5000


def per_call_us(call, values):
    best = float("inf")
    for _ in range(ROUNDS):
        start = time.perf_counter()
        for value in values:
            call(value)
        best = min(best, time.perf_counter() - start)
    return best / len(values) * 1e6


def main():
    rng = random.Random(5)
    reference = epochsift.identify_json

    def extended(value):
        return epochsift.identify_json(value, extended=True)

    print(f"{'digits':>6} {'ref same':>9} {'ref varied':>11} {'ext same':>9} {'ext varied':>11} "
          f"{'ratio same':>11} {'ratio varied':>13}")
    for digits in (10, 13, 16, 19):
        varied = [str(rng.randrange(10 ** (digits - 1), 10 ** digits)) for _ in range(VALUES)]
        same = [varied[0]] * VALUES
        r_same, r_varied = per_call_us(reference, same), per_call_us(reference, varied)
        e_same, e_varied = per_call_us(extended, same), per_call_us(extended, varied)
        print(f"{digits:>6} {r_same:>9.2f} {r_varied:>11.2f} {e_same:>9.2f} {e_varied:>11.2f} "
              f"{e_same / r_same:>11.2f} {e_varied / r_varied:>13.2f}")


if __name__ == "__main__":
    main()

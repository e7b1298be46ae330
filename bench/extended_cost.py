"""Cost of identify_json(value, extended=True) against identify_json(value), per value.

    python3 bench/extended_cost.py

For each value of bench/corpus.tsv: the best of 5 rounds of 200 calls in
each mode, the time ratio extended/reference, and the ratio of their output
sizes (the extended reading has more rows and components, so more text).
Prints the median of each ratio per kind and overall, the time ratio
divided by the size ratio (the cost per output byte against the reference),
and the time ratio against identify_json(value, extended=False): passing a
keyword alone costs a call some 80 ns in the interpreter, which weighs on
the shortest outputs.
"""

import pathlib
import statistics
import time

import epochsift

HERE = pathlib.Path(__file__).resolve().parent


def best_time(call, calls=200, rounds=5):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        for _ in range(calls):
            call()
        times.append((time.perf_counter() - start) / calls)
    return min(times)


def main():
    rows = [line.split("\t") for line in (HERE / "corpus.tsv").read_text(encoding="utf-8").splitlines()
            if line.count("\t") >= 2]
    by_kind = {}
    for kind, _, value in rows:
        reference = best_time(lambda: epochsift.identify_json(value))
        extended = best_time(lambda: epochsift.identify_json(value, extended=True))
        keyword = best_time(lambda: epochsift.identify_json(value, extended=False))
        size = len(epochsift.identify_json(value, extended=True).encode()) / max(
            1, len(epochsift.identify_json(value).encode()))
        by_kind.setdefault(kind, []).append((extended / reference, size, extended / keyword))
    print("%-8s %5s %12s %12s %14s %18s" % ("kind", "n", "time ext/ref", "size ext/ref", "time per byte",
                                             "ext/(extended=False)"))
    everything = [r for ratios in by_kind.values() for r in ratios]
    for kind, ratios in list(by_kind.items()) + [("overall", everything)]:
        time_ratio = statistics.median(r[0] for r in ratios)
        size_ratio = statistics.median(r[1] for r in ratios)
        per_byte = statistics.median(r[0] / r[1] for r in ratios)
        against_keyword = statistics.median(r[2] for r in ratios)
        print("%-8s %5d %12.2f %12.2f %14.2f %18.2f" % (kind, len(ratios), time_ratio, size_ratio, per_byte,
                                                        against_keyword))


if __name__ == "__main__":
    main()

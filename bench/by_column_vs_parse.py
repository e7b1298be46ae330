"""identify_arrow(by_column=True) against the parse a user writes knowing the format, in turn.

    python3 bench/by_column_vs_parse.py [--rows N] [--rounds R]

The same columns as bench/columns.py (1,000,000 values by default, fixed
seed): Unix seconds and FILETIMEs as text, ISO 8601 text. For each, the two
are run one after the other R times (default 9), so that a machine whose
speed drifts (a shared host) slows both alike; CPU seconds of this process,
one thread. Prints the best and the median rate of each and their ratios.
A benchmark, never a test.
"""

import argparse
import statistics
import time

import pyarrow as pa
import pyarrow.compute as pc

import epochsift
from columns import columns, known_format_parse


def timed(call):
    start = time.process_time()
    call()
    return time.process_time() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--rounds", type=int, default=9)
    args = parser.parse_args()
    rows = args.rows
    print(f"{rows:,} values, one thread, {args.rounds} rounds in turn; M values/s, best (median)\n")
    print("| column | by_column | known-format parse | by_column / parse, best (median) |")
    print("|---|---|---|---|")
    for name, (column, unit) in columns(rows).items():
        if pa.types.is_integer(column.type):
            continue  # the integer columns: no text to parse
        if unit == "iso":
            parse = lambda: pc.strptime(column, format="%Y-%m-%dT%H:%M:%SZ", unit="s")  # noqa: E731
            label = "Arrow strptime"
        else:
            parse = known_format_parse(column, unit)
            label = "pandas"
        ours, theirs = [], []
        for _ in range(args.rounds):
            ours.append(timed(lambda: epochsift.identify_arrow(column, best=1, threads=1, by_column=True)))
            theirs.append(timed(parse))
        best = rows / min(ours) / 1e6, rows / min(theirs) / 1e6
        median = rows / statistics.median(ours) / 1e6, rows / statistics.median(theirs) / 1e6
        print(f"| {name} | {best[0]:.2f} ({median[0]:.2f}) | {label} {best[1]:.2f} ({median[1]:.2f}) | "
              f"{best[0] / best[1]:.2f} ({median[0] / median[1]:.2f}) |")


if __name__ == "__main__":
    main()

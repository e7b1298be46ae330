"""Columns against a known format's parse, one core, in one run.

    python3 bench/columns.py [--rows N] [--cli PATH [--cli PATH2]] [--only-cli] [--rounds N]

Builds columns of N values (default 1,000,000) from a fixed seed — Unix
seconds and FILETIMEs as text, the same as int64 columns, ISO 8601 text —
and times, best of three, on one thread, in CPU seconds of this process
(time.process_time: on a shared machine the wall clock counts the other
processes' turns too; both sides of every ratio are measured the same way):

  * identify_arrow(best=1), reference and extended, and with by_column=True
    (the verdict from a sample, then the column) and by_column=ID (the
    format named, no verdict);
  * the parse a user writes once the format is known: pandas text -> int64 ->
    to_datetime(unit=...), pandas.to_datetime of ISO text, pyarrow.compute's
    strptime;
  * identify_bytes of 4 and 8 bytes against identify(decimal, extended=True)
    of the same value, per call;
  * with --cli, `epochsift --batch --by-column --best 1 --threads 2`, and
    `--batch --best 1 --threads 1`, over a file of Unix seconds, lines a
    second (wall, and per CPU-second of the child); two --cli builds run in
    turn, round after round; --only-cli times the command line alone.

Prints one Markdown table of rates and the ratios the targets name. Speed
targets are measured here, never in the test suite.
"""

import argparse
import os
import pathlib
import random
import statistics
import subprocess
import tempfile
import time

import pandas as pd
import pyarrow as pa
import pyarrow.compute as pc

import epochsift

FILETIME_1970 = 116_444_736_000_000_000


def best_of(call, rounds=3):
    times = []
    for _ in range(rounds):
        start = time.process_time()
        call()
        times.append(time.process_time() - start)
    return min(times)


def columns(rows, seed=25):
    rng = random.Random(seed)
    seconds = [rng.randrange(946_684_800, 1_893_456_000) for _ in range(rows)]  # 2000 to 2030
    filetimes = [FILETIME_1970 + s * 10_000_000 + rng.randrange(10_000_000) for s in seconds]
    iso = pd.to_datetime(pd.Series(seconds), unit="s").dt.strftime("%Y-%m-%dT%H:%M:%SZ").tolist()
    return {
        "unix seconds text": (pa.array([str(s) for s in seconds]), "s"),
        "FILETIME text": (pa.array([str(f) for f in filetimes]), "filetime"),
        "unix seconds int64": (pa.array(seconds, pa.int64()), "s"),
        "FILETIME int64": (pa.array(filetimes, pa.int64()), "filetime"),
        "ISO 8601 text": (pa.array(iso), "iso"),
    }


FORMAT_IDS = {"s": "unix", "filetime": "filetime", "iso": "iso8601"}


def known_format_parse(column, unit):
    """The parse a user writes knowing the format: the rate baseline."""
    if unit == "iso":
        return lambda: pd.to_datetime(column.to_pandas(), format="%Y-%m-%dT%H:%M:%SZ", utc=True)
    if pa.types.is_integer(column.type):
        values = column.to_numpy()
    else:
        values = None
    def parse():
        ints = values if values is not None else column.to_pandas().astype("int64").to_numpy()
        if unit == "filetime":
            return pd.to_datetime((ints - FILETIME_1970) * 100, unit="ns", utc=True)
        return pd.to_datetime(ints, unit=unit, utc=True)
    return parse


def rate(rows, seconds):
    return rows / seconds / 1e6


def bytes_against_decimal(calls=2000):
    out = {}
    for width, value in ((4, 1_700_000_000), (8, 1_700_000_000_123)):
        data = value.to_bytes(width, "big")
        decimal = str(value)
        t_bytes = best_of(lambda: [epochsift.identify_bytes(data) for _ in range(calls)], 5) / calls
        t_hex = best_of(lambda: [epochsift.identify("0x" + data.hex(), extended=True) for _ in range(calls)], 5) / calls
        t_dec = best_of(lambda: [epochsift.identify(decimal, extended=True) for _ in range(calls)], 5) / calls
        out[width] = (t_bytes, t_hex, t_dec)
    return out


CLI_MODES = {
    "`--batch --by-column --best 1 --threads 2`": ["--batch", "--by-column", "--best", "1", "--threads", "2"],
    "`--batch --best 1 --threads 1`": ["--batch", "--best", "1", "--threads", "1"],
}


def cli_by_column(clis, rows, rounds=2, flags=CLI_MODES["`--batch --by-column --best 1 --threads 2`"]):
    """Each command line's best wall rate and CPU rate (user + system of the child), M lines/s:
    the builds run in turn, round after round, so that the machine's load falls on each alike."""
    with tempfile.TemporaryDirectory() as folder:
        path = pathlib.Path(folder) / "seconds.txt"
        rng = random.Random(5)
        path.write_text("".join(f"{rng.randrange(946_684_800, 1_893_456_000)}\n" for _ in range(rows)))
        walls = {cli: [] for cli in clis}
        cpus = {cli: [] for cli in clis}
        for _ in range(rounds):
            for cli in clis:
                command = [cli, *flags, str(path)]
                before = os.times()
                start = time.perf_counter()  # a child process: its wall clock
                subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
                walls[cli].append(time.perf_counter() - start)
                after = os.times()
                cpus[cli].append(after.children_user - before.children_user + after.children_system - before.children_system)
        return {cli: (rows / min(walls[cli]) / 1e6, rows / min(cpus[cli]) / 1e6) for cli in clis}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--cli", action="append", help="a command line to time (again for another, timed in turn)")
    parser.add_argument("--only-cli", action="store_true", help="time the command line alone")
    parser.add_argument("--rounds", type=int, default=2)
    args = parser.parse_args()
    rows = args.rows
    if args.only_cli:
        print_cli(args.cli or [], rows, args.rounds)
        return
    print(f"{rows:,} values, one thread; rates in M values/s (best of 3)\n")
    print("| column | best=1 reference | best=1 extended | by_column | by_column=ID | known-format parse | extended / parse | by_column / parse |")
    print("|---|---|---|---|---|---|---|---|")
    for name, (column, unit) in columns(rows).items():
        reference = rate(rows, best_of(lambda: epochsift.identify_arrow(column, best=1, extended=False, threads=1)))
        extended = rate(rows, best_of(lambda: epochsift.identify_arrow(column, best=1, threads=1)))
        try:
            by_column = rate(rows, best_of(lambda: epochsift.identify_arrow(column, best=1, threads=1, by_column=True)))
        except TypeError:
            by_column = float("nan")  # a build without by_column
        named = rate(rows, best_of(lambda: epochsift.identify_arrow(column, best=1, threads=1, by_column=FORMAT_IDS[unit])))
        parse = rate(rows, best_of(known_format_parse(column, unit)))
        if unit == "iso":
            strptime = rate(rows, best_of(lambda: pc.strptime(column, format="%Y-%m-%dT%H:%M:%SZ", unit="s")))
            parse_text = f"pandas {parse:.2f}, Arrow strptime {strptime:.2f}"
            by_ratio = by_column / strptime
        else:
            parse_text = f"pandas {parse:.2f}"
            by_ratio = by_column / parse
        print(f"| {name} | {reference:.2f} | {extended:.2f} | {by_column:.2f} | {named:.2f} | {parse_text} | "
              f"{extended / parse:.2f} | {by_ratio:.2f} |")
    print("\n| bytes | identify_bytes | identify('0x…', extended) | identify(decimal, extended) | bytes / decimal |")
    print("|---|---|---|---|---|")
    for width, (t_bytes, t_hex, t_dec) in bytes_against_decimal().items():
        print(f"| {width} | {t_bytes * 1e6:.1f} µs | {t_hex * 1e6:.1f} µs | {t_dec * 1e6:.1f} µs | {t_bytes / t_dec:.2f} |")
    print_cli(args.cli or [], rows, args.rounds)


def print_cli(clis, rows, rounds):
    if not clis:
        return
    for mode, flags in CLI_MODES.items():
        print(f"\n{mode}, {rows:,} lines of Unix seconds (load {os.getloadavg()[0]:.1f}):")
        for cli, (wall, cpu) in cli_by_column(clis, rows, rounds, flags).items():
            print(f"  {cli}: {wall:.2f} M lines/s wall, {cpu:.2f} M lines per CPU-second")


if __name__ == "__main__":
    main()

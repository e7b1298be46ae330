#!/usr/bin/env python3
"""Batch throughput of the epochsift command line, against itself and a peer.

    python3 bench/cli_batch.py [--cli PATH] [--peer PATH] [--count N] [--repeat R]

1. Writes N (default one million) mixed values, one a line, from a fixed
   seed: integers of several families (Unix s/ms/us/ns, FILETIME, Cocoa,
   Snowflake ids, packed 32-bit words, small and negative numbers,
   sentinels), decimals (Unix seconds with a fraction, OLE dates, Julian
   days), ISO 8601 strings, other string forms (RFC 2822, log dates, EXIF,
   ASN.1, PDF), UUIDs v1/v4/v7, ULIDs, ObjectIds and junk.
2. Times `epochsift --batch --best 1` over that file with --threads 1 and
   with the default (every core), R times each, stdout to /dev/null; reports
   the best and the median wall time, values per second, and the peak
   resident memory of the run (VmHWM, sampled every 20 ms).
3. The peer, time-decode (PyPI), has one batch mode, `--csv FILE FORMAT
   COLUMN`, which converts a column with one named format; it has no batch
   form of its guessing mode. So it is timed (a) in that batch mode with
   `unixsec` over the integer values that it supports, next to epochsift's
   batch over the same file, and (b) in its per-value guessing mode,
   `--guess VALUE`, one process a value, over a small sample, extrapolated to
   the whole file. The two are different jobs: (a) reads every value in one
   named format, epochsift reads every value in every format and ranks them.

The machine's core count and load average are printed with the figures:
on a shared machine they explain the spread.
"""

from __future__ import annotations

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import sysconfig
import tempfile
import time
import uuid
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
SEED = 20240501
CROCKFORD = "0123456789ABCDEFGHJKMNPQRSTVWXYZ"
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]


def find_cli() -> str:
    for candidate in (os.environ.get("EPOCHSIFT_CLI"), str(Path(sysconfig.get_path("scripts")) / "epochsift"),
                      shutil.which("epochsift")):
        if candidate and Path(candidate).is_file():
            return candidate
    built = sorted(ROOT.glob("build*/**/bin/epochsift"), key=lambda p: p.stat().st_mtime)
    if not built:
        sys.exit("epochsift is not built: pip install . (or cmake --build <dir> --target epochsift_cli)")
    return str(built[-1])


# Value makers: each takes the generator and a Unix second in 1995..2035.

def unix_s(r, t): return str(t)
def unix_ms(r, t): return str(t * 1000 + r.randrange(1000))
def unix_us(r, t): return str(t * 10**6 + r.randrange(10**6))
def unix_ns(r, t): return str(t * 10**9 + r.randrange(10**9))
def filetime(r, t): return str((t + 11644473600) * 10**7 + r.randrange(10**7))
def cocoa(r, t): return str(t - 978307200)
def snowflake(r, t): return str(((t * 1000 - 1288834974657) << 22) | r.randrange(1 << 22))
def packed_word(r, t): return str(r.randrange(1 << 32))
def small_int(r, t): return str(r.randrange(-100000, 100000))
def sentinel(r, t): return r.choice(["0", "-1", "9223372036854775807", "-9223372036854775808"])
def big_int(r, t): return str(r.randrange(-(1 << 63), 1 << 63))
def unix_fraction(r, t): return f"{t}.{r.randrange(10**6):06d}"
def ole_date(r, t): return f"{25569 + t / 86400:.6f}"
def julian_day(r, t): return f"{2440587.5 + t / 86400:.5f}"


def civil(t):
    return time.gmtime(t)


def iso(r, t):
    g = civil(t)
    zone = r.choice(["Z", "+02:00", "-05:30", "+00:00"])
    fraction = r.choice(["", f".{r.randrange(1000):03d}", f".{r.randrange(10**9):09d}"])
    return time.strftime("%Y-%m-%dT%H:%M:%S", g) + fraction + zone


def rfc2822(r, t):
    g = civil(t)
    return f"{DAYS[g.tm_wday]}, {g.tm_mday:02d} {MONTHS[g.tm_mon - 1]} {g.tm_year} {g.tm_hour:02d}:{g.tm_min:02d}:{g.tm_sec:02d} +0000"


def clf(r, t):
    g = civil(t)
    return f"{g.tm_mday:02d}/{MONTHS[g.tm_mon - 1]}/{g.tm_year}:{g.tm_hour:02d}:{g.tm_min:02d}:{g.tm_sec:02d} +0000"


def exif(r, t): return time.strftime("%Y:%m:%d %H:%M:%S", civil(t))
def asn1(r, t): return time.strftime("%Y%m%d%H%M%S", civil(t)) + r.choice(["Z", ""])
def utctime(r, t): return time.strftime("%y%m%d%H%M%S", civil(t)) + "Z"
def pdf(r, t): return "D:" + time.strftime("%Y%m%d%H%M%S", civil(t)) + "Z"


def uuid_v1(r, t):
    ticks = (t + 12219292800) * 10**7 + r.randrange(10**7)
    low, mid, high = ticks & 0xFFFFFFFF, (ticks >> 32) & 0xFFFF, (ticks >> 48) & 0x0FFF
    return str(uuid.UUID(fields=(low, mid, high | 0x1000, 0x80 | r.randrange(64), r.randrange(256),
                                 r.randrange(1 << 48))))


def uuid_v4(r, t): return str(uuid.UUID(int=r.getrandbits(128), version=4))


def uuid_v7(r, t):
    bits = (t * 1000 + r.randrange(1000)) << 80 | 0x7 << 76 | r.getrandbits(12) << 64 | 0b10 << 62 | r.getrandbits(62)
    return str(uuid.UUID(int=bits))


def ulid(r, t):
    bits = (t * 1000 + r.randrange(1000)) << 80 | r.getrandbits(80)
    return "".join(CROCKFORD[(bits >> (5 * i)) & 31] for i in range(25, -1, -1))


def objectid(r, t): return f"{t:08x}{r.getrandbits(64):016x}"


def junk(r, t):
    return r.choice([
        lambda: "".join(r.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(r.randrange(1, 12))),
        lambda: f"{r.getrandbits(64):x}",
        lambda: "",
        lambda: "N/A",
        lambda: f"user-{r.randrange(10**6)}@example.org",
    ])()


# Weights out of 100: integers 40, decimals 10, ISO 15, other strings 10,
# identifiers 15, junk 10.
MAKERS = [
    (unix_s, 8), (unix_ms, 6), (unix_us, 3), (unix_ns, 3), (filetime, 3), (cocoa, 2), (snowflake, 3),
    (packed_word, 4), (small_int, 4), (sentinel, 1), (big_int, 3),
    (unix_fraction, 5), (ole_date, 3), (julian_day, 2),
    (iso, 15),
    (rfc2822, 2), (clf, 2), (exif, 2), (asn1, 2), (utctime, 1), (pdf, 1),
    (uuid_v1, 3), (uuid_v4, 4), (uuid_v7, 3), (ulid, 3), (objectid, 2),
    (junk, 10),
]
INTEGER_MAKERS = {unix_s, unix_ms, unix_us, unix_ns, filetime, cocoa, snowflake, packed_word, small_int, sentinel,
                  big_int}


def write_values(path: Path, count: int) -> list[str]:
    """Writes the mixed file; returns its integer values, in order."""
    r = random.Random(SEED)
    makers = [m for m, _ in MAKERS]
    weights = [w for _, w in MAKERS]
    integers = []
    with path.open("w", encoding="utf-8", newline="\n") as out:
        for maker in r.choices(makers, weights, k=count):
            value = maker(r, r.randrange(788918400, 2051222400))  # 1995 to 2035
            out.write(value + "\n")
            if maker in INTEGER_MAKERS:
                integers.append(value)
    return integers


def peak_kb(pid: int) -> int:
    """VmHWM of a running process: its own peak, unlike wait4's ru_maxrss, which
    also counts the memory of the Python process it was forked from."""
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    except (OSError, ValueError):
        pass
    return 0


def run_timed(command: list[str], cwd: Path | None = None) -> tuple[float, float, int]:
    """Wall seconds, CPU seconds (user + system, all threads) and peak resident
    kilobytes of one run; stdout is discarded."""
    peak = 0
    start = time.perf_counter()
    with subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, cwd=cwd) as process:
        while True:
            pid, status, usage = os.wait4(process.pid, os.WNOHANG)
            if pid != 0:
                break
            peak = max(peak, peak_kb(process.pid))
            time.sleep(0.02)
        elapsed = time.perf_counter() - start
        process.returncode = os.waitstatus_to_exitcode(status)
        error = process.stderr.read().decode(errors="replace")
    if process.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({process.returncode}): {error}")
    return elapsed, usage.ru_utime + usage.ru_stime, peak


def measure(label: str, command: list[str], values: int, repeat: int, cwd: Path | None = None) -> dict:
    runs = [run_timed(command, cwd) for _ in range(repeat)]
    times = [wall for wall, _, _ in runs]
    best = min(times)
    row = {"label": label, "values": values, "best": best, "median": statistics.median(times),
           "rate": values / best, "cpu": min(cpu for _, cpu, _ in runs),
           "peak_mb": max(peak for _, _, peak in runs) / 1024}
    print(f"  {label:58s} best {best:8.2f} s  median {row['median']:8.2f} s  cpu {row['cpu']:8.2f} s  "
          f"{row['rate']:>12,.0f} values/s  peak {row['peak_mb']:6.1f} MB", flush=True)
    return row


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", help="the epochsift executable (default: found like the tests find it)")
    parser.add_argument("--peer", default=shutil.which("time-decode"), help="the time-decode executable")
    parser.add_argument("--count", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--guess-sample", type=int, default=100, help="values for the peer's per-value mode")
    parser.add_argument("--keep", type=Path, help="directory to keep the generated files in")
    args = parser.parse_args()
    cli = args.cli or find_cli()

    work = args.keep or Path(tempfile.mkdtemp(prefix="epochsift-bench-"))
    work.mkdir(parents=True, exist_ok=True)
    mixed = work / "mixed.txt"
    integers = write_values(mixed, args.count)
    integer_file = work / "integers.csv"
    integer_file.write_text("value\n" + "".join(v + "\n" for v in integers))  # time-decode reads a header row

    cores = os.cpu_count()
    print(f"epochsift: {cli}")
    print(f"{args.count:,} mixed values ({mixed.stat().st_size / 1e6:.1f} MB), {len(integers):,} of them integers; "
          f"{cores} cores, load average {os.getloadavg()[0]:.2f} at start\n")

    rows = []
    print("epochsift --batch --best 1, mixed values:")
    rows.append(measure("epochsift mixed, --threads 1", [cli, "--batch", "--best", "1", "--threads", "1", str(mixed)],
                        args.count, args.repeat))
    rows.append(measure(f"epochsift mixed, all threads ({cores})", [cli, "--batch", "--best", "1", str(mixed)],
                        args.count, args.repeat))
    print("\nintegers only:")
    # The file's header row is one more value for epochsift.
    rows.append(measure("epochsift integers, --threads 1",
                        [cli, "--batch", "--best", "1", "--threads", "1", str(integer_file)], len(integers), args.repeat))
    rows.append(measure(f"epochsift integers, all threads ({cores})",
                        [cli, "--batch", "--best", "1", str(integer_file)], len(integers), args.repeat))

    if not args.peer:
        print("\ntime-decode is not installed (pip install time-decode); peer skipped")
    else:
        print(f"\npeer: {args.peer}")
        rows.append(measure("time-decode --csv FILE unixsec 1 (one format, batch)",
                            [args.peer, "--csv", str(integer_file), "unixsec", "1"], len(integers), 1, cwd=work))
        sample = random.Random(SEED).sample(mixed.read_text(encoding="utf-8").split("\n")[:-1], args.guess_sample)
        sample = [v for v in sample if v and not v.startswith("-")]  # argparse would take these for options
        start = time.perf_counter()
        for value in sample:
            subprocess.run([args.peer, "--guess", value], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        per_value = (time.perf_counter() - start) / len(sample)
        print(f"  time-decode --guess VALUE, one process a value: {per_value * 1000:.0f} ms a value over "
              f"{len(sample)} values; {args.count:,} values would take {per_value * args.count / 3600:.1f} h "
              f"({1 / per_value:.1f} values/s, extrapolated)")
        rows.append({"label": f"time-decode --guess (one process a value, {len(sample)} sampled, extrapolated)",
                     "values": args.count, "best": per_value * args.count, "median": per_value * args.count,
                     "rate": 1 / per_value, "cpu": float("nan"), "peak_mb": float("nan")})

    print(f"\nload average at the end: {os.getloadavg()[0]:.2f}\n")
    print("| run | values | best wall (s) | median wall (s) | CPU (s) | values/s | peak RSS (MB) |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for row in rows:
        print(f"| {row['label']} | {row['values']:,} | {row['best']:.2f} | {row['median']:.2f} | {row['cpu']:.2f} | "
              f"{row['rate']:,.0f} | {row['peak_mb']:.1f} |")
    if not args.keep:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()

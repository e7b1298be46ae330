"""How well `epochsift --scan` finds and ranks the timestamps of real files.

    python3 bench/scan_ranking.py [--cli build/cpp/bin/epochsift] [--truth DIR] [--seed N] [--random-mb 64]

Makes the ground-truth blobs (bench/scan_truth/make_truth.py, real tools)
unless --truth names a folder holding them, scans each with --all and at
the default threshold, and reports:
  recall     share of the true timestamps among the raw hits (--all) and
             among the hits shown by default; a hit finds a timestamp when
             it lies within the timestamp's bytes and gives its instant to
             the second
  precision  share of the hits shown on the real files that are true, and
             hits shown per MB of random bytes
  speed      MB/s of the default scan on one thread, in user CPU time (the
             best of three runs: wall-clock time on a shared machine means
             little), over the random bytes and over the real files laid
             end to end and repeated to the same size
Targets: recall >= 98 % raw, >= 90 % shown; precision >= 80 % on real files,
<= 1 hit per MB of random bytes; >= 200 MB/s on one core.
"""
import argparse
import collections
import csv
import json
import os
import random
import resource
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def scan(cli, path, *extra):
    out = subprocess.run([cli, "--scan", "--json", *extra, path], check=True, capture_output=True).stdout
    return [json.loads(line) for line in out.splitlines()]


def timed_scan(cli, path, runs=3):
    """Shown hits of the default scan on one thread, and its least user CPU time of `runs`."""
    best = None
    for _ in range(runs):
        before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime
        out = subprocess.run([cli, "--scan", "--json", "--threads", "1", path], check=True, capture_output=True).stdout
        seconds = resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime - before
        best = seconds if best is None else min(best, seconds)
    return out.count(b"\n"), best


def finds(hit, truth):
    offset, width, instant = truth
    inside = hit["offset"] >= offset and hit["offset"] + hit["width"] <= offset + width
    return (inside or hit["offset"] == offset) and abs(hit["instant"] - instant) < 10**9


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(HERE, "..", "build", "cpp", "bin", "epochsift"))
    parser.add_argument("--truth")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--random-mb", type=int, default=64)
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        folder = args.truth
        if folder is None:
            folder = os.path.join(work, "truth")
            subprocess.run([sys.executable, os.path.join(HERE, "scan_truth", "make_truth.py"), folder,
                            "--seed", str(args.seed)], check=True)
        truth = collections.defaultdict(list)
        with open(os.path.join(folder, "truth.csv")) as f:
            for row in csv.DictReader(f):
                truth[row["file"]].append((int(row["offset"]), int(row["width"]), int(row["instant_ns"])))
        total = raw_found = shown_found = shown = shown_true = 0
        print("%-20s %6s %8s %8s %8s %8s" % ("file", "true", "raw", "shown", "hits", "true hits"))
        for name in sorted(truth):
            path = os.path.join(folder, name)
            every = scan(args.cli, path, "--all")
            default = scan(args.cli, path)
            rows = truth[name]
            r = sum(any(finds(h, t) for h in every) for t in rows)
            s = sum(any(finds(h, t) for h in default) for t in rows)
            true_hits = sum(any(finds(h, t) for t in rows) for h in default)
            total += len(rows)
            raw_found += r
            shown_found += s
            shown += len(default)
            shown_true += true_hits
            print("%-20s %6d %8d %8d %8d %8d" % (name, len(rows), r, s, len(default), true_hits))
            if args.verbose:
                for h in default:
                    if not any(finds(h, t) for t in rows):
                        print("   false: 0x%x %s %s %s %.2f" % (h["offset"], h["format_id"], h["order"], h["rendered"],
                                                              h["confidence"]))
                for t in rows:
                    if not any(finds(h, t) for h in default):
                        print("   missed: 0x%x w%d %d" % t)
        print()
        print("recall among raw hits:     %.1f %% (%d of %d)" % (100 * raw_found / total, raw_found, total))
        print("recall among shown hits:   %.1f %% (%d of %d)" % (100 * shown_found / total, shown_found, total))
        print("precision on real files:   %.1f %% (%d of %d shown hits true)" % (100 * shown_true / max(shown, 1),
                                                                                 shown_true, shown))
        noise = os.path.join(work, "random.bin")
        rng = random.Random(args.seed)
        with open(noise, "wb") as f:
            for _ in range(args.random_mb):
                f.write(rng.randbytes(1 << 20))
        hits, seconds = timed_scan(args.cli, noise)
        print("random bytes:              %.3f shown hits per MB (%d in %d MB)" % (hits / args.random_mb, hits,
                                                                                 args.random_mb))
        print("speed, one thread:         %.0f MB/s of CPU time (%.2f s for %d MB of random bytes)"
              % (args.random_mb / seconds, seconds, args.random_mb))
        real = os.path.join(work, "real.bin")
        blobs = b"".join(open(os.path.join(folder, name), "rb").read() for name in sorted(truth))
        with open(real, "wb") as f:
            f.write((blobs * ((args.random_mb << 20) // len(blobs) + 1))[:args.random_mb << 20])
        _, seconds = timed_scan(args.cli, real)
        print("speed, one thread:         %.0f MB/s of CPU time (%.2f s for %d MB of the real files)"
              % (args.random_mb / seconds, seconds, args.random_mb))


if __name__ == "__main__":
    main()

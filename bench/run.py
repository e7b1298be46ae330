#!/usr/bin/env python3
"""The epochsift benchmark: per-call times and ratios to their floors, per input class.

    pip install . && python3 bench/run.py

For every value of bench/corpus.tsv it times, side by side in one run:

  identify_json(v)   against  bytes.decode(b)   -- b: the UTF-8 bytes of identify_json(v)
  identify(v)        against  json.loads(s)     -- s: the JSON text identify_json(v)
  identify_json(v)   against  time_decode.from_all(v)   (integer inputs; the peer)

Each pair is timed in alternating rounds (the two loops of a round run back to
back, their order swapped every round), so that a slow moment of a shared
machine hits both sides of a ratio. A value's ratio is the median over its
rounds; a class's figure is the median over its values. Absolute times are
printed for reference only: the ratios are the results.

The peer is the PyPI package time-decode. If it is not importable, the script
installs it with pip into build/bench-peer (not into site-packages); with
--no-peer, or when that install fails, the peer is skipped with a message.
"""

from __future__ import annotations

import argparse
import gc
import io
import json
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
CORPUS = HERE / "corpus.tsv"
PEER_DIR = ROOT / "build" / "bench-peer"
CLASSES = ("integer", "float", "string", "junk")

TARGET_JSON_RATIO = 2.0    # identify_json / decoding its output
TARGET_LOADS_RATIO = 1.15  # identify / json.loads of its output
TARGET_PEER_SPEEDUP = 10.0  # time_decode.from_all / identify_json, integer inputs


def load_corpus(path: Path) -> list[tuple[str, str, str]]:
    rows = []
    for line in path.read_text(encoding="utf-8").splitlines():
        cls, kind, value = line.split("\t", 2)
        rows.append((cls, kind, value))
    return rows


def timed_loop(fn, arg, n: int) -> int:
    """Nanoseconds for n calls of fn(arg)."""
    calls = range(n)
    start = time.perf_counter_ns()
    for _ in calls:
        fn(arg)
    return time.perf_counter_ns() - start


def calls_for(fn, arg, budget_ns: int) -> int:
    """How many calls of fn(arg) fill about budget_ns."""
    n = 1
    while True:
        elapsed = timed_loop(fn, arg, n)
        if elapsed >= budget_ns // 4 or n >= 1 << 20:
            return max(1, int(n * budget_ns / max(elapsed, 1)))
        n *= 4


def paired(measured, m_arg, floor, f_arg, rounds: int, budget_ns: int):
    """Per-call times of measured and floor and their ratio, medians over
    interleaved rounds. The floor's call count is set apart so that both loops
    of a round take about the same wall time."""
    n_m = calls_for(measured, m_arg, budget_ns)
    n_f = calls_for(floor, f_arg, budget_ns)
    per_m, per_f, ratios = [], [], []
    for r in range(rounds):
        if r % 2 == 0:
            tm = timed_loop(measured, m_arg, n_m) / n_m
            tf = timed_loop(floor, f_arg, n_f) / n_f
        else:
            tf = timed_loop(floor, f_arg, n_f) / n_f
            tm = timed_loop(measured, m_arg, n_m) / n_m
        per_m.append(tm)
        per_f.append(tf)
        ratios.append(tm / tf)
    return statistics.median(per_m), statistics.median(per_f), statistics.median(ratios)


def load_peer(allow_install: bool):
    """time_decode's try-every-format entry, or (None, reason)."""
    def attempt():
        from time_decode import time_decode  # noqa: PLC0415
        return time_decode.from_all

    if PEER_DIR.is_dir():
        sys.path.insert(0, str(PEER_DIR))
    try:
        return attempt(), None
    except ImportError:
        pass
    if not allow_install:
        return None, "time-decode is not installed (--no-peer or install refused)"
    print(f"installing the peer time-decode into {PEER_DIR} ...", flush=True)
    result = subprocess.run(
        [sys.executable, "-m", "pip", "install", "-q", "--disable-pip-version-check", "--target", str(PEER_DIR),
         "time-decode"],
        capture_output=True, text=True)
    if result.returncode != 0:
        return None, f"pip install time-decode failed: {result.stderr.strip().splitlines()[-1:]}"
    if str(PEER_DIR) not in sys.path:
        sys.path.insert(0, str(PEER_DIR))
    try:
        return attempt(), None
    except ImportError as exc:
        return None, f"time-decode installed but does not import: {exc}"


class Quiet:
    """Sends the peer's per-decoder error lines to an in-memory sink."""

    def __enter__(self):
        self.saved = sys.stderr
        sys.stderr = io.StringIO()

    def __exit__(self, *exc):
        sys.stderr = self.saved


def fmt_ns(ns: float) -> str:
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.2f} µs"
    return f"{ns:.0f} ns"


def median_of(rows, key):
    values = [r[key] for r in rows if r.get(key) is not None]
    return statistics.median(values) if values else None


def main() -> int:
    parser = argparse.ArgumentParser(description="epochsift benchmark: per-call times and ratios to their floors")
    parser.add_argument("--corpus", type=Path, default=CORPUS)
    parser.add_argument("--rounds", type=int, default=15, help="interleaved rounds per pair (default 15)")
    parser.add_argument("--budget-us", type=int, default=600, help="wall time of one timed loop (default 600 µs)")
    parser.add_argument("--quick", action="store_true", help="5 rounds of 150 µs loops: a rough run in a fraction of the time")
    parser.add_argument("--no-peer", action="store_true", help="skip the time-decode comparison")
    parser.add_argument("--peer-rounds", type=int, default=3, help="rounds per integer value for the peer (default 3)")
    parser.add_argument("--classes", default=",".join(CLASSES), help="comma-separated input classes to run")
    parser.add_argument("--json", type=Path, help="also write every per-value figure to this file")
    args = parser.parse_args()
    if args.quick:
        args.rounds, args.budget_us, args.peer_rounds = 5, 150, 1

    try:
        import epochsift
    except ImportError:
        print("epochsift is not importable: run `pip install .` first (or set PYTHONPATH to a build directory)",
              file=sys.stderr)
        return 2

    wanted = set(args.classes.split(","))
    corpus = [row for row in load_corpus(args.corpus) if row[0] in wanted]
    peer, peer_skip = (None, "--no-peer given") if args.no_peer else load_peer(allow_install=True)
    budget = args.budget_us * 1000

    print(f"epochsift benchmark: {len(corpus)} values from {args.corpus.name}, {args.rounds} rounds of "
          f"{args.budget_us} µs loops per pair; Python {sys.version.split()[0]}")
    identify_json, identify, loads, decode = epochsift.identify_json, epochsift.identify, json.loads, bytes.decode
    rows = []
    gc_was_enabled = gc.isenabled()
    started = time.perf_counter()
    try:
        for i, (cls, kind, value) in enumerate(corpus):
            text = identify_json(value)
            data = text.encode("utf-8")
            gc.collect()
            gc.disable()  # as timeit does: collections land on whichever loop happens to run
            t_json, t_decode, r_json = paired(identify_json, value, decode, data, args.rounds, budget)
            t_identify, t_loads, r_identify = paired(identify, value, loads, text, args.rounds, budget)
            row = {"class": cls, "kind": kind, "value": value, "out_bytes": len(data),
                   "readings": text.count('{"format_id"'),
                   "identify_json_ns": t_json, "decode_ns": t_decode, "json_ratio": r_json,
                   "identify_ns": t_identify, "loads_ns": t_loads, "identify_ratio": r_identify}
            if peer is not None and cls == "integer":
                with Quiet():
                    t_peer, t_mine, speedup = paired(peer, value, identify_json, value, args.peer_rounds, budget)
                row.update(peer_ns=t_peer, peer_speedup=speedup)
            gc.enable()
            rows.append(row)
            if (i + 1) % 50 == 0:
                print(f"  ... {i + 1}/{len(corpus)} values, {time.perf_counter() - started:.0f} s", flush=True)
    finally:
        if gc_was_enabled:
            gc.enable()

    junk_with_readings = [r["value"][:40] for r in rows if r["class"] == "junk" and r["readings"]]
    if junk_with_readings:
        print(f"note: {len(junk_with_readings)} junk values do decode: {junk_with_readings}")

    header = (f"{'class':<8} {'n':>4} {'out bytes':>9}  {'identify_json':>13} {'decode floor':>12} {'ratio':>6}  "
              f"{'identify':>10} {'loads floor':>11} {'ratio':>6}  {'peer x':>7}")
    print()
    print(header)
    print("-" * len(header))
    groups = [(c, [r for r in rows if r["class"] == c]) for c in CLASSES if c in wanted] + [("overall", rows)]
    summary = {}
    for name, group in groups:
        if not group:
            continue
        s = {k: median_of(group, k) for k in ("out_bytes", "identify_json_ns", "decode_ns", "json_ratio",
                                               "identify_ns", "loads_ns", "identify_ratio", "peer_speedup")}
        summary[name] = s
        peer_text = f"{s['peer_speedup']:7.1f}" if s["peer_speedup"] is not None else f"{'-':>7}"
        print(f"{name:<8} {len(group):>4} {s['out_bytes']:>9.0f}  {fmt_ns(s['identify_json_ns']):>13} "
              f"{fmt_ns(s['decode_ns']):>12} {s['json_ratio']:6.2f}  {fmt_ns(s['identify_ns']):>10} "
              f"{fmt_ns(s['loads_ns']):>11} {s['identify_ratio']:6.2f}  {peer_text}")
    print()
    overall = summary["overall"]
    verdict = lambda ok: "met" if ok else "NOT met"  # noqa: E731
    print(f"identify_json / decoding its output (median over the corpus): {overall['json_ratio']:.2f}"
          f"  target <= {TARGET_JSON_RATIO}: {verdict(overall['json_ratio'] <= TARGET_JSON_RATIO)}")
    print(f"identify / json.loads of its output (median over the corpus): {overall['identify_ratio']:.2f}"
          f"  target <= {TARGET_LOADS_RATIO}: {verdict(overall['identify_ratio'] <= TARGET_LOADS_RATIO)}")
    if peer is None:
        print(f"time-decode comparison skipped: {peer_skip}")
    elif overall["peer_speedup"] is not None:
        print(f"time_decode.from_all / identify_json (median over integer inputs): {overall['peer_speedup']:.1f}x"
              f"  target >= {TARGET_PEER_SPEEDUP:.0f}x: {verdict(overall['peer_speedup'] >= TARGET_PEER_SPEEDUP)}")
    print(f"({time.perf_counter() - started:.0f} s)")
    if args.json:
        args.json.write_text(json.dumps({"summary": summary, "values": rows}, indent=1, ensure_ascii=False),
                             encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())

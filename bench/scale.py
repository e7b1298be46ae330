#!/usr/bin/env python3
"""Batch benchmarks: identify_many across threads, identify_arrow against identify
per value, and epochsift.spark's decode_column in local[2] against identify_arrow.

    pip install . && python3 bench/scale.py [--rows N] [--spark-rows N]

Values are the corpus (bench/corpus.tsv) repeated, with each integer shifted
by its row so most values are distinct. Every timing is the best of a few
runs; memory is the peak resident size of a fresh process doing one call,
less that of the same process before it. Writes nothing: copy the figures.
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def corpus_values(rows: int) -> list[str]:
    seeds = [line.rstrip("\n").split("\t")[2] for line in open(ROOT / "bench" / "corpus.tsv", encoding="utf-8")]
    out = []
    for i in range(rows):
        seed = seeds[i % len(seeds)]
        out.append(str(int(seed) + i) if seed.lstrip("-").isdigit() else seed)
    return out


def best_of(runs: int, call) -> float:
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def peak_rss_kib() -> int:
    for line in open("/proc/self/status"):
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return 0


def memory_child(kind: str, rows: int) -> None:
    import epochsift
    import pyarrow as pa
    column = pa.array(corpus_values(rows))
    before = peak_rss_kib()
    if kind == "arrow":
        result = pa.array(epochsift.identify_arrow(column, best=1))
        out_bytes = result.nbytes
    else:
        result = epochsift.identify_many(column.to_pylist(), best=1)
        out_bytes = 0
    print(json.dumps({"peak_kib": peak_rss_kib() - before, "output_bytes": out_bytes, "rows": rows}))


def memory(kind: str, rows: int) -> dict:
    done = subprocess.run([sys.executable, __file__, "--memory-child", kind, "--rows", str(rows)],
                          capture_output=True, text=True, check=True)
    return json.loads(done.stdout)


def bench_many(values: list[str]) -> None:
    import epochsift
    print(f"identify_many over {len(values):,} values")
    for best in (1, None):
        one = best_of(3, lambda: epochsift.identify_many(values, threads=1, best=best))
        two = best_of(3, lambda: epochsift.identify_many(values, threads=2, best=best))
        label = "best=1" if best else "every reading"
        print(f"  {label:14} 1 thread {one:.3f} s, 2 threads {two:.3f} s: {one / two:.2f}x")


def bench_arrow(values: list[str]) -> None:
    import epochsift
    import pyarrow as pa
    column = pa.array(values)
    per_value = best_of(2, lambda: [epochsift.identify(v)[:1] for v in values])
    arrow_1 = best_of(3, lambda: epochsift.identify_arrow(column, best=1, threads=1))
    arrow_2 = best_of(3, lambda: epochsift.identify_arrow(column, best=1, threads=2))
    print(f"identify_arrow(best=1) over {len(values):,} values")
    print(f"  identify per value {per_value:.3f} s; identify_arrow 1 thread {arrow_1:.3f} s "
          f"({per_value / arrow_1:.1f}x), 2 threads {arrow_2:.3f} s ({per_value / arrow_2:.1f}x)")
    for rows in (len(values) // 4, len(values)):
        m = memory("arrow", rows)
        print(f"  memory, {rows:,} rows: peak +{m['peak_kib'] / 1024:.1f} MiB for {m['output_bytes'] / 2**20:.1f} MiB "
              "of output buffers")


def bench_spark(rows: int) -> None:
    try:
        import pyarrow as pa
        import pyarrow.parquet as pq
        from pyspark.sql import SparkSession
    except ImportError as missing:
        print(f"spark: skipped ({missing})")
        return
    import epochsift
    import epochsift.spark as es
    values = corpus_values(rows)
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "values.parquet")
        pq.write_table(pa.table({"id": pa.array(range(rows), pa.int64()), "value": values}), source,
                       row_group_size=100_000)
        spark = (SparkSession.builder.master("local[2]").config("spark.sql.session.timeZone", "UTC")
                 .config("spark.ui.enabled", "false").getOrCreate())
        frame = spark.read.parquet(source)
        frame.count()  # start the executors and read the file once
        column = pa.array(values)
        arrow = best_of(2, lambda: epochsift.identify_arrow(column, best=1))
        target = os.path.join(folder, "decoded.parquet")
        decode = best_of(2, lambda: es.decode_column(frame, "value").write.mode("overwrite").parquet(target))
        noop = best_of(2, lambda: es.decode_column(frame, "value").write.format("noop").mode("overwrite").save())
        spark.stop()
        decoded = pq.read_table(target).sort_by("id")
        readings = pa.array(epochsift.identify_arrow(column, best=1)).to_pylist()
        by_row = {r["row"]: r for r in readings}
        same = all(
            (f, s, r) == ((w["format_id"], w["score"], w["rendered"]) if w else (None, None, None))
            for f, s, r, w in zip(decoded["value_format_id"].to_pylist(), decoded["value_score"].to_pylist(),
                                  decoded["value_rendered"].to_pylist(), (by_row.get(i) for i in range(rows))))
    print(f"spark decode_column, local[2], {rows:,} rows")
    print(f"  identify_arrow {arrow:.2f} s; decode_column to parquet {decode:.2f} s ({decode / arrow:.1f}x), "
          f"to the noop sink {noop:.2f} s ({noop / arrow:.1f}x); output identical: {same}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=200_000)
    parser.add_argument("--spark-rows", type=int, default=1_000_000)
    parser.add_argument("--memory-child", choices=["arrow", "many"])
    parser.add_argument("--skip", action="append", default=[], choices=["many", "arrow", "spark"])
    args = parser.parse_args()
    if args.memory_child:
        memory_child(args.memory_child, args.rows)
        return
    print(f"load average at start: {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores")
    values = corpus_values(args.rows)
    if "many" not in args.skip:
        bench_many(values)
    if "arrow" not in args.skip:
        bench_arrow(values)
    if "spark" not in args.skip:
        bench_spark(args.spark_rows)
    print(f"load average at end: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()

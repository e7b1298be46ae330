"""Spark's decode_column(by_column=True) against identify_arrow, to no sink.

    python3 bench/spark_columns.py [--rows N] [--partitions P]

Builds N Unix-second texts (default 10,000,000; id × 7919 mod 30 years after
2000) once as one Arrow array and once inside Spark (spark.range, so no
Python-side transfer is timed), then times, wall clock, best of two:

  * identify_arrow(column, by_column=True, best=1, threads=2): the whole
    column as one array, its readings kept by nothing;
  * decode_column(df, "v", by_column=True) on local[2], written to Spark's
    "noop" sink (every row made, nothing stored);
  * the same plan without decode_column (the texts alone to the sink): what
    Spark itself costs;
  * Spark's floor for the decoding: a scalar Arrow UDF that returns constant
    readings of the same shape (the same six fields, about as many bytes a
    row), selected out the same way: the transfer to Python and back and the
    rows made from its result, with no decoding;
  * with --wide, the same frame with eight more columns (decode_column sends
    only the value column to Python).

Prints one Markdown table and the ratio the target names (decode_column /
identify_arrow, within 2×). A benchmark, never a test: it needs pyspark,
a Java runtime and both cores to itself for a fair figure.
"""

import argparse
import time

import numpy as np
import pyarrow as pa

import epochsift

START = 946_684_800  # 2000-01-01
SPAN = 946_771_200   # thirty years of seconds
STEP = 7919


def wall(call, rounds=2):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=10_000_000)
    parser.add_argument("--partitions", type=int, default=2)
    parser.add_argument("--wide", action="store_true")
    args = parser.parse_args()
    rows = args.rows

    values = (START + (np.arange(rows, dtype=np.int64) * STEP) % SPAN).astype(str)
    column = pa.array(values)
    del values
    arrow = wall(lambda: epochsift.identify_arrow(column, by_column=True, best=1, threads=2))

    from pyspark.sql import SparkSession
    from pyspark.sql import functions as F
    import epochsift.spark as es

    session = (SparkSession.builder.master("local[2]").appName("epochsift-bench")
               .config("spark.sql.session.timeZone", "UTC")
               .config("spark.ui.enabled", "false").config("spark.ui.showConsoleProgress", "false")
               .config("spark.sql.execution.arrow.maxRecordsPerBatch", "65536")
               .getOrCreate())
    session.sparkContext.setLogLevel("ERROR")
    df = session.range(0, rows, numPartitions=args.partitions).select(
        (F.lit(START) + (F.col("id") * STEP) % SPAN).cast("string").alias("v"))
    noop = lambda frame: frame.write.format("noop").mode("overwrite").save()  # noqa: E731
    texts = wall(lambda: noop(df))
    constant = _constant_readings(F, es)
    spark_floor = wall(lambda: noop(df.select("*", *[constant(F.col("v")).getField(n).alias("v_" + n)
                                                     for n in constant.names])))
    decoded = wall(lambda: noop(es.decode_column(df, "v", by_column=True)))
    runs = [("identify_arrow(by_column=True, threads=2)", arrow), ("Spark local[2]: the texts alone to noop", texts),
            ("Spark local[2]: constant readings of the same shape to noop", spark_floor),
            ("Spark local[2]: decode_column(by_column=True) to noop", decoded)]
    if args.wide:
        wide = df.select("v", *[(F.col("v") + i).alias(f"c{i}") for i in range(8)])
        runs.append(("Spark local[2], 9 columns: decode_column(by_column=True) to noop",
                     wall(lambda: noop(es.decode_column(wide, "v", by_column=True)))))
    session.stop()

    print(f"{rows:,} Unix-second texts, wall clock (best of 2)\n")
    print("| run | seconds | M rows/s |")
    print("|---|---|---|")
    for name, seconds in runs:
        print(f"| {name} | {seconds:.2f} | {rows / seconds / 1e6:.2f} |")
    print(f"\ndecode_column / identify_arrow: {decoded / arrow:.2f}× (target: within 2×); "
          f"Spark's floor / identify_arrow: {spark_floor / arrow:.2f}×")


def _constant_readings(F, es):
    """A UDF giving every row the same reading, typed as decode_column's."""
    from pyspark.sql import types as T
    fields = es._READING_FIELDS + (("path", T.StringType()),)
    kinds = T.StructType([T.StructField(n, k, True) for n, k in fields])
    texts = {"format_id": "unix", "label": "Unix seconds", "rendered": "2021-06-01T12:34:56Z", "path": "verdict"}

    def constant(values: pa.Array) -> pa.Array:
        count = len(values)
        columns = []
        for name, _ in fields:
            if name == "instant":
                columns.append(pa.array(np.full(count, 1_622_550_896_000_000), pa.timestamp("us", tz="UTC")))
            elif name == "score":
                columns.append(pa.array(np.full(count, 0.75)))
            else:
                columns.append(pa.repeat(pa.scalar(texts[name], pa.string()), count))
        return pa.StructArray.from_arrays(columns, names=[n for n, _ in fields])

    udf = F.arrow_udf(constant, kinds)
    udf.names = [n for n, _ in fields]
    return udf


if __name__ == "__main__":
    main()

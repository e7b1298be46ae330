"""Spark columns read by epochsift, one Arrow batch per call.

Importable only where pyspark (and so pyarrow) is installed. The module
file sits in the directory the extension names as its ``__path__``, so
``import epochsift.spark`` works beside the single-file extension.
"""

from __future__ import annotations

import numpy as np
import pyarrow as pa
import pyspark  # noqa: F401  (this module needs it; importing fails cleanly without it)
from pyspark.sql import DataFrame
from pyspark.sql import functions as F
from pyspark.sql import types as T

import epochsift

__all__ = ["decode_column", "infer_column"]

# The reading fields decode_column adds, with the Spark type of each.
_READING_FIELDS = (
    ("format_id", T.StringType()),
    ("label", T.StringType()),
    ("instant", T.TimestampType()),  # microseconds: Spark's timestamp precision
    ("rendered", T.StringType()),  # the exact instant, to the nanosecond, as text
    ("score", T.DoubleType()),
)


def _session_zone(df: DataFrame) -> str:
    return df.sparkSession.conf.get("spark.sql.session.timeZone")


# decode_column(by_column=True) judges at most this many rows, as
# identify_arrow does: a column's format shows in a sample, and tallying
# every value would cost more than decoding it.
_VERDICT_SAMPLE = 10_000

# The keywords identify_column takes, of those decode_column passes on.
_COLUMN_KEYWORDS = ("hint", "byte_width", "byte_order", "window")


def decode_column(df: DataFrame, column: str, *, best: int = 1, prefix: str | None = None, by_column: bool = False,
                  **keywords) -> DataFrame:
    """Add the best readings of string column `column` as columns.

    Adds ``<prefix>format_id``, ``label``, ``instant``, ``rendered`` and
    ``score`` (prefix defaults to ``"<column>_"``). With ``best=1`` each is
    the value's first reading, null where the value is null or nothing
    decodes; with ``best=K`` each is an array of the value's first K
    readings, empty where none. Other keywords go to identify_arrow.

    With ``by_column=True`` the column's verdict is found first (infer_column
    over the whole column when it holds at most 10,000 rows, else over a
    sample of about 10,000 of them, as identify_arrow samples; a count and
    the verdict, two jobs), then every batch decodes each
    value by that format alone (identify_arrow's by_column), and
    ``<prefix>path`` says which path made the reading ("verdict", or "full"
    where the format reads nothing of the value).
    """
    if not isinstance(best, int) or isinstance(best, bool) or best < 1:
        raise ValueError("best must be a positive int")
    prefix = f"{column}_" if prefix is None else prefix
    fields = _READING_FIELDS + ((("path", T.StringType()),) if by_column else ())
    names = [prefix + name for name, _ in fields]
    taken = set(df.columns).intersection(names)
    if taken:
        raise ValueError(f"columns already present: {sorted(taken)}")
    if by_column:
        judged = df.select(column)
        rows = judged.count()
        if rows > _VERDICT_SAMPLE:
            # A fixed seed: the same DataFrame gets the same verdict.
            judged = judged.sample(withReplacement=False, fraction=_VERDICT_SAMPLE / rows, seed=25)
        verdicts = infer_column(judged, column, **{k: v for k, v in keywords.items() if k in _COLUMN_KEYWORDS})
        keywords = dict(keywords, by_column=verdicts[0]["format_id"] if verdicts else True)
    kinds = [kind if best == 1 else T.ArrayType(kind, containsNull=True) for _, kind in fields]
    zone = _session_zone(df)
    arrow_udf = getattr(F, "arrow_udf", None)
    if arrow_udf is None:  # pyspark before 4.1: every column goes through Python and back
        schema = T.StructType(df.schema.fields + [T.StructField(n, k, True) for n, k in zip(names, kinds)])

        def decode(batches):
            for batch in batches:
                added = _decode_values(batch.column(column), best, zone, keywords)
                yield pa.RecordBatch.from_arrays(list(batch.columns) + added,
                                                 names=list(batch.schema.names) + names)

        return df.mapInArrow(decode, schema)

    # A scalar Arrow UDF sends Python only the one column and brings back only
    # the readings; Spark evaluates the struct once for all its fields.
    inner = [name for name, _ in fields]
    struct = T.StructType([T.StructField(n, k, True) for n, k in zip(inner, kinds)])

    def decode_values(values: pa.Array) -> pa.Array:
        # Spark takes the timestamps of a UDF's result in UTC whatever the session's zone.
        return pa.StructArray.from_arrays(_decode_values(values, best, "UTC", keywords), names=inner)

    readings = arrow_udf(decode_values, struct)(F.col(_quoted(column)))
    return df.select("*", *[readings.getField(n).alias(a) for n, a in zip(inner, names)])


def _quoted(column: str) -> str:
    return "`" + column.replace("`", "``") + "`"


def _microseconds(nanoseconds: pa.Array, zone: str) -> pa.Array:
    """The microsecond each instant falls in: floored, so that an instant before 1970 is not moved later."""
    counts = nanoseconds.cast(pa.int64())
    floored = np.floor_divide(counts.fill_null(0).to_numpy(), 1000)
    missing = counts.is_null().to_numpy(zero_copy_only=False) if counts.null_count else None
    return pa.array(floored, type=pa.timestamp("us", tz=zone), mask=missing)


def _decode_values(values: pa.Array, best: int, zone: str, keywords) -> list:
    """The added columns for one batch of values, in _READING_FIELDS order (then path under by_column)."""
    readings = pa.array(epochsift.identify_arrow(values, best=best, **keywords))
    count = len(values)
    rows = readings.field("row").to_numpy()
    # Spark holds microseconds; the rendered text keeps the nanoseconds.
    instant = _microseconds(readings.field("instant"), zone)
    fields = [readings.field("format_id"), readings.field("label"), instant, readings.field("rendered"),
              readings.field("score")]
    if "by_column" in keywords:
        fields.append(readings.field("path"))
    if best == 1:
        if len(rows) == count:  # at most one reading a row, rows ascending: a reading for every row
            return fields
        # Scatter by row, null where none.
        index = np.full(count, -1, dtype=np.int64)
        index[rows] = np.arange(len(rows), dtype=np.int64)
        take = pa.array(index, mask=index < 0)
        return [field.take(take) for field in fields]
    offsets = np.zeros(count + 1, dtype=np.int32)
    np.cumsum(np.bincount(rows, minlength=count), out=offsets[1:])
    offsets = pa.array(offsets)
    return [pa.ListArray.from_arrays(offsets, field) for field in fields]


# What each Arrow batch sends to the driver: its place in the column and
# one tally per family or form (epochsift._column_tallies), instants as
# decimal text since they may pass 64 bits.
_TALLY_SCHEMA = T.StructType([
    T.StructField("partition", T.LongType(), False),
    T.StructField("batch", T.LongType(), False),
    T.StructField("row", T.LongType(), False),
    T.StructField("values", T.LongType(), False),
    T.StructField("log_likelihood", T.DoubleType(), False),
    T.StructField("read", T.LongType(), False),
    T.StructField("in_window", T.LongType(), False),
    T.StructField("pairs", T.LongType(), False),
    T.StructField("ordered_pairs", T.LongType(), False),
    T.StructField("first", T.StringType(), False),
    T.StructField("last", T.StringType(), False),
    T.StructField("starts_read", T.BooleanType(), False),
    T.StructField("ends_read", T.BooleanType(), False),
    T.StructField("marked", T.LongType(), False),
    T.StructField("earliest", T.StringType(), False),
    T.StructField("latest", T.StringType(), False),
])


def infer_column(df: DataFrame, column: str, **keywords) -> list[dict]:
    """identify_column's verdicts for string column `column`, computed per partition and merged on the driver.

    Each verdict: ``format_id``, ``label``, ``score``, ``read``,
    ``in_window``, ``ordered``, ``first``, ``last``, ``earliest`` and ``latest``, as identify_column
    gives them. Keywords (hint, byte_width, byte_order, window) go to it.

    The column's judgement is a sum over its values plus the pairs of
    neighbouring values, so each Arrow batch sends only its tallies (sums
    and its first and last instants, one row per family or form) and the
    driver joins them in partition and batch order before the one finishing
    step. Null values are skipped. The column's order is the DataFrame's
    partition order. Over a single batch the verdicts equal identify_column
    of its values exactly; over several, only the scores may differ, in the
    last bits, from the order the sums are taken in.
    """
    def tally(batches):
        from pyspark import TaskContext
        partition = TaskContext.get().partitionId()
        for index, batch in enumerate(batches):
            yield _tally_batch(batch, column, partition, index, keywords)

    rows = df.mapInArrow(tally, _TALLY_SCHEMA).collect()
    rows.sort(key=lambda r: (r["partition"], r["batch"], r["row"]))
    runs: dict[tuple[int, int], list] = {}
    for r in rows:
        runs.setdefault((r["partition"], r["batch"]), []).append(
            [r["values"], r["log_likelihood"], r["read"], r["in_window"], r["pairs"], r["ordered_pairs"],
             int(r["first"]), int(r["last"]), r["starts_read"], r["ends_read"], r["marked"],
             int(r["earliest"]), int(r["latest"])])
    return epochsift._column_verdicts(list(runs.values()), **keywords)


def _tally_batch(batch: pa.RecordBatch, column: str, partition: int, index: int, keywords) -> pa.RecordBatch:
    values = [v for v in batch.column(column).to_pylist() if v is not None]
    tallies = epochsift._column_tallies(values, **keywords)
    fields = list(zip(*tallies))
    count = len(tallies)
    arrays = [pa.array([partition] * count, pa.int64()), pa.array([index] * count, pa.int64()),
              pa.array(range(count), pa.int64()), pa.array(fields[0], pa.int64()), pa.array(fields[1], pa.float64())]
    arrays += [pa.array(f, pa.int64()) for f in fields[2:6]]
    arrays += [pa.array([str(v) for v in f], pa.string()) for f in fields[6:8]]
    arrays += [pa.array(f, pa.bool_()) for f in fields[8:10]]
    arrays.append(pa.array(fields[10], pa.int64()))
    arrays += [pa.array([str(v) for v in f], pa.string()) for f in fields[11:13]]
    return pa.RecordBatch.from_arrays(arrays, names=[f.name for f in _TALLY_SCHEMA.fields])

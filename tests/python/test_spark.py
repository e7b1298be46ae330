"""epochsift.spark in a local Spark: decode_column and infer_column agree with identify_arrow."""
import os
import shutil

import pytest

pyspark = pytest.importorskip("pyspark")
pa = pytest.importorskip("pyarrow")
pytestmark = pytest.mark.skipif(shutil.which("java") is None and not os.environ.get("JAVA_HOME"),
                                reason="Spark needs a Java runtime")

import epochsift  # noqa: E402
import epochsift.spark as es  # noqa: E402

ROWS = 200_000

# Values of several families, with nulls and texts nothing decodes.
SEEDS = ["1700000000", "1700000000123", "2023-11-14T22:13:20Z", "0x5f5e100", "133456789012345678",
         "Tue, 14 Nov 2023 22:13:20 +0000", "not a time", "", "65f1b2c3d4e5f60718293a4b", None]


@pytest.fixture(scope="module")
def spark():
    from pyspark.sql import SparkSession
    session = (SparkSession.builder.master("local[2]").appName("epochsift-test")
               .config("spark.sql.session.timeZone", "UTC")
               .config("spark.ui.enabled", "false")
               .config("spark.sql.shuffle.partitions", "2")
               .getOrCreate())
    yield session
    session.stop()


@pytest.fixture(scope="module")
def values():
    # Each seed shifted by the row number keeps most values distinct.
    out = []
    for i in range(ROWS):
        seed = SEEDS[i % len(SEEDS)]
        out.append(seed if seed is None or not seed.isdigit() else str(int(seed) + i))
    return out


@pytest.fixture(scope="module")
def frame(spark, values, tmp_path_factory):
    import pyarrow.parquet as pq
    path = tmp_path_factory.mktemp("spark") / "values.parquet"
    pq.write_table(pa.table({"id": pa.array(range(ROWS), pa.int64()), "value": pa.array(values, pa.string())}),
                   path, row_group_size=25_000)
    return spark.read.parquet(str(path)).repartition(4)


def expected_best(values):
    readings = pa.array(epochsift.identify_arrow(pa.array(values, pa.string()), best=1)).to_pylist()
    by_row = {r["row"]: r for r in readings}
    return [by_row.get(i) for i in range(len(values))]


def test_decode_column_equals_identify_arrow(frame, values):
    rows = es.decode_column(frame, "value").orderBy("id").collect()
    assert len(rows) == ROWS
    expected = expected_best(values)
    for row, want in zip(rows, expected):
        if want is None:
            assert row["value_format_id"] is None and row["value_score"] is None
            continue
        assert (row["value_format_id"], row["value_label"], row["value_rendered"], row["value_score"]) == (
            want["format_id"], want["label"], want["rendered"], want["score"])
        if want["instant"] is not None:
            # Spark keeps microseconds, as a naive datetime in local time.
            got = row["value_instant"]
            micros = int(got.timestamp()) * 1_000_000 + got.microsecond
            assert abs(micros * 1000 - want["instant"].value) < 1000


def test_decode_column_best_k_gives_arrays(frame, values):
    rows = es.decode_column(frame.limit(2000), "value", best=3).orderBy("id").collect()
    for row in rows:
        value = values[row["id"]]
        want = [] if value is None else epochsift.identify_many([value], best=3)[0]
        assert row["value_format_id"] == [r["format_id"] for r in want]
        assert row["value_score"] == [r["score"] for r in want]


def test_infer_column_on_one_batch_is_identify_column(spark, values):
    # One partition read as one Arrow batch: the same sums in the same order.
    head = values[:5000]
    frame = spark.createDataFrame([(v,) for v in head], "value string").coalesce(1)
    window = ("2020-01-01T00:00:00Z", "2030-01-01T00:00:00Z")
    present = [v for v in head if v is not None]
    assert es.infer_column(frame, "value", window=window) == epochsift.identify_column(present, window=window)


def test_infer_column_merges_partitions_in_column_order(frame, values):
    verdicts = es.infer_column(frame.orderBy("id"), "value")
    expected = epochsift.identify_column([v for v in values if v is not None])
    def key(verdict):  # a family reading hex bytes gives a verdict for each byte order
        return verdict["format_id"], verdict.get("byte_order")

    assert {key(v): v["score"] for v in verdicts} == pytest.approx({key(v): v["score"] for v in expected})
    by_key = {key(v): v for v in expected}
    for verdict in verdicts:
        assert {k: v for k, v in verdict.items() if k != "score"} == \
            {k: v for k, v in by_key[key(verdict)].items() if k != "score"}


def test_decode_column_by_column_gives_each_value_the_verdicts_reading(spark):
    rows = [(i, str(1_600_000_000 + 997 * i)) for i in range(400)]
    rows += [(400, "not a time"), (401, None), (402, "2024-05-01T12:00:00Z"), (403, "0")]
    df = spark.createDataFrame(rows, "id long, v string").repartition(2)
    verdict = es.infer_column(df, "v")[0]["format_id"]
    decoded = {r["id"]: r for r in es.decode_column(df, "v", by_column=True).collect()}
    for i, value in rows:
        got = decoded[i]
        full = epochsift.identify(value, extended=True) if value is not None else []
        own = [r for r in full if r["format_id"] == verdict]
        want, path = (own[0], "verdict") if own else (full[0], "full") if full else (None, None)
        if want is None:
            assert (got["v_format_id"], got["v_path"]) == (None, None), value
            continue
        assert (got["v_format_id"], got["v_rendered"], got["v_score"], got["v_path"]) == (
            want["format_id"], want["rendered"], want["score"], path), value


def test_decode_column_by_column_judges_a_long_column_by_rows_spread_through_it(spark):
    from pyspark.sql import functions as F
    # 30,000 rows, the first third in milliseconds and the rest in seconds:
    # the rows of one end alone would name the wrong format.
    n = F.col("id")
    df = spark.range(0, 30_000, numPartitions=2).select(
        n, F.when(n < 10_000, F.lit(1_600_000_000_000) + n * 997_003)
            .otherwise(F.lit(1_600_000_000) + n * 997).cast("string").alias("v"))
    assert es.infer_column(df, "v")[0]["format_id"] == "unix"
    decoded = es.decode_column(df, "v", by_column=True)
    counts = {(r["v_format_id"], r["v_path"]): r["count"] for r in decoded.groupBy("v_format_id", "v_path").count().collect()}
    assert counts == {("unix", "verdict"): 20_000, ("unix_ms", "full"): 10_000}


def _micros(nanos):
    # Spark keeps microseconds: the one the instant falls in, before 1970 too.
    return nanos // 1000


def test_decode_column_by_column_equals_identify_arrow_row_by_row(frame, values):
    from pyspark.sql import functions as F
    verdict = es.infer_column(frame, "value")[0]["format_id"]
    decoded = es.decode_column(frame, "value", by_column=True)
    rows = decoded.select("id", "value_format_id", "value_label", F.unix_micros("value_instant").alias("micros"),
                          "value_rendered", "value_score", "value_path").orderBy("id").collect()
    # The verdict here comes from a sample of the column: it must name the whole column's format.
    readings = pa.array(epochsift.identify_arrow(pa.array(values, pa.string()), best=1, by_column=verdict)).to_pylist()
    by_row = {r["row"]: r for r in readings}
    assert len(rows) == ROWS
    for row in rows:
        want = by_row.get(row["id"])
        got = (row["value_format_id"], row["value_label"], row["micros"], row["value_rendered"], row["value_score"],
               row["value_path"])
        if want is None:
            assert got == (None,) * 6, values[row["id"]]
            continue
        micros = None if want["instant"] is None else _micros(want["instant"].value)
        assert got == (want["format_id"], want["label"], micros, want["rendered"], want["score"], want["path"]), \
            values[row["id"]]


@pytest.mark.parametrize("best", [1, 3])
@pytest.mark.parametrize("by_column", [False, True])
def test_decode_column_schema_is_the_frames_then_the_readings(frame, best, by_column):
    from pyspark.sql import types as T
    added = [("format_id", T.StringType()), ("label", T.StringType()), ("instant", T.TimestampType()),
             ("rendered", T.StringType()), ("score", T.DoubleType())] + ([("path", T.StringType())] if by_column else [])
    want = T.StructType(frame.schema.fields + [
        T.StructField("v_" + name, kind if best == 1 else T.ArrayType(kind, True), True) for name, kind in added])
    assert es.decode_column(frame, "value", best=best, prefix="v_", by_column=by_column).schema == want


@pytest.fixture
def zoned(spark):
    # A session zone away from UTC, with a daylight-saving change inside the values.
    spark.conf.set("spark.sql.session.timeZone", "America/New_York")
    yield spark
    spark.conf.set("spark.sql.session.timeZone", "UTC")


@pytest.mark.parametrize("without_arrow_udf", [False, True])
def test_decode_column_instants_are_absolute_in_any_session_zone(zoned, without_arrow_udf, monkeypatch):
    from pyspark.sql import functions as F
    if without_arrow_udf:  # the path taken with a pyspark older than 4.1
        monkeypatch.delattr(F, "arrow_udf")
    texts = [str(1_699_999_000 + 3_600 * i) for i in range(300)]
    texts += ["1969-12-31T23:59:59.9999985Z", "-1000000000.0000015", "1700000000.123456789", None, "x"]
    df = zoned.createDataFrame(list(enumerate(texts)), "id long, v string").repartition(3)
    got = {r["id"]: (r["v_format_id"], r["micros"], r["v_rendered"])
           for r in es.decode_column(df, "v").select("id", "v_format_id", F.unix_micros("v_instant").alias("micros"),
                                                     "v_rendered").collect()}
    for i, text in enumerate(texts):
        full = epochsift.identify(text, extended=True) if text is not None else []
        want = (None, None, None) if not full else (
            full[0]["format_id"], _micros(full[0]["instant"]) if full[0]["instant"] is not None else None,
            full[0]["rendered"])
        assert got[i] == want, text


def test_decode_column_without_arrow_udf_gives_the_same_frame(frame, monkeypatch):
    from pyspark.sql import functions as F
    small = frame.orderBy("id").limit(3000)
    for best, by_column in ((1, True), (2, False)):
        with_udf = es.decode_column(small, "value", best=best, by_column=by_column)
        with monkeypatch.context() as m:
            m.delattr(F, "arrow_udf")
            with_map = es.decode_column(small, "value", best=best, by_column=by_column)
        assert with_map.schema == with_udf.schema
        assert sorted(with_map.collect()) == sorted(with_udf.collect())


def test_decode_column_takes_a_column_name_with_a_dot(spark):
    df = spark.createDataFrame([("1700000000", 1), (None, 2)], "`a.b` string, id long")
    rows = es.decode_column(df, "a.b", prefix="p_").orderBy("id").collect()
    assert [(r["a.b"], r["id"], r["p_rendered"]) for r in rows] == [("1700000000", 1, "2023-11-14T22:13:20Z"),
                                                                      (None, 2, None)]

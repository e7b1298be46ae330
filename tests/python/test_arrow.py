"""identify_arrow over Arrow columns from pyarrow, Polars and pandas: the readings of identify, row by row."""
import math
import random

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import epochsift

pa = pytest.importorskip("pyarrow")

from test_batch import VALUES  # noqa: E402

INT64 = range(-(2**63), 2**63)


def expected_rows(values, best):
    """identify's readings laid out as identify_arrow's rows."""
    rows = []
    for row, value in enumerate(values):
        if value is None:
            continue
        for rank, r in enumerate(epochsift.identify(value, extended=True)[:best], start=1):
            rows.append({
                "row": row, "rank": rank, "format_id": r["format_id"], "label": r["label"],
                "instant": r["instant"] if r["instant"] in INT64 else None,
                "rendered": r["rendered"], "score": r["score"], "confidence": r["confidence"],
            })
    return rows


def as_rows(result):
    table = pa.table(result) if hasattr(result, "__arrow_c_stream__") else None
    array = pa.array(result)
    out = array.to_pylist()
    for r in out:
        if r["instant"] is not None:
            r["instant"] = r["instant"].value  # pandas Timestamp, exact nanoseconds
    assert table is None or table.num_rows == len(out)
    return out


def same_rows(got, want):
    assert len(got) == len(want)
    for g, w in zip(got, want):
        if w["score"] is None or (isinstance(w["score"], float) and math.isnan(w["score"])):
            assert math.isnan(g["score"])
            g, w = dict(g, score=None), dict(w, score=None)
        assert g == w


@settings(max_examples=50, deadline=None)
@given(st.lists(st.one_of(st.none(), VALUES), max_size=400), st.integers(min_value=1, max_value=5),
       st.sampled_from([pa.string(), pa.large_string(), pa.string_view()]))
def test_rows_equal_identify(values, best, kind):
    column = pa.array(values, kind)
    same_rows(as_rows(epochsift.identify_arrow(column, best=best, threads=2)), expected_rows(values, best))


def test_sliced_chunked_and_table_inputs():
    values = [None, "1700000000", "2023-11-14T22:13:20Z", "x", "1700000000123", None, "0x5f5e100"]
    sliced = pa.array(values).slice(2, 4)
    same_rows(as_rows(epochsift.identify_arrow(sliced)), expected_rows(values[2:6], 1))
    chunked = pa.chunked_array([values[:3], values[3:]])
    same_rows(as_rows(epochsift.identify_arrow(chunked)), expected_rows(values, 1))
    table = pa.table({"v": values})
    same_rows(as_rows(epochsift.identify_arrow(table)), expected_rows(values, 1))
    batch = pa.record_batch([pa.array(values)], names=["v"])
    same_rows(as_rows(epochsift.identify_arrow(batch.slice(1))), expected_rows(values[1:], 1))


def test_schema_and_empty_output():
    result = pa.array(epochsift.identify_arrow(pa.array(["nothing decodes here"], pa.string())))
    assert len(result) == 0
    assert result.type == pa.struct([
        pa.field("row", pa.int64(), nullable=False), pa.field("rank", pa.int32(), nullable=False),
        pa.field("format_id", pa.string(), nullable=False), pa.field("label", pa.string(), nullable=False),
        pa.field("instant", pa.timestamp("ns", tz="UTC")), pa.field("rendered", pa.string()),
        pa.field("score", pa.float64(), nullable=False), pa.field("confidence", pa.float64()),
    ])


def test_empty_column_and_repeated_exports():
    empty = epochsift.identify_arrow(pa.array([], pa.large_string()))
    assert len(empty) == 0 and pa.table(empty).num_rows == 0
    result = epochsift.identify_arrow(pa.array(["1700000000", "1700000000123"]), best=2)
    # Every export hands out the same rows; each consumer releases its own.
    assert pa.table(result).equals(pa.table(result))
    assert pa.array(result).equals(pa.table(result).to_struct_array().combine_chunks())
    assert len(result) == 4


def test_export_outlives_the_result_object():
    result = epochsift.identify_arrow(pa.array(["1700000000"] * 5))
    array = pa.array(result)
    del result
    assert array.field("format_id").to_pylist()[0] == epochsift.identify("1700000000", extended=True)[0]["format_id"]


@pytest.mark.parametrize("column, error", [
    (pa.array([1.5, 2.5]), TypeError),  # floats are no text
    (pa.table({"a": ["1"], "b": ["2"]}), TypeError),
    (["1700000000"], TypeError),
    (pa.array(["1"]).dictionary_encode(), TypeError),
])
def test_unsupported_columns(column, error):
    with pytest.raises(error):
        epochsift.identify_arrow(column)


def test_polars_round_trip():
    pl = pytest.importorskip("polars")
    values = ["1700000000", None, "2023-11-14T22:13:20Z", "not a time"]
    frame = pl.DataFrame(epochsift.identify_arrow(pl.Series("v", values), best=2))
    assert frame["row"].to_list() == [r["row"] for r in expected_rows(values, 2)]
    assert frame["format_id"].to_list() == [r["format_id"] for r in expected_rows(values, 2)]


def test_pandas_arrow_backed_column():
    pd = pytest.importorskip("pandas")
    series = pd.Series(["1700000000", None, "2023-11-14T22:13:20Z"], dtype="string[pyarrow]")
    column = pa.array(series)  # pandas hands its Arrow array over without a copy
    same_rows(as_rows(epochsift.identify_arrow(column)), expected_rows(list(series.astype(object).where(series.notna(), None)), 1))


FILETIME_1970 = 116_444_736_000_000_000


def filetime_texts(seed, rows):
    rng = random.Random(seed)
    return [str(FILETIME_1970 + rng.randrange(1_000_000_000, 2_000_000_000) * 10_000_000 + rng.randrange(10_000_000))
            for _ in range(rows)]


@pytest.mark.parametrize("dirty_call", [
    pytest.param({"by_column": True}, id="same shape"),
    pytest.param({"best": 2, "keep_empty": True}, id="every reading kept"),
])
def test_large_results_made_over_released_ones_read_as_fresh(dirty_call):
    """A large result's blocks go to the next call once it is released: the
    rows made over another result's bytes equal the rows made before it, and
    identify's (sampled)."""
    rows = 150_000
    values = filetime_texts(1, rows)
    column = pa.array(values)
    fresh = pa.array(epochsift.identify_arrow(column, by_column=True, threads=2))
    dirty_values = filetime_texts(2, rows)
    dirty_values[::7] = [None] * len(dirty_values[::7])
    dirty = epochsift.identify_arrow(pa.array(dirty_values), threads=2, **dirty_call)
    assert len(dirty) > 0
    del dirty  # its blocks are free for the next call
    again = pa.array(epochsift.identify_arrow(column, by_column=True, threads=2))
    assert again.equals(fresh)
    got = again.to_pylist()
    for row in random.Random(3).sample(range(rows), 200):
        best = epochsift.identify(values[row], extended=True)[0]
        assert got[row]["row"] == row
        assert (got[row]["format_id"], got[row]["rendered"]) == (best["format_id"], best["rendered"])
        assert got[row]["instant"].value == best["instant"]

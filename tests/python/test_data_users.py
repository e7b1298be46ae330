"""What a data user sees from the module: one default reading for the batch functions, integers read as
their decimal text, a row for every input, a verdict's earliest and latest, and encode's bytes and zones.

Expected instants come from Python's datetime and zoneinfo, and from the layouts' published definitions,
never from encode itself."""
import datetime as dt
import zoneinfo

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import epochsift

UTC = dt.timezone.utc


def ns(when):
    """Integer nanoseconds of an aware datetime, from Python's own arithmetic."""
    return (when - dt.datetime(1970, 1, 1, tzinfo=UTC)) // dt.timedelta(microseconds=1) * 1000


# FILETIMEs of the last decades: 100 ns ticks since 1601, from datetime. The reference reading ranks iOS time
# first for some of them; the extended reading, the batch functions' default, reads FILETIME as the command
# line does.
FILETIMES = [str((ns(dt.datetime(year, 3, 7, 11, 0, 0, year * 7919 % 10**6, tzinfo=UTC)) // 100) + 116444736000000000)
             for year in range(2003, 2024)]


def test_batch_functions_read_extended_unless_told():
    many = epochsift.identify_many(FILETIMES, best=1)
    assert [r[0]["format_id"] for r in many] == ["filetime"] * len(FILETIMES)
    assert many == [epochsift.identify(v, extended=True)[:1] for v in FILETIMES]
    assert epochsift.identify_many(FILETIMES, best=1, extended=False) == [epochsift.identify(v)[:1] for v in FILETIMES]
    assert any(epochsift.identify(v)[0]["format_id"] != "filetime" for v in FILETIMES), "the reference differs"
    pa = pytest.importorskip("pyarrow")
    rows = pa.table(epochsift.identify_arrow(pa.array(FILETIMES)))
    assert rows.column("format_id").to_pylist() == ["filetime"] * len(FILETIMES)


# Integers, as pandas and Polars give a CSV's numbers, are read as their decimal text.
@pytest.mark.parametrize("make", [int, lambda v: __import__("numpy").int64(v), lambda v: __import__("numpy").uint64(v)])
def test_integers_read_as_decimal_text(make):
    if make is not int:
        pytest.importorskip("numpy")
    values = [1700000000, 1600000000, 1650000000]
    assert epochsift.identify_many([make(v) for v in values]) == epochsift.identify_many([str(v) for v in values])
    assert epochsift.identify_column([make(v) for v in values]) == epochsift.identify_column([str(v) for v in values])


@pytest.mark.parametrize("item", [True, 1.5, None, b"17"])
def test_other_items_still_refused(item):
    with pytest.raises(TypeError):
        epochsift.identify_many(["1", item])


def test_arrow_integer_columns_and_rows_that_line_up():
    pa = pytest.importorskip("pyarrow")
    texts = ["1700000000", None, "no timestamp here", "2023-11-14T22:13:20Z", ""]
    table = pa.table(epochsift.identify_arrow(pa.array(texts), keep_empty=True))
    assert table.column("row").to_pylist() == list(range(len(texts)))
    assert table.column("format_id").to_pylist() == ["unix", None, None, "iso8601", None]
    assert table.column("instant").to_pylist()[1:3] == [None, None]
    assert table.column("rank").to_pylist() == [1, None, None, 1, None]
    # Without it, only rows with a reading, as before.
    assert pa.table(epochsift.identify_arrow(pa.array(texts))).column("row").to_pylist() == [0, 3]
    for kind in (pa.int64(), pa.int32(), pa.uint64()):
        column = pa.array([1700000000, None, 1600000000], kind)
        got = pa.table(epochsift.identify_arrow(column, keep_empty=True))
        assert got.column("rendered").to_pylist() == ["2023-11-14T22:13:20Z", None, "2020-09-13T12:26:40Z"], kind
    with pytest.raises(TypeError):
        epochsift.identify_arrow(pa.array(texts), keep_empty=1)
    with pytest.raises(TypeError):
        epochsift.identify_many(texts[:1], keep_empty=True)


@settings(max_examples=40, deadline=None)
@given(st.lists(st.one_of(st.none(), st.integers(0, 2**40).map(str), st.text(max_size=8)), max_size=60),
       st.integers(1, 3))
def test_keep_empty_gives_each_input_its_rows_in_order(texts, best):
    pa = pytest.importorskip("pyarrow")
    rows = pa.table(epochsift.identify_arrow(pa.array(texts, pa.string()), keep_empty=True, best=best)).to_pylist()
    expected_rows = []
    for i, text in enumerate(texts):
        readings = [] if text is None else epochsift.identify(text, extended=True)[:best]
        expected_rows += [(i, r["format_id"]) for r in readings] or [(i, None)]
    assert [(r["row"], r["format_id"]) for r in rows] == expected_rows


@settings(max_examples=40, deadline=None)
@given(st.lists(st.integers(0, 2**31 - 1), min_size=1, max_size=40))
def test_verdict_earliest_and_latest_are_the_extremes(seconds):
    unix = next(v for v in epochsift.identify_column([str(s) for s in seconds]) if v["format_id"] == "unix")
    assert unix["first"] == seconds[0] * 10**9 and unix["last"] == seconds[-1] * 10**9
    assert unix["earliest"] == min(seconds) * 10**9 and unix["latest"] == max(seconds) * 10**9


# encode: every layout with a byte order reads back through identify_bytes in both orders; a byte sequence
# (BCD digits, semi-octets) has no little-endian form.
INSTANTS = ["2024-03-31T01:30:00.123456789Z", "1999-12-31T23:59:59Z", "2010-06-15T08:00:00Z", "1985-02-01T00:00:00Z"]


@pytest.mark.parametrize("when", INSTANTS)
def test_encoded_bytes_read_back_in_both_orders(when):
    for e in epochsift.encode(when):
        if e["hex_be"] is None:
            assert e["hex_le"] is None, e["format_id"]
            continue
        if e["format_id"] in ("bcd", "semioctet"):
            assert e["hex_le"] is None, e["format_id"]
            continue
        assert bytes.fromhex(e["hex_le"]) == bytes.fromhex(e["hex_be"])[::-1], e["format_id"]
        for key, order in (("hex_be", "big"), ("hex_le", "little")):
            readings = epochsift.identify_bytes(bytes.fromhex(e[key]), byte_order=order)
            assert any(r["format_id"] == e["format_id"] and r["instant"] == e["instant"] for r in readings), (
                e["format_id"], key)


def test_bcd_bytes_are_the_digits_in_order():
    # BCD holds YYMMDDhhmmss two digits a byte, first byte first.
    bcd = epochsift.encode("2010-06-15T08:09:10Z", families=["bcd"])[0]
    assert (bcd["hex_be"], bcd["hex_le"]) == ("100615080910", None)


# Zones: the wall-clock families hold the zone's wall clock, as zoneinfo gives it.
@pytest.mark.parametrize("zone", ["Europe/Berlin", "America/New_York", "Asia/Kolkata"])
@pytest.mark.parametrize("when", [dt.datetime(2024, 7, 1, 12, tzinfo=UTC), dt.datetime(2024, 1, 15, 3, 4, 5, tzinfo=UTC)])
def test_encode_writes_the_zones_wall_clock(zone, when):
    wall = when.astimezone(zoneinfo.ZoneInfo(zone))
    exif = epochsift.encode(when, families=["exif", "unix"], tz=zone)
    by_id = {e["format_id"]: e for e in exif}
    assert by_id["exif"]["value"] == wall.strftime("%Y:%m:%d %H:%M:%S")
    assert by_id["exif"]["instant"] == ns(when) and by_id["exif"]["exact"]
    assert any(zone in a for a in by_id["exif"]["assumptions"])
    assert by_id["unix"]["value"] == str(ns(when) // 10**9)
    # Read back as that zone's local time, the value gives the instant again.
    back = epochsift.identify(by_id["exif"]["value"], local_zone=zone)
    assert ns(when) in [r["instant"] for r in back]
    # Without a zone, UTC's wall clock, and the assumption says so.
    utc = epochsift.encode(when, families=["exif"])[0]
    assert utc["value"] == when.strftime("%Y:%m:%d %H:%M:%S") and "UTC" in utc["assumptions"][0]


@pytest.mark.parametrize("wall, fold_or_gap_instant", [
    # Berlin: 02:30 on 2024-03-31 is skipped (read with +01:00, the offset before it); on 2024-10-27 it occurs
    # twice, +02:00 first.
    ("2024-03-31T02:30:00", dt.datetime(2024, 3, 31, 1, 30, tzinfo=UTC)),
    ("2024-10-27T02:30:00", dt.datetime(2024, 10, 27, 0, 30, tzinfo=UTC)),
    ("2024-07-01T14:00:00", dt.datetime(2024, 7, 1, 12, tzinfo=UTC)),
])
def test_encode_reads_a_wall_clock_in_the_local_zone(wall, fold_or_gap_instant):
    unix = epochsift.encode(wall, families=["unix"], local_zone="Europe/Berlin")[0]
    assert int(unix["value"]) * 10**9 == ns(fold_or_gap_instant)
    naive = dt.datetime.fromisoformat(wall)
    assert epochsift.encode(naive, families=["unix"], local_zone="Europe/Berlin") == [unix]
    with pytest.raises(ValueError):
        epochsift.encode(wall, families=["unix"])  # no zone: a wall clock names no instant
    with pytest.raises(ValueError):
        epochsift.encode(wall, local_zone="Nowhere/Atlantis")


@pytest.mark.parametrize("value", ["1700000000", "13350000000000000", "879858441"])
def test_a_hint_that_names_nothing_is_left_out_of_the_extended_reading(value):
    assert epochsift.identify(value, extended=True, hint="zzqx") == epochsift.identify(value, extended=True)
    assert epochsift.identify_many([value], hint="zzqx") == epochsift.identify_many([value])
    assert epochsift.identify_column([value, value], hint="zzqx") == epochsift.identify_column([value, value])
    # A hint that names a family still counts: Chrome keeps WebKit time.
    chrome = epochsift.identify(value, extended=True, hint="chrome")
    webkit = [r for r in chrome if r["format_id"] == "webkit"]
    assert all(dict(r["components"]).get("artifact_match") == 1.0 for r in webkit)

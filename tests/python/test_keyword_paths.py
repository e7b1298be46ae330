"""identify's keyword options through every entry point: any combination, the
batch functions equal to identify per value, and the column tallies equal to
identify_column. The faults each option raises: test_options.py."""
import datetime as dt
import math
from zoneinfo import ZoneInfo

import pytest
from hypothesis import example, given, settings, strategies as st

import epochsift

pa = pytest.importorskip("pyarrow")

VALUES = ["1700000000", "1700000000123", "2024:10:27 02:30:00", "2024-03-31 02:30:00", "20231114221320",
          "0x5f5e100", "133456789012345678", "1.7e9", "Tue, 14 Nov 2023 22:13:20 +0000", "not a time", "",
          "018e9220-b23b-7000-8000-000000000000", "-1"]

OPTIONS = st.fixed_dictionaries({}, optional={
    "extended": st.booleans(),
    "hint": st.sampled_from(["exif", "unix", "ntfs", "java"]),
    "byte_width": st.integers(1, 16),
    "byte_order": st.sampled_from(["little", "big"]),
    "neighbours": st.lists(st.integers(1_600_000_000, 1_800_000_000), max_size=4),
    "window": st.sampled_from([("2020-01-01T00:00:00Z", "2030-01-01T00:00:00Z"), (0, 10**18)]),
    "tz": st.sampled_from(["Asia/Kolkata", "America/New_York", "+05:30", "UTC"]),
    "local_zone": st.sampled_from(["Europe/Berlin", "Australia/Lord_Howe", "-03:00"]),
})


@settings(max_examples=60, deadline=None)
@given(values=st.lists(st.sampled_from(VALUES), max_size=12), options=OPTIONS, threads=st.integers(1, 3),
       best=st.one_of(st.none(), st.integers(1, 3)))
@example(values=["1700000000", "2024:10:27 02:30:00"], options={"tz": "UTC"}, threads=1, best=1)  # best=K, zones named
@example(values=["2024:10:27 02:30:00"], options={"local_zone": "Europe/Berlin"}, threads=2, best=2)
def test_identify_many_is_identify_per_value(values, options, threads, best):
    expected = [epochsift.identify(v, **{"extended": True, **options})[:best] for v in values]
    assert epochsift.identify_many(values, threads=threads, best=best, **options) == expected
    # Member order as json.loads gives it, nested dicts included.
    got = epochsift.identify_many(values, threads=threads, best=best, **options)
    assert [[list(r.items()) for r in rs] for rs in got] == [[list(r.items()) for r in rs] for rs in expected]


@settings(max_examples=40, deadline=None)
@given(values=st.lists(st.one_of(st.none(), st.sampled_from(VALUES)), max_size=12), options=OPTIONS)
def test_identify_arrow_rows_are_identify_readings(values, options):
    table = pa.array(epochsift.identify_arrow(pa.array(values, pa.string()), best=None, **options)).to_pylist()
    expected = [(row, rank, r["format_id"], r["rendered"], r["score"])
                for row, v in enumerate(values) if v is not None
                for rank, r in enumerate(epochsift.identify(v, **{"extended": True, **options}), 1)]
    assert [(t["row"], t["rank"], t["format_id"], t["rendered"], t["score"]) for t in table] == expected


@settings(max_examples=40, deadline=None)
@given(value=st.sampled_from(VALUES), options=OPTIONS, zone=st.sampled_from(["Asia/Kolkata", "America/Sao_Paulo"]))
def test_tz_only_adds_the_wall_clock_zoneinfo_gives(value, options, zone):
    options.pop("tz", None)
    plain = epochsift.identify(value, **options)
    zoned = epochsift.identify(value, tz=zone, **options)
    assert [{k: v for k, v in r.items() if k != "local"} for r in zoned] == plain
    for reading in zoned:
        if reading["rendered"] is None or not 0 <= reading["instant"] < 4_000_000_000 * 10**9:
            continue
        seconds = reading["instant"] // 10**9
        wall = dt.datetime.fromtimestamp(seconds, ZoneInfo(zone))
        assert reading["local"]["time"].startswith(wall.replace(tzinfo=None).isoformat())
        assert reading["local"]["offset_seconds"] == wall.utcoffset().total_seconds()


# Everything at once: the ranking options act before the zones place the readings.
def test_all_options_together():
    window = (dt.datetime(2024, 1, 1, tzinfo=dt.timezone.utc), "2025-01-01T00:00:00Z")
    both = epochsift.identify("2024:10:27 02:30:00", extended=True, hint="exif", window=window, neighbours=["1"],
                              byte_width=8, byte_order="big", tz="Asia/Kolkata", local_zone="Europe/Berlin")
    exif = [r for r in both if r["format_id"] == "exif"]
    # 02:30 on 27 October 2024 happens twice in Berlin: CEST, then CET.
    assert [r["local_zone"]["offset_seconds"] for r in exif] == [7200, 3600]
    assert [r["local"]["time"] for r in exif] == ["2024-10-27T06:00:00+05:30", "2024-10-27T07:00:00+05:30"]
    assert epochsift.identify_json("2024:10:27 02:30:00", extended=True, hint="exif", window=window,
                                   tz="Asia/Kolkata", local_zone="Europe/Berlin").startswith("[")


COLUMN_VALUES = st.lists(st.one_of(
    st.integers(1_500_000_000, 1_800_000_000).map(str),
    st.integers(1_500_000_000_000, 1_800_000_000_000).map(str),
    st.integers(1_500_000_000, 1_800_000_000).map(lambda t: t.to_bytes(4, "little").hex()),
    st.sampled_from(VALUES)), max_size=60)


@settings(max_examples=60, deadline=None)
@given(values=COLUMN_VALUES, cuts=st.lists(st.integers(0, 60), max_size=4),
       window=st.sampled_from([None, ("2020-01-01T00:00:00Z", "2026-01-01T00:00:00Z")]))
@example(values=["1500000000", "00f15365"], cuts=[1], window=None)  # bytes written as such only after the cut
@example(values=["1700000000", "1700000000"], cuts=[1], window=None)  # equal instants across the seam: in order
@example(values=["1700000000", "not a time", "1700000001"], cuts=[2], window=None)  # a gap just before the seam
@example(values=["1700000000", "1700000001"], cuts=[0, 0, 1], window=None)  # empty runs
def test_column_tallies_merge_into_identify_column(values, cuts, window):
    expected = epochsift.identify_column(values, window=window)
    assert epochsift._column_verdicts([epochsift._column_tallies(values, window=window)], window=window) == expected
    bounds = [0, *sorted(min(c, len(values)) for c in cuts), len(values)]
    runs = [epochsift._column_tallies(values[a:b], window=window) for a, b in zip(bounds, bounds[1:])]
    merged = epochsift._column_verdicts(runs, window=window)
    # Sums taken in another order may differ in the last bits of a score, and so
    # may swap two verdicts of equal weight.
    def key(verdict):  # a family reading hex bytes gives a verdict for each byte order
        return verdict["format_id"], verdict.get("byte_order")

    assert {key(v): v["score"] for v in merged} == pytest.approx({key(v): v["score"] for v in expected})
    by_key = {key(v): v for v in expected}
    for verdict in merged:
        assert {k: v for k, v in verdict.items() if k != "score"} == \
            {k: v for k, v in by_key[key(verdict)].items() if k != "score"}


# A column of hex bytes may hold values of decimal digits alone; random hex
# digits are all decimal with odds 10/16 a digit, so eight digits read as four
# bytes weigh (10/16)^8 against the same bytes written so that they cannot be
# a number (spaced, as `xxd` writes them).
@pytest.mark.parametrize("digits", ["40336365", "65530000", "00000001"])
def test_digits_read_as_bytes_weigh_the_odds_of_all_decimal_hex(digits):
    log_likelihood, marked = 1, 10  # fields of a tally
    plain = epochsift._column_tallies([digits])
    spaced = epochsift._column_tallies([" ".join(digits[i:i + 2] for i in range(0, 8, 2))])
    byte_rows = [row for row, tally in enumerate(spaced) if tally[marked]]
    assert byte_rows
    for row in byte_rows:
        assert plain[row][log_likelihood] - spaced[row][log_likelihood] == pytest.approx(8 * math.log(10 / 16), rel=1e-3)

"""The extended reading and the column verdict, against values made by Python's own time arithmetic (never by
this module) and the documented layouts of the formats."""
import datetime as dt
import gzip
import io
import random
import struct

import pytest
from hypothesis import assume, given, settings
from hypothesis import strategies as st

import epochsift

UTC = dt.timezone.utc
EPOCH = dt.datetime(1970, 1, 1, tzinfo=UTC)
instants = st.datetimes(min_value=dt.datetime(1995, 1, 1), max_value=dt.datetime(2035, 1, 1), timezones=st.just(UTC))


def ns_since_epoch(when):
    delta = when - EPOCH
    return (delta.days * 86400 + delta.seconds) * 10**9 + delta.microseconds * 1000


def first(value, **options):
    return epochsift.identify(value, extended=True, **options)[0]


# Unix counts as time.time(), Date.now(), gettimeofday and time_ns() make
# them: whole units of the family, the finer ones with any sub-unit digits.
@pytest.mark.parametrize("family, unit_ns", [("unix", 10**9), ("unix_ms", 10**6), ("unix_us", 10**3), ("unix_ns", 1)])
@given(when=instants, extra_ns=st.integers(0, 999))
@settings(max_examples=150)
def test_unix_counts_rank_their_family_first(family, unit_ns, when, extra_ns):
    ns = ns_since_epoch(when) + (extra_ns if unit_ns == 1 else 0)
    count = ns // unit_ns
    # A nanosecond count whose low 12 bits are below 64 is shaped like a
    # Twitter/Discord identifier (1 in 64 by chance); those are ranked by the
    # identifier's evidence.
    assume(unit_ns != 1 or count & 0xFFF >= 64)
    best = first(str(count))
    assert (best["format_id"], best["instant"]) == (family, count * unit_ns)


# FILETIME and .NET ticks from a microsecond clock end in one zero, from a
# whole-second clock in seven; neither is held against them.
@pytest.mark.parametrize("family, epoch", [("filetime", dt.datetime(1601, 1, 1, tzinfo=UTC)),
                                            ("dotnet_ticks", dt.datetime(1, 1, 1, tzinfo=UTC))])
@given(when=instants, whole_seconds=st.booleans())
@settings(max_examples=60)
def test_tick_counts_from_coarser_clocks(family, epoch, when, whole_seconds):
    if whole_seconds:
        when = when.replace(microsecond=0)
    delta = when - epoch
    ticks = (delta.days * 86400 + delta.seconds) * 10**7 + delta.microseconds * 10
    best = first(str(ticks))
    assert best["instant"] == ns_since_epoch(when)
    assert best["format_id"] in (family, "active" if family == "filetime" else family)


# Float seconds as repr(time.time()) writes them rank Unix above Cocoa.
@given(when=instants, micros=st.integers(1, 999_999))
@settings(max_examples=80)
def test_float_seconds_read_as_unix(when, micros):
    text = f"{int((when - EPOCH).total_seconds())}.{micros:06d}"
    assert first(text)["format_id"] == "unix_float"


# A Discord identifier (ms since 2015-01-01 above 22 bits of worker, process
# and a small sequence, per Discord's documentation) made two years or more
# after its epoch outranks the plain nanosecond count its digits also spell.
@given(when=st.datetimes(min_value=dt.datetime(2017, 1, 2), max_value=dt.datetime(2035, 1, 1), timezones=st.just(UTC)),
       worker=st.integers(0, 31), process=st.integers(0, 31), sequence=st.integers(1, 63))
@settings(max_examples=60)
def test_identifiers_with_small_sequences_read_as_identifiers(when, worker, process, sequence):
    ms = ns_since_epoch(when) // 10**6 - 1420070400000
    snowflake = ms << 22 | worker << 17 | process << 12 | sequence
    assume(snowflake % 1000 != 0)  # ending as a count of a coarser clock does, it is read as one
    readings = epochsift.identify(str(snowflake), extended=True)
    top_score = readings[0]["score"]
    tied = [r["format_id"] for r in readings if r["score"] == top_score]
    assert "discord" in tied and "unix_ns" not in tied


def test_extended_readings_keep_the_reference_keys_and_add_named_evidence():
    reference = epochsift.identify("1700000000")
    extended = epochsift.identify("1700000000", extended=True)
    # Every reference family reads it again; extended-only families may add readings.
    assert {r["format_id"] for r in reference} <= {r["format_id"] for r in extended}
    # The reference keys, and each reading's confidence besides.
    assert {tuple(sorted(r)) for r in extended} == {tuple(sorted([*reference[0], "confidence"]))}
    names = [name for name, _ in extended[0]["components"]]
    assert names[: len(reference[0]["components"])] == [n for n, _ in reference[0]["components"]]
    assert {"prior", "plausible_era", "resolution_fit"} <= set(names)


def dos_word(when):
    # FAT directory entry / ZIP header: date in the high 16 bits, time in the low.
    date = (when.year - 1980) << 9 | when.month << 5 | when.day
    time = when.hour << 11 | when.minute << 5 | when.second // 2
    return date << 16 | time


def spread_instants(rng, count):
    # Uniform over 1995-2035; drawn from a seeded generator so that shrinking
    # cannot pack the values into runs of adjacent seconds, which a packed
    # layout reads as validly as a count does.
    start, end = ns_since_epoch(dt.datetime(1995, 1, 1, tzinfo=UTC)), ns_since_epoch(dt.datetime(2035, 1, 1, tzinfo=UTC))
    return [EPOCH + dt.timedelta(microseconds=rng.randrange(start, end) // 1000) for _ in range(count)]


# Seconds since 2001-01-01 (Apple's CFAbsoluteTime) for instants of 2015-2023:
# their Unix reading falls years before 1995, and about half of them are also
# valid DOS date-time words (from 1993-2004), a far rarer way to meet a timestamp.
@given(when=st.datetimes(min_value=dt.datetime(2015, 1, 1), max_value=dt.datetime(2025, 12, 31), timezones=st.just(UTC)))
@settings(max_examples=120)
def test_cocoa_seconds_of_recent_years_read_as_cocoa(when):
    seconds = int((when - dt.datetime(2001, 1, 1, tzinfo=UTC)).total_seconds())
    assume(seconds < 725_846_400)  # Unix reading before 1993
    best = first(str(seconds))
    assert best["format_id"] == "cocoa" and best["instant"] == ns_since_epoch(when.replace(microsecond=0))


def prior_of(reading):
    return dict(reading["components"])["prior"]


@given(value=st.integers(1, 2**63 - 1))
@settings(max_examples=300)
def test_readings_tied_with_a_new_instant_go_before_a_repeated_one(value):
    readings = epochsift.identify(str(value), extended=True)
    seen = set()
    for i, reading in enumerate(readings):
        repeated = reading["instant"] in seen
        seen.add(reading["instant"])
        if not repeated:
            continue
        for later in readings[i + 1:]:
            if later["score"] != reading["score"] or prior_of(later) != prior_of(reading):
                break
            assert later["instant"] in seen, (reading["format_id"], later["format_id"])


@given(st.randoms(use_true_random=False))
@settings(max_examples=25)
def test_column_of_dos_words_is_fat(rng):
    whens = spread_instants(rng, 40)
    verdicts = epochsift.identify_column([str(dos_word(w)) for w in whens])
    assert verdicts[0]["format_id"] == "fat"
    assert verdicts[0]["read"] == len(whens)


@pytest.mark.parametrize("family, unit_ns", [("unix", 10**9), ("unix_ms", 10**6), ("unix_us", 10**3)])
@given(rng=st.randoms(use_true_random=False))
@settings(max_examples=15)
def test_column_of_unix_counts(family, unit_ns, rng):
    whens = sorted(spread_instants(rng, 40))
    values = [str(ns_since_epoch(w) // unit_ns) for w in whens]
    best = epochsift.identify_column(values)[0]
    assert best["format_id"] == family
    assert (best["read"], best["in_window"], best["ordered"]) == (len(values), len(values), 1.0)
    assert (best["first"], best["last"]) == (int(values[0]) * unit_ns, int(values[-1]) * unit_ns)


def gzip_mtime_bytes(seconds):
    """The MTIME field of a gzip header as Python's gzip module writes it (RFC 1952: little-endian)."""
    out = io.BytesIO()
    with gzip.GzipFile(fileobj=out, mode="wb", mtime=seconds) as stream:
        stream.write(b"x")
    return out.getvalue()[4:8].hex()


@pytest.mark.parametrize("order", ["little", "big"])
@given(seed=st.integers(0, 2**32))
@settings(max_examples=15)
def test_column_of_hex_bytes_names_family_and_order(order, seed):
    # A seeded generator: shrinking would make every value alike, and a few
    # alike values can read as typical in both orders.
    seconds = [ns_since_epoch(w) // 10**9 for w in spread_instants(random.Random(seed), 30)]
    # Big-endian is the network order struct writes; some values come out as digits alone.
    values = [gzip_mtime_bytes(t) if order == "little" else struct.pack(">I", t).hex() for t in seconds]
    best = epochsift.identify_column(values)[0]
    assert (best["format_id"], best.get("byte_order"), best["read"]) == ("unix", order, len(values))
    assert (best["first"], best["last"]) == (seconds[0] * 10**9, seconds[-1] * 10**9)
    only = epochsift.identify_column(values, byte_order="big" if order == "little" else "little")
    assert all(v.get("byte_order") != order for v in only)


@given(st.integers(788_918_400_000, 999_999_999_999))
@settings(max_examples=300)
def test_column_of_one_repeated_count_is_not_taken_for_bytes(ms):
    # Twelve decimal digits are also six hex bytes; numbers throughout say numbers.
    assert "byte_order" not in epochsift.identify_column([str(ms)] * 20)[0]


def test_column_options_and_faults():
    values = ["1700000000", "1700000100"]
    cocoa_window = ("2050-01-01T00:00:00Z", "2060-01-01T00:00:00Z")
    assert epochsift.identify_column(values, window=cocoa_window)[0]["format_id"] == "cocoa"
    assert epochsift.identify_column([]) == []
    with pytest.raises(TypeError):
        epochsift.identify_column("1700000000")
    with pytest.raises(TypeError):
        epochsift.identify_column(values, extended=True)

"""The integer and float paths: every reading's fields, its ranking and its notes."""
import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import epochsift

BASE_COMPONENTS = ["representable", "in_window", "granularity_match", "magnitude_fit", "epoch_distance",
                   "prevalence", "not_sentinel"]
WEIGHTS = {"in_window": 2.0, "magnitude_fit": 2.0, "not_sentinel": 2.0, "prevalence": 0.0}  # the rest 1.0
FLOAT_ROWS = {"ole", "cocoa_float", "unix_float", "sqlite_julian", "excel1904", "mjd"}
SHIFTED_ROWS = {"snowflake", "gmsgid", "discord", "mastodon", "linkedin", "tiktok", "sony"}
LOCAL_ROWS = {"hfs", "fat", "exfat", "dttm", "bitdate", "bitdec", "bcd", "dvr", "semioctet"}
REGISTRY_ROWS = 45

LEAP_SMEAR = "indistinguishable from a leap-smeared source without clock-policy metadata"
LOCAL = "stored as LOCAL wall-clock time with no offset \u2014 the instant is naive, not UTC"
WHOLE_SECOND = (
    "sub-second field is exactly zero \u2014 consistent with a SetFileTime-style manipulation, "
    "not a naturally-recorded instant"
)
UNSIGNED_32 = (
    "stored value exceeds the signed 32-bit range (2^31) but fits an unsigned 32-bit field \u2014 "
    "consistent with an unsigned 32-bit time field, or a value past a signed field's rollover"
)
NEAR_SIGNED_32_MAX = (
    "stored value is within ~2 years of the signed 32-bit maximum (2^31-1) \u2014 consistent with "
    "approaching the representable limit of a signed 32-bit field (the Unix Y2038 boundary for a "
    "1970-epoch field)"
)
SENTINELS = {
    0: "possible sentinel: zero / unset",
    -1: "possible sentinel: -1 / all-ones (unset)",
    -(2**63): "possible sentinel: i64 min (0x8000000000000000 \u2014 unset/overflow)",
    2**63 - 1: "known sentinel: 0x7FFFFFFFFFFFFFFF (e.g. AD accountExpires 'never')",
}


def sentinel_note(raw):
    return (
        f"value {raw} is a likely sentinel ({SENTINELS[raw]}) \u2014 "
        "an 'unset'/'never' marker, not necessarily a real instant"
    )


def consistent_note(reading):
    return f"consistent with {reading['label']} [{reading['citation']}] \u2014 a reading, not a determination"


def numeric(text):
    """The readings of the numeric paths; string readings carry no in_window component."""
    return [r for r in epochsift.identify(text) if any(name == "in_window" for name, _ in r["components"])]


def by_id(readings):
    return {r["format_id"]: r for r in readings}


def weighted_mean(components):
    total = weight_sum = 0.0
    for name, value in components:
        weight = WEIGHTS.get(name, 1.0)
        total += weight * value
        weight_sum += weight
    return total / weight_sum if weight_sum else 0.0


# -- the integer path -------------------------------------------------------


def test_unix_reading_of_1700000000_in_full():
    text = epochsift.identify_json("1700000000")
    first = text[1 : text.index("},{") + 1]
    assert first == (
        '{"format_id":"unix","label":"Unix time (seconds)","citation":"POSIX.1-2017 \u00a74.16",'
        '"instant":1700000000000000000,"rendered":"2023-11-14T22:13:20Z","score":1.0,'
        '"components":[["representable",1.0],["in_window",1.0],["granularity_match",1.0],'
        '["magnitude_fit",1.0],["epoch_distance",1.0],["prevalence",1.0],["not_sentinel",1.0]],'
        '"assumptions":["consistent with Unix time (seconds) [POSIX.1-2017 \u00a74.16] \u2014 a reading, '
        'not a determination","indistinguishable from a leap-smeared source without clock-policy metadata"],'
        '"sentinel":false}'
    )


def test_1700000000_every_reading():
    readings = numeric("1700000000")
    ids = [r["format_id"] for r in readings]
    assert len(ids) == len(set(ids)) <= REGISTRY_ROWS
    assert not FLOAT_ROWS & set(ids)
    for r in readings:
        assert [name for name, _ in r["components"]] == BASE_COMPONENTS, r["format_id"]
        assert r["sentinel"] is False
        expected_notes = [consistent_note(r), LEAP_SMEAR] + ([LOCAL] if r["format_id"] in LOCAL_ROWS else [])
        if r["format_id"] == "filetime":  # 170 s after 1601: a whole second
            expected_notes.append(WHOLE_SECOND)
        assert r["assumptions"] == expected_notes, r["format_id"]
    # Equal scores: prevalence 1.0 first, then byte-wise identifiers.
    sevenths = [r["format_id"] for r in readings if r["score"] == 7 / 9]
    assert sevenths == ["cocoa", "hfsplus", "ksuid", "bitdate", "bitdec", "dhcp6", "dttm", "hfs", "nokiale"]
    assert [r["score"] for r in readings] == sorted((r["score"] for r in readings), reverse=True)


@pytest.mark.parametrize(
    "text, row, components, score",
    [
        ("1700000000", "cocoa", [1.0, 0.0, 1.0, 1.0, 1.0, 1.0, 1.0], 0.7777777777777778),
        ("1700000000000", "unix_ms", [1.0, 1.0, 0.0, 1.0, 1.0, 1.0, 1.0], 0.8888888888888888),
        ("1700000000000", "postgres", [1.0, 1.0, 0.0, 1.0, 0.026953323186199897, 1.0, 1.0], 0.7807725914651333),
        ("1700000000000", "snowflake", [1.0, 1.0, 0.0, 6.426163749365804e-6, 6.426163749365804e-6, 1.0, 1.0],
         0.5555576976101386),
        ("0", "unix", [1.0, 0.0, 1.0, 1.0, 0.0, 1.0, 0.0], 0.4444444444444444),
        ("-1000", "unix_ms", [1.0, 0.0, 0.0, 1.0, 0.0, 1.0, 1.0], 5 / 9),
        ("1700000000", "hfs", [1.0, 0.0, 1.0, 1.0, 1.0, 0.5, 1.0], 0.7777777777777778),
    ],
)
def test_worked_components(text, row, components, score):
    reading = by_id(numeric(text))[row]
    assert reading["components"] == [[n, v] for n, v in zip(BASE_COMPONENTS, components)]
    assert reading["score"] == score


@pytest.mark.parametrize("raw", sorted(SENTINELS))
def test_sentinel_values(raw):
    readings = numeric(str(raw))
    assert readings
    for r in readings:
        assert r["sentinel"] is True
        assert dict(r["components"])["not_sentinel"] == 0.0
        assert r["assumptions"][:2] == [consistent_note(r), LEAP_SMEAR]
        assert sentinel_note(raw) in r["assumptions"], r["format_id"]


def test_zero_reads_filetime_epoch_as_a_whole_second():
    filetime = by_id(numeric("0"))["filetime"]
    assert filetime["rendered"] == "1601-01-01T00:00:00Z"
    assert filetime["assumptions"] == [consistent_note(filetime), LEAP_SMEAR, sentinel_note(0), WHOLE_SECOND]
    unix = by_id(numeric("0"))["unix"]
    assert unix["assumptions"] == [consistent_note(unix), LEAP_SMEAR, sentinel_note(0)]


def test_negative_and_64_bit_extremes():
    minus_one = by_id(numeric("-1"))
    assert (minus_one["unix"]["instant"], minus_one["unix"]["rendered"]) == (-(10**9), "1969-12-31T23:59:59Z")
    assert by_id(numeric("9223372036854775807"))["unix_ns"]["instant"] == 2**63 - 1
    smallest = by_id(numeric("-9223372036854775808"))
    assert smallest["unix_ns"]["rendered"] == "1677-09-21T00:12:43.145224192Z"
    assert smallest["unix_ns"]["components"][2] == ["granularity_match", 1.0]
    assert not SHIFTED_ROWS & (set(minus_one) | set(smallest))  # an identifier is never negative


@pytest.mark.parametrize("raw, row, note", [
    # Each edge of the two 32-bit notes, on seconds rows only (identifiers count seconds too, but not in a field).
    (2147483648, "unix", UNSIGNED_32), (4294967295, "unix", UNSIGNED_32), (4294967296, "unix", None),
    (2147483647, "unix", NEAR_SIGNED_32_MAX), (2084411647, "unix", NEAR_SIGNED_32_MAX), (2084411646, "unix", None),
    (2147483648, "cocoa", UNSIGNED_32), (2147483648, "unix_ms", None), (2147483647, "tiktok", None),
    # The whole-second note is FILETIME's alone.
    (133000000000000000, "filetime", WHOLE_SECOND), (133000000000000001, "filetime", None),
    (133000000000000000, "active", None), (130000000000000000, "webkit", None),
])
def test_value_notes(raw, row, note):
    reading = by_id(numeric(str(raw)))[row]
    row_notes = [consistent_note(reading), LEAP_SMEAR] + ([LOCAL] if row in LOCAL_ROWS else [])
    assert reading["assumptions"] == row_notes + ([note] if note else [])


# -- the float path ----------------------------------------------------------


def float_readings(text):
    return [r for r in epochsift.identify(text) if r["format_id"] in FLOAT_ROWS]


def test_1700000000_5():
    unix, cocoa = float_readings("1700000000.5")  # the day rows land past 9999: dropped, not kept unrendered
    assert (cocoa["format_id"], cocoa["instant"], cocoa["score"]) == ("cocoa_float", 2678307200500000000, 7 / 9)
    assert unix == {
        "format_id": "unix_float",
        "label": "Unix time (seconds, double)",
        "citation": "POSIX time_t (IEEE-754 double; fractional seconds)",
        "instant": 1700000000500000000,
        "rendered": "2023-11-14T22:13:20.5Z",
        "score": 1.0,
        "components": [[n, 1.0] for n in BASE_COMPONENTS],
        "assumptions": [consistent_note(unix), LEAP_SMEAR],
        "sentinel": False,
    }


def test_45000_5():
    readings = float_readings("45000.5")
    assert [(r["format_id"], r["rendered"]) for r in readings] == [
        ("ole", "2023-03-15T12:00:00Z"),
        ("excel1904", "2027-03-16T12:00:00Z"),
        ("cocoa_float", "2001-01-01T12:30:00.5Z"),
        ("sqlite_julian", "-004589-02-09T00:00:00Z"),
        ("mjd", "1982-01-31T12:00:00Z"),
        ("unix_float", "1970-01-01T12:30:00.5Z"),
    ]
    scores = {r["format_id"]: r["score"] for r in readings}
    assert scores["ole"] == scores["excel1904"] == 1.0
    assert scores["sqlite_julian"] == scores["mjd"] == 7 / 9
    cocoa = dict(by_id(readings)["cocoa_float"]["components"])
    assert cocoa["epoch_distance"] == 45000.5e9 / 6.3072e16


@pytest.mark.parametrize("text", ["0.0", "-0.0"])
def test_zero_reads_every_epoch(text):
    readings = float_readings(text)
    assert [(r["format_id"], r["score"]) for r in readings] == [("cocoa_float", 0.8888888888888888)] + [
        (row, 0.6666666666666666) for row in ("ole", "sqlite_julian", "unix_float", "excel1904", "mjd")]
    assert by_id(readings)["sqlite_julian"]["rendered"] == "-004713-11-24T12:00:00Z"
    for r in readings:
        assert dict(r["components"])["epoch_distance"] == 0.0
        assert r["sentinel"] is False


@pytest.mark.parametrize("text, instant", [("5e-10", 1), ("-5e-10", -1), ("1.5e-9", 2), ("-2.5e-9", -3)])
def test_halves_round_away_from_zero(text, instant):
    assert by_id(float_readings(text))["unix_float"]["instant"] == instant


@pytest.mark.parametrize("text", ["nan", "-Infinity", "1e30", "-1e30"])
def test_no_float_reading(text):
    assert float_readings(text) == []


# -- properties (test_properties.py checks every reading's rendering) ------------


def check_reading(reading):
    assert reading["score"] == weighted_mean(reading["components"]), reading["format_id"]
    assert [name for name, _ in reading["components"]] == BASE_COMPONENTS
    assert reading["rendered"] is not None  # numeric readings that cannot be shown are dropped


@settings(max_examples=300, deadline=None)
@given(st.integers(min_value=-(2**63), max_value=2**63 - 1))
def test_integer_readings_are_consistent(raw):
    readings = numeric(str(raw))
    assert not FLOAT_ROWS & {r["format_id"] for r in readings}
    for r in readings:
        check_reading(r)
        assert r["sentinel"] is (raw in SENTINELS)


def round_half_away(x):
    magnitude = math.fabs(x)
    whole = math.floor(magnitude)
    rounded = whole + 1 if magnitude - whole >= 0.5 else whole
    return int(math.copysign(rounded, x))


FLOAT_UNITS = {"ole": 86400e9, "cocoa_float": 1e9, "unix_float": 1e9, "sqlite_julian": 86400e9,
               "excel1904": 86400e9, "mjd": 86400e9}
FLOAT_EPOCHS = {"ole": -2209161600, "cocoa_float": 978307200, "unix_float": 0, "sqlite_julian": -210866760000,
                "excel1904": -2082844800, "mjd": -3506716800}


@settings(max_examples=300, deadline=None)
@given(st.floats(allow_nan=False, allow_infinity=False, min_value=-1e12, max_value=1e12))
def test_float_readings_are_consistent(x):
    for r in float_readings(repr(x)):
        check_reading(r)
        row = r["format_id"]
        assert r["instant"] == round_half_away(x * FLOAT_UNITS[row]) + FLOAT_EPOCHS[row] * 10**9
        assert r["assumptions"] == [consistent_note(r), LEAP_SMEAR]

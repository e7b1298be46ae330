"""The keyword-only options of identify and identify_json: each reaches the engine, faults are TypeError or
ValueError in every function that takes them, and the value alone stays the reference reading."""
import datetime as dt
import json

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import epochsift

UTC = dt.timezone.utc


def components(reading):
    return dict(reading["components"])


def by_id(readings):
    return {r["format_id"]: r for r in readings}


@pytest.mark.parametrize("value", ["1700000000", "1.7e9", "2024-05-01T12:00:00Z", "2024:10:27 02:30:00", "x", ""])
def test_absent_options_are_the_reference_reading(value):
    reference = epochsift.identify_json(value)
    assert epochsift.identify_json(value, extended=False, hint=None, byte_width=None, byte_order=None,
                                   neighbours=None, window=None, tz=None, local_zone=None) == reference
    assert json.loads(reference) == epochsift.identify(value)


# The context components and their documented values for 1700000000 read as
# Unix seconds: a 4-byte field in either order (the swapped value lands in
# 1970), rising neighbours, and a hint naming Chrome's history file.
def test_context_options_reach_the_integer_readings():
    readings = by_id(epochsift.identify("1700000000", hint="Chrome History", byte_width=4, byte_order="big",
                                        neighbours=[1700000000, "1700000100", 1700000050]))
    unix = components(readings["unix"])
    assert unix["byte_width_match"] == 1.0
    assert unix["endian_match"] == 1.0
    assert unix["neighbour_monotonicity"] == 1.0
    assert unix["artifact_match"] == pytest.approx(0.2)
    assert components(readings["webkit"])["artifact_match"] == 1.0


# A hint word names a family when it appears in the family's id, source or
# label, three letters or digits at least (the README): a family's own id names
# it wherever in the row the id stands, and a two-letter word names nothing.
def test_a_family_id_as_hint_names_that_family():
    hinted_alike = by_id(epochsift.identify("1700000000", hint="zzz"))
    named = [f for f, r in hinted_alike.items() if f.isalnum() and len(f) >= 3 and "artifact_match" in components(r)]
    assert {"unix", "filetime", "webkit", "cocoa"} <= set(named)
    for family in named:
        hinted = by_id(epochsift.identify("1700000000", hint=family))
        assert components(hinted[family])["artifact_match"] == 1.0, family


def test_two_letter_hint_words_name_nothing():
    hinted = by_id(epochsift.identify("1700000000", hint="ms, us or ns"))
    for family in ("unix_ms", "unix_us", "unix_ns"):
        assert components(hinted[family])["artifact_match"] == pytest.approx(0.2), family


# The width evidence by its documented rule: 1.0 when the field is as wide as
# the family keeps its values (4 bytes for Unix seconds, 8 for milliseconds),
# else 0.5 when the value's magnitude fits in that many bytes (zero fits any)
# and 0.0 when it needs more.
def width_rule(value, width, usual):
    if width == usual:
        return 1.0
    return 0.0 if (abs(value).bit_length() + 7) // 8 > usual else 0.5


@settings(max_examples=80, deadline=None)
@given(st.integers(-2**36, 2**36), st.integers(1, 16))
@example(0, 2)  # zero: half, whatever the width
@example(0, 8)
@example(2**32 - 1, 8)  # the widest value four bytes hold
@example(2**32, 2)
def test_byte_width_evidence_follows_the_width_rule(value, width):
    readings = by_id(epochsift.identify(str(value), byte_width=width))
    for family, usual in (("unix", 4), ("unix_ms", 8)):
        assert components(readings[family])["byte_width_match"] == width_rule(value, width, usual), family


# A window of 2050 to 2060 holds 1700000000 read as Cocoa seconds
# (2001-01-01 + 1.7e9 s = 2054-11-14) and not as Unix seconds. That every
# form of the ends gives the same window: the property test below.
@pytest.mark.parametrize("window", [
    ("2050-01-01T00:00:00Z", "2060-01-01T00:00:00+00:00"),
    [dt.datetime(2050, 1, 1, tzinfo=UTC), "2060-01-01T00:00:00Z"],
])
def test_window_replaces_the_family_window(window):
    readings = by_id(epochsift.identify("1700000000", window=window))
    assert components(readings["cocoa"])["in_window"] == 1.0
    assert components(readings["unix"])["in_window"] == 0.0


@given(st.datetimes(min_value=dt.datetime(1900, 1, 1), max_value=dt.datetime(2200, 1, 1),
                    timezones=st.sampled_from([UTC, dt.timezone(dt.timedelta(hours=-7, minutes=-30))])),
       st.integers(1, 10**6))
@settings(max_examples=60)
def test_window_ends_in_every_form_agree(start, seconds):
    end = start + dt.timedelta(seconds=seconds)
    delta = start - dt.datetime(1970, 1, 1, tzinfo=UTC)
    start_ns = (delta.days * 86400 + delta.seconds) * 10**9 + delta.microseconds * 1000
    as_text = (start.isoformat(), end.isoformat())
    as_ns = (start_ns, start_ns + seconds * 10**9)
    value = str(start_ns // 10**9)
    assert epochsift.identify_json(value, window=(start, end)) == epochsift.identify_json(value, window=as_text)
    assert epochsift.identify_json(value, window=(start, end)) == epochsift.identify_json(value, window=as_ns)


def arrow_column(value):
    return pytest.importorskip("pyarrow").array([value])


# Every function that takes the reading options, called on one value.
CALLS = {
    "identify": lambda **kw: epochsift.identify("1700000000", **kw),
    "identify_json": lambda **kw: epochsift.identify_json("1700000000", **kw),
    "identify_many": lambda **kw: epochsift.identify_many(["1700000000"], **kw),
    "identify_arrow": lambda **kw: epochsift.identify_arrow(arrow_column("1700000000"), **kw),
}


@pytest.mark.parametrize("function", CALLS)
@pytest.mark.parametrize("kwargs, error, message", [
    ({"extended": 1}, TypeError, "'extended' must be a bool"),
    ({"hint": b"chrome"}, TypeError, "'hint' must be a str"),
    ({"byte_width": "4"}, TypeError, "'byte_width' must be an int"),
    ({"byte_width": True}, TypeError, "'byte_width' must be an int"),
    ({"byte_width": 0}, ValueError, "1 to 16"),
    ({"byte_width": 17}, ValueError, "1 to 16"),
    ({"byte_width": 2**70}, ValueError, "1 to 16"),
    ({"byte_order": "middle"}, ValueError, "'little' or 'big'"),
    ({"byte_order": 1}, TypeError, "'byte_order' must be a str"),
    ({"neighbours": "123"}, TypeError, "iterable of integers"),
    ({"neighbours": 5}, TypeError, "iterable of integers"),
    ({"neighbours": [1.5]}, TypeError, "int or str"),
    ({"neighbours": ["12a"]}, ValueError, "not a signed 64-bit integer"),
    ({"neighbours": [2**63]}, ValueError, "does not fit a signed 64-bit integer"),
    ({"window": "2024"}, TypeError, "(start, end) pair"),
    ({"window": (1, 2, 3)}, ValueError, "(start, end) pair"),
    ({"window": (2, 1)}, ValueError, "start must lie before the end"),
    ({"window": (5, 5)}, ValueError, "start must lie before the end"),  # empty: holds no instant
    ({"window": ("2024-05-01T12:00:00Z", "2024-05-01T14:00:00+02:00")}, ValueError, "start must lie before the end"),
    ({"window": (dt.datetime(2020, 1, 1), 5)}, ValueError, "naive datetime"),
    ({"window": ("2024-05-01T12:00:00", 5)}, ValueError, "RFC 3339 date-time with an offset"),
    ({"window": (1.5, 2)}, TypeError, "aware datetimes, RFC 3339 texts or integer nanoseconds"),
    ({"windows": (1, 2)}, TypeError, "unexpected keyword argument 'windows'"),
    ({"tz": 5}, TypeError, "'tz' must be a str"),
    ({"local_zone": b"UTC"}, TypeError, "'local_zone' must be a str"),
    ({"tz": "Mars/Olympus"}, ValueError, "unknown time zone"),
    ({"local_zone": "+25:00"}, ValueError, "unknown time zone"),
])
def test_option_faults(function, kwargs, error, message):
    with pytest.raises(error, match=message.replace("(", r"\(").replace(")", r"\)")) as info:
        CALLS[function](**kwargs)
    assert function + "()" in str(info.value)


# The README's ranges, both ends: byte_width 1 to 16, byte_order little or big.
@pytest.mark.parametrize("function", CALLS)
@pytest.mark.parametrize("kwargs", [{"byte_width": 1}, {"byte_width": 16}, {"byte_order": "little"},
                                    {"byte_order": "big"}])
def test_option_range_ends_are_taken(function, kwargs):
    CALLS[function](**kwargs)


@pytest.mark.parametrize("function", [epochsift.identify, epochsift.identify_json])
def test_options_are_keyword_only(function):
    with pytest.raises(TypeError, match="keyword-only"):
        function("1700000000", True)


def bound_like_identify(value, *, extended=False, hint=None, byte_width=None, byte_order=None, neighbours=None,
                        window=None, tz=None, local_zone=None):
    return value


# Call shapes: the interpreter's own binding of identify's signature decides
# which are accepted.
CALL_SHAPES = [
    (("1700000000",), {}),
    ((), {"value": "1700000000"}),
    ((), {"hint": "chrome", "value": "1700000000", "extended": True}),
    (("1700000000",), {"byte_width": 4, "extended": True}),
    (("1700000000",), {"value": "1700000000"}),
    ((), {}),
    ((), {"extended": True}),
    (("1700000000", True), {}),
    (("1700000000", True), {"extended": True}),
    (("1700000000",), {"bogus": 1}),
]


@pytest.mark.parametrize("function", [epochsift.identify, epochsift.identify_json])
@pytest.mark.parametrize("args, kwargs", CALL_SHAPES)
def test_arguments_bind_as_the_signature_says(function, args, kwargs):
    try:
        bound_like_identify(*args, **kwargs)
    except TypeError:
        with pytest.raises(TypeError, match=function.__name__):
            function(*args, **kwargs)
        return
    options = {k: v for k, v in kwargs.items() if k != "value"}
    assert function(*args, **kwargs) == function("1700000000", **options)

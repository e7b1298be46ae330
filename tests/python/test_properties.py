"""Rendering across the whole calendar range, negative years included: every
reading's `rendered` against an independent rendering of its `instant`."""
import base64
import datetime
import json

from hypothesis import given, settings
from hypothesis import strategies as st

import epochsift

# Whole seconds the calendar shows: -009999-01-02T01:59:59Z to 9999-12-30T22:00:00Z.
MIN_SECOND = -377_705_023_201
MAX_SECOND = 253_402_207_200
NS = 10**9
DAYS_PER_400_YEARS = 146_097  # the Gregorian calendar repeats every 400 years
EPOCH_ORDINAL = datetime.date(1970, 1, 1).toordinal()


def render(instant):
    """RFC 3339 text of a nanosecond count, or None outside the range.

    Years before 1 are moved into datetime's range by whole 400-year cycles,
    which keep the month, day and weekday, and moved back in the text."""
    whole = -((-instant) // NS) if instant < 0 else instant // NS  # toward zero
    if not MIN_SECOND <= whole <= MAX_SECOND:
        return None
    seconds, fraction = divmod(instant, NS)
    days, second_of_day = divmod(seconds, 86_400)
    cycles = 0
    while EPOCH_ORDINAL + days + cycles * DAYS_PER_400_YEARS < 1:
        cycles += 1
    date = datetime.date.fromordinal(EPOCH_ORDINAL + days + cycles * DAYS_PER_400_YEARS)
    year = date.year - 400 * cycles
    year_text = f"{year:04d}" if year >= 0 else f"-{-year:06d}"
    hour, rest = divmod(second_of_day, 3600)
    minute, second = divmod(rest, 60)
    text = f"{year_text}-{date.month:02d}-{date.day:02d}T{hour:02d}:{minute:02d}:{second:02d}"
    if fraction:
        text += "." + f"{fraction:09d}".rstrip("0")
    return text + "Z"


def check_rendering(text):
    readings = epochsift.identify(text)
    for reading in readings:
        assert reading["rendered"] == render(reading["instant"]), (text, reading["format_id"])
    return readings


RANGE_EDGE = st.one_of(
    st.integers(min_value=MIN_SECOND - 2, max_value=MIN_SECOND + 2),
    st.integers(min_value=MAX_SECOND - 2, max_value=MAX_SECOND + 2),
)


# Unix seconds reach every year of the range; the other rows land wherever
# the raw value takes them, and a reading only exists when it renders.
@settings(max_examples=500, deadline=None)
@given(st.one_of(st.integers(min_value=MIN_SECOND, max_value=MAX_SECOND), RANGE_EDGE, st.integers(-(2**63), 2**63 - 1)))
def test_integer_readings_render_across_the_range(raw):
    readings = check_rendering(str(raw))
    if MIN_SECOND <= raw <= MAX_SECOND:
        assert "unix" in {reading["format_id"] for reading in readings}


# A token claim keeps its reading outside the range, unrendered (None).
@settings(max_examples=300, deadline=None)
@given(st.one_of(RANGE_EDGE, st.integers(-(2**63), 2**63 - 1)))
def test_claim_readings_render_or_are_none(seconds):
    payload = base64.urlsafe_b64encode(json.dumps({"iat": seconds}).encode()).decode().rstrip("=")
    readings = check_rendering(f".{payload}.")
    assert [reading["instant"] for reading in readings if reading["format_id"] == "jwt_iat"] == [seconds * NS]


# Extended years with a sign and six digits, at any offset.
@settings(max_examples=300, deadline=None)
@given(
    st.integers(min_value=-10_000, max_value=10_000),
    st.integers(min_value=1, max_value=12),
    st.integers(min_value=1, max_value=28),
    st.integers(min_value=0, max_value=86_399),
    st.integers(min_value=0, max_value=NS - 1),
    st.sampled_from(["Z", "+23:59", "-23:59", "+05:30"]),
)
def test_extended_year_readings_render_across_the_range(year, month, day, second, nanos, offset):
    sign = "-" if year < 0 else "+"
    text = (
        f"{sign}{abs(year):06d}-{month:02d}-{day:02d}T{second // 3600:02d}:{second // 60 % 60:02d}:"
        f"{second % 60:02d}.{nanos:09d}{offset}"
    )
    check_rendering(text)

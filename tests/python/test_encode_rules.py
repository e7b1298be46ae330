"""encode's rounding and range rules against independent computations: a count
is the floor of the instant in its unit (POSIX time, FILETIME and the others
count whole units up to the instant), an NTP 64-bit fraction is the smallest
that reads back as the instant (RFC 5905 §6: 32 fraction bits, about 233 ps a
step), BCD digits are the date's decimal digits two a byte, and an identifier
whose time field cannot hold the instant is not written."""
import math
import random

import pytest

import epochsift

NTP_TO_UNIX = 2_208_988_800  # RFC 5905: 1900-01-01 to 1970-01-01 in seconds
FILETIME_TO_UNIX = 11_644_473_600  # [MS-DTYP] 2.3.3: 1601-01-01 to 1970-01-01


def encoded(when):
    return {row["format_id"]: row for row in epochsift.encode(when)}


# Instants just before, at and after the epoch, and whole or fractional seconds.
@pytest.mark.parametrize("ns", [-1, 0, 1, -999_999_999, -1_000_000_000, -1_000_000_001, 1_700_000_000_123_456_789,
                                -86_400_000_000_001])
def test_counts_are_floors(ns):
    rows = encoded(ns)
    assert rows["unix"]["value"] == str(ns // 10**9)
    assert rows["unix_ms"]["value"] == str(ns // 10**6)
    assert rows["unix_us"]["value"] == str(ns // 10**3)
    assert rows["unix_ns"]["value"] == str(ns)
    assert rows["filetime"]["value"] == str((ns + FILETIME_TO_UNIX * 10**9) // 100)


def test_ntp64_fraction_is_the_least_that_reads_back():
    rng = random.Random(5905)
    for ns in [1_714_564_800_000_000_000, 1_714_564_800_000_000_001, 1_714_564_800_999_999_999] + [
            rng.randrange(631_152_000 * 10**9, 2_085_978_495 * 10**9) for _ in range(200)]:
        row = encoded(ns)["ntp64"]
        seconds, remainder = divmod(ns, 10**9)
        fraction = -(-(remainder << 32) // 10**9)  # ceiling
        expected = (seconds + NTP_TO_UNIX) << 32 | fraction
        assert int(row["hex_be"], 16) == expected, ns
        assert row["exact"] is True
        assert row["instant"] == ns


def test_bcd_digits_two_a_byte():
    row = encoded("2024-05-01T12:34:56Z")["bcd"]
    assert row["hex_be"] == "240501123456"
    assert row["hex_le"] is None  # a digit sequence has no byte order


# A Snowflake's 41-bit millisecond field ends in 2080 (2^41 ms after 2010-11-04),
# Discord's in 2084: past them the identifier cannot be written.
@pytest.mark.parametrize("family, last_year", [("snowflake", 2079), ("discord", 2084)])
def test_identifiers_past_their_field_are_not_written(family, last_year):
    assert family in encoded("%d-06-01T00:00:00Z" % last_year)
    assert family not in encoded("2200-01-01T00:00:00Z")
    assert family not in encoded("%d-01-01T00:00:00Z" % (last_year + 1 + 1))

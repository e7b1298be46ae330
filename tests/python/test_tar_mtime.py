"""The tar header's mtime: eleven octal digits of Unix seconds (POSIX.1-2017
pax, ustar Interchange Format). A digit 8 or 9 is no octal digit."""
import pytest

import epochsift


def tar_readings(text):
    return [r for r in epochsift.identify(text, extended=True) if r["format_id"] == "tar_mtime"]


@pytest.mark.parametrize("text", ["14524513600", "00000000000", "17777777777", "12345670123"])
def test_octal_digits_read_as_seconds(text):
    (reading,) = tar_readings(text)
    assert reading["instant"] == int(text, 8) * 10**9


@pytest.mark.parametrize("text", ["14524513680", "14524513609", "19999999999", "1452451360", "145245136000"])
def test_not_eleven_octal_digits(text):
    assert tar_readings(text) == []


# Eleven octal digits hold up to 8^11 - 1 seconds (2514-05-30T01:53:03Z).
def test_encode_writes_at_most_eleven_octal_digits():
    last = {r["format_id"]: r for r in epochsift.encode((8**11 - 1) * 10**9)}
    assert last["tar_mtime"]["value"] == "77777777777"
    past = {r["format_id"]: r for r in epochsift.encode(8**11 * 10**9)}
    assert "tar_mtime" not in past
    assert {r["format_id"]: r for r in epochsift.encode(0)}["tar_mtime"]["value"] == "00000000000"

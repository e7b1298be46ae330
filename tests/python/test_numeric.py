"""The integer and float paths beyond single values: ranking ties, sentinels,
value notes, float rounding, and what has no reading."""
import pytest

import epochsift

LOCAL_FAMILIES = {"hfs", "fat", "exfat", "dttm", "bitdate", "bitdec", "bcd", "dvr", "semioctet"}
LOCAL_NOTE = "stored as LOCAL wall-clock time with no offset \u2014 the instant is naive, not UTC"


def numeric(text):
    return [r for r in epochsift.identify(text) if any(name == "in_window" for name, _ in r["components"])]


def by_id(readings):
    return {r["format_id"]: r for r in readings}


def test_equal_scores_rank_common_families_first_then_by_id():
    readings = numeric("1700000000")
    assert [r["score"] for r in readings] == sorted((r["score"] for r in readings), reverse=True)
    tied = [r["format_id"] for r in readings if r["score"] == 7 / 9]
    assert tied == ["cocoa", "hfsplus", "ksuid", "bitdate", "bitdec", "dhcp6", "dttm", "hfs", "nokiale"]


def test_wall_clock_families_say_so():
    for r in numeric("1700000000"):
        assert (LOCAL_NOTE in r["assumptions"]) == (r["format_id"] in LOCAL_FAMILIES), r["format_id"]


@pytest.mark.parametrize("raw", [0, -1, -(2**63), 2**63 - 1])
def test_sentinel_values(raw):
    readings = numeric(str(raw))
    assert readings
    for r in readings:
        assert r["sentinel"] is True
        assert dict(r["components"])["not_sentinel"] == 0.0
        assert any(note.startswith(f"value {raw} is a likely sentinel") for note in r["assumptions"])


@pytest.mark.parametrize("raw, family, note", [
    # Each edge of the two 32-bit notes, on seconds families only.
    (2147483648, "unix", "exceeds the signed 32-bit"), (4294967295, "unix", "exceeds the signed 32-bit"),
    (4294967296, "unix", None), (2147483647, "unix", "within ~2 years"), (2084411647, "unix", "within ~2 years"),
    (2084411646, "unix", None), (2147483648, "cocoa", "exceeds the signed 32-bit"), (2147483648, "unix_ms", None),
    (2147483647, "tiktok", None),
    # The whole-second note is FILETIME's alone.
    (133000000000000000, "filetime", "SetFileTime"), (133000000000000001, "filetime", None),
    (133000000000000000, "active", None),
])
def test_value_notes(raw, family, note):
    notes = by_id(numeric(str(raw)))[family]["assumptions"]
    value_notes = [n for n in notes if not n.startswith(("consistent with", "indistinguishable")) and n != LOCAL_NOTE]
    assert value_notes == ([] if note is None else [next(n for n in notes if note in n)])


@pytest.mark.parametrize("text, instant", [("5e-10", 1), ("-5e-10", -1), ("1.5e-9", 2), ("-2.5e-9", -3)])
def test_float_halves_round_away_from_zero(text, instant):
    assert by_id(epochsift.identify(text))["unix_float"]["instant"] == instant


@pytest.mark.parametrize("text", ["nan", "-Infinity", "1e30", "-1e30"])
def test_no_float_reading(text):
    assert not [r for r in numeric(text)]

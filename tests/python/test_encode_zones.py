"""encode() read back by identify, and readings seen through time zones,
checked against Python's uuid, struct and zoneinfo."""

import datetime as dt
import json
import struct
import subprocess
import uuid
from pathlib import Path
from zoneinfo import ZoneInfo

import pytest
from hypothesis import given, settings, strategies as st

import epochsift

NS = 1_000_000_000
# The calendar's whole seconds: years -9999 to 9999 at any offset.
MIN_NS = -377_705_023_201 * NS
MAX_NS = 253_402_207_200 * NS

# How far below the instant each counting family may read back: its unit.
RESOLUTION_NS = {
    "unix": NS, "unix_ms": 10**6, "unix_us": 1000, "unix_ns": 1, "filetime": 100, "webkit": 1000,
    "cocoa": NS, "hfsplus": NS, "dotnet_ticks": 100, "dhcp6": NS, "postgres": 1000, "snowflake": 10**6,
    "discord": 10**6, "prtime": 1000, "iostime": 1, "ksuid": NS, "mastodon": 10**6, "tiktok": NS,
    "sony": 10**7, "ulid": 10**6, "uuid_v7": 10**6, "uuid_v1": 100, "uuid_v6": 100, "objectid": NS,
    "jwt_iat": NS, "exif": NS, "iso8601": 1, "asn1_generalizedtime": 1, "dmtf_cim": 1000,
    "iso_ordinal": 86_400 * NS, "fat": 2 * NS,
}

instants = st.integers(min_value=MIN_NS, max_value=MAX_NS)


@settings(max_examples=150, deadline=None)
@given(instants)
def test_every_encoded_value_reads_back_in_its_family(t):
    for e in epochsift.encode(t):
        readings = [r["instant"] for r in epochsift.identify(e["value"], extended=True) if r["format_id"] == e["format_id"]]
        assert e["instant"] in readings, e
        assert e["exact"] == (e["instant"] == t)
        assert e["exact"] or e["assumptions"]
        if e["format_id"] in RESOLUTION_NS:
            assert 0 <= t - e["instant"] < RESOLUTION_NS[e["format_id"]], e


@settings(max_examples=150, deadline=None)
@given(instants)
def test_stored_bytes_are_the_value(t):
    for e in epochsift.encode(t, families=["unix_ms", "filetime", "unix_float", "ole", "sqlite_julian"]):
        raw = bytes.fromhex(e["hex_be"])
        assert raw[::-1].hex() == e["hex_le"]
        if e["format_id"] in ("unix_float", "ole", "sqlite_julian"):
            assert struct.unpack(">d", raw)[0] == float(e["value"])
        else:
            assert int.from_bytes(raw, "big", signed=True) == int(e["value"])


@settings(max_examples=100, deadline=None)
@given(st.integers(min_value=0, max_value=MAX_NS))
def test_uuids_carry_the_time_python_reads(t):
    got = {e["format_id"]: e["value"] for e in epochsift.encode(t, families=["uuid_v1", "uuid_v7"])}
    gregorian = (t + 12_219_292_800 * NS) // 100
    if "uuid_v1" in got:
        assert uuid.UUID(got["uuid_v1"]).version == 1
        assert uuid.UUID(got["uuid_v1"]).time == gregorian
    if t // 10**6 < 2**48:
        assert uuid.UUID(got["uuid_v7"]).version == 7
        assert uuid.UUID(got["uuid_v7"]).int >> 80 == t // 10**6


@pytest.mark.parametrize(
    "when",
    [
        0,
        "1970-01-01T00:00:00Z",
        "1970-01-01T01:00:00+01:00",
        dt.datetime(1970, 1, 1, tzinfo=dt.timezone.utc),
    ],
)
def test_when_forms_agree(when):
    assert epochsift.encode(when, families=["unix"])[0]["value"] == "0"


@pytest.mark.parametrize(
    "when, families, error",
    [
        (dt.datetime(2020, 1, 1), None, ValueError),  # naive datetime
        ("yesterday", None, ValueError),
        (10**40, None, ValueError),  # beyond year 9999
        (0, ["unix", "no_such_family"], ValueError),
        (0, "unix", TypeError),  # one string, not a list
        (1.5, None, TypeError),
    ],
)
def test_encode_refusals(when, families, error):
    with pytest.raises(error):
        epochsift.encode(when, families=families)


# Zones with daylight saving, a half-hour shift, offsets changed in history,
# southern summers, a 45-minute offset and Morocco's Ramadan shifts. The
# range runs past 2037, where the files' listed transitions end and their
# rule strings take over.
ZONES = [
    "America/New_York", "Europe/Berlin", "Australia/Lord_Howe", "Europe/Moscow", "Asia/Kolkata",
    "America/Sao_Paulo", "Pacific/Chatham", "Africa/Casablanca",
]
seconds_1970_2100 = st.integers(min_value=0, max_value=4_102_444_799)


@settings(max_examples=600, deadline=None)
@given(seconds_1970_2100, st.sampled_from(ZONES))
def test_display_zone_matches_zoneinfo(seconds, zone):
    reading = next(r for r in epochsift.identify(str(seconds), tz=zone) if r["format_id"] == "unix")
    expected = dt.datetime.fromtimestamp(seconds, ZoneInfo(zone))
    local = reading["local"]
    assert local["zone"] == zone
    assert local["time"] == expected.isoformat()
    assert local["offset_seconds"] == expected.utcoffset().total_seconds()
    assert local["abbreviation"] == expected.tzname()


walls = st.datetimes(min_value=dt.datetime(1970, 1, 2), max_value=dt.datetime(2100, 12, 30)).map(
    lambda d: d.replace(microsecond=0)
)


def zoneinfo_instants(wall, zone):
    earlier = int(wall.replace(tzinfo=ZoneInfo(zone), fold=0).timestamp())
    later = int(wall.replace(tzinfo=ZoneInfo(zone), fold=1).timestamp())
    return earlier, later


def check_placement(wall, zone):
    text = wall.strftime("%Y:%m:%d %H:%M:%S")  # EXIF stores wall-clock time
    readings = [r for r in epochsift.identify(text, local_zone=zone) if r["format_id"] == "exif"]
    earlier, later = zoneinfo_instants(wall, zone)
    got = [r["instant"] // NS for r in readings]
    if earlier < later:  # a fold: both instants, earlier first
        assert got == [earlier, later]
        assert all("occurs twice" in r["local_zone"]["note"] for r in readings)
    elif earlier > later:  # a gap: the offset before the shift, as zoneinfo's fold=0
        assert got == [earlier]
        assert "does not exist" in readings[0]["local_zone"]["note"]
    else:
        assert got == [earlier]
        assert readings[0]["local_zone"]["note"] is None


@settings(max_examples=600, deadline=None)
@given(walls, st.sampled_from(ZONES))
def test_local_zone_places_wall_clock_like_zoneinfo(wall, zone):
    check_placement(wall, zone)


def shifts(zone, first_year, last_year):
    """The wall clocks just around each offset change zoneinfo sees, found by
    stepping hour by hour: random walls rarely land in a gap or fold."""
    tz = ZoneInfo(zone)
    t = int(dt.datetime(first_year, 1, 1, tzinfo=dt.timezone.utc).timestamp())
    end = int(dt.datetime(last_year + 1, 1, 1, tzinfo=dt.timezone.utc).timestamp())
    before = dt.datetime.fromtimestamp(t, tz).utcoffset()
    while t < end:
        t += 3600
        after = dt.datetime.fromtimestamp(t, tz).utcoffset()
        if after != before:
            lo, hi = t - 3600, t  # the change lies in (lo, hi]
            while hi - lo > 1:
                mid = (lo + hi) // 2
                if dt.datetime.fromtimestamp(mid, tz).utcoffset() == before:
                    lo = mid
                else:
                    hi = mid
            wall = dt.datetime.fromtimestamp(hi, dt.timezone.utc).replace(tzinfo=None) + before
            yield wall
            before = after


# Every shift in two spans: the last listed transitions, and the rule strings'
# years far past them.
@pytest.mark.parametrize("zone", ZONES)
@pytest.mark.parametrize("years", [(2035, 2039), (2096, 2099)])
def test_every_shift_is_placed_like_zoneinfo(zone, years):
    for wall in shifts(zone, *years):
        for delta in (-3600, -1800, -1, 0, 1, 1799, 3599):
            check_placement(wall + dt.timedelta(seconds=delta), zone)


# A fixed offset as the zone a wall-clock time was written in (named zones:
# the zoneinfo comparisons above).
def test_fixed_offset_local_zone():
    readings = [r for r in epochsift.identify("2024:01:01 00:00:00", local_zone="+05:30") if r["format_id"] == "exif"]
    assert [r["rendered"] for r in readings] == ["2023-12-31T18:30:00Z"]


@pytest.mark.parametrize("zone, offset", [("+05:30", 19800), ("-0800", -28800), ("+00", 0)])
def test_fixed_offsets(zone, offset):
    reading = next(r for r in epochsift.identify("0", tz=zone) if r["format_id"] == "unix")
    assert reading["local"]["offset_seconds"] == offset
    expected = dt.datetime.fromtimestamp(0, dt.timezone(dt.timedelta(seconds=offset)))
    assert reading["local"]["time"] == expected.isoformat()


# Names that could leave the zone directory are refused before any file is opened.
@pytest.mark.parametrize(
    "zone",
    ["Mars/Olympus", "", "+25:00", "+05:60", "Europe/Berlin/x", "../zoneinfo/UTC", "/usr/share/zoneinfo/UTC",
     "Europe/./Berlin", "Europe//Berlin", "Europe/Berlin/", "Europe", "Europe/Ber lin"],
)
def test_unknown_zones(zone):
    with pytest.raises(ValueError):
        epochsift.identify("0", tz=zone)
    with pytest.raises(ValueError):
        epochsift.identify_json("0", local_zone=zone)


def test_zone_directory_from_tzdir(tmp_path, monkeypatch):
    # A zone is read from $TZDIR; a truncated or corrupt file there is an
    # unknown zone, not a crash.
    real = (Path("/usr/share/zoneinfo") / "Europe/Berlin").read_bytes()
    (tmp_path / "Test").mkdir()
    (tmp_path / "Test/Whole").write_bytes(real)
    (tmp_path / "Test/Cut").write_bytes(real[: len(real) // 2])
    (tmp_path / "Test/Footer").write_bytes(real[:-3] + b"X\n")
    monkeypatch.setenv("TZDIR", str(tmp_path))
    assert epochsift.identify("0", tz="Test/Whole")[0]["local"]["offset_seconds"] == 3600
    for zone in ("Test/Cut", "Test/Footer"):
        with pytest.raises(ValueError):
            epochsift.identify("0", tz=zone)


def test_zones_missing_from_the_system_come_from_tzdata(tmp_path, monkeypatch):
    pytest.importorskip("tzdata")
    monkeypatch.setenv("TZDIR", str(tmp_path))  # an empty system directory
    reading = next(r for r in epochsift.identify("2698056000", tz="America/New_York") if r["format_id"] == "unix")
    assert reading["local"]["abbreviation"] == "EDT"


from command_line import find_cli  # noqa: E402

CLI = find_cli()


@pytest.mark.skipif(CLI is None, reason="the command line is not installed")
class TestCommandLine:
    def run(self, *args):
        return subprocess.run([CLI, *args], capture_output=True, text=True)

    def test_encode_json_is_encode(self):
        done = self.run("--encode", "2024-03-31T01:30:00.5Z", "--json")
        assert done.returncode == 0
        assert json.loads(done.stdout) == epochsift.encode("2024-03-31T01:30:00.5Z")

    def test_encode_now_reads_the_clock(self):
        done = self.run("--encode", "now", "--json")
        unix = next(e for e in json.loads(done.stdout) if e["format_id"] == "unix")
        now = dt.datetime.now(dt.timezone.utc).timestamp()
        assert abs(int(unix["value"]) - now) < 60

    def test_tz_json_is_identify_json(self):
        done = self.run("--tz", "Asia/Kolkata", "--local-zone", "Europe/Berlin", "--json", "2024:10:27 02:30:00")
        expected = epochsift.identify_json("2024:10:27 02:30:00", extended=True, tz="Asia/Kolkata",
                                           local_zone="Europe/Berlin")
        assert done.stdout == expected + "\n"

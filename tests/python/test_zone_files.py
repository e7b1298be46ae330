"""Zone files a hostile or broken tz directory could hold: non-regular files,
offsets and abbreviations outside RFC 8536's limits. The files are written
here byte by byte after RFC 8536 (version 2: an empty 32-bit block, then the
64-bit block and a footer), and the good ones are checked against Python's
zoneinfo reading the same bytes."""
import datetime as dt
import io
import os
import struct
import subprocess
import sys
import zoneinfo

import pytest

import epochsift
from command_line import find_cli

CLI = find_cli()


def tzif(types, transitions=(), footer=b""):
    """A TZif version 2 file: types are (utoff, is_dst, abbreviation bytes);
    transitions are (Unix second, type index)."""
    chars = b""
    indices = []
    for _, _, abbreviation in types:
        indices.append(len(chars))
        chars += abbreviation + b"\0"

    def header(times, counts_only):
        counts = (0, 0, 0, 0 if counts_only else len(times), 1 if counts_only else len(types),
                  1 if counts_only else len(chars))
        return b"TZif2" + b"\0" * 15 + struct.pack(">6I", *counts)

    # The 32-bit block: one type, one abbreviation byte, as readers of version
    # 2 skip it.
    v1 = header((), True) + struct.pack(">lBB", 0, 0, 0) + b"\0"
    block = b"".join(struct.pack(">q", t) for t, _ in transitions)
    block += bytes(i for _, i in transitions)
    block += b"".join(struct.pack(">lBB", off, dst, at) for (off, dst, _), at in zip(types, indices))
    block += chars
    return v1 + header(transitions, False) + block + b"\n" + footer + b"\n"


@pytest.fixture
def zone_dir(tmp_path, monkeypatch):
    (tmp_path / "Test").mkdir()
    monkeypatch.setenv("TZDIR", str(tmp_path))
    return tmp_path / "Test"


def local_of(value, zone):
    return next(r for r in epochsift.identify(value, tz=zone) if r["format_id"] in ("unix", "iso8601"))["local"]


# Offsets at and just past RFC 8536's bounds, and the abbreviation alphabet.
GOOD = {
    "east_bound": [(93599, 0, b"EEE")],
    "west_bound": [(-89999, 0, b"WWW")],
    "numeric": [(19800, 0, b"+0530")],
    "three": [(-3600, 0, b"-01")],
    "six": [(7200, 1, b"ABCDEF")],
}
BAD = {
    "offset_near_int32_min": [(-2147483647, 0, b"XXX")],
    "offset_1000_hours": [(3_600_000, 0, b"XXX")],
    "offset_past_east_bound": [(93600, 0, b"XXX")],
    "offset_past_west_bound": [(-90000, 0, b"XXX")],
    "terminal_escapes": [(0, 0, b"\x1b]0;pwned\x07\x1b[31m\n")],
    "not_utf8": [(0, 0, b"\xff\xfe\xfd")],
    "two_letters": [(0, 0, b"AB")],
    "seven_letters": [(0, 0, b"ABCDEFG")],
    "space": [(0, 0, b"A B")],
    "second_type_bad": [(0, 0, b"UTC"), (3600, 1, b"\x1b[0m")],
}


@pytest.mark.parametrize("name", sorted(GOOD))
def test_files_within_the_limits_read_as_zoneinfo_reads_them(zone_dir, name):
    data = tzif(GOOD[name])
    (zone_dir / name).write_bytes(data)
    expected = zoneinfo.ZoneInfo.from_file(io.BytesIO(data))
    local = local_of("1700000000", f"Test/{name}")
    when = dt.datetime.fromtimestamp(1700000000, dt.timezone.utc)
    assert local["offset_seconds"] == int(expected.utcoffset(when).total_seconds())
    assert local["abbreviation"] == expected.tzname(when)


@pytest.mark.parametrize("name", sorted(BAD))
def test_files_past_the_limits_are_corrupt(zone_dir, name):
    (zone_dir / name).write_bytes(tzif(BAD[name]))
    with pytest.raises(ValueError, match="unknown time zone"):
        epochsift.identify("0", tz=f"Test/{name}")
    with pytest.raises(ValueError, match="unknown time zone"):
        epochsift.identify_json("0", local_zone=f"Test/{name}")


# The footer's abbreviations are held to the same alphabet and length.
@pytest.mark.parametrize("footer, good", [
    (b"<+0530>-5:30", True), (b"<ABCDEFG>1", False), (b"AAA0BBBBBBB,M3.2.0,M11.1.0", False),
])
def test_footer_abbreviations(zone_dir, footer, good):
    (zone_dir / "Footer").write_bytes(tzif([(0, 0, b"UTC")], footer=footer))
    if good:
        assert local_of("1700000000", "Test/Footer")["abbreviation"] == "+0530"
    else:
        with pytest.raises(ValueError):
            epochsift.identify("0", tz="Test/Footer")


def test_every_system_zone_is_still_read():
    names = sorted(zoneinfo.available_timezones())
    if not names:
        pytest.skip("no tz database")
    unread = []
    for name in names:
        try:
            epochsift.identify("0", tz=name)
        except ValueError:
            unread.append(name)
    assert unread == []


# A FIFO where a zone file should be: refused at once (a blocking open
# would wait for a writer for ever). Run apart, with a timeout.
@pytest.mark.skipif(not hasattr(os, "mkfifo"), reason="needs FIFOs")
def test_a_fifo_is_an_unknown_zone_at_once(zone_dir):
    os.mkfifo(zone_dir / "Fifo")
    code = """
import epochsift
for call in (lambda: epochsift.identify("0", tz="Test/Fifo"), lambda: epochsift.identify("0", local_zone="Test/Fifo")):
    try:
        call()
    except ValueError as error:
        print("unknown time zone" in str(error))
"""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    done = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=20)
    assert done.stdout == "True\nTrue\n", done.stderr
    if CLI is not None:
        done = subprocess.run([CLI, "--tz", "Test/Fifo", "0"], env=env, capture_output=True, text=True, timeout=20)
        assert done.returncode == 2 and "unknown time zone" in done.stderr


@pytest.mark.skipif(CLI is None, reason="the command line is not installed")
@pytest.mark.parametrize("name", ["terminal_escapes", "not_utf8", "offset_1000_hours"])
@pytest.mark.parametrize("json", [[], ["--json"]])
def test_command_line_refuses_corrupt_zones(zone_dir, name, json):
    (zone_dir / name).write_bytes(tzif(BAD[name]))
    done = subprocess.run([CLI, *json, "--tz", f"Test/{name}", "1700000000"], capture_output=True, timeout=20)
    assert done.returncode == 2
    assert done.stdout == b""
    assert b"unknown time zone" in done.stderr and b"\x1b" not in done.stderr and b"\xff" not in done.stderr


# The calendar's two ends: the wall clock is written, computed here by hand
# (Python's datetime reaches neither year -9999 nor offsets past 24 h).
@pytest.mark.parametrize("value, zone, time", [
    ("9999-12-30T22:00:00Z", "+01:00", "9999-12-30T23:00:00+01:00"),
    ("9999-12-30T22:00:00Z", "-23:59", "9999-12-29T22:01:00-23:59"),
    ("-009999-01-02T01:59:59Z", "-01:00", "-009999-01-02T00:59:59-01:00"),
    ("-009999-01-02T01:59:59Z", "+23:59", "-009999-01-03T01:58:59+23:59"),
])
def test_wall_clock_at_the_calendars_ends(value, zone, time):
    assert local_of(value, zone)["time"] == time


@pytest.mark.parametrize("value, name, time", [
    ("9999-12-30T22:00:00Z", "east_bound", "9999-12-31T23:59:59+25:59:59"),
    ("-009999-01-02T01:59:59Z", "west_bound", "-009999-01-01T01:00:00-24:59:59"),
])
def test_wall_clock_at_the_widest_offsets(zone_dir, value, name, time):
    (zone_dir / name).write_bytes(tzif(GOOD[name]))
    assert local_of(value, f"Test/{name}")["time"] == time
    json_local = next(r for r in __import__("json").loads(epochsift.identify_json(value, tz=f"Test/{name}"))
                      if r["format_id"] == "iso8601")["local"]
    assert json_local["time"] == time

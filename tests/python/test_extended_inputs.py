"""Extended inputs end to end: hex bytes, word pairs and wall-clock text, checked
against Python's own encoders and real tools (date, git, node under faketime)."""
import datetime as dt
import os
import shutil
import subprocess

import pytest
from hypothesis import assume, given, strategies as st

import epochsift

UTC = dt.timezone.utc
SEPARATORS = ["", " ", ":", "-"]


def spelled(data: bytes, separator: str) -> str:
    return separator.join(f"{b:02x}" for b in data)


def readings(value, **options):
    return epochsift.identify(value, extended=True, **options)


def instants(found, format_id):
    return {r["instant"] for r in found if r["format_id"] == format_id}


# ---- hex bytes ----


@given(st.integers(min_value=631152000, max_value=2208988799), st.sampled_from(SEPARATORS),
       st.sampled_from(["little", "big"]), st.sampled_from([4, 8]))
def test_hex_seconds_read_back_in_the_unix_family(seconds, separator, order, width):
    text = spelled(seconds.to_bytes(width, order), separator)
    assume(not text.isdigit())  # decimal digits alone stay decimal
    decimal = {r["instant"] for r in epochsift.identify(str(seconds)) if r["format_id"] == "unix"}
    assert decimal <= instants(readings(text), "unix")
    unix = [r for r in readings(text) if r["format_id"] == "unix" and r["instant"] in decimal]
    assert any(f"{width} bytes, {order}-endian, unsigned" in note or "either byte order" in note
               for r in unix for note in r["assumptions"])


@given(st.binary(min_size=1, max_size=16), st.sampled_from(SEPARATORS))
def test_text_and_bytes_give_the_same_readings(data, separator):
    text = spelled(data, separator)
    if text.isdigit():
        return  # decimal digits alone stay decimal
    from_text = {(r["format_id"], r["instant"]) for r in readings(text)
                 if any(n.startswith("read as") and "byte" in n and "word" not in n for n in r["assumptions"]) or r["format_id"] in {
                     "systemtime", "efi_time", "parquet_int96", "tai64", "tai64n", "udf", "btrfs", "iso9660",
                     "oracle_date", "mysql_datetime", "dos_date_time", "pcap", "pcap_be", "xfs", "xfs_bigtime",
                     "exfat_extended", "julian_hex", "gmail_boundary", "duid_llt"}}
    from_bytes = {(r["format_id"], r["instant"]) for r in epochsift.identify_bytes(data)}
    assert from_text == from_bytes


@pytest.mark.parametrize("value, format_id, expected", [
    # FILETIME of 2025-05-04T15:18:50.064939Z stored little-endian (Python int.to_bytes)
    ("aed19dd607bddb01", "filetime", "2025-05-04T15:18:50.064939Z"),
    ("00 00 01 8b cf e5 68 00", "unix_ms", "2023-11-14T22:13:20Z"),
    ("01dbbd07:d69dd1ae", "filetime", "2025-05-04T15:18:50.064939Z"),
])
def test_documented_hex_values(value, format_id, expected):
    assert expected in {r["rendered"] for r in readings(value) if r["format_id"] == format_id}


def test_reference_reading_is_untouched():
    for value in ["aed19dd607bddb01", "2024-07-21 05:43:47", "0ujtsYcgvSTl8PAuAdqWYSMnLOv", "01dbbd07:d69dd1ae"]:
        assert epochsift.identify(value) == epochsift.identify(value, extended=False)
        assert not any(r["format_id"] in {"iso8601_wall_clock", "ksuid_string"} for r in epochsift.identify(value))


def test_identify_bytes_arguments():
    data = bytes.fromhex("6817855a")
    assert epochsift.identify_bytes(bytearray(data)) == epochsift.identify_bytes(memoryview(data))
    big = epochsift.identify_bytes(data, byte_order="big")
    assert all("little-endian" not in n for r in big for n in r["assumptions"])
    with pytest.raises(ValueError):
        epochsift.identify_bytes(bytes(17))
    with pytest.raises(TypeError):
        epochsift.identify_bytes("6817855a")


# ---- wall-clock and other text, from real tools ----

FAKETIME = shutil.which("faketime")


def tool(*argv, env=None, fake=None):
    if fake is not None:
        if FAKETIME is None:
            pytest.skip("faketime is not installed")
        argv = (FAKETIME, fake) + argv
    return subprocess.run(argv, check=True, capture_output=True, text=True,
                          env={**os.environ, **(env or {})}).stdout.strip()


@given(st.datetimes(min_value=dt.datetime(1990, 1, 1), max_value=dt.datetime(2039, 12, 31)))
def test_python_isoformat_reads_as_wall_clock(moment):
    text = moment.isoformat(sep=" " if moment.second % 2 else "T")
    expected = int((moment.replace(tzinfo=UTC) - dt.datetime(1970, 1, 1, tzinfo=UTC)).total_seconds()) * 10**9 \
        + moment.microsecond * 1000 - (moment.microsecond * 1000) % 10**9 + (moment.microsecond * 1000) % 10**9
    found = [r for r in readings(text) if r["format_id"] == "iso8601_wall_clock"]
    assert [r["instant"] for r in found] == [expected]


@pytest.mark.parametrize("seconds", [0, 1700000000, 1783341201, 2000000000])
@pytest.mark.parametrize("zone", ["UTC", "Asia/Kolkata", "Europe/Berlin", "America/New_York",
                                  "America/Los_Angeles", "America/Sao_Paulo"])
def test_date_ctime_and_node_output(seconds, zone):
    env = {"LC_ALL": "C", "TZ": zone}
    instant = seconds * 10**9
    date_text = tool("date", "-d", f"@{seconds}", env=env)
    date_readings = [r for r in readings(date_text) if r["format_id"] == "ctime"]
    # UTC, RFC 5322's US names and tzdata's numeric names ("-03") state the offset.
    if zone in ("UTC", "America/New_York", "America/Los_Angeles", "America/Sao_Paulo"):
        assert [r["instant"] for r in date_readings] == [instant]
    else:
        assert len(date_readings) == 1 and "local" not in date_readings[0]  # read as wall-clock time
    if shutil.which("node"):
        js = tool("node", "-e", f"console.log(new Date({seconds * 1000}).toString())", env=env)
        assert instant in instants(readings(js), "js_date_string")


def test_git_ci_output(tmp_path):
    if shutil.which("git") is None:
        pytest.skip("git is not installed")
    env = {"GIT_AUTHOR_DATE": "2015-01-17T22:28:13+05:30", "GIT_COMMITTER_DATE": "2015-01-17T22:28:13+05:30",
           "GIT_AUTHOR_NAME": "a", "GIT_AUTHOR_EMAIL": "a@example.org", "GIT_COMMITTER_NAME": "a",
           "GIT_COMMITTER_EMAIL": "a@example.org"}
    tool("git", "init", "-q", str(tmp_path), env=env)
    tool("git", "-C", str(tmp_path), "commit", "-q", "--allow-empty", "-m", "x", env=env)
    text = tool("git", "-C", str(tmp_path), "log", "-1", "--format=%ci", env=env)
    assert text == "2015-01-17 22:28:13 +0530"
    assert 1421513893 * 10**9 in instants(readings(text), "iso8601_space_offset")


@pytest.mark.parametrize("nanos", [0, 1, 60985999, 999999999])
@pytest.mark.parametrize("zone", ["UTC", "Asia/Kolkata", "America/St_Johns"])
def test_stat_y_output(tmp_path, nanos, zone):
    path = tmp_path / "f"
    path.write_text("x")
    os.utime(path, ns=(1326912266 * 10**9 + nanos, 1326912266 * 10**9 + nanos))
    text = tool("stat", "-c", "%y", str(path), env={"TZ": zone})
    assert 1326912266 * 10**9 + nanos in instants(readings(text), "iso8601_space_offset")


def test_syslog_needs_a_window():
    assert not instants(readings("Nov 14 22:13:20"), "syslog")
    window = (dt.datetime(2023, 1, 1, tzinfo=UTC), dt.datetime(2024, 1, 1, tzinfo=UTC))
    assert instants(readings("Nov 14 22:13:20", window=window), "syslog") == {1700000000 * 10**9}

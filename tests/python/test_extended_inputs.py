"""Extended inputs end to end: hex bytes, word pairs and wall-clock text, checked
against Python's own encoders. The output of real tools (date, git, node, stat)
is checked on the parsers in tests/cpp/extended_inputs_test.cpp."""
import datetime as dt

import pytest
from hypothesis import assume, example, given, strategies as st

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
@example(bytes.fromhex("808080809a01"), "")  # a LEB128 time: a layout without a byte-order note
def test_text_and_bytes_give_the_same_readings(data, separator):
    text = spelled(data, separator)
    if text.isdigit():
        return  # decimal digits alone stay decimal
    from_text = {(r["format_id"], r["instant"]) for r in readings(text)
                 if any(n.startswith("read as") and "byte" in n and "word" not in n for n in r["assumptions"]) or r["format_id"] in {
                     "systemtime", "efi_time", "parquet_int96", "tai64", "tai64n", "udf", "btrfs", "iso9660",
                     "oracle_date", "mysql_datetime", "dos_date_time", "pcap", "pcap_be", "xfs", "xfs_bigtime",
                     "exfat_extended", "julian_hex", "gmail_boundary", "duid_llt", "leb128_unix_ms"}}
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


# ---- wall-clock text ----

@given(st.datetimes(min_value=dt.datetime(1990, 1, 1), max_value=dt.datetime(2039, 12, 31)))
def test_python_isoformat_reads_as_wall_clock(moment):
    text = moment.isoformat(sep=" " if moment.second % 2 else "T")
    expected = int((moment.replace(tzinfo=UTC) - dt.datetime(1970, 1, 1, tzinfo=UTC)).total_seconds()) * 10**9 \
        + moment.microsecond * 1000 - (moment.microsecond * 1000) % 10**9 + (moment.microsecond * 1000) % 10**9
    found = [r for r in readings(text) if r["format_id"] == "iso8601_wall_clock"]
    assert [r["instant"] for r in found] == [expected]

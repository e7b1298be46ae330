"""identify builds its dicts without a JSON text, and identify_json makes its str by way of UTF-16: both must
give what the plain route gives. The oracles are json.loads of the text and the command line's own UTF-8
bytes, decoded by Python."""
import json
import subprocess

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import epochsift
from command_line import find_cli

VALUES = st.one_of(
    st.integers(-(2**63), 2**63 - 1).map(str),
    st.integers(-(2**70), 2**70).map(str),  # past 64 bits: no integer readings, maybe decimal ones
    st.floats(allow_nan=True, allow_infinity=True).map(repr),
    st.decimals(allow_nan=False, allow_infinity=False, places=6).map(str),
    st.sampled_from(["2024-05-01T12:00:00+02:00", "01HX5ZZKBKACTAV9WEVGEMMVRZ", "507f1f77bcf86cd799439011",
                     "c232ab00-9414-11ec-b3c8-9f6bdeced846", "D:20240501120000Z", "0", "-1", "",
                     "2024-11-03T01:30:00", "2024-03-10T02:30:00"]),  # New York's fold and gap
    st.text(max_size=40),
)

# Options that change the components, the notes and the number of readings.
OPTIONS = [
    {},
    {"extended": True},
    {"hint": "Chrome History", "byte_width": 8, "byte_order": "little"},
    {"neighbours": [1700000000, 1700000100], "window": ("2000-01-01T00:00:00Z", "2040-01-01T00:00:00Z")},
    # Zones: "local" beside every reading, wall clocks placed (a fold gives two readings).
    {"extended": True, "tz": "+05:30"},
    {"extended": True, "tz": "Europe/Berlin", "local_zone": "America/New_York"},
]


@settings(max_examples=400, deadline=None)
@given(VALUES, st.sampled_from(OPTIONS))
def test_identify_equals_loads_of_identify_json(value, options):
    direct = epochsift.identify(value, **options)
    loaded = json.loads(epochsift.identify_json(value, **options))
    # repr: the same key order, float bits (NaN and -0.0 too) and exact ints, not only ==.
    assert repr(direct) == repr(loaded)


@pytest.mark.skipif(find_cli() is None, reason="the epochsift command line is not built")
@pytest.mark.parametrize("value", ["1700000000", "1700000000123", "-1", "45000.5", "133624772891477140",
                                   "9223372036854775807", "2024-05-01T12:00:00+02:00", "2024-11-03T01:30:00"])
@pytest.mark.parametrize("flags, options", [
    (["--reference"], {}),
    ([], {"extended": True}),
    (["--tz", "Europe/Berlin", "--local-zone", "America/New_York"],
     {"extended": True, "tz": "Europe/Berlin", "local_zone": "America/New_York"}),
])
def test_identify_json_str_equals_the_command_line_bytes(value, flags, options):
    command = [find_cli(), "--json"] + flags + ["--", value]
    done = subprocess.run(command, capture_output=True, check=True)
    assert epochsift.identify_json(value, **options) == done.stdout.decode("utf-8").rstrip("\n")


# identify_bytes' dicts against the command line's JSON text of the same bytes (--hex), loaded by
# json.loads: every width, both orders named or assumed, a hint's note, sentinel bytes.
BYTE_VALUES = sorted({bytes(random_bytes) for random_bytes in (
    __import__("random").Random(7).randbytes(width) for width in list(range(1, 17)) * 12)} | {
    bytes(4), bytes(8), b"\xff" * 8, b"\x7f" + b"\xff" * 7, b"\x80" + bytes(7), (1_700_000_000).to_bytes(4, "big"),
    (1_700_000_000_123).to_bytes(8, "little"), (133_624_772_891_477_140).to_bytes(8, "little")})


@pytest.mark.skipif(find_cli() is None, reason="the epochsift command line is not built")
@pytest.mark.parametrize("flags, options", [
    ([], {}),
    (["--endian", "little"], {"byte_order": "little"}),
    (["--hint", "Chrome History"], {"hint": "Chrome History"}),
])
def test_identify_bytes_equals_loads_of_the_command_line(flags, options):
    command = [find_cli(), "--json", "--hex"] + flags + ["--"] + [data.hex() for data in BYTE_VALUES]
    lines = subprocess.run(command, capture_output=True, check=True).stdout.decode("utf-8").splitlines()
    assert len(lines) == len(BYTE_VALUES)
    for data, line in zip(BYTE_VALUES, lines):
        assert repr(epochsift.identify_bytes(data, **options)) == repr(json.loads(line)), data.hex()

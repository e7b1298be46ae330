"""One reading shape: the field list of src/output/reading_fields.hpp is the
stub's Reading type and the keys of identify's dicts and identify_json's
objects, in that order, for every kind of reading."""
import ast
import json
import re
from pathlib import Path

import pytest

import epochsift

ROOT = Path(__file__).resolve().parents[2]


def listed_fields():
    header = (ROOT / "src" / "output" / "reading_fields.hpp").read_text(encoding="utf-8")
    body = re.search(r"READING_FIELD_NAMES = std::to_array<std::string_view>\(\{(.*?)\}\)", header, re.S).group(1)
    return re.findall(r'"([a-z_]+)"', body)


def stub_fields():
    tree = ast.parse((ROOT / "src" / "python" / "epochsift.pyi").read_text(encoding="utf-8"))
    reading = next(node for node in tree.body if isinstance(node, ast.ClassDef) and node.name == "Reading")
    return [item.target.id for item in reading.body if isinstance(item, ast.AnnAssign)]


def test_stub_is_the_list():
    assert listed_fields() == stub_fields()
    assert len(listed_fields()) == 10  # the README's list of keys


# A numeric family, a float family, a string form, an extended token, a
# binary record and a sentinel: every table of the catalog.
@pytest.mark.parametrize("value, options", [
    ("1700000000", {}),
    ("45000.5", {}),
    ("2024-05-01T12:00:00+02:00", {}),
    ("0", {"extended": True}),
    ("0ujsswThIGTUYm2K8FjOOfXtY1K", {"extended": True}),
    ("1700000000", {"extended": True, "hint": "ntfs", "byte_width": 8}),
])
def test_every_writer_lists_the_fields_in_order(value, options):
    # The reference reading weighs no confidence and writes none.
    fields = [f for f in listed_fields() if options.get("extended") or f != "confidence"]
    readings = epochsift.identify(value, **options)
    assert readings
    for reading in readings:
        assert list(reading) == fields
    for reading in json.loads(epochsift.identify_json(value, **options)):
        assert list(reading) == fields


def test_bytes_readings_have_the_same_shape():
    fields = listed_fields()
    for reading in epochsift.identify_bytes(bytes.fromhex("01d9b3a0c0ffee00")):
        assert list(reading) == fields

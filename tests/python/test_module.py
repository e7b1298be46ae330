"""The Python surface: argument binding, text extraction, exact instants."""
import datetime
import importlib
import inspect
import os
import sys

import pytest

import epochsift


FUNCTIONS = [epochsift.identify, epochsift.identify_json]


def test_module_shape():
    assert epochsift.__all__ == ["identify", "identify_json", "identify_column", "identify_bytes", "encode", "identify_many", "identify_arrow",
                                 "hint_words", "scan", "scan_arrow"]
    for function in FUNCTIONS:
        assert function.__module__ == "epochsift"
        assert str(inspect.signature(function)) == (
            "(value, *, extended=False, hint=None, byte_width=None, byte_order=None, neighbours=None, window=None, tz=None, local_zone=None)")
    assert str(inspect.signature(epochsift.encode)) == "(when, *, families=None, tz=None, local_zone=None)"


def test_reimport_gives_a_working_module():
    # Each import makes a module with its own state; the old one keeps working.
    first = sys.modules.pop("epochsift")
    expected = datetime.datetime.fromtimestamp(1700000000, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    try:
        again = importlib.import_module("epochsift")
        for module in (again, first):
            assert module.identify("1700000000")[0]["rendered"] == expected
    finally:
        sys.modules["epochsift"] = first


@pytest.mark.parametrize("text", ["", "   ", "\u3000\t\n"])
def test_nothing_decodes_empty_text(text):
    assert epochsift.identify(text) == []
    assert epochsift.identify_json(text) == "[]"


@pytest.mark.parametrize("function", FUNCTIONS)
@pytest.mark.parametrize(
    "args, kwargs",
    [
        ((), {}),  # missing
        (("1", "2"), {}),  # one too many
        ((), {"text": "1"}),  # unknown keyword
        (("1",), {"value": "1"}),  # by name and position
        ((), {"value": "1", "other": "2"}),  # a known and an unknown keyword
    ],
)
def test_binding_faults_raise_type_error(function, args, kwargs):
    with pytest.raises(TypeError):
        function(*args, **kwargs)


@pytest.mark.parametrize("function", FUNCTIONS)
@pytest.mark.parametrize("value", [1700000000, b"1700000000", bytearray(b"1"), 1.5, None, ["1"], memoryview(b"1")])
def test_only_str_is_accepted(function, value):
    with pytest.raises(TypeError) as info:
        function(value)
    assert "'value'" in str(info.value) and f"'{type(value).__name__}'" in str(info.value)


class Text(str):
    pass


@pytest.mark.parametrize("function", FUNCTIONS)
def test_str_subclass_is_accepted(function):
    assert function(Text("1700000000")) == function("1700000000")


@pytest.mark.parametrize("function", FUNCTIONS)
def test_unpaired_surrogate_raises_the_encoding_error(function):
    with pytest.raises(UnicodeEncodeError) as info:
        function("17\ud800")
    assert info.value.encoding == "utf-8"


def test_instants_beyond_64_bits_stay_exact():
    # Nanoseconds since 2001 push the instant past 2^63 while it still renders.
    readings = epochsift.identify("9223372036854775807")
    iostime = next(r for r in readings if r["format_id"] == "iostime")
    assert iostime["instant"] == 9223372036854775807 + 978307200 * 10**9
    assert isinstance(iostime["instant"], int)
    assert '"instant":10201679236854775807,' in epochsift.identify_json("9223372036854775807")


def test_spark_submodule_is_found_beside_the_extension():
    # Found (not imported: that needs pyspark) through the module's __path__.
    import importlib.util
    spec = importlib.util.find_spec("epochsift.spark")
    assert spec is not None and spec.origin.endswith("spark.py")
    assert os.path.dirname(os.path.dirname(spec.origin)) == os.path.dirname(epochsift.__file__)

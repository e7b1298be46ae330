"""The Python surface: argument binding, text extraction and the JSON round trip."""
import importlib
import inspect
import json
import sys

import pytest

import epochsift


FUNCTIONS = [epochsift.identify, epochsift.identify_json]


def test_module_shape():
    assert epochsift.__all__ == ["identify", "identify_json", "encode"]
    assert epochsift.__doc__ == ""
    for function in FUNCTIONS:
        assert function.__module__ == "epochsift"
        assert str(inspect.signature(function)) == "(value, *, extended=False, tz=None, local_zone=None)"
    assert str(inspect.signature(epochsift.encode)) == "(when, *, families=None)"
    assert epochsift.identify_json.__doc__.startswith("Identify a value, returning the ranked readings as a JSON string.")
    assert epochsift.identify.__doc__.startswith("Identify a timestamp value across every format family")
    assert epochsift.identify.__doc__.endswith("tripping a fixed-width limit.")


def test_built_as_limited_api_module():
    assert epochsift.__file__.endswith("epochsift.abi3.so")


def test_reimport_gives_the_same_module():
    first = sys.modules.pop("epochsift")
    try:
        again = importlib.import_module("epochsift")
        assert again is first
    finally:
        sys.modules["epochsift"] = first


@pytest.mark.parametrize("text", ["", "   ", "\u3000\t\n"])
def test_nothing_decodes_empty_text(text):
    assert epochsift.identify(text) == []
    assert epochsift.identify_json(text) == "[]"


@pytest.mark.parametrize("function", FUNCTIONS)
def test_keyword_and_positional_binding(function):
    assert function(value="x") == function("x")


@pytest.mark.parametrize("function", FUNCTIONS)
@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "missing required argument 'value'"),
        (("1", "2"), {}, "at most 1 argument"),
        ((), {"text": "1"}, "unexpected keyword argument 'text'"),
        (("1",), {"value": "1"}, "given by name ('value') and position"),
        ((), {"value": "1", "other": "2"}, "unexpected keyword argument"),
    ],
)
def test_binding_faults_raise_type_error(function, args, kwargs, message):
    with pytest.raises(TypeError, match=message.replace("(", r"\(").replace(")", r"\)")) as info:
        function(*args, **kwargs)
    assert function.__name__ + "()" in str(info.value)


@pytest.mark.parametrize("function", FUNCTIONS)
@pytest.mark.parametrize("value", [1700000000, b"1700000000", bytearray(b"1"), 1.5, None, ["1"], memoryview(b"1")])
def test_only_str_is_accepted(function, value):
    with pytest.raises(TypeError, match=r"argument 'value': '\w+' object cannot be converted to a string"):
        function(value)


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


def test_identify_is_the_parsed_json():
    for text in ["1700000000", "2024-05-01T12:00:00+02:00", "45000.5", "junk"]:
        assert epochsift.identify(text) == json.loads(epochsift.identify_json(text))


def test_instants_beyond_64_bits_stay_exact():
    # Nanoseconds since 2001 push the instant past 2^63 while it still renders.
    readings = epochsift.identify("9223372036854775807")
    iostime = next(r for r in readings if r["format_id"] == "iostime")
    assert iostime["instant"] == 9223372036854775807 + 978307200 * 10**9
    assert isinstance(iostime["instant"], int)
    assert '"instant":10201679236854775807,' in epochsift.identify_json("9223372036854775807")


def test_reading_keys_in_order():
    readings = epochsift.identify("1700000000")
    assert readings, "the integer path reads 1700000000"
    for reading in readings:
        assert list(reading) == [
            "format_id", "label", "citation", "instant", "rendered",
            "score", "components", "assumptions", "sentinel",
        ]

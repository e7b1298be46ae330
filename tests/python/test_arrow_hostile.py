"""identify_arrow against columns a careless or hostile producer could hand
over: every field of the C data interface set to what the interface forbids.
Each case runs in its own interpreter, since a fault here used to end the
process; the interpreter must raise a clear error and go on."""
import os
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent

CHILD = """
import sys
sys.path.insert(0, {here!r})
import ctypes
import epochsift
from arrow_ctypes import *
{setup}
try:
    epochsift.identify_arrow(column)
except Exception as error:
    print(type(error).__name__, error)
else:
    print("no error")
assert epochsift.identify("1700000000")[0]["format_id"] == "unix"  # the interpreter goes on
"""


def run_case(setup):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    code = CHILD.format(here=str(HERE), setup=textwrap.dedent(setup))
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=60)


# Each case: the column's setup, then the error and a word its message names.
MALFORMED = {
    # lengths and offsets
    "negative length": ("column = Column(); column.array.length = -1", "ValueError", "length"),
    "length 2**62": ("column = Column(); column.array.length = 2**62", "ValueError", "length"),
    "record batch of length 2**62": (
        "column = Column().as_struct(); column.array.length = 2**62", "ValueError", "length"),
    "offset past int64 with length": (
        "column = Column(); column.array.offset = 2**63 - 2", "ValueError", "length"),
    "negative offset": ("column = Column(); column.array.offset = -3", "ValueError", "offset"),
    "negative null_count": ("column = Column(); column.array.null_count = -2", "ValueError", "null_count"),
    "null_count above length": ("column = Column(); column.array.null_count = 3", "ValueError", "null_count"),
    "nulls without a bitmap": ("column = Column(); column.array.null_count = 1", "ValueError", "validity"),
    # buffers
    "buffers NULL": ("column = Column(); column.array.buffers = None", "ValueError", "buffers"),
    "two buffers": ("column = Column(); column.set_buffers(None, column.offsets)", "ValueError", "n_buffers"),
    "negative n_buffers": ("column = Column(); column.array.n_buffers = -1", "ValueError", "n_buffers"),
    "offsets NULL": ("column = Column(); column.set_buffers(None, None, column.data)", "ValueError", "offsets"),
    "data NULL": ("column = Column(); column.set_buffers(None, column.offsets, None)", "ValueError", "data"),
    "negative utf8 offset": ("column = Column(); column.offsets[0] = -4", "ValueError", "offsets"),
    "decreasing utf8 offsets": ("column = Column(); column.offsets[2] = 5", "ValueError", "offsets"),
    "negative large_utf8 offset": ('column = Column(b"U"); column.offsets[1] = -(2**40)', "ValueError", "offsets"),
    "decreasing offsets past a slice's start": (
        "column = Column(); column.array.offset = 1; column.array.length = 1; column.offsets[2] = 3",
        "ValueError", "offsets"),
    # children and dictionary
    "NULL child of a struct": (
        "column = Column().as_struct(); column.array_children[0] = None", "ValueError", "child"),
    "struct without children": (
        "column = Column().as_struct(); column.array.children = None", "ValueError", "children"),
    "NULL child schema": (
        "column = Column().as_struct(); column.schema_children[0] = None", "ValueError", "children"),
    "schema children NULL": (
        "column = Column().as_struct(); column.schema.children = None", "ValueError", "children"),
    "negative schema n_children": ("column = Column(); column.schema.n_children = -1", "ValueError", "n_children"),
    "array children on a string": (
        "column = Column(); column.array.n_children = 1", "ValueError", "children"),
    "negative array n_children": ("column = Column(); column.array.n_children = -5", "ValueError", "children"),
    "child shorter than the struct": (
        "column = Column().as_struct(); column.array.length = 5", "ValueError", "shorter"),
    "dictionary on a string array": (
        "column = Column(); other = Column(); column.array.dictionary = ctypes.pointer(other.array)",
        "ValueError", "dictionary"),
    "dictionary on a string schema": (
        "column = Column(); other = Column(); column.schema.dictionary = ctypes.pointer(other.schema)",
        "ValueError", "dictionary"),
    # flags and format strings
    "unknown flag bits": ("column = Column(); column.schema.flags = 1 << 40", "ValueError", "flags"),
    "ordered flag without a dictionary": ("column = Column(); column.schema.flags = 1", "ValueError", "flags"),
    "map flag on a string": ("column = Column(); column.schema.flags = 4", "ValueError", "flags"),
    "a long format that starts like utf8": (
        'column = Column(); column.schema.format = b"u" * 1_000_000', "TypeError", "format"),
    "format NULL": ("column = Column(); column.schema.format = None", "TypeError", "format"),
    "released array": ("column = Column(); column.array.release = ArrayRelease()", "ValueError", "consumed"),
    # string_view: inline up to 12 bytes, else (buffer index, offset) into declared buffers
    "view buffer index past the buffers": (
        "column = view_column([(20, (1, 0))], [b'x' * 40])", "ValueError", "string_view"),
    "view buffer index negative": (
        "column = view_column([(20, (-1, 0))], [b'x' * 40])", "ValueError", "string_view"),
    "view offset past its buffer": (
        "column = view_column([(20, (0, 30))], [b'x' * 40])", "ValueError", "string_view"),
    "view negative offset": ("column = view_column([(20, (0, -8))], [b'x' * 40])", "ValueError", "string_view"),
    "view negative length": ("column = view_column([(-1, b'')], [])", "ValueError", "string_view"),
    "view into no buffer": ("column = view_column([(20, (0, 0))], [])", "ValueError", "string_view"),
    "view sizes NULL": (
        "column = view_column([(20, (0, 0))], [b'x' * 40]); "
        "column.set_buffers(None, column.views, column.keep[-1][1][2], None)", "ValueError", "buffers"),
    # streams
    "stream whose get_next fails": (
        "column = Stream([Column()], fail_at=0)", "ValueError", "producer says no"),
    "stream failing after an array": (
        "column = Stream([Column(), Column()], fail_at=1)", "ValueError", "producer says no"),
    "stream error text of any length and bytes": (
        r"column = Stream([Column()], fail_at=0, error=b'\x1b]0;x\x07\xff' * 100000)", "ValueError", "?"),
    "stream array laid out as another schema": (
        "column = Stream([Column(), Column().as_struct()])", "ValueError", "n_buffers"),
    "stream array malformed after a good one": (
        "bad = Column(); bad.array.offset = -1; column = Stream([Column(), bad])", "ValueError", "offset"),
    "stream without get_next": (
        "column = Stream([Column()]); column.stream.get_next = GetNext()", "ValueError", "callback"),
}


@pytest.mark.parametrize("case", sorted(MALFORMED))
def test_malformed_columns_raise_and_the_interpreter_goes_on(case):
    setup, error, word = MALFORMED[case]
    done = run_case(setup)
    assert done.returncode == 0, done.stderr[-2000:]
    first_line = done.stdout.splitlines()[0]
    name, _, message = first_line.partition(" ")
    assert name == error, first_line
    assert word in message, first_line
    assert len(message) < 400 and message.isprintable(), message[:400]


# The same builders make well-formed columns that read as identify reads.
@pytest.mark.parametrize("setup", [
    "column = Column()",
    'column = Column(b"U")',
    "column = Column().as_struct()",
    "column = Column(); column.array.offset = 1; column.array.length = 1",
    "column = Column(); column.array.null_count = -1",  # not yet counted, no bitmap: no nulls
    "column = view_column([(10, b'1700000000'), (20, (0, 2))], [b'xx2023-11-14T22:13:20Z'])",
    "column = Stream([Column(), Column()])",
])
def test_well_formed_columns_built_the_same_way_are_read(setup):
    done = run_case(setup + "\nprint(epochsift.identify_arrow(column, best=1).__arrow_c_array__() and 'read')")
    assert done.returncode == 0, done.stderr[-2000:]
    assert done.stdout.splitlines()[0] == "read"


def test_readings_of_a_column_built_field_by_field():
    pa = pytest.importorskip("pyarrow")
    done = run_case("""
        column = view_column([(10, b'1700000000'), (20, (0, 2))], [b'xx2023-11-14T22:13:20Z'])
        import pyarrow as pa
        print(pa.array(epochsift.identify_arrow(column)).field("rendered").to_pylist())
        raise SystemExit
    """)
    assert done.returncode == 0, done.stderr[-2000:]
    assert done.stdout.splitlines()[0] == "['2023-11-14T22:13:20Z', '2023-11-14T22:13:20Z']"


# A release callback written in Python runs after the error is set: the
# error must survive it, and each struct is released once.
@pytest.mark.parametrize("setup, released", [
    ("column = Column(); column.set_buffers(None, column.offsets)", ["array", "schema"]),
    ("column = Column(); column.array.length = -1", ["array", "schema"]),
    ("column = Column(b'i')", ["array", "schema"]),
])
def test_python_release_callbacks_keep_the_error(setup, released):
    done = run_case(setup + """
try:
    epochsift.identify_arrow(column)
except Exception as error:
    print(type(error).__name__, sorted(column.released.calls))
""")
    assert done.returncode == 0, done.stderr[-2000:]
    name, _, calls = done.stdout.splitlines()[0].partition(" ")
    assert name in ("ValueError", "TypeError"), done.stdout
    assert calls == str(sorted(released))

"""The command line `epochsift`, run as a subprocess: tables, --json, batch mode, exit statuses.

The readings themselves come from the module: every expectation here is
derived from `identify` / `identify_json`, so the tests hold whatever formats
the engine reads.
"""
import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest
from hypothesis import given, settings, strategies as st

ROOT = Path(__file__).resolve().parents[2]


def find_cli():
    """EPOCHSIFT_CLI, else the one installed beside this interpreter, else PATH, else the newest build."""
    named = os.environ.get("EPOCHSIFT_CLI")
    if named:
        return named
    beside = Path(sysconfig.get_path("scripts")) / "epochsift"
    if beside.is_file():
        return str(beside)
    on_path = shutil.which("epochsift")
    if on_path:
        return on_path
    built = sorted(ROOT.glob("build*/**/bin/epochsift"), key=lambda p: p.stat().st_mtime)
    return str(built[-1]) if built else None


CLI = find_cli()
pytestmark = pytest.mark.skipif(CLI is None, reason="the epochsift command line is not built")
epochsift = pytest.importorskip("epochsift")

LOCAL_NOTE = "stored as LOCAL wall-clock time with no offset — the instant is naive, not UTC"
NAIVE_STRING_ENDINGS = (
    "NO offset is stored — assumed UTC, but is usually local time",
    "NO timezone designator — assumed UTC, but may be local time",
)

# A spread of inputs: integers of several sizes and signs, decimals, strings of
# the string forms, white space, junk, and text that JSON must escape.
VALUES = [
    "1700000000", "1700000000000", "0", "-1", "9223372036854775807", "132223104000000000",
    "1.7e9", "45000.5", "nan",
    "2024-05-01T12:00:00+02:00", "20240501120000", "240501120000Z", "2024:05:01 12:00:00",
    "01ARZ3NDEKTSV4RRFFQ69G5FAV", "6f4a4ab0-5e8c-11ee-8c99-0242ac120002", "507f1f77bcf86cd799439011",
    "", "   42  ", "junk", 'say "hi"\\', "µs — §", "日本",
]


def run(*args, stdin=None, check_status=0):
    """Runs the command line; stdout and stderr as text."""
    done = subprocess.run([CLI, *args], input=stdin, capture_output=True, timeout=120)
    if check_status is not None:
        assert done.returncode == check_status, done.stderr.decode(errors="replace")
    return done.stdout.decode(), done.stderr.decode()


def lines_of(out):
    """Output lines split at line feeds only (str.splitlines also splits at U+0085, U+2028, ...)."""
    assert out == "" or out.endswith("\n")
    return out.split("\n")[:-1]


def expected_flags(reading):
    flags = []
    if reading["sentinel"]:
        flags.append("sentinel")
    if any(note == LOCAL_NOTE or note.endswith(NAIVE_STRING_ENDINGS) for note in reading["assumptions"]):
        flags.append("local")
    if any(name == "in_window" and value == 0.0 for name, value in reading["components"]):
        flags.append("outside-window")
    return " ".join(flags)


# --json is the module's text, byte for byte.

def test_json_gives_one_line_a_value_in_order():
    out, _ = run("--json", "--", *VALUES)
    assert out.split("\n")[:-1] == [epochsift.identify_json(v) for v in VALUES]


# The table: one block a value. Its exact layout is tested on the table writer
# (tests/cpp/cli_test.cpp); here each block must show identify's readings.

def check_block(block, value, options):
    readings = epochsift.identify(value)
    title, *lines = block.split("\n")
    if not readings:
        assert title == f"{value}: no readings" and lines == []
        return
    shown = readings if "--all" in options else readings[:10]
    assert title.startswith(f"{value}: {len(readings)} reading")
    rows = [line for line in lines[1:] if not line.lstrip().startswith("- ")]
    notes = [line.strip()[2:] for line in lines[1:] if line.lstrip().startswith("- ")]
    assert len(rows) == len(shown)
    for rank, (row, reading) in enumerate(zip(rows, shown), start=1):
        rank_text, score, label, rendered, *flags = re.split(" {2,}", row.strip())
        assert (rank_text, score) == (str(rank), f"{reading['score']:.2f}")
        assert label == reading["label"] or (label.endswith("…") and reading["label"].startswith(label[:-1]))
        assert rendered == (reading["rendered"] or "(outside calendar)")
        assert " ".join(flags) == expected_flags(reading)
    assert notes == ([note for r in shown for note in r["assumptions"]] if "--notes" in options else [])


@pytest.mark.parametrize("options", [[], ["--all", "--notes"]])
def test_table_layout(options):
    values = ["1700000000", "0", "2024-05-01T12:00:00+02:00", "20240501120000", "junk", "-1"]
    out, _ = run(*options, "--", *values)
    assert "\x1b" not in out, "no colour when stdout is not a terminal"
    blocks = out[:-1].split("\n\n")
    assert len(blocks) == len(values)
    for block, value in zip(blocks, values):
        check_block(block, value, options)


# Batch mode.

def mixed_input(long_line):
    """Lines with an invalid UTF-8 one, a CRLF one, a blank one, a long one and no final line feed."""
    lines = [v.encode() for v in VALUES if "\n" not in v] * 3
    lines.insert(5, b"\xff\xfe1700000000")
    lines.insert(9, b"1700000000\r")
    lines.insert(12, b"")
    lines.insert(20, long_line)
    return b"\n".join(lines), lines


def expected_value(line):
    if line.endswith(b"\r"):
        line = line[:-1]
    try:
        return line.decode("utf-8")
    except UnicodeDecodeError:
        return None


@pytest.fixture(scope="module")
def mixed_file(tmp_path_factory):
    data, lines = mixed_input(b"9" * 20 + b"x" * 3_000_000)
    path = tmp_path_factory.mktemp("batch") / "mixed.txt"
    path.write_bytes(data)
    return path, lines


def test_batch_keeps_order_and_marks_invalid_lines(mixed_file):
    path, lines = mixed_file
    done = subprocess.run([CLI, "--batch", str(path)], capture_output=True, timeout=120)
    assert done.returncode == 0
    records = lines_of(done.stdout.decode())
    assert len(records) == len(lines)
    for number, (record_text, line) in enumerate(zip(records, lines), start=1):
        record, value = json.loads(record_text), expected_value(line)
        if value is None:
            assert record == {"value": None, "line": number, "error": "invalid UTF-8", "readings": []}
        else:
            assert record_text == '{"value":%s,"readings":%s}' % (json.dumps(value, ensure_ascii=False),
                                                                   epochsift.identify_json(value))
    assert done.stderr.decode() == "line 6: not valid UTF-8\n"


@pytest.mark.parametrize("mode", [[], ["--best", "3"]])
def test_thread_count_does_not_change_the_output(mixed_file, mode):
    path, _ = mixed_file
    outputs = {threads: run("--batch", *mode, "--threads", str(threads), str(path))[0] for threads in (1, 2, 5)}
    assert outputs[1] == outputs[2] == outputs[5]
    stdin_out, _ = run("--batch", *mode, "-", stdin=path.read_bytes())
    assert stdin_out == outputs[1]


def test_best_csv_rows(mixed_file):
    path, lines = mixed_file
    best = 3
    out, _ = run("--batch", "--best", str(best), str(path))
    csv.field_size_limit(sys.maxsize)  # the long line comes back as one field
    rows = list(csv.reader(io.StringIO(out, newline="")))
    assert rows[0] == ["value", "rank", "format_id", "rendered", "score", "error"]
    expected = []
    for number, line in enumerate(lines, start=1):
        value = expected_value(line)
        if value is None:
            expected.append(["", "", "", "", "", f"invalid UTF-8 (line {number})"])
            continue
        readings = epochsift.identify(value)[:best]
        if not readings:
            expected.append([value, "", "", "", "", ""])
        for rank, r in enumerate(readings, start=1):
            expected.append([value, str(rank), r["format_id"], r["rendered"] or "", json.dumps(r["score"]), ""])
    assert rows[1:] == expected


def test_column_of_delimited_lines(tmp_path):
    path = tmp_path / "in.csv"
    path.write_bytes(b'id,when\n1,"say ""hi"", 1700000000",ok\n3\n5,\xff,x\n')
    out, err = run("--batch", "--column", "2", str(path))
    records = [json.loads(line) for line in lines_of(out)]
    assert [r["value"] for r in records] == ["when", 'say "hi", 1700000000', None, None]
    assert records[2] == {"value": None, "line": 3, "error": "no column 2", "readings": []}
    assert records[3]["error"] == "invalid UTF-8"
    assert err == "line 3: no column 2\nline 4: column 2 is not valid UTF-8\n"


@settings(max_examples=25, deadline=None)
@given(st.lists(st.text(alphabet=st.characters(blacklist_categories=("Cs",), blacklist_characters="\n\r")),
                max_size=40))
def test_batch_agrees_with_the_module(values):
    out, err = run("--batch", "--threads", "3", stdin="".join(v + "\n" for v in values).encode())
    records = lines_of(out)
    assert len(records) == len(values) and err == ""
    for record, value in zip(records, values):
        assert json.loads(record) == {"value": value, "readings": epochsift.identify(value)}


def test_closed_output_stops_the_batch(tmp_path):
    path = tmp_path / "many.txt"
    path.write_text("1700000000\n" * 200_000)
    process = subprocess.Popen([CLI, "--batch", str(path)], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    process.stdout.readline()
    process.stdout.close()
    process.wait(timeout=60)  # killed by SIGPIPE or exits: either way it does not hang
    assert process.returncode != 0


def test_empty_input_gives_no_records():
    assert run("--batch", stdin=b"")[0] == ""
    assert run("--batch", "--best", "1", stdin=b"")[0] == "value,rank,format_id,rendered,score,error\n"


# Exit statuses: usage faults and unreadable input are 2 with a one-line message.

# The option rules themselves are tested in tests/cpp/cli_test.cpp.
@pytest.mark.parametrize("args", [[], ["--bogus", "1"], ["--batch", "/nonexistent/input.txt"], ["--batch", "."],
                                  [b"\xff"]])
def test_usage_and_input_faults_exit_2(args):
    out, err = run(*args, check_status=2)
    assert out == "" and err.startswith("epochsift: ") and err.count("\n") == 1


@pytest.mark.parametrize("args", [["--help"], ["junk"], ["--json", "junk"]])
def test_success_exits_0(args):
    run(*args, check_status=0)

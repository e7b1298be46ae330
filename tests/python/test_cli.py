"""The command line `epochsift`, run as a subprocess: tables, --json, batch mode, exit statuses.

The readings themselves come from the module: every expectation here is
derived from `identify` / `identify_json`, so the tests hold whatever formats
the engine reads.
"""
import csv
import gzip
import io
import json
import os
import random
import re
import resource
import select
import subprocess
import threading
import time
from pathlib import Path

import pytest
from hypothesis import given, settings, strategies as st

ROOT = Path(__file__).resolve().parents[2]


from command_line import find_cli  # noqa: E402

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


# The table: one block a value. Its exact layout is tested on the table writer
# (tests/cpp/cli_test.cpp); here each block must show the extended readings.

def shown_share(reading):
    if "confidence" not in reading:
        return f"{reading['score']:.2f}"
    percent = reading["confidence"] * 100
    return "0%" if percent <= 0 else "<1%" if percent < 0.5 else f"{percent:.0f}%"


def check_block(block, value, options, keywords=None):
    readings = epochsift.identify(value, **(keywords or {"extended": True}))
    title, *lines = block.split("\n")
    if not readings:
        assert title == f"{value}: no readings" and lines == []
        return
    shown = readings if "--all" in options else readings[:10]
    assert title.startswith(f"{value}: {len(readings)} reading")
    rows = [line for line in lines[1:] if not line.lstrip().startswith("- ")]
    notes = [line.strip()[2:] for line in lines[1:] if line.lstrip().startswith("- ")]
    assert len(rows) == len(shown)
    # The extended table shows each reading's confidence in whole percents,
    # the reference table its score; readings whose numbers print the same
    # share the rank of the first of them (1, 2, 2, 4).
    printed = [shown_share(r) for r in shown]
    for row, reading in zip(rows, shown):
        rank_text, score, label, rendered, *flags = re.split(" {2,}", row.strip())
        assert (rank_text, score) == (str(printed.index(score) + 1), shown_share(reading))
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


# Reading options: each command-line option is one keyword of the module, and
# they combine. --json is the module's text, byte for byte, one line a value in
# order: the extended reading, or with --reference the reference text of
# identify_json(value) alone; batch records follow the same options.

READING_OPTIONS = [
    # (command-line arguments, the module's keywords)
    ([], {}),
    (["--hint", "ntfs"], {"hint": "ntfs"}),
    (["--width", "4"], {"byte_width": 4}),
    (["--endian", "little"], {"byte_order": "little"}),
    (["--window", "2000-01-01T00:00:00Z..2010-01-01T00:00:00+01:00"],
     {"window": ("2000-01-01T00:00:00Z", "2010-01-01T00:00:00+01:00")}),
    (["--window", "0ns..946684800000000000ns"], {"window": (0, 946684800000000000)}),
    (["--window", "2000..2009"], {"window": ("2000-01-01T00:00:00Z", "2010-01-01T00:00:00Z")}),
    (["--hint", "chrome history", "--width", "8", "--endian", "big", "--window",
      "1990-01-01T00:00:00.5Z..2030-01-01T00:00:00Z"],
     {"hint": "chrome history", "byte_width": 8, "byte_order": "big",
      "window": ("1990-01-01T00:00:00.5Z", "2030-01-01T00:00:00Z")}),
]
OPTION_VALUES = VALUES + ["13350000000000000", "879858441"]


@pytest.mark.parametrize("args, keywords", READING_OPTIONS)
@pytest.mark.parametrize("reference", [False, True])
def test_reading_options_match_the_module(args, keywords, reference):
    flags = ["--reference"] if reference else []
    keywords = dict(keywords, extended=not reference)
    out, _ = run(*flags, *args, "--json", "--", *OPTION_VALUES)
    assert lines_of(out) == [epochsift.identify_json(v, **keywords) for v in OPTION_VALUES]

    out, _ = run(*flags, *args, "--batch", "--every", stdin="".join(v + "\n" for v in OPTION_VALUES).encode())
    assert [json.loads(r) for r in lines_of(out)] == [
        {"value": v, "readings": epochsift.identify(v, **keywords)} for v in OPTION_VALUES]


@pytest.mark.parametrize("order", ["little", "big"])
def test_endian_picks_the_byte_order_of_hex_values(order):
    out, _ = run("--hex", "--endian", order, "--json", "6817855a", "00 00 01 8b 9c 2a 1e 00")
    assert [json.loads(line) for line in lines_of(out)] == [
        epochsift.identify_bytes(bytes.fromhex(h), byte_order=order) for h in ("6817855a", "0000018b9c2a1e00")]


# Ties: a table ranks rows whose printed scores are equal alike. A wall-clock
# time repeated by a backward shift gives two readings of one score.

def test_tied_readings_share_a_rank():
    out, _ = run("--local-zone", "Europe/Berlin", "2024:10:27 02:30:00")
    ranks = [re.split(" {2,}", line.strip())[0] for line in lines_of(out)[2:] if not line.lstrip().startswith("!")]
    assert ranks == ["1", "1"]


# Column modes: the whole column judged at once.

COLUMN = ["879858441", "1033337335", "942846917", "980263022", "1700000000"]


@pytest.mark.parametrize("args, keywords", READING_OPTIONS[:2] + READING_OPTIONS[4:5])
def test_infer_gives_the_module_verdicts(args, keywords):
    data = "".join(v + "\n" for v in COLUMN).encode()
    expected = epochsift.identify_column(COLUMN, **keywords)
    out, _ = run("--batch", "--infer", "--json", *args, stdin=data)
    assert json.loads(out) == expected and out.count("\n") == 1
    table, _ = run("--batch", "--infer", *args, stdin=data)
    title, header, *rows = lines_of(table)
    assert title == f"{len(COLUMN)} values: {len(expected)} formats read them, best first"
    assert header.split()[:3] == ["rank", "score", "format"]
    assert [row.split()[2] for row in rows] == [v["format_id"] for v in expected]


def test_infer_counts_every_value_of_a_column_longer_than_one_run():
    # More values than the command line tallies at once (65,536): each is read
    # once, whatever run it falls in, and the runs join in column order.
    values = [1_600_000_000 + 7 * i for i in range(70_001)]
    out, _ = run("--batch", "--infer", "--json", stdin="".join(f"{v}\n" for v in values).encode())
    unix = next(v for v in json.loads(out) if v["format_id"] == "unix" and "byte_order" not in v)
    assert (unix["read"], unix["in_window"], unix["ordered"]) == (70_001, 70_001, 1.0)
    assert (unix["first"], unix["last"]) == (values[0] * 10**9, values[-1] * 10**9)


def test_infer_leaves_out_unreadable_lines(tmp_path):
    path = tmp_path / "column.csv"
    path.write_bytes(b"id,when\n1,879858441\n2\n3,\xff\n4,1033337335\n")
    out, err = run("--batch", "--infer", "--json", "--column", "2", str(path), check_status=3)
    assert json.loads(out) == epochsift.identify_column(["when", "879858441", "1033337335"])
    assert err.split("\n")[:2] == [f"epochsift: {path}:3: no column 2", f"epochsift: {path}:4: column 2 is not valid UTF-8"]


# Whole lines, each line end: a line that is not UTF-8 is left out (and
# named), a blank one is the value "", the rest are the column in order.
@pytest.mark.parametrize("end", [b"\n", b"\r\n", b"\r"])
def test_infer_of_whole_lines_leaves_out_lines_not_utf8(tmp_path, end):
    path = tmp_path / "column.txt"
    path.write_bytes(end.join([b"879858441", b"17\xff00", b"1033337335", b"", b"1700000000"]) + end)
    out, err = run("--batch", "--infer", "--json", str(path), check_status=3)
    assert json.loads(out) == epochsift.identify_column(["879858441", "1033337335", "", "1700000000"])
    assert err.split("\n")[0] == f"epochsift: {path}:2: not valid UTF-8"


# A field of the column with white space around its integer, line breaks
# included: its CSV cell is the field itself, quoted where it must be.
@pytest.mark.parametrize("field", ["1700000000", " 1700000000", "1700000000 ", "\n1700000000", "1700000000\r\n", "\t+1700000000"])
def test_by_column_best_row_quotes_the_field_as_it_is(tmp_path, field):
    path = tmp_path / "column.csv"
    with path.open("w", newline="") as stream:
        csv.writer(stream).writerows([["id", "when"]] + [[i, 1600000000 + i * 86400] for i in range(20)] + [[20, field]])
    out, _ = run("--batch", "--by-column", "--best", "1", "--column", "2", str(path))
    rows = list(csv.reader(io.StringIO(out, newline="")))
    assert rows[-1][:4] == [field, "1", "unix", "2023-11-14T22:13:20Z"]


@pytest.mark.parametrize("reference", [False, True])
def test_by_column_leads_each_record_with_the_verdict(reference):
    flags = ["--reference"] if reference else []
    column = COLUMN + ["junk"]
    out, _ = run("--batch", "--by-column", *flags, stdin="".join(v + "\n" for v in column).encode())
    verdict = epochsift.identify_column(column)[0]["format_id"]
    for record, value in zip([json.loads(line) for line in lines_of(out)], column):
        readings = epochsift.identify(value, extended=not reference)
        led = [r for r in readings if r["format_id"] == verdict]
        assert record == {"value": value, "column_format": verdict, "column_readings": len(led),
                          "readings": led + [r for r in readings if r["format_id"] != verdict]}


def test_by_column_csv_keeps_each_reading_rank():
    out, _ = run("--batch", "--by-column", "--best", "2", stdin="".join(v + "\n" for v in COLUMN).encode())
    rows = list(csv.reader(io.StringIO(out, newline="")))[1:]
    verdict = epochsift.identify_column(COLUMN)[0]["format_id"]
    for value in COLUMN:
        readings = epochsift.identify(value, extended=True)
        ranked = sorted(range(len(readings)), key=lambda i: readings[i]["format_id"] != verdict)[:2]
        assert [row for row in rows if row[0] == value] == [
            [value, str(i + 1), readings[i]["format_id"], readings[i]["rendered"] or "", json.dumps(readings[i]["score"]),
             json.dumps(readings[i]["confidence"]), ""] for i in ranked]


def integers_of_every_magnitude(count, seed):
    """Decimal integers of 1 to 63 bits, both signs, a few with leading white space or zeros."""
    rng = random.Random(seed)
    out = []
    for i in range(count):
        n = rng.getrandbits(1 + i % 63)
        text = str(-n if i % 9 == 0 else n)
        out.append(text if i % 31 else " " + text.zfill(12) + "\t")
    return out + ["0", "1", "-1", "86400", "4294967295", "9223372036854775807", "-9223372036854775808"]


@pytest.mark.parametrize("args, keywords", READING_OPTIONS[:2] + READING_OPTIONS[4:5] + READING_OPTIONS[7:] + [
    (["--reference"], {"extended": False}), (["--reference", "--hint", "fat"], {"extended": False, "hint": "fat"})])
def test_by_column_best_row_is_the_full_readings_row(args, keywords):
    """--by-column --best 1: each row is the column format's reading with its place among all
    the value's readings (or the value's best reading where the format reads none), as
    identify gives them, over a column of Unix seconds mixed with integers of every magnitude."""
    rng = random.Random(3)
    column = [str(rng.randrange(946_684_800, 1_893_456_000)) for _ in range(3600)] + integers_of_every_magnitude(400, 4)
    rng.shuffle(column)
    out, _ = run("--batch", "--by-column", "--best", "1", *args, stdin="".join(v + "\n" for v in column).encode())
    rows = list(csv.reader(io.StringIO(out, newline="")))
    extended = keywords.get("extended", True)
    column_keywords = {k: v for k, v in keywords.items() if k != "extended"}
    verdict = epochsift.identify_column(column, **column_keywords)[0]["format_id"]
    assert rows[0][:2] == ["value", "rank"] and len(rows) == len(column) + 1
    for value, row in zip(column, rows[1:]):
        readings = epochsift.identify(value, **dict(keywords, extended=extended))
        at = next((i for i, r in enumerate(readings) if r["format_id"] == verdict), None)
        reading = readings[at or 0]
        want = [value, str((at or 0) + 1), reading["format_id"], reading["rendered"] or "", json.dumps(reading["score"])]
        # The format's reading is found without every reading of the value: no confidence is known for it.
        confidence = json.dumps(reading["confidence"]) if at is None and reading.get("confidence") is not None else ""
        assert row == want + ([confidence] if extended else []) + [""], value
    assert sum(row[2] == verdict for row in rows[1:]) > len(column) // 2, verdict  # the column's format leads


# Batch mode.

def test_best_csv_rows():
    """Ranked rows a reading, an empty row for no readings, the line number of an unreadable line; status 3."""
    lines = [b"1700000000", b"\xff\xfe1700000000", b"junk", b"", b"2024-05-01T12:00:00+02:00", b'say "hi"', b"17, 18"]
    best = 3
    out, _ = run("--batch", "--best", str(best), stdin=b"\n".join(lines), check_status=3)
    rows = list(csv.reader(io.StringIO(out, newline="")))
    assert rows[0] == ["value", "rank", "format_id", "rendered", "score", "confidence", "error"]
    expected = []
    for number, line in enumerate(lines, start=1):
        try:
            value = line.decode()
        except UnicodeDecodeError:
            expected.append(["", "", "", "", "", "", f"invalid UTF-8 (line {number})"])
            continue
        readings = epochsift.identify(value, extended=True)[:best]
        if not readings:
            expected.append([value, "", "", "", "", "", ""])
        for rank, r in enumerate(readings, start=1):
            expected.append([value, str(rank), r["format_id"], r["rendered"] or "", json.dumps(r["score"]),
                             json.dumps(r["confidence"]), ""])
    assert rows[1:] == expected
    # The reference reading's rows keep their columns.
    out, _ = run("--batch", "--reference", "--best", "1", stdin=b"1700000000\njunk\n")
    rows = list(csv.reader(io.StringIO(out, newline="")))
    assert rows == [["value", "rank", "format_id", "rendered", "score", "error"],
                    ["1700000000", "1", "unix", "2023-11-14T22:13:20Z", "1.0", ""], ["junk", "", "", "", "", ""]]


def _best_column():
    """Values whose order a reader of many keeps memos over: runs within one magnitude, jumps across
    magnitudes and signs, and texts of every other kind between them."""
    rng = random.Random(25)
    values = []
    for _ in range(40):
        start = rng.randrange(-2**62, 2**62) >> rng.randrange(63)
        step = rng.randrange(1, 10**6)
        values += [str(start + i * step) for i in range(15)]
        values += [str(rng.randrange(946_684_800, 1_893_456_000)) for _ in range(10)]
        values += [str(116_444_736_000_000_000 + rng.randrange(10**17) // 10**rng.randrange(8) * 10**rng.randrange(8))]
        values += [rng.choice(["0x65540000", "1700000000.5", "2024-05-01T12:00:00Z", "junk", "", " 1700000000 ",
                               "+1700000000", "-1", "0", "9223372036854775807", "-9223372036854775808",
                               "20240501120000", "1700000000123", "6c4e8a2e-9c2a-11ee-8c90-0242ac120002"])]
    return values


@pytest.mark.parametrize("best", [1, 2, 5])
@pytest.mark.parametrize("flags, options", [
    ([], {"extended": True}),
    (["--reference"], {}),
    (["--window", "2000-01-01T00:00:00Z..2030-01-01T00:00:00Z"],
     {"extended": True, "window": ("2000-01-01T00:00:00Z", "2030-01-01T00:00:00Z")}),
    (["--hint", "ntfs"], {"extended": True, "hint": "ntfs"}),
])
def test_best_rows_are_the_first_readings_of_each_value(best, flags, options):
    """--batch --best K over a column: each value's rows are its first K readings, as identify ranks them."""
    values = _best_column()
    out, _ = run("--batch", "--best", str(best), *flags, stdin="".join(v + "\n" for v in values).encode())
    # The numbers as the values they name: the command line writes the shortest digits that
    # round-trip, not always Python's.
    rows = [[float(cell) if at in (4, 5) and cell else cell for at, cell in enumerate(row)]
            for row in list(csv.reader(io.StringIO(out, newline="")))[1:]]
    extended = options.get("extended", False)
    expected = []
    for value in values:
        readings = epochsift.identify(value, **options)[:best]
        if not readings:
            expected.append([value] + [""] * (6 if extended else 5))
        for rank, r in enumerate(readings, start=1):
            row = [value, str(rank), r["format_id"], r["rendered"] or "", r["score"]]
            expected.append(row + ([r["confidence"]] if extended else []) + [""])
    assert rows == expected


def test_column_of_delimited_lines(tmp_path):
    path = tmp_path / "in.csv"
    path.write_bytes(b'id,when\n1,"say ""hi"", 1700000000",ok\n3\n5,\xff,x\n')
    out, _ = run("--batch", "--every", "--column", "2", str(path), check_status=3)
    records = [json.loads(line) for line in lines_of(out)]
    assert [r["value"] for r in records] == ["when", 'say "hi", 1700000000', None, None]
    assert records[2] == {"value": None, "line": 3, "error": "no column 2", "readings": []}
    assert records[3]["error"] == "invalid UTF-8"


@settings(max_examples=25, deadline=None)
@given(st.lists(st.text(alphabet=st.characters(blacklist_categories=("Cs",), blacklist_characters="\n\r")),
                max_size=40), st.booleans())
def test_batch_agrees_with_the_module(values, reference):
    flags = ["--reference"] if reference else []
    out, err = run("--batch", "--every", *flags, "--threads", "3", stdin="".join(v + "\n" for v in values).encode())
    records = lines_of(out)
    assert len(records) == len(values) and err == ""
    for record, value in zip(records, values):
        assert json.loads(record) == {"value": value, "readings": epochsift.identify(value, extended=not reference)}


def feed(process, data, piece=1 << 16, forever=False):
    """Writes data to the process's stdin on a thread (again and again when forever); returns a list whose
    one item counts the bytes the process took, and the thread."""
    taken = [0]

    def write():
        try:
            while True:
                for at in range(0, len(data), piece):
                    process.stdin.write(data[at:at + piece])
                    process.stdin.flush()
                    taken[0] += len(data[at:at + piece])
                if not forever:
                    break
            process.stdin.close()
        except (BrokenPipeError, ValueError, OSError):
            pass

    thread = threading.Thread(target=write, daemon=True)
    thread.start()
    return taken, thread


def test_closed_output_ends_the_run_while_input_keeps_coming():
    process = subprocess.Popen([CLI, "--batch", "--every", "--threads", "2"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    feed(process, b"1700000000\n" * 10_000, forever=True)
    process.stdout.readline()
    process.stdout.close()
    process.wait(timeout=60)  # an endless input: only the closed output can end it
    assert process.returncode in (1, -13)  # status 1, or SIGPIPE
    assert process.stderr.read() == b""  # a reader that went away is not an error to report


# Streaming: a record comes out while its input is still open.

@pytest.mark.parametrize("mode", [[], ["--best", "1"]])
def test_record_written_before_the_input_ends(mode):
    process = subprocess.Popen([CLI, "--batch", *(mode or ["--every"])], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    def next_line():
        ready, _, _ = select.select([process.stdout], [], [], 30)
        assert ready, "nothing written while the input stays open"
        return process.stdout.readline()

    try:
        if mode:
            assert next_line() == b"value,rank,format_id,rendered,score,confidence,error\n"
        for value in ("1700000000", "junk"):
            process.stdin.write(value.encode() + b"\n")
            process.stdin.flush()
            record = next_line().decode()
            assert record.startswith('{"value":"%s",' % value if not mode else value + ",")
    finally:
        process.kill()
        process.wait()


# RFC 4180 quoted fields over several lines, a byte order mark and CR, LF and
# CRLF line ends, read back as Python's csv module reads them.

field_text = st.text(alphabet=st.sampled_from(list('ab1 ,;"\r\n\u00b5')), max_size=8)


@settings(max_examples=40, deadline=None)
@given(st.lists(st.tuples(field_text, field_text), min_size=1, max_size=12), st.sampled_from(["\n", "\r\n", "\r"]),
       st.booleans())
def test_quoted_fields_read_as_csv_reads_them(rows, line_end, bom):
    def csv_row(row):  # quoted wherever a CR or an LF is in a field, whatever the line end
        text = io.StringIO(newline="")
        csv.writer(text, lineterminator="\r\n").writerow(row)
        return text.getvalue()[:-2]

    data = ("\ufeff" if bom else "") + "".join(csv_row(row) + line_end for row in rows)
    out, err = run("--batch", "--every", "--column", "2", stdin=data.encode())
    expected = [row[1] for row in csv.reader(io.StringIO(data.lstrip("\ufeff"), newline=""))]
    assert [json.loads(line)["value"] for line in lines_of(out)] == expected and err == ""


# Resource limits: long lines, memory, threads.

def limited(address_space_bytes):
    return lambda: resource.setrlimit(resource.RLIMIT_AS, (address_space_bytes, address_space_bytes))


def test_overlong_line_is_skipped_in_bounded_memory():
    """A 300 MB line under a 200 MB address-space limit: one error record, and the run goes on."""
    process = subprocess.Popen([CLI, "--batch", "--every", "--threads", "1"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, preexec_fn=limited(200 << 20))
    feed(process, b"7" * (300 << 20) + b"\n1700000000\n", piece=1 << 20)[1].join(timeout=120)
    out, err = process.stdout.read(), process.stderr.read()
    process.wait(timeout=120)
    assert process.returncode == 3, err
    records = [json.loads(line) for line in lines_of(out.decode())]
    assert records[0] == {"value": None, "line": 1, "error": "line longer than 1048576 bytes", "readings": []}
    assert records[1]["value"] == "1700000000" and len(records) == 2
    assert err.decode().split("\n")[0] == ("epochsift: standard input:1: line longer than 1048576 bytes, "
                                           "skipped (--max-line)")


def test_out_of_memory_is_a_message_and_status_1():
    """A line allowed to be larger than the memory there is."""
    process = subprocess.Popen([CLI, "--batch", "--every", "--threads", "1", "--max-line", str(1 << 30)], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=limited(200 << 20))
    feed(process, b"7" * (300 << 20) + b"\n", piece=1 << 20)[1].join(timeout=120)
    err = process.stderr.read()
    process.wait(timeout=120)
    assert process.returncode == 1
    assert err.decode().startswith("epochsift: out of memory") and err.count(b"\n") == 1


@pytest.mark.parametrize("source", ["file", "pipe"])
@pytest.mark.parametrize("mode", [["--infer"], ["--by-column", "--best", "1"]])
def test_column_modes_read_a_long_column_in_bounded_memory(tmp_path, mode, source):
    """Two million lines: held whole they would take some 90 MB, more than the 50 MB the run may map."""
    data = b"zz\n" * 2_000_000
    path = tmp_path / "column.txt"
    path.write_bytes(data)
    args = [CLI, "--batch", *mode] + ([str(path)] if source == "file" else [])
    done = subprocess.run(args, input=None if source == "file" else data, capture_output=True, timeout=300,
                          preexec_fn=limited(50 << 20), env=dict(os.environ, TMPDIR=str(tmp_path)))
    assert done.returncode == 0, done.stderr
    if "--by-column" in mode:
        assert done.stdout.count(b"\nzz,") == 2_000_000


def test_by_column_reads_a_column_of_bytes_in_its_order():
    # gzip MTIME fields (little-endian seconds) as Python's gzip module writes them; one is digits alone.
    seconds = [1528706687, 1718171666, 1692180841, 1470020205, 1598618164, 1724227103]
    values = []
    for t in seconds:
        out = io.BytesIO()
        with gzip.GzipFile(fileobj=out, mode="wb", mtime=t) as stream:
            stream.write(b"x")
        values.append(out.getvalue()[4:8].hex())
    assert any(v.isdigit() for v in values)
    out, _ = run("--batch", "--by-column", stdin="".join(v + "\n" for v in values).encode())
    records = [json.loads(line) for line in out.splitlines()]
    assert {(r["column_format"], r["column_byte_order"]) for r in records} == {("unix", "little")}
    assert [int(r["readings"][0]["instant"]) for r in records] == [t * 10**9 for t in seconds]


@pytest.mark.parametrize("digits_share", [0.0, 0.6, 0.95, 1.0])
def test_by_column_verdict_is_the_module_verdict_of_hex_and_digit_columns(digits_share):
    """Little-endian seconds as hex, a share of them digits alone: the records lead with identify_column's verdict."""
    rng = random.Random(8)
    digits, lettered = [], []
    while len(digits) < 400 or len(lettered) < 400:
        text = rng.randrange(946_684_800, 1_893_456_000).to_bytes(4, "little").hex()
        (digits if text.isdigit() else lettered).append(text)
    count = int(400 * digits_share)
    column = digits[:count] + lettered[:400 - count]
    rng.shuffle(column)
    out, _ = run("--batch", "--by-column", "--best", "1", stdin="".join(v + "\n" for v in column).encode())
    verdict = epochsift.identify_column(column)[0]
    json_out, _ = run("--batch", "--by-column", stdin="".join(v + "\n" for v in column).encode())
    records = [json.loads(line) for line in lines_of(json_out)]
    assert {(r["column_format"], r.get("column_byte_order")) for r in records} == {
        (verdict["format_id"], verdict.get("byte_order"))}
    rows = list(csv.reader(io.StringIO(out, newline="")))[1:]
    for value, row, record in zip(column, rows, records):
        best = record["readings"][0]
        assert row[:1] + row[2:5] == [value, best["format_id"], best["rendered"] or "", json.dumps(best["score"])]


def test_by_column_says_when_a_pipe_cannot_be_copied(tmp_path):
    done = subprocess.run([CLI, "--batch", "--by-column"], input=b"1700000000\n", capture_output=True, timeout=60,
                          env=dict(os.environ, TMPDIR=str(tmp_path / "missing")))
    assert done.returncode == 1 and done.stdout == b""
    assert done.stderr.decode().startswith("epochsift: cannot copy standard input to a temporary file: ")


def test_by_column_reads_a_file_as_it_reads_a_pipe(tmp_path):
    data = ('id,seen\n1,1700000000\n2,"2024-05-01T12:00:00\n+02:00"\n3\n4,' + "9" * 60 + "\n5,1700000600\n"
            "6,1033337335\n").encode()
    path = tmp_path / "events.csv"
    path.write_bytes(data)
    for flags in ([], ["--best", "1"], ["--best", "2", "--threads", "1"]):
        args = [CLI, "--batch", "--by-column", "--column", "2", "--max-line", "40", *flags]
        from_file = subprocess.run([*args, str(path)], capture_output=True, timeout=120)
        from_pipe = subprocess.run(args, input=data, capture_output=True, timeout=120)
        assert from_file.returncode == from_pipe.returncode == 3
        assert from_file.stdout == from_pipe.stdout
        assert from_file.stderr.replace(str(path).encode(), b"standard input") == from_pipe.stderr


def test_threads_that_cannot_start_are_done_without(tmp_path):
    path = tmp_path / "values.txt"
    path.write_text("".join(f"{v}\n" for v in VALUES if "\n" not in v) * 20)
    expected, _ = run("--batch", "--every", "--threads", "1", str(path))
    # The address space runs full while the workers start; a chunk read in
    # that moment fails only now and then, so the run is repeated.
    for _ in range(100):
        done = subprocess.run([CLI, "--batch", "--every", "--threads", "4096", str(path)], capture_output=True, timeout=300,
                              preexec_fn=limited(400_000 * 1024))
        assert done.returncode == 0, done.stderr
        assert done.stdout.decode() == expected


def vm_kb(pid, field):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def test_stalled_consumer_holds_bounded_memory_at_any_thread_count():
    """Output nobody reads: memory stops growing at a bound that does not scale with --threads."""
    process = subprocess.Popen([CLI, "--batch", "--every", "--threads", "1000"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    try:
        taken, _ = feed(process, b"0\n" * 100_000, forever=True)
        last, steady_since = -1, time.monotonic()
        while time.monotonic() - steady_since < 2 and process.poll() is None:
            time.sleep(0.2)
            if taken[0] != last:
                last, steady_since = taken[0], time.monotonic()
        peak_mb = vm_kb(process.pid, "VmHWM") / 1024
        assert peak_mb < 400, f"{peak_mb:.0f} MB resident with nothing read"
    finally:
        process.kill()
        process.wait()


def test_concurrent_appends_keep_records_whole(tmp_path):
    """Four runs appending to one file: every line of it is one whole record."""
    values = tmp_path / "values.txt"
    values.write_text("1700000000\n0\njunk\n" * 700)
    out = tmp_path / "out.jsonl"
    with open(out, "ab") as sink:
        runs = [subprocess.Popen([CLI, "--batch", "--every", str(values)], stdout=sink) for _ in range(4)]
        assert [p.wait(timeout=300) for p in runs] == [0] * 4
    lines = out.read_bytes().split(b"\n")
    assert lines[-1] == b"" and len(lines) - 1 == 4 * 2100
    assert sum(1 for line in lines[:-1] if not line.startswith(b'{"value":"') or not line.endswith(b"]}")) == 0
    for line in lines[:-1]:
        json.loads(line)


# Exit statuses: usage faults and unreadable input are 2 with a one-line message.

# The option rules themselves are tested in tests/cpp/cli_test.cpp.
@pytest.mark.parametrize("args", [["--window", "2024..2023", "1"], ["--bogus", "1"], ["--batch", "/nonexistent/input.txt"], ["--batch", "."],
                                  [b"\xff"],
                                  # echoed arguments and names stay on one line, with nothing a terminal acts on
                                  ["--best", "1\n2"], ["--batch", "--delimiter", "\x1b[31m"],
                                  ["--batch", "/nonexistent/a\nb\u202e\u0085"], ["--bogus\r\u2066", "1"],
                                  ["--threads", "\x9b2J"],
                                  ["--window", "1..x\n2", "1"],
                                  # zones and encoding
                                  ["--encode", "soon"], ["--tz", "Mars/Olympus", "1"], ["--local-zone", "x", "1"]])
def test_usage_and_input_faults_exit_2(args):
    out, err = run(*args, check_status=2)
    assert out == "" and err.startswith("epochsift: ") and err.count("\n") == 1
    hidden = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\u061c\u200e\u200f\u2028-\u202e\u2066-\u2069]")
    assert not hidden.search(err), repr(err)


def test_help_exits_0():
    run("--help", check_status=0)

"""`epochsift --scan` as a user runs it: what the table, JSON Lines and CSV
show, and the exit statuses."""
import csv
import io
import json
import random
import struct
import subprocess

import pytest

from command_line import find_cli

CLI = find_cli()
pytestmark = pytest.mark.skipif(CLI is None, reason="the epochsift command line is not built")
FILETIME_1970 = 11644473600


def run(*args, stdin=None):
    return subprocess.run([str(CLI), *args], input=stdin, capture_output=True)


@pytest.fixture
def blob(tmp_path):
    """Random bytes with one NTFS-like record: four FILETIMEs from 2021-05-06T07:08:09Z."""
    data = bytearray(random.Random(2).randbytes(4096))
    for i in range(4):
        struct.pack_into("<Q", data, 0x200 + 8 * i, (1620284889 + i + FILETIME_1970) * 10**7)
    path = tmp_path / "blob.bin"
    path.write_bytes(bytes(data))
    return path


def test_table(blob):
    done = run("--scan", str(blob))
    assert done.returncode == 0, done.stderr
    lines = done.stdout.decode().splitlines()
    assert lines[0].split()[:4] == ["offset", "width", "order", "confidence"]
    rows = [l for l in lines[1:] if l.startswith("0x")]
    assert [r.split()[0] for r in rows] == ["0x00000200", "0x00000208", "0x00000210", "0x00000218"]
    assert "2021-05-06T07:08:09Z" in rows[0] and "filetime" in rows[0]
    assert rows[1].endswith("+0x00000200")  # one record
    assert lines[-1] == "4 timestamps shown (--all for every raw hit)"
    assert [l for l in lines if l != l.rstrip()] == [], "no padding after a row's last cell"


def test_json_lines_and_stdin(blob):
    from_file = run("--scan", "--json", str(blob))
    from_pipe = run("--scan", "--json", "-", stdin=blob.read_bytes())
    assert from_file.returncode == from_pipe.returncode == 0
    assert from_file.stdout == from_pipe.stdout
    hits = [json.loads(l) for l in from_file.stdout.splitlines()]
    assert [h["instant"] for h in hits] == [(1620284889 + i) * 10**9 for i in range(4)]


def test_csv(blob):
    done = run("--scan", "--csv", str(blob))
    rows = list(csv.DictReader(io.StringIO(done.stdout.decode())))
    assert list(rows[0]) == ["offset", "width", "order", "format_id", "instant", "rendered", "confidence", "record",
                             "local"]
    assert rows[0]["rendered"] == "2021-05-06T07:08:09Z" and rows[0]["order"] == "little"


def test_all_and_narrowing(blob):
    every = run("--scan", "--all", "--json", str(blob)).stdout.splitlines()
    shown = run("--scan", "--json", str(blob)).stdout.splitlines()
    assert len(every) > 100 * len(shown)  # noise is everywhere; the threshold keeps it out
    only = [json.loads(l) for l in run("--scan", "--all", "--json", "--formats", "filetime", "--width", "8",
                                       "--window", "2021-05-06T00:00:00Z..2021-05-07T00:00:00Z",
                                       str(blob)).stdout.splitlines()]
    assert [h["offset"] for h in only] == [0x200, 0x208, 0x210, 0x218]


@pytest.mark.parametrize("args, message", [
    (["--scan"], "--scan needs a file"),
    (["--scan", "a", "b"], "--scan reads one input"),
    (["--scan", "--formats", "nope", "x"], "no format 'nope'"),
    (["--scan", "--json", "--csv", "x"], "choose one"),
    (["--csv", "1700000000"], "--csv applies to --scan only"),
    (["--scan", "--hint", "ntfs", "x"], "--scan takes"),
    (["--scan", "/no/such/file"], "cannot open"),
])
def test_usage_errors(args, message):
    done = run(*args)
    assert done.returncode == 2
    assert message in done.stderr.decode()
    assert len(done.stderr.decode().splitlines()) == 1

"""The command line as a user meets it: windows typed as dates, the version, values piped in, completion and
the man page, encoding with zones, batch rows that keep the input's fields, and a table that fits its width.

Instants and wall clocks come from Python's datetime and zoneinfo; CSV is read back with the csv module."""
import csv
import datetime as dt
import io
import json
import os
import pty
import re
import shutil
import subprocess
import zoneinfo
from pathlib import Path

import pytest

from command_line import find_cli

ROOT = Path(__file__).resolve().parents[2]
CLI = find_cli()
pytestmark = pytest.mark.skipif(CLI is None, reason="the epochsift command line is not built")
UTC = dt.timezone.utc


def run(*args, stdin=None, status=0, env=None):
    done = subprocess.run([CLI, *args], input=stdin, capture_output=True, timeout=120,
                          env=None if env is None else {**os.environ, **env})
    assert done.returncode == status, (done.returncode, done.stderr.decode(errors="replace"))
    return done.stdout.decode(), done.stderr.decode()


def utc_text(when):
    return when.strftime("%Y-%m-%dT%H:%M:%SZ")


def first_row_label_and_rendered(table):
    """(label, rendered) of the first reading row of a table."""
    row = table.split("\n")[2]
    return row


# Windows as people type them: a year, a month, a day, spans of those, date-times, integers with units.
# A syslog date has no year: the window's one year gives it one.
SYSLOG = "Nov 14 22:13:20"


@pytest.mark.parametrize("window, year", [
    ("2023", 2023), ("2021", 2021), ("2023-11", 2023), ("2019-11-14", 2019),
    ("2022-06..2023-05", 2022), ("2023-01-01..2023-12-31", 2023), ("2020..2020", 2020),
    ("2023-11-01T00:00:00Z..2023-12-01T00:00:00+01:00", 2023),
    ("1699000000s..1701000000s", 2023), ("1699000000000ms..1701000000000000us", 2023),
])
def test_windows_people_type(window, year):
    out, _ = run("--window", window, SYSLOG)
    expected = utc_text(dt.datetime(year, 11, 14, 22, 13, 20, tzinfo=UTC))
    assert expected in out.split("\n")[2], out


@pytest.mark.parametrize("window", ["2023..2024", "1699000000s..1701000000s", "2023-11"])
def test_a_window_keeps_unix_time_inside_it(window):
    out, _ = run("--window", window, "1700000000")
    first = out.split("\n")[2]
    assert "Unix time (seconds)" in first and "outside-window" not in first


@pytest.mark.parametrize("window", [
    "0..946684800000000000",  # integers name no unit
    "1700000000", "23", "2023-13", "2023-02-29", "2024..2023", "2023-01-01T00:00:00..2024-01-01T00:00:00Z",
    "1700000000h..1800000000h", "2023 .. 2024",
])
def test_other_windows_are_usage_errors(window):
    _, err = run("--window", window, "1700000000", status=2)
    assert err.startswith("epochsift: --window takes") and err.count("\n") == 1


def test_syslog_without_a_year_says_how_to_give_one():
    out, _ = run(SYSLOG)
    assert "no readings" in out and "--window 2023" in out
    out, _ = run("--window", "2023", SYSLOG)
    assert "--window 2023," not in out
    # A span that holds the date twice fixes no year either, and the answer says so.
    out, _ = run("--window", "2022..2023", SYSLOG)
    assert "no readings" in out and "give it with --window" in out


# The basics.
def test_version_is_pyprojects():
    version = re.search(r'^version = "([^"]+)"$', (ROOT / "pyproject.toml").read_text(), re.M).group(1)
    out, _ = run("--version")
    assert out == f"epochsift {version}\n"
    epochsift = pytest.importorskip("epochsift")
    assert epochsift.__version__ == version


def test_values_from_standard_input():
    piped, _ = run(stdin=b"1700000000\r\n2024-05-01T12:00:00+02:00\n")
    typed, _ = run("1700000000", "2024-05-01T12:00:00+02:00")
    assert piped == typed
    piped, _ = run("--json", stdin=b"1700000000\n")
    assert json.loads(piped)[0]["format_id"] == "unix"
    assert run(stdin=b"") == ("", "")


def help_options():
    out, _ = run("--help")
    return set(re.findall(r"^  (--[a-z-]+)", out, re.M))


def test_every_option_in_help_parses_and_completes():
    options = help_options()
    assert {"--batch", "--window", "--version", "--completion", "--man", "--header", "--quiet"} <= options
    bash, _ = run("--completion", "bash")
    subprocess.run(["bash", "-n"], input=bash.encode(), check=True)
    fish, _ = run("--completion", "fish")
    zsh, _ = run("--completion", "zsh")
    manual, _ = run("--man")
    assert manual.startswith(".TH EPOCHSIFT 1")
    for option in options:
        assert option in re.findall(r"--[a-z-]+", bash), option
        assert f"-l {option[2:]} " in fish + " ", option
        assert f"'{option}[" in zsh, option
        assert option.replace("-", "\\-") in manual, option
    # Completing the value of --endian offers its two words, in bash itself.
    script = bash + "\nCOMP_WORDS=(epochsift --endian l); COMP_CWORD=2; _epochsift; echo \"${COMPREPLY[@]}\"\n"
    done = subprocess.run(["bash", "-c", script], capture_output=True, check=True)
    assert done.stdout.decode().split() == ["little"]
    if shutil.which("zsh"):
        subprocess.run(["zsh", "-n"], input=zsh.encode(), check=True)
    if shutil.which("fish"):
        subprocess.run(["fish", "--no-execute"], input=fish.encode(), check=True)
    if shutil.which("groff"):
        # The page renders without a warning.
        done = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z"], input=manual.encode(), capture_output=True)
        assert done.returncode == 0 and done.stderr == b"", done.stderr


def test_completion_and_man_page_are_installed_beside_the_command():
    # Installed with the package under the environment's share/.
    prefix = Path(CLI).resolve().parent.parent
    installed = [prefix / "share/man/man1/epochsift.1", prefix / "share/bash-completion/completions/epochsift",
                 prefix / "share/zsh/site-functions/_epochsift", prefix / "share/fish/vendor_completions.d/epochsift.fish"]
    if not installed[0].exists():
        pytest.skip("the command line is not installed with its share/ files")
    manual, _ = run("--man")
    assert installed[0].read_text() == manual
    bash, _ = run("--completion", "bash")
    assert installed[1].read_text() == bash


# Encoding with zones: the wall-clock families hold the zone's wall clock, and the table says whose.
@pytest.mark.parametrize("zone", ["Europe/Berlin", "America/New_York", "+05:30"])
def test_encode_writes_the_tz_wall_clock_and_says_so(zone):
    when = dt.datetime(2024, 7, 1, 12, 0, 0, tzinfo=UTC)
    tz = zoneinfo.ZoneInfo(zone) if "/" in zone else dt.timezone(dt.timedelta(hours=5, minutes=30))
    wall = when.astimezone(tz)
    out, _ = run("--encode", "2024-07-01T12:00:00Z", "--tz", zone)
    rows = {line.split()[0]: line for line in out.split("\n")[2:] if line}
    assert wall.strftime("%Y:%m:%d %H:%M:%S") in rows["exif"] and zone in rows["exif"]
    assert zone not in rows["unix"] and rows["unix"].split()[1] == str(int(when.timestamp()))
    plain, _ = run("--encode", "2024-07-01T12:00:00Z")
    plain_rows = {line.split()[0]: line for line in plain.split("\n")[2:] if line}
    assert "2024:07:01 12:00:00" in plain_rows["exif"] and plain_rows["exif"].rstrip().endswith("UTC")
    listed, _ = run("--encode", "2024-07-01T12:00:00Z", "--tz", zone, "--json")
    exif = next(e for e in json.loads(listed) if e["format_id"] == "exif")
    assert exif["value"] == wall.strftime("%Y:%m:%d %H:%M:%S") and any(zone in a for a in exif["assumptions"])


@pytest.mark.parametrize("wall, instant, said", [
    ("2024-03-31T02:30:00", dt.datetime(2024, 3, 31, 1, 30, tzinfo=UTC), "is skipped in Europe/Berlin"),
    ("2024-10-27T02:30:00", dt.datetime(2024, 10, 27, 0, 30, tzinfo=UTC), "occurs twice in Europe/Berlin"),
    ("2024-07-01T14:00:00", dt.datetime(2024, 7, 1, 12, tzinfo=UTC), None),
])
def test_encode_reads_when_in_the_local_zone(wall, instant, said):
    out, err = run("--encode", wall, "--local-zone", "Europe/Berlin")
    assert out.startswith(utc_text(instant) + ":")
    if said:
        assert said in err and err.count("\n") == 1
    else:
        assert err == ""
    _, err = run("--encode", wall, status=2)  # without a zone a wall clock names no instant


# Batch rows: the input's fields kept, each read field's best reading after them.
EVENTS = 'id,seen,note\n1,1700000000,"a, b"\n2,2024-05-01T12:00:00+02:00,x\n3,nothing,y\n'


def rows_of(text):
    return list(csv.reader(io.StringIO(text)))


def test_batch_rows_keep_the_fields_and_add_the_best_reading(tmp_path):
    path = tmp_path / "events.csv"
    path.write_text(EVENTS)
    for column in ("seen", "2"):
        out, err = run("--batch", "--column", column, str(path))
        assert err == ""
        rows = rows_of(out)
        assert rows[0] == ["id", "seen", "note", "seen_format", "seen_utc", "seen_score", "error"]
        assert [r[:3] for r in rows[1:]] == [r for r in rows_of(EVENTS)[1:]]
        assert rows[1][3:6] == ["unix", utc_text(dt.datetime.fromtimestamp(1700000000, UTC)), "1.0"]
        assert rows[2][3:5] == ["iso8601", "2024-05-01T10:00:00Z"]
        assert rows[3][3:] == ["", "", "", ""]


def test_batch_rows_several_columns_zones_and_json(tmp_path):
    path = tmp_path / "two.tsv"
    path.write_text("a\tb\n1700000000\t2023:11:14 22:13:20\n")
    out, _ = run("--batch", "--delimiter", "tab", "--column", "b,1", "--tz", "Asia/Kolkata",
                 "--local-zone", "Europe/Berlin", str(path))
    header, row = [line.split("\t") for line in out.splitlines()]
    assert header == ["a", "b", "b_format", "b_utc", "b_local", "b_score", "a_format", "a_utc", "a_local",
                      "a_score", "error"]
    # EXIF is a wall clock: read in Berlin (UTC+1 in November), shown in Kolkata (UTC+5:30).
    berlin = dt.datetime(2023, 11, 14, 22, 13, 20, tzinfo=zoneinfo.ZoneInfo("Europe/Berlin"))
    kolkata = berlin.astimezone(zoneinfo.ZoneInfo("Asia/Kolkata"))
    assert row[2:5] == ["exif", utc_text(berlin.astimezone(UTC)), kolkata.isoformat() + " IST"]
    assert row[6:8] == ["unix", "2023-11-14T22:13:20Z"]
    out, _ = run("--batch", "--delimiter", "tab", "--column", "b,1", "--json", str(path))
    record = json.loads(out)
    assert record["line"] == 2 and record["fields"] == ["1700000000", "2023:11:14 22:13:20"]
    assert [(r["field"], r["name"], r["format_id"]) for r in record["readings"]] == [(2, "b", "exif"), (1, "a", "unix")]


@pytest.mark.parametrize("header, text, rows_out", [
    ("auto", "1700000000\n1600000000\n", 2),         # no header: the first line is a value
    ("auto", "seen\n1700000000\n", 2),               # a header: its line names the column
    ("no", "seen\n1700000000\n", 2),                 # told: the first line is a value, without a reading
    ("yes", "1700000000\n1600000000\n", 2),          # told: the first line names the column
])
def test_header_recognised(header, text, rows_out):
    out, _ = run("--batch", "--header", header, stdin=text.encode())
    rows = rows_of(out)
    assert len(rows) == rows_out
    first = text.split("\n")[0]
    is_header = header == "yes" or (header == "auto" and first == "seen")
    if is_header:
        assert rows[0] == [first, f"{first}_format", f"{first}_utc", f"{first}_score", "error"]
    else:
        assert rows[0][0] == first


def test_batch_row_faults(tmp_path):
    path = tmp_path / "short.csv"
    path.write_text("id,seen\n1,1700000000\n2\n")
    out, err = run("--batch", "--column", "seen", str(path), status=3)
    assert rows_of(out)[2][-1] == "no field 2" and f"{path}:3: no field 2" in err
    _, err = run("--batch", "--column", "when", str(path), status=2)
    assert "no field named 'when'" in err
    _, err = run("--batch", "--column", "seen", "--header", "no", str(path), status=2)


def test_default_batch_is_the_best_reading_and_every_one_on_request():
    values = "".join(f"{1700000000 + i}\n" for i in range(50)).encode()
    best, _ = run("--batch", stdin=values)
    every, _ = run("--batch", "--every", stdin=values)
    assert len(best.splitlines()) == 50 and len(best) < 50 * 64
    records = [json.loads(line) for line in every.splitlines()]
    assert len(records) == 50 and all(len(r["readings"]) > 10 for r in records)


def test_progress_line_on_a_terminal_with_time_left(tmp_path):
    path = tmp_path / "many.txt"
    # Long enough on one thread to outlast the first redraw (a fifth of a second) on any machine.
    path.write_text("".join(f"{1600000000 + 37 * i}\n" for i in range(600_000)))

    def stderr_on_a_terminal(*args):
        leader, follower = pty.openpty()
        done = subprocess.run([CLI, "--batch", *args, str(path)], stdout=subprocess.DEVNULL, stderr=follower,
                              timeout=300)
        os.close(follower)
        seen = b""
        try:
            while chunk := os.read(leader, 65536):
                seen += chunk
        except OSError:
            pass
        os.close(leader)
        assert done.returncode == 0
        return seen.decode(errors="replace")

    shown = stderr_on_a_terminal("--threads", "1")
    assert re.search(r"\d+\.\d%  \d+ rows  \d+ rows/s  (\d+h)?(\d+m)?\d+s left", shown), shown[-300:]
    assert stderr_on_a_terminal("--quiet", "--threads", "1") == ""


# A table that fits: the terminal's width, or COLUMNS when the output is not a terminal.
@pytest.mark.parametrize("columns", [72, 80, 100, 120])
def test_table_fits_columns(columns):
    out, _ = run("1700000000", env={"COLUMNS": str(columns)})
    lines = out.split("\n")[1:-1]  # the title line is the value's, not the table's
    assert max(len(line) for line in lines) <= columns
    # What the labels had to give up is all that was cut: a label is cut at
    # a word's end when one ends in the last third of the room it has.
    header = lines[0]
    room = header.index("rendered") - header.index("label") - 2
    assert max(len(line) for line in lines) >= columns - 2 - room // 3 or "…" not in out


def test_full_labels_when_they_fit():
    epochsift = pytest.importorskip("epochsift")
    out, _ = run("1700000000", env={"COLUMNS": "200"})
    labels = [r["label"] for r in epochsift.identify("1700000000", extended=True)[:10]]
    for label in labels:
        assert label in out


def test_hex_readings_name_their_byte_order_and_width():
    out, _ = run("--all", "0x6817855a", env={"COLUMNS": "160"})
    header = out.split("\n")[1]
    assert "bytes" in header.split()
    rows = [line for line in out.split("\n")[2:] if "Unix time (seconds)" in line]
    # 0x6817855a read big-endian is 1746371930 (2025-05-04T15:18:50Z); little-endian 0x5a851768.
    assert any("BE u32" in r and utc_text(dt.datetime.fromtimestamp(0x6817855A, UTC)) in r for r in rows), rows
    assert any("LE u32" in r and utc_text(dt.datetime.fromtimestamp(0x5A851768, UTC)) in r for r in rows), rows


# Hints that say what they did: each word's families on standard error; a hint that names nothing is left out
# of the extended reading, not held against every family.
def test_hint_words_are_reported():
    _, err = run("--hint", "Chrome history, zzqx", "13350000000000000")
    assert err.startswith('epochsift: --hint: "Chrome" names webkit') and '"zzqx" names no format' in err
    assert err.count("\n") == 1


@pytest.mark.parametrize("value", ["1700000000", "13350000000000000", "0x6817855a"])
def test_a_hint_that_names_nothing_changes_no_extended_score(value):
    plain, _ = run("--json", value)
    hinted, err = run("--json", "--hint", "zzqx quux", value)
    assert hinted == plain and "left out of the scores" in err
    # The reference reading keeps its contract: an unmatched hint lowers every family.
    reference, _ = run("--reference", "--json", value)
    reference_hinted, _ = run("--reference", "--json", "--hint", "zzqx", value)
    if value.isdigit():
        assert reference_hinted != reference

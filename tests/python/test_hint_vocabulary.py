"""The hint an analyst types, read through the hint vocabulary (extended
reading only). Values and their true instants come from real tools
(bench/ground_truth/values.tsv, made by mtools, Info-ZIP, openpyxl,
snowflake-id, sonyflake-py, svix-ksuid and Chromium); the hints are what the
artifacts' own documentation calls them."""

from __future__ import annotations

import csv
from collections import defaultdict
from pathlib import Path

import epochsift
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

TRUTH = Path(__file__).resolve().parents[2] / "bench" / "ground_truth"


def first(value, **options):
    return epochsift.identify(value, extended=True, **options)[0]


# Spellings: case, punctuation and the usual forms of one name. Each word's
# format from its artifact's documentation: the MFT's $STANDARD_INFORMATION
# holds FILETIMEs, FAT32 directory entries DOS date/time words, Firefox's
# places.sqlite PRTime, Chromium's visits.visit_time WebKit microseconds,
# ToOADate OLE Automation days, System.currentTimeMillis milliseconds,
# DateTime.Ticks .NET ticks, Go's UnixNano nanoseconds, SQLite's julianday
# Julian days, NSDate Cocoa seconds.
@pytest.mark.parametrize("hint, word, format_id", [
    ("$MFT", "$MFT", "filetime"),
    ("$standard_information", "$standard_information", "filetime"),
    ("FAT32", "FAT32", "fat"),
    ("fat16 volume", "fat16", "fat"),
    ("places.sqlite", "places.sqlite", "prtime"),
    ("PLACES.SQLITE", "PLACES.SQLITE", "unix_us"),
    ("visit_time", "visit_time", "webkit"),
    ("VisitTime", "VisitTime", "webkit"),
    ("ToOADate()", "ToOADate", "ole"),
    ("System.currentTimeMillis()", "System.currentTimeMillis", "unix_ms"),
    ("DateTime.UtcNow.Ticks", "Ticks", "dotnet_ticks"),
    ("time.Now().UnixNano()", "UnixNano", "unix_ns"),
    ("julianday('now')", "julianday", "sqlite_julian"),
    ("NSDate in a plist", "NSDate", "cocoa"),
    ("pwdLastSet", "pwdLastSet", "filetime"),
    ("Discord message id", "Discord", "discord"),
])
def test_spellings_of_a_word_imply_its_format(hint, word, format_id):
    report = epochsift.hint_words(hint)
    assert format_id in report["matched"][word], report


# Generic words carry no evidence; unknown words are reported, and neither
# moves any score.
GENERIC = ["date", "time", "timestamp", "message", "header", "id", "value", "field", "History"]
UNKNOWN = ["zzqx", "quux", "frobnicate", "42x"]
VALUES = ["1700000000", "13350000000000000", "879858441", "45000.5", "1048207625344282625"]


def test_report_sorts_words_into_matched_generic_unmatched():
    report = epochsift.hint_words("Chrome History, visit_time; zzqx date id")
    assert report == {"matched": {"Chrome": ["webkit"], "visit_time": ["webkit", "cocoa", "cocoa_float"]},
                      "generic": ["History", "date", "id"], "unmatched": ["zzqx"]}
    assert epochsift.hint_words("") == {"matched": {}, "generic": [], "unmatched": []}
    with pytest.raises(TypeError):
        epochsift.hint_words(b"chrome")


@settings(max_examples=40, deadline=None)
@given(words=st.lists(st.sampled_from(GENERIC + UNKNOWN), min_size=1, max_size=5),
       joiner=st.sampled_from([" ", ", ", "/", " - "]), value=st.sampled_from(VALUES))
def test_words_that_imply_nothing_change_no_extended_score(words, joiner, value):
    hint = joiner.join(words)
    assert epochsift.identify(value, extended=True, hint=hint) == epochsift.identify(value, extended=True)
    assert not epochsift.hint_words(hint)["matched"]


# The pairs one value cannot separate, settled by the artifact's name. The
# true instants are the tools' own (bench/ground_truth/values.tsv).
@pytest.mark.parametrize("value, hint, instant_ns, tolerance_ns", [
    # Info-ZIP zip 3.0 local header DOS time: also a typical Unix time.
    ("1298556459", "ZIP local file header", 1541508562000000000, 2 * 10**9),
    # mtools mcopy into a FAT32 image: the directory entry's write time.
    ("1033337335", "FAT32 directory entry", 1293117346000000000, 2 * 10**9),
    # openpyxl cell serial in a 1904-system workbook: also a 1900-system serial.
    ("34131.28198802542", "xlsx cell, 1904 date system", 866097963765397000, 10**6),
    # snowflake-id with Discord's epoch: also a Twitter or Sonyflake id.
    ("1048207625344282625", "Discord message id", 1669982572638000000, 10**6),
    # sonyflake-py next_id().
    ("436967577982337031", "Sonyflake", 1669982572630000000, 10**7),
    # svix-ksuid's 4-byte timestamp field: also Cocoa seconds.
    ("269982572", "KSUID timestamp", 1669982572000000000, 10**9),
    # Chromium History urls.last_visit_time.
    ("12536450741147673", "Chrome History last_visit_time", 891977141147672000, 10**6),
])
def test_the_hint_settles_the_pair(value, hint, instant_ns, tolerance_ns):
    top = first(value, hint=hint)
    assert abs(top["instant"] - instant_ns) <= tolerance_ns, (top["format_id"], top["instant"])


def test_raised_readings_name_the_words_and_others_do_not():
    readings = epochsift.identify("1298556459", extended=True, hint="Info-ZIP local header on a FAT32 stick")
    notes = {r["format_id"]: r["assumptions"] for r in readings}
    assert 'the hint\'s words "zip", "fat32" imply this format' in notes["fat"]
    assert not any("hint" in n for n in notes["unix"])
    single = epochsift.identify("1298556459", extended=True, hint="zip")
    assert 'the hint\'s word "zip" implies this format' in {r["format_id"]: r for r in single}["fat"]["assumptions"]


def test_the_more_words_imply_a_format_the_higher_it_weighs():
    # "Excel" implies both date systems; "1904" only the 1904 one.
    both = {r["format_id"]: dict(r["components"]).get("artifact_match")
            for r in epochsift.identify("34131.28198802542", extended=True, hint="Excel 1904")}
    assert both["excel1904"] == 1.0 and both["ole"] == 0.5


def test_the_reference_reading_keeps_its_own_hint():
    # Its artifact_match finds hint words in the family texts, as before.
    plain = {r["format_id"]: dict(r["components"]) for r in epochsift.identify("1700000000", hint="zzqx")}
    assert all(c["artifact_match"] == 0.2 for c in plain.values())
    assert not any("hint" in n for r in epochsift.identify("1700000000", hint="chrome") for n in r["assumptions"])


def _truths():
    with open(TRUTH / "values.tsv", newline="") as fh:
        rows = list(csv.DictReader(fh, delimiter="\t", quoting=csv.QUOTE_NONE))
    with open(TRUTH / "hints.tsv", newline="") as fh:
        hints = {r["source"]: r["hint"] for r in csv.DictReader(fh, delimiter="\t", quoting=csv.QUOTE_NONE)}
    return [(r, hints[r["source"]]) for r in rows if r["kind"] in ("integer", "decimal") and r["source"] in hints]


def _rank(readings, row):
    for i, r in enumerate(readings, 1):
        if abs(r["instant"] - int(row["instant_ns"])) <= int(row["tolerance_ns"]):
            return i
    return 10**6


def test_an_analysts_hint_never_lowers_the_true_reading_and_mostly_puts_it_first():
    truths = _truths()
    assert len(truths) > 200
    worse, firsts = [], defaultdict(int)
    for row, hint in truths:
        alone = _rank(epochsift.identify(row["value"], extended=True), row)
        hinted = _rank(epochsift.identify(row["value"], extended=True, hint=hint), row)
        if hinted > alone:
            worse.append((row["value"], row["family"], hint, alone, hinted))
        firsts[hinted == 1] += 1
    assert len(worse) <= len(truths) // 100, worse
    assert firsts[True] / len(truths) >= 0.95


# What a user of the command line sees: each word's formats on standard
# error, and the table led by the format the hint settles.
def test_command_line_reports_each_word_and_ranks_by_the_hint():
    import subprocess
    from command_line import find_cli
    done = subprocess.run([find_cli(), "--hint", "Info-ZIP local header, zzqx", "1298556459"],
                          capture_output=True, timeout=120)
    assert done.returncode == 0
    err = done.stderr.decode()
    assert '"ZIP" names fat' in err and '"local" is generic' in err and '"zzqx" names no format' in err
    rows = [line for line in done.stdout.decode().splitlines() if "2018-11-06T12:49:22" in line]
    assert rows and "FAT" in done.stdout.decode().splitlines()[2], done.stdout.decode()

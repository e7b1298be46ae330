"""A value's neighbours weighed as a column, and column verdicts that weigh
a layout by how many raw values it reads at a typical instant. Values come
from real tools (bench/ground_truth/values.tsv) or from the formats' own
documentation."""

from __future__ import annotations

import csv
from collections import defaultdict
from pathlib import Path

import epochsift
import pytest

TRUTH = Path(__file__).resolve().parents[2] / "bench" / "ground_truth" / "values.tsv"


def _sources():
    with open(TRUTH, newline="") as fh:
        rows = list(csv.DictReader(fh, delimiter="\t", quoting=csv.QUOTE_NONE))
    groups = defaultdict(list)
    for r in rows:
        if r["kind"] == "integer":
            groups[r["source"]].append(r)
    return groups


SOURCES = _sources()


def _right(reading, row):
    return abs(reading["instant"] - int(row["instant_ns"])) <= int(row["tolerance_ns"])


# FAT words (mtools' directory entries, Info-ZIP's and Python zipfile's local
# headers) are also typical Unix seconds; among their own kind they read as FAT.
@pytest.mark.parametrize("source", [
    "mtools 4.0.32 mcopy -m (FAT directory entry)",
    "Info-ZIP zip 3.0 (local header DOS time)",
    "python 3.11.7 zipfile.write (local header DOS time)",
])
def test_a_fat_word_among_fat_words_reads_as_fat(source):
    rows = SOURCES[source]
    assert len(rows) >= 4
    for row in rows:
        others = [int(o["value"]) for o in rows if o is not row]
        top = epochsift.identify(row["value"], extended=True, neighbours=others)[0]
        assert _right(top, row), (row["value"], top["format_id"])


# Neighbours of the value's own source never push its true reading down.
def test_neighbours_never_lower_the_true_reading():
    lowered = []
    for rows in SOURCES.values():
        for row in rows:
            others = [int(o["value"]) for o in rows if o is not row]
            if not others:
                continue
            def rank(readings):
                return next((i for i, r in enumerate(readings) if _right(r, row)), 10**6)
            alone = rank(epochsift.identify(row["value"], extended=True))
            near = rank(epochsift.identify(row["value"], extended=True, neighbours=others))
            if near > alone:
                lowered.append((row["source"], row["value"], alone, near))
    assert not lowered


# Discord's developer documentation ("Snowflakes") decodes 175928847299117063
# to 2016-04-30T11:18:25.796Z. Its first year past Discord's epoch is no
# reason to prefer the rare Sonyflake layout.
def test_a_discord_id_of_2016_does_not_read_as_sonyflake_first():
    readings = epochsift.identify("175928847299117063", extended=True)
    assert readings[0]["format_id"] != "sony"
    discord = next(r for r in readings if r["format_id"] == "discord")
    assert discord["rendered"] == "2016-04-30T11:18:25.796Z"
    sony = next(r for r in readings if r["format_id"] == "sony")
    assert discord["score"] > sony["score"]


# Layouts alike but for their epoch get the same likelihood: the verdict's
# shares then stand in the ratio of their priors (Twitter's and Discord's
# snowflakes share one prior), whatever the era the values fall in.
@pytest.mark.parametrize("source", [
    "snowflake-id 1.0.2 (Twitter epoch)",
    "snowflake-id 1.0.2 (Discord epoch)",
])
def test_twin_layouts_weigh_alike_in_a_column(source):
    values = [r["value"] for r in SOURCES[source]]
    scores = {v["format_id"]: v["score"] for v in epochsift.identify_column(values)}
    assert scores["snowflake"] == pytest.approx(scores["discord"], rel=1e-9)


# A column of Unix seconds from coreutils' `date +%s` is not taken for a
# layout whose epoch lies later (KSUID's 2014, Cocoa's 2001).
def test_a_column_of_unix_seconds_reads_as_unix():
    values = [r["value"] for r in SOURCES["coreutils 9.1 date +%s"]]
    assert epochsift.identify_column(values)[0]["format_id"] == "unix"


def test_a_column_of_1904_serials_reads_as_1904():
    with open(TRUTH, newline="") as fh:
        values = [r["value"] for r in csv.DictReader(fh, delimiter="\t", quoting=csv.QUOTE_NONE)
                  if r["source"] == "openpyxl 3.1.5 cell serial (1904 system)"]
    assert epochsift.identify_column(values)[0]["format_id"] == "excel1904"

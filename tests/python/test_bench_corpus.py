"""The benchmark corpus: current with its generator, and read by the engine
as what it was built to be. The generator encodes instants with its own
arithmetic, so this also checks every family's layout from the outside."""

import subprocess
import sys
from pathlib import Path

import pytest

import epochsift

BENCH = Path(__file__).resolve().parents[2] / "bench"
ROWS = [line.split("\t", 2) for line in (BENCH / "corpus.tsv").read_text(encoding="utf-8").splitlines()]

WINDOW_NS = (631_152_000 * 10**9, 2_208_988_800 * 10**9)  # 1990-01-01 to 2040-01-01
# String kinds whose readings carry another format_id.
READING_IDS = {"jwt": "jwt_iat"}


def test_corpus_is_what_the_generator_writes():
    result = subprocess.run([sys.executable, str(BENCH / "make_corpus.py"), "--check"], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr


def test_corpus_covers_every_class_and_numeric_family():
    assert len(ROWS) >= 300
    assert {cls for cls, _, _ in ROWS} == {"integer", "float", "string", "junk"}
    # With the test below, which reads each value in its kind: all 45 families.
    assert len({kind for cls, kind, _ in ROWS if cls in ("integer", "float")} - {"sentinel"}) == 45


@pytest.mark.parametrize("cls,kind,value", [r for r in ROWS if r[0] != "junk" and r[1] != "sentinel"],
                         ids=lambda x: x[:24] if isinstance(x, str) else None)
def test_value_reads_in_its_family_inside_the_window(cls, kind, value):
    readings = [r for r in epochsift.identify(value) if r["format_id"] == READING_IDS.get(kind, kind)]
    assert readings, f"{value} has no {kind} reading"
    assert WINDOW_NS[0] <= readings[0]["instant"] < WINDOW_NS[1]


@pytest.mark.parametrize("value", [v for cls, _, v in ROWS if cls == "junk"], ids=lambda v: v[:24])
def test_junk_reads_as_nothing(value):
    assert epochsift.identify_json(value) == "[]"

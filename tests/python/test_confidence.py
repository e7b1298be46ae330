"""Each extended reading's confidence: a share of belief among the value's
readings. Right and wrong come from values made by third-party tools
(bench/ground_truth: the held-out seed, never the one the model was fitted
on); the shares' own laws (they sum to 1, follow the ranking, and do not
depend on how many readings a caller keeps) are checked over generated
values."""

from __future__ import annotations

import json
import math
import subprocess
import sys
from pathlib import Path

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import epochsift
from command_line import find_cli

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "bench"))
import ranking  # noqa: E402

HELD_OUT = ranking.load(ROOT / "bench" / "ground_truth" / "held_out.tsv")


def _pairs():
    every, first_confidence, first_score = [], [], []
    for truth in HELD_OUT:
        readings = epochsift.identify(truth.value, extended=True)
        if not readings:
            continue
        every += [(r["confidence"], ranking.correct(r, truth, "instant")) for r in readings]
        right = ranking.correct(readings[0], truth, "instant")
        first_confidence.append((readings[0]["confidence"], right))
        first_score.append((readings[0]["score"], right))
    return every, first_confidence, first_score


# Of readings given about 0.7, about 70 % are right: on values the model
# never saw, the ten-bin calibration error stays within 0.05, and the first
# reading's confidence tells a right answer from a wrong one better than its
# score does.
def test_calibrated_on_held_out_values():
    every, first_confidence, first_score = _pairs()
    assert len(first_score) > 300
    assert ranking.calibration_error(every) <= 0.05
    assert ranking.calibration_error(first_confidence) <= 0.05
    assert ranking.roc_auc(first_confidence) > ranking.roc_auc(first_score)


# The measures themselves, on cases worked by hand.
@pytest.mark.parametrize("pairs, error, auc", [
    ([(0.05, False), (0.95, True), (0.75, True), (0.75, False)], 0.15, None),
    ([(0.1, False), (0.2, True), (0.3, True), (0.3, False)], None, 0.625),
    ([(0.9, True), (0.9, True), (0.1, False)], 0.1 * 2 / 3 + 0.1 / 3, 1.0),
])
def test_the_measures(pairs, error, auc):
    if error is not None:
        assert ranking.calibration_error(pairs) == pytest.approx(error)
    if auc is not None:
        assert ranking.roc_auc(pairs) == pytest.approx(auc)


VALUES = st.one_of(
    st.integers(-2**63, 2**63 - 1).map(str),
    st.integers(0, 2**42).map(str),
    st.floats(0, 4e9, allow_nan=False).map(repr),
    st.sampled_from(["2024-05-01T12:00:00+02:00", "0x65540000", "65f1b2c3d4e5f60718293a4b", "Tue, 14 Nov 2023",
                     "01d9b3a0c0ffee00", "nothing", "", "1700000000 1700000001"]),
)
HINTS = st.sampled_from([None, "ZIP local header", "Chrome History visit_time", "Discord message id", "zzqx"])


def _shares_hold(readings):
    shares = [r["confidence"] for r in readings]
    assert all(0.0 <= c <= 1.0 for c in shares)
    if shares:
        assert sum(shares) == pytest.approx(1.0, abs=1e-9)
    # A higher score never gets a smaller share; equal scores equal shares.
    for a, b in zip(readings, readings[1:]):
        assert a["score"] >= b["score"] and a["confidence"] >= b["confidence"]
        if a["score"] == b["score"]:
            assert a["confidence"] == b["confidence"]


@settings(max_examples=150, deadline=None)
@given(VALUES, HINTS)
def test_shares_sum_to_one_and_follow_the_ranking(value, hint):
    readings = epochsift.identify(value, extended=True, hint=hint)
    _shares_hold(readings)
    # The JSON text carries the same shares.
    assert [r["confidence"] for r in json.loads(epochsift.identify_json(value, extended=True, hint=hint))] == [
        r["confidence"] for r in readings]


@settings(max_examples=60, deadline=None)
@given(st.binary(min_size=1, max_size=16))
def test_bytes_shares_sum_to_one(data):
    _shares_hold(epochsift.identify_bytes(data))


# A wall clock that a zone repeats gives two readings, one a instant: the
# reading's share goes half to each, and the value's shares still sum to 1.
@settings(max_examples=60, deadline=None)
@given(st.sampled_from(["2024:10:27 02:30:00", "2024-10-27T02:30:00", "1414376100", "2024:03:31 02:30:00"]),
       st.sampled_from(["Europe/Berlin", "America/New_York", "UTC"]))
def test_shares_sum_to_one_in_a_local_zone(value, zone):
    readings = epochsift.identify(value, extended=True, local_zone=zone, tz="Asia/Tokyo")
    assert sum(r["confidence"] for r in readings) == pytest.approx(1.0, abs=1e-9)


def test_a_repeated_wall_clock_halves_its_share():
    alone = epochsift.identify("2024:10:27 02:30:00", extended=True)
    folded = epochsift.identify("2024:10:27 02:30:00", extended=True, local_zone="Europe/Berlin")
    assert [r["confidence"] for r in alone] == [1.0]
    assert [r["confidence"] for r in folded] == [0.5, 0.5]


# Keeping the first K readings builds only those that can matter, yet each
# kept reading has the share the full reading gives it.
@settings(max_examples=150, deadline=None)
@given(st.lists(VALUES, min_size=1, max_size=6), st.integers(1, 5), HINTS)
def test_the_first_k_keep_their_shares(values, best, hint):
    kept = epochsift.identify_many(values, best=best, hint=hint, threads=1)
    for value, first in zip(values, kept):
        full = epochsift.identify(value, extended=True, hint=hint)[:best]
        assert [(r["format_id"], r["confidence"]) for r in first] == [(r["format_id"], r["confidence"]) for r in full]


# The reference reading weighs no confidence: its output is as it was.
@pytest.mark.parametrize("value", ["1700000000", "45000.5", "2024-05-01T12:00:00+02:00", "0"])
def test_the_reference_reading_has_none(value):
    assert all("confidence" not in r for r in epochsift.identify(value))
    assert '"confidence"' not in epochsift.identify_json(value)


CLI = find_cli()


def _table(*args):
    done = subprocess.run([CLI, *args], capture_output=True, timeout=120, env={"COLUMNS": "120"})
    assert done.returncode == 0, done.stderr
    return done.stdout.decode().splitlines()


def _percent(cell):
    return 0.5 if cell == "<1%" else float(cell.rstrip("%"))


# The table shows each reading's confidence in whole percents, adding up to
# 100 but for rounding; the reference table keeps the score.
@pytest.mark.skipif(CLI is None, reason="the epochsift command line is not built")
@pytest.mark.parametrize("value", ["1700000000", "1298556459", "2024-05-01T12:00:00+02:00", "44927.5"])
def test_the_table_shows_confidence(value):
    lines = _table("--all", value)
    assert lines[1].split()[:2] == ["rank", "conf"]
    rows = [line.split() for line in lines[2:] if line[:4].strip().isdigit()]
    cells = [row[1] for row in rows]
    assert all(c.endswith("%") for c in cells)
    total = sum(_percent(c) for c in cells)
    assert abs(total - 100) <= 0.5 * len(cells) + 0.5
    best = epochsift.identify(value, extended=True)[0]
    assert cells[0] == f"{round(best['confidence'] * 100)}%"
    assert _table("--reference", value)[1].split()[:2] == ["rank", "score"]


# Arrow rows carry each reading's share, and null where none is weighed.
def test_arrow_rows_carry_the_shares():
    pa = pytest.importorskip("pyarrow")
    values = ["1700000000", "nothing", "2024-05-01T12:00:00+02:00"]
    rows = pa.array(epochsift.identify_arrow(pa.array(values), best=3, keep_empty=True)).to_pylist()
    want = [r["confidence"] for v in values for r in epochsift.identify(v, extended=True)[:3]]
    assert [r["confidence"] for r in rows if r["rank"] is not None] == want
    assert [r["confidence"] for r in rows if r["rank"] is None] == [None]
    reference = pa.array(epochsift.identify_arrow(pa.array(values), best=2, extended=False)).to_pylist()
    assert reference and all(r["confidence"] is None for r in reference)


# A softmax: the ratio of two readings' shares depends on their score gap
# alone, the same way for every value, and a reading far below the best
# (more than twelve temperatures, as documented) gets none.
@settings(max_examples=40, deadline=None)
@given(st.lists(VALUES, min_size=2, max_size=5))
def test_shares_depend_on_the_score_gap_alone(values):
    slopes, gaps_with_share, gaps_without = [], [], []
    for value in values:
        readings = epochsift.identify(value, extended=True)
        if not readings:
            continue
        best, top = readings[0]["score"], readings[0]["confidence"]
        for r in readings:
            gap = best - r["score"]
            if r["confidence"] == 0.0:
                gaps_without.append(gap)
                continue
            gaps_with_share.append(gap)
            if gap > 1e-3:
                slopes.append(math.log(top / r["confidence"]) / gap)
    if slopes:
        assert max(slopes) == pytest.approx(min(slopes), rel=1e-6)
        temperature = 1 / slopes[0]
        assert all(g > 12 * temperature * (1 - 1e-9) for g in gaps_without)
        assert all(g <= 12 * temperature * (1 + 1e-9) for g in gaps_with_share)

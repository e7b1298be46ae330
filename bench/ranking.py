#!/usr/bin/env python3
"""How often the ranking puts the true reading first, on values made by
third-party tools (bench/ground_truth/values.tsv).

A reading is correct when its format_id is the value's true family, or when
its instant lies within the value's tolerance_ns of the true instant: several
families can name the same instant (filetime and active, unix and a JWT's
claim), and any of them answers the question of when. `--by family` counts the
format_id alone.

Reports top-1, top-3 and mean reciprocal rank (a value with no correct reading
adds 0) by kind and overall, and top-1 by source, for:
  reference   identify(value)
  extended    identify(value, extended=True), where the module has it
  column      identify_column(values of one source), where the module has it

With the analyst's hints (bench/ground_truth/hints.tsv: for each source, the
words an analyst would type for the artifact, written from its description)
and with neighbours (the source's other values), the numeric values are read
again; reported: top-1 and how many values' true reading ranks lower with the
context than without.

Each extended reading's confidence: the expected calibration error (ten bins)
over every reading and over first readings, and the area under the ROC curve
with which the first reading's confidence, and its score, part right answers
from wrong ones.

Usage: python bench/ranking.py [--values PATH] [--hints PATH] [--by instant|family] [--misses N]
"""

from __future__ import annotations

import argparse
import csv
from collections import defaultdict
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Callable, Mapping, Sequence

import epochsift

KINDS = ("integer", "decimal", "string", "hex")
NUMERIC_KINDS = ("integer", "decimal")


@dataclass(frozen=True)
class Truth:
    kind: str
    value: str
    family: str
    instant_ns: int
    tolerance_ns: int
    source: str


def load(path: Path) -> list[Truth]:
    with open(path, newline="") as fh:
        rows = csv.DictReader(fh, delimiter="\t", quoting=csv.QUOTE_NONE)
        return [Truth(r["kind"], r["value"], r["family"], int(r["instant_ns"]), int(r["tolerance_ns"]),
                      r["source"]) for r in rows]


def correct(reading: Mapping[str, Any], truth: Truth, by: str) -> bool:
    # Bytes read in both orders give two readings of one family: only the
    # instant tells them apart.
    if reading.get("format_id") == truth.family and not (truth.kind == "hex" and by == "instant"):
        return True
    return by == "instant" and abs(int(reading["instant"]) - truth.instant_ns) <= truth.tolerance_ns


def rank_of(readings: Sequence[Mapping[str, Any]], truth: Truth, by: str) -> int | None:
    for i, reading in enumerate(readings, 1):
        if correct(reading, truth, by):
            return i
    return None


class Tally:
    def __init__(self) -> None:
        self.n = 0
        self.top1 = 0
        self.top3 = 0
        self.rr = 0.0

    def add(self, rank: int | None) -> None:
        self.n += 1
        if rank is not None:
            self.top1 += rank == 1
            self.top3 += rank <= 3
            self.rr += 1.0 / rank

    def cells(self) -> str:
        if self.n == 0:
            return f"{'-':>6} {'-':>7} {'-':>7} {'-':>6}"
        return f"{self.n:>6} {100 * self.top1 / self.n:>6.1f}% {100 * self.top3 / self.n:>6.1f}% {self.rr / self.n:>6.3f}"


def measure(name: str, identify: Callable[[str], Sequence[Mapping[str, Any]]], truths: list[Truth], by: str,
            misses: int) -> None:
    by_kind: dict[str, Tally] = defaultdict(Tally)
    by_source: dict[str, Tally] = defaultdict(Tally)
    overall, numeric, read = Tally(), Tally(), Tally()
    missed: list[tuple[Truth, str]] = []
    for t in truths:
        readings = identify(t.value)
        rank = rank_of(readings, t, by)
        for tally in (by_kind[t.kind], by_source[t.source], overall):
            tally.add(rank)
        if t.kind in NUMERIC_KINDS:
            numeric.add(rank)
        if readings:
            read.add(rank)
        if rank != 1:
            missed.append((t, readings[0]["format_id"] if readings else "(none)"))
    print(f"\n== {name} (correct by {by})")
    print(f"{'':<10} {'n':>6} {'top-1':>7} {'top-3':>7} {'MRR':>6}")
    for kind in KINDS:
        print(f"{kind:<10} {by_kind[kind].cells()}")
    print(f"{'numeric':<10} {numeric.cells()}")
    print(f"{'overall':<10} {overall.cells()}")
    print(f"{'read forms':<10} {read.cells()}")
    print(f"\n{'top-1 by source':<60} {'n':>4} {'top-1':>7}")
    for source in sorted(by_source, key=lambda s: (by_source[s].top1 / by_source[s].n, s)):
        tally = by_source[source]
        print(f"{source[:60]:<60} {tally.n:>4} {100 * tally.top1 / tally.n:>6.1f}%")
    if misses:
        print(f"\nfirst {misses} values not ranked first (value, true family, first reading):")
        for t, first in missed[:misses]:
            print(f"  {t.value[:60]:<60} {t.family:<22} {first}")


COLUMN_SHARE = 0.9


def measure_columns(identify_column: Callable[[list[str]], Any], truths: list[Truth], by: str) -> None:
    """A source's values go in as one column; the answer counts when its first
    family is the true family, or reads at least 90 % of the column's values
    correctly (extended readings)."""
    groups: dict[str, list[Truth]] = defaultdict(list)
    for t in truths:
        groups[t.source].append(t)
    hits = 0
    print(f"\n== column (correct by {by}): identify_column over each source's values")
    for source, members in sorted(groups.items()):
        answer = identify_column([t.value for t in members])
        ranked = answer if isinstance(answer, list) else answer.get("readings", []) if isinstance(answer, dict) else []
        first = ranked[0].get("format_id") if ranked and isinstance(ranked[0], dict) else None
        ok = first == members[0].family
        share = 1.0 if ok else 0.0
        if not ok and first is not None and by == "instant":
            share = sum(any(r["format_id"] == first and correct(r, t, by) for r in read_extended(t.value))
                        for t in members) / len(members)
            ok = share >= COLUMN_SHARE
        hits += ok
        print(f"  {'ok ' if ok else 'MISS'} {source[:60]:<60} first={first} reads {100 * share:.0f}%")
    print(f"column top-1: {hits}/{len(groups)} = {100 * hits / len(groups):.1f}%")


def load_hints(path: Path) -> dict[str, str]:
    if not path.exists():
        return {}
    with open(path, newline="") as fh:
        return {r["source"]: r["hint"] for r in csv.DictReader(fh, delimiter="\t", quoting=csv.QUOTE_NONE)}


def measure_context(truths: list[Truth], hints: Mapping[str, str], by: str, misses: int) -> None:
    """Numeric values read alone, with their source's hint, and with the
    source's other values as neighbours."""
    groups: dict[str, list[Truth]] = defaultdict(list)
    for t in truths:
        groups[t.source].append(t)
    numeric = [t for t in truths if t.kind in NUMERIC_KINDS]
    alone, hinted, neighboured = Tally(), Tally(), Tally()
    hint_worse, neighbour_worse, no_hint = 0, 0, 0
    missed: list[tuple[Truth, str]] = []
    for t in numeric:
        base = rank_of(epochsift.identify(t.value, extended=True), t, by)
        alone.add(base)
        hint = hints.get(t.source)
        if hint is None:
            no_hint += 1
        readings = epochsift.identify(t.value, extended=True, hint=hint) if hint else epochsift.identify(
            t.value, extended=True)
        rank = rank_of(readings, t, by)
        hinted.add(rank)
        if rank != 1:
            missed.append((t, readings[0]["format_id"] if readings else "(none)"))
        hint_worse += (rank or 10**6) > (base or 10**6)
        # Neighbours are integers: a decimal value is read alone.
        others = [o.value for o in groups[t.source] if o is not t] if t.kind == "integer" else []
        near = rank_of(epochsift.identify(t.value, extended=True, neighbours=others), t, by) if others else base
        neighboured.add(near)
        neighbour_worse += (near or 10**6) > (base or 10**6)
    n = len(numeric)
    print(f"\n== context: numeric values (correct by {by}); {no_hint} without a hint in the hint table")
    print(f"{'':<16} {'n':>6} {'top-1':>7} {'top-3':>7} {'MRR':>6}  lower than alone")
    print(f"{'alone':<16} {alone.cells()}")
    print(f"{'with hint':<16} {hinted.cells()}  {hint_worse} ({100 * hint_worse / max(n, 1):.1f}%)")
    print(f"{'with neighbours':<16} {neighboured.cells()}  {neighbour_worse} ({100 * neighbour_worse / max(n, 1):.1f}%)")
    if misses:
        print(f"\nfirst {misses} hinted values not ranked first (value, true family, first reading, hint):")
        for t, first in missed[:misses]:
            print(f"  {t.value[:40]:<40} {t.family:<14} {first:<14} {hints.get(t.source, '')}")


CONFIDENCE_BINS = 10


def calibration_error(pairs: Sequence[tuple[float, bool]]) -> float:
    """Expected calibration error over ten equal bins of confidence: the
    mean, weighted by how many readings each bin holds, of the gap between
    the bin's mean confidence and the share of its readings that are right."""
    bins = [[0, 0.0, 0] for _ in range(CONFIDENCE_BINS)]
    for confidence, right in pairs:
        b = bins[min(int(confidence * CONFIDENCE_BINS), CONFIDENCE_BINS - 1)]
        b[0] += 1
        b[1] += confidence
        b[2] += right
    return sum(abs(total - hits) for _, total, hits in bins) / max(len(pairs), 1)


def roc_auc(pairs: Sequence[tuple[float, bool]]) -> float:
    """Area under the ROC curve: the chance that a right answer's measure is
    above a wrong one's (ties count half), by ranks."""
    ordered = sorted(pairs, key=lambda p: p[0])
    positives = sum(right for _, right in pairs)
    negatives = len(pairs) - positives
    if positives == 0 or negatives == 0:
        return float("nan")
    rank_sum, i = 0.0, 0
    while i < len(ordered):
        j = i
        while j < len(ordered) and ordered[j][0] == ordered[i][0]:
            j += 1
        mid_rank = (i + 1 + j) / 2  # ranks i+1..j share their mean
        rank_sum += mid_rank * sum(right for _, right in ordered[i:j])
        i = j
    return (rank_sum - positives * (positives + 1) / 2) / (positives * negatives)


def measure_confidence(truths: list[Truth], by: str) -> None:
    """Every value read alone (extended): is each reading's confidence
    calibrated, and does the first reading's confidence part right answers
    from wrong ones better than its score?"""
    every: list[tuple[float, bool]] = []
    first_confidence: list[tuple[float, bool]] = []
    first_score: list[tuple[float, bool]] = []
    worst_sum = 0.0
    for t in truths:
        readings = epochsift.identify(t.value, extended=True)
        if not readings:
            continue
        worst_sum = max(worst_sum, abs(sum(r["confidence"] for r in readings) - 1.0))
        for r in readings:
            every.append((r["confidence"], correct(r, t, by)))
        right = correct(readings[0], t, by)
        first_confidence.append((readings[0]["confidence"], right))
        first_score.append((readings[0]["score"], right))
    print(f"\n== confidence (correct by {by}): {len(first_score)} values read, {len(every)} readings")
    print(f"expected calibration error, every reading (ten bins): {calibration_error(every):.4f}")
    print(f"expected calibration error, first readings:          {calibration_error(first_confidence):.4f}")
    print(f"ROC AUC of the first reading, right against wrong: confidence {roc_auc(first_confidence):.4f}, "
          f"score {roc_auc(first_score):.4f}")
    print(f"largest |sum of a value's confidences - 1|: {worst_sum:.2e}")


def read_extended(value: str) -> Sequence[Mapping[str, Any]]:
    try:
        return epochsift.identify(value, extended=True)  # type: ignore[call-arg, arg-type, return-value]
    except TypeError:
        return epochsift.identify(value)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--values", type=Path, default=Path(__file__).with_name("ground_truth") / "values.tsv")
    parser.add_argument("--hints", type=Path, default=Path(__file__).with_name("ground_truth") / "hints.tsv")
    parser.add_argument("--by", choices=("instant", "family"), default="instant")
    parser.add_argument("--misses", type=int, default=0, help="list this many values not ranked first")
    args = parser.parse_args()
    truths = load(args.values)
    print(f"{len(truths)} values from {len({t.source for t in truths})} sources ({args.values})")

    measure("reference: identify(value)", epochsift.identify, truths, args.by, args.misses)

    try:
        epochsift.identify("0", extended=True)  # type: ignore[call-arg, arg-type, return-value]
    except TypeError:
        print("\n== extended: n/a (identify takes no extended=)")
    else:
        measure("extended: identify(value, extended=True)",
                lambda v: epochsift.identify(v, extended=True), truths, args.by, args.misses)  # type: ignore[call-arg, arg-type, return-value]

    identify_column = getattr(epochsift, "identify_column", None)
    if identify_column is None:
        print("\n== column: n/a (no identify_column)")
    else:
        measure_columns(identify_column, truths, args.by)

    measure_context(truths, load_hints(args.hints), args.by, args.misses)

    if "confidence" in (epochsift.identify("0", extended=True) or [{}])[0]:
        measure_confidence(truths, args.by)
    else:
        print("\n== confidence: n/a (readings carry no confidence)")


if __name__ == "__main__":
    main()

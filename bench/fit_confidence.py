#!/usr/bin/env python3
"""Fit the temperature of the readings' confidence on ground truth.

Every value of bench/ground_truth/values.tsv (the committed seed; never the
held-out one) is read alone with identify(value, extended=True). A reading's
confidence is a softmax over its value's scores (src/engine/confidence.hpp);
the temperature chosen is the one that gives the right readings of all values
the highest likelihood (the sum of the log of the confidence given to a
value's right readings), found by golden-section search. Values with no right
reading carry no information about the temperature and are left out.

Writes src/engine/confidence_model.hpp (--check: fails if it is not current).

Usage: python bench/fit_confidence.py [--values PATH] [--check]
"""

from __future__ import annotations

import argparse
import math
import sys
from pathlib import Path

import epochsift

sys.path.insert(0, str(Path(__file__).parent))
import ranking  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
MODEL = ROOT / "src" / "engine" / "confidence_model.hpp"
SPAN_TEMPERATURES = 12.0  # readings further below the best than this many temperatures weigh nothing


def confidences(scores: list[float], temperature: float) -> list[float]:
    """The engine's model, written again from its description."""
    if not scores:
        return []
    best = max(scores)
    weights = [math.exp((s - best) / temperature) if s >= best - SPAN_TEMPERATURES * temperature else 0.0
               for s in scores]
    total = sum(weights)
    return [w / total for w in weights]


def samples(path: Path) -> list[tuple[list[float], list[bool]]]:
    out = []
    for truth in ranking.load(path):
        readings = epochsift.identify(truth.value, extended=True)
        out.append(([r["score"] for r in readings], [ranking.correct(r, truth, "instant") for r in readings]))
    return out


def negative_log_likelihood(data: list[tuple[list[float], list[bool]]], temperature: float) -> float:
    total = 0.0
    for scores, right in data:
        if not any(right):
            continue
        share = sum(c for c, ok in zip(confidences(scores, temperature), right) if ok)
        total -= math.log(max(share, 1e-300))
    return total


def fit(data: list[tuple[list[float], list[bool]]], low: float = 0.002, high: float = 0.2) -> float:
    """Golden-section search of the likelihood, in log temperature."""
    a, b = math.log(low), math.log(high)
    ratio = (math.sqrt(5) - 1) / 2
    c, d = b - ratio * (b - a), a + ratio * (b - a)
    fc, fd = negative_log_likelihood(data, math.exp(c)), negative_log_likelihood(data, math.exp(d))
    while b - a > 1e-4:
        if fc < fd:
            b, d, fd = d, c, fc
            c = b - ratio * (b - a)
            fc = negative_log_likelihood(data, math.exp(c))
        else:
            a, c, fc = c, d, fd
            d = a + ratio * (b - a)
            fd = negative_log_likelihood(data, math.exp(d))
    return math.exp((a + b) / 2)


def header(temperature: float, values: Path, count: int) -> str:
    return f"""// Written by bench/fit_confidence.py; do not edit. The temperature comes
// from data: it is the one under which the right readings of the {count}
// values of {values.as_posix()} (values made by third-party tools) get the
// highest likelihood, each value read alone in the extended reading.
#pragma once

namespace epochsift {{

inline constexpr double CONFIDENCE_TEMPERATURE = {temperature:.4f};
static_assert(CONFIDENCE_TEMPERATURE > 0.0, "a softmax needs a positive temperature");

}}  // namespace epochsift
"""


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--values", type=Path, default=Path(__file__).with_name("ground_truth") / "values.tsv")
    parser.add_argument("--check", action="store_true", help="fail when the written model is not current")
    args = parser.parse_args()
    data = samples(args.values)
    temperature = fit(data)
    text = header(temperature, args.values.resolve().relative_to(ROOT), len(data))
    print(f"temperature {temperature:.4f} over {len(data)} values; "
          f"negative log-likelihood {negative_log_likelihood(data, temperature):.2f}")
    if args.check:
        if not MODEL.exists() or MODEL.read_text() != text:
            sys.exit(f"{MODEL} is not current: run python bench/fit_confidence.py")
        return
    MODEL.write_text(text)
    print(f"wrote {MODEL}")


if __name__ == "__main__":
    main()

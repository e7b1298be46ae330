#!/usr/bin/env python3
"""The million-call memory check of bench/leak_check.py, run over the
benchmark corpus (bench/corpus.tsv) instead of its own short list.

    PYTHONPATH=<dir holding epochsift.abi3.so> python3 bench/memory.py [--calls N]

Resident memory must grow by less than 2 MB after warm-up, and no input's
reference count may move; exits non-zero otherwise.
"""
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import leak_check  # noqa: E402

leak_check.CORPUS[:] = [line.split("\t", 2)[2] for line in (HERE / "corpus.tsv").read_text(encoding="utf-8").splitlines()]

if __name__ == "__main__":
    sys.exit(leak_check.main())

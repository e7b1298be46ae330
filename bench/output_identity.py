"""Record identify_json / identify over a fixed set of inputs, to compare builds.

    python3 bench/output_identity.py record OUT.tsv   # one line per input
    python3 bench/output_identity.py record-extended OUT.tsv   # the same with extended=True
    python3 bench/output_identity.py compare A.tsv B.tsv

Run `record` with the old build installed and again with the new one, then
`compare`: any input whose output differs is printed with both outputs.
The inputs are bench/corpus.tsv, the fuzz seeds, and at least 100,000 values
generated from a fixed seed: integers spread over every magnitude (so every
family's range and edges are crossed), decimals, and the string forms with
their mutations (characters replaced, dropped, duplicated, truncated).
"""

import hashlib
import json
import pathlib
import random
import sys

HERE = pathlib.Path(__file__).resolve().parent


def generated_inputs(count=100_000, seed=20261206):
    rng = random.Random(seed)
    strings = [
        "2024-05-01T12:00:00+02:00", "2024-05-01T12:00:00.123456789Z", "20240501T120000Z",
        "+002024-05-01T12:00:00Z[Europe/Berlin][u-ca=gregory]", "2024-W18-3", "2024-122",
        "240501120000Z", "20240501120000.5Z", "20240501120000", "240501120000",
        "01HX5ZZKBKACTAV9WEVGEMMVRZ", "c232ab00-9414-11ec-b3c8-9f6bdeced846",
        "1ec9414c-232a-6b00-b3c8-9e6bdeced846", "018f2c9a-7a10-7cc3-98c4-dc0c0c07398f",
        "507f1f77bcf86cd799439011", "Wj9qZfmOBdjH0PEPyPmXyAc", "10/Oct/2000:13:55:36 -0700",
        "D:20240501120000+02'00'", "D:20240501120000Z", "20240501120000.000000+060",
        "Wed, 01 May 2024 12:00:00 +0200", "Tue, 1 May 24 12:00 EST (comment (nested))",
        "2024:05:01 12:00:00", "eyJhbGciOiJub25lIn0.eyJpYXQiOjE3MDAwMDAwMDAsImV4cCI6MTcwMDAwMzYwMH0.",
        "1700000000", "-1", "0", "1.5e9", "45000.5", "nan", "-inf", "  1700000000\u3000",
        "", "x", "0x6817855a",
    ]
    alphabet = "0123456789abcdefABCDEFZT:+-.,/ []()=\u00a0\u2028é\x00"
    out = []
    for i in range(count):
        kind = i % 5
        if kind == 0:
            bits = rng.randint(1, 64)
            n = rng.getrandbits(bits)
            out.append(str(-n if rng.random() < 0.2 else n))
        elif kind == 1:
            n = rng.getrandbits(rng.randint(1, 70))
            out.append(str(n) if rng.random() < 0.9 else str(n).zfill(rng.randint(1, 25)))
        elif kind == 2:
            mant = rng.uniform(-1e12, 1e12) * 10 ** rng.randint(-12, 8)
            out.append(rng.choice([repr(mant), "%.6f" % mant, "%e" % mant, "%.3f" % (mant % 100000)]))
        else:
            s = list(rng.choice(strings))
            for _ in range(rng.randint(0, 3)):
                op = rng.randint(0, 3)
                pos = rng.randint(0, max(len(s) - 1, 0))
                if op == 0 and s:
                    s[pos] = rng.choice(alphabet)
                elif op == 1 and s:
                    del s[pos]
                elif op == 2 and s:
                    s.insert(pos, s[pos])
                else:
                    s = s[: rng.randint(0, len(s))]
            out.append("".join(s))
    return out


def all_inputs():
    values = []
    for line in (HERE / "corpus.tsv").read_text(encoding="utf-8").splitlines():
        parts = line.split("\t")
        if len(parts) >= 3:
            values.append(parts[2])
    for seed in sorted((HERE.parent / "fuzz" / "seeds").iterdir()):
        values.append(seed.read_bytes().decode("utf-8", "surrogateescape"))
    values.extend(generated_inputs())
    return values


def record(path, **options):
    import epochsift

    with open(path, "w", encoding="utf-8") as out:
        for value in all_inputs():
            try:
                text = epochsift.identify_json(value, **options)
                objects = epochsift.identify(value, **options)
                check = hashlib.sha256(repr(objects).encode("utf-8", "surrogatepass")).hexdigest()[:16]
            except Exception as error:  # noqa: BLE001 - recorded, compared like output
                text, check = "error: %s" % type(error).__name__, "-"
            out.write(json.dumps(value) + "\t" + check + "\t" + text + "\n")


def compare(a, b):
    left = pathlib.Path(a).read_text(encoding="utf-8").splitlines()
    right = pathlib.Path(b).read_text(encoding="utf-8").splitlines()
    if len(left) != len(right):
        print("different input counts: %d and %d" % (len(left), len(right)))
        return 1
    differing = [(x, y) for x, y in zip(left, right) if x != y]
    for x, y in differing[:10]:
        print("- " + x[:400])
        print("+ " + y[:400])
    print("%d inputs, %d differ" % (len(left), len(differing)))
    return 1 if differing else 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "record":
        record(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "record-extended":
        record(sys.argv[2], extended=True)
    elif len(sys.argv) == 4 and sys.argv[1] == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(__doc__)

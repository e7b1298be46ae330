"""Record identify_json / identify over a fixed set of inputs, to compare builds.

    python3 bench/output_identity.py record OUT.tsv   # one line per input
    python3 bench/output_identity.py record-extended OUT.tsv   # the same with extended=True
    python3 bench/output_identity.py compare A.tsv B.tsv
    python3 bench/output_identity.py record-all DIR [--cli PATH] [--only PART,...]   # every surface, one file each
    python3 bench/output_identity.py compare-all A_DIR B_DIR

Run `record` with the old build installed and again with the new one, then
`compare`: any input whose output differs is printed with both outputs.
`record-all` writes, besides those two files, the options (hint, width,
byte order, neighbours, window, zones, best), identify_bytes,
identify_column, encode, and the command line's JSON Lines, CSV, verdict,
by-column and table output; the command line is PATH, or the `epochsift`
beside the running Python; `--only` records some of the parts (reference,
extended, options, bytes, columns, encode, cli), so that they can run side
by side. `compare-all` compares every file of the two folders and prints
one count line per file.
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
    left = pathlib.Path(a).read_text(encoding="utf-8", errors="surrogateescape").splitlines()
    right = pathlib.Path(b).read_text(encoding="utf-8", errors="surrogateescape").splitlines()
    if len(left) != len(right):
        print("different input counts: %d and %d" % (len(left), len(right)))
        return 1
    differing = [(x, y) for x, y in zip(left, right) if x != y]
    for x, y in differing[:10]:
        print("- " + x[:400])
        print("+ " + y[:400])
    print("%d inputs, %d differ" % (len(left), len(differing)))
    return 1 if differing else 0


# Option sets over a tenth of the inputs: each context option alone, in
# both readings, then the zones, which a reading sees after ranking.
OPTION_SETS = [
    {"extended": True, "hint": "ntfs"},
    {"extended": True, "hint": "chrome history"},
    {"hint": "unix"},
    {"extended": True, "byte_width": 4},
    {"byte_width": 8, "byte_order": "little"},
    {"extended": True, "byte_order": "big"},
    {"extended": True, "neighbours": [1699999000, 1700000000, 1700001000]},
    {"neighbours": ["100", "200"]},
    {"window": ("2000-01-01T00:00:00Z", "2010-01-01T00:00:00Z")},
    {"extended": True, "window": (0, 1_000_000_000_000_000_000)},
    {"tz": "Europe/Berlin"},
    {"extended": True, "tz": "+05:30"},
    {"local_zone": "America/New_York"},
    {"extended": True, "tz": "Asia/Tokyo", "local_zone": "Europe/London"},
    {"extended": True, "local_zone": "Australia/Lord_Howe", "hint": "fat"},
]


def _line(value, text):
    """The input, and its output's digest, length and opening: enough to find
    a difference, and a rerun of that input shows it whole."""
    digest = hashlib.sha256(text.encode("utf-8", "surrogatepass")).hexdigest()[:20]
    return "%s\t%s %d\t%s\n" % (json.dumps(value), digest, len(text), text[:160].replace("\n", "\\n"))


def _call(fn, *args, **options):
    try:
        return json.dumps(fn(*args, **options), sort_keys=True, default=repr)
    except Exception as error:  # noqa: BLE001 - recorded, compared like output
        return "error: %s: %s" % (type(error).__name__, error)


def record_options(path, values):
    import epochsift

    with open(path, "w", encoding="utf-8") as out:
        for index, options in enumerate(OPTION_SETS):
            subset = values[index::10]
            for value in subset:
                out.write(_line([value, repr(options)], _call(epochsift.identify_json, value, **options)))
                out.write(_line([value, repr(options)], _call(epochsift.identify, value, **options)))
            chunk = subset[:2000]
            for best in (None, 1, 3):
                out.write(_line(["many", best, repr(options)], _call(epochsift.identify_many, chunk, threads=2, best=best, **options)))


def record_bytes(path, rng):
    import epochsift

    with open(path, "w", encoding="utf-8") as out:
        for _ in range(20_000):
            data = bytes(rng.getrandbits(8) for _ in range(rng.choice([1, 2, 4, 4, 8, 8, 8, 12, 16])))
            for options in ({}, {"byte_order": "little"}, {"byte_order": "big", "hint": "ntfs"},
                            {"window": (0, 2_000_000_000_000_000_000)}):
                out.write(_line([data.hex(), repr(options)], _call(epochsift.identify_bytes, data, **options)))


def column_groups(values, rng):
    groups = [values[i:i + 8] for i in range(0, 40_000, 8)]
    for _ in range(1_500):
        start = rng.randint(0, 2**40)
        step = rng.choice([1, 60, 3600, 86400, 2**16, 2**32])
        kind = rng.randint(0, 3)
        numbers = [start + k * step * rng.randint(1, 3) for k in range(rng.randint(1, 12))]
        if kind == 0:
            groups.append([str(n) for n in numbers])
        elif kind == 1:
            groups.append([n.to_bytes(8, "little").hex() for n in numbers])
        elif kind == 2:
            groups.append([(n & 0xFFFFFFFF).to_bytes(4, "big").hex(" ") for n in numbers])
        else:
            groups.append([str(n * 1000) for n in numbers] + ["junk", ""])
    groups.append(["879858441", "1033337335", "942846917", "980263022"])
    return groups


def record_columns(path, values, rng):
    import epochsift

    with open(path, "w", encoding="utf-8") as out:
        for group in column_groups(values, rng):
            for options in ({}, {"hint": "fat"}, {"byte_order": "little", "byte_width": 8},
                            {"window": ("1990-01-01T00:00:00Z", "2030-01-01T00:00:00Z")}):
                out.write(_line([group, repr(options)], _call(epochsift.identify_column, group, **options)))


def record_encode(path, rng):
    import datetime
    import epochsift

    whens = [0, -1, 1, 1_700_000_000_123_456_789, -62_135_596_800_000_000_000, 253_402_300_799_999_999_999,
             "2024-05-01T12:00:00+02:00", "1601-01-01T00:00:00Z", "1969-12-31T23:59:59.999999999Z",
             "2016-12-31T23:59:60Z", "not a time", "",
             datetime.datetime(2024, 2, 29, 12, 0, tzinfo=datetime.timezone.utc)]
    whens += [rng.randint(-2**70, 2**70) for _ in range(300)]
    whens += [rng.randint(-2**63, 2**63) for _ in range(1500)]
    whens += [rng.randint(0, 2_000_000_000) * 10**9 + rng.choice([0, 0, 500_000_000, rng.randint(0, 10**9 - 1)])
              for _ in range(1500)]
    with open(path, "w", encoding="utf-8") as out:
        for when in whens:
            out.write(_line(repr(when), _call(epochsift.encode, when)))
            out.write(_line(repr(when), _call(epochsift.encode, when, families=["unix", "filetime", "fat", "nope"])))


def _run(cli, arguments, stdin_text=None):
    import subprocess

    done = subprocess.run([cli, *arguments], input=stdin_text, capture_output=True, text=True,
                          encoding="utf-8", errors="surrogateescape", env={"LC_ALL": "C.UTF-8", "TZ": "UTC"})
    return "exit %d\n%s\n--- stderr\n%s" % (done.returncode, done.stdout, done.stderr)


def record_cli(folder, values, rng, cli):
    lines = [v for v in values[::20] if "\n" not in v and "\r" not in v and "\x00" not in v]
    text = "\n".join(lines) + "\n"
    numbers = "\n".join(str(rng.randint(0, 2**40)) for _ in range(3000)) + "\n"
    csv_text = "".join("%d,%s,x\n" % (i, v.replace(",", ";")) for i, v in enumerate(lines[:5000]))
    runs = {
        "cli_batch": (["--batch"], text),
        "cli_batch_reference": (["--batch", "--reference"], text),
        "cli_batch_options": (["--batch", "--hint", "ntfs", "--width", "8", "--endian", "little", "--tz", "Europe/Berlin",
                               "--local-zone", "America/New_York"], text),
        "cli_best": (["--batch", "--best", "3"], text),
        "cli_best_window": (["--batch", "--best", "2", "--window", "2000-01-01T00:00:00Z..2030-01-01T00:00:00Z"], text),
        "cli_column": (["--batch", "--column", "2", "--best", "2"], csv_text),
        "cli_infer": (["--batch", "--infer"], numbers),
        "cli_infer_column": (["--batch", "--infer", "--column", "2"], csv_text),
        "cli_by_column": (["--batch", "--by-column"], numbers),
    }
    # --by-column --best 1 rows, where the column's format is read alone:
    # seconds, milliseconds and FILETIMEs mixed with integers of every magnitude.
    mixed = random.Random(19)
    for unit, scale, offset in (("seconds", 1, 0), ("ms", 1000, 0), ("filetime", 10_000_000, 116_444_736_000_000_000)):
        column = [str(offset + mixed.randrange(946_684_800, 1_893_456_000) * scale + mixed.randrange(scale))
                  for _ in range(9000)]
        column += [str(mixed.getrandbits(1 + i % 63) * (-1 if i % 7 == 0 else 1)) for i in range(1000)]
        mixed.shuffle(column)
        column_text = "\n".join(column) + "\n"
        runs["cli_by_column_best_" + unit] = (["--batch", "--by-column", "--best", "1"], column_text)
        runs["cli_by_column_best_reference_" + unit] = (["--batch", "--by-column", "--best", "1", "--reference"],
                                                        column_text)
        runs["cli_by_column_best_window_" + unit] = (["--batch", "--by-column", "--best", "1", "--window",
                                                      "2000-01-01T00:00:00Z..2030-01-01T00:00:00Z"], column_text)
    for name, (arguments, stdin_text) in runs.items():
        (folder / (name + ".txt")).write_text(_run(cli, arguments, stdin_text), encoding="utf-8", errors="surrogateescape")
    table_values = [v for v in lines[:1500] if v and not v.startswith("-")]
    with open(folder / "cli_table.txt", "w", encoding="utf-8", errors="surrogateescape") as out:
        for i in range(0, len(table_values), 50):
            chunk = table_values[i:i + 50]
            for arguments in ([], ["--all", "--notes"], ["--reference", "--json"], ["--tz", "+05:30", "--all"]):
                out.write(_line([chunk[0], arguments], _run(cli, [*arguments, "--", *chunk])))
        for arguments in (["--hex", "6817855a", "00 00 01 8b 1c 2d 3e 4f", "aa:bb", "0x1234", "zz"],
                          ["--hex", "--all", "--notes", "01d9b3a0c0ffee00"],
                          ["--encode", "2024-05-01T12:00:00Z"], ["--encode", "0"], ["--encode", "1700000000123456789"],
                          ["--encode", "2024-05-01T12:00:00Z", "--tz", "Europe/Berlin"],
                          ["--encode", "bad"], ["--width", "99", "1"], ["--window", "x", "1"], ["--best"], []):
            out.write(_line(arguments, _run(cli, arguments)))


PARTS = ("reference", "extended", "options", "bytes", "columns", "encode", "cli")


def record_all(folder, cli=None, parts=PARTS):
    """Every part, or the named ones (parts may run as separate processes)."""
    import shutil

    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    if cli is None:
        cli = str(pathlib.Path(sys.executable).parent / "epochsift")
        if not pathlib.Path(cli).exists():
            cli = shutil.which("epochsift")
    values = all_inputs()
    if "reference" in parts:
        record(folder / "reference.tsv")
    if "extended" in parts:
        record(folder / "extended.tsv", extended=True)
    if "options" in parts:
        record_options(folder / "options.tsv", values)
    if "bytes" in parts:
        record_bytes(folder / "bytes.tsv", random.Random(7))
    if "columns" in parts:
        record_columns(folder / "columns.tsv", values, random.Random(11))
    if "encode" in parts:
        record_encode(folder / "encode.tsv", random.Random(13))
    if "cli" in parts:
        record_cli(folder, values, random.Random(17), cli)


def compare_all(a, b):
    left, right = pathlib.Path(a), pathlib.Path(b)
    names = sorted({p.name for p in left.iterdir()} | {p.name for p in right.iterdir()})
    status = 0
    for name in names:
        if not (left / name).exists() or not (right / name).exists():
            print("%s: only in one folder" % name)
            status = 1
            continue
        print("== " + name)
        status |= compare(left / name, right / name)
    return status


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "record":
        record(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "record-extended":
        record(sys.argv[2], extended=True)
    elif len(sys.argv) >= 3 and sys.argv[1] == "record-all":
        flags = dict(zip(sys.argv[3::2], sys.argv[4::2]))
        record_all(sys.argv[2], flags.get("--cli"), tuple(flags.get("--only", ",".join(PARTS)).split(",")))
    elif len(sys.argv) == 4 and sys.argv[1] == "compare-all":
        sys.exit(compare_all(sys.argv[2], sys.argv[3]))
    elif len(sys.argv) == 4 and sys.argv[1] == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(__doc__)

"""Columns: the first K readings of each value, integer columns, decoding by
the column's verdict, and byte sequences of decimal digits."""

import datetime
import random
import sys
import pathlib

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import epochsift

pa = pytest.importorskip("pyarrow")

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "bench"))
from output_identity import generated_inputs  # noqa: E402  the output-identity set


def _rows(readings):
    table = pa.table(readings)
    return table.to_pylist()


def _key(reading):
    return (reading["format_id"], reading["rendered"], reading["score"])


# --- best=K is the first K of the full ranking -------------------------------

@pytest.fixture(scope="module")
def identity_values():
    # Every tenth of the output-identity set keeps its mix (integers of every
    # magnitude, decimals, mutated string forms) in a few seconds.
    values = generated_inputs()[::10]
    values += ["0", "-1", "1", "100", "4294967295", "1700000000", "1700000000000", "133444736000000000"]
    return [v for v in values if "\x00" not in v]


@pytest.mark.parametrize("extended", [False, True])
@pytest.mark.parametrize("best", [1, 2, 3])
def test_best_k_equals_the_first_k_of_every_reading(identity_values, extended, best):
    column = pa.array(identity_values)
    got = {}
    for r in _rows(epochsift.identify_arrow(column, best=best, extended=extended, threads=1)):
        got.setdefault(r["row"], []).append((r["rank"], _key(r)))
    everything = epochsift.identify_many(identity_values, extended=extended, threads=1)
    differing = []
    for i, readings in enumerate(everything):
        want = [(k + 1, _key(r)) for k, r in enumerate(readings[:best])]
        if got.get(i, []) != want:
            differing.append(identity_values[i])
    assert differing == []


# --- integer columns read as the texts of their values -----------------------
# An integer column is read from its values, each one's decimal text made
# only where a reading takes text; the same values given as a text column
# are read through the text path, and every row must come out the same.

def _integer_column_values(seed, count=300):
    # Unix seconds (so a verdict reads most of the column and the rest falls
    # back), junk of every magnitude, both signs, int64's extremes and nulls.
    rng = random.Random(seed)
    values = [rng.randrange(946_684_800, 1_893_456_000) for _ in range(count)]
    values += [rng.randrange(0, 2 ** rng.randrange(1, 64)) * rng.choice([1, 1, -1]) for _ in range(count // 5)]
    values += [0, -1, 1, 2**63 - 1, -(2**63), None, None]
    rng.shuffle(values)
    return values


def _as_text_column(values):
    return pa.array([None if v is None else str(v) for v in values], pa.string())


WINDOW = ("2000-01-01T00:00:00Z", "2030-01-01T00:00:00Z")
# Each path a column's rows take: every reading, the first K, the verdict's
# (from the column or named: a family read by its scores, a float family
# and a string form read from the text), the fallback, zones.
INTEGER_COLUMN_MODES = {
    "every reading": {"best": 100, "extended": False},
    "best 1 reference": {"best": 1, "extended": False},
    "best 3 extended": {"best": 3, "extended": True},
    "keep empty": {"best": 1, "keep_empty": True},
    "window and hint": {"best": 2, "window": WINDOW, "hint": "windows registry"},
    "byte width and order": {"best": 1, "extended": False, "byte_width": 8, "byte_order": "little"},
    "by column": {"by_column": True},
    "by column reference, windowed": {"by_column": True, "extended": False, "window": WINDOW},
    "by column named": {"by_column": "filetime", "best": 2},
    "by column of a float family": {"by_column": "ole"},
    "by column of a string form": {"by_column": "asn1_utctime", "extended": False},
    "zones": {"best": 2, "tz": "Europe/Berlin"},
    "zones by column": {"by_column": True, "tz": "America/New_York", "keep_empty": True},
}


@pytest.mark.parametrize("mode", list(INTEGER_COLUMN_MODES))
@pytest.mark.parametrize("kind", [pa.int64(), pa.uint64()])
def test_an_integer_column_reads_as_its_decimal_text(kind, mode):
    values = _integer_column_values(seed=3)
    if kind == pa.uint64():
        # Above INT64_MAX too: no int64 holds them, their texts are read.
        values = [None if v is None else v % 2**64 for v in values]
    options = INTEGER_COLUMN_MODES[mode]
    as_int = _rows(epochsift.identify_arrow(pa.array(values, kind), threads=2, **options))
    as_text = _rows(epochsift.identify_arrow(_as_text_column(values), threads=2, **options))
    assert as_int == as_text


# Every width, wrapped as producers hand columns over.
INTEGER_KINDS = [(pa.int8(), -(2**7), 2**7), (pa.uint8(), 0, 2**8), (pa.int16(), -(2**15), 2**15),
                 (pa.uint16(), 0, 2**16), (pa.int32(), -(2**31), 2**31), (pa.uint32(), 0, 2**32),
                 (pa.int64(), -(2**63), 2**63), (pa.uint64(), 0, 2**64)]


def _wrapped(array, how, cut):
    if how == "sliced":
        return array.slice(cut)
    if how == "chunked":
        return pa.chunked_array([array.slice(0, cut), array.slice(cut, 0), array.slice(cut)], array.type)
    if how == "record batch":
        return pa.RecordBatch.from_arrays([array], names=["value"])
    if how == "struct with nulls":
        mask = pa.array([i % 7 == 3 for i in range(len(array))], pa.bool_())
        return pa.StructArray.from_arrays([array], names=["value"], mask=mask).slice(cut)
    return array


def _values_of(wrapped):
    if isinstance(wrapped, pa.RecordBatch):
        return wrapped.column(0).to_pylist()
    return [None if v is None else v["value"] if isinstance(v, dict) else v for v in wrapped.to_pylist()]


@settings(max_examples=60, deadline=None)
@given(st.sampled_from(INTEGER_KINDS).flatmap(
           lambda k: st.tuples(st.just(k[0]), st.lists(st.one_of(st.none(), st.integers(k[1], k[2] - 1)), max_size=80))),
       st.sampled_from(["plain", "sliced", "chunked", "record batch", "struct with nulls"]),
       st.integers(0, 80), st.sampled_from(list(INTEGER_COLUMN_MODES)))
def test_integer_columns_of_every_width_and_wrapping_read_as_their_texts(kind_and_values, how, cut, mode):
    kind, values = kind_and_values
    column = _wrapped(pa.array(values, kind), how, min(cut, len(values)))
    options = INTEGER_COLUMN_MODES[mode]
    as_int = _rows(epochsift.identify_arrow(column, threads=2, **options))
    as_text = _rows(epochsift.identify_arrow(_as_text_column(_values_of(column)), threads=2, **options))
    assert as_int == as_text


# --- decoding by the column's verdict ----------------------------------------

FILETIME_1970 = 116_444_736_000_000_000


def _columns():
    rng = random.Random(11)
    seconds = [rng.randrange(946_684_800, 1_893_456_000) for _ in range(400)]
    return {
        "unix text": [str(s) for s in seconds],
        "filetime int64": pa.array([FILETIME_1970 + s * 10_000_000 + rng.randrange(10**7) for s in seconds]),
        "fat words": ["879858441", "1033337335", "942846917", "980263022"],
        "iso text": [datetime.datetime.fromtimestamp(s, datetime.timezone.utc).isoformat() for s in seconds[:50]],
        "mixed": [str(s) for s in seconds[:40]] + ["not a time", None, "0x65540000", "2024-05-01T12:00:00Z", "-5",
                                                   " 1700000000 ", "\t1600000000"],  # padding, read as identify reads it
    }


# The context the caller gives reaches the verdict's reading as it does the full one.
CONTEXTS = {"none": {}, "window and hint": {"window": ("2010-01-01T00:00:00Z", "2020-01-01T00:00:00Z"),
                                              "hint": "windows registry"}}


@pytest.mark.parametrize("name", list(_columns()))
@pytest.mark.parametrize("extended", [False, True])
@pytest.mark.parametrize("context", list(CONTEXTS))
def test_by_column_gives_the_verdicts_reading_of_every_value(name, extended, context):
    options = CONTEXTS[context]
    values = _columns()[name]
    column = values if isinstance(values, pa.Array) else pa.array(values)
    texts = [None if v is None else str(v) for v in column.to_pylist()]
    verdict = epochsift.identify_column([t for t in texts if t is not None], **options)[0]["format_id"]
    rows = _rows(epochsift.identify_arrow(column, by_column=True, extended=extended, threads=1, **options))
    by_row = {}
    for r in rows:
        by_row.setdefault(r["row"], []).append(r)
    for i, text in enumerate(texts):
        if text is None:
            assert i not in by_row
            continue
        full = epochsift.identify(text, extended=extended, **options)
        own = [r for r in full if r["format_id"] == verdict]
        if own:
            # The format's reading as the full reading lists it, alone.
            assert [(r["path"], _key(r)) for r in by_row[i]] == [("verdict", _key(own[0]))], text
        elif full:
            assert [(r["path"], _key(r)) for r in by_row[i]] == [("full", _key(full[0]))], text
        else:
            assert i not in by_row, text


def _integers_of_every_magnitude(count=500, seed=29):
    # Spread over every power of two, so each family's range and edges are
    # crossed, with a few negatives and the markers of unset fields.
    rng = random.Random(seed)
    values = [rng.randrange(0, 2 ** rng.randrange(1, 64)) for _ in range(count)]
    values += [-v for v in values[:40]] + [0, -1, 2**63 - 1, -(2**63)]
    return values


def _outside_int64(instant):
    # An Arrow timestamp column holds int64 nanoseconds: null past them.
    return not -(2**63) <= instant < 2**63


def _by_column_differences(values, extended, kind, threads):
    texts = [str(v) for v in values]
    column = pa.array(values, pa.int64()) if kind == "int64" else pa.array(texts)
    full = [epochsift.identify(t, extended=extended) for t in texts]
    # Every format the full readings name, numeric families and the string
    # forms digits can take alike.
    formats = sorted({r["format_id"] for readings in full for r in readings})
    differing = []
    for format_id in formats:
        rows = _rows(epochsift.identify_arrow(column, by_column=format_id, extended=extended, threads=threads))
        by_row = {}
        for r in rows:
            by_row.setdefault(r["row"], []).append((r["path"], _key(r), r["instant"] is None))
        for i, readings in enumerate(full):
            own = [r for r in readings if r["format_id"] == format_id]
            if own:
                want = [("verdict", _key(own[0]), _outside_int64(own[0]["instant"]))]
            elif readings:
                want = [("full", _key(readings[0]), _outside_int64(readings[0]["instant"]))]
            else:
                want = []
            if by_row.get(i, []) != want:
                differing.append((format_id, texts[i]))
    return formats, differing


@pytest.mark.parametrize("extended", [False, True])
@pytest.mark.parametrize("kind", ["text", "int64"])
def test_by_column_of_every_family_equals_its_full_reading(extended, kind):
    formats, differing = _by_column_differences(_integers_of_every_magnitude(), extended, kind, threads=2)
    assert len(formats) > (40 if extended else 25)
    assert differing == []


@pytest.mark.parametrize("extended", [False, True])
def test_by_column_scores_values_alike_but_for_their_digits_as_the_full_reading(extended):
    # A column read by one family gives values whose instants sit alike
    # (in the family's window, in the usual years) one score again: values
    # of the widths the families use, each also rounded to 10^k (trailing
    # zeros weigh in granularity and resolution), with their sequence bits
    # cleared and set (an identifier's), and the markers of unset fields, in
    # one chunk, must still each get the full reading's score.
    rng = random.Random(11)
    values = []
    for digits in (9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19):
        for _ in range(12):
            v = rng.randrange(10 ** (digits - 1), min(10**digits, 2**63))
            values += [v - v % 10**k for k in range(digits - 1)]
            values += [v & ~0xFFF, v | 0xFFF, v & ~0x3FFFFF]
    values += [0, -1, 2**31 - 1, 2**32 - 1, 2**63 - 1, 0x7FFFFFFFFFFFFFFF & ~0xFFFF]
    _, differing = _by_column_differences(values, extended, "text", threads=1)
    assert differing == []


def test_by_column_names_a_format_and_rejects_unknown_ones():
    rows = _rows(epochsift.identify_arrow(pa.array(["1700000000"]), by_column="unix_ms"))
    assert [(r["format_id"], r["rendered"], r["path"]) for r in rows] == [("unix_ms", "1970-01-20T16:13:20Z", "verdict")]
    with pytest.raises(ValueError, match="unknown format id"):
        epochsift.identify_arrow(pa.array(["1"]), by_column="no_such_format")
    with pytest.raises(TypeError):
        epochsift.identify_arrow(pa.array(["1"]), by_column=3)
    # Without by_column there is no path field.
    assert "path" not in pa.table(epochsift.identify_arrow(pa.array(["1700000000"]))).column_names


def test_by_column_keeps_empty_rows_lined_up():
    column = pa.array(["1700000000", None, "nothing", "1700000001"])
    rows = _rows(epochsift.identify_arrow(column, by_column=True, keep_empty=True))
    assert [(r["row"], r["format_id"], r["path"]) for r in rows] == [
        (0, "unix", "verdict"), (1, None, None), (2, None, None), (3, "unix", "verdict")]


# --- byte sequences of decimal digits ----------------------------------------

def _bcd(digits):
    """Two decimal digits a byte, the first in the high nibble (packed BCD)."""
    return bytes(int(digits[i]) << 4 | int(digits[i + 1]) for i in range(0, len(digits), 2))


def _semi_octets(digits):
    """3GPP TS 23.040 §9.2.3.11: each octet holds two digits, the first in
    bits 0-3 and the second in bits 4-7."""
    return bytes(int(digits[i + 1]) << 4 | int(digits[i]) for i in range(0, len(digits), 2))


@pytest.mark.parametrize("format_id, layout", [("bcd", _bcd), ("semioctet", _semi_octets)])
@pytest.mark.parametrize("when", ["2023-11-14T22:13:20Z", "2000-01-01T00:00:00Z", "2099-12-31T23:59:59Z",
                                  "2016-02-29T12:34:56Z"])
def test_digit_bytes_read_back_as_their_layout(format_id, layout, when):
    instant = datetime.datetime.fromisoformat(when.replace("Z", "+00:00"))
    data = layout(instant.strftime("%y%m%d%H%M%S"))
    encoded = next(e for e in epochsift.encode(when) if e["format_id"] == format_id)
    # The encoder writes the layout's own bytes, and no byte order applies.
    assert (encoded["hex_be"], encoded["hex_le"]) == (data.hex(), None)
    for order in (None, "big", "little"):
        readings = [r for r in epochsift.identify_bytes(data, byte_order=order) if r["format_id"] == format_id]
        assert [r["rendered"] for r in readings] == [when], order
        assert "decimal digits" in readings[0]["assumptions"][-1]


@pytest.mark.parametrize("data", [bytes.fromhex("1a1114221320"), bytes.fromhex("2311142213f0"), bytes(10)])
def test_bytes_that_are_not_digit_pairs_have_no_digit_reading(data):
    assert not [r for r in epochsift.identify_bytes(data) if r["format_id"] in ("bcd", "semioctet")]


# --- the command line's --by-column --best 1 ---------------------------------

def _by_column_cases():
    rng = random.Random(21)
    seconds = [str(rng.randrange(946_684_800, 1_893_456_000)) for _ in range(300)]
    filetimes = [str(FILETIME_1970 + int(s) * 10**7 + rng.randrange(10**7)) for s in seconds]
    odd = ["0", "-1", "not a time", "2024-05-01T12:00:00Z", "1700000000000", "0x65540000"]
    return {"unix": seconds + odd, "filetime": filetimes + odd,
            "fat": ["879858441", "1033337335", "942846917", "980263022", "1700000000", "12"]}


@pytest.mark.parametrize("name", list(_by_column_cases()))
@pytest.mark.parametrize("flags", [[], ["--reference"], ["--window", "2010..2020"], ["--hint", "chrome"]])
def test_cli_by_column_best_1_rows_are_the_formats_reading_with_its_full_rank(tmp_path, name, flags):
    import csv
    import json
    import subprocess
    from command_line import find_cli

    cli = find_cli()
    if cli is None:
        pytest.skip("no epochsift command line built")
    values = _by_column_cases()[name]
    path = tmp_path / "column.txt"
    path.write_text("\n".join(values) + "\n")
    done = subprocess.run([cli, "--batch", "--by-column", "--best", "1", *flags, str(path)],
                          capture_output=True, text=True, check=True)
    rows = list(csv.DictReader(done.stdout.splitlines()))
    assert [r["value"] for r in rows] == values
    # The column's format from --infer, each value's readings from --json:
    # the user-visible answers of the full reading.
    infer = subprocess.run([cli, "--batch", "--infer", "--json", *flags, str(path)], capture_output=True, text=True)
    verdict = json.loads(infer.stdout)[0]["format_id"]
    full = [json.loads(line) for line in
            subprocess.run([cli, "--json", *flags, "--", *values], capture_output=True, text=True, check=True).stdout.splitlines()]
    for value, row, readings in zip(values, rows, full):
        ranked = [(k + 1, r) for k, r in enumerate(readings) if r["format_id"] == verdict]
        rank, want = ranked[0] if ranked else (1, readings[0] if readings else None)
        if want is None:
            assert (row["rank"], row["format_id"]) == ("", ""), value
            continue
        assert (int(row["rank"]), row["format_id"], row["rendered"], float(row["score"])) == (
            rank, want["format_id"], want["rendered"] or "", want["score"]), value


def test_cli_by_column_of_a_long_column_is_the_same_on_one_thread_two_and_a_pipe(tmp_path):
    import csv
    import json
    import subprocess
    from command_line import find_cli

    cli = find_cli()
    if cli is None:
        pytest.skip("no epochsift command line built")
    # Longer than the 65,536 values a verdict weighs one by one: it comes
    # from values spread through the column. Its first third is in
    # milliseconds, the rest in seconds: the column's first values alone
    # would name milliseconds.
    rng = random.Random(31)
    values = [str(rng.randrange(946_684_800_000, 1_893_456_000_000)) for _ in range(50_000)]
    values += [str(rng.randrange(946_684_800, 1_893_456_000)) for _ in range(100_000)]
    values[::4999] = ["not a time"] * len(values[::4999])
    path = tmp_path / "column.txt"
    path.write_text("\n".join(values) + "\n")
    command = [cli, "--batch", "--by-column", "--best", "1"]
    one = subprocess.run([*command, "--threads", "1", str(path)], capture_output=True, check=True)
    two = subprocess.run([*command, "--threads", "2", str(path)], capture_output=True, check=True)
    piped = subprocess.run([*command, "--threads", "2"], input=path.read_bytes(), capture_output=True, check=True)
    assert one.stdout == two.stdout == piped.stdout
    infer = subprocess.run([cli, "--batch", "--infer", "--json", str(path)], capture_output=True, text=True)
    verdict = json.loads(infer.stdout)[0]["format_id"]
    rows = list(csv.DictReader(one.stdout.decode().splitlines()))
    assert [r["value"] for r in rows] == values
    assert verdict == "unix"
    assert {r["format_id"] for r in rows[50_000:] if r["value"] != "not a time"} == {verdict}
    assert {(r["rank"], r["format_id"]) for r in rows if r["value"] == "not a time"} == {("", "")}

"""The page's engine gives the native module's answers: the WebAssembly
module, run under wasmtime, returns byte-identical JSON to epochsift's
identify_json over bench/corpus.tsv and the output-identity set (a spread
of 12,000 of its inputs; WEB_IDENTITY_ALL=1 reads every one), reference and
extended; and its other functions agree with the module's."""

import json
import os
import pathlib
import sys

import pytest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parents[1] / "bench"))

epochsift = pytest.importorskip("epochsift")
pytest.importorskip("wasmtime")
import output_identity  # noqa: E402
from wasm_host import WASM, EngineError, WasmEngine  # noqa: E402

pytestmark = pytest.mark.skipif(not WASM.exists(), reason="build the page first: bash scripts/build_web.sh")

SPREAD = 12_000


@pytest.fixture(scope="module")
def wasm():
    return WasmEngine()


def utf8_values(values):
    """The values a str-taking module can be given: text that is UTF-8."""
    out = []
    for value in values:
        try:
            value.encode("utf-8")
        except UnicodeEncodeError:
            continue
        out.append(value)
    return out


def corpus_values():
    lines = (HERE.parents[1] / "bench" / "corpus.tsv").read_text(encoding="utf-8").splitlines()
    return [parts[2] for parts in (line.split("\t") for line in lines) if len(parts) >= 3]


def identity_values():
    values = utf8_values(output_identity.all_inputs())
    if os.environ.get("WEB_IDENTITY_ALL") == "1":
        return values
    step = max(1, len(values) // SPREAD)
    return values[::step]


def differing(wasm, values, **options):
    out = []
    for value in values:
        if wasm.identify_json(value, **options) != epochsift.identify_json(value, **options):
            out.append(value)
    return out


@pytest.mark.parametrize("extended", [False, True], ids=["reference", "extended"])
@pytest.mark.parametrize("source", [corpus_values, identity_values], ids=["corpus", "identity-set"])
def test_identify_json_is_byte_identical(wasm, source, extended):
    values = source()
    assert len(values) >= (300 if source is corpus_values else 10_000)
    options = {"extended": True} if extended else {}
    bad = differing(wasm, values, **options)
    print("%s %s: %d inputs, %d differ" % (source.__name__, "extended" if extended else "reference", len(values), len(bad)))
    assert bad == [], bad[:5]


# The caller's evidence goes through the same option names as the module's.
@pytest.mark.parametrize("value, options", [
    ("1700000000", {"hint": "$MFT record", "byte_width": 8, "byte_order": "little"}),
    ("133444736000000000", {"hint": "registry LastWrite", "extended": True}),
    ("1700000000", {"neighbours": [1699999000, 1700000500], "extended": True}),
    ("1700000000", {"window": ["2000-01-01T00:00:00Z", "2010-01-01T00:00:00+01:00"]}),
    ("1700000000", {"window": [946684800000000000, 1262304000000000000], "extended": True}),
])
def test_options_give_the_modules_answer(wasm, value, options):
    native = dict(options)
    if "window" in native:
        native["window"] = tuple(native["window"])
    assert wasm.identify_json(value, **options) == epochsift.identify_json(value, **native)


def test_best_keeps_the_first_readings(wasm):
    full = json.loads(epochsift.identify_json("1700000000", extended=True))
    assert json.loads(wasm.identify_json("1700000000", extended=True, best=3)) == full[:3]


@pytest.mark.parametrize("text, data, order", [
    ("6817855a", bytes.fromhex("6817855a"), None),
    ("00 00 01 8b 9c 1d 2e 3f", bytes.fromhex("0000018b9c1d2e3f"), "big"),
    ("0x5a851768", bytes.fromhex("5a851768"), "little"),
    ("01020304", bytes.fromhex("01020304"), None),  # digits alone are bytes here
])
def test_hex_reads_as_identify_bytes(wasm, text, data, order):
    options = {"byte_order": order} if order else {}
    assert json.loads(wasm.identify_hex(text, **options)) == epochsift.identify_bytes(data, **options)


def test_lines_give_each_lines_best_reading(wasm):
    values = corpus_values()[::7] + ["", "nothing here", "2024-05-01T12:00:00+02:00"]
    rows = json.loads(wasm.identify_lines("".join(v + "\r\n" for v in values), extended=True))
    assert len(rows) == len(values)
    for value, row in zip(values, rows):
        readings = epochsift.identify(value, extended=True)
        if not readings:
            assert row is None, value
            continue
        best = readings[0]
        assert row == [best["format_id"], best["label"], best["rendered"], str(best["instant"]), best["score"]], value


def without_score(verdict):
    return {key: value for key, value in verdict.items() if key != "score"}


@pytest.mark.parametrize("values", [
    ["879858441", "1033337335", "942846917", "980263022"],
    [str(1_600_000_000 + 3_600 * i) for i in range(500)],
    ["%016x" % (133_000_000_000_000_000 + 10_000_000 * i) for i in range(200)],
    corpus_values(),
], ids=["fat", "unix-hourly", "filetime-hex", "corpus"])
def test_column_read_in_pieces_gives_the_modules_verdicts(wasm, values):
    # A score is exp of a sum of logs: the last bits of log and exp differ
    # between C libraries (WASI's against glibc), and a column read in pieces
    # sums in another order. Near, then; the rest exactly.
    native = epochsift.identify_column(values)
    for pieces in (1, 7):
        got = json.loads(wasm.identify_column(values, pieces=pieces))
        assert [without_score(v) for v in got] == [without_score(v) for v in native], pieces
        for mine, theirs in zip(got, native):
            assert mine["score"] == pytest.approx(theirs["score"], rel=1e-9, abs=1e-300), mine["format_id"]


@pytest.mark.parametrize("when", ["1700000000000000000", "2024-05-01T12:00:00.123456789+02:00", "1601-01-01T00:00:00Z",
                                  "0001-01-01T00:00:00Z"])
def test_encode_gives_the_modules_values(wasm, when):
    assert json.loads(wasm.encode(when)) == epochsift.encode(int(when) if when.isdigit() else when)
    assert json.loads(wasm.encode(when, families=["unix", "filetime"])) == epochsift.encode(
        int(when) if when.isdigit() else when, families=["unix", "filetime"])


# Faults come back as a status and a message, never as a trap.
@pytest.mark.parametrize("call, args, status", [
    ("identify_json", ("1", ), None),
    ("identify_json", ("1", ), {"extended": "yes"}),
    ("identify_json", ("1", ), {"byte_width": 17}),
    ("identify_json", ("1", ), {"byte_width": 1.5}),
    ("identify_json", ("1", ), {"byte_order": "middle"}),
    ("identify_json", ("1", ), {"window": ["2024-01-01T00:00:00Z"]}),
    ("identify_json", ("1", ), {"window": ["2025-01-01T00:00:00Z", "2024-01-01T00:00:00Z"]}),
    ("identify_json", ("1", ), {"window": ["2024-01-01", "2025-01-01T00:00:00Z"]}),  # no time, no offset
    ("identify_json", ("1", ), {"best": 0}),
    ("identify_json", ("1", ), {"neighbours": [2 ** 63]}),
    ("identify_json", ("1", ), {"families": ["unix"]}),  # an encode option
    ("identify_json", ("1", ), {"extendd": True}),
    ("encode", ("1", ), {"families": ["no-such-family"]}),
    ("encode", ("1", ), {"families": []}),
])
def test_bad_options_are_refused(wasm, call, args, status):
    options = status
    if options is None:
        with pytest.raises(EngineError) as caught:
            wasm.answer("epochsift_identify", "1", "[1, 2]")
    else:
        with pytest.raises(EngineError) as caught:
            getattr(wasm, call)(*args, **options)
    assert caught.value.status == 2


@pytest.mark.parametrize("call, text, status", [
    ("identify_hex", "not hex", 1),
    ("identify_hex", "00" * 17, 1),
    ("identify_hex", "", 1),
    ("encode", "yesterday", 3),
    ("encode", "10000-01-01T00:00:00Z", 3),
])
def test_bad_values_are_refused(wasm, call, text, status):
    with pytest.raises(EngineError) as caught:
        getattr(wasm, call)(text)
    assert caught.value.status == status


def test_the_module_asks_the_host_for_nothing_it_should_not_use(wasm):
    # No file, clock, randomness or environment: only what libc needs to
    # start and to write a message before it stops.
    allowed = {"fd_close", "fd_write", "fd_seek", "fd_fdstat_get", "proc_exit", "environ_get", "environ_sizes_get"}
    modules = {module for module, _ in wasm.imports}
    names = {name for _, name in wasm.imports}
    assert modules <= {"wasi_snapshot_preview1"}
    assert names <= allowed, names - allowed


def test_column_ids_are_checked(wasm):
    for ident in (0, 12345, 2 ** 32 - 1):
        assert wasm.call("epochsift_column_add", ident, 0, 0) == 1
        assert wasm.call("epochsift_column_close", ident) == 1

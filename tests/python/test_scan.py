"""Blob scanning: scan(), scan_arrow() and `epochsift --scan`.

Ground truth comes from real tools (Python's zipfile and sqlite3, gzip, and
mkfs.ext4, mkntfs, mkfs.fat, text2pcap when installed) through the small
readers of bench/scan_truth/make_truth.py, or from the committed blobs of
bench/scan_truth/seed1.tar.xz; planted values are encoded here from the
formats' documents, never by epochsift.
"""
import datetime as dt
import importlib.util
import io
import json
import mmap
import plistlib
import random
import struct
import subprocess
import sys
import tarfile
import zipfile
from pathlib import Path

import pytest
from hypothesis import given, settings, strategies as st

epochsift = pytest.importorskip("epochsift")

ROOT = Path(__file__).resolve().parents[2]
TRUTH = ROOT / "bench" / "scan_truth"

spec = importlib.util.spec_from_file_location("make_truth", TRUTH / "make_truth.py")
make_truth = importlib.util.module_from_spec(spec)
spec.loader.exec_module(make_truth)

FIELDS = ["offset", "width", "order", "format_id", "label", "instant", "rendered", "confidence", "record", "local",
          "evidence"]
FILETIME_1970 = 11644473600  # seconds from 1601-01-01 to 1970-01-01 ([MS-DTYP] 2.3.3)


def finds(hit, offset, width, instant):
    inside = hit["offset"] >= offset and hit["offset"] + hit["width"] <= offset + width
    return (inside or hit["offset"] == offset) and abs(hit["instant"] - instant) < 10**9


def recall(hits, rows):
    return sum(any(finds(h, o, w, i) for h in hits) for o, w, i in rows) / len(rows)


@pytest.fixture(scope="module")
def committed(tmp_path_factory):
    """The committed blobs made by real tools, and their truth rows by file."""
    folder = tmp_path_factory.mktemp("truth")
    with tarfile.open(TRUTH / "seed1.tar.xz") as archive:
        archive.extractall(folder)
    rows = {}
    with open(folder / "truth.csv") as f:
        next(f)
        for line in f:
            name, offset, width, _fmt, instant = line.strip().split(",")
            rows.setdefault(name, []).append((int(offset), int(width), int(instant)))
    return folder, rows


# Every true timestamp of every committed blob is among the raw hits.
def test_committed_blobs_raw_recall(committed):
    folder, rows = committed
    for name, truth in rows.items():
        hits = epochsift.scan((folder / name).read_bytes(), all=True)
        assert recall(hits, truth) == 1.0, name


# The blobs whose records hold several times (file systems, databases) are
# mostly shown at the default threshold.
@pytest.mark.parametrize("name, least", [("ntfs.img", 0.95), ("events.sqlite", 0.9), ("ext4.img", 0.75),
                                         ("text2pcap.pcap", 0.7), ("binary.plist", 1.0)])
def test_committed_blobs_shown_recall(committed, name, least):
    folder, rows = committed
    hits = epochsift.scan((folder / name).read_bytes())
    assert recall(hits, rows[name]) >= least


# Made now by Python's own writers, offsets from the documented layouts.
def test_zipfile_dos_times(tmp_path):
    rng = random.Random(5)
    moments = make_truth.random_instants(rng, 4)
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for i, m in enumerate(moments):
            archive.writestr(zipfile.ZipInfo("f%d" % i, m.timetuple()[:6]), b"x" * i)
    data = buffer.getvalue()
    truth = [(o, w, i) for _, o, w, _, i in make_truth.zip_truth("z", data)]
    assert len(truth) == 8  # a local and a central copy of each
    assert recall(epochsift.scan(data, all=True), truth) == 1.0


def test_sqlite_event_log(tmp_path):
    rows = make_truth.make_sqlite(str(tmp_path), random.Random(3), str(tmp_path))
    data = (tmp_path / "events.sqlite").read_bytes()
    truth = [(o, w, i) for _, o, w, _, i in rows]
    assert recall(epochsift.scan(data, all=True), truth) == 1.0
    assert recall(epochsift.scan(data), truth) >= 0.9


def plist_dates(data, start=0):
    """(offset, 8, instant) of each date object of the binary plist at
    `start`, read as CFBinaryPList lays it out: the trailer's offset table,
    then a 0x33 marker before a big-endian float64 of seconds since 2001."""
    offset_size, _ref, count, _top, table = struct.unpack(">6xBBQQQ", data[len(data) - 32:])
    cocoa = int(dt.datetime(2001, 1, 1, tzinfo=dt.timezone.utc).timestamp())
    dates = []
    for k in range(count):
        at = start + int.from_bytes(data[start + table + k * offset_size:start + table + (k + 1) * offset_size], "big")
        if data[at] == 0x33:
            seconds, = struct.unpack_from(">d", data, at + 1)
            dates.append((at + 1, 8, (cocoa + round(seconds)) * 10**9))
    return dates


# Python's plistlib writes the list, alone or inside other bytes: every
# date is shown, and no other reading of a date's bytes.
@settings(max_examples=25, deadline=None)
@given(seed=st.integers(0, 2**32), count=st.integers(1, 12), before=st.integers(0, 3000), after=st.integers(0, 3000))
def test_plistlib_dates_shown(seed, count, before, after):
    rng = random.Random(seed)
    # (plistlib writes equal dates once)
    moments = [m.replace(microsecond=0, tzinfo=None) for m in make_truth.random_instants(rng, count + 1, whole=False)]
    document = {"items": [{"name": "item %d" % i, "when": m, "size": rng.randrange(1 << 20)}
                          for i, m in enumerate(moments[:count])], "created": moments[count]}
    plist = plistlib.dumps(document, fmt=plistlib.FMT_BINARY)
    data = rng.randbytes(before) + plist + rng.randbytes(after)
    truth = plist_dates(data[:before + len(plist)], before)
    assert len(truth) == count + 1
    hits = epochsift.scan(data)
    assert recall(hits, truth) == 1.0
    for o, w, i in truth:
        overlapping = [h for h in hits if h["offset"] < o + w and o < h["offset"] + h["width"]]
        assert all(finds(h, o, w, i) for h in overlapping), overlapping


# A date marker and its float with no list around them, or a list whose
# offset table does not name the date's marker, is no more than a marker.
@pytest.mark.parametrize("damage", ["no header", "table moved", "marker not listed"])
def test_plist_structure_required(damage):
    rng = random.Random(7)
    moments = [m.replace(microsecond=0, tzinfo=None) for m in make_truth.random_instants(rng, 3, whole=False)]
    plist = bytearray(plistlib.dumps({"a": moments[0], "b": moments[1], "c": moments[2]}, fmt=plistlib.FMT_BINARY))
    truth = plist_dates(bytes(plist))
    assert recall(epochsift.scan(bytes(plist)), truth) == 1.0
    offset_size, _ref, count, _top, table = struct.unpack(">6xBBQQQ", plist[-32:])
    if damage == "no header":
        plist[0:8] = b"cplist00"
    elif damage == "table moved":
        plist[-8:] = struct.pack(">Q", table - 1)
    else:  # each date's entry now names the float's first byte
        for k in range(count):
            at = table + k * offset_size
            entry = int.from_bytes(plist[at:at + offset_size], "big")
            if plist[entry] == 0x33:
                plist[at:at + offset_size] = (entry + 1).to_bytes(offset_size, "big")
    assert recall(epochsift.scan(bytes(plist)), truth) == 0.0


@pytest.mark.parametrize("maker", ["make_ext4", "make_ntfs", "make_fat", "make_pcap", "make_gzips"])
def test_tool_blobs_when_installed(tmp_path, maker):
    out = tmp_path / "out"
    out.mkdir()
    try:
        rows = getattr(make_truth, maker)(str(out), random.Random(11), str(tmp_path))
    except (FileNotFoundError, subprocess.CalledProcessError) as fault:
        pytest.skip("tool unavailable: %s" % fault)
    if not rows:
        pytest.skip("tool not installed")
    by_file = {}
    for name, o, w, _, i in rows:
        by_file.setdefault(name, []).append((o, w, i))
    for name, truth in by_file.items():
        assert recall(epochsift.scan((out / name).read_bytes(), all=True), truth) == 1.0, name


# Any FILETIME or Unix time written at any offset into random bytes is
# among the raw hits, with its instant.
@settings(max_examples=60, deadline=None)
@given(seed=st.integers(0, 2**32), seconds=st.integers(788918400, 2051222400), little=st.booleans(),
       kind=st.sampled_from(["filetime", "unix"]), size=st.integers(16, 600), where=st.floats(0, 1))
def test_planted_times_are_raw_hits(seed, seconds, little, kind, size, where):
    blob = bytearray(random.Random(seed).randbytes(size))
    order = "<" if little else ">"
    if kind == "filetime":
        field = struct.pack(order + "Q", (seconds + FILETIME_1970) * 10**7 + seed % 10**7)
        instant = seconds * 10**9 + (seed % 10**7) * 100
    else:
        field = struct.pack(order + "I", seconds)
        instant = seconds * 10**9
    at = int(where * (size - len(field)))
    blob[at:at + len(field)] = field
    hits = epochsift.scan(bytes(blob), all=True)
    assert any(h["offset"] == at and h["format_id"] == kind and h["instant"] == instant for h in hits)


def quadruplets(count=6, seed=1):
    """NTFS-like: four FILETIMEs side by side every 1024 bytes of random bytes."""
    rng = random.Random(seed)
    blob = bytearray(rng.randbytes(1024 * (count + 1)))
    base = 1_600_000_000
    planted = []
    for k in range(count):
        at = 1024 * k + 0x50
        base += rng.randrange(1, 10**5)
        for i in range(4):
            value = (base + FILETIME_1970 + i) * 10**7 + rng.randrange(10**7)
            blob[at + 8 * i:at + 8 * i + 8] = struct.pack("<Q", value)
            planted.append((at + 8 * i, 8, (value - FILETIME_1970 * 10**7) * 100))
    return bytes(blob), planted


def test_hit_shape_and_records():
    blob, planted = quadruplets()
    hits = epochsift.scan(blob)
    assert recall(hits, planted) == 1.0
    for h in hits:
        assert list(h) == FIELDS
        assert h["rendered"] == dt.datetime.fromtimestamp(h["instant"] // 10**9, dt.timezone.utc).strftime(
            "%Y-%m-%dT%H:%M:%S") + h["rendered"][19:]
        assert 0.5 <= h["confidence"] <= 1.0
        assert [name for name, _ in h["evidence"]] == ["high_bytes", "prior", "alignment", "neighbours", "stride",
                                                       "text", "era", "structure"]
    by_offset = {h["offset"]: h for h in hits}
    for o, _, _ in planted:
        assert by_offset[o]["record"] == o - (o - 0x50) % 1024  # four side by side make one record
    assert [h["offset"] for h in hits] == sorted(h["offset"] for h in hits)


def test_best_keeps_the_most_confident():
    blob, _ = quadruplets()
    every = epochsift.scan(blob)
    best = epochsift.scan(blob, best=3)
    assert len(best) == 3
    assert [h["confidence"] for h in best] == sorted((h["confidence"] for h in every), reverse=True)[:3]


def test_window_widths_formats():
    blob, planted = quadruplets()
    first = planted[0][2]
    narrow = epochsift.scan(blob, window=(first - 10**9, first + 10**9), all=True)
    assert narrow and all(first - 10**9 <= h["instant"] < first + 10**9 for h in narrow)
    assert {h["width"] for h in epochsift.scan(blob, widths=[4], all=True)} <= {4}
    assert {h["format_id"] for h in epochsift.scan(blob, formats=["filetime"], all=True)} == {"filetime"}
    # The reference families only: no binary records.
    assert not any(h["order"] is None for h in epochsift.scan(blob, extended=False, all=True))


@pytest.mark.parametrize("wrap", [bytes, bytearray, memoryview])
def test_buffers_read_alike(wrap):
    blob, _ = quadruplets()
    assert epochsift.scan(wrap(blob)) == epochsift.scan(blob)


def test_mmap(tmp_path):
    blob, _ = quadruplets()
    path = tmp_path / "blob.bin"
    path.write_bytes(blob)
    with open(path, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as m:
        assert epochsift.scan(m) == epochsift.scan(blob)


@pytest.mark.parametrize("kwargs, error", [
    ({"formats": ["no_such"]}, ValueError),
    ({"formats": "filetime"}, TypeError),
    ({"widths": [3]}, ValueError),
    ({"widths": [0]}, ValueError),
    ({"best": 0}, ValueError),
    ({"threads": "2"}, TypeError),
    ({"window": (5, 1)}, ValueError),
])
def test_bad_arguments(kwargs, error):
    with pytest.raises(error):
        epochsift.scan(b"\0" * 64, **kwargs)


def test_not_bytes():
    with pytest.raises(TypeError):
        epochsift.scan("text")
    assert epochsift.scan(b"") == []


def test_threads_change_nothing():
    rng = random.Random(9)
    blob = bytearray(rng.randbytes(3 << 20))
    _, planted = quadruplets()
    quad, _ = quadruplets(seed=4)
    blob[(1 << 20) - 2000:(1 << 20) - 2000 + len(quad)] = quad  # across a chunk boundary
    assert epochsift.scan(bytes(blob), threads=1) == epochsift.scan(bytes(blob), threads=4)


pa = pytest.importorskip("pyarrow") if importlib.util.find_spec("pyarrow") else None


@pytest.mark.skipif(pa is None, reason="pyarrow is not installed")
def test_scan_arrow_matches_scan():
    blob, _ = quadruplets()
    table = pa.table(epochsift.scan_arrow(blob))
    dicts = epochsift.scan(blob)
    assert table.column_names == FIELDS[:-1]
    assert str(table.schema.field("instant").type) == "timestamp[ns, tz=UTC]"
    assert len(epochsift.scan_arrow(blob)) == len(dicts)
    rows = table.to_pylist()
    for row, hit in zip(rows, dicts):
        for name in FIELDS[:-1]:
            value = row[name]
            if name == "instant":
                value = hit["instant"] if value is None else int(pa.scalar(value, pa.timestamp("ns", "UTC")).value)
            assert value == hit[name], name
    assert pa.table(epochsift.scan_arrow(b"")).num_rows == 0

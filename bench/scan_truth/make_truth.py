"""Blobs made by real tools, and where their timestamps are.

Every blob is written by the tool that owns its format (Info-ZIP zip and
Python's zipfile, gzip, text2pcap, SQLite, plistlib, mkfs.ext4 -d,
mkntfs + ntfscp, mkfs.fat + mcopy); each timestamp's offset comes from a
small reader of the format's documented layout written here, and its
instant from the tool's own reader or from the times we gave the tool
(touch -d), checked against each other where both exist. Nothing here
calls epochsift.

    python3 bench/scan_truth/make_truth.py OUT_DIR [--seed N]

writes the blobs and OUT_DIR/truth.csv (file,offset,width,format,instant_ns).
A blob whose tool is missing is skipped with a note on stderr.
"""
import argparse
import csv
import datetime as dt
import gzip as gzip_module
import os
import plistlib
import random
import shutil
import sqlite3
import struct
import subprocess
import sys
import tempfile
import zipfile

UTC = dt.timezone.utc
EPOCH = dt.datetime(1970, 1, 1, tzinfo=UTC)
ENV = dict(os.environ, TZ="UTC", LC_ALL="C")


def ns(moment):
    delta = moment - EPOCH
    return (delta.days * 86400 + delta.seconds) * 10**9 + delta.microseconds * 1000


def random_instants(rng, count, start=2005, end=2025, whole=True):
    lo = ns(dt.datetime(start, 1, 1, tzinfo=UTC)) // 10**9
    hi = ns(dt.datetime(end, 1, 1, tzinfo=UTC)) // 10**9
    out = []
    for _ in range(count):
        second = rng.randrange(lo, hi)
        if whole:
            second -= second % 2  # DOS times hold even seconds
            out.append(dt.datetime.fromtimestamp(second, UTC))
        else:
            out.append(dt.datetime.fromtimestamp(second, UTC).replace(microsecond=rng.randrange(1, 1000) * 1000))
    return out


def run(*argv, cwd=None):
    return subprocess.run(argv, check=True, capture_output=True, text=True, env=ENV, cwd=cwd).stdout


def have(tool):
    return shutil.which(tool) is not None or os.path.exists("/usr/sbin/" + tool) or os.path.exists("/sbin/" + tool)


def tool(name):
    for folder in ("", "/usr/sbin/", "/sbin/"):
        path = shutil.which(name) if not folder else folder + name
        if path and os.path.exists(path):
            return path
    raise FileNotFoundError(name)


def make_files(folder, rng, count):
    """Files with known modification and access times (touch -d)."""
    os.makedirs(folder, exist_ok=True)
    made = []
    for i, moment in enumerate(random_instants(rng, count)):
        path = os.path.join(folder, "f%02d.txt" % i)
        with open(path, "w") as f:
            f.write("file %d\n" % i * rng.randrange(1, 20))
        stamp = moment.strftime("%Y-%m-%d %H:%M:%S")
        run("touch", "-d", stamp + " UTC", path)
        made.append((path, moment))
    return made


def dos_instant(date_word, time_word):
    return dt.datetime(1980 + (date_word >> 9), date_word >> 5 & 15, date_word & 31,
                       time_word >> 11, time_word >> 5 & 63, 2 * (time_word & 31), tzinfo=UTC)


# ZIP (PKWARE APPNOTE 4.3.7, 4.3.12, 4.5.5 extended timestamp 0x5455)
def zip_truth(name, data):
    rows = []
    eocd = data.rfind(b"PK\x05\x06")
    entries, = struct.unpack_from("<H", data, eocd + 10)
    central, = struct.unpack_from("<I", data, eocd + 16)
    at = central
    for _ in range(entries):
        assert data[at:at + 4] == b"PK\x01\x02"
        time_word, date_word = struct.unpack_from("<HH", data, at + 12)
        name_len, extra_len, comment_len = struct.unpack_from("<HHH", data, at + 28)
        local, = struct.unpack_from("<I", data, at + 42)
        rows.append((name, at + 12, 4, "fat", ns(dos_instant(date_word, time_word))))
        rows += extended_times(name, data, at + 46 + name_len, extra_len, central=True)
        assert data[local:local + 4] == b"PK\x03\x04"
        ltime, ldate = struct.unpack_from("<HH", data, local + 10)
        lname, lextra = struct.unpack_from("<HH", data, local + 26)
        rows.append((name, local + 10, 4, "fat", ns(dos_instant(ldate, ltime))))
        rows += extended_times(name, data, local + 30 + lname, lextra, central=False)
        at += 46 + name_len + extra_len + comment_len
    return rows


def extended_times(name, data, start, length, central):
    rows = []
    at = start
    while at + 4 <= start + length:
        tag, size = struct.unpack_from("<HH", data, at)
        if tag == 0x5455:
            flags = data[at + 4]
            field = at + 5
            for bit in (1, 2, 4):
                if flags & bit and field + 4 <= at + 4 + size:
                    value, = struct.unpack_from("<I", data, field)
                    rows.append((name, field, 4, "unix", value * 10**9))
                    field += 4
                if central:
                    break  # the central copy holds the modification time only
        at += 4 + size
    return rows


def make_zips(out, rng, work):
    rows = []
    files = make_files(os.path.join(work, "zipsrc"), rng, 6)
    # Python's zipfile: DOS date and time only.
    name = "python_zipfile.zip"
    with zipfile.ZipFile(os.path.join(out, name), "w") as archive:
        for path, moment in files:
            info = zipfile.ZipInfo(os.path.basename(path), moment.timetuple()[:6])
            archive.writestr(info, open(path, "rb").read())
    data = open(os.path.join(out, name), "rb").read()
    got = zip_truth(name, data)
    with zipfile.ZipFile(os.path.join(out, name)) as archive:  # the tool's own reader agrees
        told = {ns(dt.datetime(*i.date_time, tzinfo=UTC)) for i in archive.infolist()}
    assert {r[4] for r in got} == told
    rows += got
    if have("zip"):
        name = "infozip.zip"
        target = os.path.join(out, name)
        if os.path.exists(target):
            os.remove(target)
        run("zip", "-q", "-X-", target, *[os.path.basename(p) for p, _ in files], cwd=os.path.dirname(files[0][0]))
        data = open(target, "rb").read()
        got = zip_truth(name, data)
        # DOS and modification times are the files' own; the access time is
        # the one the file had when zip read it.
        expected = {ns(m) for _, m in files} | {os.stat(p).st_atime_ns // 10**9 * 10**9 for p, _ in files}
        assert {r[4] for r in got} <= expected, "Info-ZIP times differ from the files' times"
        rows += got
    else:
        print("skip: zip (Info-ZIP) not installed", file=sys.stderr)
    return rows


# gzip (RFC 1952 §2.3: MTIME at offset 4, LE)
def make_gzips(out, rng, work):
    rows = []
    if not have("gzip"):
        print("skip: gzip not installed", file=sys.stderr)
        return rows
    for i, (path, moment) in enumerate(make_files(os.path.join(work, "gzsrc"), rng, 3)):
        run("gzip", "-k", "-f", path)
        name = "gzip%d.gz" % i
        shutil.copy(path + ".gz", os.path.join(out, name))
        data = open(os.path.join(out, name), "rb").read()
        value, = struct.unpack_from("<I", data, 4)
        assert value * 10**9 == ns(moment)
        rows.append((name, 4, 4, "unix", ns(moment)))
    return rows


# pcap (pcap-savefile(5): 24-byte file header, then 16-byte record headers)
def make_pcap(out, rng, work):
    if not have("text2pcap"):
        print("skip: text2pcap not installed", file=sys.stderr)
        return []
    lines = []
    moments = sorted(random_instants(rng, 1, 2015, 2024) * 1)
    start = moments[0]
    for i in range(12):
        moment = start + dt.timedelta(seconds=rng.randrange(0, 5), microseconds=rng.randrange(0, 10**6)) * (i + 1)
        lines.append(moment.strftime("%Y-%m-%d %H:%M:%S.%f"))
        size = rng.randrange(20, 90)
        payload = bytes(rng.randrange(256) for _ in range(size))
        for at in range(0, size, 16):
            lines.append("%06x " % at + " ".join("%02x" % b for b in payload[at:at + 16]))
    source = os.path.join(work, "packets.txt")
    open(source, "w").write("\n".join(lines) + "\n")
    name = "text2pcap.pcap"
    run(tool("text2pcap"), "-q", "-F", "pcap", "-t", "%Y-%m-%d %H:%M:%S.", source, os.path.join(out, name))
    data = open(os.path.join(out, name), "rb").read()
    assert data[:4] == b"\xd4\xc3\xb2\xa1"
    rows = []
    at = 24
    stamps = [l for l in lines if not l[0:6].isalnum() or "-" in l[:5]]
    k = 0
    while at + 16 <= len(data):
        seconds, micros, caplen, _ = struct.unpack_from("<IIII", data, at)
        expected = dt.datetime.strptime(stamps[k], "%Y-%m-%d %H:%M:%S.%f").replace(tzinfo=UTC)
        assert seconds == ns(expected) // 10**9  # text2pcap keeps the second (fractions vary by version)
        rows.append((name, at, 8, "pcap", seconds * 10**9 + micros * 1000))
        at += 16 + caplen
        k += 1
    return rows


# SQLite (fileformat2: b-tree pages, record format with serial types)
def varint(data, at):
    value = 0
    for i in range(9):
        byte = data[at + i]
        if i == 8:
            return (value << 8) | byte, at + 9
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            return value, at + i + 1
    raise ValueError


SERIAL_WIDTH = {1: 1, 2: 2, 3: 3, 4: 4, 5: 6, 6: 8, 7: 8}


def sqlite_cells(data):
    page_size, = struct.unpack_from(">H", data, 16)
    page_size = 65536 if page_size == 1 else page_size
    for page in range(1, len(data) // page_size):  # page 1 holds the schema
        base = page * page_size
        header = base + (100 if page == 0 else 0)
        if data[header] != 0x0D:  # table b-tree leaf
            continue
        cells, = struct.unpack_from(">H", data, header + 3)
        for c in range(cells):
            pointer, = struct.unpack_from(">H", data, header + 8 + 2 * c)
            at = base + pointer
            _payload, at = varint(data, at)
            rowid, at = varint(data, at)
            header_size, body = varint(data, at)
            types = []
            cursor = body
            body = at + header_size
            while cursor < at + header_size:
                t, cursor = varint(data, cursor)
                types.append(t)
            columns = []
            for t in types:
                width = SERIAL_WIDTH.get(t, 0 if t in (0, 8, 9) else (t - 12) // 2 if t >= 12 else 0)
                columns.append((t, body, width))
                body += width
            yield rowid, columns


def make_sqlite(out, rng, work):
    name = "events.sqlite"
    path = os.path.join(out, name)
    if os.path.exists(path):
        os.remove(path)
    db = sqlite3.connect(path)
    db.execute("create table events (id integer primary key, note text, seen integer, seen_ms integer,"
               " seen_julian real, seen_float real)")
    # An event log: times rise by seconds to minutes from row to row.
    moments = random_instants(rng, 1, whole=False)
    for _ in range(39):
        moments.append(moments[-1] + dt.timedelta(seconds=rng.randrange(1, 900), milliseconds=rng.randrange(1, 1000)))
    for i, m in enumerate(moments):
        seconds = ns(m) // 10**9
        millis = ns(m) // 10**6
        db.execute("insert into events values (?, ?, ?, ?, julianday(?, 'unixepoch'), ?)",
                   (i + 1, "event %d" % i, seconds, millis, seconds, millis / 1000.0))
    db.commit()
    stored = {row[0]: row for row in db.execute("select id, seen, seen_ms, seen_julian, seen_float from events")}
    db.close()
    data = open(path, "rb").read()
    rows = []
    formats = {2: "unix", 3: "unix_ms", 4: "sqlite_julian", 5: "unix_float"}
    for rowid, columns in sqlite_cells(data):
        if rowid not in stored:
            continue
        for index, fmt in formats.items():
            t, at, width = columns[index]
            if fmt in ("sqlite_julian", "unix_float") and t != 7:
                continue  # a whole REAL is stored as an integer
            raw = data[at:at + width]
            if t == 7:
                value, = struct.unpack(">d", raw)
            else:
                value = int.from_bytes(raw, "big", signed=True)
            assert value == stored[rowid][index - 1], (rowid, index)  # the sqlite3 module's value
            if fmt == "unix":
                instant = value * 10**9
            elif fmt == "unix_ms":
                instant = value * 10**6
            elif fmt == "sqlite_julian":
                instant = round((value - 2440587.5) * 86400 * 1000) * 10**6
            else:
                instant = round(value * 1000) * 10**6
            rows.append((name, at, width, fmt, instant))
    return rows


# Binary property list (CFBinaryPList: trailer, offset table, 0x33 dates)
def make_plist(out, rng, work):
    moments = random_instants(rng, 8, whole=False)
    moments = [m.replace(microsecond=0) for m in moments]
    document = {"items": [{"name": "item %d" % i, "when": m.replace(tzinfo=None), "size": i * 17}
                          for i, m in enumerate(moments)]}
    data = plistlib.dumps(document, fmt=plistlib.FMT_BINARY)
    name = "binary.plist"
    open(os.path.join(out, name), "wb").write(data)
    assert [i["when"] for i in plistlib.loads(data)["items"]] == [m.replace(tzinfo=None) for m in moments]
    offset_size, ref_size, count, top, table = struct.unpack(">6xBBQQQ", data[-32:])
    rows = []
    cocoa = dt.datetime(2001, 1, 1, tzinfo=UTC)
    for k in range(count):
        at = int.from_bytes(data[table + k * offset_size:table + (k + 1) * offset_size], "big")
        if data[at] == 0x33:
            value, = struct.unpack_from(">d", data, at + 1)
            rows.append((name, at + 1, 8, "cocoa_float", ns(cocoa) + round(value * 10**9)))
    assert sorted(r[4] for r in rows) == sorted(ns(m) for m in moments)
    return rows


# ext4 (kernel ext4 inode: atime +8, ctime +12, mtime +16, crtime +0x90)
def make_ext4(out, rng, work):
    if not have("mkfs.ext4") or not have("debugfs"):
        print("skip: e2fsprogs not installed", file=sys.stderr)
        return []
    files = make_files(os.path.join(work, "ext4src"), rng, 10)
    name = "ext4.img"
    path = os.path.join(out, name)
    if os.path.exists(path):
        os.remove(path)
    made = dt.datetime(2024, 2, 3, 4, 5, 6, tzinfo=UTC)
    env_time = str(ns(made) // 10**9)
    subprocess.run([tool("mkfs.ext4"), "-q", "-F", "-b", "1024", "-I", "256", "-N", "32", "-E", "root_owner=0:0",
                    "-d", os.path.dirname(files[0][0]), path, "1024"], check=True, capture_output=True,
                   env=dict(ENV, E2FSPROGS_FAKE_TIME=env_time))
    data = open(path, "rb").read()
    rows = []
    # Every inode in use (the files, the root, lost+found, the journal):
    # its table slot from debugfs's imap, its times from debugfs's stat.
    count = int(run(tool("debugfs"), "-R", "stats", path).split("Inode count:")[1].split()[0])
    for number in range(1, count + 1):
        stat = run(tool("debugfs"), "-R", "stat <%d>" % number, path)
        told = {}
        for line in stat.splitlines():
            for key in ("atime", "ctime", "mtime", "crtime"):
                if line.strip().startswith(key + ":"):
                    told[key] = int(line.split()[1].split(":")[0], 16)
        if not told.get("ctime"):
            continue  # never used
        where = run(tool("debugfs"), "-R", "imap <%d>" % number, path)
        words = where.replace(",", " ").split()
        inode = int(words[words.index("located") + 3]) * 1024 + int(words[words.index("offset") + 1], 16)
        for key, at in (("atime", 8), ("ctime", 12), ("mtime", 16), ("crtime", 0x90)):
            value, = struct.unpack_from("<I", data, inode + at)
            assert value == told.get(key, 0), (number, key)
            if value:
                rows.append((name, inode + at, 4, "unix", value * 10**9))
    for file_path, moment in files:
        stat = run(tool("debugfs"), "-R", "stat /" + os.path.basename(file_path), path)
        assert ("mtime: 0x%08x" % (ns(moment) // 10**9)) in stat
    # The superblock's times (s_mtime, s_wtime, s_lastcheck, s_mkfs_time),
    # checked against dumpe2fs's account of them.
    header = run(tool("dumpe2fs"), "-h", path) if have("dumpe2fs") else ""
    for at in (0x2C, 0x30, 0x40, 0x108):
        value, = struct.unpack_from("<I", data, 1024 + at)
        if value:
            stamp = dt.datetime.fromtimestamp(value, UTC).strftime("%a %b %e %H:%M:%S %Y")
            assert not header or stamp in header, stamp
            rows.append((name, 1024 + at, 4, "unix", value * 10**9))
    return rows


def aligned_copies(name, data, rows):
    """Exact copies of a known timestamp field elsewhere in an image, at its
    alignment: mirrors, index entries and log records keep them."""
    known = {}
    for _, offset, width, fmt, instant in rows:
        known[data[offset:offset + width]] = (width, fmt, instant)
    taken = {r[1] for r in rows}
    out = []
    for field, (width, fmt, instant) in known.items():
        start = data.find(field)
        while start != -1:
            if start % width == 0 and start not in taken:
                out.append((name, start, width, fmt, instant))
                taken.add(start)
            start = data.find(field, start + 1)
    return out


# NTFS (MFT FILE records: attributes from +0x14; $STANDARD_INFORMATION 0x10
# and $FILE_NAME 0x30 hold four FILETIMEs each)
def make_ntfs(out, rng, work):
    if not have("mkntfs") or not have("ntfscp"):
        print("skip: ntfs-3g not installed", file=sys.stderr)
        return []
    name = "ntfs.img"
    path = os.path.join(out, name)
    with open(path, "wb") as f:
        f.truncate(4 * 1024 * 1024)
    run(tool("mkntfs"), "-q", "-F", "-f", "-s", "512", "-c", "4096", path)
    files = make_files(os.path.join(work, "ntfssrc"), rng, 5)
    for file_path, _ in files:
        run(tool("ntfscp"), "-f", path, file_path, os.path.basename(file_path))
    data = open(path, "rb").read()
    cluster = struct.unpack_from("<H", data, 11)[0] * data[13]
    mft = struct.unpack_from("<Q", data, 0x30)[0] * cluster
    rows = []
    filetime_epoch = -11644473600 * 10**9
    # The MFT's own length: the real size of record 0's non-resident $DATA
    # attribute (0x80; real size at +0x30 of its header).
    records = 0
    attr = mft + struct.unpack_from("<H", data, mft + 0x14)[0]
    while attr < mft + 1024:
        kind, length = struct.unpack_from("<II", data, attr)
        if kind == 0xFFFFFFFF or length == 0:
            break
        if kind == 0x80 and data[attr + 8] == 1:
            records = struct.unpack_from("<Q", data, attr + 0x30)[0] // 1024
            break
        attr += length
    assert records >= 16, "no $MFT $DATA attribute"
    for k in range(records):
        at = mft + k * 1024
        if data[at:at + 4] != b"FILE":
            continue
        flags, = struct.unpack_from("<H", data, at + 0x16)
        if not flags & 1:
            continue  # not in use
        attr = at + struct.unpack_from("<H", data, at + 0x14)[0]
        while attr < at + 1024:
            kind, length = struct.unpack_from("<II", data, attr)
            if kind == 0xFFFFFFFF or length == 0:
                break
            resident = data[attr + 8] == 0
            if resident and kind in (0x10, 0x30):
                content = attr + struct.unpack_from("<H", data, attr + 0x14)[0]
                first = content if kind == 0x10 else content + 8
                for i in range(4):
                    value, = struct.unpack_from("<Q", data, first + 8 * i)
                    if value == 0:
                        continue  # an unset time
                    rows.append((name, first + 8 * i, 8, "filetime", filetime_epoch + value * 100))
            attr += length
    return rows + aligned_copies(name, data, rows)


# FAT (Microsoft's fatgen103 document: 32-byte directory entries; creation
# time/date at +0x0E, write time/date at +0x16)
def make_fat(out, rng, work):
    if not have("mkfs.fat") or not have("mcopy"):
        print("skip: dosfstools or mtools not installed", file=sys.stderr)
        return []
    name = "fat.img"
    path = os.path.join(out, name)
    if os.path.exists(path):
        os.remove(path)
    run(tool("mkfs.fat"), "-C", "-i", "12345678", path, "512")
    files = make_files(os.path.join(work, "fatsrc"), rng, 8)
    for file_path, _ in files:
        run("mcopy", "-m", "-i", path, file_path, "::" + os.path.basename(file_path))
    data = open(path, "rb").read()
    sector, = struct.unpack_from("<H", data, 11)
    reserved, = struct.unpack_from("<H", data, 14)
    fats = data[16]
    root_entries, = struct.unpack_from("<H", data, 17)
    fat_sectors, = struct.unpack_from("<H", data, 22)
    root = (reserved + fats * fat_sectors) * sector
    rows = []
    expected = {os.path.basename(p).upper().replace(".TXT", ""): m for p, m in files}
    for e in range(root_entries):
        at = root + 32 * e
        if data[at] in (0, 0xE5) or data[at + 11] & 0x08 or data[at + 11] == 0x0F:
            continue
        short = data[at:at + 8].decode("ascii").strip()
        for field in (0x0E, 0x16):
            time_word, date_word = struct.unpack_from("<HH", data, at + field)
            if date_word == 0:
                continue
            rows.append((name, at + field, 4, "fat", ns(dos_instant(date_word, time_word))))
        time_word, date_word = struct.unpack_from("<HH", data, at + 0x16)
        if short in expected:
            assert ns(dos_instant(date_word, time_word)) == ns(expected[short]), short
    return rows


MAKERS = [make_zips, make_gzips, make_pcap, make_sqlite, make_plist, make_ext4, make_ntfs, make_fat]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    rng = random.Random(args.seed)
    rows = []
    with tempfile.TemporaryDirectory() as work:
        for make in MAKERS:
            try:
                rows += make(args.out, rng, work)
            except (FileNotFoundError, subprocess.CalledProcessError) as fault:
                print("skip: %s: %s" % (make.__name__, fault), file=sys.stderr)
    with open(os.path.join(args.out, "truth.csv"), "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["file", "offset", "width", "format", "instant_ns"])
        writer.writerows(sorted(rows))
    print("%d timestamps in %d files" % (len(rows), len({r[0] for r in rows})), file=sys.stderr)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Build a ground-truth table of timestamp values made by third-party tools.

Every value is printed or written by a real tool or library while its clock is
frozen at a chosen instant (libfaketime) or after a file's time was set to one
(touch -d). The chosen instant is the truth; nothing here encodes a timestamp.
Where a tool writes binary (a FAT directory entry, a ZIP header, a binary
plist, a spreadsheet's XML) the field is read back raw as its documented
layout says and written out as the text a user would paste.

Needs (installs nothing itself; a source whose tool is missing is skipped):
  apt: faketime coreutils sqlite3 nodejs openjdk-17-jdk-headless mono-runtime mono-mcs
       dosfstools mtools zip libimage-exiftool-perl git openssl chromium
  pip: uuid6 python-ulid pymongo pyjwt openpyxl xlsxwriter pillow reportlab
       snowflake-id sonyflake-py svix-ksuid gunicorn

Usage: python make.py [--seed N] [--per-runner N] [--out values.tsv]
A different seed draws other instants and time zones: a held-out set.
"""

from __future__ import annotations

import argparse
import csv
import http.server
import datetime as dt
import importlib.util
import io
import math
import os
import random
import re
import shutil
import sqlite3
import struct
import subprocess
import sys
import tempfile
import threading
import zipfile
from dataclasses import dataclass
from pathlib import Path
from typing import Callable

NS = 1_000_000_000
MS = 1_000_000
US = 1_000
DAY_NS = 86_400 * NS
# Instants are drawn from here, inside every family's plausible range.
DRAW_FROM = dt.datetime(1995, 1, 1, tzinfo=dt.timezone.utc)
DRAW_TO = dt.datetime(2035, 12, 31, tzinfo=dt.timezone.utc)
# Zones for tools that print an offset; the truth is the same instant in each.
ZONES = ["UTC", "America/New_York", "Europe/Berlin", "Asia/Kolkata", "Asia/Tokyo",
         "America/Los_Angeles", "Australia/Adelaide", "America/Sao_Paulo"]
# Zones whose date(1) abbreviation names its offset.
ABBREVIATED_ZONES = ["UTC", "America/New_York", "America/Los_Angeles", "America/Sao_Paulo"]
WHOLE_HOUR_ZONES = ["UTC", "America/New_York", "Europe/Berlin", "Asia/Tokyo", "America/Los_Angeles"]

COLUMNS = ["kind", "value", "family", "instant_ns", "tolerance_ns", "source"]


@dataclass
class Record:
    value: str
    family: str
    instant_ns: int  # truth: the frozen clock, floored to what the tool keeps
    tolerance_ns: int  # how far a correct reading may lie from instant_ns
    source: str
    hex_bytes: bool = False  # bytes a tool wrote, shown as hex: kind "hex" whatever the digits

    @property
    def kind(self) -> str:
        if self.hex_bytes:
            return "hex"
        if re.fullmatch(r"[+-]?[0-9]+", self.value):
            return "integer"
        if re.fullmatch(r"[+-]?[0-9]*\.[0-9]+([eE][+-]?[0-9]+)?|[+-]?[0-9]+[eE][+-]?[0-9]+", self.value):
            return "decimal"
        return "string"


def exact(value: str, family: str, instant_ns: int, resolution_ns: int, source: str) -> Record:
    """A value the tool truncated to its resolution."""
    return Record(value, family, instant_ns - instant_ns % resolution_ns, resolution_ns, source)


def printed_float(value: str, family: str, instant_ns: int, unit_ns: int, clock_ns: int, source: str) -> Record:
    """A float the tool computed in binary64 and printed. The truth is the
    tool's clock reading (floored to clock_ns); the tolerance is the coarsest of
    that clock, the last printed digit and two steps of a double at this size."""
    decimals = len(value.split(".")[1]) if "." in value else 0
    printed = unit_ns // 10**decimals if decimals < 15 else 1
    double_step = math.ceil(math.ulp(float(value)) * unit_ns)
    clock_floor = instant_ns - instant_ns % clock_ns
    return Record(value, family, clock_floor, max(printed, clock_ns, 2 * double_step), source)


def tool_version(argv: list[str]) -> str:
    try:
        out = subprocess.run(argv, capture_output=True, text=True, timeout=60)
    except (OSError, subprocess.TimeoutExpired):
        return "?"
    text = (out.stdout or out.stderr).strip().splitlines()
    return text[0].strip() if text else "?"


def frozen(instant_ns: int, argv: list[str], tz: str = "UTC", cwd: str | None = None,
           env: dict[str, str] | None = None) -> str:
    """Run argv with the clock frozen at instant_ns, given to libfaketime to the
    nearest microsecond (see clock_reading)."""
    seconds, micros = divmod((instant_ns + 500) // 1000, 10**6)
    full_env = dict(os.environ, TZ=tz, FAKETIME_FMT="%s", **(env or {}))
    full_env.pop("FAKETIME", None)
    out = subprocess.run(["faketime", "-f", f"{seconds}.{micros:06d}", *argv], env=full_env,
                         capture_output=True, text=True, cwd=cwd, timeout=120)
    if out.returncode != 0:
        raise RuntimeError(f"{argv[0]} failed: {out.stderr.strip()[:300]}")
    return out.stdout


def have(*commands: str) -> list[str]:
    return [c for c in commands if shutil.which(c) is None]


def have_modules(*modules: str) -> list[str]:
    return [m for m in modules if importlib.util.find_spec(m) is None]


# --- runners: each takes a list of instants (ns, whole microseconds) and
# returns records; one tool run per instant yields records of several sources.

def run_coreutils_date(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    version = tool_version(["date", "--version"]).split()[-1]
    tag = f"coreutils {version} date"
    out = []
    for t in instants:
        lines = frozen(t, ["date", "+%s%n%s%N%n%s%3N%n%G-W%V-%u%n%Y-%j"]).split()
        day = t - t % DAY_NS
        out += [exact(lines[0], "unix", t, NS, f"{tag} +%s"),
                exact(lines[1], "unix_ns", t, 1, f"{tag} +%s%N"),
                exact(lines[2], "unix_ms", t, 10**6, f"{tag} +%s%3N"),
                exact(lines[3], "iso_week", day, DAY_NS, f"{tag} +%G-W%V-%u"),
                exact(lines[4], "iso_ordinal", day, DAY_NS, f"{tag} +%Y-%j")]
        zone = rng.choice(ZONES)
        out.append(exact(frozen(t, ["date", "-R"], tz=zone).strip(), "rfc2822", t, NS, f"{tag} -R"))
        zone = rng.choice(ZONES)
        out.append(exact(frozen(t, ["date", "-Ins"], tz=zone).strip(), "iso8601", t, 1, f"{tag} -Ins"))
        # The default output names the zone by its abbreviation: only zones
        # whose abbreviation states the offset (UTC, RFC 5322's US names,
        # tzdata's numeric "-03") say which instant is meant.
        zone = rng.choice(ABBREVIATED_ZONES)
        out.append(exact(frozen(t, ["date"], tz=zone, env={"LC_ALL": "C"}).strip(), "ctime", t, NS,
                         f"{tag} (default output, C locale)"))
    return out


NODE_SCRIPT = ("const d = new Date(); console.log(Date.now()); console.log(d.toISOString()); "
               "console.log(d.toUTCString()); console.log(d.toString())")


def run_node(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    tag = f"node {tool_version(['node', '--version'])}"
    out = []
    for t in instants:
        zone = rng.choice(ZONES)
        lines = frozen(t, ["node", "-e", NODE_SCRIPT], tz=zone).splitlines()
        out += [exact(lines[0], "unix_ms", t, 10**6, f"{tag} Date.now()"),
                exact(lines[1], "iso8601", t, 10**6, f"{tag} Date.toISOString()"),
                exact(lines[2], "rfc2822", t, NS, f"{tag} Date.toUTCString()"),
                exact(lines[3], "js_date_string", t, NS, f"{tag} Date.toString()")]
    return out


JAVA_SOURCE = """
import java.time.*; import java.time.format.DateTimeFormatter; import java.time.temporal.ChronoUnit;
public class Clock { public static void main(String[] a) {
  Instant i = Instant.now();
  System.out.println(System.currentTimeMillis());
  System.out.println(i.toString());
  System.out.println(ChronoUnit.MICROS.between(Instant.EPOCH, i));
  System.out.println(i.getEpochSecond());
  System.out.println(DateTimeFormatter.RFC_1123_DATE_TIME.format(ZonedDateTime.now()));
  System.out.println(OffsetDateTime.now().toString());
}}
"""


def run_java(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    (work / "Clock.java").write_text(JAVA_SOURCE)
    subprocess.run(["javac", "Clock.java"], cwd=work, check=True)
    version = tool_version(["java", "-version"]).split('"')[1] if '"' in tool_version(["java", "-version"]) else "?"
    tag = f"java {version}"
    out = []
    for t in instants:
        zone = rng.choice(ZONES)
        lines = frozen(t, ["java", "-Xshare:auto", "-cp", str(work), "Clock"], tz=zone).splitlines()
        out += [exact(lines[0], "unix_ms", t, 10**6, f"{tag} System.currentTimeMillis()"),
                exact(lines[1], "iso8601", t, 1, f"{tag} Instant.now().toString()"),
                exact(lines[2], "unix_us", t, 1000, f"{tag} ChronoUnit.MICROS since EPOCH"),
                exact(lines[3], "unix", t, NS, f"{tag} Instant.getEpochSecond()"),
                exact(lines[4], "rfc2822", t, NS, f"{tag} RFC_1123_DATE_TIME"),
                exact(lines[5], "iso8601", t, 1, f"{tag} OffsetDateTime.now().toString()")]
    return out


CSHARP_SOURCE = """
using System; using System.Globalization;
class Clock { static void Main() {
  DateTime n = DateTime.UtcNow; var inv = CultureInfo.InvariantCulture;
  Console.WriteLine(n.Ticks);
  Console.WriteLine(n.ToFileTimeUtc());
  Console.WriteLine(n.ToOADate().ToString("R", inv));
  Console.WriteLine(DateTime.Now.ToString("o", inv));
  Console.WriteLine(n.ToString("r", inv));
  Console.WriteLine(new DateTimeOffset(n).ToUnixTimeMilliseconds());
  Console.WriteLine(new DateTimeOffset(n).ToUnixTimeSeconds());
}}
"""


def run_mono(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    (work / "Clock.cs").write_text(CSHARP_SOURCE)
    subprocess.run(["mcs", "-out:Clock.exe", "Clock.cs"], cwd=work, check=True, capture_output=True)
    version = re.search(r"version (\S+)", tool_version(["mono", "--version"]))
    tag = f"mono {version.group(1) if version else '?'}"
    out = []
    for t in instants:
        zone = rng.choice(ZONES)
        lines = frozen(t, ["mono", str(work / "Clock.exe")], tz=zone).splitlines()
        # Mono reads a microsecond clock; ToOADate keeps whole milliseconds.
        out += [exact(lines[0], "dotnet_ticks", t, US, f"{tag} DateTime.UtcNow.Ticks"),
                exact(lines[1], "filetime", t, US, f"{tag} DateTime.ToFileTimeUtc()"),
                printed_float(lines[2], "ole", t, DAY_NS, MS, f"{tag} DateTime.ToOADate()"),
                exact(lines[3], "iso8601", t, US, f"{tag} DateTime.Now.ToString('o')"),
                exact(lines[4], "rfc2822", t, NS, f"{tag} DateTime.ToString('r')"),
                exact(lines[5], "unix_ms", t, 10**6, f"{tag} DateTimeOffset.ToUnixTimeMilliseconds()"),
                exact(lines[6], "unix", t, NS, f"{tag} DateTimeOffset.ToUnixTimeSeconds()")]
    return out


SQLITE_SCRIPT = """select strftime('%s','now');
select julianday('now');
select datetime('now');
select strftime('%Y-%m-%dT%H:%M:%fZ','now');
"""


def run_sqlite(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    tag = f"sqlite3 {tool_version(['sqlite3', '--version']).split()[0]}"
    out = []
    ms = 10**6  # sqlite reads the clock in milliseconds
    for t in instants:
        lines = frozen(t, ["sqlite3", ":memory:", SQLITE_SCRIPT]).splitlines()
        out += [exact(lines[0], "unix", t, NS, f"{tag} strftime('%s','now')"),
                printed_float(lines[1], "sqlite_julian", t, DAY_NS, ms, f"{tag} julianday('now')"),
                exact(lines[2], "iso8601_wall_clock", t, NS, f"{tag} datetime('now')"),
                exact(lines[3], "iso8601", t, ms, f"{tag} strftime('%Y-%m-%dT%H:%M:%fZ','now')")]
    return out


PYTHON_STDLIB = r"""
import time, uuid, email.utils, datetime, plistlib, struct
print(repr(time.time()))
print(time.time_ns())
print(uuid.uuid1())
print(email.utils.formatdate(localtime=True))
print(datetime.datetime.now().astimezone().isoformat())
blob = plistlib.dumps({"when": datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None)},
                      fmt=plistlib.FMT_BINARY)
print(blob.hex())
print(datetime.datetime.utcnow().isoformat())
print(str(datetime.datetime.now().astimezone()))
"""


def bplist_date(blob: bytes) -> float:
    """The first date object of a binary plist, read through its offset table."""
    offset_size, _ref_size, count, _top, table = struct.unpack(">6xBBQQQ", blob[-32:])
    for i in range(count):
        at = int.from_bytes(blob[table + i * offset_size: table + (i + 1) * offset_size], "big")
        if blob[at] == 0x33:
            return struct.unpack(">d", blob[at + 1: at + 9])[0]
    raise ValueError("no date object in plist")


def run_python_stdlib(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    tag = f"python {sys.version.split()[0]}"
    out = []
    for t in instants:
        zone = rng.choice(ZONES)
        lines = frozen(t, [sys.executable, "-c", PYTHON_STDLIB], tz=zone).splitlines()
        # time.time() reads nanoseconds; uuid1 (libuuid) and datetime.now() microseconds.
        out += [printed_float(lines[0], "unix_float", t, NS, 1, f"{tag} repr(time.time())"),
                exact(lines[1], "unix_ns", t, 1, f"{tag} time.time_ns()"),
                exact(lines[2], "uuid_v1", t, US, f"{tag} uuid.uuid1()"),
                exact(lines[3], "rfc2822", t, NS, f"{tag} email.utils.formatdate(localtime=True)"),
                exact(lines[4], "iso8601", t, 1000, f"{tag} datetime.now().astimezone().isoformat()"),
                printed_float(repr(bplist_date(bytes.fromhex(lines[5]))), "cocoa_float", t, NS, 1000,
                              f"{tag} plistlib binary NSDate (raw double)"),
                exact(lines[6], "iso8601_wall_clock", t, 1000, f"{tag} datetime.utcnow().isoformat()"),
                exact(lines[7], "iso8601", t, 1000, f"{tag} str(datetime.now().astimezone())")]
    return out


PYTHON_LIBS = r"""
import datetime, uuid6, ulid, bson, snowflake, sonyflake, jwt, ksuid
from gunicorn.glogging import Logger
def show(make):
    # An id whose epoch lies after the frozen clock cannot be made: "-".
    try:
        print(make())
    except Exception:
        print("-")
now = datetime.datetime.now(datetime.timezone.utc)
SONY_EPOCH = datetime.datetime(2014, 9, 1, tzinfo=datetime.timezone.utc)
show(uuid6.uuid6)
show(uuid6.uuid7)
show(ulid.ULID)
show(bson.ObjectId)
show(lambda: next(snowflake.SnowflakeGenerator(7, epoch=1288834974657)))
show(lambda: next(snowflake.SnowflakeGenerator(7, epoch=1420070400000)))
show(lambda: next(snowflake.SnowflakeGenerator(7)))
show(lambda: sonyflake.SonyFlake(machine_id=lambda: 7).next_id() if now >= SONY_EPOCH else "-")
show(lambda: int.from_bytes(bytes(ksuid.Ksuid())[:4], "big"))
show(lambda: str(ksuid.Ksuid()))
show(lambda: jwt.encode({"sub": "42", "iat": now}, "k" * 32, algorithm="HS256"))
show(lambda: jwt.encode({"sub": "42", "exp": now + datetime.timedelta(hours=1)}, "k" * 32, algorithm="HS256"))
show(lambda: Logger.now(None).strip("[]"))
"""


def run_python_libs(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    from importlib.metadata import version as v
    out = []
    ms = 10**6
    for t in instants:
        zone = rng.choice(ZONES)
        lines = frozen(t, [sys.executable, "-c", PYTHON_LIBS], tz=zone).splitlines()
        out += [r for r in [exact(lines[0], "uuid_v6", t, 100, f"uuid6 {v('uuid6')} uuid6()"),
                exact(lines[1], "uuid_v7", t, ms, f"uuid6 {v('uuid6')} uuid7()"),
                exact(lines[2], "ulid", t, ms, f"python-ulid {v('python-ulid')} ULID()"),
                exact(lines[3], "objectid", t, NS, f"pymongo {v('pymongo')} bson.ObjectId()"),
                exact(lines[4], "snowflake", t, ms, f"snowflake-id {v('snowflake-id')} (Twitter epoch)"),
                exact(lines[5], "discord", t, ms, f"snowflake-id {v('snowflake-id')} (Discord epoch)"),
                exact(lines[6], "linkedin", t, ms, f"snowflake-id {v('snowflake-id')} (default Unix epoch)"),
                exact(lines[7], "sony", t, 10 * ms, f"sonyflake-py {v('sonyflake-py')} next_id()"),
                exact(lines[8], "ksuid", t, NS, f"svix-ksuid {v('svix-ksuid')} timestamp field"),
                exact(lines[9], "ksuid_string", t, NS, f"svix-ksuid {v('svix-ksuid')} str(Ksuid())"),
                exact(lines[10], "jwt_iat", t, NS, f"pyjwt {v('pyjwt')} iat"),
                exact(lines[11], "jwt_exp", t + 3600 * NS, NS, f"pyjwt {v('pyjwt')} exp"),
                exact(lines[12], "clf", t, NS, f"gunicorn {v('gunicorn')} access-log time")] if r.value != "-"]
    return out


REPORTLAB = r"""
import io, re
from reportlab.pdfgen import canvas
b = io.BytesIO(); c = canvas.Canvas(b, invariant=0); c.drawString(10, 10, "x"); c.save()
print(re.search(rb"/CreationDate \(([^)]*)\)", b.getvalue()).group(1).decode())
"""


def run_reportlab(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    from importlib.metadata import version as v
    out = []
    for t in instants:
        # reportlab writes the zone offset in whole hours only.
        zone = rng.choice(WHOLE_HOUR_ZONES)
        line = frozen(t, [sys.executable, "-c", REPORTLAB], tz=zone).strip()
        out.append(exact(line, "pdf_date", t, NS, f"reportlab {v('reportlab')} /CreationDate"))
    return out


SPREADSHEETS = r"""
import datetime, sys, openpyxl, xlsxwriter
from openpyxl.utils.datetime import CALENDAR_MAC_1904
work = sys.argv[1]
now = datetime.datetime.now()
for name, mac in (("o1900", False), ("o1904", True)):
    wb = openpyxl.Workbook()
    if mac:
        wb.epoch = CALENDAR_MAC_1904
    wb.active["A1"] = now
    wb.save(f"{work}/{name}.xlsx")
for name, mac in (("x1900", False), ("x1904", True)):
    wb = xlsxwriter.Workbook(f"{work}/{name}.xlsx", {"date_1904": mac})
    ws = wb.add_worksheet()
    ws.write_datetime("A1", now, wb.add_format({"num_format": "yyyy-mm-dd hh:mm:ss"}))
    wb.close()
"""


def sheet_cell_value(path: Path) -> str:
    with zipfile.ZipFile(path) as z:
        xml = z.read("xl/worksheets/sheet1.xml").decode()
    return re.search(r"<v>([^<]*)</v>", xml).group(1)


def run_spreadsheets(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    from importlib.metadata import version as v
    out = []
    names = {"o1900": ("ole", f"openpyxl {v('openpyxl')} cell serial (1900 system)"),
             "o1904": ("excel1904", f"openpyxl {v('openpyxl')} cell serial (1904 system)"),
             "x1900": ("ole", f"xlsxwriter {v('xlsxwriter')} cell serial (1900 system)"),
             "x1904": ("excel1904", f"xlsxwriter {v('xlsxwriter')} cell serial (1904 system)")}
    for t in instants:
        frozen(t, [sys.executable, "-c", SPREADSHEETS, str(work)])
        for name, (family, source) in names.items():
            # Both libraries round the time of day to the millisecond or finer.
            out.append(printed_float(sheet_cell_value(work / f"{name}.xlsx"), family, t, DAY_NS, 1000, source))
    return out


def touch(path: Path, instant_ns: int) -> None:
    seconds, rest = divmod(instant_ns, NS)
    subprocess.run(["touch", "-d", f"@{seconds}.{rest:09d}", str(path)], check=True)


def run_file_times(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    version = tool_version(["stat", "--version"]).split()[-1]
    tag = f"coreutils {version} touch -d + stat"
    py = f"python {sys.version.split()[0]} os.stat"
    out = []
    for i, t in enumerate(instants):
        f = work / f"f{i}"
        f.write_text("x")
        touch(f, t)
        zone = rng.choice(ZONES)
        lines = subprocess.run(["stat", "-c", "%Y\n%.9Y\n%y", str(f)], capture_output=True, text=True,
                               env=dict(os.environ, TZ=zone), check=True).stdout.splitlines()
        st = os.stat(f)
        out += [exact(lines[0], "unix", t, NS, f"{tag} -c %Y"),
                printed_float(lines[1], "unix_float", t, NS, 1, f"{tag} -c %.9Y"),
                exact(lines[2], "iso8601", t, 1, f"{tag} -c %y"),
                exact(str(st.st_mtime_ns), "unix_ns", t, 1, f"{py} st_mtime_ns"),
                printed_float(repr(st.st_mtime), "unix_float", t, NS, 1, f"{py} repr(st_mtime)")]
    return out


def dos_word_pair(date_word: int, time_word: int) -> str:
    # The layout the fat family reads: the date word above the time word.
    return str(date_word << 16 | time_word)


def run_fat_image(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    image = work / "fat.img"
    subprocess.run(["mkfs.fat", "-C", str(image), "1440"], check=True, capture_output=True)
    version = tool_version(["mcopy", "--version"]).split()[-1]
    env = dict(os.environ, TZ="UTC", MTOOLS_SKIP_CHECK="1")
    names = []
    for i, t in enumerate(instants):
        src = work / f"F{i:04d}.TXT"
        src.write_text("x")
        touch(src, t)
        subprocess.run(["mcopy", "-m", "-i", str(image), str(src), f"::F{i:04d}.TXT"], check=True, env=env)
        names.append(f"F{i:04d}   TXT".encode())
    raw = image.read_bytes()
    per_sector, = struct.unpack_from("<H", raw, 11)
    reserved, = struct.unpack_from("<H", raw, 14)
    fats = raw[16]
    root_entries, = struct.unpack_from("<H", raw, 17)
    fat_sectors, = struct.unpack_from("<H", raw, 22)
    root = (reserved + fats * fat_sectors) * per_sector
    entries = {}
    for k in range(root_entries):
        entry = raw[root + 32 * k: root + 32 * (k + 1)]
        time_word, date_word = struct.unpack_from("<HH", entry, 22)
        entries[entry[:11]] = (date_word, time_word)
    out = []
    for name, t in zip(names, instants):
        date_word, time_word = entries[name]
        out.append(exact(dos_word_pair(date_word, time_word), "fat", t, 2 * NS,
                         f"mtools {version} mcopy -m (FAT directory entry)"))
    return out


def run_zip(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    out = []
    zip_text = subprocess.run(["zip", "-v"], capture_output=True, text=True).stdout if shutil.which("zip") else ""
    zip_version = re.search(r"This is Zip (\S+)", zip_text)
    for i, t in enumerate(instants):
        f = work / f"z{i}.txt"
        f.write_text("x")
        touch(f, t)
        archive = work / f"py{i}.zip"
        # zipfile reads the mtime through localtime(): keep the zone at UTC.
        subprocess.run([sys.executable, "-c",
                        f"import zipfile; zipfile.ZipFile({str(archive)!r}, 'w').write({str(f)!r}, 'z.txt')"],
                       check=True, env=dict(os.environ, TZ="UTC"))
        time_word, date_word = struct.unpack_from("<HH", archive.read_bytes(), 10)
        out.append(exact(dos_word_pair(date_word, time_word), "fat", t, 2 * NS,
                         f"python {sys.version.split()[0]} zipfile.write (local header DOS time)"))
        if zip_version:
            archive = work / f"iz{i}.zip"
            subprocess.run(["zip", "-q", "-X", str(archive), f.name], cwd=work, check=True,
                           env=dict(os.environ, TZ="UTC"))
            time_word, date_word = struct.unpack_from("<HH", archive.read_bytes(), 10)
            out.append(exact(dos_word_pair(date_word, time_word), "fat", t, 2 * NS,
                             f"Info-ZIP zip {zip_version.group(1)} (local header DOS time)"))
    return out


def run_exiftool(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    from PIL import Image
    version = tool_version(["exiftool", "-ver"])
    blank = work / "blank.jpg"
    Image.new("RGB", (8, 8)).save(blank)
    out = []
    env = dict(os.environ, TZ="UTC")
    for i, t in enumerate(instants):
        f = work / f"e{i}.jpg"
        shutil.copy(blank, f)
        touch(f, t)
        subprocess.run(["exiftool", "-q", "-P", "-overwrite_original", "-DateTimeOriginal<FileModifyDate", str(f)],
                       check=True, env=env)
        value = subprocess.run(["exiftool", "-s3", "-DateTimeOriginal", str(f)], capture_output=True, text=True,
                               check=True, env=env).stdout.strip()
        out.append(exact(value, "exif", t, NS, f"exiftool {version} DateTimeOriginal<FileModifyDate"))
    return out


def run_git(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    tag = tool_version(["git", "--version"]).replace("version ", "")
    repo = work / "repo"
    subprocess.run(["git", "init", "-q", str(repo)], check=True)
    out = []
    for t in instants:
        offset = rng.choice(["+0000", "-0500", "+0530", "+0900", "-0800", "+0100", "-0330", "+1245"])
        stamp = f"@{t // NS} {offset}"
        env = dict(os.environ, GIT_AUTHOR_DATE=stamp, GIT_COMMITTER_DATE=stamp, GIT_AUTHOR_NAME="a",
                   GIT_AUTHOR_EMAIL="a@example.org", GIT_COMMITTER_NAME="a", GIT_COMMITTER_EMAIL="a@example.org")
        subprocess.run(["git", "-C", str(repo), "commit", "-q", "--allow-empty", "-m", "x"], check=True, env=env)
        lines = subprocess.run(["git", "-C", str(repo), "log", "-1", "--format=%ct%n%cI%n%cD%n%ci"],
                               capture_output=True, text=True, check=True).stdout.splitlines()
        out += [exact(lines[0], "unix", t, NS, f"{tag} log %ct"),
                exact(lines[1], "iso8601", t, NS, f"{tag} log %cI"),
                exact(lines[2], "rfc2822", t, NS, f"{tag} log %cD"),
                exact(lines[3], "iso8601", t, NS, f"{tag} log %ci")]
    return out


def run_openssl(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    tag = " ".join(tool_version(["openssl", "version"]).split()[:2])
    key = work / "key.pem"
    subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
                    "-out", str(key)], check=True, capture_output=True)
    out = []
    for i, t in enumerate(instants):
        start = t - t % NS
        # Half the certificates run past 2049, where notAfter is a GeneralizedTime.
        far = i % 2 == 1
        end_year = rng.randint(2051, 2080) if far else None
        days = ((dt.datetime(end_year, 1, 1, tzinfo=dt.timezone.utc).timestamp() - start // NS) // 86400
                if far else rng.randint(1, 800))
        days = int(days)
        cert = work / f"c{i}.pem"
        frozen(t, ["openssl", "req", "-x509", "-key", str(key), "-subj", "/CN=gt", "-days", str(days),
                   "-out", str(cert)])
        dump = subprocess.run(["openssl", "asn1parse", "-in", str(cert)], capture_output=True, text=True,
                              check=True).stdout
        times = re.findall(r"(UTCTIME|GENERALIZEDTIME)\s*:(\S+)", dump)
        (kind0, before), (kind1, after) = times[0], times[1]
        family = {"UTCTIME": "asn1_utctime", "GENERALIZEDTIME": "asn1_generalizedtime"}
        out.append(exact(before, family[kind0], start, NS, f"{tag} req -x509 notBefore (asn1parse)"))
        out.append(exact(after, family[kind1], start + days * DAY_NS, NS, f"{tag} req -x509 notAfter (asn1parse)"))
        dates = subprocess.run(["openssl", "x509", "-noout", "-startdate", "-dateopt", "iso_8601", "-in", str(cert)],
                               capture_output=True, text=True)
        if dates.returncode == 0:
            out.append(exact(dates.stdout.strip().split("=", 1)[1], "iso8601", start, NS,
                             f"{tag} x509 -startdate -dateopt iso_8601"))
    return out


def zip_ntfs_mtime(archive: bytes) -> bytes:
    """The NTFS extra field's Mtime of the first central directory entry
    (APPNOTE 4.5.5: tag 0x000a, 4 reserved bytes, attribute 0x0001 of 24
    bytes holding Mtime, Atime, Ctime)."""
    at = archive.index(b"PK\x01\x02")
    name_len, extra_len = struct.unpack_from("<HH", archive, at + 28)
    extra = archive[at + 46 + name_len: at + 46 + name_len + extra_len]
    while len(extra) >= 4:
        tag, size = struct.unpack_from("<HH", extra)
        if tag == 0x000A:
            return extra[4 + 4 + 4: 4 + 4 + 4 + 8]
        extra = extra[4 + size:]
    raise ValueError("no NTFS extra field")


def run_hex_fields(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    """Time fields of files real tools wrote, as the bare hex run `xxd -p`
    prints: 7-Zip's ZIP NTFS extra field (FILETIME, little-endian), gzip's
    MTIME (Unix seconds, little-endian, RFC 1952) and git's index entry mtime
    (Unix seconds, big-endian, gitformat-index)."""
    seven = " ".join(tool_version(["7z"]).split()[:3])
    gzip_version = tool_version(["gzip", "--version"]).split()[-1]
    git = tool_version(["git", "--version"]).replace("version ", "")
    out = []
    for i, t in enumerate(instants):
        f = work / f"h{i}.txt"
        f.write_text("x")
        touch(f, t)
        archive = work / f"h{i}.zip"
        subprocess.run(["7z", "a", "-tzip", "-mtc=on", str(archive), str(f)], check=True, capture_output=True)
        out.append(Record(zip_ntfs_mtime(archive.read_bytes()).hex(), "filetime", t - t % 100, 100,
                          f"{seven} a -tzip -mtc=on (NTFS extra Mtime bytes)", hex_bytes=True))
        subprocess.run(["gzip", "-k", "-f", str(f)], check=True)
        mtime = (work / f"h{i}.txt.gz").read_bytes()[4:8]
        out.append(Record(mtime.hex(), "unix", t - t % NS, NS, f"gzip {gzip_version} header MTIME bytes",
                          hex_bytes=True))
        repo = work / f"g{i}"
        subprocess.run(["git", "init", "-q", str(repo)], check=True)
        shutil.copy2(f, repo / "a.txt")
        subprocess.run(["git", "-C", str(repo), "add", "a.txt"], check=True)
        index = (repo / ".git" / "index").read_bytes()
        # Header of 12 bytes; the first entry's ctime (8), then mtime seconds.
        out.append(Record(index[20:24].hex(), "unix", t - t % NS, NS, f"{git} index entry mtime bytes",
                          hex_bytes=True))
    return out


class CookieSetter(http.server.BaseHTTPRequestHandler):
    """Serves one page that sets a cookie living max_age seconds."""
    max_age = 3600

    def do_GET(self) -> None:
        body = b"<html><head><title>seen</title></head><body>seen</body></html>"
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Set-Cookie", f"seen=1; Max-Age={self.max_age}; Path=/")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args: object) -> None:
        pass


def sqlite_rows(db: Path, query: str) -> list[tuple]:
    with sqlite3.connect(f"file:{db}?immutable=1", uri=True) as conn:
        return conn.execute(query).fetchall()


def run_chromium(instants: list[int], rng: random.Random, work: Path) -> list[Record]:
    """Chromium visits a local page that sets a cookie; the History and
    Cookies databases it writes hold microseconds since 1601 (the webkit
    family). A cookie's expiry is its creation plus Max-Age (drawn below
    Chromium's 400-day cap)."""
    tag = f"{' '.join(tool_version(['chromium', '--version']).split()[:2])}"
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), CookieSetter)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"http://127.0.0.1:{server.server_address[1]}/page"
    out = []
    try:
        for i, t in enumerate(instants):
            profile = work / f"chromium{i}"
            CookieSetter.max_age = rng.randint(3600, 399 * 86400)
            frozen(t, ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                       f"--user-data-dir={profile}", "--dump-dom", url])
            (visit,), = sqlite_rows(profile / "Default" / "History", "SELECT last_visit_time FROM urls")
            (created, expires), = sqlite_rows(profile / "Default" / "Cookies",
                                             "SELECT creation_utc, expires_utc FROM cookies")
            # Chromium keeps visit times unique by adding a microsecond or so.
            out += [Record(str(visit), "webkit", t, MS, f"{tag} History urls.last_visit_time"),
                    Record(str(created), "webkit", t, MS, f"{tag} Cookies creation_utc"),
                    Record(str(expires), "webkit", t + CookieSetter.max_age * NS, MS,
                           f"{tag} Cookies expires_utc (Max-Age)")]
    finally:
        server.shutdown()
    return out


@dataclass
class Runner:
    name: str
    run: Callable[[list[int], random.Random, Path], list[Record]]
    commands: tuple[str, ...] = ()
    modules: tuple[str, ...] = ()


RUNNERS = [
    Runner("coreutils date", run_coreutils_date, ("faketime", "date")),
    Runner("node", run_node, ("faketime", "node")),
    Runner("java", run_java, ("faketime", "java", "javac")),
    Runner("mono", run_mono, ("faketime", "mono", "mcs")),
    Runner("sqlite3", run_sqlite, ("faketime", "sqlite3")),
    Runner("python stdlib", run_python_stdlib, ("faketime",)),
    Runner("python id/token libraries", run_python_libs, ("faketime",),
           ("uuid6", "ulid", "bson", "snowflake", "sonyflake", "jwt", "ksuid", "gunicorn")),
    Runner("reportlab", run_reportlab, ("faketime",), ("reportlab",)),
    Runner("spreadsheets", run_spreadsheets, ("faketime",), ("openpyxl", "xlsxwriter")),
    Runner("file times", run_file_times, ("touch", "stat")),
    Runner("FAT image", run_fat_image, ("touch", "mkfs.fat", "mcopy")),
    Runner("zip", run_zip, ("touch",)),
    Runner("exiftool", run_exiftool, ("touch", "exiftool"), ("PIL",)),
    Runner("git", run_git, ("git",)),
    Runner("openssl", run_openssl, ("faketime", "openssl")),
    Runner("hex fields", run_hex_fields, ("touch", "7z", "gzip", "git")),
    Runner("chromium", run_chromium, ("faketime", "chromium")),
]


def draw_instants(rng: random.Random, count: int) -> list[int]:
    low = int(DRAW_FROM.timestamp()) * 10**6
    high = int(DRAW_TO.timestamp()) * 10**6
    return [rng.randrange(low, high) * 1000 for _ in range(count)]


def clock_reading(instant_ns: int) -> int:
    """What the frozen clock really reads: libfaketime parses the time as a
    double, so x.892199 s can come back as x.892198999 s. Every tool run under
    the same setting reads that same value, so it is the truth."""
    return int(frozen(instant_ns, ["date", "+%s%N"]))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seed", type=int, default=2024)
    parser.add_argument("--per-runner", type=int, default=8, help="instants drawn for each tool run")
    parser.add_argument("--out", type=Path, default=Path(__file__).with_name("values.tsv"))
    args = parser.parse_args()

    rng = random.Random(args.seed)
    read_clock = clock_reading if shutil.which("faketime") else (lambda t: t)
    records: list[Record] = []
    for runner in RUNNERS:
        missing = have(*runner.commands) + have_modules(*runner.modules)
        runner_rng = random.Random(f"{args.seed}/{runner.name}")
        if missing:
            print(f"skip {runner.name}: missing {', '.join(missing)}", file=sys.stderr)
            continue
        with tempfile.TemporaryDirectory() as work:
            instants = [read_clock(t) for t in draw_instants(runner_rng, args.per_runner)]
            made = runner.run(instants, runner_rng, Path(work))
        print(f"{runner.name}: {len(made)} values", file=sys.stderr)
        records += made
    rng.shuffle(records)  # no order for a reader to lean on
    with open(args.out, "w", newline="") as fh:
        w = csv.writer(fh, delimiter="\t", lineterminator="\n", quoting=csv.QUOTE_NONE, quotechar=None)
        w.writerow(COLUMNS)
        for r in records:
            w.writerow([r.kind, r.value, r.family, r.instant_ns, r.tolerance_ns, r.source])
    print(f"wrote {len(records)} values to {args.out}", file=sys.stderr)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes bench/corpus.tsv: realistic values for the benchmark, one a line.

Every line is `class<TAB>kind<TAB>value`: class is integer, float, string or
junk; kind names the family or form the value was built in (or the sort of
junk). Values are made by encoding random instants between 1990 and 2040 with
plain Python arithmetic, so the corpus does not depend on the engine it
measures. The seed is fixed: running this again rewrites the same file.

    python3 bench/make_corpus.py            # rewrites bench/corpus.tsv
    python3 bench/make_corpus.py --check    # fails if the file is stale
"""

from __future__ import annotations

import argparse
import base64
import datetime as dt
import json
import random
import re
import sys
from pathlib import Path

SEED = 20240501
CORPUS = Path(__file__).resolve().parent / "corpus.tsv"

NS = 1_000_000_000
DAY_NS = 86_400 * NS
WINDOW_START_S = 631_152_000  # 1990-01-01T00:00:00Z
WINDOW_END_S = 2_208_988_800  # 2040-01-01T00:00:00Z

UNIT_NS = {"s": NS, "ms": 1_000_000, "10ms": 10_000_000, "us": 1_000, "100ns": 100, "ns": 1, "days": DAY_NS}

# Counts of a unit since an epoch (Unix seconds of the epoch, as an exact
# number of nanoseconds).
INTEGER_FAMILIES = [
    ("unix", "s", 0),
    ("unix_ms", "ms", 0),
    ("unix_us", "us", 0),
    ("filetime", "100ns", -11_644_473_600 * NS),
    ("webkit", "us", -11_644_473_600 * NS),
    ("cocoa", "s", 978_307_200 * NS),
    ("hfsplus", "s", -2_082_844_800 * NS),
    ("hfs", "s", -2_082_844_800 * NS),
    ("dotnet_ticks", "100ns", -62_135_596_800 * NS),
    ("unix_ns", "ns", 0),
    ("dhcp6", "s", 946_684_800 * NS),
    ("postgres", "us", 946_684_800 * NS),
    ("active", "100ns", -11_644_473_600 * NS),
    ("prtime", "us", 0),
    ("iostime", "ns", 978_307_200 * NS),
    ("ksuid", "s", 1_400_000_000 * NS),
]

# Identifiers whose bits above `shift` count a unit since an epoch.
SHIFTED_FAMILIES = [
    ("snowflake", "ms", 22, 1_288_834_974_657 * 1_000_000),
    ("gmsgid", "ms", 20, 0),
    ("discord", "ms", 22, 1_420_070_400 * NS),
    ("mastodon", "ms", 16, 0),
    ("linkedin", "ms", 22, 0),
    ("tiktok", "s", 32, 0),
    ("sony", "10ms", 24, 1_409_529_600 * NS),
]

# Floating counts of a unit since an epoch, with the decimals such values
# usually carry.
FLOAT_FAMILIES = [
    ("ole", "days", -2_209_161_600 * NS, 10),
    ("cocoa_float", "s", 978_307_200 * NS, 6),
    ("unix_float", "s", 0, 6),
    ("sqlite_julian", "days", -210_866_760_000 * NS, 8),
    ("excel1904", "days", -2_082_844_800 * NS, 10),
    ("mjd", "days", -3_506_716_800 * NS, 8),
]


def civil(seconds: int) -> dt.datetime:
    """UTC civil date-time of a Unix second."""
    return dt.datetime(1970, 1, 1) + dt.timedelta(seconds=seconds)


def fields(seconds: int) -> tuple[int, int, int, int, int, int]:
    c = civil(seconds)
    return c.year, c.month, c.day, c.hour, c.minute, c.second


def swap32(w: int) -> int:
    return int.from_bytes(w.to_bytes(4, "little"), "big")


def swapped_digits(f: int) -> int:
    return (f % 10) * 10 + f // 10


def decimal_pairs(pairs: list[int]) -> int:
    value = 0
    for p in pairs:
        value = value * 100 + p
    return value


# Packed layouts: each takes the civil fields (or the instant) and returns the
# raw value, or None when the instant lies outside what the layout can hold.
def pack_fat(y, mo, d, h, mi, s):
    if not 1980 <= y <= 2107:
        return None
    return (y - 1980) << 25 | mo << 21 | d << 16 | h << 11 | mi << 5 | s // 2


def pack_dttm(y, mo, d, h, mi, s):
    return (y - 1900) << 20 | mo << 16 | d << 11 | h << 6 | mi


def pack_bitdec(y, mo, d, h, mi, s):
    return y << 20 | mo << 16 | d << 11 | h << 6 | mi


def pack_bitdate(y, mo, d, h, mi, s):
    return swap32(pack_bitdec(y, mo, d, h, mi, s))


def pack_bcd(y, mo, d, h, mi, s):
    if not 2000 <= y <= 2099:
        return None
    return decimal_pairs([y - 2000, mo, d, h, mi, s])


def pack_moto(y, mo, d, h, mi, s):
    return (y - 1970) << 40 | mo << 32 | d << 24 | h << 16 | mi << 8 | s


def pack_symantec(y, mo, d, h, mi, s):
    return (y - 1970) << 40 | (mo - 1) << 32 | d << 24 | h << 16 | mi << 8 | s


def pack_dvr(y, mo, d, h, mi, s):
    if not 2000 <= y <= 2063:
        return None
    return (y - 2000) << 26 | mo << 22 | d << 17 | h << 12 | mi << 6 | s


def pack_ns40(y, mo, d, h, mi, s):
    return y << 40 | mo << 32 | d << 24 | h << 16 | mi << 8 | s


def pack_ns40le(y, mo, d, h, mi, s):
    return (y & 0xFF) << 48 | (y >> 8) << 40 | mo << 32 | d << 24 | h << 16 | mi << 8 | s


def pack_logtime(y, mo, d, h, mi, s):
    return s << 56 | mi << 48 | h << 40 | d << 32 | mo << 24 | (y - 1900) << 16


def pack_semioctet(y, mo, d, h, mi, s):
    if not 2000 <= y <= 2099:
        return None
    return decimal_pairs([swapped_digits(f) for f in (y - 2000, mo, d, h, mi, s)])


def pack_gsm(y, mo, d, h, mi, s):
    if not 2000 <= y <= 2099:
        return None
    value = 0
    for f in (y - 2000, mo, d, h, mi, s):
        value = value << 8 | (f % 10) * 16 + f // 10
    return value << 8  # the time-zone byte stays 0


PACKED_FAMILIES = [
    ("fat", pack_fat),
    ("exfat", pack_fat),
    ("dttm", pack_dttm),
    ("bitdate", pack_bitdate),
    ("bitdec", pack_bitdec),
    ("bcd", pack_bcd),
    ("moto", pack_moto),
    ("symantec", pack_symantec),
    ("dvr", pack_dvr),
    ("ns40", pack_ns40),
    ("ns40le", pack_ns40le),
    ("logtime", pack_logtime),
    ("semioctet", pack_semioctet),
    ("gsm", pack_gsm),
]


def pack_nokiale(t_ns: int):
    s = t_ns // NS
    if not -1_770_359_295 <= s <= 2_524_608_000:
        return None
    return swap32(s + 1_770_359_295)


def pack_sqlserver(t_ns: int):
    d = t_ns + 2_208_988_800 * NS
    days, rem = divmod(d, DAY_NS)
    ticks = (rem * 300 + 500_000_000) // NS
    if ticks >= 25_920_000:
        days, ticks = days + 1, 0
    return (days & 0xFFFF_FFFF) << 32 | ticks


def check_layouts() -> None:
    """The layouts above against known encodings of 2023-11-14T22:13:19.123456789Z."""
    t = 1_699_999_999_123_456_789
    f = fields(t // NS)
    known = {
        pack_fat: 1466872233, pack_dttm: 129725837, pack_bitdate: 2373286782, pack_bitdec: 2122020237,
        pack_bcd: 231114221319, pack_moto: 58321597238547, pack_symantec: 58317302271251,
        pack_dvr: 1591567187, pack_ns40: 2224359503957267, pack_ns40le: 65028463682522387,
        pack_logtime: 1372777710995832832, pack_semioctet: 321141223191, pack_gsm: 14092720279752960,
    }
    for pack, raw in known.items():
        assert pack(*f) == raw, (pack.__name__, pack(*f), raw)
    assert pack_nokiale(t) == 4269464014
    assert pack_sqlserver(t) == 194312934405369


def random_instant(rng: random.Random, start_s=WINDOW_START_S, end_s=WINDOW_END_S) -> int:
    """Nanoseconds since 1970 of a random instant in [start_s, end_s)."""
    return rng.randrange(start_s * NS, end_s * NS)


def fits_i64(v: int) -> bool:
    return -(1 << 63) <= v < (1 << 63)


def integer_values(rng: random.Random, per_family: int):
    for name, unit, epoch in INTEGER_FAMILIES:
        for _ in range(per_family):
            t = random_instant(rng)
            yield name, (t - epoch) // UNIT_NS[unit]
    for name, unit, shift, epoch in SHIFTED_FAMILIES:
        made = 0
        while made < per_family:
            t = random_instant(rng, max(WINDOW_START_S, -(-epoch // NS)))
            count = (t - epoch) // UNIT_NS[unit]
            raw = count << shift | rng.getrandbits(shift)
            if count >= 0 and fits_i64(raw):
                made += 1
                yield name, raw
    for name, pack in PACKED_FAMILIES:
        made = 0
        while made < per_family:
            raw = pack(*fields(random_instant(rng) // NS))
            if raw is not None:
                made += 1
                yield name, raw
    for name, pack in (("nokiale", pack_nokiale), ("sqlserver", pack_sqlserver)):
        for _ in range(per_family):
            yield name, pack(random_instant(rng))
    # Values met in real columns that mark an unset field.
    for raw in (0, -1, 9223372036854775807, -9223372036854775808):
        yield "sentinel", raw


def float_values(rng: random.Random, per_family: int):
    for name, unit, epoch, decimals in FLOAT_FAMILIES:
        for _ in range(per_family):
            t = random_instant(rng)
            scale = 10**decimals
            # The count, in units, rounded to the family's usual decimals.
            count = ((t - epoch) * scale + UNIT_NS[unit] // 2) // UNIT_NS[unit]
            whole, fraction = divmod(count, scale)
            text = f"{whole}.{fraction:0{decimals}d}".rstrip("0")
            if text.endswith("."):
                text += "0"
            yield name, text
    # The exponent form that some exporters write.
    for _ in range(2):
        t = random_instant(rng)
        yield "unix_float", f"{t / NS:.9e}"


CROCKFORD = "0123456789ABCDEFGHJKMNPQRSTVWXYZ"
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
GREGORIAN_OFFSET_TICKS = 122_192_928_000_000_000  # 1582-10-15 to 1970-01-01 in 100 ns


def b64url(data: bytes) -> str:
    return base64.urlsafe_b64encode(data).decode().rstrip("=")


def offset_text(minutes: int, colon: bool) -> str:
    sign = "+" if minutes >= 0 else "-"
    h, m = divmod(abs(minutes), 60)
    return f"{sign}{h:02d}:{m:02d}" if colon else f"{sign}{h:02d}{m:02d}"


def string_values(rng: random.Random, per_form: int):
    offsets = [0, 60, 120, 330, -300, -420, 540, -180]

    def local(t_s: int, minutes: int) -> dt.datetime:
        return civil(t_s + minutes * 60)

    for i in range(per_form):
        t = random_instant(rng)
        t_s, ns = divmod(t, NS)
        ms = t // 1_000_000
        minutes = rng.choice(offsets)
        c = local(t_s, minutes)
        u = civil(t_s)
        ticks = t // 100 + GREGORIAN_OFFSET_TICKS
        rand = rng.getrandbits(128)

        # ISO 8601 / RFC 3339, in the shapes logs and APIs write.
        iso_forms = [
            f"{u:%Y-%m-%dT%H:%M:%S}Z",
            f"{c:%Y-%m-%dT%H:%M:%S}.{ns // 1000:06d}{offset_text(minutes, True)}",
            f"{u:%Y-%m-%d %H:%M:%S}.{ns // 1_000_000:03d}Z",
            f"{c:%Y%m%dT%H%M%S}{offset_text(minutes, False)}",
            f"{c:%Y-%m-%dT%H:%M:%S}{offset_text(minutes, True)}[Europe/Paris]",
        ]
        yield "iso8601", iso_forms[i % len(iso_forms)]
        yield "asn1_generalizedtime", f"{u:%Y%m%d%H%M%S}Z" if i % 2 else f"{c:%Y%m%d%H%M%S}{offset_text(minutes, False)}"
        yield "asn1_utctime", f"{u:%y%m%d%H%M%S}Z" if i % 2 else f"{u:%y%m%d%H%M}Z"

        header = b64url(b'{"alg":"HS256","typ":"JWT"}')
        claims = {"sub": f"user{rng.randrange(10**6)}", "iat": t_s, "exp": t_s + 3600}
        if i % 2:
            claims["nbf"] = t_s
        payload = b64url(json.dumps(claims, separators=(",", ":")).encode())
        yield "jwt", f"{header}.{payload}.{b64url(rng.randbytes(32))}"

        ulid_value = (ms << 80) | (rand & ((1 << 80) - 1))
        ulid = "".join(CROCKFORD[(ulid_value >> (5 * k)) & 31] for k in reversed(range(26)))
        yield "ulid", ulid.lower() if i % 3 == 0 else ulid

        hex_rand = f"{rand:032x}"
        time_low, time_mid, time_hi = ticks & 0xFFFF_FFFF, (ticks >> 32) & 0xFFFF, (ticks >> 48) & 0x0FFF
        v1 = f"{time_low:08x}-{time_mid:04x}-1{time_hi:03x}-{8 | rand & 3:x}{hex_rand[1:4]}-{hex_rand[4:16]}"
        yield "uuid_v1", v1.upper() if i % 2 else v1
        v6_ticks = f"{ticks:015x}"
        yield "uuid_v6", f"{v6_ticks[:8]}-{v6_ticks[8:12]}-6{v6_ticks[12:]}-{8 | rand & 3:x}{hex_rand[1:4]}-{hex_rand[4:16]}"
        v7 = f"{ms:012x}7{hex_rand[:3]}{8 | rand & 3:x}{hex_rand[3:18]}"
        yield "uuid_v7", v7 if i % 3 == 0 else f"{v7[:8]}-{v7[8:12]}-{v7[12:16]}-{v7[16:20]}-{v7[20:]}"

        yield "objectid", f"{t_s:08x}{hex_rand[:16]}"

        ei = b64url(t_s.to_bytes(4, "little") + rng.randbytes(12))
        yield "google_ei", (f"https://www.google.com/search?q=weather&ei={ei}&ved=0ahUKEwi{b64url(rng.randbytes(9))}"
                            if i % 2 else f"ei={ei}")

        yield "clf", f"[{c.day:02d}/{MONTHS[c.month - 1]}/{c.year}:{c:%H:%M:%S} {offset_text(minutes, False)}]"
        pdf_zone = "Z" if minutes == 0 else f"{offset_text(minutes, True).replace(':', chr(39))}'"
        yield "pdf_date", f"D:{c:%Y%m%d%H%M%S}{pdf_zone}"
        yield "dmtf_cim", f"{c:%Y%m%d%H%M%S}.{ns // 1000:06d}{'+' if minutes >= 0 else '-'}{abs(minutes):03d}"
        yield "rfc2822", f"{DAYS[c.weekday()]}, {c.day} {MONTHS[c.month - 1]} {c.year} {c:%H:%M:%S} {offset_text(minutes, False)}"
        yield "exif", f"{c:%Y:%m:%d %H:%M:%S}"
        yield "iso_ordinal", f"{u.year:04d}-{u.timetuple().tm_yday:03d}"
        iso_year, iso_week, iso_day = u.date().isocalendar()
        yield "iso_week", f"{iso_year:04d}-W{iso_week:02d}-{iso_day}"


WORDS = """
account active address after again against agent alpha amount angle answer apple april area
argument arrival artist attack audio author autumn backup badge balance banana basket battery beacon
before behind bridge bright broker bucket buffer butter button cabinet cable camera canvas capital carbon
carrier castle cedar chain channel charge cherry circle client cloud cluster coffee column comment
copper corner cotton counter cursor custom daemon damage dancer debug decimal default delta desert
device dinner domain double dragon driver eagle editor effect eleven empire engine entry escape
event export fabric factor falcon feature field filter finger flight forest format fossil frame
gadget garden garlic gateway gentle ginger glacier global golden grape gravity guitar hammer handle
harbor header helper hidden holder honey horizon hunter image import index input island jacket
jungle kernel kettle ladder lambda laptop launch layer leader lemon letter linear listen lizard
locker lotus magnet mango marble market matrix meadow memory method mirror module monkey motion
needle nickel object ocean office olive onion orange orbit output oxygen packet paddle palace
panel parcel parrot pencil pepper pillow pirate planet plasma pocket poetry policy portal potato
prism proxy puzzle quartz rabbit radar random raven record region remote ribbon rocket router
saddle salmon sample scheme screen script season secret sensor server shadow signal silver sketch
socket spider spring stable static stream studio summer sunset switch symbol system tablet target
temple tender thread ticket timber token tomato tower tunnel update valley vector velvet viewer
violet vision volume wallet walnut window winter wizard yellow zebra
""".split()

# The numeric tests of the engine: a text matching either is not junk.
INTEGER_TEXT = re.compile(r"[+-]?[0-9]+\Z")
FLOAT_TEXT = re.compile(r"[+-]?(?:(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?|inf|infinity|nan)\Z", re.I)


def junk_values(rng: random.Random, count: int):
    makers = [
        ("word", lambda: rng.choice(WORDS)),
        ("words", lambda: " ".join(rng.choice(WORDS) for _ in range(rng.randrange(2, 6)))),
        ("identifier", lambda: "_".join(rng.choice(WORDS) for _ in range(rng.randrange(2, 4)))
         + str(rng.randrange(100))),
        ("hex", lambda: rng.randbytes(rng.choice([4, 6, 20, 32, 48])).hex()),
        ("base64", lambda: base64.b64encode(rng.randbytes(rng.choice([9, 15, 33]))).decode()),
        ("path", lambda: "/" + "/".join(rng.choice(WORDS) for _ in range(rng.randrange(2, 5)))
         + rng.choice([".log", ".db", ".json", ""])),
        ("long_text", lambda: " ".join(rng.choice(WORDS) for _ in range(rng.randrange(30, 300))).capitalize() + "."),
    ]
    made = 0
    while made < count:
        kind, make = makers[made % len(makers)]
        value = make()
        if INTEGER_TEXT.match(value) or FLOAT_TEXT.match(value):
            continue
        made += 1
        yield kind, value


def corpus_lines() -> list[str]:
    check_layouts()
    rng = random.Random(SEED)
    rows = []
    rows += [("integer", kind, str(v)) for kind, v in integer_values(rng, per_family=5)]
    rows += [("float", kind, v) for kind, v in float_values(rng, per_family=6)]
    rows += [("string", kind, v) for kind, v in string_values(rng, per_form=5)]
    rows += [("junk", kind, v) for kind, v in junk_values(rng, count=63)]
    lines = []
    for cls, kind, value in rows:
        assert "\t" not in value and "\n" not in value and value == value.strip(), value
        lines.append(f"{cls}\t{kind}\t{value}\n")
    return lines


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="fail if corpus.tsv differs from what this writes")
    args = parser.parse_args()
    text = "".join(corpus_lines())
    if args.check:
        if CORPUS.read_text(encoding="utf-8") != text:
            print(f"{CORPUS} is stale: run python3 bench/make_corpus.py", file=sys.stderr)
            return 1
        print(f"{CORPUS} is up to date")
        return 0
    CORPUS.write_text(text, encoding="utf-8")
    counts: dict[str, int] = {}
    for line in text.splitlines():
        counts[line.split("\t", 1)[0]] = counts.get(line.split("\t", 1)[0], 0) + 1
    print(f"wrote {CORPUS}: {sum(counts.values())} values ({', '.join(f'{k} {v}' for k, v in counts.items())})")
    return 0


if __name__ == "__main__":
    sys.exit(main())

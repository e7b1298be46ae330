"""Every numeric family against values written by other tools or derived from
the format's documented epoch: one value at the family's granularity and the
edges of the plausibility window.

Raw values marked td come from time-decode 11.0.0 (`to_<name>` of the instant
shown); the others from the documented epoch and unit with Python's datetime,
or, for SQL Server, from its documented two-word layout."""
import datetime
import math

import pytest

import epochsift

UTC = datetime.timezone.utc
WINDOW_START = datetime.datetime(1990, 1, 1, tzinfo=UTC)
WINDOW_END = datetime.datetime(2040, 1, 1, tzinfo=UTC)


def reading(text, family):
    found = [r for r in epochsift.identify(text) if r["format_id"] == family]
    assert len(found) == 1, (text, family)
    return found[0]


# 2023-11-14T22:13:21.123456Z (or a float's exact fraction), cut to each
# family's granularity; with the granularity_match a reading of raw gets:
# 1 - (trailing zeros, at most the unit's decimals) / the unit's decimals.
SUB_SECOND = [
    ("unix", "1700000001", "2023-11-14T22:13:21Z", 1.0),  # td
    ("unix_ms", "1700000001120", "2023-11-14T22:13:21.12Z", 1 - 1 / 3),
    ("unix_us", "1700000001123456", "2023-11-14T22:13:21.123456Z", 1.0),
    ("unix_ns", "1700000001123456780", "2023-11-14T22:13:21.12345678Z", 1 - 1 / 9),
    ("filetime", "133444736011234560", "2023-11-14T22:13:21.123456Z", 1 - 1 / 7),  # td
    ("active", "133444736011234567", "2023-11-14T22:13:21.1234567Z", 1.0),
    ("webkit", "13344473601123456", "2023-11-14T22:13:21.123456Z", 1.0),  # td
    ("dotnet_ticks", "638355968011234560", "2023-11-14T22:13:21.123456Z", 1 - 1 / 7),  # td
    ("postgres", "753315201123450", "2023-11-14T22:13:21.12345Z", 1 - 1 / 6),
    ("prtime", "1700000001123456", "2023-11-14T22:13:21.123456Z", 1.0),  # td
    ("iostime", "721692801123456000", "2023-11-14T22:13:21.123456Z", 1 - 3 / 9),  # td
    ("cocoa", "721692801", "2023-11-14T22:13:21Z", 1.0),  # td
    ("hfsplus", "3782844801", "2023-11-14T22:13:21Z", 1.0),  # td
    ("hfs", "3782844801", "2023-11-14T22:13:21Z", 1.0),
    ("dhcp6", "753315201", "2023-11-14T22:13:21Z", 1.0),
    ("ksuid", "300000001", "2023-11-14T22:13:21Z", 1.0),  # td
    # Identifiers: the granularity reads the whole identifier's trailing zeros.
    ("snowflake", "1724551115166449664", "2023-11-14T22:13:21.123Z", 1.0),  # td
    ("gmsgid", "1782579201177550848", "2023-11-14T22:13:21.123Z", 1.0),  # td
    ("discord", "1174109845708603392", "2023-11-14T22:13:21.123Z", 1.0),  # td
    ("mastodon", "111411200073596928", "2023-11-14T22:13:21.123Z", 1.0),  # td
    ("linkedin", "7130316804713240886", "2023-11-14T22:13:21.123Z", 1.0),  # td
    ("tiktok", "7301444407494967296", "2023-11-14T22:13:21Z", 1.0),  # td
    ("sony", "487328466119688192", "2023-11-14T22:13:21.12Z", 1.0),  # td: 10 ms units
    ("ole", "45244.5", "2023-11-14T12:00:00Z", 1.0),
    ("excel1904", "43782.25", "2023-11-14T06:00:00Z", 1.0),
    ("sqlite_julian", "2460263.5", "2023-11-15T00:00:00Z", 1.0),  # a Julian day starts at noon
    ("mjd", "60262.75", "2023-11-14T18:00:00Z", 1.0),
    ("cocoa_float", "721692801.5", "2023-11-14T22:13:21.5Z", 1.0),
    ("unix_float", "1700000001.5", "2023-11-14T22:13:21.5Z", 1.0),
    ("fat", "1466872234", "2023-11-14T22:13:20Z", 1.0),  # td of :21: two-second steps
    ("exfat", "1466872234", "2023-11-14T22:13:20Z", 1.0),  # td
    ("dttm", "1203467661", "2023-11-14T22:13:00Z", 1.0),  # td of :21: minutes
    ("bitdate", "2373286782", "2023-11-14T22:13:00Z", 1.0),  # td
    ("bitdec", "2122020237", "2023-11-14T22:13:00Z", 1.0),  # td
    ("bcd", "231114221321", "2023-11-14T22:13:21Z", 1.0),  # td
    ("semioctet", "321141223112", "2023-11-14T22:13:21Z", 1.0),  # td
    ("moto", "58321597238549", "2023-11-14T22:13:21Z", 1.0),  # td
    ("symantec", "58317302271253", "2023-11-14T22:13:21Z", 1.0),  # td
    ("dvr", "1591567189", "2023-11-14T22:13:21Z", 1.0),  # td
    ("ns40", "2224359503957269", "2023-11-14T22:13:21Z", 1.0),  # td
    ("ns40le", "65028463682522389", "2023-11-14T22:13:21Z", 1.0),  # td
    ("logtime", "1516892899071688704", "2023-11-14T22:13:21Z", 1.0),  # td
    ("gsm", "14092720279720448", "2023-11-14T22:13:21Z", 1.0),  # td
    ("nokiale", "8116686", "2023-11-14T22:13:21Z", 1.0),  # td
    ("sqlserver", str(45242 << 32 | 80001 * 300 + 37), "2023-11-14T22:13:21.123333333Z", 1.0),  # 37/300 s
]

FAMILIES = {row[0] for row in SUB_SECOND}


def test_every_family_has_its_cases():
    # Any numeric reading of the values belongs to a family listed here.
    numeric = {r["format_id"] for _, raw, _, _ in SUB_SECOND for r in epochsift.identify(raw)
               if any(name == "in_window" for name, _ in r["components"])}
    assert numeric == FAMILIES and len(SUB_SECOND) == 45


@pytest.mark.parametrize("family, raw, rendered, granularity", SUB_SECOND)
def test_granularity(family, raw, rendered, granularity):
    got = reading(raw, family)
    assert got["rendered"] == rendered
    assert dict(got["components"])["granularity_match"] == pytest.approx(granularity, abs=0)


# -- the window: 1990-01-01T00:00:00Z inclusive to 2040-01-01T00:00:00Z exclusive --

def epoch(*fields):
    return datetime.datetime(*fields, tzinfo=UTC)


# Documented epoch, unit in nanoseconds and shift of each count family.
COUNTS = {
    "unix": (epoch(1970, 1, 1), 10**9, 0), "unix_ms": (epoch(1970, 1, 1), 10**6, 0),
    "unix_us": (epoch(1970, 1, 1), 10**3, 0), "unix_ns": (epoch(1970, 1, 1), 1, 0),
    "prtime": (epoch(1970, 1, 1), 10**3, 0), "filetime": (epoch(1601, 1, 1), 100, 0),
    "active": (epoch(1601, 1, 1), 100, 0), "webkit": (epoch(1601, 1, 1), 10**3, 0),
    "cocoa": (epoch(2001, 1, 1), 10**9, 0), "iostime": (epoch(2001, 1, 1), 1, 0),
    "hfsplus": (epoch(1904, 1, 1), 10**9, 0), "hfs": (epoch(1904, 1, 1), 10**9, 0),
    "dotnet_ticks": (epoch(1, 1, 1), 100, 0), "dhcp6": (epoch(2000, 1, 1), 10**9, 0),
    "postgres": (epoch(2000, 1, 1), 10**3, 0), "ksuid": (epoch(2014, 5, 13, 16, 53, 20), 10**9, 0),
    "snowflake": (epoch(2010, 11, 4, 1, 42, 54, 657000), 10**6, 22), "gmsgid": (epoch(1970, 1, 1), 10**6, 20),
    "discord": (epoch(2015, 1, 1), 10**6, 22), "mastodon": (epoch(1970, 1, 1), 10**6, 16),
    "linkedin": (epoch(1970, 1, 1), 10**6, 22), "tiktok": (epoch(1970, 1, 1), 10**9, 32),
    "sony": (epoch(2014, 9, 1), 10**7, 24),
}
FLOATS = {  # the documented value of 1970-01-01T00:00:00Z, unit in seconds
    "ole": (25569, 86400), "excel1904": (24107, 86400), "mjd": (40587, 86400),
    "sqlite_julian": (2440587.5, 86400), "cocoa_float": (-978307200, 1), "unix_float": (0, 1),
}


def ns_between(start, end):
    delta = end - start
    return (delta.days * 86400 + delta.seconds) * 10**9 + delta.microseconds * 1000


def count_edges(family):
    start, unit, shift = COUNTS[family]
    first_out = ns_between(start, WINDOW_END) // unit << shift
    first_in = -(-ns_between(start, WINDOW_START) // unit) << shift
    # One count (or one identifier) below each edge: the last instant inside, then the last outside.
    # An identifier is never negative, and none reaches past 2^63 - 1.
    edges = [(first_out - 1, True), (first_out, False), (first_in, True), (first_in - 1, False)]
    return [(raw, inside) for raw, inside in edges if shift == 0 or 0 <= raw < 2**63]


def float_edges(family):
    at_unix_epoch, unit = FLOATS[family]
    end = at_unix_epoch + WINDOW_END.timestamp() / unit
    begin = at_unix_epoch + WINDOW_START.timestamp() / unit
    return [(math.nextafter(end, -math.inf), True), (end, False), (begin, True),
            (math.nextafter(begin, -math.inf), False)]


# Layouts that hold civil fields: one step of the layout inside each edge
# (time-decode of 2039-12-31T23:59:59, :58 or 23:59:00 and of 1989-12-31),
# where the layout reaches 1990.
PACKED_EDGES = {
    "fat": [(2006957949, True), (2015428608, False), (337707008, True), (329236349, False)],
    "exfat": [(2006957949, True), (2015428608, False), (337707008, True), (329236349, False)],
    "dttm": [(3367828987, True), (146868224, False), (631310336, True), (94174715, False)],
    "bitdate": [(4227693695, True), (557439, False), (549244, True), (4227685500, False)],
    "bitdec": [(2138897915, True), (2139162624, False), (2086733824, True), (2086469115, False)],
    "bcd": [(391231235959, True), (400101000000, False)],  # years from 2000
    "semioctet": [(932113329595, True), (41010000000, False)],
    "gsm": [(41413187913225472, True), (1143560812363776, False)],
    "dvr": [(39 << 26 | 12 << 22 | 31 << 17 | 23 << 12 | 59 << 6 | 59, True), (40 << 26 | 1 << 22 | 1 << 17, False)],
    "moto": [(75918363540283, True), (76970125688832, False), (21994544300032, True), (20942782151483, False)],
    "symantec": [(75914068572987, True), (76965830721536, False), (21990249332736, True), (20938487184187, False)],
    "ns40": [(2241956270259003, True), (2243008032407552, False), (2188032451018752, True), (2186980688870203, False)],
    "ns40le": [(69532067890150203, True), (69813495117381632, False), (55739746281848832, True),
               (55458319054617403, False)],
    "logtime": [(4268030493985538048, True), (4320919552, False), (4317642752, True), (4268030493982261248, False)],
    "nokiale": [(2114466029, True), (2131243245, False), (2133271695, True), (2116494479, False)],
    # days since 1900 above 1/300 s ticks: 2039-12-31T23:59:59.996666666Z is the last tick inside
    "sqlserver": [(51133 << 32 | 25919999, True), (51134 << 32, False), (32872 << 32, True),
                  (32871 << 32 | 25919999, False)],
}

EDGES = ([(f, str(raw), inside) for f in COUNTS for raw, inside in count_edges(f)]
         + [(f, repr(x), inside) for f in FLOATS for x, inside in float_edges(f)]
         + [(f, str(raw), inside) for f, edges in PACKED_EDGES.items() for raw, inside in edges])


def test_edges_cover_every_family():
    assert {f for f, _, _ in EDGES} == FAMILIES


@pytest.mark.parametrize("family, raw, inside", EDGES)
def test_window_edges(family, raw, inside):
    got = reading(raw, family)
    assert dict(got["components"])["in_window"] == (1.0 if inside else 0.0), got["rendered"]


# An identifier's count is its high bits, and an identifier is never negative:
# a negative value reads as no identifier at all, whatever its bits would give.
@pytest.mark.parametrize("value", ["-1", "-2", str(-(1 << 22)), str(-2**63)])
def test_negative_values_are_no_identifiers(value):
    shifted = {family for family, (_, _, shift) in COUNTS.items() if shift}
    assert shifted and not shifted & {r["format_id"] for r in epochsift.identify(value, extended=True)}


# The nanosecond families reach each edge exactly: one nanosecond either side.
@pytest.mark.parametrize("family, raw, rendered", [
    ("unix_ns", str(2208988800 * 10**9 - 1), "2039-12-31T23:59:59.999999999Z"),
    ("unix_ns", str(631152000 * 10**9 - 1), "1989-12-31T23:59:59.999999999Z"),
    ("iostime", str((2208988800 - 978307200) * 10**9 - 1), "2039-12-31T23:59:59.999999999Z"),
])
def test_one_nanosecond_below_an_edge(family, raw, rendered):
    assert reading(raw, family)["rendered"] == rendered

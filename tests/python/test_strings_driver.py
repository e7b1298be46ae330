"""The string path: ISO 8601 / RFC 3339 / RFC 9557, ASN.1 times, JWT claims, and the order of the steps."""
import base64
import datetime as dt
import json

import pytest
from hypothesis import example, given, settings, strategies as st

import epochsift

NS = 10**9
UTC = dt.timezone.utc
EPOCH = dt.datetime(1970, 1, 1, tzinfo=UTC)
MAX_CALENDAR_SECOND = 253_402_207_200
MIN_CALENDAR_SECOND = -377_705_023_201
FIRST_SECOND_OF_YEAR_1 = -62_135_596_800
STRING_COMPONENTS = [["representable", 1.0], ["self_describing", 1.0], ["not_sentinel", 1.0]]


def instant(y, mo, d, h=0, mi=0, s=0, nanos=0, offset=dt.timedelta(0)):
    """Nanoseconds since the epoch of a civil time at a UTC offset, by Python's datetime."""
    delta = dt.datetime(y, mo, d, h, mi, s, tzinfo=dt.timezone(offset)) - EPOCH
    return (delta.days * 86_400 + delta.seconds) * NS + nanos


def readings_of(text, format_id):
    return [r for r in epochsift.identify(text) if r["format_id"] == format_id]


def iso_instants(text):
    return [r["instant"] for r in readings_of(text, "iso8601")]


NOON = instant(2024, 5, 1, 12)

# --- ISO 8601: accepted forms -------------------------------------------------

ACCEPTED = [
    # every separator and both cases of the UTC designator
    ("2024-05-01T12:00:00Z", NOON),
    ("2024-05-01t12:00:00z", NOON),
    ("2024-05-01 12:00:00Z", NOON),
    # basic and extended forms, chosen independently for date and time
    ("20240501T120000Z", NOON),
    ("20240501T12:00:00Z", NOON),
    ("2024-05-01T120000Z", NOON),
    # reduced times
    ("2024-05-01T12Z", NOON),
    ("2024-05-01T12:00Z", NOON),
    ("2024-05-01T1200Z", NOON),
    ("2024-05-01T12:34Z", instant(2024, 5, 1, 12, 34)),
    # numeric offsets
    ("2024-05-01T12:00:00+02:00", 1_714_557_600 * NS),
    ("2024-05-01T12:00:00+0200", 1_714_557_600 * NS),
    ("2024-05-01T12:00:00+02", 1_714_557_600 * NS),
    ("2024-05-01T12:00:00-05:30", NOON + (5 * 3600 + 1800) * NS),
    ("2024-05-01T12:00:00-00:00", NOON),
    ("2024-05-01T12:00:00+05:45:30", NOON - (5 * 3600 + 45 * 60 + 30) * NS),
    ("2024-05-01T12:00:00+054530", NOON - (5 * 3600 + 45 * 60 + 30) * NS),
    ("2024-05-01T12:00:00+23:59", NOON - (23 * 3600 + 59 * 60) * NS),
    ("2024-05-01T12:00:00+25:59", NOON - (25 * 3600 + 59 * 60) * NS),
    ("2024-05-01T12+01", NOON - 3600 * NS),
    # fractions with either separator
    ("2024-05-01T12:00:00.5Z", NOON + NS // 2),
    ("2024-05-01T12:00:00,5Z", NOON + NS // 2),
    ("2024-05-01T120000,123456789Z", NOON + 123_456_789),
    # a leap second is read as the second before it
    ("2016-12-31T23:59:60Z", instant(2016, 12, 31, 23, 59, 59)),
    ("2016-12-31T23:59:60.25Z", instant(2016, 12, 31, 23, 59, 59, 250_000_000)),
    # signed six-digit years
    ("+002024-05-01T12:00:00Z", NOON),
    ("+000000-01-01T00:00:00Z", -62_167_219_200 * NS),
    ("-000001-01-01T00:00:00Z", -62_198_755_200 * NS),
    ("-0000010101T00Z", -62_198_755_200 * NS),
    # RFC 9557 suffixes change nothing
    ("2024-05-01T12:00:00Z[Europe/Paris]", NOON),
    ("2024-05-01T12:00:00Z[!Europe/Paris]", NOON),
    ("2024-05-01T12:00:00Z[America/Argentina/Buenos_Aires]", NOON),
    ("2024-05-01T12:00:00Z[Etc/GMT+5]", NOON),
    ("2024-05-01T12:00:00Z[+01:00]", NOON),
    ("2024-05-01T12:00:00Z[-0130]", NOON),
    ("2024-05-01T12:00:00Z[!+01]", NOON),
    ("2024-05-01T12:00:00Z[u-ca=gregory]", NOON),
    ("2024-05-01T12:00:00Z[!u-ca=islamic-umalqura]", NOON),
    ("2024-05-01T12:00:00Z[Europe/Paris][u-ca=iso8601]", NOON),
    ("2024-05-01T12:00:00Z[u-ca=gregory][u-ca=japanese]", NOON),  # neither critical: the first stands
    ("2024-05-01T12:00:00Z[x-vendor=a1-b2][_k=v]", NOON),  # unknown keys, not critical
    ("2024-05-01T12:00:00+02:00[Europe/Paris]", 1_714_557_600 * NS),
]


@pytest.mark.parametrize("text, expected", ACCEPTED)
def test_iso8601_accepted(text, expected):
    assert iso_instants(text) == [expected]


@pytest.mark.parametrize("digits", range(1, 10))
def test_iso8601_fraction_of_one_to_nine_digits(digits):
    fraction = "123456789"[:digits]
    expected = NOON + int(fraction.ljust(9, "0"))
    assert iso_instants(f"2024-05-01T12:00:00.{fraction}Z") == [expected]
    assert iso_instants(f"2024-05-01T12:00:00.{fraction}+00:00[UTC]") == [expected]


# --- ISO 8601: near misses ----------------------------------------------------

REJECTED = [
    "2024-05-01",  # a date alone
    "2024-05-01T12:00:00",  # no offset
    "2024-05-01T",
    "2024-05-01T12:00:00.1234567890Z",  # ten fraction digits
    "2024-05-01T12:00:00.Z",  # empty fraction
    "2024-05-01T12:00.5Z",  # fraction without seconds
    "2024-05-01T12.5Z",
    "2024-05-01T12:00:00Zx",  # trailing text
    "2024-05-01T12:00:00Z.",
    "2024-05-01T12:00:00+02:00x",
    "2024-05-01T12:00:00Z]",
    "2024-05-01_12:00:00Z",  # separators
    "2024-05-01  12:00:00Z",
    "2024-05-01T 12:00:00Z",
    "2024-0501T12:00:00Z",  # mixed basic and extended
    "202405-01T12:00:00Z",
    "2024-05-01T12:0000Z",
    "2024-05-01T1200:00Z",
    "2024-05-01T12:00:00+02:0000",
    "2024-05-01T12:00:00+0200:00",
    "2024-05-01T24:00:00Z",  # field ranges
    "2024-05-01T12:60:00Z",
    "2024-05-01T12:00:61Z",
    "2024-13-01T12:00:00Z",
    "2024-00-01T12:00:00Z",
    "2024-05-00T12:00:00Z",
    "2023-02-29T12:00:00Z",
    "2024-04-31T12:00:00Z",
    "2024-05-01T1:00:00Z",
    "24-05-01T12:00:00Z",
    "2024-05-01T12:00:00+26:00",  # offsets
    "2024-05-01T12:00:00+02:60",
    "2024-05-01T12:00:00+02:00:60",
    "2024-05-01T12:00:00+02:00:00.5",
    "2024-05-01T12:00:00+2",
    "2024-05-01T12:00:00+02:0",
    "2024-05-01T12:00:00+",
    "2024-05-01T12:00:00\u221202:00",  # MINUS SIGN is not ASCII
    "2024-05-01T12:00:00 +02:00",
    "-000000-01-01T00:00:00Z",  # years
    "+02024-05-01T12:00:00Z",
    "02024-05-01T12:00:00Z",
    "+010000-01-01T00:00:00Z",
    "-010000-01-01T00:00:00Z",
    "2024-05-01T12:00:00Z[]",  # annotations
    "2024-05-01T12:00:00Z[!]",
    "2024-05-01T12:00:00Z[Europe/Paris",
    "2024-05-01T12:00:00Z[!x-vendor=a]",  # unknown critical key
    "2024-05-01T12:00:00Z[Europe/Paris][Europe/Paris]",  # second time zone
    "2024-05-01T12:00:00Z[+01:00][Europe/Paris]",
    "2024-05-01T12:00:00Z[u-ca=gregory][Europe/Paris]",  # time zone after a key
    "2024-05-01T12:00:00Z[!u-ca=gregory][u-ca=japanese]",  # repeated calendar, one critical
    "2024-05-01T12:00:00Z[u-ca=gregory][!u-ca=japanese]",
    "2024-05-01T12:00:00Z[U-CA=gregory]",  # keys are lower case
    "2024-05-01T12:00:00Z[1a=b]",
    "2024-05-01T12:00:00Z[u-ca=]",
    "2024-05-01T12:00:00Z[u-ca=a--b]",
    "2024-05-01T12:00:00Z[u-ca=a_b]",
    "2024-05-01T12:00:00Z[+01:00:00]",  # zone offsets stop at minutes
    "2024-05-01T12:00:00Z[Europe//Paris]",
    "2024-05-01T12:00:00Z[Europe/]",
    "2024-05-01T12:00:00Z[..]",
    "2024-05-01T12:00:00Z[Europe Paris]",
    "2024-05-01T12:00:00Z[Europe/Paris]x",
]


@pytest.mark.parametrize("text", REJECTED)
def test_iso8601_rejected(text):
    assert iso_instants(text) == []


# --- ISO 8601: the calendar's edges --------------------------------------------

BOUNDARIES = [
    ("9999-12-30T22:00:00.999999999Z", MAX_CALENDAR_SECOND * NS + 999_999_999),
    ("9999-12-31T23:59:59+25:59:59", MAX_CALENDAR_SECOND * NS),
    ("9999-12-30T22:00:01Z", None),
    ("9999-12-31T00:00:00Z", None),
    ("-009999-01-01T00:00:00-25:59:59", MIN_CALENDAR_SECOND * NS),
    ("-009999-01-01T00:00:00-25:59:58", None),
    ("-009999-01-02T01:59:59Z", MIN_CALENDAR_SECOND * NS),
    ("-009999-01-02T01:59:58.999999999Z", None),
    ("-009999-01-01T00:00:00Z", None),
]


@pytest.mark.parametrize("text, expected", BOUNDARIES)
def test_iso8601_only_instants_inside_the_calendar(text, expected):
    assert iso_instants(text) == ([] if expected is None else [expected])


def test_iso8601_reading_fields():
    (reading,) = epochsift.identify("  2024-05-01T12:00:00+02:00  ")
    assert reading == {
        "format_id": "iso8601",
        "label": "ISO 8601 / RFC 3339 string",
        "citation": "ISO 8601:2019 / RFC 3339",
        "instant": 1_714_557_600_000_000_000,
        "rendered": "2024-05-01T10:00:00Z",
        "score": 1.0,
        "components": STRING_COMPONENTS,
        "assumptions": ["parsed as an ISO 8601 / RFC 3339 string (offset normalised to UTC)"],
        "sentinel": False,
    }


@st.composite
def rfc3339_texts(draw):
    """An RFC 3339 date-time in any of its spellings, with the instant Python computes for it."""
    local = draw(st.datetimes(min_value=dt.datetime(1, 1, 1), max_value=dt.datetime(9999, 12, 31, 23, 59, 59)))
    offset_minutes = draw(st.integers(-(23 * 60 + 59), 23 * 60 + 59))
    digits = draw(st.text("0123456789", min_size=0, max_size=9))
    separator = draw(st.sampled_from("Tt "))
    text = f"{local.year:04d}-{local.month:02d}-{local.day:02d}{separator}{local:%H:%M:%S}"
    if digits:
        text += draw(st.sampled_from(".,")) + digits
    if offset_minutes == 0 and draw(st.booleans()):
        text += draw(st.sampled_from("Zz"))
    else:
        sign = "-" if offset_minutes < 0 else "+"
        text += "%s%02d:%02d" % (sign, abs(offset_minutes) // 60, abs(offset_minutes) % 60)
    aware = local.replace(microsecond=0, tzinfo=dt.timezone(dt.timedelta(minutes=offset_minutes)))
    delta = aware - EPOCH
    seconds = delta.days * 86_400 + delta.seconds
    return text, seconds, seconds * NS + int(digits.ljust(9, "0") or 0)


@given(rfc3339_texts())
@settings(max_examples=500)
@example(("0001-01-01T00:00:00+00:01", -62_135_596_860, -62_135_596_860 * NS))
@example(("9999-12-31T23:59:59-00:01", 253_402_300_859, 253_402_300_859 * NS))
def test_rfc3339_gives_the_instant_datetime_computes(case):
    text, seconds, expected = case
    if MIN_CALENDAR_SECOND <= seconds <= MAX_CALENDAR_SECOND:
        (reading,) = readings_of(text, "iso8601")
        assert reading["instant"] == expected
        if seconds < FIRST_SECOND_OF_YEAR_1:
            return  # datetime has no year 0 to compare the rendering with
        utc = EPOCH + dt.timedelta(seconds=seconds)
        assert reading["rendered"].startswith(f"{utc.year:04d}-{utc:%m-%dT%H:%M:%S}")
    else:
        assert iso_instants(text) == []


# --- ASN.1 ---------------------------------------------------------------------

GENERALIZED_NOTE = "parsed as ASN.1 GeneralizedTime (4-digit year)"
UTC_NOTE = "parsed as ASN.1 UTCTime (2-digit year; RFC 5280 pivot: <50 => 20YY, else 19YY)"
NO_ZONE = "; NO timezone designator — assumed UTC, but may be local time"

ASN1 = [
    ("20240501120000Z", [("asn1_generalizedtime", NOON, GENERALIZED_NOTE)]),
    ("20240501120000z", [("asn1_generalizedtime", NOON, GENERALIZED_NOTE)]),
    ("240501120000Z", [("asn1_generalizedtime", 13_728_268_800 * NS, GENERALIZED_NOTE),
                       ("asn1_utctime", NOON, UTC_NOTE)]),
    ("200105011200Z", [("asn1_generalizedtime", 988_718_400 * NS, GENERALIZED_NOTE),
                       ("asn1_utctime", 1_578_186_720 * NS, UTC_NOTE)]),
    ("490101000000Z", [("asn1_utctime", instant(2049, 1, 1), UTC_NOTE)]),
    ("500101000000Z", [("asn1_utctime", instant(1950, 1, 1), UTC_NOTE)]),
    ("20240501120000+0130", [("asn1_generalizedtime", 1_714_559_400 * NS, GENERALIZED_NOTE)]),
    ("20240501120000-0500", [("asn1_generalizedtime", instant(2024, 5, 1, 17), GENERALIZED_NOTE)]),
    ("20240501120000", [("asn1_generalizedtime", NOON, GENERALIZED_NOTE + NO_ZONE)]),
    ("2405011200", [("asn1_generalizedtime", instant(2405, 1, 12), GENERALIZED_NOTE + NO_ZONE),
                    ("asn1_utctime", instant(2024, 5, 1, 12), UTC_NOTE + NO_ZONE)]),
    ("2024050112Z", [("asn1_generalizedtime", NOON, GENERALIZED_NOTE)]),
    ("20240501120000.5Z", [("asn1_generalizedtime", NOON + 500_000_000, GENERALIZED_NOTE)]),
    ("20240501120000,123456789987Z", [("asn1_generalizedtime", NOON + 123_456_789, GENERALIZED_NOTE)]),
    ("240501120000.25Z", [("asn1_utctime", NOON + 250_000_000, UTC_NOTE)]),
    # no reading of either kind
    ("20240501120000+2400", []),
    ("20240501120000+0160", []),
    ("20240501120000.Z", []),
    ("202405011200.5Z", []),
    ("20240501120060Z", []),
    ("20240231120000Z", []),
    ("2024050112000Z", []),
    ("2024-05-01Z", []),
    ("20240501120000.5xZ", []),
    ("Z", []),
]


@pytest.mark.parametrize("text, expected", ASN1)
def test_asn1_readings(text, expected):
    readings = [r for r in epochsift.identify(text) if r["format_id"].startswith("asn1_")]
    assert [(r["format_id"], r["instant"], r["assumptions"][0]) for r in readings] == expected
    for reading in readings:
        assert reading["components"] == STRING_COMPONENTS and reading["score"] == 1.0
        assert reading["citation"] == {
            "asn1_generalizedtime": "ITU-T X.680 / RFC 5280 §4.1.2.5.2",
            "asn1_utctime": "ITU-T X.680 / RFC 5280 §4.1.2.5.1",
        }[reading["format_id"]]


# --- JWT -------------------------------------------------------------------------


def b64url(data):
    if isinstance(data, str):
        data = data.encode()
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def jwt(payload, header="eyJhbGciOiJIUzI1NiJ9", signature="c2ln"):
    return f"{header}.{b64url(payload)}.{signature}"


def jwt_claims(text):
    return [(r["format_id"], r["instant"]) for r in epochsift.identify(text) if r["format_id"].startswith("jwt_")]


EXP_IAT = '{"exp":1700003600,"iat":1700000000}'
BOTH = [("jwt_iat", 1_700_000_000 * NS), ("jwt_exp", 1_700_003_600 * NS)]

JWT_TEXTS = [
    (jwt(EXP_IAT), BOTH),  # claim order is iat, exp, nbf whatever the member order
    (jwt('{"nbf":1,"exp":2,"iat":3}'), [("jwt_iat", 3 * NS), ("jwt_exp", 2 * NS), ("jwt_nbf", 1 * NS)]),
    (jwt(EXP_IAT).replace(".c2ln", "==.c2ln"), BOTH),  # padding
    ("x." + b64url(EXP_IAT) + "=+/!junk.y", BOTH),  # the first "=" ends the data
    (jwt(EXP_IAT, header="", signature=""), BOTH),
    (jwt(EXP_IAT, header="!!not base64!!", signature="*** ***"), BOTH),
    (jwt(EXP_IAT) + ".", []),  # four segments
    (jwt(EXP_IAT).replace(".", "", 1), []),  # one dot
    (jwt(' \t\n{"iat":5}\r\n '), [("jwt_iat", 5 * NS)]),
    (jwt('{"iat":-1}'), [("jwt_iat", -NS)]),
    (jwt('{"iat":-0}'), [("jwt_iat", 0)]),
    (jwt('{"iat":9223372036854775807}'), [("jwt_iat", 9_223_372_036_854_775_807 * NS)]),
    (jwt('{"iat":-9223372036854775808}'), [("jwt_iat", -9_223_372_036_854_775_808 * NS)]),
    (jwt('{"iat":9223372036854775808,"exp":1}'), [("jwt_exp", NS)]),
    (jwt('{"iat":-9223372036854775809,"exp":1}'), [("jwt_exp", NS)]),
    (jwt('{"iat":18446744073709551616,"exp":1}'), [("jwt_exp", NS)]),
    (jwt('{"iat":1700000000.0,"exp":1}'), [("jwt_exp", NS)]),
    (jwt('{"iat":1.7e9,"exp":1}'), [("jwt_exp", NS)]),
    (jwt('{"iat":17E8,"exp":1}'), [("jwt_exp", NS)]),
    (jwt('{"iat":"1700000000","exp":1}'), [("jwt_exp", NS)]),
    (jwt('{"iat":true,"exp":null,"nbf":[1]}'), []),
    (jwt('{"iat":{"iat":1},"exp":1}'), [("jwt_exp", NS)]),
    (jwt('{"iat":1,"iat":2}'), [("jwt_iat", 2 * NS)]),  # the last duplicate counts
    (jwt('{"iat":1,"iat":"2"}'), []),
    (jwt('{"a":{"iat":1},"b":[{"exp":2}]}'), []),  # only top-level members
    (jwt('[{"iat":1}]'), []),
    (jwt("1700000000"), []),
    (jwt('{"s":"caf\u00e9 \\ud83d\\ude00","iat":7}'), [("jwt_iat", 7 * NS)]),
    # whole payload refused
    (jwt(""), []),
    (jwt('{"iat":1}x'), []),
    (jwt('{"iat":1},'), []),
    (jwt('{"iat":1,}'), []),
    (jwt("{'iat':1}"), []),
    (jwt('{"iat":01}'), []),
    (jwt('{"iat":1e400}'), []),  # a number out of binary64 range fails the parse
    (jwt('{"iat":1} // c'), []),
    (jwt('{"iat":1}\x00'), []),  # a NUL is not the end of the text
    (jwt(b'\xef\xbb\xbf{"iat":1}'), []),  # no byte order mark
    (jwt(b'{"s":"\xff","iat":1}'), []),  # invalid UTF-8
    (jwt(b'{"s":"\xed\xa0\x80","iat":1}'), []),  # an encoded surrogate
    (jwt(b'{"s":"\xc0\xaf","iat":1}'), []),  # an overlong form
    (jwt('{"s":"\\ud800","iat":1}'), []),  # a lone surrogate escape
    (jwt('{"s":"a\tb","iat":1}'), []),  # a raw control character
]


@pytest.mark.parametrize("text, expected", JWT_TEXTS)
def test_jwt_claims(text, expected):
    assert jwt_claims(text) == expected


@pytest.mark.parametrize("bad", ["+", "/", " ", "\u00e9", "*"])
def test_jwt_payload_outside_base64url(bad):
    segment = b64url(EXP_IAT)
    assert jwt_claims(f"h.{segment[:8]}{bad}{segment[8:]}.s") == []


def test_jwt_segment_of_4k_plus_1_symbols_drops_the_last():
    segment = b64url('{"iat":1700000000}')  # 18 bytes, 24 symbols
    assert len(segment) % 4 == 0
    for extra in "A_-9":
        assert jwt_claims(f"h.{segment}{extra}.s") == [("jwt_iat", 1_700_000_000 * NS)]


@pytest.mark.parametrize("depth, read", [(128, True), (129, False)])
def test_jwt_nesting_limit(depth, read):
    # The top-level object is the first level.
    payload = '{"iat":1,"deep":' + "[" * (depth - 1) + "]" * (depth - 1) + "}"
    assert jwt_claims(jwt(payload)) == ([("jwt_iat", NS)] if read else [])


def test_jwt_reading_fields_and_unrenderable_instant():
    text = jwt('{"iat":253402300800}')
    (reading,) = epochsift.identify(text)
    assert reading == {
        "format_id": "jwt_iat",
        "label": "JWT issued-at (iat)",
        "citation": "RFC 7519 (JWT registered claims)",
        "instant": 253_402_300_800 * NS,
        "rendered": None,
        "score": 1.0,
        "components": STRING_COMPONENTS,
        "assumptions": ["JWT `iat` claim — Unix seconds"],
        "sentinel": False,
    }
    assert '"rendered":null,' in epochsift.identify_json(text)


def test_jwt_texts():
    readings = epochsift.identify(jwt('{"iat":1,"exp":2,"nbf":3}'))
    assert [(r["label"], r["assumptions"]) for r in readings] == [
        ("JWT issued-at (iat)", ["JWT `iat` claim — Unix seconds"]),
        ("JWT expiry (exp)", ["JWT `exp` claim — Unix seconds"]),
        ("JWT not-before (nbf)", ["JWT `nbf` claim — Unix seconds"]),
    ]


# --- Order of the steps ------------------------------------------------------------


def test_steps_keep_their_order():
    # One text that is a JWT, a PDF date (digits, then "Z" and anything) and
    # carries an ei= parameter; the table rows follow the JWT step, in table order.
    text = "D:2024Z." + b64url(EXP_IAT) + ".ei=APFTZQ"
    readings = epochsift.identify(text)
    assert [r["format_id"] for r in readings] == ["jwt_iat", "jwt_exp", "google_ei", "pdf_date"]
    assert all(r["score"] == 1.0 for r in readings)


def test_every_string_reading_has_the_fixed_score():
    for text in ["240501120000Z", "2024-05-01T12:00:00Z", jwt(EXP_IAT), "01ARZ3NDEKTSV4RRFFQ69G5FAV"]:
        for reading in epochsift.identify(text):
            assert reading["score"] == 1.0
            assert reading["components"] == STRING_COMPONENTS
            assert len(reading["assumptions"]) == 1 and not reading["sentinel"]


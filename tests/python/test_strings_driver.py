"""The string path as identify assembles it: which readings each text gets,
in which order, and what a missing zone adds. The forms each parser accepts
are tested at the parsers (tests/cpp/iso8601_test.cpp and the other parser tests)."""
import base64

import pytest
from hypothesis import given, strategies as st

import epochsift

NS = 10**9
STRING_COMPONENTS = [["representable", 1.0], ["self_describing", 1.0], ["not_sentinel", 1.0]]
NO_ZONE = "; NO timezone designator \u2014 assumed UTC, but may be local time"


def b64url(text):
    return base64.urlsafe_b64encode(text.encode()).rstrip(b"=").decode()


def test_a_padded_iso8601_text_is_read_once_with_its_offset():
    (reading,) = epochsift.identify("  2024-05-01T12:00:00+02:00  ")
    assert (reading["format_id"], reading["rendered"], reading["score"]) == ("iso8601", "2024-05-01T10:00:00Z", 1.0)
    assert reading["components"] == STRING_COMPONENTS and reading["sentinel"] is False


@pytest.mark.parametrize("text, expected", [
    # GeneralizedTime first, then UTCTime; the note says when the zone is missing.
    ("240501120000Z", [("asn1_generalizedtime", 13_728_268_800, False), ("asn1_utctime", 1_714_564_800, False)]),
    ("2405011200", [("asn1_generalizedtime", 13_728_268_800, True), ("asn1_utctime", 1_714_564_800, True)]),
    ("20240501120000+0130", [("asn1_generalizedtime", 1_714_559_400, False)]),
])
def test_asn1_readings(text, expected):
    readings = [r for r in epochsift.identify(text) if r["format_id"].startswith("asn1_")]
    assert [(r["format_id"], r["instant"], r["assumptions"][0].endswith(NO_ZONE)) for r in readings] == [
        (format_id, seconds * NS, no_zone) for format_id, seconds, no_zone in expected]


def test_jwt_claims_in_fixed_order():
    readings = epochsift.identify("h." + b64url('{"nbf":3,"exp":2,"iat":1}') + ".s")
    assert [(r["format_id"], r["instant"]) for r in readings] == [("jwt_iat", NS), ("jwt_exp", 2 * NS),
                                                                  ("jwt_nbf", 3 * NS)]


# A claim keeps its exact instant anywhere in 64 bits; outside the calendar's
# whole seconds it is not rendered. (Rendering itself: tests/cpp/time_test.cpp.)
@given(st.integers(-(2**63), 2**63 - 1))
def test_claims_keep_any_64_bit_instant(seconds):
    (reading,) = epochsift.identify("." + b64url('{"iat":%d}' % seconds) + ".")
    assert reading["instant"] == seconds * NS
    assert (reading["rendered"] is None) == (not -377_705_023_201 <= seconds <= 253_402_207_200)


def test_steps_keep_their_order():
    # One text that is a JWT, a PDF date (digits, then "Z" and anything) and
    # carries an ei= parameter; the table rows follow the JWT rows, in table order.
    text = "D:2024Z." + b64url('{"exp":1700003600,"iat":1700000000}') + ".ei=APFTZQ"
    readings = epochsift.identify(text)
    assert [r["format_id"] for r in readings] == ["jwt_iat", "jwt_exp", "google_ei", "pdf_date"]
    assert all(r["score"] == 1.0 for r in readings)

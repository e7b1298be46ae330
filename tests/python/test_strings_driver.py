"""The string path as identify assembles it: the texts of each step's readings and the order of the steps.
The forms each parser accepts are tested at the parsers (tests/cpp/iso8601_test.cpp and the other parser tests)."""
import base64

import pytest

import epochsift

NS = 10**9
STRING_COMPONENTS = [["representable", 1.0], ["self_describing", 1.0], ["not_sentinel", 1.0]]


def b64url(text):
    return base64.urlsafe_b64encode(text.encode()).rstrip(b"=").decode()


def test_iso8601_reading_in_full():
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


GENERALIZED = ("asn1_generalizedtime", "ASN.1 GeneralizedTime", "ITU-T X.680 / RFC 5280 \u00a74.1.2.5.2",
               "parsed as ASN.1 GeneralizedTime (4-digit year)")
UTC_TIME = ("asn1_utctime", "ASN.1 UTCTime", "ITU-T X.680 / RFC 5280 \u00a74.1.2.5.1",
            "parsed as ASN.1 UTCTime (2-digit year; RFC 5280 pivot: <50 => 20YY, else 19YY)")
NO_ZONE = "; NO timezone designator \u2014 assumed UTC, but may be local time"


@pytest.mark.parametrize("text, expected", [
    # GeneralizedTime first, then UTCTime; the note says when the zone is missing.
    ("240501120000Z", [(GENERALIZED, 13_728_268_800, ""), (UTC_TIME, 1_714_564_800, "")]),
    ("2405011200", [(GENERALIZED, 13_728_268_800, NO_ZONE), (UTC_TIME, 1_714_564_800, NO_ZONE)]),
    ("20240501120000+0130", [(GENERALIZED, 1_714_559_400, "")]),
])
def test_asn1_readings(text, expected):
    readings = [r for r in epochsift.identify(text) if r["format_id"].startswith("asn1_")]
    assert [(r["format_id"], r["label"], r["citation"], r["instant"], r["assumptions"]) for r in readings] == [
        (format_id, label, citation, seconds * NS, [note + zone])
        for (format_id, label, citation, note), seconds, zone in expected
    ]
    assert all(r["score"] == 1.0 and r["components"] == STRING_COMPONENTS for r in readings)


def test_jwt_claims_in_fixed_order_with_their_texts():
    readings = epochsift.identify("h." + b64url('{"nbf":3,"exp":2,"iat":1}') + ".s")
    assert [(r["format_id"], r["label"], r["instant"], r["assumptions"]) for r in readings] == [
        ("jwt_iat", "JWT issued-at (iat)", 1 * NS, ["JWT `iat` claim \u2014 Unix seconds"]),
        ("jwt_exp", "JWT expiry (exp)", 2 * NS, ["JWT `exp` claim \u2014 Unix seconds"]),
        ("jwt_nbf", "JWT not-before (nbf)", 3 * NS, ["JWT `nbf` claim \u2014 Unix seconds"]),
    ]


def test_jwt_reading_of_an_unrenderable_instant():
    text = "." + b64url('{"iat":253402300800}') + "."
    (reading,) = epochsift.identify(text)
    assert reading == {
        "format_id": "jwt_iat",
        "label": "JWT issued-at (iat)",
        "citation": "RFC 7519 (JWT registered claims)",
        "instant": 253_402_300_800 * NS,
        "rendered": None,
        "score": 1.0,
        "components": STRING_COMPONENTS,
        "assumptions": ["JWT `iat` claim \u2014 Unix seconds"],
        "sentinel": False,
    }
    assert '"rendered":null,' in epochsift.identify_json(text)


def test_steps_keep_their_order():
    # One text that is a JWT, a PDF date (digits, then "Z" and anything) and
    # carries an ei= parameter; the table rows follow the JWT step, in table order.
    text = "D:2024Z." + b64url('{"exp":1700003600,"iat":1700000000}') + ".ei=APFTZQ"
    readings = epochsift.identify(text)
    assert [r["format_id"] for r in readings] == ["jwt_iat", "jwt_exp", "google_ei", "pdf_date"]
    assert all(r["score"] == 1.0 for r in readings)

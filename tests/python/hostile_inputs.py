"""Hostile texts shared by the tests and bench/hostile_scaling.py: one
family per way a parser could recurse, rescan or copy without bound."""
import base64

# Every character with the Unicode White_Space property.
WHITE_SPACE = (
    "\t\n\x0b\x0c\r \x85\xa0\u1680"
    + "".join(chr(c) for c in range(0x2000, 0x200B))
    + "\u2028\u2029\u202f\u205f\u3000"
)


def jwt_with_payload(payload):
    return "." + base64.urlsafe_b64encode(payload).decode().rstrip("=") + "."


def hostile_inputs(size):
    """Each family of hostile text at about `size` characters."""
    half = size // 2
    space_half = WHITE_SPACE * (half // len(WHITE_SPACE))
    return {
        "digits": "1" * size,
        "leading_zeros": "0" * size + "1700000000",
        "long_decimal": "1" * half + "." + "1" * half,
        "huge_exponent": "1e" + "9" * size,
        "spaces": " " * size,
        "white_space_mix": (WHITE_SPACE * (size // len(WHITE_SPACE) + 1))[:size],
        "white_space_around": space_half + "1700000000" + space_half,
        "plus_signs": "+" * size,
        "dots": "." * size,
        "hyphens": "-" * size,
        "colons": ":" * size,
        "slashes": "/" * size,
        "open_brackets": "[" * size,
        "nested_brackets": "[" * half + "]" * half,
        "annotations": "2024-05-01T12:00:00Z" + "[a=b]" * (size // 5),
        "ei_repeated": "ei=" * (size // 3),
        "ei_long_value": "ei=" + "A" * size,
        "jwt_nested_arrays": jwt_with_payload(b"[" * (size // 3) + b"]" * (size // 3)),
        "jwt_nested_objects": jwt_with_payload(b'{"a":' * (size // 8) + b"1" + b"}" * (size // 8)),
        "jwt_long_payload": jwt_with_payload(b'{"iat":1700000000,"x":"' + b"x" * (size // 2) + b'"}'),
        "rfc2822_nested_comment": "Tue, 1 Jul 2003 10:52:37 +0200 " + "(" * half + ")" * half,
        "rfc2822_open_comment": "(" * size + "Tue, 1 Jul 2003 10:52:37 +0200",
        "pdf_digits": "D:" + "2" * size,
        "pdf_apostrophes": "D:20240101120000+05" + "'" * size,
        "iso8601_fraction": "2024-05-01T12:00:00." + "1" * size + "Z",
        "asn1_fraction": "20240501120000." + "1" * size + "Z",
        "exif_padding": "2024:01:02 03:04:" + "0" * size + "5",
        "nul_bytes": "\x00" * size,
        "non_ascii": "\u00e9" * half,
    }


# One text per form the engine reads, plus texts that read as nothing.
CORPUS = [
    "1700000000",
    "1700000000000",
    "0",
    "-1",
    "-9223372036854775808",
    "9223372036854775807",
    "18446744073709551615",
    "14092720279752960",
    "1700000000.5",
    "45000.5",
    "-0.0",
    "nan",
    "2024-05-01T12:00:00+02:00",
    "2024-05-01 12:00:00Z[Europe/Paris]",
    "20240501120000.5+0130",
    "240501120000Z",
    "eyJhbGciOiJub25lIn0.eyJleHAiOjE3MDAwMDM2MDAsImlhdCI6MTcwMDAwMDAwMH0.",
    "01ARZ3NDEKTSV4RRFFQ69G5FAV",
    "7ZZZZZZZZZZZZZZZZZZZZZZZZZ",
    "C232AB00-9414-11EC-B3C8-9F6BDECED846",
    "1EC9414C-232A-6B00-B3C8-9F6BDECED846",
    "017F22E2-79B0-7CC3-98C4-DC0C0C07398F",
    "507f1f77bcf86cd799439011",
    "q=x&ei=APFTZQ&ved=1",
    "[10/Oct/2000:13:55:36 -0700]",
    "D:20240101120000+05'30'",
    "20240101120000.000000+060",
    "Tue, 1 Jul 2003 10:52:37 +0200 (comment (nested))",
    "2024:01:02 03:04:05",
    "2024-060",
    "2020-W53-5",
    "",
    "hello",
    "\u3000\u2029 1700000000 \x85",
    "\x00\x00",
    "\U0001f600 2024",
]

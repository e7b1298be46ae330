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

# Types of the extension module epochsift (epochsift.abi3.so).
#
# Reading exists only here, for type checkers: import it under
# `if typing.TYPE_CHECKING:` or use it in string annotations.

import datetime
from typing import Any, Iterable, Literal, SupportsIndex, TypedDict, Union, final

from typing_extensions import NotRequired

__version__: str

__all__ = ["identify", "identify_json", "identify_column", "identify_bytes", "encode", "identify_many", "identify_arrow",
           "hint_words", "scan", "scan_arrow"]

# One score component as it comes back from the JSON text: a two-item list
# [name, value], not a tuple, so it is typed as the list it is. Unpack it with
# `name, value = component` and narrow with isinstance or cast as needed.
_Component = list[str | float]

class Reading(TypedDict):
    """One reading of the value: if it is in format `format_id`, it denotes `instant`."""

    format_id: str
    label: str
    citation: str
    instant: int  # signed nanoseconds since 1970-01-01T00:00:00Z, any size
    rendered: str | None  # RFC 3339 UTC text; None outside -9999-01-02T01:59:59Z to 9999-12-30T22:00:00Z
    score: float
    # The reading's share of belief among the value's readings (they sum to
    # 1), calibrated on values made by real tools: of readings given 0.7,
    # about 7 in 10 are right. Extended readings only.
    confidence: NotRequired[float]
    components: list[_Component]
    assumptions: list[str]
    sentinel: bool

# One end of a caller's window: an aware datetime, RFC 3339 text with an
# offset, or an integer count of nanoseconds since 1970-01-01T00:00:00Z.
_WindowEnd = Union[datetime.datetime, str, int]

def identify(
    value: str,
    *,
    extended: bool = False,
    hint: str | None = None,
    byte_width: int | None = None,
    byte_order: Literal["little", "big"] | None = None,
    neighbours: Iterable[int | str] | None = None,
    window: tuple[_WindowEnd, _WindowEnd] | None = None,
    tz: str | None = None,
    local_zone: str | None = None,
) -> list[Reading]:
    """Identify a timestamp value across every format family, returning the ranked
    readings as a list of dicts. Empty list if nothing decodes.

    Called with the value alone this is the reference reading. The options are
    keyword-only: `extended` ranks with the extended evidence (family prior,
    soft plausibility, producer resolutions, identifier structure); `hint`
    names the artifact the value came from; `byte_width` (1 to 16) and
    `byte_order` ("little" or "big") describe the stored field; `neighbours`
    are the same field's other values in stored order; `window` is a
    (start, end) pair that replaces every family's own window; `tz` adds each
    reading's wall clock in that zone (IANA name or fixed offset) under "local";
    `local_zone` reads the wall-clock families as that zone's local time. Any
    options combine: readings are ranked under the others, then seen through
    the zones. Raises
    TypeError or ValueError for an option of the wrong type or value, TypeError
    unless `value` is a str, UnicodeEncodeError if it holds a lone surrogate,
    MemoryError if memory runs out. Texts of 8 KiB and more are read with the
    GIL released."""

def identify_json(
    value: str,
    *,
    extended: bool = False,
    hint: str | None = None,
    byte_width: int | None = None,
    byte_order: Literal["little", "big"] | None = None,
    neighbours: Iterable[int | str] | None = None,
    window: tuple[_WindowEnd, _WindowEnd] | None = None,
    tz: str | None = None,
    local_zone: str | None = None,
) -> str:
    """Identify a value, returning the ranked readings as a JSON string. Takes
    the options of identify."""

class _BytesVerdict(TypedDict, total=False):
    byte_order: Literal["little", "big"]  # a column of hex bytes: the order the format read them in

class Verdict(_BytesVerdict):
    """One format's verdict on a column of values."""

    format_id: str
    label: str
    score: float  # the verdict's share of the evidence, in [0, 1]
    read: int  # values the format decodes
    in_window: int  # of those, inside the window (the caller's or the format's)
    ordered: float  # share of neighbouring read pairs whose instants do not fall
    first: int  # instant of the first value read, nanoseconds since the Unix epoch
    last: int  # instant of the last value read
    earliest: int  # the least instant read, wherever it stands in the column
    latest: int  # the greatest instant read

def identify_column(
    values: Iterable[str | int | SupportsIndex],
    *,
    hint: str | None = None,
    byte_width: int | None = None,
    byte_order: Literal["little", "big"] | None = None,
    window: tuple[_WindowEnd, _WindowEnd] | None = None,
) -> list[Verdict]:
    """Judge many values of one field together: which format reads the column,
    weighing how specific each format's structure is. Verdicts best first.
    Hex bytes are read in both orders (or only byte_order), and such a
    verdict names the order under byte_order."""

def identify_bytes(
    data: Union[bytes, bytearray, memoryview],
    *,
    byte_order: Literal["little", "big"] | None = None,
    hint: str | None = None,
    window: tuple[_WindowEnd, _WindowEnd] | None = None,
) -> list[Reading]:
    """Identify 1 to 16 raw bytes: as unsigned and signed integers in both byte
    orders (or only byte_order) through every integer family, as binary64 when
    there are 8, and as the binary time records of their width. Each reading
    states the order and width it assumed. Raises ValueError for fewer than 1
    or more than 16 bytes, TypeError for any other type."""

class Encoded(TypedDict):
    """One family's value for an instant, and the instant identify reads back from it."""

    format_id: str
    label: str
    value: str
    instant: int
    rendered: str | None
    hex_be: str | None
    hex_le: str | None
    exact: bool
    assumptions: list[str]

def encode(
    when: int | str | datetime.datetime,
    *,
    families: list[str] | None = None,
    tz: str | None = None,
    local_zone: str | None = None,
) -> list[Encoded]:
    """The value each family would hold for an instant. hex_le is None where
    the bytes have no byte order (BCD digits, semi-octets). With local_zone,
    `when` may be a naive datetime or text without offset, read as that
    zone's wall clock; the wall-clock families are written in tz's wall
    clock (else local_zone's, else UTC's)."""

class HintWords(TypedDict):
    matched: dict[str, list[str]]
    generic: list[str]
    unmatched: list[str]

def hint_words(hint: str) -> HintWords:
    """What the extended reading makes of a hint: each word that implies
    formats with their ids, the generic words that carry no evidence, and
    the words the vocabulary does not know (they change no score)."""

def identify_many(
    values: Iterable[str | int | SupportsIndex],
    *,
    threads: int | None = None,
    best: int | None = None,
    extended: bool = True,
    hint: str | None = None,
    byte_width: int | None = None,
    byte_order: Literal["little", "big"] | None = None,
    neighbours: Iterable[int | str] | None = None,
    window: tuple[_WindowEnd, _WindowEnd] | None = None,
    tz: str | None = None,
    local_zone: str | None = None,
) -> list[list[Reading]]:
    """identify(value, extended=True) of every value (integers read as their
    decimal text), in input order; with `best=K` only each value's first K
    readings; extended=False gives the reference reading. The engine runs without the GIL on `threads` threads
    (default: the cores this process may use). identify's options apply to
    every value: each list equals identify(value, extended=True, **options), and a wrong
    option raises identify's TypeError or ValueError.

    Raises identify's TypeError or UnicodeEncodeError for a bad item, naming its
    index; nothing is returned then."""

@final
class ReadingColumns:
    """Readings of an Arrow string column, exported through the Arrow PyCapsule
    interface: a struct column with row (int64), rank (int32), format_id, label,
    instant (timestamp[ns, UTC]), rendered, score and confidence (float64; null
    where the reading weighs none)."""

    def __arrow_c_array__(self, /, requested_schema: object | None = None) -> tuple[Any, Any]: ...
    def __arrow_c_stream__(self, /, requested_schema: object | None = None) -> Any: ...
    def __len__(self) -> int: ...

def identify_arrow(
    column: Any,
    *,
    best: int | None = 1,
    keep_empty: bool = False,
    by_column: bool | str = False,
    threads: int | None = None,
    extended: bool = True,
    hint: str | None = None,
    byte_width: int | None = None,
    byte_order: Literal["little", "big"] | None = None,
    neighbours: Iterable[int | str] | None = None,
    window: tuple[_WindowEnd, _WindowEnd] | None = None,
    tz: str | None = None,
    local_zone: str | None = None,
) -> ReadingColumns:
    """Read an Arrow string column (an object with __arrow_c_stream__ or
    __arrow_c_array__ holding utf8, large_utf8 or string_view) in place; one
    output row per kept reading (the first `best`; None keeps every reading).
    Null values and values without readings give no rows, unless
    keep_empty=True: then each gives one row with every reading field null,
    so the rows line up with the input. Integer columns are read as decimal
    text. The reading is extended unless extended=False; identify's options
    apply to every value and the rows are identify(value, extended=True,
    **options)'s readings in its order. `local_zone` places wall-clock readings (a fold
    gives two rows); `tz` adds no column: the instant column is UTC, which
    any consumer shows in any zone. by_column=True finds the column's format
    (identify_column over it, or over values spread evenly through a long
    column) and gives each value that format's reading alone, as the full
    reading lists it; a value the format does not read gets the full
    reading's first `best`; a last field, path, says which ("verdict" or
    "full"). by_column="ID" names the format instead."""

# Internal to epochsift.spark: identify_column split into mergeable tallies
# and the finishing step.
def _column_tallies(
    values: Iterable[str],
    *,
    hint: str | None = None,
    byte_width: int | None = None,
    byte_order: Literal["little", "big"] | None = None,
    window: tuple[_WindowEnd, _WindowEnd] | None = None,
) -> list[list[Any]]: ...
def _column_verdicts(
    runs: Iterable[list[list[Any]]],
    *,
    hint: str | None = None,
    byte_width: int | None = None,
    byte_order: Literal["little", "big"] | None = None,
    window: tuple[_WindowEnd, _WindowEnd] | None = None,
) -> list[Verdict]: ...

class ScanHit(TypedDict):
    """One timestamp found in raw bytes: the field at `offset`, read in format `format_id`."""

    offset: int
    width: int
    order: Literal["little", "big"] | None
    format_id: str
    label: str
    instant: int
    rendered: str | None
    confidence: float
    record: int
    local: bool
    evidence: list[_Component]

def scan(
    data: Any,
    *,
    window: tuple[_WindowEnd, _WindowEnd] | None = None,
    widths: Iterable[int] | None = None,
    formats: Iterable[str] | None = None,
    best: int | None = None,
    extended: bool = True,
    all: bool = False,
    threads: int | None = None,
) -> list[ScanHit]: ...

@final
class ScanColumns:
    """A blob scan's hits, exported through the Arrow PyCapsule interface: a struct
    column with offset (int64), width (int32), order, format_id, label, instant
    (timestamp[ns, UTC]), rendered, confidence (float64), record (int64) and local."""

    def __arrow_c_array__(self, /, requested_schema: object | None = None) -> tuple[Any, Any]: ...
    def __arrow_c_stream__(self, /, requested_schema: object | None = None) -> Any: ...
    def __len__(self) -> int: ...

def scan_arrow(
    data: Any,
    *,
    window: tuple[_WindowEnd, _WindowEnd] | None = None,
    widths: Iterable[int] | None = None,
    formats: Iterable[str] | None = None,
    best: int | None = None,
    extended: bool = True,
    all: bool = False,
    threads: int | None = None,
) -> ScanColumns: ...

# Types of the extension module epochsift (epochsift.abi3.so).
#
# Reading exists only here, for type checkers: import it under
# `if typing.TYPE_CHECKING:` or use it in string annotations.

from typing import Any, Iterable, TypedDict, final

__all__ = ["identify", "identify_json", "identify_many", "identify_arrow"]

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
    rendered: str | None  # RFC 3339 UTC text; None outside the years -9999 to 9999
    score: float
    components: list[_Component]
    assumptions: list[str]
    sentinel: bool

def identify(value: str) -> list[Reading]:
    """Identify a timestamp value across every format family, returning the ranked
    readings as a list of dicts. Empty list if nothing decodes.

    Raises TypeError unless `value` is a str, UnicodeEncodeError if it holds a
    lone surrogate, MemoryError if memory runs out. Texts of 8 KiB and more are
    read with the GIL released."""

def identify_json(value: str) -> str:
    """Identify a value, returning the ranked readings as a JSON string.

    Raises as `identify` does."""

def identify_many(values: Iterable[str], *, threads: int | None = None, best: int | None = None) -> list[list[Reading]]:
    """identify() of every value, in input order; with `best=K` only each value's
    first K readings. The engine runs without the GIL on `threads` threads
    (default: the cores this process may use).

    Raises identify's TypeError or UnicodeEncodeError for a bad item, naming its
    index; nothing is returned then."""

@final
class ReadingColumns:
    """Readings of an Arrow string column, exported through the Arrow PyCapsule
    interface: a struct column with row (int64), rank (int32), format_id, label,
    instant (timestamp[ns, UTC]), rendered and score (float64)."""

    def __arrow_c_array__(self, /, requested_schema: object | None = None) -> tuple[Any, Any]: ...
    def __arrow_c_stream__(self, /, requested_schema: object | None = None) -> Any: ...
    def __len__(self) -> int: ...

def identify_arrow(column: Any, *, best: int | None = 1, threads: int | None = None) -> ReadingColumns:
    """Read an Arrow string column (an object with __arrow_c_stream__ or
    __arrow_c_array__ holding utf8, large_utf8 or string_view) in place; one
    output row per kept reading (the first `best`; None keeps every reading). Null values and values without readings give
    no rows."""

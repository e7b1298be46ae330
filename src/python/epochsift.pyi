# Types of the extension module epochsift (epochsift.abi3.so).
#
# Reading exists only here, for type checkers: import it under
# `if typing.TYPE_CHECKING:` or use it in string annotations.

import datetime
from typing import TypedDict

__all__ = ["identify", "identify_json", "encode"]

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

def encode(when: int | str | datetime.datetime, *, families: list[str] | None = None) -> list[Encoded]:
    """The value each family would hold for an instant."""

def identify(value: str, *, extended: bool = False, tz: str | None = None, local_zone: str | None = None) -> list[Reading]:
    """Identify a timestamp value across every format family, returning the ranked
    readings as a list of dicts. Empty list if nothing decodes."""

def identify_json(value: str, *, extended: bool = False, tz: str | None = None, local_zone: str | None = None) -> str:
    """Identify a value, returning the ranked readings as a JSON string."""

"""Arrow columns built field by field with ctypes, after the Arrow C data
interface's struct layouts, so that a test can hand identify_arrow any value
a producer could put in any field (pyarrow only makes well-formed arrays)."""
import ctypes
from ctypes import POINTER, c_char_p, c_int, c_int32, c_int64, c_void_p



class ArrowSchema(ctypes.Structure):
    pass


class ArrowArray(ctypes.Structure):
    pass


SchemaRelease = ctypes.CFUNCTYPE(None, POINTER(ArrowSchema))
ArrayRelease = ctypes.CFUNCTYPE(None, POINTER(ArrowArray))

ArrowSchema._fields_ = [
    ("format", c_char_p), ("name", c_char_p), ("metadata", c_char_p), ("flags", c_int64),
    ("n_children", c_int64), ("children", POINTER(POINTER(ArrowSchema))), ("dictionary", POINTER(ArrowSchema)),
    ("release", SchemaRelease), ("private_data", c_void_p),
]
ArrowArray._fields_ = [
    ("length", c_int64), ("null_count", c_int64), ("offset", c_int64), ("n_buffers", c_int64),
    ("n_children", c_int64), ("buffers", POINTER(c_void_p)), ("children", POINTER(POINTER(ArrowArray))),
    ("dictionary", POINTER(ArrowArray)), ("release", ArrayRelease), ("private_data", c_void_p),
]


class ArrowArrayStream(ctypes.Structure):
    pass


GetSchema = ctypes.CFUNCTYPE(c_int, POINTER(ArrowArrayStream), POINTER(ArrowSchema))
GetNext = ctypes.CFUNCTYPE(c_int, POINTER(ArrowArrayStream), POINTER(ArrowArray))
GetLastError = ctypes.CFUNCTYPE(c_char_p, POINTER(ArrowArrayStream))
StreamRelease = ctypes.CFUNCTYPE(None, POINTER(ArrowArrayStream))
ArrowArrayStream._fields_ = [
    ("get_schema", GetSchema), ("get_next", GetNext), ("get_last_error", GetLastError),
    ("release", StreamRelease), ("private_data", c_void_p),
]

_new_capsule = ctypes.pythonapi.PyCapsule_New
_new_capsule.restype = ctypes.py_object
_new_capsule.argtypes = [c_void_p, c_char_p, c_void_p]
# A capsule keeps its name's pointer: these bytes live as long as the module.
SCHEMA_NAME, ARRAY_NAME, STREAM_NAME = b"arrow_schema", b"arrow_array", b"arrow_array_stream"


class Released:
    """Counts release calls; each clears the struct's release, as the
    interface requires of a release callback."""

    def __init__(self):
        self.calls = []

    def schema(self):
        @SchemaRelease
        def release(schema):
            self.calls.append("schema")
            schema.contents.release = SchemaRelease()
        return release

    def array(self):
        @ArrayRelease
        def release(array):
            self.calls.append("array")
            array.contents.release = ArrayRelease()
        return release


def buffer_list(*buffers):
    """A buffers array: each item bytes, a ctypes array, or None (NULL)."""
    pointers = (c_void_p * max(len(buffers), 1))()
    for i, item in enumerate(buffers):
        pointers[i] = None if item is None else ctypes.cast(item, c_void_p).value
    return pointers


class Column:
    """One ArrowSchema and ArrowArray, exported by __arrow_c_array__. Every
    ctypes object they point to is kept here, so nothing is freed early."""

    def __init__(self, format=b"u", texts=("1700000000", "2023-11-14T22:13:20Z")):
        self.keep = []
        self.released = Released()
        # The callbacks are kept here too: a struct moved elsewhere still calls them.
        self.callbacks = [self.released.schema(), self.released.array(), self.released.schema(),
                          self.released.array()]
        self.schema = ArrowSchema(format=format, flags=2, release=self.callbacks[0])
        data = "".join(texts).encode()
        ends = [0]
        for text in texts:
            ends.append(ends[-1] + len(text.encode()))
        offsets = (c_int64 if format == b"U" else c_int32) * len(ends)
        self.offsets = offsets(*ends)
        self.data = ctypes.create_string_buffer(data, max(len(data), 1))
        self.array = ArrowArray(length=len(texts), null_count=0, offset=0, n_buffers=3,
                                release=self.callbacks[1])
        self.set_buffers(None, self.offsets, self.data)

    def set_buffers(self, *buffers):
        pointers = buffer_list(*buffers)
        self.keep.append((pointers, buffers))
        self.array.n_buffers = len(buffers)
        self.array.buffers = pointers

    def as_struct(self):
        """A record batch of this column as its one field."""
        self.child_schema, self.child_array = self.schema, self.array
        self.schema_children = (POINTER(ArrowSchema) * 1)(ctypes.pointer(self.child_schema))
        self.array_children = (POINTER(ArrowArray) * 1)(ctypes.pointer(self.child_array))
        self.schema = ArrowSchema(format=b"+s", flags=0, n_children=1, children=self.schema_children,
                                  release=self.callbacks[2])
        validity = buffer_list(None)
        self.keep.append(validity)
        self.array = ArrowArray(length=self.child_array.length, null_count=0, offset=0, n_buffers=1, n_children=1,
                                buffers=validity, children=self.array_children, release=self.callbacks[3])
        return self

    def __arrow_c_array__(self, requested_schema=None):
        return (_new_capsule(ctypes.addressof(self.schema), SCHEMA_NAME, None),
                _new_capsule(ctypes.addressof(self.array), ARRAY_NAME, None))


def view_column(views, data_buffers, sizes=None):
    """A string_view column: views as (length, inline text or (buffer, offset))."""
    column = Column()
    column.schema.format = b"vu"
    raw = bytearray()
    for length, where in views:
        if isinstance(where, bytes):
            raw += length.to_bytes(4, "little", signed=True) + where.ljust(12, b"\0")
        else:
            buffer, offset = where
            raw += (length.to_bytes(4, "little", signed=True) + b"\0" * 4
                    + buffer.to_bytes(4, "little", signed=True) + offset.to_bytes(4, "little", signed=True))
    column.views = ctypes.create_string_buffer(bytes(raw), max(len(raw), 1))
    buffers = [ctypes.create_string_buffer(b, max(len(b), 1)) for b in data_buffers]
    column.sizes = (c_int64 * max(len(data_buffers), 1))(
        *(sizes if sizes is not None else [len(b) for b in data_buffers]))
    column.array.length = len(views)
    column.set_buffers(None, column.views, *buffers, column.sizes)
    return column


class Stream:
    """An ArrowArrayStream of Python callbacks over a list of Columns (all
    sharing the first one's schema), or failing where told to."""

    def __init__(self, columns, fail_at=None, error=b"producer says no"):
        self.columns = columns
        self.next = 0
        self.error = error
        self.calls = []

        # What the struct points to must outlive the call: kept here.
        self.format = columns[0].schema.format
        self.schema_release = columns[0].released.schema()

        @GetSchema
        def get_schema(stream, out):
            out.contents.format = self.format
            out.contents.flags = columns[0].schema.flags
            out.contents.release = self.schema_release
            return 0

        @GetNext
        def get_next(stream, out):
            if self.next == fail_at:
                return 5  # EIO
            if self.next == len(columns):
                out.contents.release = ArrayRelease()
                return 0
            ctypes.memmove(out, ctypes.addressof(columns[self.next].array), ctypes.sizeof(ArrowArray))
            columns[self.next].array.release = ArrayRelease()  # moved into the consumer's struct
            self.next += 1
            return 0

        @GetLastError
        def get_last_error(stream):
            return self.error

        @StreamRelease
        def release(stream):
            self.calls.append("stream")
            stream.contents.release = StreamRelease()

        self.stream = ArrowArrayStream(get_schema=get_schema, get_next=get_next, get_last_error=get_last_error,
                                       release=release)
        self.callbacks = (get_schema, get_next, get_last_error, release)

    def __arrow_c_stream__(self, requested_schema=None):
        return _new_capsule(ctypes.addressof(self.stream), STREAM_NAME, None)

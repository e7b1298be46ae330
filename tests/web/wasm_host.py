"""The page's WebAssembly module run outside a browser, under wasmtime: the
same C interface (src/wasm/epochsift.h) the page calls, for the tests and
the benchmark."""

import json
import pathlib
import struct

import wasmtime

ROOT = pathlib.Path(__file__).resolve().parents[2]
WASM = ROOT / "build" / "web" / "epochsift.wasm"


class EngineError(Exception):
    def __init__(self, status, message):
        super().__init__("%d: %s" % (status, message))
        self.status = status


class WasmEngine:
    def __init__(self, path=WASM):
        self.engine = wasmtime.Engine()
        self.store = wasmtime.Store(self.engine)
        # No preopened folder, no environment, no arguments: the module must
        # need none of them.
        self.store.set_wasi(wasmtime.WasiConfig())
        linker = wasmtime.Linker(self.engine)
        linker.define_wasi()
        module = wasmtime.Module.from_file(self.engine, str(path))
        self.imports = [(i.module, i.name) for i in module.imports]
        self.instance = linker.instantiate(self.store, module)
        self.exports = self.instance.exports(self.store)
        self.memory = self.exports["memory"]
        self.exports["_initialize"](self.store)
        self.slots = self.call("epochsift_alloc", 8)

    def call(self, name, *args):
        return self.exports[name](self.store, *args)

    def put(self, data):
        if not data:
            return 0, 0
        pointer = self.call("epochsift_alloc", len(data))
        assert pointer != 0
        self.memory.write(self.store, data, pointer)
        return pointer, len(data)

    def answer(self, name, *texts):
        """Calls name with each text as (pointer, size), then the answer's
        slots; the answer's text, or EngineError with the status."""
        args, owned = [], []
        for text in texts:
            data = text if isinstance(text, bytes) else text.encode("utf-8", "surrogatepass")
            pointer, size = self.put(data)
            owned.append(pointer)
            args += [pointer, size]
        status = self.call(name, *args, self.slots, self.slots + 4)
        pointer, size = struct.unpack("<II", self.memory.read(self.store, self.slots, self.slots + 8))
        text = self.memory.read(self.store, pointer, pointer + size).decode("utf-8") if pointer else ""
        self.call("epochsift_free", pointer)
        for p in owned:
            self.call("epochsift_free", p)
        if status != 0:
            raise EngineError(status, json.loads(text)["error"] if text else "")
        return text

    def identify_json(self, value, **options):
        return self.answer("epochsift_identify", value, json.dumps(options) if options else "")

    def identify_hex(self, text, **options):
        return self.answer("epochsift_identify_hex", text, json.dumps(options) if options else "")

    def identify_lines(self, lines, **options):
        return self.answer("epochsift_identify_lines", lines, json.dumps(options) if options else "")

    def encode(self, when, **options):
        return self.answer("epochsift_encode", when, json.dumps(options) if options else "")

    def identify_column(self, values, pieces=1, **options):
        """The column's verdicts, the values fed in `pieces` runs."""
        opts = json.dumps(options).encode() if options else b""
        o, on = self.put(opts)
        column = self.call("epochsift_alloc", 4)
        status = self.call("epochsift_column_open", o, on, column, self.slots, self.slots + 4)
        assert status == 0
        ident = struct.unpack("<I", self.memory.read(self.store, column, column + 4))[0]
        pointer = struct.unpack("<I", self.memory.read(self.store, self.slots, self.slots + 4))[0]
        for p in (pointer, column, o):
            self.call("epochsift_free", p)
        step = max(1, -(-len(values) // pieces))
        for start in range(0, len(values), step):
            data = "".join(v + "\n" for v in values[start:start + step]).encode("utf-8", "surrogatepass")
            p, n = self.put(data)
            assert self.call("epochsift_column_add", ident, p, n) == 0
            self.call("epochsift_free", p)
        status = self.call("epochsift_column_verdicts", ident, self.slots, self.slots + 4)
        pointer, size = struct.unpack("<II", self.memory.read(self.store, self.slots, self.slots + 8))
        text = self.memory.read(self.store, pointer, pointer + size).decode("utf-8")
        self.call("epochsift_free", pointer)
        assert self.call("epochsift_column_close", ident) == 0
        assert status == 0
        return text

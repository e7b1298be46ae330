// The engine's C interface (src/wasm/epochsift.h) as a JavaScript class, for
// the page and its worker. The module is a WASI reactor that reads no file,
// clock or environment, so every WASI import is a stub that refuses.
"use strict";

const ENGINE_STATUS = ["ok", "bad argument", "bad options", "bad instant", "out of memory"];

class EngineError extends Error {}

class Engine {
  // module: a compiled WebAssembly.Module (it can be posted to a worker).
  static async create(module) {
    const engine = new Engine();
    engine.module = module;
    await engine.start();
    return engine;
  }

  async start() {
    const refuse = () => 52;  // ENOSYS
    const wasi = new Proxy({}, {
      get: (_, name) => name === "proc_exit"
        ? (code) => { throw new EngineError("the engine stopped (" + code + ")"); }
        : refuse,
    });
    this.instance = await WebAssembly.instantiate(this.module, { wasi_snapshot_preview1: wasi });
    this.exports = this.instance.exports;
    this.exports._initialize();
    this.encoder = new TextEncoder();
    this.decoder = new TextDecoder("utf-8");
    this.broken = false;
  }

  // Writes text into the module's memory: [pointer, byte length].
  write(text) {
    if (text.length === 0) return [0, 0];
    const bytes = this.encoder.encode(text);
    return this.writeBytes(bytes);
  }

  writeBytes(bytes) {
    if (bytes.length === 0) return [0, 0];
    const pointer = this.exports.epochsift_alloc(bytes.length);
    if (pointer === 0) throw new EngineError("out of memory");
    new Uint8Array(this.exports.memory.buffer, pointer, bytes.length).set(bytes);
    return [pointer, bytes.length];
  }

  // Runs one call whose last two arguments are the answer's pointer and size;
  // returns the answer's text, or throws with the engine's message.
  answer(call) {
    if (this.broken) throw new EngineError("the engine is restarting");
    const e = this.exports;
    const slots = e.epochsift_alloc(8);
    if (slots === 0) throw new EngineError("out of memory");
    const allocated = [];
    const put = (text) => { const written = this.write(text); allocated.push(written[0]); return written; };
    try {
      const status = call(put, slots, slots + 4);
      const view = new DataView(e.memory.buffer);
      const pointer = view.getUint32(slots, true);
      const size = view.getUint32(slots + 4, true);
      if (pointer === 0) throw new EngineError(ENGINE_STATUS[status] || "status " + status);
      const text = this.decoder.decode(new Uint8Array(e.memory.buffer, pointer, size));
      e.epochsift_free(pointer);
      if (status !== 0) throw new EngineError(JSON.parse(text).error);
      return text;
    } catch (error) {
      // A trap (memory exhausted, say) leaves the instance unusable.
      if (error instanceof WebAssembly.RuntimeError) {
        this.broken = true;
        this.start().catch(() => {});
        throw new EngineError("the engine ran out of room and is restarting");
      }
      throw error;
    } finally {
      if (!this.broken) {
        for (const pointer of allocated) e.epochsift_free(pointer);
        e.epochsift_free(slots);
      }
    }
  }

  identifyJson(value, options) {
    return this.answer((put, out, size) => {
      const [v, vn] = put(value);
      const [o, on] = put(JSON.stringify(options || {}));
      return this.exports.epochsift_identify(v, vn, o, on, out, size);
    });
  }

  identify(value, options) { return JSON.parse(this.identifyJson(value, options)); }

  identifyHexJson(text, options) {
    return this.answer((put, out, size) => {
      const [v, vn] = put(text);
      const [o, on] = put(JSON.stringify(options || {}));
      return this.exports.epochsift_identify_hex(v, vn, o, on, out, size);
    });
  }

  // One best reading (or null) a line: [format_id, label, rendered, instant, score].
  identifyLines(lines, options) {
    return JSON.parse(this.answer((put, out, size) => {
      const [v, vn] = put(lines);
      const [o, on] = put(JSON.stringify(options || {}));
      return this.exports.epochsift_identify_lines(v, vn, o, on, out, size);
    }));
  }

  encode(when, options) {
    return JSON.parse(this.answer((put, out, size) => {
      const [v, vn] = put(when);
      const [o, on] = put(JSON.stringify(options || {}));
      return this.exports.epochsift_encode(v, vn, o, on, out, size);
    }));
  }

  columnOpen(options) {
    let id = 0;
    this.answer((put, out, size) => {
      const [o, on] = put(JSON.stringify(options || {}));
      const idSlot = this.exports.epochsift_alloc(4);
      try {
        const status = this.exports.epochsift_column_open(o, on, idSlot, out, size);
        id = new DataView(this.exports.memory.buffer).getUint32(idSlot, true);
        return status;
      } finally {
        this.exports.epochsift_free(idSlot);
      }
    });
    return id;
  }

  columnAdd(id, lines) {
    const [pointer, length] = this.write(lines);
    try {
      const status = this.exports.epochsift_column_add(id, pointer, length);
      if (status !== 0) throw new EngineError(ENGINE_STATUS[status]);
    } finally {
      this.exports.epochsift_free(pointer);
    }
  }

  columnVerdicts(id) {
    return JSON.parse(this.answer((put, out, size) => this.exports.epochsift_column_verdicts(id, out, size)));
  }

  columnClose(id) { this.exports.epochsift_column_close(id); }
}

// Many values, read off the page's thread: a pasted text or a dropped file
// is read in slices, split into lines and fields, and each column is fed to
// the engine's column reader (its verdict) and read line by line (each row's
// best reading). Progress is posted as it goes; the decoded rows become one
// CSV blob at the end.
"use strict";

const SLICE_BYTES = 1 << 20;
const CHUNK_LINES = 8192;
const LONGEST_LINE = 1 << 16;  // a longer line is cut here: no field of a record is that long
const PREVIEW_ROWS = 100;
const PROGRESS_EVERY_MS = 50;

// Fields of one CSV line: quoted fields may hold the delimiter and doubled
// quotes; a quoted field cannot span lines here.
function splitFields(line, delimiter) {
  if (delimiter === null) return [line];
  if (line.indexOf('"') < 0) return line.split(delimiter);
  const fields = [];
  let field = "";
  let quoted = false;
  for (let i = 0; i < line.length; i++) {
    const c = line[i];
    if (quoted) {
      if (c === '"' && line[i + 1] === '"') { field += '"'; i++; }
      else if (c === '"') quoted = false;
      else field += c;
    } else if (c === '"' && field.length === 0) {
      quoted = true;
    } else if (c === delimiter) {
      fields.push(field);
      field = "";
    } else {
      field += c;
    }
  }
  fields.push(field);
  return fields;
}

// The delimiter the first line uses most, or null for one column.
function guessDelimiter(line) {
  let best = null;
  let most = 0;
  for (const d of [",", "\t", ";", "|"]) {
    const n = line.split(d).length - 1;
    if (n > most) { most = n; best = d; }
  }
  return best;
}

// A CSV field for the download; a text a spreadsheet would run as a formula
// is prefixed with a quote mark.
function csvField(text) {
  let t = text;
  if (/^[=+@\t\r]/.test(t) || (/^-/.test(t) && !/^-[0-9.]+$/.test(t))) t = "'" + t;
  return /[",\r\n]/.test(t) ? '"' + t.replace(/"/g, '""') + '"' : t;
}

class ManyValues {
  constructor(engine, options, headerMode) {
    this.engine = engine;
    this.options = options;
    this.headerMode = headerMode;
    this.delimiter = undefined;
    this.names = null;
    this.columns = [];  // engine column ids
    this.pending = [];
    this.rows = 0;
    this.cut = 0;
    this.preview = [];
    this.csv = [];
    this.lastPost = 0;
  }

  start(firstLine) {
    // A line that reads whole ("Wed, 01 May 2024 12:00:00 +0200") is one
    // value, whatever punctuation it holds.
    const whole = this.engine.identifyLines(firstLine, {})[0];
    this.delimiter = whole ? null : guessDelimiter(firstLine);
    const fields = splitFields(firstLine, this.delimiter);
    let header = this.headerMode === "yes";
    if (this.headerMode === "auto") {
      // A header names its columns: no field reads as a time, and some
      // field holds a letter.
      const read = this.engine.identifyLines(fields.join("\n"), {});
      header = read.every((r) => r === null) && fields.some((f) => /[A-Za-z]/.test(f));
    }
    this.names = header ? fields.map((f, i) => f.trim() || "column " + (i + 1))
                        : fields.map((_, i) => "column " + (i + 1));
    const columnOptions = {};
    for (const key of ["hint", "byte_width", "byte_order", "window"]) {
      if (this.options[key] !== undefined) columnOptions[key] = this.options[key];
    }
    this.columns = this.names.map(() => this.engine.columnOpen(columnOptions));
    const head = [];
    for (const name of this.names) head.push(name, name + " format", name + " UTC", name + " instant_ns", name + " score");
    this.csv.push(head.map(csvField).join(",") + "\r\n");
    return header;
  }

  line(text) {
    let line = text;
    if (line.length > LONGEST_LINE) { line = line.slice(0, LONGEST_LINE); this.cut++; }
    if (this.delimiter === undefined) {
      if (this.start(line)) return;
    }
    this.pending.push(line);
    if (this.pending.length >= CHUNK_LINES) this.flush();
  }

  flush() {
    if (this.pending.length === 0) return;
    const width = this.names.length;
    const cells = this.names.map(() => []);
    for (const line of this.pending) {
      const fields = splitFields(line, this.delimiter);
      for (let c = 0; c < width; c++) cells[c].push((fields[c] || "").replace(/\n/g, " "));
    }
    const best = [];
    for (let c = 0; c < width; c++) {
      const text = cells[c].join("\n") + "\n";
      this.engine.columnAdd(this.columns[c], text);
      best.push(this.engine.identifyLines(text, this.options));
    }
    const out = [];
    for (let r = 0; r < this.pending.length; r++) {
      const record = [];
      const shown = [];
      for (let c = 0; c < width; c++) {
        const reading = best[c][r];
        const value = cells[c][r];
        if (reading === null) {
          record.push(csvField(value), "", "", "", "");
        } else {
          record.push(csvField(value), reading[0], reading[2] === null ? "" : reading[2], reading[3], String(reading[4]));
        }
        shown.push([value, reading]);
      }
      out.push(record.join(","));
      if (this.preview.length < PREVIEW_ROWS) this.preview.push(shown);
    }
    this.csv.push(out.join("\r\n") + "\r\n");
    this.rows += this.pending.length;
    this.pending = [];
  }

  verdicts() {
    return this.columns.map((id, c) => ({ name: this.names[c], verdicts: this.engine.columnVerdicts(id).slice(0, 5) }));
  }

  close() { for (const id of this.columns) this.engine.columnClose(id); }
}

async function readAll(source, job, progress) {
  const total = source.size;
  const decoder = new TextDecoder("utf-8");
  let carry = "";
  for (let offset = 0; offset < total; offset += SLICE_BYTES) {
    const bytes = new Uint8Array(await source.slice(offset, offset + SLICE_BYTES).arrayBuffer());
    let text = carry + decoder.decode(bytes, { stream: offset + SLICE_BYTES < total });
    let start = 0;
    for (let end = text.indexOf("\n"); end >= 0; end = text.indexOf("\n", start)) {
      job.line(text.charCodeAt(end - 1) === 13 ? text.slice(start, end - 1) : text.slice(start, end));
      start = end + 1;
    }
    carry = text.slice(start);
    // An endless line is held only up to the longest line kept.
    if (carry.length > LONGEST_LINE * 2) carry = carry.slice(0, LONGEST_LINE + 1);
    progress(Math.min(offset + SLICE_BYTES, total), total);
  }
  if (carry.length > 0) job.line(carry.endsWith("\r") ? carry.slice(0, -1) : carry);
  job.flush();
}

let enginePromise = null;

self.onmessage = async (event) => {
  const message = event.data;
  try {
    if (!enginePromise) enginePromise = Engine.create(message.module);
    const engine = await enginePromise;
    const source = typeof message.source === "string" ? new Blob([message.source]) : message.source;
    const job = new ManyValues(engine, message.options, message.header);
    const started = performance.now();
    await readAll(source, job, (done, total) => {
      const now = performance.now();
      if (now - job.lastPost < PROGRESS_EVERY_MS && done < total) return;
      job.lastPost = now;
      job.flush();
      self.postMessage({ type: "progress", done, total, rows: job.rows });
    });
    const verdicts = job.rows > 0 || job.names ? job.verdicts() : [];
    job.close();
    self.postMessage({
      type: "done",
      rows: job.rows,
      cut: job.cut,
      names: job.names || [],
      verdicts,
      preview: job.preview,
      csv: new Blob(job.csv, { type: "text/csv" }),
      seconds: (performance.now() - started) / 1000,
    });
  } catch (error) {
    self.postMessage({ type: "error", message: String(error && error.message || error) });
  }
};

// The page: three views over the engine. Every text from a value or from the
// engine reaches the document through textContent (el() below) and nothing
// else; long work runs in a worker made from the inert worker-source block.
"use strict";

const LONGEST_VALUE = 1 << 16;  // one value longer than this is not read here: no timestamp is that long
const SHOWN_CHARS = 160;

// ---- small helpers --------------------------------------------------------

function $(id) { return document.getElementById(id); }

// An element with text children only: strings become text nodes.
function el(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes || {})) {
    if (key === "class") node.className = value;
    else if (key === "text") node.textContent = value;
    else if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
    else node.setAttribute(key, value);
  }
  for (const child of children) {
    if (child === null || child === undefined) continue;
    node.append(typeof child === "string" ? document.createTextNode(child) : child);
  }
  return node;
}

// A value as it can be shown: controls, bidi overrides and other invisible
// characters written as <U+XXXX>, long texts cut with a count.
function visible(text) {
  let shown = text.length > SHOWN_CHARS ? text.slice(0, SHOWN_CHARS) : text;
  shown = shown.replace(/[\u0000-\u001f\u007f-\u009f\u00ad\u061c\u180e\u200b-\u200f\u2028-\u202e\u2060-\u206f\ufeff\ufff9-\ufffb]/g,
    (c) => "<U+" + c.charCodeAt(0).toString(16).toUpperCase().padStart(4, "0") + ">");
  if (text.length > SHOWN_CHARS) shown += " … (" + (text.length - SHOWN_CHARS) + " more characters)";
  return shown;
}

function setStatus(output, text, isError) {
  output.textContent = text;
  output.classList.toggle("error", Boolean(isError));
}

// ---- zones, through the browser's own data (Intl) -------------------------

const BROWSER_ZONE = Intl.DateTimeFormat().resolvedOptions().timeZone || "UTC";
const zoneFormats = new Map();

function zoneFormat(zone) {
  let format = zoneFormats.get(zone);
  if (!format) {
    format = new Intl.DateTimeFormat("en-US", {
      timeZone: zone, hourCycle: "h23", era: "short", year: "numeric", month: "numeric", day: "numeric",
      hour: "numeric", minute: "numeric", second: "numeric", timeZoneName: "short",
    });
    zoneFormats.set(zone, format);
  }
  return format;
}

// The zone's offset from UTC (ms) at an instant (ms), and its abbreviation.
function zoneOffset(zone, ms) {
  const parts = {};
  for (const part of zoneFormat(zone).formatToParts(new Date(ms))) parts[part.type] = part.value;
  let year = Number(parts.year);
  if (parts.era === "BC" || parts.era === "B") year = 1 - year;
  const wall = civilToMs(year, Number(parts.month), Number(parts.day), Number(parts.hour), Number(parts.minute), Number(parts.second));
  return { offset: wall - Math.floor(ms / 1000) * 1000, name: parts.timeZoneName || "" };
}

// Milliseconds since 1970 of a proleptic Gregorian date-time read as UTC
// (years 0-99 included, which Date.UTC would move to the 1900s).
function civilToMs(year, month, day, hour, minute, second) {
  const date = new Date(Date.UTC(2000, month - 1, day, hour, minute, second));
  date.setUTCFullYear(year);
  return date.getTime();
}

function pad(n, width) { return String(n).padStart(width, "0"); }

function civilText(ms) {
  const d = new Date(ms);
  const y = d.getUTCFullYear();
  const year = y < 0 ? "-" + pad(-y, 4) : pad(y, 4);
  return year + "-" + pad(d.getUTCMonth() + 1, 2) + "-" + pad(d.getUTCDate(), 2) + " " +
    pad(d.getUTCHours(), 2) + ":" + pad(d.getUTCMinutes(), 2) + ":" + pad(d.getUTCSeconds(), 2);
}

function offsetText(offsetMs) {
  const minutes = Math.round(Math.abs(offsetMs) / 60000);
  return (offsetMs < 0 ? "-" : "+") + pad(Math.floor(minutes / 60), 2) + ":" + pad(minutes % 60, 2);
}

const RFC3339 = /^(-?\d{4,})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(\.\d+)?Z$/;

// An RFC 3339 UTC text shown in a zone, its fraction of a second kept exact.
function inZone(rendered, zone) {
  const m = rendered === null ? null : RFC3339.exec(rendered);
  if (!m) return "—";
  const ms = civilToMs(Number(m[1]), Number(m[2]), Number(m[3]), Number(m[4]), Number(m[5]), Number(m[6]));
  try {
    const { offset, name } = zoneOffset(zone, ms);
    return civilText(ms + offset) + (m[7] || "") + " " + offsetText(offset) + (name && !name.startsWith("GMT") ? " " + name : "");
  } catch (error) {
    return "—";
  }
}

// The instants whose wall clock in zone reads the given civil time:
// {kind: "unique" | "skipped" | "repeated", instants: [ms, ...], offsets}.
function wallToInstants(zone, wallMs) {
  const day = 86400000;
  const candidates = [];
  for (const probe of [wallMs - day, wallMs + day]) {
    const { offset } = zoneOffset(zone, probe);
    const instant = wallMs - offset;
    if (zoneOffset(zone, instant).offset === offset && !candidates.some((c) => c.instant === instant)) {
      candidates.push({ instant, offset });
    }
  }
  candidates.sort((a, b) => a.instant - b.instant);
  if (candidates.length === 0) {
    // Skipped by a forward shift: read with the offset before it.
    const before = zoneOffset(zone, wallMs - day).offset;
    return { kind: "skipped", instants: [{ instant: wallMs - before, offset: before }] };
  }
  return { kind: candidates.length === 2 ? "repeated" : "unique", instants: candidates };
}

function fillZones(select, chosen) {
  let zones = [];
  try { zones = Intl.supportedValuesOf("timeZone"); } catch (error) { zones = []; }
  if (!zones.includes("UTC")) zones = ["UTC", ...zones];
  if (!zones.includes(BROWSER_ZONE)) zones.push(BROWSER_ZONE);
  const fragment = document.createDocumentFragment();
  for (const zone of zones) fragment.append(el("option", { value: zone, text: zone === BROWSER_ZONE ? zone + " (this browser)" : zone }));
  select.append(fragment);
  select.value = chosen;
}

// ---- the engine -------------------------------------------------------------

let engine = null;
let engineModule = null;

async function startEngine() {
  const text = atob(WASM_BASE64);
  const binary = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) binary[i] = text.charCodeAt(i);
  engineModule = await WebAssembly.compile(binary);
  engine = await Engine.create(engineModule);
}

// ---- one value --------------------------------------------------------------

function readOptions() {
  const options = {};
  if ($("extended").checked) options.extended = true;
  const hint = $("hint").value;
  if (hint.trim() !== "") options.hint = hint;
  const width = $("byte-width").value.trim();
  if (width !== "") options.byte_width = Number(width);
  if ($("byte-order").value) options.byte_order = $("byte-order").value;
  const start = $("window-start").value.trim();
  const end = $("window-end").value.trim();
  if (start !== "" || end !== "") options.window = [start, end];
  const best = $("best").value.trim();
  if (best !== "") options.best = Number(best);
  return options;
}

function asHex() { return document.querySelector('input[name="as"]:checked').value === "hex"; }

// A reading's measure as the table shows it: the extended reading's
// confidence (its share of belief among the value's readings) as a percent,
// the reference reading's score as it stands.
function percentText(share) {
  if (share <= 0) return "0%";
  if (share < 0.005) return "<1%";
  return Math.round(share * 100) + "%";
}

function confidenceCell(confidence) {
  const fraction = Math.max(0, Math.min(1, Number(confidence) || 0));
  const fill = el("div", { class: "score-fill" });
  fill.style.width = (fraction * 100).toFixed(1) + "%";
  return el("div", { class: "score", title: "confidence " + confidence },
    el("div", { class: "score-bar", role: "img", "aria-label": "confidence " + percentText(fraction) },
      fill),
    el("span", { class: "mono", text: percentText(fraction) }));
}

function scoreCell(score) {
  const fraction = Math.max(0, Math.min(1, Number(score) || 0));
  // Through the style object: the policy allows no style attribute text.
  const fill = el("div", { class: "score-fill" });
  fill.style.width = (fraction * 100).toFixed(1) + "%";
  return el("div", { class: "score", title: "score " + score },
    el("div", { class: "score-bar", role: "img", "aria-label": "score " + fraction.toFixed(2) },
      fill),
    el("span", { class: "mono", text: fraction.toFixed(2) }));
}

function evidenceRow(reading, columns) {
  const components = el("table", {}, ...reading.components.map(([name, value]) =>
    el("tr", {}, el("td", { text: name }), el("td", { class: "mono", text: String(value) }))));
  const notes = el("ul", {}, ...reading.assumptions.map((text) => el("li", { text })));
  const cell = el("td", { colspan: String(columns) },
    el("strong", { text: "Evidence" }), components,
    el("strong", { text: "Assumptions" }), notes,
    el("div", {}, "Source: ", el("span", { text: reading.citation })),
    el("div", { class: "mono" }, "instant (ns since 1970 UTC): ", el("span", { text: String(reading.instantText) })));
  return el("tr", { class: "evidence", hidden: "" }, cell);
}

// The engine's JSON keeps instants exact as integers; JSON.parse would round
// them, so they are read as text first.
function parseReadings(json) {
  const exact = [];
  const marked = json.replace(/"instant":(-?\d+)/g, (_, digits) => { exact.push(digits); return '"instant":' + (exact.length - 1); });
  const readings = JSON.parse(marked);
  for (const reading of readings) reading.instantText = exact[reading.instant];
  return readings;
}

let lastRendered = "";

function showReadings() {
  const value = $("value").value;
  const status = $("one-status");
  const body = $("readings").tBodies[0];
  const zone = $("zone").value || "UTC";
  $("zone-head").textContent = zone;
  if (value.length > LONGEST_VALUE) {
    body.replaceChildren();
    setStatus(status, "This value is " + value.length + " characters long; one value is read up to " + LONGEST_VALUE + ". Use Many values for files.", true);
    return;
  }
  if (!engine) { setStatus(status, "The engine is starting…"); return; }
  const options = readOptions();
  let readings;
  try {
    if (asHex()) {
      if (value.trim() === "") { body.replaceChildren(); setStatus(status, ""); return; }
      const hexOptions = { ...options };
      delete hexOptions.extended;
      delete hexOptions.byte_width;
      readings = parseReadings(engine.identifyHexJson(value, hexOptions));
    } else {
      readings = parseReadings(engine.identifyJson(value, options));
    }
  } catch (error) {
    body.replaceChildren();
    setStatus(status, String(error.message || error), true);
    return;
  }
  const rows = document.createDocumentFragment();
  readings.forEach((reading, index) => {
    const evidence = evidenceRow(reading, 6);
    const toggle = el("button", { type: "button", "aria-expanded": "false", text: "Show" });
    toggle.addEventListener("click", () => {
      const open = evidence.hidden;
      evidence.hidden = !open;
      toggle.setAttribute("aria-expanded", String(open));
      toggle.textContent = open ? "Hide" : "Show";
    });
    const label = el("td", { class: "format", "data-head": "Format" }, el("span", { text: reading.label }),
      el("span", { class: "label-id", text: reading.format_id }),
      reading.sentinel ? el("span", { class: "flag", text: "sentinel value" }) : null);
    rows.append(el("tr", {},
      el("td", { "data-head": "#", text: String(index + 1) }),
      label,
      el("td", { class: "mono time", "data-head": "UTC", text: reading.rendered === null ? "outside years -9999 to 9999" : reading.rendered }),
      el("td", { class: "mono time", "data-head": zone, text: inZone(reading.rendered, zone) }),
      "confidence" in reading
        ? el("td", { "data-head": "Confidence" }, confidenceCell(reading.confidence))
        : el("td", { "data-head": "Score" }, scoreCell(reading.score)),
      el("td", { "data-head": "Evidence" }, toggle)), evidence);
  });
  body.replaceChildren(rows);
  $("measure-head").textContent = readings.length !== 0 && !("confidence" in readings[0]) ? "Score" : "Confidence";
  lastRendered = value;
  const shown = value.trim() === "" ? "" : "“" + visible(value) + "”: ";
  setStatus(status, value.trim() === "" ? "" : shown + (readings.length === 0 ? "no format reads this value" : readings.length + (readings.length === 1 ? " reading" : " readings") + ", best first"));
  document.body.dataset.shown = String(Number(document.body.dataset.shown || 0) + 1);
  if (!document.body.dataset.firstTable) document.body.dataset.firstTable = performance.now().toFixed(1);
}

let pendingRead = 0;
function scheduleRead() {
  if (pendingRead) return;
  pendingRead = requestAnimationFrame(() => { pendingRead = 0; showReadings(); });
}

// The value and options in the URL fragment, which never leaves the browser;
// written only when asked, since the browser's history keeps it.
function linkToThis() {
  const params = new URLSearchParams();
  params.set("v", $("value").value);
  if (asHex()) params.set("as", "hex");
  params.set("extended", $("extended").checked ? "1" : "0");
  for (const [key, id] of [["hint", "hint"], ["width", "byte-width"], ["order", "byte-order"], ["from", "window-start"], ["to", "window-end"], ["best", "best"], ["zone", "zone"]]) {
    if ($(id).value) params.set(key, $(id).value);
  }
  history.replaceState(null, "", "#" + params.toString());
  setStatus($("one-status"), "The link in the address bar now holds this value and its options.");
}

function readFragment() {
  if (location.hash.length < 2) return;
  const params = new URLSearchParams(location.hash.slice(1));
  if (params.has("v")) $("value").value = params.get("v");
  if (params.get("as") === "hex") document.querySelector('input[name="as"][value="hex"]').checked = true;
  if (params.has("extended")) $("extended").checked = params.get("extended") === "1";
  for (const [key, id] of [["hint", "hint"], ["width", "byte-width"], ["order", "byte-order"], ["from", "window-start"], ["to", "window-end"], ["best", "best"], ["zone", "zone"]]) {
    if (params.has(key)) $(id).value = params.get(key);
  }
  if ($("zone").value === "") $("zone").value = BROWSER_ZONE;
}

// ---- many values ------------------------------------------------------------

let worker = null;
let workerUrl = null;
let downloadUrl = null;
let chosenFile = null;

function stopWorker() {
  if (worker) worker.terminate();
  worker = null;
  $("cancel").disabled = true;
  $("run").disabled = false;
}

function runMany() {
  const status = $("many-status");
  const source = chosenFile || $("lines").value;
  if ((typeof source === "string" && source.trim() === "") || !engineModule) {
    setStatus(status, engineModule ? "Paste lines or choose a file first." : "The engine is starting…", !engineModule ? false : true);
    return;
  }
  stopWorker();
  if (!workerUrl) {
    workerUrl = URL.createObjectURL(new Blob([$("worker-source").textContent], { type: "text/javascript" }));
  }
  if (downloadUrl) { URL.revokeObjectURL(downloadUrl); downloadUrl = null; }
  $("download").hidden = true;
  $("verdicts").replaceChildren();
  $("rows").tHead.replaceChildren();
  $("rows").tBodies[0].replaceChildren();
  const progress = $("progress");
  progress.hidden = false;
  progress.value = 0;
  $("run").disabled = true;
  $("cancel").disabled = false;
  setStatus(status, "Reading…");
  const options = {};
  if ($("many-extended").checked) options.extended = true;
  if ($("many-hint").value.trim() !== "") options.hint = $("many-hint").value;
  worker = new Worker(workerUrl);
  worker.onmessage = (event) => {
    const message = event.data;
    if (message.type === "progress") {
      progress.value = message.total === 0 ? 1 : message.done / message.total;
      setStatus(status, "Read " + message.rows.toLocaleString("en-US") + " rows (" + Math.round(progress.value * 100) + "%)…");
    } else if (message.type === "done") {
      progress.value = 1;
      showMany(message);
      stopWorker();
    } else {
      setStatus(status, "Stopped: " + message.message, true);
      stopWorker();
    }
  };
  worker.onerror = (event) => { setStatus(status, "Stopped: " + (event.message || "the worker failed"), true); stopWorker(); event.preventDefault(); };
  worker.postMessage({ module: engineModule, source, options, header: $("header").value });
}

function showMany(message) {
  const verdicts = $("verdicts");
  for (const column of message.verdicts) {
    const table = el("table", { class: "results" },
      el("thead", {}, el("tr", {}, ...["Format", "Score", "Read", "In window", "Ordered", "First", "Last"].map((h) => el("th", { scope: "col", text: h })))));
    const body = el("tbody");
    for (const v of column.verdicts) {
      body.append(el("tr", {},
        el("td", { "data-head": "Format" }, el("span", { text: v.label }), el("span", { class: "label-id", text: v.format_id + (v.byte_order ? " (" + v.byte_order + "-endian)" : "") })),
        el("td", { "data-head": "Score" }, scoreCell(v.score)),
        el("td", { class: "mono", "data-head": "Read", text: String(v.read) }),
        el("td", { class: "mono", "data-head": "In window", text: String(v.in_window) }),
        el("td", { class: "mono", "data-head": "Ordered", text: Number(v.ordered).toFixed(2) }),
        el("td", { class: "mono", "data-head": "First", text: nsText(v.first) }),
        el("td", { class: "mono", "data-head": "Last", text: nsText(v.last) })));
    }
    table.append(body);
    verdicts.append(el("div", { class: "verdict" },
      el("h3", {}, "Column ", el("span", { class: "value-text", text: visible(column.name) }), column.verdicts.length === 0 ? ": no format reads it" : ": verdicts, best first"),
      column.verdicts.length === 0 ? null : table));
  }
  const head = el("tr", {});
  for (const name of message.names) {
    head.append(el("th", { scope: "col", class: "value-text", text: visible(name) }), el("th", { scope: "col", text: "best reading (UTC)" }));
  }
  $("rows").tHead.replaceChildren(head);
  const body = document.createDocumentFragment();
  for (const row of message.preview) {
    const tr = el("tr", {});
    row.forEach(([value, reading], c) => {
      tr.append(el("td", { class: "mono value-text", "data-head": visible(message.names[c]), text: visible(value) }),
        el("td", { "data-head": "best reading" }, reading === null ? "—" : el("span", { class: "mono", text: reading[2] === null ? "outside years -9999 to 9999" : reading[2] }),
          reading === null ? null : el("span", { class: "label-id", text: reading[0] + " · " + Number(reading[4]).toFixed(2) })));
    });
    body.append(tr);
  }
  $("rows").tBodies[0].replaceChildren(body);
  downloadUrl = URL.createObjectURL(message.csv);
  $("download").href = downloadUrl;
  $("download").hidden = false;
  const cut = message.cut > 0 ? "; " + message.cut + " over-long lines were cut" : "";
  const shown = message.rows > message.preview.length ? " (the first " + message.preview.length + " shown)" : "";
  setStatus($("many-status"), "Done: " + message.rows.toLocaleString("en-US") + " rows in " + message.seconds.toFixed(1) + " s" + shown + cut + ".");
  document.body.dataset.manyDone = String(message.rows);
}

// Integer nanoseconds (may exceed 53 bits; only the seconds are shown) as UTC text.
function nsText(ns) {
  const ms = Math.floor(Number(ns) / 1e6);
  if (!Number.isFinite(ms) || Math.abs(ms) > 8.64e15) return String(ns);
  return civilText(ms) + "Z";
}

function chooseFile(file) {
  chosenFile = file || null;
  setStatus($("many-status"), file ? "File: " + visible(file.name) + " (" + file.size.toLocaleString("en-US") + " bytes). Press Read." : "");
}

// ---- encode -----------------------------------------------------------------

const WALL_TIME = /^\s*(-?\d{4,})-(\d\d)-(\d\d)(?:[ T](\d\d):(\d\d)(?::(\d\d)(\.\d{1,9})?)?)?\s*$/;
let encodeChoice = 0;

function showEncoded() {
  const status = $("encode-status");
  const body = $("encoded").tBodies[0];
  const text = $("when").value;
  if (!engine) { setStatus(status, "The engine is starting…"); return; }
  if (text.trim() === "") { body.replaceChildren(); setStatus(status, ""); return; }
  let when = text.trim();
  let note = "";
  const m = WALL_TIME.exec(text);
  if (m) {
    const zone = $("encode-zone").value;
    const wall = civilToMs(Number(m[1]), Number(m[2]), Number(m[3]), Number(m[4] || 0), Number(m[5] || 0), Number(m[6] || 0));
    if (!Number.isFinite(wall)) { body.replaceChildren(); setStatus(status, "Not a date the browser can place.", true); return; }
    let placed;
    try { placed = wallToInstants(zone, wall); } catch (error) { body.replaceChildren(); setStatus(status, "The browser cannot place this date in " + zone + ".", true); return; }
    const pick = placed.instants[Math.min(encodeChoice, placed.instants.length - 1)];
    when = civilText(pick.instant).replace(" ", "T") + (m[7] || "") + "Z";
    if (placed.kind === "skipped") {
      note = "This wall-clock time does not exist in " + zone + ": the clocks skipped it. Read with the offset before the change (" + offsetText(pick.offset) + ").";
    } else if (placed.kind === "repeated") {
      note = "This wall-clock time occurs twice in " + zone + " (" + placed.instants.map((c) => offsetText(c.offset)).join(" and ") + "): showing the " + (encodeChoice === 0 ? "earlier" : "later") + ". Press the button to switch.";
    } else {
      note = "In " + zone + " this is " + offsetText(pick.offset) + ".";
    }
    $("encode-switch").hidden = placed.kind !== "repeated";
  } else {
    $("encode-switch").hidden = true;
  }
  const options = {};
  const families = $("families").value.split(/[\s,]+/).filter((f) => f !== "");
  if (families.length > 0) options.families = families;
  let encoded;
  try {
    encoded = engine.encode(when, options);
  } catch (error) {
    body.replaceChildren();
    setStatus(status, String(error.message || error) + " (give a date and time such as 2024-05-01 12:00:00, or RFC 3339 with an offset)", true);
    return;
  }
  const rows = document.createDocumentFragment();
  for (const e of encoded) {
    const copy = el("button", { type: "button", text: "Copy", "aria-label": "Copy the " + e.label + " value" });
    copy.addEventListener("click", () => copyText(e.value, copy));
    rows.append(el("tr", {},
      el("td", { "data-head": "Format" }, el("span", { text: e.label }), el("span", { class: "label-id", text: e.format_id })),
      el("td", { class: "mono", "data-head": "Value" }, el("span", { class: "value-text", text: e.value }), " ", copy),
      el("td", { class: "mono", "data-head": "Hex BE", text: e.hex_be || "" }),
      el("td", { class: "mono", "data-head": "Hex LE", text: e.hex_le || "" }),
      el("td", { "data-head": "Notes" }, ...(e.assumptions || []).map((a) => el("div", { text: a })))));
  }
  body.replaceChildren(rows);
  setStatus(status, when + " — " + encoded.length + " formats. " + note);
}

async function copyText(text, button) {
  try {
    await navigator.clipboard.writeText(text);
  } catch (error) {
    const area = el("textarea", { class: "visually-hidden" });
    area.value = text;
    document.body.append(area);
    area.select();
    document.execCommand("copy");
    area.remove();
  }
  button.textContent = "Copied";
  setTimeout(() => { button.textContent = "Copy"; }, 1200);
}

// ---- tabs, theme, wiring ----------------------------------------------------

function selectTab(tab) {
  for (const t of document.querySelectorAll('[role="tab"]')) {
    const on = t === tab;
    t.setAttribute("aria-selected", String(on));
    t.tabIndex = on ? 0 : -1;
    $(t.getAttribute("aria-controls")).hidden = !on;
  }
  tab.focus();
}

function wire() {
  const tabs = [...document.querySelectorAll('[role="tab"]')];
  for (const tab of tabs) {
    tab.addEventListener("click", () => selectTab(tab));
    tab.addEventListener("keydown", (event) => {
      const i = tabs.indexOf(tab);
      if (event.key === "ArrowRight") selectTab(tabs[(i + 1) % tabs.length]);
      else if (event.key === "ArrowLeft") selectTab(tabs[(i + tabs.length - 1) % tabs.length]);
      else if (event.key === "Home") selectTab(tabs[0]);
      else if (event.key === "End") selectTab(tabs[tabs.length - 1]);
      else return;
      event.preventDefault();
    });
  }
  const themes = ["", "dark", "light"];
  $("theme").addEventListener("click", () => {
    const next = themes[(themes.indexOf(document.documentElement.dataset.theme || "") + 1) % themes.length];
    if (next) document.documentElement.dataset.theme = next; else delete document.documentElement.dataset.theme;
  });

  $("one-form").addEventListener("submit", (event) => event.preventDefault());
  $("one-form").addEventListener("input", scheduleRead);
  $("one-form").addEventListener("change", scheduleRead);
  $("link").addEventListener("click", linkToThis);

  $("run").addEventListener("click", runMany);
  $("cancel").addEventListener("click", () => { stopWorker(); setStatus($("many-status"), "Cancelled."); });
  $("file").addEventListener("change", () => chooseFile($("file").files[0]));
  $("lines").addEventListener("input", () => { if (chosenFile) chooseFile(null); });
  const drop = $("drop");
  drop.addEventListener("keydown", (event) => { if (event.key === "Enter" || event.key === " ") { event.preventDefault(); $("file").click(); } });
  // A file dropped anywhere must not make the browser leave the page for it.
  for (const type of ["dragover", "drop"]) document.addEventListener(type, (event) => event.preventDefault());
  drop.addEventListener("dragover", () => drop.classList.add("over"));
  drop.addEventListener("dragleave", () => drop.classList.remove("over"));
  drop.addEventListener("drop", (event) => {
    drop.classList.remove("over");
    const file = event.dataTransfer && event.dataTransfer.files[0];
    if (file) chooseFile(file);
  });

  $("encode-form").addEventListener("submit", (event) => event.preventDefault());
  $("encode-form").addEventListener("input", showEncoded);
  $("encode-form").addEventListener("change", showEncoded);
  const switcher = el("button", { type: "button", id: "encode-switch", hidden: "", text: "Earlier / later" });
  switcher.addEventListener("click", () => { encodeChoice = 1 - encodeChoice; showEncoded(); });
  $("encode-status").after(switcher);
  $("now").addEventListener("click", () => {
    const now = Date.now();
    const { offset } = zoneOffset($("encode-zone").value, now);
    $("when").value = civilText(now + offset) + "." + pad(now % 1000, 3);
    showEncoded();
  });
}

async function main() {
  fillZones($("zone"), BROWSER_ZONE);
  fillZones($("encode-zone"), BROWSER_ZONE);
  readFragment();
  wire();
  try {
    await startEngine();
  } catch (error) {
    setStatus($("one-status"), "The engine could not start: " + String(error.message || error), true);
    return;
  }
  document.body.dataset.ready = "1";
  if ($("value").value !== "") showReadings();
  if ($("when").value !== "") showEncoded();
}

main();

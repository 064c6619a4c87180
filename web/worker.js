// The engine's thread. The engine's calls are synchronous and run to their end, so this
// worker is busy for the whole of a run; what the engine hands its sink is gathered here
// and posted to the page at most every POST_INTERVAL milliseconds, already cut into
// lines (the panes) and numbers (the charts), so that the page only appends.
'use strict';

// The engine: in the same script in the built page, else beside this file.
if (typeof VeltranoEngine === 'undefined') importScripts('veltrano-engine.js');

const POST_INTERVAL = 100;
const SERIES = ['sLine', 'rLine', 'sDLN', 'sPoint_DSEM', 'sPoint_Dcond', 'rPoint_DSEM'];

let engine = null;

// Whole lines of a text stream, with the offset just past each line's "\n"; a line
// still open at the end of a piece waits for the next piece.
class LineBuffer {
  constructor() {
    this.pieces = [];
    this.carry = '';
  }
  add(text) {
    if (text) this.pieces.push(text);
  }
  // The lines gathered so far, or null when there are none; `final` also hands over
  // an unterminated last line.
  take(final) {
    if (!this.pieces.length && !(final && this.carry)) return null;
    let text = this.carry + this.pieces.join('');
    this.pieces = [];
    this.carry = '';
    const last = text.lastIndexOf('\n');
    if (!final && last < text.length - 1) {
      this.carry = text.slice(last + 1);
      text = text.slice(0, last + 1);
    }
    if (!text) return null;
    let count = 0;
    for (let i = text.indexOf('\n'); i !== -1; i = text.indexOf('\n', i + 1)) count++;
    if (!text.endsWith('\n')) count++;
    const ends = new Uint32Array(count);
    let j = 0;
    for (let i = text.indexOf('\n'); i !== -1; i = text.indexOf('\n', i + 1)) ends[j++] = i + 1;
    if (j < count) ends[j] = text.length;
    return { text, ends };
  }
}

// The chart points of the --points CSV, per series, as growing arrays of numbers. An
// empty y (an estimate that could not be computed) becomes NaN and is never drawn.
class PointBuffer {
  constructor() {
    this.carry = '';
    this.reset();
  }
  reset() {
    this.series = {};
    for (const s of SERIES) this.series[s] = { x: [], y: [] };
    this.count = 0;
  }
  add(text) {
    text = this.carry + text;
    const last = text.lastIndexOf('\n');
    this.carry = text.slice(last + 1);
    let start = 0;
    while (start <= last) {
      const end = text.indexOf('\n', start);
      const c1 = text.indexOf(',', start);
      const c2 = text.indexOf(',', c1 + 1);
      if (c1 !== -1 && c2 !== -1 && c2 < end) {
        const target = this.series[text.slice(start, c1)];
        if (target) {
          const xs = text.slice(c1 + 1, c2);
          const ys = text.slice(c2 + 1, text.charCodeAt(end - 1) === 13 ? end - 1 : end);
          target.x.push(xs === '' ? NaN : +xs);
          target.y.push(ys === '' ? NaN : +ys);
          this.count++;
        }
      }
      start = end + 1;
    }
  }
  // Typed arrays of the points gathered since the last take, and their buffers for a
  // transfer; null when there are none.
  take(final) {
    if (final && this.carry) this.add('\n');
    if (!this.count) return null;
    const out = {};
    const buffers = [];
    for (const s of SERIES) {
      const { x, y } = this.series[s];
      if (!x.length) continue;
      out[s] = { x: Float64Array.from(x), y: Float64Array.from(y) };
      buffers.push(out[s].x.buffer, out[s].y.buffer);
    }
    this.reset();
    return { points: out, buffers };
  }
}

let lastPost = 0;

function makeRunSink() {
  const data = new LineBuffer();
  const residuals = new LineBuffer();
  const points = new PointBuffer();
  let progress = null;
  let doStar = null;
  const flush = (final) => {
    const batch = { type: 'batch' };
    const transfer = [];
    const d = data.take(final);
    if (d) { batch.data = d; transfer.push(d.ends.buffer); }
    const r = residuals.take(final);
    if (r) { batch.residuals = r; transfer.push(r.ends.buffer); }
    const p = points.take(final);
    if (p) { batch.points = p.points; transfer.push(...p.buffers); }
    if (progress) batch.progress = progress;
    if (doStar !== null) batch.doStar = doStar;
    progress = null;
    doStar = null;
    lastPost = performance.now();
    if (Object.keys(batch).length > 1) postMessage(batch, transfer);
  };
  const maybeFlush = () => {
    if (performance.now() - lastPost >= POST_INTERVAL) flush(false);
  };
  // The engine hands its text, points and Do* and then where the run stands, all at the end
  // of one test: a batch goes only then, so that what the page holds when the worker is
  // ended (Cancel) ends at one test in every pane, the one its status names.
  return {
    sink: {
      data(text) { data.add(text); },
      residuals(text) { residuals.add(text); },
      points(text) { points.add(text); },
      doStar(text) { doStar = text; },
      progress(done, total, degree) { progress = { done, total, degree }; maybeFlush(); },
    },
    flush,
  };
}

// RFC 4180 CSV: quoted cells may hold commas, quotes ("") and line ends. A last empty
// line is not a row.
function parseCsv(text) {
  const rows = [];
  let row = [];
  let cell = '';
  let quoted = false;
  for (let i = 0; i < text.length; i++) {
    const c = text[i];
    if (quoted) {
      if (c === '"') {
        if (text[i + 1] === '"') { cell += '"'; i++; } else quoted = false;
      } else cell += c;
    } else if (c === '"') quoted = true;
    else if (c === ',') { row.push(cell); cell = ''; }
    else if (c === '\n' || c === '\r') {
      if (c === '\r' && text[i + 1] === '\n') i++;
      row.push(cell); rows.push(row); row = []; cell = '';
    } else cell += c;
  }
  if (cell !== '' || row.length) { row.push(cell); rows.push(row); }
  return rows;
}

// A number as the core writes it. A study's digest (hex digits, at times all decimal ones)
// has neither a point nor a signed exponent, so it never makes a column fractional.
const NUMBER = /^-?\d+(\.\d+)?(e[-+]\d+)?$/;

// The engine's CSV for the page's tables, cut here, off the page's thread: the header's
// cells; each row's cells joined by `separator`, a character no cell holds (one string a
// row, so that the page receives 20 000 strings rather than 300 000 and splits only the rows
// it shows); and for each column whether it holds fractions, whether all its cells are
// numbers, and its widest whole part and text.
function tableOf(csv) {
  const [header = [], ...rows] = parseCsv(csv);
  let separator = '\u001f';
  for (let code = 0xe000; csv.includes(separator); code++) separator = String.fromCharCode(code);
  const columns = header.map((name) => ({ fractional: false, numeric: true, whole: 0, text: name.length }));
  for (const row of rows) {
    for (let c = 0; c < row.length && c < columns.length; c++) {
      const v = row[c];
      const column = columns[c];
      if (v === '') continue;
      if (NUMBER.test(v)) {
        if (v.includes('.')) column.fractional = true;
        const n = Math.abs(Number(v));
        const digits = n < 10 ? 1 : Math.floor(Math.log10(n)) + 1;
        column.whole = Math.max(column.whole, digits + (v[0] === '-' ? 1 : 0));
      } else {
        column.numeric = false;
        column.text = Math.max(column.text, v.length);
      }
    }
  }
  return { header, rows: rows.map((row) => row.join(separator)), separator, columns };
}

// The engine's answer, with its CSV (a run's summary, a sheet's results, a study's rows)
// also as a table.
function parseResult(text) {
  let result;
  try {
    result = JSON.parse(text);
  } catch (e) {
    return { end: 'error', notes: [], message: 'The engine answered something that is not JSON: ' + String(text).slice(0, 200) };
  }
  if (typeof result.csv === 'string') result.table = tableOf(result.csv);
  return result;
}

function simulate(message) {
  const { sink, flush } = makeRunSink();
  lastPost = performance.now();
  const result = parseResult(engine.simulate(JSON.stringify(message.settings), message.seed, sink));
  flush(true);
  postMessage({ type: 'end', job: 'simulate', result });
}

// A sink for where a sheet or a study stands: the engine's values under `names`, posted at
// most every POST_INTERVAL milliseconds; `end()` posts the last one held back.
function progressSink(names) {
  lastPost = performance.now();
  let pending = null;
  return {
    progress(...values) {
      pending = Object.fromEntries(names.map((name, i) => [name, values[i]]));
      if (performance.now() - lastPost >= POST_INTERVAL) {
        postMessage({ type: 'batch', progress: pending });
        pending = null;
        lastPost = performance.now();
      }
    },
    end() {
      if (pending) postMessage({ type: 'batch', progress: pending });
    },
  };
}

function analyseSheet(message) {
  const sink = progressSink(['checking', 'examinees', 'bytesRead', 'bytesTotal']);
  const result = parseResult(engine.analyseSheet(message.text, message.name, message.key, message.k,
    JSON.stringify(message.settings), sink));
  sink.end();
  postMessage({ type: 'end', job: 'sheet', result });
}

function study(message) {
  const sink = progressSink(['done', 'total', 'conditionsDone', 'conditions']);
  const result = parseResult(engine.study(JSON.stringify(message.definition), sink));
  sink.end();
  postMessage({ type: 'end', job: 'study', result });
}

// A job's request checked without running it; the answer goes back under the check's number.
function check(message) {
  postMessage({ type: 'checked', id: message.id, result: parseResult(engine.check(JSON.stringify(message.request))) });
}

const jobs = { simulate, sheet: analyseSheet, study };

onmessage = (event) => {
  const message = event.data;
  try {
    if (message.type === 'check') check(message);
    else jobs[message.type](message);
  } catch (e) {
    // An exception out of the engine (an abort, a memory limit) ends the job, not the page.
    const result = { end: 'error', notes: [], message: String(e && e.message || e) };
    if (message.type === 'check') postMessage({ type: 'checked', id: message.id, result });
    else postMessage({ type: 'end', job: message.type, result });
  }
};

VeltranoEngine().then((instance) => {
  engine = instance;
  postMessage({ type: 'ready', settingsTable: engine.settingsTable(), actionSettings: engine.actionSettings() });
}, (e) => {
  postMessage({ type: 'failed', message: String(e && e.message || e) });
});

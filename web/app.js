// The page around the engine: the settings form (built from the engine's settings table),
// the run and its cancel, the text panes, the charts, the Summary, answer sheets and
// studies. The engine runs in worker.js; this file only shows what the worker posts.
'use strict';

const $ = (id) => document.getElementById(id);

function el(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (value === undefined || value === null || value === false) continue;
    if (name === 'class') node.className = value;
    else if (name === 'text') node.textContent = value;
    else node.setAttribute(name, value === true ? '' : value);
  }
  node.append(...children);
  return node;
}

function download(blob, name) {
  const url = URL.createObjectURL(blob);
  const a = el('a', { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
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

// Fills a <table> from CSV rows: the first row is the header. Cells keep the CSV's text.
function fillTable(table, rows, caption) {
  table.replaceChildren();
  if (!rows.length) return;
  if (caption) table.append(el('caption', { class: 'visually-hidden', text: caption }));
  const head = el('thead');
  head.append(el('tr', {}, ...rows[0].map((name) => el('th', { scope: 'col', text: name }))));
  const body = el('tbody');
  const fragment = document.createDocumentFragment();
  for (const row of rows.slice(1)) {
    fragment.append(el('tr', {}, ...row.map((value) =>
      el('td', { text: value, class: value !== '' && isNaN(Number(value)) ? 'text' : null }))));
  }
  body.append(fragment);
  table.append(head, body);
}

// Rows of a CSV as objects keyed by the header, numbers where the cell is one, null for
// an empty cell.
function csvObjects(rows) {
  const [header, ...rest] = rows;
  return rest.map((row) => {
    const o = {};
    header.forEach((name, i) => {
      const v = row[i] ?? '';
      o[name] = v === '' ? null : (isNaN(Number(v)) ? v : Number(v));
    });
    return o;
  });
}

const PALETTE = ['#1f4fd1', '#d1621f', '#2a9d4b', '#b0268f', '#7a5c12', '#1a9aa8', '#c0392b', '#555555'];

// ---------------------------------------------------------------------------------
// The settings form, built from the engine's settings table.

let settingsTable = [];
const settingInputs = {};
const GRAPH_OPTIONS = new Set(['show-du', 'show-dc', 'show-d', 'show-dln']);

function isSwitch(entry) {
  return entry.min === 0 && entry.max === 1;
}

function displayCaption(caption) {
  // The window underlines some captions with a run of "_"; a label needs only the words.
  return caption.replace(/\s*_{2,}\s*$/, '');
}

function buildSettings(entries) {
  settingsTable = entries;
  const form = $('settings');
  form.replaceChildren();
  let fieldset = null;
  let switchRow = null;
  for (const entry of entries) {
    if (!fieldset || fieldset.dataset.group !== entry.group) {
      fieldset = el('fieldset', { 'data-group': entry.group }, el('legend', { text: entry.group }));
      form.append(fieldset);
      switchRow = null;
    }
    const id = 'set-' + entry.option;
    const helpId = id + '-help';
    const label = el('label', { for: id, text: displayCaption(entry.caption) });
    const help = el('span', { id: helpId, class: 'visually-hidden', text: entry.help });
    let input;
    if (isSwitch(entry)) {
      input = el('input', { type: 'checkbox', id, name: entry.option, 'aria-describedby': helpId, title: entry.help });
      input.checked = entry.byDefault === 1;
    } else {
      input = el('input', {
        type: 'number', id, name: entry.option, min: entry.min, max: entry.max, step: 1, required: true,
        inputmode: 'numeric', 'aria-describedby': helpId, title: `${entry.help} (${entry.min} to ${entry.max})`,
      });
      input.value = entry.byDefault;
    }
    settingInputs[entry.option] = input;
    const row = el('div', { class: 'setting' + (isSwitch(entry) ? ' switch' : '') }, label, input, help);
    // The short switches of the chart series stand side by side, as in the window.
    if (GRAPH_OPTIONS.has(entry.option) && entry.caption.length <= 2) {
      if (!switchRow) { switchRow = el('div', { class: 'switch-row' }); fieldset.append(switchRow); }
      switchRow.append(row);
    } else {
      fieldset.append(row);
      switchRow = null;
    }
    if (entry.option === 'do') {
      fieldset.append(el('div', { class: 'setting' },
        el('label', { for: 'do-star', text: 'Do*:' }),
        el('output', { id: 'do-star', 'aria-live': 'off', title: 'the realised degree of knowledge of the test under way' })));
    }
    input.addEventListener('change', () => onSettingChange(entry, input));
  }
  form.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' && event.target.tagName === 'INPUT' && event.target.type !== 'checkbox') {
      event.preventDefault();
      runSimulation();
    }
  });
}

function checkNumber(entry, input) {
  const text = input.value.trim();
  const value = Number(text);
  const ok = text !== '' && Number.isInteger(value) && value >= entry.min && value <= entry.max;
  input.classList.toggle('invalid', !ok);
  input.setAttribute('aria-invalid', ok ? 'false' : 'true');
  return ok;
}

function onSettingChange(entry, input) {
  if (!isSwitch(entry)) checkNumber(entry, input);
  if (GRAPH_OPTIONS.has(entry.option)) applyChartSwitches();
  writeAddress();
}

// The settings by option name, switches 0/1, and the captions of any out of range.
function readSettings() {
  const settings = {};
  const problems = [];
  for (const entry of settingsTable) {
    const input = settingInputs[entry.option];
    if (isSwitch(entry)) settings[entry.option] = input.checked ? 1 : 0;
    else if (checkNumber(entry, input)) settings[entry.option] = Number(input.value);
    else problems.push(`${displayCaption(entry.caption).replace(/:$/, '')} must be a whole number from ${entry.min} to ${entry.max}`);
  }
  return { settings, problems };
}

function setSetting(option, value) {
  const input = settingInputs[option];
  if (!input) return;
  if (input.type === 'checkbox') input.checked = !!value;
  else input.value = value;
}

function settingOf(option, fallback) {
  const input = settingInputs[option];
  if (!input) return fallback;
  return input.type === 'checkbox' ? input.checked : Number(input.value);
}

// ---------------------------------------------------------------------------------
// The address: every setting by option name, the seed, and run=1 to run at once.

let lastRunSeed = '';

function readAddress() {
  const params = new URLSearchParams(location.search);
  const ignored = [];
  for (const entry of settingsTable) {
    if (!params.has(entry.option)) continue;
    const text = params.get(entry.option).trim().toLowerCase();
    if (isSwitch(entry)) {
      if (['1', 'true', 'on', 'yes', ''].includes(text)) setSetting(entry.option, 1);
      else if (['0', 'false', 'off', 'no'].includes(text)) setSetting(entry.option, 0);
      else ignored.push(entry.option);
    } else {
      const value = Number(text);
      if (text !== '' && Number.isInteger(value) && value >= entry.min && value <= entry.max) setSetting(entry.option, value);
      else ignored.push(entry.option);
    }
  }
  if (params.has('seed')) {
    const seed = params.get('seed').trim();
    if (validSeed(seed)) $('seed-input').value = seed;
    else ignored.push('seed');
  }
  return { run: params.get('run') === '1', ignored };
}

function writeAddress() {
  const params = new URLSearchParams();
  for (const entry of settingsTable) {
    const input = settingInputs[entry.option];
    params.set(entry.option, input.type === 'checkbox' ? (input.checked ? '1' : '0') : input.value.trim());
  }
  const seed = $('seed-input').value.trim() || lastRunSeed;
  if (seed) params.set('seed', seed);
  history.replaceState(null, '', location.pathname + '?' + params.toString());
}

function validSeed(text) {
  return /^\d{1,10}$/.test(text) && Number(text) <= 4294967295;
}

// ---------------------------------------------------------------------------------
// The worker and the one job it runs at a time. Cancel ends the worker (a synchronous
// engine call cannot be interrupted) and starts a fresh one for the next job.

let worker = null;
let workerReady = null;
let engineLoaded = false;
let job = null;

// The worker's script and the engine, fetched once when the page opens and kept as blobs:
// the worker started after a Cancel loads them from memory, so that the page goes on
// working once loaded, with the server or the network gone. Where they cannot be fetched
// (a page opened from a file), the worker loads them itself.
let workerUrl = null;
async function loadWorkerUrl() {
  if (workerUrl) return workerUrl;
  try {
    const [script, engine] = await Promise.all(['worker.js', 'veltrano-engine.js'].map(async (name) => {
      const response = await fetch(name);
      if (!response.ok) throw new Error(`${name}: ${response.status}`);
      return response.text();
    }));
    const engineUrl = URL.createObjectURL(new Blob([engine], { type: 'text/javascript' }));
    workerUrl = URL.createObjectURL(new Blob([`self.veltranoEngineUrl = ${JSON.stringify(engineUrl)};\n`, script],
      { type: 'text/javascript' }));
  } catch {
    workerUrl = 'worker.js';
  }
  return workerUrl;
}

function startWorker() {
  workerReady = loadWorkerUrl().then((url) => new Promise((resolve, reject) => {
    worker = new Worker(url);
    worker.onmessage = (event) => {
      const message = event.data;
      if (message.type === 'ready') {
        worker.onmessage = onWorkerMessage;
        resolve(message.settingsTable);
      } else if (message.type === 'failed') reject(new Error(message.message));
    };
    worker.onerror = (event) => {
      event.preventDefault();
      if (!job) reject(new Error(event.message || 'worker.js or veltrano-engine.js could not be loaded'));
      else failJob(event.message || 'the engine stopped');
    };
  }));
  workerReady.catch(() => {});
}

function onWorkerMessage(event) {
  const message = event.data;
  if (!job) return;
  if (message.type === 'batch') job.onBatch(message);
  else if (message.type === 'end') {
    const current = job;
    job = null;
    setBusy(null);
    current.onEnd(message.result);
    markEnd(message.result.end || (message.result.ok ? 'ok' : 'error'));
  }
}

// How the last job ended, on the root element, for whoever waits for it (the tests).
function markEnd(end) {
  document.documentElement.dataset.end = end;
}

function failJob(message) {
  const current = job;
  job = null;
  worker.terminate();
  startWorker();
  setBusy(null);
  if (current) current.onEnd({ end: 'error', ok: false, message });
  markEnd('error');
}

function cancelJob() {
  if (!job) return;
  const current = job;
  job = null;
  worker.terminate();
  startWorker();
  setBusy(null);
  current.onCancel();
  markEnd('cancelled');
}

function setBusy(kind) {
  const busy = kind !== null;
  for (const fieldset of $('settings').querySelectorAll('fieldset')) {
    // The chart switches choose what is shown, and stay usable during a run.
    for (const input of fieldset.querySelectorAll('input')) {
      input.disabled = busy && !GRAPH_OPTIONS.has(input.name);
    }
  }
  $('seed-input').disabled = busy;
  $('run').disabled = busy || !engineLoaded;
  $('sheet-run').disabled = busy || !engineLoaded || !sheet.file;
  $('study-run').disabled = busy || !engineLoaded;
  for (const name of ['study-n', 'study-k', 'study-do', 'study-replications', 'study-ci', 'study-seed']) $(name).disabled = busy;
  $('cancel').disabled = kind !== 'simulate';
  $('sheet-cancel').disabled = kind !== 'sheet';
  $('study-cancel').disabled = kind !== 'study';
}

async function startJob(kind, message, handlers) {
  if (job) return false;
  const mine = { kind, ...handlers };
  job = mine;
  markEnd('');
  setBusy(kind);
  try {
    await workerReady;
    // Cancelled while the engine was still loading: nothing to send.
    if (job !== mine) return false;
  } catch (e) {
    if (job !== mine) return false;
    job = null;
    setBusy(null);
    handlers.onEnd({ end: 'error', ok: false, message: 'The engine could not be loaded: ' + e.message });
    markEnd('error');
    return false;
  }
  worker.postMessage(message);
  return true;
}

// ---------------------------------------------------------------------------------
// A text pane that holds any number of lines: the text is kept as the chunks the worker
// sent, each with the offsets of its line ends, and only the lines in view are put in
// the page. Past a few million pixels the scroll position maps to a line proportionally
// (browsers cap an element's height).

const MAX_SCROLL_HEIGHT = 8000000;

class TextPane {
  constructor(view, full, count) {
    this.view = view;
    this.full = full;
    this.count = count;
    this.spacer = el('div', { class: 'spacer' });
    this.pre = el('pre');
    view.append(this.spacer, this.pre);
    this.lineHeight = 0;
    this.pending = false;
    view.addEventListener('scroll', () => this.schedule());
    new ResizeObserver(() => this.schedule()).observe(view);
    this.clear();
  }

  clear() {
    this.chunks = [];
    this.ends = [];
    this.starts = [];
    this.lines = 0;
    this.full.textContent = '';
    this.view.scrollTop = 0;
    this.schedule();
  }

  append(text, ends) {
    if (!ends.length) return;
    this.chunks.push(text);
    this.ends.push(ends);
    this.starts.push(this.lines);
    this.lines += ends.length;
    this.schedule();
  }

  // Lines [first, last) as one string.
  slice(first, last) {
    let c = 0;
    let lo = 0;
    let hi = this.starts.length - 1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (this.starts[mid] <= first) { c = mid; lo = mid + 1; } else hi = mid - 1;
    }
    let out = '';
    let line = first;
    while (line < last && c < this.chunks.length) {
      const ends = this.ends[c];
      const j = line - this.starts[c];
      const k = Math.min(ends.length, j + (last - line));
      out += this.chunks[c].slice(j ? ends[j - 1] : 0, ends[k - 1]);
      line += k - j;
      c++;
    }
    return out;
  }

  schedule() {
    if (this.pending) return;
    this.pending = true;
    requestAnimationFrame(() => { this.pending = false; this.render(); });
  }

  render() {
    this.count.textContent = this.lines ? `${this.lines.toLocaleString('en')} lines` : '';
    if (!this.view.offsetParent) return;
    if (!this.lineHeight) this.lineHeight = parseFloat(getComputedStyle(this.view).lineHeight) || 18;
    const lh = this.lineHeight;
    const viewport = this.view.clientHeight;
    const visible = Math.ceil(viewport / lh) + 1;
    const natural = this.lines * lh;
    const height = Math.min(natural, MAX_SCROLL_HEIGHT);
    this.spacer.style.height = height + 'px';
    const top = this.view.scrollTop;
    let first;
    let offset;
    if (natural <= MAX_SCROLL_HEIGHT) {
      first = Math.floor(top / lh);
      offset = first * lh;
    } else {
      const ratio = Math.min(1, top / Math.max(1, height - viewport));
      first = Math.round(ratio * Math.max(0, this.lines - visible + 1));
      offset = top;
    }
    first = Math.max(0, Math.min(first, this.lines));
    const last = Math.min(this.lines, first + visible);
    const text = this.slice(first, last);
    // Keep a selection the user is making alone unless the lines in view changed.
    if (this.pre.dataset.first !== String(first) || this.pre.textContent.length !== text.length) {
      this.pre.textContent = text;
      this.pre.dataset.first = first;
    }
    this.pre.style.top = offset + 'px';
  }

  text() {
    return this.chunks.join('');
  }

  // The whole text into the hidden element that stands for the pane's content.
  publish() {
    this.full.textContent = this.text();
  }

  blob() {
    return new Blob(this.chunks, { type: 'text/plain;charset=utf-8' });
  }
}

// ---------------------------------------------------------------------------------
// A scatter chart of any number of points: uPlot draws the axes, the grid, the legend
// and the diagonal (or zero) line; the points are drawn straight onto its canvas from
// typed arrays. Axes are fixed unless "Fit axes to the data" is ticked, and points
// outside fixed axes are counted, not drawn.

class ScatterChart {
  constructor(host, options) {
    this.host = host;
    this.options = options;
    this.store = {};
    for (const s of options.series) this.store[s.key] = { x: new Float64Array(1024), y: new Float64Array(1024), n: 0 };
    this.fit = false;
    this.dirty = false;
    this.lastDraw = 0;
    this.outside = options.outside;
    this.plot = null;
    new ResizeObserver(() => this.resize()).observe(host);
  }

  create() {
    const o = this.options;
    const series = [{}, { label: o.line.label, stroke: o.line.color, width: 1, points: { show: false } }];
    for (const s of o.series) {
      series.push({ label: s.label, stroke: s.color, fill: s.color, width: 0, paths: () => null, points: { show: false } });
    }
    const data = [[0, 1], o.line.y, ...o.series.map(() => [null, null])];
    this.plot = new uPlot({
      title: o.title,
      width: this.width(),
      height: this.height(),
      cursor: { show: false, drag: { x: false, y: false } },
      select: { show: false },
      legend: { live: false },
      scales: {
        x: { time: false, range: () => this.range('x') },
        y: { range: () => this.range('y') },
      },
      axes: [
        { label: o.xLabel, grid: { stroke: '#ddd', dash: [2, 3] }, splits: () => this.splits('x'), values: (u, splits) => splits.map(formatTick) },
        { label: o.yLabel, grid: { stroke: '#ddd', dash: [2, 3] }, splits: () => this.splits('y'), values: (u, splits) => splits.map(formatTick), size: 56 },
      ],
      series,
      hooks: {
        draw: [(u) => this.drawPoints(u)],
        setSeries: [(u, i) => { if (i !== null && this.onToggle) this.onToggle(this.optionOf(i), u.series[i].show); }],
      },
    }, data, this.host);
    this.applyShown();
  }

  width() { return Math.max(320, this.host.clientWidth || 800); }
  height() { return Math.max(240, Math.min(660, window.innerHeight - 200)); }

  optionOf(index) {
    if (index === 1) return this.options.line.option;
    return this.options.series[index - 2]?.option;
  }

  // Which series to show, from the settings' chart switches.
  setShown(shown) {
    this.shown = shown;
    this.applyShown();
  }

  applyShown() {
    if (!this.plot || !this.shown) return;
    const options = [this.options.line.option, ...this.options.series.map((s) => s.option)];
    options.forEach((option, i) => {
      const show = this.shown[option] !== false;
      if (this.plot.series[i + 1].show !== show) this.plot.setSeries(i + 1, { show });
    });
    this.refit();
  }

  resize() {
    if (!this.plot) { if (this.host.offsetParent) { this.create(); } return; }
    if (!this.host.offsetParent) return;
    this.plot.setSize({ width: this.width(), height: this.height() });
  }

  add(points) {
    for (const s of this.options.series) {
      const part = points[s.key];
      if (!part) continue;
      const store = this.store[s.key];
      const need = store.n + part.x.length;
      if (need > store.x.length) {
        let size = store.x.length;
        while (size < need) size *= 2;
        const x = new Float64Array(size); x.set(store.x.subarray(0, store.n));
        const y = new Float64Array(size); y.set(store.y.subarray(0, store.n));
        store.x = x; store.y = y;
      }
      store.x.set(part.x, store.n);
      store.y.set(part.y, store.n);
      store.n = need;
    }
    this.dirty = true;
  }

  clear() {
    for (const s of Object.values(this.store)) s.n = 0;
    this.dirty = true;
    this.redraw(true);
  }

  count() {
    return this.options.series.reduce((sum, s) => sum + this.store[s.key].n, 0);
  }

  // Redraws now when forced, otherwise at most every 300 ms while points arrive.
  redraw(force) {
    if (!this.plot) { this.resize(); if (!this.plot) return; }
    if (!this.host.offsetParent) return;
    const now = performance.now();
    if (!force && now - this.lastDraw < 300) {
      if (!this.timer) this.timer = setTimeout(() => { this.timer = null; this.redraw(true); }, 300);
      return;
    }
    this.lastDraw = now;
    this.dirty = false;
    if (this.fit) this.refit(); else this.plot.redraw(false, false);
  }

  setFit(fit) {
    this.fit = fit;
    this.refit();
  }

  refit() {
    this.fitted = null;
    if (!this.plot) return;
    // setData makes uPlot ask the range functions again.
    this.plot.setData(this.plot.data, true);
  }

  shownSeries() {
    return this.options.series.filter((s) => !this.shown || this.shown[s.option] !== false);
  }

  range(axis) {
    const fixed = axis === 'x' ? [0, 1] : this.options.yRange;
    if (!this.fit) return fixed;
    if (!this.fitted) this.fitted = { x: this.extent('x') || [0, 1], y: this.extent('y') || this.options.yRange };
    return this.fitted[axis];
  }

  // The smallest and largest value of the shown points on an axis, padded a little.
  extent(axis) {
    let min = Infinity;
    let max = -Infinity;
    for (const s of this.shownSeries()) {
      const store = this.store[s.key];
      const values = axis === 'x' ? store.x : store.y;
      for (let i = 0; i < store.n; i++) {
        const v = values[i];
        if (v < min) min = v;
        if (v > max) max = v;
      }
    }
    if (!(min <= max)) return null;
    if (min === max) { min -= 0.5; max += 0.5; }
    const pad = (max - min) * 0.03;
    return [min - pad, max + pad];
  }

  splits(axis) {
    const [min, max] = this.range(axis);
    return ticks(min, max, axis === 'x' ? 4 : (this.options.yRange[1] - this.options.yRange[0] > 2 ? 16 : 4), !this.fit);
  }

  drawPoints(u) {
    const ctx = u.ctx;
    const { left, top, width, height } = u.bbox;
    const [x0, x1] = [u.scales.x.min, u.scales.x.max];
    const [y0, y1] = [u.scales.y.min, u.scales.y.max];
    const sx = width / (x1 - x0);
    const sy = height / (y1 - y0);
    const size = Math.max(2, Math.round(2 * devicePixelRatio));
    const half = size / 2;
    let below = 0;
    let above = 0;
    ctx.save();
    // Many tests share a pixel (Do* takes few values): each pixel is filled once per series.
    const cols = Math.ceil(width) + 2;
    const rows = Math.ceil(height) + 2;
    if (!this.mask || this.mask.length < cols * rows) this.mask = new Uint8Array(cols * rows);
    // The first series (Du) is drawn last, on top of the others, as in the window.
    for (const s of this.shownSeries().reverse()) {
      const store = this.store[s.key];
      const xs = store.x;
      const ys = store.y;
      const mask = this.mask;
      mask.fill(0, 0, cols * rows);
      ctx.fillStyle = s.color;
      for (let i = 0, n = store.n; i < n; i++) {
        const y = ys[i];
        const x = xs[i];
        if (y !== y || x !== x) continue;
        if (y < y0) { below++; continue; }
        if (y > y1) { above++; continue; }
        if (x < x0 || x > x1) continue;
        const px = Math.round((x - x0) * sx);
        const py = Math.round((y1 - y) * sy);
        const at = py * cols + px;
        if (mask[at]) continue;
        mask[at] = 1;
        ctx.fillRect(left + px - half, top + py - half, size, size);
      }
    }
    ctx.restore();
    const parts = [];
    if (below) parts.push(`${below.toLocaleString('en')} point${below === 1 ? '' : 's'} below the axis`);
    if (above) parts.push(`${above.toLocaleString('en')} point${above === 1 ? '' : 's'} above the axis`);
    this.outside.textContent = parts.join(', ');
  }

  png() {
    if (!this.plot) return;
    const source = this.plot.ctx.canvas;
    const ratio = devicePixelRatio || 1;
    const titleHeight = 34 * ratio;
    const legendHeight = 28 * ratio;
    const canvas = document.createElement('canvas');
    canvas.width = source.width;
    canvas.height = source.height + titleHeight + legendHeight;
    const ctx = canvas.getContext('2d');
    ctx.fillStyle = '#fff';
    ctx.fillRect(0, 0, canvas.width, canvas.height);
    ctx.fillStyle = '#8b1a1a';
    ctx.font = `bold ${15 * ratio}px sans-serif`;
    ctx.textAlign = 'center';
    ctx.fillText(this.options.title, canvas.width / 2, 22 * ratio);
    ctx.drawImage(source, 0, titleHeight);
    ctx.textAlign = 'left';
    ctx.font = `${12 * ratio}px sans-serif`;
    let x = 60 * ratio;
    const y = titleHeight + source.height + 18 * ratio;
    for (const item of this.legendItems()) {
      ctx.fillStyle = item.color;
      ctx.fillRect(x, y - 9 * ratio, 10 * ratio, 10 * ratio);
      ctx.fillStyle = '#222';
      ctx.fillText(item.label, x + 14 * ratio, y);
      x += (ctx.measureText(item.label).width + 34 * ratio);
    }
    canvas.toBlob((blob) => download(blob, this.options.file + '.png'), 'image/png');
  }

  legendItems() {
    const items = [];
    if (!this.shown || this.shown[this.options.line.option] !== false) items.push(this.options.line);
    return items.concat(this.shownSeries());
  }

  // The chart as SVG, drawn from the points themselves: each series one path of small
  // squares, so that even 10^5 points stay one element per series.
  svg() {
    const W = 896;
    const H = 660;
    const m = { left: 72, right: 24, top: 44, bottom: 84 };
    const pw = W - m.left - m.right;
    const ph = H - m.top - m.bottom;
    const [x0, x1] = this.range('x');
    const [y0, y1] = this.range('y');
    const px = (x) => m.left + (x - x0) / (x1 - x0) * pw;
    const py = (y) => m.top + (y1 - y) / (y1 - y0) * ph;
    const r = (v) => Math.round(v * 10) / 10;
    const esc = (t) => String(t).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
    const out = [];
    out.push(`<svg xmlns="http://www.w3.org/2000/svg" width="${W}" height="${H}" viewBox="0 0 ${W} ${H}" font-family="sans-serif">`);
    out.push(`<rect width="${W}" height="${H}" fill="#fff"/>`);
    out.push(`<defs><clipPath id="plot"><rect x="${m.left}" y="${m.top}" width="${pw}" height="${ph}"/></clipPath></defs>`);
    out.push(`<text x="${W / 2}" y="26" text-anchor="middle" font-size="15" font-weight="bold" fill="#8b1a1a">${esc(this.options.title)}</text>`);
    for (const t of this.splits('x')) {
      const x = r(px(t));
      out.push(`<line x1="${x}" y1="${m.top}" x2="${x}" y2="${m.top + ph}" stroke="#ddd" stroke-dasharray="2 3"/>`);
      out.push(`<text x="${x}" y="${m.top + ph + 18}" text-anchor="middle" font-size="12">${esc(formatTick(t))}</text>`);
    }
    for (const t of this.splits('y')) {
      const y = r(py(t));
      out.push(`<line x1="${m.left}" y1="${y}" x2="${m.left + pw}" y2="${y}" stroke="#ddd" stroke-dasharray="2 3"/>`);
      out.push(`<text x="${m.left - 6}" y="${y + 4}" text-anchor="end" font-size="12">${esc(formatTick(t))}</text>`);
    }
    out.push(`<rect x="${m.left}" y="${m.top}" width="${pw}" height="${ph}" fill="none" stroke="#333"/>`);
    out.push(`<text x="${m.left + pw / 2}" y="${m.top + ph + 40}" text-anchor="middle" font-size="13" font-weight="bold">${esc(this.options.xLabel)}</text>`);
    out.push(`<text transform="translate(18 ${m.top + ph / 2}) rotate(-90)" text-anchor="middle" font-size="13" font-weight="bold">${esc(this.options.yLabel)}</text>`);
    out.push('<g clip-path="url(#plot)">');
    if (!this.shown || this.shown[this.options.line.option] !== false) {
      const l = this.options.line;
      out.push(`<line x1="${r(px(0))}" y1="${r(py(l.y[0]))}" x2="${r(px(1))}" y2="${r(py(l.y[1]))}" stroke="${l.color}"/>`);
    }
    for (const s of this.shownSeries()) {
      const store = this.store[s.key];
      const d = [];
      for (let i = 0; i < store.n; i++) {
        const x = store.x[i];
        const y = store.y[i];
        if (y !== y || x !== x || y < y0 || y > y1 || x < x0 || x > x1) continue;
        d.push(`M${r(px(x) - 1)} ${r(py(y) - 1)}h2v2h-2z`);
      }
      if (d.length) out.push(`<path fill="${s.color}" d="${d.join('')}"/>`);
    }
    out.push('</g>');
    let lx = m.left;
    const ly = H - 18;
    for (const item of this.legendItems()) {
      out.push(`<rect x="${lx}" y="${ly - 9}" width="10" height="10" fill="${item.color}"/>`);
      out.push(`<text x="${lx + 14}" y="${ly}" font-size="12">${esc(item.label)}</text>`);
      lx += 34 + item.label.length * 7;
    }
    if (this.outside.textContent) {
      out.push(`<text x="${m.left + pw - 6}" y="${m.top + ph - 8}" text-anchor="end" font-size="12">${esc(this.outside.textContent)}</text>`);
    }
    out.push('</svg>\n');
    download(new Blob([out.join('\n')], { type: 'image/svg+xml' }), this.options.file + '.svg');
  }
}

// Tick positions from min to max: fixed steps for the fixed axes (as the window has
// them), otherwise a round step giving about `count` intervals.
function ticks(min, max, count, fixedAxis) {
  let step;
  if (fixedAxis) step = (max - min) / count;
  else {
    const raw = (max - min) / 5;
    const power = Math.pow(10, Math.floor(Math.log10(raw)));
    step = [1, 2, 2.5, 5, 10].map((f) => f * power).find((s) => s >= raw);
  }
  const out = [];
  for (let t = Math.ceil(min / step - 1e-9) * step; t <= max + step * 1e-9; t += step) out.push(Math.round(t / step) * step + 0);
  return out;
}

function formatTick(v) {
  return String(Number(v.toPrecision(12)) + 0);
}

// ---------------------------------------------------------------------------------
// Line charts with error bars, for the Summary and the study's plots: one uPlot line
// chart per measure, ±1.96 Monte Carlo (or empirical) SE as bars drawn on its canvas.

function lineChart(host, { title, xLabel, yLabel, x, series, reference }) {
  host.replaceChildren();
  if (!x.length) return null;
  const all = reference ? [...series, reference] : series;
  const errors = all.map((s) => s.err || null);
  // The y axis holds every bar, not only the points.
  let low = Infinity;
  let high = -Infinity;
  all.forEach((s, i) => s.y.forEach((y, j) => {
    if (y == null) return;
    const e = errors[i] && errors[i][j] != null ? 1.96 * errors[i][j] : 0;
    low = Math.min(low, y - e);
    high = Math.max(high, y + e);
  }));
  if (!(low <= high)) { low = 0; high = 1; }
  if (low === high) { low -= 0.5; high += 0.5; }
  const pad = (high - low) * 0.05;
  const barred = errors.filter(Boolean).length;
  const xPad = (x[x.length - 1] - x[0]) * 0.03 || 0.5;
  const plot = new uPlot({
    title,
    width: Math.max(320, host.clientWidth || 600),
    height: host.classList.contains('small') ? 260 : 340,
    cursor: { drag: { x: false, y: false } },
    legend: { live: false },
    scales: { x: { time: false, range: [x[0] - xPad, x[x.length - 1] + xPad] }, y: { range: [low - pad, high + pad] } },
    axes: [{ label: xLabel, grid: { stroke: '#e4e4e4' } }, { label: yLabel, grid: { stroke: '#e4e4e4' }, size: 60 }],
    series: [{ label: xLabel }, ...all.map((s) => ({
      label: s.label,
      stroke: s.color,
      width: s.width || 1.5,
      dash: s.dash,
      points: { show: !s.reference, size: 6, fill: s.color },
      spanGaps: true,
    }))],
    hooks: {
      draw: [(u) => {
        const ctx = u.ctx;
        ctx.save();
        ctx.setLineDash([]);
        ctx.lineWidth = Math.max(1, devicePixelRatio);
        let order = 0;
        errors.forEach((err, s) => {
          if (!err) return;
          // Bars of one x stand side by side, a few pixels apart.
          const shift = (order++ - (barred - 1) / 2) * 3 * devicePixelRatio;
          if (!u.series[s + 1].show) return;
          ctx.strokeStyle = all[s].color;
          const ys = u.data[s + 1];
          for (let i = 0; i < ys.length; i++) {
            if (ys[i] == null || err[i] == null) continue;
            const cx = u.valToPos(u.data[0][i], 'x', true) + shift;
            const top = u.valToPos(ys[i] + 1.96 * err[i], 'y', true);
            const bottom = u.valToPos(ys[i] - 1.96 * err[i], 'y', true);
            const w = 3 * devicePixelRatio;
            ctx.beginPath();
            ctx.moveTo(cx, top); ctx.lineTo(cx, bottom);
            ctx.moveTo(cx - w, top); ctx.lineTo(cx + w, top);
            ctx.moveTo(cx - w, bottom); ctx.lineTo(cx + w, bottom);
            ctx.stroke();
          }
        });
        ctx.restore();
      }],
    },
  }, [x, ...all.map((s) => s.y)], host);
  return plot;
}

const ESTIMATORS = [
  { key: 'Du', label: 'Du', color: '#1f4fd1', dash: undefined },
  { key: 'Dc', label: 'Dc', color: '#d1621f', dash: [6, 4] },
  { key: 'DLN', label: 'D Lord & Novick', color: '#2a9d4b', dash: [2, 3] },
];

// ---------------------------------------------------------------------------------
// The Summary page: the last run's summary CSV as a table, its chart and its download.

const summary = { csv: '', rows: [] };

function showSummary(csv, heading) {
  summary.csv = csv;
  const rows = parseCsv(csv);
  summary.rows = rows.length ? csvObjects(rows) : [];
  fillTable($('summary'), rows, 'Summary of the last run');
  $('summary-heading').textContent = heading;
  $('summary-save').disabled = !csv;
  const hasCoverage = summary.rows.some((r) => r.wald_coverage != null || r.ci_coverage != null);
  $('summary-measure').querySelector('option[value=coverage]').disabled = !hasCoverage;
  if (!hasCoverage && $('summary-measure').value === 'coverage') $('summary-measure').value = 'mean';
  drawSummaryChart();
}

function drawSummaryChart() {
  const host = $('summary-chart');
  if (!host.offsetParent) { host.dataset.stale = '1'; return; }
  delete host.dataset.stale;
  const rows = summary.rows;
  const x = [...new Set(rows.map((r) => r.do_star).filter((v) => v != null))].sort((a, b) => a - b);
  const at = (estimator, field) => x.map((v) => rows.find((r) => r.do_star === v && r.estimator === estimator)?.[field] ?? null);
  const measure = $('summary-measure').value;
  const series = [];
  let reference;
  let title;
  let yLabel;
  if (measure === 'mean') {
    title = 'Mean estimate ± 1.96 empirical SE vs True Knowledge (Do*)';
    yLabel = 'Mean estimate';
    for (const e of ESTIMATORS) series.push({ label: e.label, color: e.color, dash: e.dash, y: at(e.key, 'mean'), err: at(e.key, 'emp_se') });
    reference = { label: 'D = Do*', color: '#666', dash: [4, 4], y: x.slice(), reference: true, width: 1 };
  } else if (measure === 'bias') {
    title = 'Bias ± 1.96 Monte Carlo SE vs True Knowledge (Do*)';
    yLabel = 'Bias';
    for (const e of ESTIMATORS) series.push({ label: e.label, color: e.color, dash: e.dash, y: at(e.key, 'bias'), err: at(e.key, 'bias_mcse') });
    reference = { label: 'zero', color: '#666', dash: [4, 4], y: x.map(() => 0), reference: true, width: 1 };
  } else {
    title = 'Coverage of the 95 % intervals vs True Knowledge (Do*)';
    yLabel = 'Coverage';
    for (const e of ESTIMATORS.slice(0, 2)) {
      series.push({ label: e.label + ' Wald', color: e.color, dash: e.dash, y: at(e.key, 'wald_coverage'), err: at(e.key, 'wald_coverage_mcse') });
    }
    const ci = at('Du', 'ci_coverage');
    if (ci.some((v) => v != null)) series.push({ label: 'Du interval', color: '#b0268f', y: ci, err: at('Du', 'ci_coverage_mcse') });
    reference = { label: '0.95', color: '#666', dash: [4, 4], y: x.map(() => 0.95), reference: true, width: 1 };
  }
  lineChart(host, { title, xLabel: 'True Knowledge (Do*)', yLabel, x, series, reference });
}

// ---------------------------------------------------------------------------------
// The simulation run.

let dataPane;
let residualsPane;
let graphChart;
let residualChart;

function chartSwitches() {
  return {
    'show-du': settingOf('show-du', true),
    'show-dc': settingOf('show-dc', false),
    'show-dln': settingOf('show-dln', false),
    'show-d': settingOf('show-d', true),
  };
}

function applyChartSwitches() {
  const shown = chartSwitches();
  graphChart.setShown(shown);
  // The residual chart has Du's residuals and the zero line, which the window always shows.
  residualChart.setShown({ 'show-du': true, 'show-d': true });
}

function setStatus(text) {
  $('status').textContent = text;
}

function describeRun(settings, seed, tests) {
  let degrees = `Do ${settings.do}`;
  if (settings.iterate) {
    const list = [];
    for (let d = settings.do; d <= settings.dmax; d += settings.step) list.push(d);
    if (list.length > 1) degrees = `Do ${list[0]} to ${list[list.length - 1]} (${list.length} degrees)`;
  }
  return `The last run (seed ${seed}): n = ${settings.n}, k = ${settings.k}, ${degrees}, ${tests} tests. ` +
    'The other pages gather the output of every run; this page shows the last run only.';
}

function publishPanes() {
  dataPane.publish();
  residualsPane.publish();
  graphChart.redraw(true);
  residualChart.redraw(true);
}

async function runSimulation() {
  if (job || !engineLoaded) return;
  const { settings, problems } = readSettings();
  const seed = $('seed-input').value.trim();
  if (seed && !validSeed(seed)) problems.push('the seed must be a whole number from 0 to 4294967295, or empty');
  if (problems.length) {
    setStatus('Not run: ' + problems.join('; ') + '.');
    return;
  }
  writeAddress();
  let lastDone = 0;
  $('progress').value = 0;
  $('do-star').value = '';
  setStatus('Running…');
  const started = performance.now();
  await startJob('simulate', { type: 'simulate', settings, seed }, {
    onBatch(message) {
      if (message.data) dataPane.append(message.data.text, message.data.ends);
      if (message.residuals) residualsPane.append(message.residuals.text, message.residuals.ends);
      if (message.points) {
        graphChart.add(message.points);
        residualChart.add(message.points);
        graphChart.redraw(false);
        residualChart.redraw(false);
      }
      if (message.doStar !== undefined) $('do-star').value = message.doStar;
      if (message.progress) {
        const { done, total, degree } = message.progress;
        lastDone = done;
        $('progress').max = Math.max(1, total);
        $('progress').value = done;
        setStatus(`Test ${done.toLocaleString('en')} of ${total.toLocaleString('en')} (Do ${degree}%)`);
      }
    },
    onEnd(result) {
      publishPanes();
      if (result.end === 'completed') {
        $('progress').value = $('progress').max;
        lastRunSeed = String(result.seed);
        $('seed').value = lastRunSeed;
        $('seed-line').hidden = false;
        writeAddress();
        const seconds = ((performance.now() - started) / 1000).toFixed(1);
        setStatus(`Done: ${Number(result.tests).toLocaleString('en')} tests in ${seconds} s.`);
        showSummary(result.summary || '', describeRun(settings, lastRunSeed, result.tests));
      } else {
        setStatus('The run ended with an error: ' + (result.message || result.end));
      }
    },
    onCancel() {
      publishPanes();
      setStatus(`Cancelled after test ${lastDone}`);
    },
  });
}

// ---------------------------------------------------------------------------------
// Answer sheets.

const sheet = { file: null, csv: '', chosen: 0 };

async function chooseSheet(file) {
  if (!file) return;
  // Until the new sheet is read, Analyse waits rather than analyse the previous one.
  sheet.file = null;
  $('sheet-run').disabled = true;
  const chosen = ++sheet.chosen;
  const text = await file.text();
  if (chosen !== sheet.chosen) return;
  sheet.file = { name: file.name, text };
  $('sheet-name').textContent = `${file.name} (${file.size.toLocaleString('en')} bytes)`;
  $('sheet-run').disabled = !!job || !engineLoaded;
}

async function runSheet() {
  if (job || !sheet.file) return;
  // Reading the key file takes a moment: the job under way starts now.
  markEnd('');
  const { settings, problems } = readSettings();
  const k = Number($('sheet-k').value);
  if (!Number.isInteger(k) || k < 0 || k > 10) problems.push('k must be 0 (from the key) or 2 to 10');
  if (problems.length) { $('sheet-error').textContent = problems.join('; '); markEnd('error'); return; }
  const keyFile = $('key-file').files[0];
  let key = $('key-text').value.trim();
  if (!key && keyFile) key = (await keyFile.text()).trim();
  $('sheet-error').textContent = '';
  $('sheet-favoured').replaceChildren();
  $('sheet-results').replaceChildren();
  $('sheet-report').textContent = '';
  $('sheet-save').disabled = true;
  await startJob('sheet', { type: 'sheet', text: sheet.file.text, name: sheet.file.name, key, k, settings }, {
    onBatch() {},
    onEnd(result) {
      if (!result.ok) {
        $('sheet-error').textContent = result.message || 'The sheet could not be analysed.';
        return;
      }
      sheet.csv = result.csv;
      fillTable($('sheet-results'), parseCsv(result.csv), 'Results per examinee');
      $('sheet-favoured').replaceChildren(...(result.favoured || []).map((line) => el('li', { text: line })));
      $('sheet-report').textContent = result.report || '';
      $('sheet-save').disabled = false;
    },
    onCancel() {
      $('sheet-error').textContent = 'Cancelled.';
    },
  });
}

// ---------------------------------------------------------------------------------
// Studies.

const study = { csv: '', rows: [] };

// A list of whole numbers: values and ranges lo:hi:step (lo:hi steps by 1), comma
// separated, each within [min, max].
function parseList(text, name, min, max) {
  const values = [];
  for (const part of text.split(',').map((p) => p.trim()).filter(Boolean)) {
    const m = /^(\d+)(?::(\d+)(?::(\d+))?)?$/.exec(part);
    if (!m) throw new Error(`${name}: "${part}" is neither a number nor a range lo:hi:step`);
    const lo = Number(m[1]);
    const hi = m[2] === undefined ? lo : Number(m[2]);
    const step = m[3] === undefined ? 1 : Number(m[3]);
    if (step < 1 || hi < lo) throw new Error(`${name}: "${part}" is an empty range`);
    for (let v = lo; v <= hi; v += step) {
      if (v < min || v > max) throw new Error(`${name}: ${v} is outside ${min} to ${max}`);
      values.push(v);
      if (values.length > 100000) throw new Error(`${name}: too many values`);
    }
  }
  if (!values.length) throw new Error(`${name}: give at least one value`);
  return values;
}

function rangeOf(option, min, max) {
  const entry = settingsTable.find((e) => e.option === option);
  return entry ? [entry.min, entry.max] : [min, max];
}

function randomSeed() {
  const words = crypto.getRandomValues(new Uint32Array(2));
  return ((BigInt(words[0]) << 32n) | BigInt(words[1])).toString();
}

async function runStudy() {
  if (job) return;
  let definition;
  try {
    const replications = Number($('study-replications').value);
    if (!Number.isInteger(replications) || replications < 1 || replications > 10000000) {
      throw new Error('replications: a whole number from 1 to 10000000');
    }
    let seed = $('study-seed').value.trim();
    if (seed && !(/^\d{1,20}$/.test(seed) && BigInt(seed) < (1n << 64n))) throw new Error('seed: a whole number from 0 to 18446744073709551615');
    if (!seed) seed = randomSeed();
    definition = {
      n: parseList($('study-n').value, 'n', ...rangeOf('n', 1, 100000)),
      k: parseList($('study-k').value, 'k', ...rangeOf('k', 2, 10)),
      do: parseList($('study-do').value, 'Do', ...rangeOf('do', 0, 100)),
      replications,
      ci: $('study-ci').checked ? 1 : 0,
      seed,
    };
  } catch (e) {
    $('study-status').textContent = e.message;
    return;
  }
  let lastDone = 0;
  $('study-status').textContent = 'Running…';
  $('study-save').disabled = true;
  await startJob('study', { type: 'study', definition }, {
    onBatch(message) {
      if (!message.progress) return;
      lastDone = message.progress.done;
      $('study-status').textContent = `Condition ${message.progress.done} of ${message.progress.total}`;
    },
    onEnd(result) {
      if (!result.ok) { $('study-status').textContent = 'The study ended with an error: ' + result.message; return; }
      study.csv = result.csv;
      const rows = parseCsv(result.csv);
      study.rows = csvObjects(rows);
      fillTable($('study-table'), rows, 'Study rows');
      $('study-save').disabled = false;
      const conditions = new Set(study.rows.map((r) => r.condition)).size;
      $('study-status').textContent = `Done: ${conditions} conditions of ${definition.replications} replications, seed ${definition.seed}.`;
      const ks = [...new Set(study.rows.map((r) => r.k))].sort((a, b) => a - b);
      $('study-plot-k').replaceChildren(...ks.map((k) => el('option', { value: k, text: k })));
      $('study-k-bar').hidden = ks.length < 2;
      drawStudyPlots();
    },
    onCancel() {
      $('study-status').textContent = `Cancelled after condition ${lastDone}`;
    },
  });
}

// The three plots the command line draws for a k: bias, RMSE and coverage against Do,
// one line per n and estimator (the colour says n, the dash the estimator), bars of
// ±1.96 MCSE.
function drawStudyPlots() {
  const hosts = ['study-bias', 'study-rmse', 'study-coverage'].map($);
  if (!hosts[0].offsetParent) { hosts[0].dataset.stale = '1'; return; }
  delete hosts[0].dataset.stale;
  const k = Number($('study-plot-k').value);
  const rows = study.rows.filter((r) => r.k === k);
  if (!rows.length) { hosts.forEach((h) => h.replaceChildren()); return; }
  const x = [...new Set(rows.map((r) => r.do))].sort((a, b) => a - b);
  const ns = [...new Set(rows.map((r) => r.n))].sort((a, b) => a - b);
  const at = (n, estimator, field) => x.map((d) => rows.find((r) => r.n === n && r.do === d && r.estimator === estimator)?.[field] ?? null);
  const lines = (field, estimators, suffix = '') => {
    const out = [];
    ns.forEach((n, i) => {
      for (const e of estimators) {
        const y = at(n, e.key, field);
        if (y.every((v) => v == null)) continue;
        out.push({ label: `n = ${n} ${e.label}${suffix}`, color: PALETTE[i % PALETTE.length], dash: e.dash, y, err: at(n, e.key, field + '_mcse') });
      }
    });
    return out;
  };
  const flat = (value) => ({ label: String(value), color: '#666', dash: [4, 4], y: x.map(() => value), reference: true, width: 1 });
  lineChart(hosts[0], { title: `Bias at k = ${k}`, xLabel: 'Do (%)', yLabel: 'Bias', x, series: lines('bias', ESTIMATORS), reference: flat(0) });
  lineChart(hosts[1], { title: `RMSE at k = ${k}`, xLabel: 'Do (%)', yLabel: 'RMSE', x, series: lines('rmse', ESTIMATORS) });
  const coverage = lines('wald_coverage', ESTIMATORS.slice(0, 2), ' Wald');
  ns.forEach((n, i) => {
    const y = at(n, 'Du', 'ci_coverage');
    if (y.some((v) => v != null)) {
      coverage.push({ label: `n = ${n} Du interval`, color: PALETTE[i % PALETTE.length], dash: [8, 3, 2, 3], y, err: at(n, 'Du', 'ci_coverage_mcse') });
    }
  });
  lineChart(hosts[2], { title: `Coverage at k = ${k}`, xLabel: 'Do (%)', yLabel: 'Coverage', x, series: coverage, reference: flat(0.95) });
}

// ---------------------------------------------------------------------------------
// Tabs, with the arrow keys moving between them.

function showTab(tab, focus) {
  const tabs = [...document.querySelectorAll('[role=tab]')];
  for (const t of tabs) {
    const selected = t === tab;
    t.setAttribute('aria-selected', String(selected));
    t.tabIndex = selected ? 0 : -1;
    $(t.getAttribute('aria-controls')).hidden = !selected;
  }
  if (focus) tab.focus();
  const page = tab.getAttribute('aria-controls');
  if (page === 'page-data') dataPane.schedule();
  if (page === 'page-residuals') residualsPane.schedule();
  if (page === 'page-graph') { graphChart.resize(); graphChart.redraw(true); }
  if (page === 'page-residual') { residualChart.resize(); residualChart.redraw(true); }
  if (page === 'page-summary' && $('summary-chart').dataset.stale) drawSummaryChart();
  if (page === 'page-study' && $('study-bias').dataset.stale) drawStudyPlots();
}

function setUpTabs() {
  const tabs = [...document.querySelectorAll('[role=tab]')];
  tabs.forEach((tab, i) => {
    tab.addEventListener('click', () => showTab(tab, false));
    tab.addEventListener('keydown', (event) => {
      const next = { ArrowRight: i + 1, ArrowLeft: i - 1, Home: 0, End: tabs.length - 1 }[event.key];
      if (next === undefined) return;
      event.preventDefault();
      showTab(tabs[(next + tabs.length) % tabs.length], true);
    });
  });
}

// ---------------------------------------------------------------------------------
// Start: the engine's settings table builds the form; the address fills it and may run.

function setUp() {
  setUpTabs();
  dataPane = new TextPane($('data-view'), $('data'), $('data-count'));
  residualsPane = new TextPane($('residuals-view'), $('residuals'), $('residuals-count'));
  graphChart = new ScatterChart($('graph-chart'), {
    title: 'Delta (MLE) vs True Knowledge (Do*)', file: 'graph', xLabel: 'Do*', yLabel: 'Delta (MLE)', yRange: [0, 1],
    outside: $('graph-outside'),
    line: { label: 'D', option: 'show-d', color: '#00008b', y: [0, 1] },
    series: [
      { key: 'sPoint_DSEM', label: 'Du', option: 'show-du', color: '#0000cd' },
      { key: 'sPoint_Dcond', label: 'Dc', option: 'show-dc', color: '#e07000' },
      { key: 'sDLN', label: 'D Lord & Novick', option: 'show-dln', color: '#1a8a3a' },
    ],
  });
  residualChart = new ScatterChart($('residual-chart'), {
    title: 'Standarized residual (Delta MLE - Tue Knowledge Do*)/SE(Delta)', file: 'residual', xLabel: 'Do*',
    yLabel: 'Standarized Residual', yRange: [-4, 4], outside: $('residual-outside'),
    line: { label: 'zero', option: 'show-d', color: '#4050c0', y: [0, 0] },
    series: [{ key: 'rPoint_DSEM', label: 'Du', option: 'show-du', color: '#8b0000' }],
  });
  graphChart.onToggle = (option, show) => {
    if (option && settingInputs[option] && settingInputs[option].checked !== show) {
      settingInputs[option].checked = show;
      writeAddress();
    }
  };

  $('run').addEventListener('click', runSimulation);
  for (const id of ['cancel', 'sheet-cancel', 'study-cancel']) $(id).addEventListener('click', cancelJob);
  document.addEventListener('keydown', (event) => { if (event.key === 'Escape' && job) cancelJob(); });
  $('seed-input').addEventListener('change', writeAddress);
  $('seed-reuse').addEventListener('click', () => { $('seed-input').value = $('seed').value; writeAddress(); });

  $('data-save').addEventListener('click', () => download(dataPane.blob(), 'data.txt'));
  $('residuals-save').addEventListener('click', () => download(residualsPane.blob(), 'residuals.txt'));
  // A pane's Clear empties the chart of the same tests with it, as in the window.
  $('data-clear').addEventListener('click', () => { dataPane.clear(); graphChart.clear(); });
  $('residuals-clear').addEventListener('click', () => { residualsPane.clear(); residualChart.clear(); });
  for (const [name, chart] of [['graph', graphChart], ['residual', residualChart]]) {
    $(name + '-fit').addEventListener('change', (event) => chart.setFit(event.target.checked));
    $(name + '-png').addEventListener('click', () => chart.png());
    $(name + '-svg').addEventListener('click', () => chart.svg());
    $(name + '-clear').addEventListener('click', () => chart.clear());
  }

  $('summary-save').addEventListener('click', () => download(new Blob([summary.csv], { type: 'text/csv' }), 'summary.csv'));
  $('summary-measure').addEventListener('change', drawSummaryChart);

  $('sheet-file').addEventListener('change', (event) => chooseSheet(event.target.files[0]));
  const drop = $('sheet-drop');
  drop.addEventListener('click', () => $('sheet-file').click());
  drop.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' || event.key === ' ') { event.preventDefault(); $('sheet-file').click(); }
  });
  drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    chooseSheet(event.dataTransfer.files[0]);
  });
  $('sheet-run').addEventListener('click', runSheet);
  $('sheet-save').addEventListener('click', () => download(new Blob([sheet.csv], { type: 'text/csv' }), 'results.csv'));

  $('study-run').addEventListener('click', runStudy);
  $('study-form').addEventListener('submit', (event) => { event.preventDefault(); runStudy(); });
  $('study-save').addEventListener('click', () => download(new Blob([study.csv], { type: 'text/csv' }), 'study.csv'));
  $('study-plot-k').addEventListener('change', drawStudyPlots);
  // The line charts are drawn at their page's width: draw them again when it changes.
  let resizeTimer = null;
  window.addEventListener('resize', () => {
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(() => {
      if (summary.rows.length) drawSummaryChart();
      if (study.rows.length) drawStudyPlots();
    }, 200);
  });

  startWorker();
  workerReady.then((tableText) => {
    buildSettings(JSON.parse(tableText));
    engineLoaded = true;
    const { run, ignored } = readAddress();
    applyChartSwitches();
    setBusy(null);
    setStatus(ignored.length ? `Left at their defaults (not valid in the address): ${ignored.join(', ')}` : 'Ready.');
    if (run) runSimulation();
  }, (e) => {
    $('settings-loading').textContent = 'The engine could not be loaded: ' + e.message;
    setStatus('The engine could not be loaded.');
  });
}

setUp();

// The charts: scatter charts of any number of points (Graph, Residual) and line charts with
// error bars (the Summary and the study's plots), drawn by uPlot.
import { download } from './dom.js';

/* global uPlot */

export const PALETTE = ['#1f4fd1', '#d1621f', '#2a9d4b', '#b0268f', '#7a5c12', '#1a9aa8', '#c0392b', '#555555'];

// A scatter chart of any number of points: uPlot draws the axes, the grid, the legend
// and the diagonal (or zero) line; the points are drawn straight onto its canvas from
// typed arrays. Axes are fixed unless "Fit axes to the data" is ticked, and points
// outside fixed axes are counted, not drawn.

export class ScatterChart {
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
    savePng(this.plot.ctx.canvas, this.options.title, this.legendItems(), this.options.file + '.png');
  }

  // The diagonal (or zero) line and the series shown, as the legend names them.
  legendItems() {
    const items = [];
    const l = this.options.line;
    if (!this.shown || this.shown[l.option] !== false) items.push({ label: l.label, color: l.color, line: true });
    return items.concat(this.shownSeries().map((s) => ({ label: s.label, color: s.color, square: true })));
  }

  // The chart as SVG, drawn from the points themselves: each series one path of small
  // squares, so that even 10^5 points stay one element per series.
  svg() {
    const text = svgChart({
      title: this.options.title, xLabel: this.options.xLabel, yLabel: this.options.yLabel,
      xRange: this.range('x'), yRange: this.range('y'), xTicks: this.splits('x'), yTicks: this.splits('y'),
      legend: this.legendItems(), note: this.outside.textContent,
    }, ({ px, py, r, inside }) => {
      const out = [];
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
          if (!inside(x, y)) continue;
          d.push(`M${r(px(x) - 1)} ${r(py(y) - 1)}h2v2h-2z`);
        }
        if (d.length) out.push(`<path fill="${s.color}" d="${d.join('')}"/>`);
      }
      return out;
    });
    download(new Blob([text], { type: 'image/svg+xml' }), this.options.file + '.svg');
  }
}

// ---------------------------------------------------------------------------------
// Charts as files: a PNG of the chart's canvas with its title above and its legend below,
// and an SVG drawn from the data. A legend item is a square (points), a line (with its dash
// and, where the chart marks them, its points) or both.

const esc = (t) => String(t).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');

// Legend items laid out in rows `width` wide, each its swatch and label (`measure` wide)
// and a gap, `extra` in all: each item's x and row.
function legendRows(items, width, measure, extra) {
  const placed = [];
  let x = 0;
  let row = 0;
  for (const item of items) {
    const w = extra + measure(item.label);
    if (x > 0 && x + w > width) { x = 0; row++; }
    placed.push({ item, x, row });
    x += w;
  }
  return { placed, rows: items.length ? row + 1 : 0 };
}

function savePng(source, title, legend, file) {
  const ratio = devicePixelRatio || 1;
  const titleHeight = 34 * ratio;
  const rowHeight = 20 * ratio;
  const margin = 60 * ratio;
  const measureCtx = document.createElement('canvas').getContext('2d');
  measureCtx.font = `${12 * ratio}px sans-serif`;
  const { placed, rows } = legendRows(legend, source.width - 2 * margin, (label) => measureCtx.measureText(label).width, 44 * ratio);
  const canvas = document.createElement('canvas');
  canvas.width = source.width;
  canvas.height = source.height + titleHeight + rows * rowHeight + 10 * ratio;
  const ctx = canvas.getContext('2d');
  ctx.fillStyle = '#fff';
  ctx.fillRect(0, 0, canvas.width, canvas.height);
  ctx.fillStyle = '#8b1a1a';
  ctx.font = `bold ${15 * ratio}px sans-serif`;
  ctx.textAlign = 'center';
  ctx.fillText(title, canvas.width / 2, 22 * ratio);
  ctx.drawImage(source, 0, titleHeight);
  ctx.textAlign = 'left';
  ctx.font = `${12 * ratio}px sans-serif`;
  for (const { item, x: at, row } of placed) {
    const x = margin + at;
    const y = titleHeight + source.height + (row + 1) * rowHeight - 4 * ratio;
    ctx.fillStyle = item.color;
    ctx.strokeStyle = item.color;
    if (item.square) ctx.fillRect(x + 7 * ratio, y - 9 * ratio, 10 * ratio, 10 * ratio);
    if (item.line) {
      ctx.lineWidth = 2 * ratio;
      ctx.setLineDash((item.dash || []).map((d) => d * ratio));
      ctx.beginPath();
      ctx.moveTo(x, y - 4 * ratio);
      ctx.lineTo(x + 24 * ratio, y - 4 * ratio);
      ctx.stroke();
      ctx.setLineDash([]);
      if (item.points) {
        ctx.beginPath();
        ctx.arc(x + 12 * ratio, y - 4 * ratio, 3 * ratio, 0, 2 * Math.PI);
        ctx.fill();
      }
    }
    ctx.fillStyle = '#222';
    ctx.fillText(item.label, x + 30 * ratio, y);
  }
  canvas.toBlob((blob) => download(blob, file), 'image/png');
}

// An SVG chart: the frame (title, grid, ticks, axis titles, legend, a note in the corner)
// around what `draw` gives, which places values with px and py.
function svgChart({ title, xLabel, yLabel, xRange, yRange, xTicks, yTicks, legend, note }, draw) {
  const W = 896;
  const m = { left: 72, right: 24, top: 44, bottom: 64 };
  const pw = W - m.left - m.right;
  const ph = 660 - 84 - m.top;
  const { placed, rows } = legendRows(legend, pw, (label) => label.length * 7, 44);
  const H = m.top + ph + m.bottom + rows * 20;
  const [x0, x1] = xRange;
  const [y0, y1] = yRange;
  const px = (x) => m.left + (x - x0) / (x1 - x0) * pw;
  const py = (y) => m.top + (y1 - y) / (y1 - y0) * ph;
  const r = (v) => Math.round(v * 10) / 10;
  const inside = (x, y) => x === x && y === y && x >= x0 && x <= x1 && y >= y0 && y <= y1;
  const out = [];
  out.push(`<svg xmlns="http://www.w3.org/2000/svg" width="${W}" height="${H}" viewBox="0 0 ${W} ${H}" font-family="sans-serif">`);
  out.push(`<rect width="${W}" height="${H}" fill="#fff"/>`);
  out.push(`<defs><clipPath id="plot"><rect x="${m.left}" y="${m.top}" width="${pw}" height="${ph}"/></clipPath></defs>`);
  out.push(`<text x="${W / 2}" y="26" text-anchor="middle" font-size="15" font-weight="bold" fill="#8b1a1a">${esc(title)}</text>`);
  for (const t of xTicks) {
    const x = r(px(t));
    out.push(`<line x1="${x}" y1="${m.top}" x2="${x}" y2="${m.top + ph}" stroke="#ddd" stroke-dasharray="2 3"/>`);
    out.push(`<text x="${x}" y="${m.top + ph + 18}" text-anchor="middle" font-size="12">${esc(formatTick(t))}</text>`);
  }
  for (const t of yTicks) {
    const y = r(py(t));
    out.push(`<line x1="${m.left}" y1="${y}" x2="${m.left + pw}" y2="${y}" stroke="#ddd" stroke-dasharray="2 3"/>`);
    out.push(`<text x="${m.left - 6}" y="${y + 4}" text-anchor="end" font-size="12">${esc(formatTick(t))}</text>`);
  }
  out.push(`<rect x="${m.left}" y="${m.top}" width="${pw}" height="${ph}" fill="none" stroke="#333"/>`);
  out.push(`<text x="${m.left + pw / 2}" y="${m.top + ph + 40}" text-anchor="middle" font-size="13" font-weight="bold">${esc(xLabel)}</text>`);
  out.push(`<text transform="translate(18 ${m.top + ph / 2}) rotate(-90)" text-anchor="middle" font-size="13" font-weight="bold">${esc(yLabel)}</text>`);
  out.push('<g clip-path="url(#plot)">');
  out.push(...draw({ px, py, r, inside }));
  out.push('</g>');
  for (const { item, x: at, row } of placed) {
    const x = m.left + at;
    const y = m.top + ph + m.bottom + row * 20 + 4;
    if (item.square) out.push(`<rect x="${x + 7}" y="${y - 9}" width="10" height="10" fill="${item.color}"/>`);
    if (item.line) {
      const dash = item.dash ? ` stroke-dasharray="${item.dash.join(' ')}"` : '';
      out.push(`<line x1="${x}" y1="${y - 4}" x2="${x + 24}" y2="${y - 4}" stroke="${item.color}" stroke-width="2"${dash}/>`);
      if (item.points) out.push(`<circle cx="${x + 12}" cy="${y - 4}" r="3" fill="${item.color}"/>`);
    }
    out.push(`<text x="${x + 30}" y="${y}" font-size="12">${esc(item.label)}</text>`);
  }
  if (note) out.push(`<text x="${m.left + pw - 6}" y="${m.top + ph - 8}" text-anchor="end" font-size="12">${esc(note)}</text>`);
  out.push('</svg>\n');
  return out.join('\n');
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

export function lineChart(host, { title, xLabel, yLabel, x, series, reference }) {
  host.replaceChildren();
  host.chart = null;
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
  // The legend's swatches show each line's dash and points, as the lines do: the colour
  // alone would give the estimators of one n the same swatch.
  const rows = [...plot.root.querySelectorAll('.u-legend .u-series')];
  rows.slice(rows.length - all.length).forEach((row, i) => row.querySelector('.u-marker')?.replaceWith(swatch(legendItem(all[i]))));
  host.chart = { plot, spec: { title, xLabel, yLabel, x, all, errors } };
  return plot;
}

function legendItem(s) {
  return { label: s.label, color: s.color, dash: s.dash, line: true, points: !s.reference };
}

function swatch(item) {
  const ns = 'http://www.w3.org/2000/svg';
  const svg = document.createElementNS(ns, 'svg');
  svg.setAttribute('class', 'swatch');
  svg.setAttribute('width', '26');
  svg.setAttribute('height', '12');
  svg.setAttribute('aria-hidden', 'true');
  const line = document.createElementNS(ns, 'line');
  for (const [name, value] of [['x1', 1], ['y1', 6], ['x2', 25], ['y2', 6], ['stroke', item.color], ['stroke-width', 2]]) {
    line.setAttribute(name, value);
  }
  if (item.dash) line.setAttribute('stroke-dasharray', item.dash.join(' '));
  svg.append(line);
  if (item.points) {
    const dot = document.createElementNS(ns, 'circle');
    for (const [name, value] of [['cx', 13], ['cy', 6], ['r', 3], ['fill', item.color]]) dot.setAttribute(name, value);
    svg.append(dot);
  }
  return svg;
}

// A line chart drawn by lineChart into `host`, saved as `file` (.png or .svg): the PNG from its
// canvas, the SVG from its data, both with the title and a legend of the lines shown.
export function saveLineChart(host, file) {
  const chart = host.chart;
  if (!chart || !host.isConnected) return;
  const { plot, spec } = chart;
  const shown = spec.all.map((s, i) => plot.series[i + 1].show);
  const legend = spec.all.filter((s, i) => shown[i]).map(legendItem);
  if (file.endsWith('.png')) {
    savePng(plot.ctx.canvas, spec.title, legend, file);
    return;
  }
  const xRange = [plot.scales.x.min, plot.scales.x.max];
  const yRange = [plot.scales.y.min, plot.scales.y.max];
  const text = svgChart({
    title: spec.title, xLabel: spec.xLabel, yLabel: spec.yLabel, xRange, yRange,
    xTicks: ticks(...xRange, 5, false), yTicks: ticks(...yRange, 5, false), legend,
  }, ({ px, py, r }) => {
    const out = [];
    spec.all.forEach((s, i) => {
      if (!shown[i]) return;
      const dash = s.dash ? ` stroke-dasharray="${s.dash.join(' ')}"` : '';
      // A gap in the values is spanned, as on the screen.
      const d = [];
      spec.x.forEach((x, j) => { if (s.y[j] != null) d.push(`${d.length ? 'L' : 'M'}${r(px(x))} ${r(py(s.y[j]))}`); });
      if (d.length) out.push(`<path fill="none" stroke="${s.color}" stroke-width="${s.width || 1.5}"${dash} d="${d.join('')}"/>`);
      if (!s.reference) {
        spec.x.forEach((x, j) => {
          if (s.y[j] == null) return;
          out.push(`<circle cx="${r(px(x))}" cy="${r(py(s.y[j]))}" r="3" fill="${s.color}"/>`);
          const e = spec.errors[i]?.[j];
          if (e != null) {
            const top = r(py(s.y[j] + 1.96 * e));
            const bottom = r(py(s.y[j] - 1.96 * e));
            const cx = r(px(x));
            out.push(`<path stroke="${s.color}" d="M${cx} ${top}V${bottom}M${cx - 3} ${top}h6M${cx - 3} ${bottom}h6"/>`);
          }
        });
      }
    });
    return out;
  });
  download(new Blob([text], { type: 'image/svg+xml' }), file);
}

export const ESTIMATORS = [
  { key: 'Du', label: 'Du', color: '#1f4fd1', dash: undefined },
  { key: 'Dc', label: 'Dc', color: '#d1621f', dash: [6, 4] },
  { key: 'DLN', label: 'D Lord & Novick', color: '#2a9d4b', dash: [2, 3] },
];


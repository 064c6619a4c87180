// A table of any number of rows (a sheet of 20 000 examinees, a study's rows, the Summary):
// the header stays, and only the rows in view are put in the page, between two spacer rows
// that keep the scroll bar true. Columns have fixed widths from their longest cell, so that
// they do not move while the rows under them change. Numbers of a column that holds
// fractions show the decimals the form sets (the downloads keep every digit).
import { el } from './dom.js';

// A number as the core writes it; a study's digest (hex digits, at times all decimal ones)
// has neither a point nor a signed exponent, so it never makes a column fractional.
const NUMBER = /^-?\d+(\.\d+)?(e[-+]\d+)?$/;
const tables = [];
let decimals = 3;
const MAX_WIDTH = 60; // characters; a longer cell (an examinee's error) is cut, its title whole

// Cells written as they are shown: a number of a fractional column with `decimals` places.
export function shownCell(text, fractional, decimals) {
  return fractional && NUMBER.test(text) ? Number(text).toFixed(decimals) : text;
}

// The form's "Decimal places", for every table.
export function setTableDecimals(places) {
  if (!Number.isInteger(places) || places < 0 || places > 20) return;
  decimals = places;
  for (const table of tables) table.setDecimals(places);
}

export class DataTable {
  constructor(scroll, table, caption) {
    tables.push(this);
    this.scroll = scroll;
    this.table = table;
    this.caption = caption;
    this.decimals = decimals;
    this.rowHeight = 0;
    this.pending = false;
    scroll.addEventListener('scroll', () => this.schedule());
    new ResizeObserver(() => this.schedule()).observe(scroll);
    this.clear();
  }

  clear() {
    this.rows = [];
    this.table.replaceChildren();
    this.table.removeAttribute('aria-rowcount');
    this.scroll.scrollTop = 0;
  }

  // `rows` are the CSV's rows, the header first.
  show(rows) {
    this.clear();
    if (!rows.length) return;
    this.rows = rows;
    const header = rows[0];
    this.fractional = header.map(() => false);
    this.numeric = header.map(() => true);
    const whole = header.map(() => 0);
    const text = header.map((name) => name.length);
    for (let r = 1; r < rows.length; r++) {
      const row = rows[r];
      for (let c = 0; c < row.length; c++) {
        const v = row[c];
        if (v === '') continue;
        if (NUMBER.test(v)) {
          if (v.includes('.')) this.fractional[c] = true;
          const n = Math.abs(Number(v));
          const digits = n < 10 ? 1 : Math.floor(Math.log10(n)) + 1;
          whole[c] = Math.max(whole[c], digits + (v[0] === '-' ? 1 : 0));
        } else {
          this.numeric[c] = false;
          text[c] = Math.max(text[c], v.length);
        }
      }
    }
    this.whole = whole;
    this.text = text;
    this.table.setAttribute('aria-rowcount', String(rows.length));
    this.head = el('thead', {}, el('tr', { 'aria-rowindex': 1 }, ...header.map((name) => el('th', { scope: 'col', text: name }))));
    this.colgroup = el('colgroup', {}, ...header.map(() => el('col')));
    this.body = el('tbody');
    this.table.append(el('caption', { class: 'visually-hidden', text: this.caption }), this.colgroup, this.head, this.body);
    this.first = -1;
    this.widths();
    this.schedule();
  }

  setDecimals(places) {
    if (places === this.decimals) return;
    this.decimals = places;
    if (!this.rows.length) return;
    this.first = -1;
    this.widths();
    this.schedule();
  }

  // Each column as wide as its longest shown cell, in the width of a digit.
  widths() {
    let total = 0;
    [...this.colgroup.children].forEach((col, c) => {
      const number = this.whole[c] + (this.fractional[c] ? 1 + this.decimals : 0);
      const chars = Math.min(MAX_WIDTH, Math.max(this.text[c], number, this.rows[0][c].length)) + 2;
      col.style.width = `${chars}ch`;
      total += chars;
    });
    this.table.style.width = `${total}ch`;
  }

  schedule() {
    if (this.pending) return;
    this.pending = true;
    requestAnimationFrame(() => { this.pending = false; this.render(); });
  }

  render() {
    if (!this.rows.length || !this.scroll.offsetParent) return;
    const count = this.rows.length - 1;
    const height = this.rowHeight || 21;
    const headHeight = this.head.offsetHeight;
    const visible = Math.ceil(Math.max(0, this.scroll.clientHeight - headHeight) / height) + 2;
    const first = Math.max(0, Math.min(count - visible, Math.floor(this.scroll.scrollTop / height)));
    const last = Math.min(count, first + visible);
    if (first === this.first && last === this.last) return;
    this.first = first;
    this.last = last;
    const spacer = (rows) => el('tr', { class: 'spacer', 'aria-hidden': 'true' },
      el('td', { colspan: this.rows[0].length, style: `height: ${rows * height}px` }));
    const shown = [];
    for (let r = first; r < last; r++) {
      const row = this.rows[r + 1];
      shown.push(el('tr', { 'aria-rowindex': r + 2 }, ...row.map((value, c) => {
        const cell = shownCell(value, this.fractional[c], this.decimals);
        return el('td', {
          text: cell,
          class: this.numeric[c] ? null : 'text',
          title: cell.length > MAX_WIDTH ? cell : null,
        });
      })));
    }
    this.body.replaceChildren(spacer(first), ...shown, spacer(count - last));
    // The rows' height is the browser's: measured on the first rows drawn, then drawn again.
    const measured = shown.length ? shown[0].getBoundingClientRect().height : 0;
    if (measured && Math.abs(measured - height) > 0.5) {
      this.rowHeight = measured;
      this.first = -1;
      this.schedule();
    }
  }
}

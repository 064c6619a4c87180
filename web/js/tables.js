// A table of any number of rows (a sheet of 20 000 examinees, a study's rows, the Summary):
// the header stays, and only the rows in view are put in the page, between two spacer rows
// that keep the scroll bar true. Columns have fixed widths from their longest cell, so that
// they do not move while the rows under them change. Numbers of a column that holds
// fractions show the decimals the form sets (the downloads keep every digit).
import { el } from './dom.js';

// A number as the core writes it (the worker found which columns hold fractions).
const NUMBER = /^-?\d+(\.\d+)?(e[-+]\d+)?$/;
const tables = [];
let decimals = 3;
const MAX_WIDTH = 60; // characters; a longer cell (an examinee's error) is cut, its title whole

// Cells written as they are shown: a number of a fractional column with `decimals` places.
function shownCell(text, fractional, decimals) {
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
    this.header = [];
    this.rows = [];
    this.table.replaceChildren();
    this.table.removeAttribute('aria-rowcount');
    this.scroll.scrollTop = 0;
  }

  // `table` as the worker cuts it: the header, a string of joined cells for each row, and
  // what each column holds.
  show(table) {
    this.clear();
    if (!table || !table.header.length) return;
    this.header = table.header;
    this.rows = table.rows;
    this.separator = table.separator;
    this.columns = table.columns;
    this.table.setAttribute('aria-rowcount', String(this.rows.length + 1));
    this.head = el('thead', {}, el('tr', { 'aria-rowindex': 1 }, ...this.header.map((name) => el('th', { scope: 'col', text: name }))));
    this.colgroup = el('colgroup', {}, ...this.header.map(() => el('col')));
    this.body = el('tbody');
    this.table.append(el('caption', { class: 'visually-hidden', text: this.caption }), this.colgroup, this.head, this.body);
    this.first = -1;
    this.widths();
    this.schedule();
  }

  setDecimals(places) {
    if (places === this.decimals) return;
    this.decimals = places;
    if (!this.header.length) return;
    this.first = -1;
    this.widths();
    this.schedule();
  }

  // Each column as wide as its longest shown cell, in the width of a digit.
  widths() {
    let total = 0;
    this.columns.forEach((column, c) => {
      const number = column.whole + (column.fractional ? 1 + this.decimals : 0);
      const chars = Math.min(MAX_WIDTH, Math.max(column.text, number)) + 2;
      this.colgroup.children[c].style.width = `${chars}ch`;
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
    if (!this.header.length || !this.scroll.offsetParent) return;
    const count = this.rows.length;
    const height = this.rowHeight || 21;
    const headHeight = this.head.offsetHeight;
    // The box grows with its rows up to its largest height: as many rows as that holds.
    const box = Math.max(this.scroll.clientHeight, parseFloat(getComputedStyle(this.scroll).maxHeight) || 0);
    const visible = Math.ceil(Math.max(0, box - headHeight) / height) + 2;
    const first = Math.max(0, Math.min(count - visible, Math.floor(this.scroll.scrollTop / height)));
    const last = Math.min(count, first + visible);
    if (first === this.first && last === this.last) return;
    this.first = first;
    this.last = last;
    const spacer = (rows) => el('tr', { class: 'spacer', 'aria-hidden': 'true' },
      el('td', { colspan: this.header.length, style: `height: ${rows * height}px` }));
    const shown = [];
    for (let r = first; r < last; r++) {
      const row = this.rows[r].split(this.separator);
      shown.push(el('tr', { 'aria-rowindex': r + 2 }, ...row.map((value, c) => {
        const column = this.columns[c] || { fractional: false, numeric: false };
        const cell = shownCell(value, column.fractional, this.decimals);
        return el('td', {
          text: cell,
          class: column.numeric ? null : 'text',
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

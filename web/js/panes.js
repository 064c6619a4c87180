// A text pane that holds any number of lines: the text is kept as the chunks the worker
// sent, each with the offsets of its line ends, and only the lines in view are put in
// the page. Past a few million pixels the scroll position maps to a line proportionally
// (browsers cap an element's height).
import { el } from './dom.js';

const MAX_SCROLL_HEIGHT = 8000000;

export class TextPane {
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
    // Ctrl+A (or Cmd+A) in the pane selects the pane, not the page: the lines in view are
    // selected, and a copy takes every line of the pane, as the window's pane does.
    this.allSelected = false;
    view.addEventListener('keydown', (event) => {
      if ((event.ctrlKey || event.metaKey) && !event.altKey && event.key.toLowerCase() === 'a') {
        event.preventDefault();
        this.allSelected = true;
        this.selectShown();
      }
    });
    document.addEventListener('selectionchange', () => {
      if (this.allSelected && !this.shownSelected()) this.allSelected = false;
    });
    document.addEventListener('copy', (event) => {
      if (!this.allSelected || !this.shownSelected()) return;
      event.clipboardData.setData('text/plain', this.text());
      event.preventDefault();
    });
    this.clear();
  }

  selectShown() {
    const range = document.createRange();
    range.selectNodeContents(this.pre);
    const selection = getSelection();
    selection.removeAllRanges();
    selection.addRange(range);
  }

  shownSelected() {
    const selection = getSelection();
    return selection.rangeCount === 1 && this.pre.contains(selection.anchorNode) && this.pre.contains(selection.focusNode) &&
      // (a selection's text leaves out the last line's end)
      selection.toString().replace(/\n$/, '') === this.pre.textContent.replace(/\n$/, '');
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
      // The whole pane stays selected while it scrolls.
      if (this.allSelected) this.selectShown();
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


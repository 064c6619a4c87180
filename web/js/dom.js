// What every part of the page uses: elements by id, building elements, downloads, and the
// CSV the engine answers with.

export const $ = (id) => document.getElementById(id);

export function el(tag, attributes = {}, ...children) {
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

export function download(blob, name) {
  const url = URL.createObjectURL(blob);
  const a = el('a', { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// RFC 4180 CSV: quoted cells may hold commas, quotes ("") and line ends. A last empty
// line is not a row.
export function parseCsv(text) {
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

// Rows of a CSV as objects keyed by the header, numbers where the cell is one, null for
// an empty cell.
export function csvObjects(rows) {
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

// Fills a <table> from CSV rows: the first row is the header. Cells keep the CSV's text.
export function fillTable(table, rows, caption) {
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

// What every part of the page uses: elements by id, building elements, downloads, and the
// rows of the engine's tables as objects.

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

// The rows of a table as the worker cuts it, as objects keyed by the header: numbers where
// the cell is one, null for an empty cell.
export function tableObjects(table) {
  if (!table) return [];
  return table.rows.map((line) => {
    const row = line.split(table.separator);
    const o = {};
    table.header.forEach((name, i) => {
      const v = row[i] ?? '';
      o[name] = v === '' ? null : (isNaN(Number(v)) ? v : Number(v));
    });
    return o;
  });
}

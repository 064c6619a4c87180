// The settings form, built from the engine's settings table: a number box or a check box
// per setting, grouped as in the window, each with the table's range and help. The engine
// checks the values: a box changed is checked at once and marked when refused.
import { $, el } from './dom.js';
import { checkRequest } from './engine.js';

// The chart switches choose what the Graph shows; they stay usable during a run.
export const GRAPH_OPTIONS = new Set(['show-du', 'show-dc', 'show-d', 'show-dln']);

let table = [];
const inputs = {};

export function settingEntries() {
  return table;
}

export function entryOf(option) {
  return table.find((e) => e.option === option);
}

export function isSwitch(entry) {
  return entry.min === 0 && entry.max === 1;
}

export function displayCaption(caption) {
  // The window underlines some captions with a run of "_"; a label needs only the words.
  return caption.replace(/\s*_{2,}\s*$/, '');
}

// Builds the form; `onChange(entry)` follows every change, `onEnter()` an Enter in a box.
export function buildSettings(entries, { onChange, onEnter }) {
  table = entries;
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
    inputs[entry.option] = input;
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
    input.addEventListener('change', () => {
      if (!isSwitch(entry)) checkBox(entry.option);
      onChange(entry);
    });
  }
  form.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' && event.target.tagName === 'INPUT' && event.target.type !== 'checkbox') {
      event.preventDefault();
      onEnter();
    }
  });
}

// A box marked refused, with the engine's message as its title, or unmarked ('').
export function markBox(input, message) {
  input.classList.toggle('invalid', message !== '');
  input.setAttribute('aria-invalid', message !== '' ? 'true' : 'false');
  if (!input.dataset.help) input.dataset.help = input.title;
  input.title = message || input.dataset.help;
}

// The text of a number box for the engine to check. A box whose text the browser does not
// read as a number (its type: "1e", "--") has no value to give: its problem is said here.
export function boxText(input, name) {
  if (input.validity.badInput) return { problem: `${name}: the box does not hold a number` };
  return { text: input.value.trim() };
}

// A box checked by the engine alone, in a run's request: a setting of the form's by its
// option, or the seed; marked when it is refused.
export async function checkBox(option) {
  const input = option === 'seed' ? $('seed-input') : inputs[option];
  const { text, problem } = boxText(input, option);
  if (problem) { markBox(input, problem); return; }
  const request = option === 'seed' ? { seed: text } : { settings: { [option]: text } };
  const answer = await checkRequest({ type: 'simulate', ...request });
  // A later change is checked in its turn.
  if (input.value.trim() === text) markBox(input, answer.end === 'completed' ? '' : answer.message);
}

// The form's settings by option name for the engine: switches 0/1, each number box's text;
// and the problems of boxes that hold no number.
export function readSettings() {
  const settings = {};
  const problems = [];
  for (const entry of table) {
    const input = inputs[entry.option];
    if (isSwitch(entry)) { settings[entry.option] = input.checked ? 1 : 0; continue; }
    const { text, problem } = boxText(input, entry.option);
    if (problem) { problems.push(problem); markBox(input, problem); } else settings[entry.option] = text;
  }
  return { settings, problems };
}

// The engine refused a run: the box of the setting it named (the form's or the seed's) is
// marked with its message.
export function markRefused(setting, message) {
  const input = setting === 'seed' ? $('seed-input') : inputs[setting];
  if (input) markBox(input, message);
}

// The engine took a run's settings: no box is marked.
export function unmarkAll() {
  for (const input of [...Object.values(inputs), $('seed-input')]) if (input.classList.contains('invalid')) markBox(input, '');
}

// The form's value of a setting as the address writes it: "0"/"1" for a switch, the box's text.
export function settingText(option) {
  const input = inputs[option];
  return input.type === 'checkbox' ? (input.checked ? '1' : '0') : input.value.trim();
}

export function setSetting(option, value) {
  const input = inputs[option];
  if (!input) return;
  if (input.type === 'checkbox') input.checked = !!value;
  else input.value = value;
}

export function settingOf(option, fallback) {
  const input = inputs[option];
  if (!input) return fallback;
  return input.type === 'checkbox' ? input.checked : Number(input.value);
}

// While a job runs the form is read-only, but for the chart switches.
export function setFormBusy(busy) {
  for (const input of $('settings').querySelectorAll('fieldset input')) {
    input.disabled = busy && !GRAPH_OPTIONS.has(input.name);
  }
  $('seed-input').disabled = busy;
}

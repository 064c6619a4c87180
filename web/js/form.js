// The settings form, built from the engine's settings table: a number box or a check box
// per setting, grouped as in the window, each with the table's range and help.
import { $, el } from './dom.js';

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
      if (!isSwitch(entry)) checkNumber(entry, input);
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

// What is wrong with a setting's text, worded as the command line words it ("" for nothing).
export function settingProblem(entry, text) {
  if (isSwitch(entry) && !/^[01]$/.test(text)) return `"${text}" is neither 1 (on, true, yes) nor 0 (off, false, no)`;
  if (text === '') return `no value; the value must be from ${entry.min} to ${entry.max}`;
  if (!/^-?\d+$/.test(text)) return `"${text}" is not a whole number`;
  const value = Number(text);
  if (value < entry.min || value > entry.max) return `${text} is out of range; the value must be from ${entry.min} to ${entry.max}`;
  return '';
}

function checkNumber(entry, input) {
  const text = input.value.trim();
  const value = Number(text);
  const ok = text !== '' && Number.isInteger(value) && value >= entry.min && value <= entry.max;
  input.classList.toggle('invalid', !ok);
  input.setAttribute('aria-invalid', ok ? 'false' : 'true');
  return ok;
}

// The settings by option name, switches 0/1, and the captions of any out of range.
export function readSettings() {
  const settings = {};
  const problems = [];
  for (const entry of table) {
    const input = inputs[entry.option];
    if (isSwitch(entry)) settings[entry.option] = input.checked ? 1 : 0;
    else if (checkNumber(entry, input)) settings[entry.option] = Number(input.value);
    else problems.push(`${displayCaption(entry.caption).replace(/:$/, '')}: ${settingProblem(entry, input.value.trim())}`);
  }
  return { settings, problems };
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

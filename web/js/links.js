// The page's address: every setting by option name, the seed, and run=1 to run at once, so
// that a link repeats a run exactly.
import { $ } from './dom.js';
import { isSwitch, setSetting, settingEntries, settingText } from './form.js';

let lastRunSeed = '';

// The seed of the last finished run, written into the address when the seed box is empty.
export function setLastRunSeed(seed) {
  lastRunSeed = seed;
}

export function validSeed(text) {
  return /^\d{1,10}$/.test(text) && Number(text) <= 4294967295;
}

// Fills the form from the address; answers whether it asks to run, and the options whose
// values were not taken.
export function readAddress() {
  const params = new URLSearchParams(location.search);
  const ignored = [];
  for (const entry of settingEntries()) {
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

export function writeAddress() {
  const params = new URLSearchParams();
  for (const entry of settingEntries()) params.set(entry.option, settingText(entry.option));
  const seed = $('seed-input').value.trim() || lastRunSeed;
  if (seed) params.set('seed', seed);
  history.replaceState(null, '', location.pathname + '?' + params.toString());
}

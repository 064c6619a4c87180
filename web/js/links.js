// The page's address: every setting by option name, the seed, and run=1 to run at once, so
// that a link repeats a run exactly.
import { $ } from './dom.js';
import { isSwitch, setSetting, settingEntries, settingProblem, settingText } from './form.js';

let lastRunSeed = '';

// The seed of the last finished run, written into the address when the seed box is empty.
export function setLastRunSeed(seed) {
  lastRunSeed = seed;
}

export function validSeed(text) {
  return /^\d{1,10}$/.test(text) && Number(text) <= 4294967295;
}

// What is wrong with a run's seed that is not valid, as the command line words it.
export function seedProblem(text) {
  return /^-?\d+$/.test(text) ? `${text} is out of range; the run's generator (lcg) takes seeds from 0 to 4294967295`
    : `"${text}" is not a whole number`;
}

// Fills the form from the address; answers whether it asks to run, and each value it refused
// ("n: "abc" is not a whole number"), whose setting stays as it was.
export function readAddress() {
  const params = new URLSearchParams(location.search);
  const refused = [];
  for (const entry of settingEntries()) {
    if (!params.has(entry.option)) continue;
    const given = params.get(entry.option).trim();
    const text = given.toLowerCase();
    if (isSwitch(entry)) {
      if (['1', 'true', 'on', 'yes', ''].includes(text)) setSetting(entry.option, 1);
      else if (['0', 'false', 'off', 'no'].includes(text)) setSetting(entry.option, 0);
      else refused.push(`${entry.option}: ${settingProblem(entry, given)}`);
    } else {
      const value = Number(text);
      if (/^-?\d+$/.test(text) && value >= entry.min && value <= entry.max) setSetting(entry.option, value);
      else refused.push(`${entry.option}: ${settingProblem(entry, given)}`);
    }
  }
  if (params.has('seed')) {
    const seed = params.get('seed').trim();
    if (validSeed(seed)) $('seed-input').value = seed;
    else refused.push(`seed: ${seedProblem(seed)}`);
  }
  return { run: params.get('run') === '1', refused };
}

export function writeAddress() {
  const params = new URLSearchParams();
  for (const entry of settingEntries()) params.set(entry.option, settingText(entry.option));
  const seed = $('seed-input').value.trim() || lastRunSeed;
  if (seed) params.set('seed', seed);
  history.replaceState(null, '', location.pathname + '?' + params.toString());
}

// The page's address: every setting by option name, the seed, and run=1 to run at once, so
// that a link repeats a run exactly.
import { $ } from './dom.js';
import { checkRequest } from './engine.js';
import { isSwitch, setSetting, settingEntries, settingText } from './form.js';

let lastRunSeed = '';

// The seed of the last finished run, written into the address when the seed box is empty.
export function setLastRunSeed(seed) {
  lastRunSeed = seed;
}

// A switch in an address may also be written as a word, or with no value at all ("&ci").
const SWITCH_WORDS = { '': '1', true: '1', on: '1', yes: '1', false: '0', off: '0', no: '0' };

// Fills the form from the address; answers whether it asks to run, and the engine's message
// for each value it refused ("n: "abc" is not a whole number"), whose setting stays as it was.
// Each value is checked alone, so that every refused one is named.
export async function readAddress() {
  const params = new URLSearchParams(location.search);
  const given = [];
  for (const entry of settingEntries()) {
    if (!params.has(entry.option)) continue;
    const text = params.get(entry.option).trim();
    given.push({ option: entry.option, text: isSwitch(entry) ? SWITCH_WORDS[text.toLowerCase()] ?? text : text });
  }
  if (params.has('seed')) given.push({ option: 'seed', text: params.get('seed').trim() });
  const answers = await Promise.all(given.map(({ option, text }) =>
    checkRequest(option === 'seed' ? { type: 'simulate', seed: text } : { type: 'simulate', settings: { [option]: text } })));
  const refused = [];
  given.forEach(({ option, text }, i) => {
    if (answers[i].end !== 'completed') refused.push(answers[i].message);
    else if (option === 'seed') $('seed-input').value = text;
    else setSetting(option, Number(text));
  });
  return { run: params.get('run') === '1', refused };
}

export function writeAddress() {
  const params = new URLSearchParams();
  for (const entry of settingEntries()) params.set(entry.option, settingText(entry.option));
  const seed = $('seed-input').value.trim() || lastRunSeed;
  if (seed) params.set('seed', seed);
  history.replaceState(null, '', location.pathname + '?' + params.toString());
}

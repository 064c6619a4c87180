// Answer sheets: a CSV of examinees' marks (and a key in it or apart) to the engine, its
// results per examinee into a table, the finding about favoured positions, and the
// command line's report.
import { $, download, el } from './dom.js';
import { boxText, readSettings } from './form.js';
import { engineLoaded, jobRunning, markEnd, onBusy, startJob } from './engine.js';
import { DataTable } from './tables.js';
import { setUnsaved } from './unsaved.js';

const sheet = { file: null, csv: '', chosen: 0 };
let results;

async function chooseSheet(file) {
  if (!file) return;
  // Until the new sheet is read, Analyse waits rather than analyse the previous one.
  sheet.file = null;
  $('sheet-run').disabled = true;
  const chosen = ++sheet.chosen;
  const text = await file.text();
  if (chosen !== sheet.chosen) return;
  sheet.file = { name: file.name, text };
  $('sheet-name').textContent = `${file.name} (${file.size.toLocaleString('en')} bytes)`;
  $('sheet-run').disabled = jobRunning() || !engineLoaded();
}

async function runSheet() {
  if (jobRunning() || !sheet.file) return;
  // Reading the key file takes a moment: the job under way starts now.
  markEnd('');
  const { settings, problems } = readSettings();
  // The box's 0, as an empty box, gives the engine no k: k from the key.
  const k = boxText($('sheet-k'), 'k');
  if (k.problem) problems.push(k.problem);
  if (problems.length) { $('sheet-error').textContent = problems.join('; '); markEnd('refused'); return; }
  const keyFile = $('key-file').files[0];
  let key = $('key-text').value.trim();
  if (!key && keyFile) key = (await keyFile.text()).trim();
  $('sheet-error').textContent = '';
  $('sheet-status').textContent = 'Analysing…';
  const started = performance.now();
  let examinees = 0;
  // The last sheet's results stay until the engine takes this one's settings.
  let cleared = false;
  const clear = () => {
    if (cleared) return;
    cleared = true;
    $('sheet-favoured').replaceChildren();
    results.clear();
    setUnsaved('sheet', false);
    $('sheet-report').textContent = '';
    $('sheet-save').disabled = true;
  };
  const message = { type: 'sheet', text: sheet.file.text, name: sheet.file.name, key, k: k.text === '0' ? '' : k.text, settings };
  await startJob('sheet', message, {
    // Where the work stands: a first pass checks the rows when k comes from the key.
    onBatch({ progress }) {
      if (!progress) return;
      clear();
      examinees = progress.examinees;
      const share = progress.bytesTotal > 0 ? ` (${Math.floor(100 * progress.bytesRead / progress.bytesTotal)} %)` : '';
      $('sheet-status').textContent = progress.checking ? `Checking the rows${share}…`
        : `${examinees.toLocaleString('en')} examinees analysed${share}…`;
    },
    onEnd(result) {
      if (result.end !== 'refused') clear();
      if (result.end !== 'completed') {
        $('sheet-status').textContent = '';
        $('sheet-error').textContent = result.message || 'The sheet could not be analysed.';
        return;
      }
      const seconds = ((performance.now() - started) / 1000).toFixed(1);
      $('sheet-status').textContent = `Done: ${result.examinees.toLocaleString('en')} examinees in ${seconds} s.`;
      sheet.csv = result.csv;
      results.show(result.table);
      $('sheet-favoured').replaceChildren(...(result.favoured || []).map((line) => el('li', { text: line })));
      $('sheet-report').textContent = result.report || '';
      $('sheet-save').disabled = false;
      setUnsaved('sheet', true);
    },
    onCancel() {
      $('sheet-status').textContent = `Cancelled after ${examinees.toLocaleString('en')} examinees.`;
    },
  });
}

// The sheet's k from the engine's table: its largest value and help. The box's 0 (or an
// empty box) gives no k, for the engine's default.
export function setSheetSettings(actionSettings) {
  const k = actionSettings.find((s) => s.option === 'k' && s.actions.includes('sheet'));
  if (k) Object.assign($('sheet-k'), { max: k.max, title: `${k.help}: ${k.min} to ${k.max}, or 0 for ${k.defaultText}` });
}

export function setUpSheets() {
  results = new DataTable($('sheet-scroll'), $('sheet-results'), 'Results per examinee');
  $('sheet-file').addEventListener('change', (event) => chooseSheet(event.target.files[0]));
  const drop = $('sheet-drop');
  drop.addEventListener('click', () => $('sheet-file').click());
  drop.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' || event.key === ' ') { event.preventDefault(); $('sheet-file').click(); }
  });
  drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    chooseSheet(event.dataTransfer.files[0]);
  });
  $('sheet-run').addEventListener('click', runSheet);
  $('sheet-save').addEventListener('click', () => {
    download(new Blob([sheet.csv], { type: 'text/csv' }), 'results.csv');
    setUnsaved('sheet', false);
  });
  onBusy((kind) => {
    $('sheet-run').disabled = kind !== null || !engineLoaded() || !sheet.file;
    $('sheet-cancel').disabled = kind !== 'sheet';
  });
}

// The Answer sheets page shown: its table draws the rows in view.
export function showSheetsPage(page) {
  if (page === 'page-sheets') results.schedule();
}

// Simulation studies: the lists of n, k and Do, the replications, the interval and the seed
// to the engine, its rows into a table and the three plots the command line draws.
import { $, download, el, tableObjects } from './dom.js';
import { ESTIMATORS, PALETTE, lineChart, saveLineChart } from './charts.js';
import { boxText, entryOf } from './form.js';
import { engineLoaded, jobRunning, markEnd, onBusy, startJob } from './engine.js';
import { DataTable } from './tables.js';
import { setUnsaved } from './unsaved.js';

const study = { csv: '', rows: [] };
let table;
const INPUTS = ['study-n', 'study-k', 'study-do', 'study-replications', 'study-ci', 'study-seed'];

// The study's settings from the engine's tables: the replications' range and default, the
// seed's range and help, and each list's range (n, k and Do as a run takes them).
export function setStudySettings(actionSettings) {
  for (const s of actionSettings.filter((setting) => setting.actions.includes('study'))) {
    const input = $(`study-${s.option}`);
    if (!input) continue;
    if (s.byDefault !== null) input.value = s.byDefault;
    else input.placeholder = s.defaultText;
    if (input.type === 'number') Object.assign(input, { min: s.min, max: s.max });
    input.title = `${s.help} (${s.min} to ${s.max})`;
  }
  for (const option of ['n', 'k', 'do']) {
    const entry = entryOf(option);
    if (entry) $(`study-${option}`).title = `${entry.help}: values and ranges lo:hi:step from ${entry.min} to ${entry.max}`;
  }
}

async function runStudy() {
  if (jobRunning()) return;
  // The study's settings as the command line's options take them, checked by the engine;
  // the seed, when none is given, from the clock.
  const replications = boxText($('study-replications'), 'replications');
  if (replications.problem) { $('study-status').textContent = `Not run: ${replications.problem}.`; markEnd('refused'); return; }
  const definition = {
    n: $('study-n').value,
    k: $('study-k').value,
    do: $('study-do').value,
    replications: replications.text,
    ci: $('study-ci').checked ? 1 : 0,
  };
  const seed = $('study-seed').value.trim();
  if (seed) definition.seed = seed;
  // Where the study stands: its tests (replications of every condition) and its conditions.
  let stands = '';
  $('study-status').textContent = 'Running…';
  $('study-save').disabled = true;
  await startJob('study', { type: 'study', definition }, {
    onBatch(message) {
      if (!message.progress) return;
      const { done, total, conditionsDone, conditions } = message.progress;
      stands = `test ${done.toLocaleString('en')} of ${total.toLocaleString('en')} ` +
        `(${conditionsDone.toLocaleString('en')} of ${conditions.toLocaleString('en')} conditions done)`;
      $('study-status').textContent = stands[0].toUpperCase() + stands.slice(1);
    },
    onEnd(result) {
      if (result.end !== 'completed') {
        $('study-status').textContent = result.end === 'refused' ? `Not run: ${result.message}.`
          : `The study ended with an error: ${result.message}`;
        // The last study's rows are still shown, and still saved.
        $('study-save').disabled = !study.csv;
        return;
      }
      study.csv = result.csv;
      study.rows = tableObjects(result.table);
      table.show(result.table);
      $('study-save').disabled = false;
      setUnsaved('study', true);
      const conditions = new Set(study.rows.map((r) => r.condition)).size;
      $('study-status').textContent = `Done: ${conditions} conditions of ${definition.replications} replications, seed ${result.seed}.`;
      const ks = [...new Set(study.rows.map((r) => r.k))].sort((a, b) => a - b);
      $('study-plot-k').replaceChildren(...ks.map((k) => el('option', { value: k, text: k })));
      $('study-k-bar').hidden = ks.length < 2;
      for (const button of document.querySelectorAll('.study-plots button')) button.disabled = false;
      drawStudyPlots();
    },
    onCancel() {
      $('study-status').textContent = stands ? `Cancelled after ${stands}` : 'Cancelled.';
      $('study-save').disabled = !study.csv;
    },
  });
}

// The three plots the command line draws for a k: bias, RMSE and coverage against Do,
// one line per n and estimator (the colour says n, the dash the estimator), bars of
// ±1.96 MCSE.
function drawStudyPlots() {
  const hosts = ['study-bias', 'study-rmse', 'study-coverage'].map($);
  if (!hosts[0].offsetParent) { hosts[0].dataset.stale = '1'; return; }
  delete hosts[0].dataset.stale;
  const k = Number($('study-plot-k').value);
  const rows = study.rows.filter((r) => r.k === k);
  if (!rows.length) { hosts.forEach((h) => h.replaceChildren()); return; }
  const x = [...new Set(rows.map((r) => r.do))].sort((a, b) => a - b);
  const ns = [...new Set(rows.map((r) => r.n))].sort((a, b) => a - b);
  const at = (n, estimator, field) => x.map((d) => rows.find((r) => r.n === n && r.do === d && r.estimator === estimator)?.[field] ?? null);
  const lines = (field, estimators, suffix = '') => {
    const out = [];
    ns.forEach((n, i) => {
      for (const e of estimators) {
        const y = at(n, e.key, field);
        if (y.every((v) => v == null)) continue;
        out.push({ label: `n = ${n} ${e.label}${suffix}`, color: PALETTE[i % PALETTE.length], dash: e.dash, y, err: at(n, e.key, field + '_mcse') });
      }
    });
    return out;
  };
  const flat = (value) => ({ label: String(value), color: '#666', dash: [4, 4], y: x.map(() => value), reference: true, width: 1 });
  lineChart(hosts[0], { title: `Bias at k = ${k}`, xLabel: 'Do (%)', yLabel: 'Bias', x, series: lines('bias', ESTIMATORS), reference: flat(0) });
  lineChart(hosts[1], { title: `RMSE at k = ${k}`, xLabel: 'Do (%)', yLabel: 'RMSE', x, series: lines('rmse', ESTIMATORS) });
  const coverage = lines('wald_coverage', ESTIMATORS.slice(0, 2), ' Wald');
  ns.forEach((n, i) => {
    const y = at(n, 'Du', 'ci_coverage');
    if (y.some((v) => v != null)) {
      coverage.push({ label: `n = ${n} Du interval`, color: PALETTE[i % PALETTE.length], dash: [8, 3, 2, 3], y, err: at(n, 'Du', 'ci_coverage_mcse') });
    }
  });
  lineChart(hosts[2], { title: `Coverage at k = ${k}`, xLabel: 'Do (%)', yLabel: 'Coverage', x, series: coverage, reference: flat(0.95) });
}

export function setUpStudy() {
  table = new DataTable($('study-scroll'), $('study-table'), 'Study rows');
  $('study-run').addEventListener('click', runStudy);
  $('study-form').addEventListener('submit', (event) => { event.preventDefault(); runStudy(); });
  $('study-save').addEventListener('click', () => {
    download(new Blob([study.csv], { type: 'text/csv' }), 'study.csv');
    setUnsaved('study', false);
  });
  $('study-plot-k').addEventListener('change', drawStudyPlots);
  // Each plot saved as the command line names it: bias, rmse or coverage and k.
  for (const measure of ['bias', 'rmse', 'coverage']) {
    for (const kind of ['png', 'svg']) {
      $(`study-${measure}-${kind}`).addEventListener('click', () =>
        saveLineChart($(`study-${measure}`), `study-${measure}-k${$('study-plot-k').value}.${kind}`));
    }
  }
  onBusy((kind) => {
    $('study-run').disabled = kind !== null || !engineLoaded();
    for (const name of INPUTS) $(name).disabled = kind !== null;
    $('study-cancel').disabled = kind !== 'study';
  });
}

// The Study page shown: its plots are drawn at its width now.
export function showStudyPage(page) {
  if (page !== 'page-study') return;
  table.schedule();
  if ($('study-bias').dataset.stale) drawStudyPlots();
}

export function redrawStudyPlots() {
  if (study.rows.length) drawStudyPlots();
}

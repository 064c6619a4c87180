// Simulation studies: the lists of n, k and Do, the replications, the interval and the seed
// to the engine, its rows into a table and the three plots the command line draws.
import { $, download, el, tableObjects } from './dom.js';
import { ESTIMATORS, PALETTE, lineChart, saveLineChart } from './charts.js';
import { entryOf } from './form.js';
import { engineLoaded, jobRunning, onBusy, startJob } from './engine.js';
import { DataTable } from './tables.js';
import { setUnsaved } from './unsaved.js';

const study = { csv: '', rows: [] };
let table;
const INPUTS = ['study-n', 'study-k', 'study-do', 'study-replications', 'study-ci', 'study-seed'];

// A list of whole numbers: values and ranges lo:hi:step (lo:hi steps by 1), comma
// separated, each within [min, max].
function parseList(text, name, min, max) {
  const values = [];
  for (const part of text.split(',').map((p) => p.trim()).filter(Boolean)) {
    const m = /^(\d+)(?::(\d+)(?::(\d+))?)?$/.exec(part);
    if (!m) throw new Error(`${name}: "${part}" is neither a number nor a range lo:hi:step`);
    const lo = Number(m[1]);
    const hi = m[2] === undefined ? lo : Number(m[2]);
    const step = m[3] === undefined ? 1 : Number(m[3]);
    if (step < 1 || hi < lo) throw new Error(`${name}: "${part}" is an empty range`);
    for (let v = lo; v <= hi; v += step) {
      if (v < min || v > max) throw new Error(`${name}: ${v} is outside ${min} to ${max}`);
      values.push(v);
      if (values.length > 100000) throw new Error(`${name}: too many values`);
    }
  }
  if (!values.length) throw new Error(`${name}: give at least one value`);
  return values;
}

function rangeOf(option, min, max) {
  const entry = entryOf(option);
  return entry ? [entry.min, entry.max] : [min, max];
}

function randomSeed() {
  const words = crypto.getRandomValues(new Uint32Array(2));
  return ((BigInt(words[0]) << 32n) | BigInt(words[1])).toString();
}

async function runStudy() {
  if (jobRunning()) return;
  let definition;
  try {
    const replications = Number($('study-replications').value);
    if (!Number.isInteger(replications) || replications < 1 || replications > 10000000) {
      throw new Error('replications: a whole number from 1 to 10000000');
    }
    let seed = $('study-seed').value.trim();
    if (seed && !(/^\d{1,20}$/.test(seed) && BigInt(seed) < (1n << 64n))) throw new Error('seed: a whole number from 0 to 18446744073709551615');
    if (!seed) seed = randomSeed();
    definition = {
      n: parseList($('study-n').value, 'n', ...rangeOf('n', 1, 100000)),
      k: parseList($('study-k').value, 'k', ...rangeOf('k', 2, 10)),
      do: parseList($('study-do').value, 'Do', ...rangeOf('do', 0, 100)),
      replications,
      ci: $('study-ci').checked ? 1 : 0,
      seed,
    };
  } catch (e) {
    $('study-status').textContent = e.message;
    return;
  }
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
      if (result.end !== 'completed') { $('study-status').textContent = 'The study ended with an error: ' + result.message; return; }
      study.csv = result.csv;
      study.rows = tableObjects(result.table);
      table.show(result.table);
      $('study-save').disabled = false;
      setUnsaved('study', true);
      const conditions = new Set(study.rows.map((r) => r.condition)).size;
      $('study-status').textContent = `Done: ${conditions} conditions of ${definition.replications} replications, seed ${definition.seed}.`;
      const ks = [...new Set(study.rows.map((r) => r.k))].sort((a, b) => a - b);
      $('study-plot-k').replaceChildren(...ks.map((k) => el('option', { value: k, text: k })));
      $('study-k-bar').hidden = ks.length < 2;
      for (const button of document.querySelectorAll('.study-plots button')) button.disabled = false;
      drawStudyPlots();
    },
    onCancel() {
      $('study-status').textContent = stands ? `Cancelled after ${stands}` : 'Cancelled.';
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

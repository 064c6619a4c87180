// The simulation run: the form's settings and seed to the engine, its lines into the Data
// and Residuals panes, its points into the Graph and Residual charts, and its summary into
// the Summary page.
import { $, download, tableObjects } from './dom.js';
import { ESTIMATORS, ScatterChart, lineChart, saveLineChart } from './charts.js';
import { boxText, checkBox, markRefused, readSettings, setSetting, settingOf, unmarkAll } from './form.js';
import { setLastRunSeed, writeAddress } from './links.js';
import { TextPane } from './panes.js';
import { DataTable } from './tables.js';
import { setUnsaved } from './unsaved.js';
import { engineLoaded, jobRunning, markEnd, onBusy, startJob } from './engine.js';

let dataPane;
let residualsPane;
let graphChart;
let residualChart;
let summaryTable;

// ---------------------------------------------------------------------------------
// The Summary page: the last run's summary CSV as a table, its chart and its download.

const summary = { csv: '', rows: [] };

function showSummary(csv, table, heading) {
  summary.csv = csv;
  summary.rows = tableObjects(table);
  summaryTable.show(table);
  $('summary-heading').textContent = heading;
  $('summary-save').disabled = !csv;
  $('summary-png').disabled = $('summary-svg').disabled = !summary.rows.length;
  const hasCoverage = summary.rows.some((r) => r.wald_coverage != null || r.ci_coverage != null);
  $('summary-measure').querySelector('option[value=coverage]').disabled = !hasCoverage;
  if (!hasCoverage && $('summary-measure').value === 'coverage') $('summary-measure').value = 'mean';
  drawSummaryChart();
}

function drawSummaryChart() {
  const host = $('summary-chart');
  if (!host.offsetParent) { host.dataset.stale = '1'; return; }
  delete host.dataset.stale;
  const rows = summary.rows;
  const x = [...new Set(rows.map((r) => r.do_star).filter((v) => v != null))].sort((a, b) => a - b);
  const at = (estimator, field) => x.map((v) => rows.find((r) => r.do_star === v && r.estimator === estimator)?.[field] ?? null);
  const measure = $('summary-measure').value;
  const series = [];
  let reference;
  let title;
  let yLabel;
  if (measure === 'mean') {
    title = 'Mean estimate ± 1.96 empirical SE vs True Knowledge (Do*)';
    yLabel = 'Mean estimate';
    for (const e of ESTIMATORS) series.push({ label: e.label, color: e.color, dash: e.dash, y: at(e.key, 'mean'), err: at(e.key, 'emp_se') });
    reference = { label: 'D = Do*', color: '#666', dash: [4, 4], y: x.slice(), reference: true, width: 1 };
  } else if (measure === 'bias') {
    title = 'Bias ± 1.96 Monte Carlo SE vs True Knowledge (Do*)';
    yLabel = 'Bias';
    for (const e of ESTIMATORS) series.push({ label: e.label, color: e.color, dash: e.dash, y: at(e.key, 'bias'), err: at(e.key, 'bias_mcse') });
    reference = { label: 'zero', color: '#666', dash: [4, 4], y: x.map(() => 0), reference: true, width: 1 };
  } else {
    title = 'Coverage of the 95 % intervals vs True Knowledge (Do*)';
    yLabel = 'Coverage';
    for (const e of ESTIMATORS.slice(0, 2)) {
      series.push({ label: e.label + ' Wald', color: e.color, dash: e.dash, y: at(e.key, 'wald_coverage'), err: at(e.key, 'wald_coverage_mcse') });
    }
    const ci = at('Du', 'ci_coverage');
    if (ci.some((v) => v != null)) series.push({ label: 'Du interval', color: '#b0268f', y: ci, err: at('Du', 'ci_coverage_mcse') });
    reference = { label: '0.95', color: '#666', dash: [4, 4], y: x.map(() => 0.95), reference: true, width: 1 };
  }
  lineChart(host, { title, xLabel: 'True Knowledge (Do*)', yLabel, x, series, reference });
}

// ---------------------------------------------------------------------------------
// The run.

function chartSwitches() {
  return {
    'show-du': settingOf('show-du', true),
    'show-dc': settingOf('show-dc', false),
    'show-dln': settingOf('show-dln', false),
    'show-d': settingOf('show-d', true),
  };
}

export function applyChartSwitches() {
  graphChart.setShown(chartSwitches());
  // The residual chart has Du's residuals and the zero line, which the window always shows.
  residualChart.setShown({ 'show-du': true, 'show-d': true });
}

export function setStatus(text) {
  $('status').textContent = text;
}

function describeRun(settings, seed, tests) {
  let degrees = `Do ${settings.do}`;
  if (settings.iterate) {
    const list = [];
    const [from, to, step] = [settings.do, settings.dmax, settings.step].map(Number);
    for (let d = from; d <= to; d += step) list.push(d);
    if (list.length > 1) degrees = `Do ${list[0]} to ${list[list.length - 1]} (${list.length} degrees)`;
  }
  return `The last run (seed ${seed}): n = ${settings.n}, k = ${settings.k}, ${degrees}, ${tests} tests. ` +
    'The other pages gather the output of every run; this page shows the last run only.';
}

function publishPanes() {
  dataPane.publish();
  residualsPane.publish();
  graphChart.redraw(true);
  residualChart.redraw(true);
}

export async function runSimulation() {
  if (jobRunning() || !engineLoaded()) return;
  const { settings, problems } = readSettings();
  const seed = boxText($('seed-input'), 'seed');
  if (seed.problem) problems.push(seed.problem);
  if (problems.length) {
    setStatus('Not run: ' + problems.join('; ') + '.');
    markEnd('refused');
    return;
  }
  writeAddress();
  let lastDone = 0;
  $('progress').value = 0;
  $('do-star').value = '';
  setStatus('Running…');
  const started = performance.now();
  await startJob('simulate', { type: 'simulate', settings, seed: seed.text }, {
    onBatch(message) {
      if (message.data) {
        dataPane.append(message.data.text, message.data.ends);
        setUnsaved('data', true);
      }
      if (message.residuals) {
        residualsPane.append(message.residuals.text, message.residuals.ends);
        setUnsaved('residuals', true);
      }
      if (message.points) {
        graphChart.add(message.points);
        residualChart.add(message.points);
        graphChart.redraw(false);
        residualChart.redraw(false);
      }
      if (message.doStar !== undefined) $('do-star').value = message.doStar;
      if (message.progress) {
        const { done, total, degree } = message.progress;
        lastDone = done;
        $('progress').max = Math.max(1, total);
        $('progress').value = done;
        setStatus(`Test ${done.toLocaleString('en')} of ${total.toLocaleString('en')} (Do ${degree}%)`);
      }
    },
    onEnd(result) {
      if (result.end === 'refused') {
        setStatus(`Not run: ${result.message}.`);
        markRefused(result.setting, result.message);
        return;
      }
      unmarkAll();
      publishPanes();
      if (result.end === 'completed') {
        $('progress').value = $('progress').max;
        const runSeed = String(result.seed);
        setLastRunSeed(runSeed);
        $('seed').value = runSeed;
        $('seed-line').hidden = false;
        writeAddress();
        const seconds = ((performance.now() - started) / 1000).toFixed(1);
        // The engine's notes on what ran follow (Do above Dmax: the one degree Do).
        const notes = (result.notes || []).map((note) => ` ${note[0].toUpperCase()}${note.slice(1)}.`).join('');
        setStatus(`Done: ${Number(result.tests).toLocaleString('en')} tests in ${seconds} s.${notes}`);
        showSummary(result.csv || '', result.table, describeRun(settings, runSeed, result.tests));
      } else {
        setStatus('The run ended with an error: ' + (result.message || result.end));
      }
    },
    onCancel() {
      publishPanes();
      setStatus(`Cancelled after test ${lastDone}`);
    },
  });
}

// ---------------------------------------------------------------------------------
// The pages of the run: Data, Graph, Residual, Residuals and Summary.

export function setUpRuns() {
  dataPane = new TextPane($('data-view'), $('data'), $('data-count'));
  residualsPane = new TextPane($('residuals-view'), $('residuals'), $('residuals-count'));
  summaryTable = new DataTable($('summary-scroll'), $('summary'), 'Summary of the last run');
  graphChart = new ScatterChart($('graph-chart'), {
    title: 'Delta (MLE) vs True Knowledge (Do*)', file: 'graph', xLabel: 'Do*', yLabel: 'Delta (MLE)', yRange: [0, 1],
    outside: $('graph-outside'),
    line: { label: 'D', option: 'show-d', color: '#00008b', y: [0, 1] },
    series: [
      { key: 'sPoint_DSEM', label: 'Du', option: 'show-du', color: '#0000cd' },
      { key: 'sPoint_Dcond', label: 'Dc', option: 'show-dc', color: '#e07000' },
      { key: 'sDLN', label: 'D Lord & Novick', option: 'show-dln', color: '#1a8a3a' },
    ],
  });
  residualChart = new ScatterChart($('residual-chart'), {
    title: 'Standarized residual (Delta MLE - Tue Knowledge Do*)/SE(Delta)', file: 'residual', xLabel: 'Do*',
    yLabel: 'Standarized Residual', yRange: [-4, 4], outside: $('residual-outside'),
    line: { label: 'zero', option: 'show-d', color: '#4050c0', y: [0, 0] },
    series: [{ key: 'rPoint_DSEM', label: 'Du', option: 'show-du', color: '#8b0000' }],
  });
  // A series switched on or off in the Graph's legend follows into the form.
  graphChart.onToggle = (option, show) => {
    const shown = option ? settingOf(option, null) : null;
    if (shown !== null && shown !== show) {
      setSetting(option, show);
      writeAddress();
    }
  };

  $('run').addEventListener('click', runSimulation);
  $('seed-input').addEventListener('change', () => {
    checkBox('seed');
    writeAddress();
  });
  $('seed-reuse').addEventListener('click', () => { $('seed-input').value = $('seed').value; writeAddress(); });

  $('data-save').addEventListener('click', () => { download(dataPane.blob(), 'data.txt'); setUnsaved('data', false); });
  $('residuals-save').addEventListener('click', () => {
    download(residualsPane.blob(), 'residuals.txt');
    setUnsaved('residuals', false);
  });
  // A pane's Clear empties the chart of the same tests with it, as in the window.
  $('data-clear').addEventListener('click', () => { dataPane.clear(); graphChart.clear(); setUnsaved('data', false); });
  $('residuals-clear').addEventListener('click', () => {
    residualsPane.clear();
    residualChart.clear();
    setUnsaved('residuals', false);
  });
  for (const [name, chart] of [['graph', graphChart], ['residual', residualChart]]) {
    $(name + '-fit').addEventListener('change', (event) => chart.setFit(event.target.checked));
    $(name + '-png').addEventListener('click', () => chart.png());
    $(name + '-svg').addEventListener('click', () => chart.svg());
    $(name + '-clear').addEventListener('click', () => chart.clear());
  }

  $('summary-save').addEventListener('click', () => download(new Blob([summary.csv], { type: 'text/csv' }), 'summary.csv'));
  $('summary-measure').addEventListener('change', drawSummaryChart);
  for (const kind of ['png', 'svg']) {
    $(`summary-${kind}`).addEventListener('click', () =>
      saveLineChart($('summary-chart'), `summary-${$('summary-measure').value}.${kind}`));
  }

  onBusy((kind) => {
    $('run').disabled = kind !== null || !engineLoaded();
    $('cancel').disabled = kind !== 'simulate';
  });
}

// A page shown: its pane or chart is drawn at its size now.
export function showRunPage(page) {
  if (page === 'page-data') dataPane.schedule();
  if (page === 'page-residuals') residualsPane.schedule();
  if (page === 'page-graph') { graphChart.resize(); graphChart.redraw(true); }
  if (page === 'page-residual') { residualChart.resize(); residualChart.redraw(true); }
  if (page === 'page-summary') {
    summaryTable.schedule();
    if ($('summary-chart').dataset.stale) drawSummaryChart();
  }
}

// The line charts are drawn at their page's width: again when it changes.
export function redrawRunCharts() {
  if (summary.rows.length) drawSummaryChart();
}

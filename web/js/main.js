// The page around the engine: the tabs, and the start. The engine's settings table builds
// the form; the address fills it and may run at once. The engine runs in worker.js; the
// modules beside this one only show what the worker posts.
import { $ } from './dom.js';
import { GRAPH_OPTIONS, buildSettings, setFormBusy, settingOf } from './form.js';
import { readAddress, writeAddress } from './links.js';
import { cancelJob, jobRunning, onBusy, setEngineLoaded, startWorker } from './engine.js';
import { applyChartSwitches, redrawRunCharts, runSimulation, setStatus, setUpRuns, showRunPage } from './runs.js';
import { setSheetSettings, setUpSheets, showSheetsPage } from './sheets.js';
import { redrawStudyPlots, setStudySettings, setUpStudy, showStudyPage } from './study.js';
import { setTableDecimals } from './tables.js';
import { watchUnload } from './unsaved.js';

// Tabs, with the arrow keys moving between them.
function showTab(tab, focus) {
  const tabs = [...document.querySelectorAll('[role=tab]')];
  for (const t of tabs) {
    const selected = t === tab;
    t.setAttribute('aria-selected', String(selected));
    t.tabIndex = selected ? 0 : -1;
    $(t.getAttribute('aria-controls')).hidden = !selected;
  }
  if (focus) tab.focus();
  const page = tab.getAttribute('aria-controls');
  showRunPage(page);
  showSheetsPage(page);
  showStudyPage(page);
}

function setUpTabs() {
  const tabs = [...document.querySelectorAll('[role=tab]')];
  tabs.forEach((tab, i) => {
    tab.addEventListener('click', () => showTab(tab, false));
    tab.addEventListener('keydown', (event) => {
      const next = { ArrowRight: i + 1, ArrowLeft: i - 1, Home: 0, End: tabs.length - 1 }[event.key];
      if (next === undefined) return;
      event.preventDefault();
      showTab(tabs[(next + tabs.length) % tabs.length], true);
    });
  });
}

function setUp() {
  setUpTabs();
  setUpRuns();
  setUpSheets();
  setUpStudy();
  onBusy((kind) => setFormBusy(kind !== null));
  watchUnload(jobRunning);
  for (const id of ['cancel', 'sheet-cancel', 'study-cancel']) $(id).addEventListener('click', cancelJob);
  document.addEventListener('keydown', (event) => { if (event.key === 'Escape' && jobRunning()) cancelJob(); });
  // The line charts are drawn at their page's width: draw them again when it changes.
  let resizeTimer = null;
  window.addEventListener('resize', () => {
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(() => {
      redrawRunCharts();
      redrawStudyPlots();
    }, 200);
  });

  startWorker().then(async (tables) => {
    buildSettings(JSON.parse(tables.settingsTable), {
      onChange(entry) {
        if (GRAPH_OPTIONS.has(entry.option)) applyChartSwitches();
        if (entry.option === 'decimals') setTableDecimals(settingOf('decimals'));
        writeAddress();
      },
      onEnter: runSimulation,
    });
    const actionSettings = JSON.parse(tables.actionSettings);
    setSheetSettings(actionSettings);
    setStudySettings(actionSettings);
    const { run, refused } = await readAddress();
    applyChartSwitches();
    setTableDecimals(settingOf('decimals'));
    setEngineLoaded();
    // A link with a value refused does not run: it would run another run than it names.
    if (refused.length) setStatus(`${run ? 'Not run' : 'Left at their defaults'}: the link's ${refused.join('; ')}.`);
    else if (run) runSimulation();
    else setStatus('Ready.');
  }, (e) => {
    $('settings-loading').textContent = 'The engine could not be loaded: ' + e.message;
    setStatus('The engine could not be loaded.');
  });
}

setUp();

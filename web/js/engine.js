// The worker that holds the engine, and the one job it runs at a time. Cancel ends the
// worker (a synchronous engine call cannot be interrupted) and starts a fresh one for the
// next job.
//
// Every job ends with the engine's one result shape: { end: 'completed' | 'refused' | 'error',
// message (but for completed), setting (the one it is about, where there is one), notes:
// [...], and what the job made: seed, tests, csv, … }; the page adds 'cancelled' for a job it
// ended itself. 'refused': the engine refused the job's settings and nothing ran.

let worker = null;
let workerReady = null;
let loaded = false;
let job = null;
const busyListeners = [];
// The checks asked of the worker and not yet answered, by their number.
const checks = new Map();
let lastCheck = 0;

// The built page carries the engine and worker.js inside it as text: the worker runs from a
// copy in memory (blob:), so that the page works opened from a file, and a worker started
// after a Cancel needs no server. The page's source, served as it is for its development,
// starts worker.js, which loads the engine beside it.
let workerUrl = null;
function loadWorkerUrl() {
  if (!workerUrl) {
    const inside = document.getElementById('veltrano-worker');
    workerUrl = inside ? URL.createObjectURL(new Blob([inside.textContent], { type: 'text/javascript' })) : 'worker.js';
    inside?.remove();
  }
  return workerUrl;
}

// Starts the worker; resolves to the engine's tables once it is loaded: { settingsTable,
// actionSettings }, each as the engine's JSON text.
export function startWorker() {
  workerReady = new Promise((resolve, reject) => {
    worker = new Worker(loadWorkerUrl());
    worker.onmessage = (event) => {
      const message = event.data;
      if (message.type === 'ready') {
        worker.onmessage = onWorkerMessage;
        resolve({ settingsTable: message.settingsTable, actionSettings: message.actionSettings });
      } else if (message.type === 'failed') reject(new Error(message.message));
    };
    worker.onerror = (event) => {
      event.preventDefault();
      if (!job) reject(new Error(event.message || 'worker.js or veltrano-engine.js could not be loaded'));
      else failJob(event.message || 'the engine stopped');
    };
  });
  workerReady.catch(() => {});
  return workerReady;
}

export function engineLoaded() {
  return loaded;
}

export function setEngineLoaded() {
  loaded = true;
  setBusy(null);
}

export function jobRunning() {
  return job !== null;
}

// `listener(kind)` hears which job starts (simulate, sheet, study) and null when none runs.
export function onBusy(listener) {
  busyListeners.push(listener);
}

function setBusy(kind) {
  for (const listener of busyListeners) listener(kind);
}

function onWorkerMessage(event) {
  const message = event.data;
  if (message.type === 'checked') {
    checks.get(message.id)?.(message.result);
    checks.delete(message.id);
    return;
  }
  if (!job) return;
  if (message.type === 'batch') job.onBatch(message);
  else if (message.type === 'end') {
    const current = job;
    job = null;
    setBusy(null);
    current.onEnd(message.result);
    markEnd(message.result.end);
  }
}

// How the last job ended, on the root element, for whoever waits for it (the tests).
export function markEnd(end) {
  document.documentElement.dataset.end = end;
}

// Ends the worker and starts a fresh one; a check it had not answered ends with an error.
function restartWorker() {
  worker.terminate();
  startWorker();
  for (const answer of checks.values()) answer({ end: 'error', notes: [], message: 'the engine was restarted' });
  checks.clear();
}

function failJob(message) {
  const current = job;
  job = null;
  restartWorker();
  setBusy(null);
  if (current) current.onEnd({ end: 'error', notes: [], message });
  markEnd('error');
}

export function cancelJob() {
  if (!job) return;
  const current = job;
  job = null;
  restartWorker();
  setBusy(null);
  current.onCancel();
  markEnd('cancelled');
}

// Sends one job to the worker: `handlers` has onBatch(message), onEnd(result) and onCancel().
// Answers false when another job runs or the engine could not be loaded.
export async function startJob(kind, message, handlers) {
  if (job) return false;
  const mine = { kind, ...handlers };
  job = mine;
  markEnd('');
  setBusy(kind);
  try {
    await workerReady;
    // Cancelled while the engine was still loading: nothing to send.
    if (job !== mine) return false;
  } catch (e) {
    if (job !== mine) return false;
    job = null;
    setBusy(null);
    handlers.onEnd({ end: 'error', notes: [], message: 'The engine could not be loaded: ' + e.message });
    markEnd('error');
    return false;
  }
  worker.postMessage(message);
  return true;
}

// A job's request checked by the engine without running it (a link's values, a box just
// changed): resolves to the engine's answer, 'completed' or 'refused' with its message. The
// request is a job's message without its data: { type: 'simulate', settings, seed },
// { type: 'sheet', settings, key, k } or { type: 'study', definition }.
export async function checkRequest(request) {
  try {
    await workerReady;
  } catch (e) {
    return { end: 'error', notes: [], message: 'The engine could not be loaded: ' + e.message };
  }
  return new Promise((answer) => {
    const id = ++lastCheck;
    checks.set(id, answer);
    worker.postMessage({ type: 'check', id, request });
  });
}

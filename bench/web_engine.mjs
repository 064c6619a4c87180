// The browser's engine against the command line on one thread: the time per test of the
// same seeded run (n = 100, k = 4, Do 0..99 step 1, text on), with the interval off and on,
// the two measured in turns in the same run. The engine runs under node, whose V8 is the
// engine of Chromium's pages; each of its rounds follows one round that warms it up (V8
// compiles WebAssembly once quickly, then again well while it runs). Last, 10^5 tests with
// text on, as the page would make them.
//   node bench/web_engine.mjs build/web/veltrano-engine.js build/src/batch/veltrano-batch [ROUNDS]
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';

const [enginePath, batchPath, roundsText] = process.argv.slice(2);
const rounds = Number(roundsText ?? 5);
const engine = await createRequire(import.meta.url)(resolve(enginePath))();
const scratch = mkdtempSync(join(tmpdir(), 'veltrano-bench-'));

const run = { n: 100, k: 4, do: 0, iterate: 1, dmax: 99, step: 1, tests: 100 };
const testsPerRun = 100 * 100;

function engineSeconds(settings) {
  let bytes = 0;
  const sink = { data: (t) => { bytes += t.length; }, residuals: () => {}, points: () => {}, doStar: () => {},
    progress: () => {} };
  const start = performance.now();
  const result = JSON.parse(engine.simulate(JSON.stringify(settings), '7', sink));
  if (result.end !== 'completed') throw new Error(result.message);
  return { seconds: (performance.now() - start) / 1000, bytes };
}

function commandSeconds(settings) {
  const args = ['simulate', '--jobs', '1', '--seed', '7'];
  for (const [name, value] of Object.entries(settings)) {
    if (name === 'iterate' || name === 'ci') { if (value) args.push(`--${name}`); } else args.push(`--${name}`, String(value));
  }
  args.push('--data', join(scratch, 'd'), '--residuals', join(scratch, 'r'), '--points', join(scratch, 'p'));
  const start = performance.now();
  execFileSync(resolve(batchPath), args);
  return (performance.now() - start) / 1000;
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const micro = (s) => (s / testsPerRun * 1e6).toFixed(2);

for (const ci of [0, 1]) {
  const settings = { ...run, ci };
  const page = [], command = [];
  for (let r = 0; r < rounds; ++r) {
    engineSeconds(settings);  // warm-up
    page.push(engineSeconds(settings).seconds);
    command.push(commandSeconds(settings));
  }
  const ratio = page.map((p, i) => p / command[i]);
  console.log(`interval ${ci ? 'on ' : 'off'}: engine ${micro(median(page))} µs a test, command line ` +
    `${micro(median(command))} µs; engine / command line ${median(ratio).toFixed(2)} ` +
    `(rounds ${Math.min(...ratio).toFixed(2)}–${Math.max(...ratio).toFixed(2)})`);
}

const big = engineSeconds({ n: 100, k: 4, do: 0, iterate: 1, dmax: 99, step: 1, tests: 1000 });
console.log(`10^5 tests, text on: ${big.seconds.toFixed(2)} s in the engine, ${(big.bytes / 1e6).toFixed(1)} MB of data text`);
rmSync(scratch, { recursive: true, force: true });

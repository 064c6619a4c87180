// The browser's engine against the command line, under node: the same settings give the
// same bytes. Seeded runs (the golden runs' settings, and a longer run whose points, printed
// with 17 digits, would show any difference in the last bit), an answer sheet, a sheet with a
// bad mark, a small study, and the refusals of each job's settings in the command line's words.
//   node tests/web/engine-test.mjs build/web/veltrano-engine.js build/src/batch/veltrano-batch
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const [enginePath, batchPath] = process.argv.slice(2);
if (!enginePath || !batchPath) {
  console.error('usage: node engine-test.mjs ENGINE.js VELTRANO-BATCH');
  process.exit(2);
}
const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const VeltranoEngine = createRequire(import.meta.url)(resolve(enginePath));
const engine = await VeltranoEngine();
const batch = resolve(batchPath);
const scratch = mkdtempSync(join(tmpdir(), 'veltrano-web-'));
const read = (name) => readFileSync(join(scratch, name), 'utf8');

// Command-line settings as the engine takes them: "--n 12" is {n: 12}, "--ci" {ci: 1},
// "--no-table" {table: 0}.
function settingsOf(args) {
  const settings = {};
  let seed = '';
  for (let i = 0; i < args.length; ++i) {
    const name = args[i].slice(2);
    const next = args[i + 1];
    if (name === 'seed') seed = args[++i];
    else if (next !== undefined && !next.startsWith('--')) settings[name] = Number(args[++i]);
    else if (name.startsWith('no-')) settings[name.slice(3)] = 0;
    else settings[name] = 1;
  }
  return { settings, seed };
}

function simulate(args) {
  const { settings, seed } = settingsOf(args);
  const out = { data: '', residuals: '', points: '' };
  let progressCalls = 0;
  const sink = {
    data: (t) => { out.data += t; },
    residuals: (t) => { out.residuals += t; },
    points: (t) => { out.points += t; },
    doStar: () => {},
    progress: () => { ++progressCalls; },
  };
  const result = answer(engine.simulate(JSON.stringify(settings), seed, sink));
  return { ...out, result, progressCalls };
}

// Every job answers one shape: how it ended, the engine's message unless it completed,
// notes, and what it made.
function answer(text) {
  const result = JSON.parse(text);
  assert.ok(['completed', 'refused', 'error'].includes(result.end), `end is ${result.end}`);
  assert.ok(Array.isArray(result.notes), 'no notes');
  assert.equal(typeof result.message === 'string', result.end !== 'completed', `message ${result.message} with end ${result.end}`);
  return result;
}

const failures = [];
function check(name, body) {
  try {
    body();
    console.log(`ok    ${name}`);
  } catch (e) {
    failures.push(name);
    console.log(`FAIL  ${name}\n${e.message}`);
  }
}

// The golden runs' settings (tests/batch/GoldenRunTest.cpp) switch every setting on and
// off; the last is long enough for thousands of points, at every degree.
const runs = [
  ['--n', '12', '--k', '2', '--do', '50', '--tests', '3', '--seed', '11'],
  ['--n', '25', '--k', '10', '--do', '40', '--tests', '2', '--full', '--sort-known', '--seed', '22'],
  ['--n', '14', '--k', '3', '--do', '60', '--tests', '2', '--full', '--seed', '33'],
  ['--n', '30', '--k', '4', '--do', '20', '--iterate', '--dmax', '45', '--step', '10', '--tests', '2', '--ci',
   '--comma', '--decimals', '5', '--no-alternative', '--no-table', '--tolerance', '6', '--max-iterations', '50',
   '--seed', '44'],
  ['--n', '40', '--k', '5', '--do', '70', '--tests', '3', '--no-text', '--seed', '55'],
  ['--n', '10', '--k', '2', '--do', '100', '--iterate', '--tests', '2', '--seed', '66'],
  ['--n', '37', '--k', '4', '--do', '0', '--iterate', '--dmax', '99', '--step', '1', '--tests', '40', '--ci',
   '--seed', '4242'],
];
for (const args of runs) {
  check(`simulate ${args.join(' ')}`, () => {
    execFileSync(batch, ['simulate', '--jobs', '1', ...args, '--data', join(scratch, 'data'), '--residuals',
      join(scratch, 'residuals'), '--points', join(scratch, 'points'), '--summary', join(scratch, 'summary')],
    { stdio: ['ignore', 'ignore', 'ignore'] });
    const page = simulate(args);
    assert.equal(page.result.end, 'completed', page.result.message);
    for (const kind of ['data', 'residuals', 'points']) assert.ok(page[kind] === read(kind), `${kind} differs`);
    assert.ok(page.result.csv === read('summary'), 'summary differs');
    assert.equal(page.result.seed, args[args.indexOf('--seed') + 1]);
  });
}

// The example sheet of docs/guide/answer-sheets.md, and the same sheet with one mark no item has.
const sheet = readFileSync(join(root, 'docs/examples/exam-sheet.csv'), 'utf8');
check('answer sheet: the results of analyse --responses --out', () => {
  execFileSync(batch, ['analyse', '--responses', join(root, 'docs/examples/exam-sheet.csv'), '--ci', '--out',
    join(scratch, 'sheet.csv')], { stdio: ['ignore', 'ignore', 'ignore'] });
  const page = answer(engine.analyseSheet(sheet, 'exam-sheet.csv', '', '', JSON.stringify({ ci: 1 }), { progress() {} }));
  assert.equal(page.end, 'completed', page.message);
  assert.ok(page.csv === read('sheet.csv'), 'the results differ');
  assert.ok(page.report.startsWith(`${page.examinees} examinees analysed`), page.report);
});

check('answer sheet: a bad mark is named by its line and column, as the command line does', () => {
  const lines = sheet.split('\n');
  const at = lines.findIndex((l, i) => i > 0 && !l.startsWith('KEY') && l.includes(','));
  const cells = lines[at].split(',');
  cells[cells.length - 1] = 'Q';
  lines[at] = cells.join(',');
  writeFileSync(join(scratch, 'bad.csv'), lines.join('\n'));
  const cli = spawnSync(batch, ['analyse', '--responses', join(scratch, 'bad.csv'), '--out', join(scratch, 'x.csv')],
    { encoding: 'utf8' });
  assert.equal(cli.status, 2, cli.stderr);
  const page = answer(engine.analyseSheet(lines.join('\n'), join(scratch, 'bad.csv'), '', '', '{}', { progress() {} }));
  assert.equal(page.end, 'error');
  assert.match(page.message, new RegExp(`: line ${at + 1}, column \\d+: `));
  assert.equal(`veltrano-batch: ${page.message}\n`, cli.stderr);
});

check('study: the rows of study --out', () => {
  execFileSync(batch, ['study', '--n', '20,40', '--k', '4', '--do', '30,70', '--replications', '60', '--ci',
    '--seed', '42', '--jobs', '1', '--out', join(scratch, 'study.csv')], { stdio: ['ignore', 'ignore', 'ignore'] });
  let progress = 0;
  const page = answer(engine.study(JSON.stringify({ n: '20,40', k: [4], do: [30, 70], replications: 60, ci: 1,
    seed: 42 }), { progress: () => { ++progress; } }));
  assert.equal(page.end, 'completed', page.message);
  assert.ok(page.csv === read('study.csv'), 'the study rows differ');
});

// A refused value: `check` and the job itself answer "refused" with the command line's
// message, its options named as the page names them ("--k" is "k"), and the setting; the job
// runs nothing. Each case: the job's request, and the command line's arguments.
const exam = join(root, 'docs/examples/exam-sheet.csv');
const refusals = [
  [{ type: 'simulate', settings: { n: 20, k: 11 } }, ['simulate', '--n', '20', '--k', '11']],
  [{ type: 'simulate', settings: { tests: '1.5' } }, ['simulate', '--tests', '1.5']],
  [{ type: 'simulate', settings: {}, seed: '4294967296' }, ['simulate', '--seed', '4294967296']],
  [{ type: 'sheet', settings: { tolerance: 1 }, k: '' }, ['analyse', '--responses', exam, '--tolerance', '1']],
  [{ type: 'sheet', settings: {}, k: '1' }, ['analyse', '--responses', exam, '--k', '1']],
  [{ type: 'sheet', settings: {}, key: 'ABZ', k: '' }, ['analyse', '--responses', exam, '--key', 'ABZ']],
  [{ type: 'study', definition: { n: '20', do: '0:200' } }, ['study', '--n', '20', '--do', '0:200']],
  [{ type: 'study', definition: { k: '4,,5' } }, ['study', '--k', '4,,5']],
  [{ type: 'study', definition: { replications: 0 } }, ['study', '--replications', '0']],
  [{ type: 'study', definition: { seed: '18446744073709551616' } }, ['study', '--seed', '18446744073709551616']],
];
for (const [request, args] of refusals) {
  check(`refused as the command line refuses ${args.filter((a) => a !== exam).join(' ')}`, () => {
    const out = args[0] === 'simulate' ? [] : ['--out', join(scratch, 'refused.csv')];
    const cli = spawnSync(batch, [...args, ...out], { encoding: 'utf8' });
    assert.equal(cli.status, 2, cli.stderr);
    const expected = cli.stderr.split('\n')[0].replace(/^veltrano-batch: /, '').replace(/--([a-z])/g, '$1');
    const checked = answer(engine.check(JSON.stringify(request)));
    let ran = false;
    const sink = { data() { ran = true; }, residuals() {}, points() {}, doStar() {}, progress() { ran = true; } };
    const job = answer(request.type === 'simulate' ? engine.simulate(JSON.stringify(request.settings), request.seed ?? '', sink)
      : request.type === 'sheet' ? engine.analyseSheet(sheet, exam, request.key ?? '', request.k, JSON.stringify(request.settings), sink)
        : engine.study(JSON.stringify(request.definition), sink));
    for (const result of [checked, job]) {
      assert.equal(result.end, 'refused');
      assert.equal(result.message, expected);
      assert.ok(expected.startsWith(`${result.setting}: `), `the setting named is ${result.setting}`);
    }
    assert.ok(!ran, 'the refused job ran');
  });
}

check('check takes what the jobs take', () => {
  for (const request of [
    { type: 'simulate', settings: { n: '20', k: 4, iterate: 1 }, seed: '4294967295' },
    { type: 'sheet', settings: { n: 0, ci: 1 }, key: 'ABCD', k: '5' },
    { type: 'study', definition: { n: '20,50', k: '4', do: '0:90:10', replications: '1000', ci: 0, seed: '18446744073709551615' } },
  ]) assert.equal(answer(engine.check(JSON.stringify(request))).end, 'completed', JSON.stringify(request));
});

rmSync(scratch, { recursive: true, force: true });
if (failures.length > 0) {
  console.log(`${failures.length} failed`);
  process.exit(1);
}
console.log('engine: every result equals the command line\'s');

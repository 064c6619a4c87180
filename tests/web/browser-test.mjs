// The page in headless Chromium against veltrano-batch: a link's run writes the command
// line's bytes, answer sheets and studies give its rows and its messages, and Cancel stops
// a long run and leaves the page ready for the next.
//
//   node tests/web/browser-test.mjs BUILD_WEB_DIR [VELTRANO_BATCH]
//
// veltrano-batch comes from the second argument or the environment variable
// VELTRANO_BATCH. Exit status 0 when every check passes.
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { jobEnd, launch, openPage, serve } from './harness.mjs';

const [dirArgument, batchArgument] = process.argv.slice(2);
const batch = resolve(process.env.VELTRANO_BATCH || batchArgument || '');
if (!dirArgument || !(process.env.VELTRANO_BATCH || batchArgument)) {
  console.error('usage: node tests/web/browser-test.mjs BUILD_WEB_DIR [VELTRANO_BATCH]');
  process.exit(2);
}
const work = mkdtempSync(join(tmpdir(), 'veltrano-web-'));

// veltrano-batch in the scratch folder; its files' contents by name.
function runBatch(args, outputs = []) {
  execFileSync(batch, args, { cwd: work, stdio: ['ignore', 'ignore', 'pipe'] });
  return Object.fromEntries(outputs.map((name) => [name, readFileSync(join(work, name), 'utf8')]));
}

// The message veltrano-batch prints on standard error for input it refuses.
function batchMessage(args) {
  const result = spawnSync(batch, args, { cwd: work, encoding: 'utf8' });
  if (result.status === 0) throw new Error(`veltrano-batch ${args.join(' ')} accepted what it should refuse`);
  return result.stderr.trim().replace(/^veltrano-batch: /, '');
}

// The same message as the page words it: a setting by its name ("--k" is "k"), one line.
function pageWords(args) {
  return batchMessage(args).split('\n')[0].replace(/--([a-z])/g, '$1');
}

function csvCells(text) {
  // The CSVs compared here quote nothing except the error messages of examinees, which
  // the sheets below do not have.
  return text.split('\n').filter((line) => line !== '').map((line) => line.split(','));
}

function sameText(name, actual, expected) {
  if (actual === expected) return;
  const a = actual.split('\n');
  const e = expected.split('\n');
  let i = 0;
  while (i < a.length && a[i] === e[i]) i++;
  throw new Error(`${name} differs from veltrano-batch's at line ${i + 1} ` +
    `(${a.length} lines against ${e.length}):\n  page:  ${JSON.stringify(a[i])}\n  batch: ${JSON.stringify(e[i])}`);
}

// A table shows the CSV's rows in view, each at its place in the CSV (aria-rowindex: the
// header is 1), the numbers of a column with fractions to the form's decimal places.
async function sameTable(name, page, id, csvText, decimals = 3) {
  const rows = csvCells(csvText);
  const fractional = rows[0].map((_, c) => rows.some((row, i) => i > 0 && /^-?\d+\.\d+(e[-+]\d+)?$/.test(row[c] ?? '')));
  const expected = rows.map((row, i) => row.map((v, c) =>
    i > 0 && fractional[c] && /^-?\d+(\.\d+)?(e[-+]\d+)?$/.test(v) ? Number(v).toFixed(decimals) : v));
  await page.waitForFunction((table) => document.querySelector(`#${table} tbody tr[aria-rowindex]`), id);
  const shown = await page.$$eval(`#${id} tr[aria-rowindex]`, (trs) => trs.map((tr) =>
    ({ index: Number(tr.getAttribute('aria-rowindex')), cells: [...tr.cells].map((cell) => cell.textContent) })));
  const count = await page.$eval(`#${id}`, (table) => Number(table.getAttribute('aria-rowcount')));
  if (count !== rows.length) throw new Error(`${name} says it has ${count} rows, the CSV ${rows.length}`);
  if (shown[0].index !== 1) throw new Error(`${name} has no header`);
  if (shown.length < Math.min(rows.length, 5)) throw new Error(`${name} shows ${shown.length - 1} rows`);
  for (const { index, cells } of shown) sameText(`${name} row ${index}`, cells.join(','), expected[index - 1].join(','));
  return shown;
}

async function downloaded(page, click) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click(click)]);
  return { name: download.suggestedFilename(), text: readFileSync(await download.path(), 'utf8') };
}

// A refusal's place: file, line and column, whether written "f: line 4, column 3: …" or
// "f:4:3: …", and the words after it up to the first ";" (the command line goes on with
// advice about its own options).
function located(message) {
  const m = /^(.*?)(?::(\d+):(\d+):|: line (\d+), column (\d+):)\s*([^;]*)/.exec(message);
  if (!m) throw new Error(`no file, line and column in ${JSON.stringify(message)}`);
  return { file: m[1], line: m[2] || m[4], column: m[3] || m[5], what: m[6].trim() };
}

const checks = [];
const check = (name, run) => checks.push({ name, run });

// ---------------------------------------------------------------------------------

check('a link runs at once and writes the command line\'s data, residuals and summary', async ({ page, origin }) => {
  const cases = [
    { query: 'n=20&k=4&do=50&tests=5&seed=42', args: ['--n', '20', '--k', '4', '--do', '50', '--tests', '5', '--seed', '42'] },
    {
      query: 'n=30&k=3&do=10&iterate=1&dmax=50&step=10&tests=20&ci=1&comma=1&decimals=4&alternative=0&seed=4294967295',
      args: ['--n', '30', '--k', '3', '--do', '10', '--iterate', '--dmax', '50', '--step', '10', '--tests', '20', '--ci',
        '--comma', '--decimals', '4', '--no-alternative', '--seed', '4294967295'],
    },
    {
      query: 'n=8&k=5&do=60&tests=3&full=1&sort-known=1&table=0&seed=0',
      args: ['--n', '8', '--k', '5', '--do', '60', '--tests', '3', '--full', '--sort-known', '--no-table', '--seed', '0'],
    },
  ];
  for (const { query, args } of cases) {
    const expected = runBatch(['simulate', ...args, '--data', 'd.txt', '--residuals', 'r.txt', '--summary', 's.csv'], ['d.txt', 'r.txt', 's.csv']);
    await page.goto(`${origin}/index.html?${query}&run=1`);
    const end = await jobEnd(page);
    if (end !== 'completed') throw new Error(`${query}: the run ended ${end}: ${await page.textContent('#status')}`);
    sameText(`${query}: #data`, await page.textContent('#data'), expected['d.txt']);
    sameText(`${query}: #residuals`, await page.textContent('#residuals'), expected['r.txt']);
    await page.click('#tab-summary');
    await sameTable(`${query}: #summary`, page, 'summary', expected['s.csv'], Number(/decimals=(\d+)/.exec(query)?.[1] ?? 3));
    const seed = /seed=(\d+)/.exec(query)[1];
    const address = new URLSearchParams(await page.evaluate(() => location.search));
    if (address.get('seed') !== seed) throw new Error(`${query}: the address holds seed ${address.get('seed')}`);
    if ((await page.textContent('#seed')) !== seed) throw new Error(`${query}: the seed shown is ${await page.textContent('#seed')}`);
  }

  // The downloads are the whole texts, byte for byte, under their names.
  const last = runBatch(['simulate', ...cases[2].args, '--data', 'd.txt', '--summary', 's.csv', '--points', 'p.csv'],
    ['d.txt', 's.csv', 'p.csv']);
  await page.click('#tab-data');
  const data = await downloaded(page, '#data-save');
  if (data.name !== 'data.txt') throw new Error(`the data pane saves as ${data.name}`);
  sameText('data.txt', data.text, last['d.txt']);
  await page.click('#tab-summary');
  const summary = await downloaded(page, '#summary-save');
  if (summary.name !== 'summary.csv') throw new Error(`the summary saves as ${summary.name}`);
  sameText('summary.csv', summary.text, last['s.csv']);
  // The Summary's chart saves as PNG and SVG, its three estimators and the diagonal.
  await savedChart(page, '#summary-chart', '#summary', 'summary-mean', 4);

  // Each chart's SVG has a square for every point within its axes, and its PNG is one.
  const points = csvCells(last['p.csv']).slice(1);
  for (const [chart, series, [low, high]] of [['graph', 'sPoint_DSEM', [0, 1]], ['residual', 'rPoint_DSEM', [-4, 4]]]) {
    await page.click(`#tab-${chart}`);
    const inside = points.filter(([name, , y]) => name === series && y !== '' && Number(y) >= low && Number(y) <= high).length;
    if (!inside) throw new Error(`the run has no ${series} point to draw`);
    const svg = await downloaded(page, `#${chart}-svg`);
    const squares = (svg.text.match(/h2v2h-2z/g) || []).length;
    if (svg.name !== `${chart}.svg` || squares !== inside || !svg.text.startsWith('<svg')) {
      throw new Error(`${svg.name} draws ${squares} points where ${inside} lie within the axes`);
    }
    const [png] = await Promise.all([page.waitForEvent('download'), page.click(`#${chart}-png`)]);
    const bytes = readFileSync(await png.path());
    if (png.suggestedFilename() !== `${chart}.png` || bytes.toString('latin1', 1, 4) !== 'PNG') throw new Error(`${chart}.png is not a PNG`);
  }

  // A setting changed in the form is in the address at once.
  await page.fill('#set-n', '25');
  await page.press('#set-n', 'Tab');
  const address = new URLSearchParams(await page.evaluate(() => location.search));
  if (address.get('n') !== '25' || address.get('k') !== '5') throw new Error(`the address after a change: ${address}`);

  // A value out of range is marked as soon as it is given, with the engine's words; it is
  // not run, and the status says which setting and why.
  const refusedK = 'k: 11 is out of range; the value must be from 2 to 10';
  const marked = (invalid) => page.waitForFunction(([on, title]) => {
    const box = document.getElementById('set-k');
    return box.getAttribute('aria-invalid') === on && (on === 'false' || box.title === title);
  }, [invalid, refusedK]);
  await page.fill('#set-k', '11');
  await page.press('#set-k', 'Tab');
  await marked('true');
  await page.click('#run');
  if ((await jobEnd(page)) !== 'refused') throw new Error(`k = 11 ended ${await page.evaluate(() => document.documentElement.dataset.end)}`);
  const status = await page.textContent('#status');
  if (status !== `Not run: ${refusedK}.`) throw new Error(`k = 11 gave: ${status}`);
  await page.fill('#set-k', '5');
  await page.press('#set-k', 'Tab');
  await marked('false');
});

check('a link with a refused value does not run, and says which value and why in the engine\'s words', async ({ page, origin }) => {
  const cases = [
    ['n=abc&k=4&run=1', 'Not run: the link\'s n: "abc" is not a whole number.'],
    ['k=11&tests=3&run=1', 'Not run: the link\'s k: 11 is out of range; the value must be from 2 to 10.'],
    ['iterate=maybe&seed=4294967296&run=1', `Not run: the link's iterate: "maybe" is not a whole number; ` +
      `${pageWords(['simulate', '--seed', '4294967296'])}.`],
    ['do=1.5', 'Left at their defaults: the link\'s do: "1.5" is not a whole number.'],
  ];
  for (const [query, expected] of cases) {
    await page.goto(`${origin}/index.html?${query}`);
    await page.waitForFunction(() => !document.getElementById('run').disabled);
    await page.waitForTimeout(300);
    const status = await page.textContent('#status');
    const data = await page.textContent('#data');
    if (status !== expected || data !== '' || (await page.evaluate(() => document.documentElement.dataset.end))) {
      throw new Error(`${query}: the status says ${JSON.stringify(status)} and the Data pane holds ${data.length} characters`);
    }
  }
  // A link that runs other than it reads runs, and the engine's note says how.
  await page.goto(`${origin}/index.html?do=60&dmax=50&iterate=1&tests=2&seed=1&run=1`);
  await jobEnd(page);
  const status = await page.textContent('#status');
  if (!/^Done: 2 tests in [\d.]+ s\. Iterate: Do 60 is above Dmax 50, so the one degree 60 runs\.$/.test(status)) throw new Error(`Do above Dmax: ${status}`);
});

check('answer sheets: results and finding as the command line\'s, refusals at its line and column', async ({ page, origin }) => {
  await page.goto(`${origin}/index.html`);
  await page.click('#tab-sheets');
  const exam = resolve(new URL('../../docs/examples/exam-sheet.csv', import.meta.url).pathname);
  writeFileSync(join(work, 'exam-sheet.csv'), readFileSync(exam));
  const refusal = spawnSync(batch, ['analyse', '--responses', 'exam-sheet.csv', '--out', 'results.csv'], { cwd: work, encoding: 'utf8' });
  const favoured = refusal.stderr.split('\n').find((line) => line.includes('guessing favours')).replace(/^veltrano-batch: /, '');
  await page.setInputFiles('#sheet-file', join(work, 'exam-sheet.csv'));
  await page.click('#sheet-run');
  if ((await jobEnd(page)) !== 'completed') throw new Error(`the exam sheet was refused: ${await page.textContent('#sheet-error')}`);
  await sameTable('#sheet-results', page, 'sheet-results', readFileSync(join(work, 'results.csv'), 'utf8'));
  // "Decimal places" reaches the table at once; the download keeps every digit.
  await page.fill('#set-decimals', '6');
  await page.press('#set-decimals', 'Tab');
  await sameTable('#sheet-results with 6 decimals', page, 'sheet-results', readFileSync(join(work, 'results.csv'), 'utf8'), 6);
  await page.fill('#set-decimals', '3');
  await page.press('#set-decimals', 'Tab');
  const finding = await page.textContent('#sheet-favoured');
  if (!finding.includes(favoured)) throw new Error(`the finding shown is ${JSON.stringify(finding)}, the command line's ${JSON.stringify(favoured)}`);
  const saved = await downloaded(page, '#sheet-save');
  sameText('results.csv', saved.text, readFileSync(join(work, 'results.csv'), 'utf8'));

  // A sheet without a KEY row, its key in a file, k given, and the interval on in the
  // settings: the analysis takes all three.
  writeFileSync(join(work, 'no-key.csv'), 'S1,A,B,C,D\nS2,B,B,C,A\nS3,C,,D,D\n');
  writeFileSync(join(work, 'key.txt'), 'A,B,C,D\n');
  runBatch(['analyse', '--responses', 'no-key.csv', '--key-file', 'key.txt', '--k', '5', '--ci', '--out', 'keyed.csv']);
  await page.setInputFiles('#sheet-file', join(work, 'no-key.csv'));
  await page.setInputFiles('#key-file', join(work, 'key.txt'));
  await page.fill('#sheet-k', '5');
  await page.check('#set-ci');
  await page.click('#sheet-run');
  if ((await jobEnd(page)) !== 'completed') throw new Error(`the sheet with a key file was refused: ${await page.textContent('#sheet-error')}`);
  await sameTable('#sheet-results with a key file', page, 'sheet-results', readFileSync(join(work, 'keyed.csv'), 'utf8'));
  // A k the engine refuses leaves the results shown.
  await page.fill('#sheet-k', '11');
  await page.click('#sheet-run');
  if ((await jobEnd(page)) !== 'refused') throw new Error(`k = 11 for a sheet: ${await page.textContent('#sheet-error')}`);
  const refusedK = pageWords(['analyse', '--responses', 'no-key.csv', '--key-file', 'key.txt', '--k', '11', '--out', 'x.csv']);
  if ((await page.textContent('#sheet-error')) !== refusedK) throw new Error(`k = 11 for a sheet gave: ${await page.textContent('#sheet-error')}`);
  await sameTable('#sheet-results after a refused k', page, 'sheet-results', readFileSync(join(work, 'keyed.csv'), 'utf8'));
  await page.setInputFiles('#key-file', []);
  await page.fill('#sheet-k', '0');
  await page.uncheck('#set-ci');

  const bad = [
    { name: 'beyond-k.csv', text: 'id,q1,q2,q3,q4\nKEY,A,B,C,D\nS1,A,B,C,D\nS2,A,E,C,D\n' },
    { name: 'not-a-letter.csv', text: 'id,q1,q2,q3,q4\r\nKEY,A,B,C,D\r\nS1,A,B,C,D\r\nS2,A,B,Q,D\r\n' },
    { name: 'semicolons.csv', text: 'KEY;1;2;3\n\nS1;1;2;3\n"S;2";1;11;3\n' },
  ];
  for (const sheet of bad) {
    writeFileSync(join(work, sheet.name), sheet.text);
    const expected = located(batchMessage(['analyse', '--responses', sheet.name, '--out', 'bad.csv']));
    await page.setInputFiles('#sheet-file', join(work, sheet.name));
    await page.click('#sheet-run');
    await jobEnd(page);
    const shown = (await page.textContent('#sheet-error')).trim();
    const actual = located(shown);
    if (actual.file !== expected.file || actual.line !== expected.line || actual.column !== expected.column ||
        !actual.what.startsWith(expected.what.replace(/ give --k.*$/, ''))) {
      throw new Error(`${sheet.name}: the page says ${JSON.stringify(shown)}, the command line ${JSON.stringify(expected)}`);
    }
    if ((await page.$$('#sheet-results tr')).length) throw new Error(`${sheet.name}: a refused sheet left results in the table`);
  }
});

// A line chart's PNG and SVG files (buttons `${save}-png` and `${save}-svg`): their names, a
// PNG's signature, and an SVG line for each of the `lines` shown, with their labels.
async function savedChart(page, host, save, name, lines) {
  const png = await downloaded(page, `${save}-png`);
  if (png.name !== `${name}.png` || png.text.slice(1, 4) !== 'PNG') throw new Error(`${host} saves ${png.name}, not a PNG named ${name}.png`);
  const svg = await downloaded(page, `${save}-svg`);
  const drawn = (svg.text.match(/<path fill="none"/g) || []).length;
  const labels = await page.$$eval(`${host} .u-legend .u-series .u-label`, (cells) => cells.map((cell) => cell.textContent));
  if (svg.name !== `${name}.svg` || drawn !== lines || labels.some((label) => !svg.text.includes(`>${label.replace(/&/g, '&amp;')}<`))) {
    throw new Error(`${svg.name} draws ${drawn} lines of ${lines} and names ${labels.filter((l) => svg.text.includes(l)).length} of ${labels.length}`);
  }
}

// A made-up exam: `examinees` rows of `items` marks A to D after a KEY row, some omitted,
// each examinee knowing a share of the items and guessing the rest.
function madeUpSheet(examinees, items) {
  let state = 12345;
  const next = () => (state = (Math.imul(state, 1664525) + 1013904223) >>> 0) / 4294967296;
  const letters = 'ABCD';
  const key = Array.from({ length: items }, () => letters[Math.floor(next() * 4)]);
  const lines = ['id,' + key.map((_, i) => `q${i + 1}`).join(','), 'KEY,' + key.join(',')];
  for (let e = 0; e < examinees; e++) {
    const knows = next();
    lines.push(`S${e + 1},` + key.map((k) => (next() < 0.03 ? '' : next() < knows ? k : letters[Math.floor(next() * 4)])).join(','));
  }
  return lines.join('\n') + '\n';
}

check('a sheet of 20 000 examinees and 60 items never holds the page above 200 ms, and its table scrolls to the pooled row', async ({ page, origin }) => {
  writeFileSync(join(work, 'big.csv'), madeUpSheet(20000, 60));
  runBatch(['analyse', '--responses', 'big.csv', '--out', 'big-results.csv']);
  const expected = readFileSync(join(work, 'big-results.csv'), 'utf8');
  await page.goto(`${origin}/index.html`);
  await page.waitForFunction(() => !document.getElementById('run').disabled);
  await page.evaluate(() => {
    window.longTasks = [];
    new PerformanceObserver((list) => { for (const e of list.getEntries()) window.longTasks.push(Math.round(e.duration)); })
      .observe({ type: 'longtask' });
  });
  await page.click('#tab-sheets');
  await page.setInputFiles('#sheet-file', join(work, 'big.csv'));
  await page.waitForFunction(() => !document.getElementById('sheet-run').disabled);
  await page.evaluate(() => {
    window.sheetStatus = [];
    new MutationObserver(() => window.sheetStatus.push(document.getElementById('sheet-status').textContent))
      .observe(document.getElementById('sheet-status'), { childList: true, characterData: true, subtree: true });
  });
  await page.click('#sheet-run');
  if ((await jobEnd(page)) !== 'completed') throw new Error(`the big sheet: ${await page.textContent('#sheet-error')}`);
  // The page said where the work stood as it went, and how it ended.
  const said = await page.evaluate(() => window.sheetStatus);
  if (!said.some((text) => /^[\d,]+ examinees analysed \(\d+ %\)…$/.test(text)) || !/^Done: 20,000 examinees in [\d.]+ s\.$/.test(said.at(-1))) {
    throw new Error(`the sheet's status said: ${said.join(' | ')}`);
  }
  await sameTable('#sheet-results', page, 'sheet-results', expected);
  // Shown again after another page, and scrolled to its end: the pooled row ALL, last.
  await page.click('#tab-data');
  await page.click('#tab-sheets');
  await page.$eval('#sheet-scroll', (view) => { view.scrollTop = view.scrollHeight; });
  await page.waitForTimeout(200);
  const shown = await sameTable('#sheet-results scrolled to its end', page, 'sheet-results', expected);
  const last = shown[shown.length - 1];
  if (last.index !== 20002 || last.cells[0] !== 'ALL') throw new Error(`scrolled to its end, the table's last row is ${last.index}: ${last.cells[0]}`);
  sameText('results.csv of the big sheet', (await downloaded(page, '#sheet-save')).text, expected);
  const longest = Math.max(0, ...await page.evaluate(() => window.longTasks));
  if (longest > 200) throw new Error(`a task held the page for ${longest} ms`);
});

check('a study gives the command line\'s rows and draws its three plots', async ({ page, origin }) => {
  const expected = runBatch(['study', '--n', '10,20', '--k', '3', '--do', '0:60:30', '--replications', '60', '--ci',
    '--seed', '42', '--jobs', '1', '--quiet', '--out', 'study.csv'], ['study.csv']);
  await page.goto(`${origin}/index.html`);
  await page.click('#tab-study');
  await page.waitForFunction(() => !document.getElementById('study-run').disabled);
  const replications = await page.inputValue('#study-replications');
  if (replications !== '1000') throw new Error(`the study's replications are ${replications} before any is given`);
  await page.fill('#study-n', '10,20');
  await page.fill('#study-k', '3');
  await page.fill('#study-do', '0:60:30');
  await page.fill('#study-replications', '60');
  await page.check('#study-ci');
  await page.fill('#study-seed', '42');
  await page.click('#study-run');
  if ((await jobEnd(page)) !== 'completed') throw new Error(`the study ended: ${await page.textContent('#study-status')}`);
  await sameTable('#study-table', page, 'study-table', expected['study.csv']);
  const plots = await page.$$eval('.study-plots canvas', (canvases) => canvases.length);
  if (plots !== 3) throw new Error(`${plots} study plots drawn`);
  // Each line of a plot has a swatch of its own (colour for n, dash for the estimator), and
  // each plot saves as a PNG and as an SVG with every line, named as the command line names it.
  for (const measure of ['bias', 'rmse', 'coverage']) {
    const swatches = await page.$$eval(`#study-${measure} .u-legend .swatch line`, (lines) =>
      lines.map((line) => `${line.getAttribute('stroke')} ${line.getAttribute('stroke-dasharray')}`));
    if (swatches.length < 6 || new Set(swatches).size !== swatches.length) throw new Error(`the ${measure} plot's swatches: ${swatches.join('; ')}`);
    await savedChart(page, `#study-${measure}`, `#study-${measure}`, `study-${measure}-k3`, swatches.length);
  }
  const saved = await downloaded(page, '#study-save');
  if (saved.name !== 'study.csv') throw new Error(`the study saves as ${saved.name}`);
  sameText('study.csv', saved.text, expected['study.csv']);

  // A list the engine refuses, in its words; the last study's rows stay, and still save.
  await page.fill('#study-do', '0:200');
  await page.click('#study-run');
  await jobEnd(page);
  const status = await page.textContent('#study-status');
  if (status !== `Not run: ${pageWords(['study', '--do', '0:200', '--out', 'x.csv'])}.`) throw new Error(`Do 0:200 gave: ${status}`);
  if (await page.isDisabled('#study-save')) throw new Error('the last study cannot be saved after a refused one');

  // A long study says where it stands in tests and conditions, and where Cancel ended it.
  await page.fill('#study-n', '50,100');
  await page.fill('#study-do', '0:90:10');
  await page.fill('#study-replications', '20000');
  await page.click('#study-run');
  const progress = /^Test ([\d,]+) of 400,000 \((\d+) of 20 conditions done\)$/;
  await page.waitForFunction((pattern) => new RegExp(pattern).test(document.getElementById('study-status').textContent),
    progress.source, { timeout: 120000 });
  const [, tests, conditions] = progress.exec(await page.textContent('#study-status'));
  if (Number(tests.replace(/,/g, '')) < Number(conditions) * 20000) throw new Error(`test ${tests} with ${conditions} conditions done`);
  await page.click('#study-cancel');
  const cancelled = await page.textContent('#study-status');
  if (!/^Cancelled after test [\d,]+ of 400,000 \(\d+ of 20 conditions done\)$/.test(cancelled)) throw new Error(`after Cancel: ${cancelled}`);
});

check('Cancel stops a long run, keeps its lines, and the next run works offline', async ({ page, origin, server }) => {
  await page.goto(`${origin}/index.html?tests=10000&full=1&iterate=1&do=0&dmax=99&step=1&seed=7&run=1`);
  // Enough tests of 100 items for a pane of over half a million lines.
  await page.waitForFunction(() => Number((/^Test ([\d,]+)/.exec(document.getElementById('status').textContent) || [0, '0'])[1].replace(/,/g, '')) >= 5000,
    null, { timeout: 120000 });
  // The page answers while the engine works.
  const started = Date.now();
  await page.evaluate(() => new Promise((done) => requestAnimationFrame(done)));
  if (Date.now() - started > 1000) throw new Error('the page did not draw a frame for a second during the run');
  await page.click('#cancel');
  if ((await jobEnd(page)) !== 'cancelled') throw new Error('the run did not end as cancelled');
  const status = await page.textContent('#status');
  const m = /^Cancelled after test (\d+)$/.exec(status);
  if (!m || Number(m[1]) < 1) throw new Error(`the status after Cancel: ${JSON.stringify(status)}`);
  if (await page.isDisabled('#run')) throw new Error('Ok stays disabled after Cancel');

  // The kept text is whole lines, and the pane shows exactly the lines in view, from the
  // first to the last (past about 440 000 lines the pane maps its scroll bar to lines).
  const text = await page.textContent('#data');
  if (!text.startsWith('i\tCorrect\tChoice') || !text.endsWith('\n')) throw new Error('the kept text is not whole lines of the run');
  const lines = text.split('\n');
  lines.pop();
  await page.click('#tab-data');
  for (const where of [0, 0.37, 1]) {
    await page.$eval('#data-view', (view, at) => { view.scrollTop = at * (view.scrollHeight - view.clientHeight); }, where);
    await page.waitForTimeout(150);
    const shown = await page.$eval('#data-view', (view) => {
      const pre = view.querySelector('pre');
      const box = view.getBoundingClientRect();
      const lines = pre.getBoundingClientRect();
      return {
        first: Number(pre.dataset.first), text: pre.textContent,
        rows: Math.ceil(view.clientHeight / parseFloat(getComputedStyle(view).lineHeight)) + 1,
        covers: lines.top <= box.top + 1 && (lines.bottom >= box.bottom - 20 || pre.textContent === ''),
      };
    });
    const expected = lines.slice(shown.first, shown.first + shown.rows).map((line) => line + '\n').join('');
    if (shown.text !== expected || !shown.covers) {
      throw new Error(`scrolled to ${where} of ${lines.length} lines, the pane shows from line ${shown.first + 1} ` +
        `${shown.text === expected ? 'lines that do not fill its view' : 'other lines than the text\'s'}`);
    }
    if (where === 1 && shown.first + shown.rows < lines.length) throw new Error('the pane scrolled to its end does not show the last line');
  }
  const count = await page.textContent('#data-count');
  if (count !== `${lines.length.toLocaleString('en')} lines`) throw new Error(`the pane counts ${count} of ${lines.length}`);

  // A short run on the fresh engine appends its lines after the kept ones, with the network
  // gone: the page holds its engine once loaded.
  server.refuse(true);
  const expected = runBatch(['simulate', '--n', '20', '--k', '4', '--do', '50', '--tests', '5', '--seed', '42', '--data', 'd.txt'], ['d.txt']);
  for (const [id, value] of [['#set-n', '20'], ['#set-k', '4'], ['#set-do', '50'], ['#set-tests', '5'], ['#seed-input', '42']]) {
    await page.fill(id, value);
  }
  await page.uncheck('#set-iterate');
  await page.uncheck('#set-full');
  await page.click('#run');
  if ((await jobEnd(page)) !== 'completed') throw new Error(`the run after Cancel ended: ${await page.textContent('#status')}`);
  const after = await page.textContent('#data');
  sameText('#data after Cancel and a new run', after, text + expected['d.txt']);
  server.refuse(false);
});

check('after Cancel, the status, the Data pane and the Residuals pane end at the same test', async ({ page, origin }) => {
  for (let round = 0; round < 3; round++) {
    await page.goto(`${origin}/index.html?n=30&tests=10000&iterate=1&do=0&dmax=99&step=1&seed=${7 + round}&run=1`);
    await page.waitForFunction((at) => Number((/^Test ([\d,]+)/.exec(document.getElementById('status').textContent) || [0, '0'])[1].replace(/,/g, '')) >= at,
      2000 + 3000 * round, { timeout: 120000 });
    await page.click('#cancel');
    await jobEnd(page);
    const status = await page.textContent('#status');
    const tests = Number(/^Cancelled after test (\d+)$/.exec(status)?.[1]);
    const data = (await page.textContent('#data')).split('\n').filter((line) => /^\d/.test(line));
    const residuals = (await page.textContent('#residuals')).split('\n').filter((line) => /^ *-?\d/.test(line));
    const lastData = Number(data[data.length - 1]?.split('\t')[0]);
    if (!(tests > 0) || data.length !== tests || lastData !== tests || residuals.length !== tests) {
      throw new Error(`${JSON.stringify(status)}, the Data pane ends at test ${lastData} (${data.length} lines), ` +
        `the Residuals pane has ${residuals.length} lines`);
    }
  }
});

check('reloading or closing asks while results are unsaved or a job runs, and only then', async ({ page, origin }) => {
  // The page's answer to the browser's question before it unloads: true holds it.
  const asks = () => page.evaluate(() => {
    const event = new Event('beforeunload', { cancelable: true });
    window.dispatchEvent(event);
    return event.defaultPrevented;
  });
  const seen = [];
  const expect = async (state, ask) => seen.push(`${state}: ${await asks()}, ${ask} expected`);
  await page.goto(`${origin}/index.html?n=20&k=4&do=50&tests=5&seed=42`);
  await page.waitForFunction(() => !document.getElementById('run').disabled);
  await expect('a fresh page', false);
  await page.click('#run');
  await jobEnd(page);
  await expect('after a run', true);
  await page.click('#data-save');
  await expect('with the data saved and the residuals not', true);
  await page.click('#tab-residuals');
  await page.click('#residuals-save');
  await expect('with both panes saved', false);

  writeFileSync(join(work, 'small.csv'), 'id,q1,q2,q3,q4\nKEY,A,B,C,D\nS1,A,B,C,D\nS2,A,C,C,B\n');
  await page.click('#tab-sheets');
  await page.setInputFiles('#sheet-file', join(work, 'small.csv'));
  await page.click('#sheet-run');
  await jobEnd(page);
  await expect('after a sheet', true);
  await page.click('#sheet-save');
  await expect('with its results saved', false);

  await page.click('#tab-study');
  await page.fill('#study-n', '10');
  await page.fill('#study-do', '50');
  await page.fill('#study-replications', '5');
  await page.click('#study-run');
  await jobEnd(page);
  await expect('after a study', true);
  await page.click('#study-save');
  await expect('with its rows saved', false);

  await page.click('#tab-data');
  // A long run: every degree from 0 to 99, 10 000 tests each.
  await page.fill('#set-tests', '10000');
  await page.fill('#set-do', '0');
  await page.check('#set-iterate');
  await page.fill('#set-step', '1');
  await page.click('#run');
  await page.waitForFunction(() => /^Test /.test(document.getElementById('status').textContent));
  const clearPanes = async () => {
    await page.click('#tab-data');
    await page.click('#data-clear');
    await page.click('#tab-residuals');
    await page.click('#residuals-clear');
  };
  await clearPanes();
  await expect('during a run, its panes cleared', true);
  await page.click('#cancel');
  await clearPanes();
  await expect('after Cancel, its panes cleared', false);
  sameText('the page\'s answers', seen.join('\n'), seen.map((line) => line.replace(/: (\w+), (\w+) expected$/, ': $2, $2 expected')).join('\n'));

  // The browser asks for real after a run: dismissed, the page and its lines stay.
  await page.fill('#set-tests', '5');
  await page.uncheck('#set-iterate');
  await page.click('#run');
  await jobEnd(page);
  const lines = await page.textContent('#data');
  const dialog = new Promise((done) => page.once('dialog', async (d) => { await d.dismiss(); done(d.type()); }));
  await page.evaluate(() => { setTimeout(() => location.reload(), 0); });
  if ((await dialog) !== 'beforeunload') throw new Error('no question before the reload');
  await page.waitForTimeout(300);
  if (!lines || (await page.textContent('#data')) !== lines) throw new Error('the lines are gone after the question was dismissed');
});

check('at 1024 × 700 every message is in view without scrolling', async ({ page, origin }) => {
  await page.setViewportSize({ width: 1024, height: 700 });
  const inView = async (id, what) => {
    await page.waitForFunction((el) => document.getElementById(el).textContent.trim() !== '', id);
    const box = await page.$eval(`#${id}`, (el) => {
      const r = el.getBoundingClientRect();
      return { top: r.top, bottom: r.bottom, scrolled: document.scrollingElement.scrollTop };
    });
    if (box.top < 0 || box.bottom > 700 || box.scrolled !== 0) throw new Error(`${what}: #${id} stands at ${box.top}–${box.bottom} px`);
  };
  await page.goto(`${origin}/index.html?k=11&run=1`);
  await inView('status', 'a refused link');
  await page.fill('#set-k', '3');
  await page.click('#run');
  await jobEnd(page);
  await inView('status', 'a finished run');
  await page.click('#tab-sheets');
  writeFileSync(join(work, 'bad-mark.csv'), 'id,q1,q2\nKEY,A,B\nS1,A,Q\n');
  await page.setInputFiles('#sheet-file', join(work, 'bad-mark.csv'));
  await page.click('#sheet-run');
  await jobEnd(page);
  await inView('sheet-error', 'a refused sheet');
  await page.click('#tab-study');
  await page.fill('#study-do', '0:200');
  await page.click('#study-run');
  await inView('study-status', 'a refused study');
});

check('Ctrl+A in a pane selects the pane, and a copy then takes its every line', async ({ page, origin }) => {
  await page.goto(`${origin}/index.html?n=20&k=4&do=50&tests=300&seed=42&run=1`);
  await jobEnd(page);
  const whole = await page.textContent('#data');
  await page.click('#data-view');
  await page.keyboard.press('Control+A');
  // A copy, as the browser fires it: the page's handler fills the clipboard's data.
  const copy = () => page.evaluate(() => {
    const selection = getSelection();
    const event = new ClipboardEvent('copy', { clipboardData: new DataTransfer(), bubbles: true, cancelable: true });
    document.getElementById('data-view').dispatchEvent(event);
    return {
      inPane: document.getElementById('data-view').contains(selection.anchorNode) && document.getElementById('data-view').contains(selection.focusNode),
      copied: event.defaultPrevented ? event.clipboardData.getData('text/plain') : selection.toString(),
    };
  });
  let got = await copy();
  if (!got.inPane || got.copied !== whole) throw new Error(`Ctrl+A then copy: ${got.inPane ? '' : 'the selection left the pane; '}${got.copied.length} characters of ${whole.length}`);
  // Scrolled, the pane stays selected whole.
  await page.$eval('#data-view', (view) => { view.scrollTop = view.scrollHeight; });
  await page.waitForTimeout(200);
  got = await copy();
  if (got.copied !== whole) throw new Error(`scrolled after Ctrl+A, a copy takes ${got.copied.length} characters of ${whole.length}`);
  // A selection made afterwards is copied as it is.
  await page.click('#data-view');
  got = await copy();
  if (got.copied === whole) throw new Error('a click after Ctrl+A still copies the whole pane');
});

check('opened from a file, the page runs a link and analyses a sheet with no server', async ({ page, fileOrigin }) => {
  const args = ['--n', '15', '--k', '3', '--do', '40', '--tests', '4', '--ci', '--seed', '99'];
  const expected = runBatch(['simulate', ...args, '--data', 'd.txt', '--residuals', 'r.txt'], ['d.txt', 'r.txt']);
  await page.goto(`${fileOrigin}/index.html?n=15&k=3&do=40&tests=4&ci=1&seed=99&run=1`);
  const end = await jobEnd(page);
  if (end !== 'completed') throw new Error(`the run from a file ended ${end}: ${await page.textContent('#status')}`);
  sameText('#data from a file', await page.textContent('#data'), expected['d.txt']);
  sameText('#residuals from a file', await page.textContent('#residuals'), expected['r.txt']);

  writeFileSync(join(work, 'small.csv'), 'id,q1,q2,q3,q4\nKEY,A,B,C,D\nS1,A,B,C,D\nS2,A,C,C,B\n');
  runBatch(['analyse', '--responses', 'small.csv', '--ci', '--out', 'small-results.csv']);
  await page.click('#tab-sheets');
  await page.setInputFiles('#sheet-file', join(work, 'small.csv'));
  await page.click('#sheet-run');
  if ((await jobEnd(page)) !== 'completed') throw new Error(`the sheet from a file: ${await page.textContent('#sheet-error')}`);
  const saved = await downloaded(page, '#sheet-save');
  sameText('results.csv from a file', saved.text, readFileSync(join(work, 'small-results.csv'), 'utf8'));
});

// ---------------------------------------------------------------------------------

const server = await serve(dirArgument);
const fileOrigin = pathToFileURL(resolve(dirArgument)).href;
const browser = await launch();
let failed = 0;
try {
  for (const { name, run } of checks) {
    const fromFile = name.startsWith('opened from a file');
    const { context, page, foreign, errors } = await openPage(browser, fromFile ? fileOrigin : server.origin);
    page.setDefaultTimeout(60000);
    try {
      await run({ page, origin: server.origin, fileOrigin, server });
      if (foreign.length) throw new Error(`requests left the page: ${foreign.join(', ')}`);
      if (errors.length) throw new Error(`the page reported errors: ${errors.join('; ')}`);
      console.log(`ok   ${name}`);
    } catch (error) {
      failed++;
      console.log(`FAIL ${name}\n     ${String(error.message || error).split('\n').join('\n     ')}`);
    } finally {
      await context.close();
    }
  }
} finally {
  await browser.close();
  await server.close();
  rmSync(work, { recursive: true, force: true });
}
console.log(failed ? `${failed} of ${checks.length} checks failed` : `all ${checks.length} checks passed`);
process.exit(failed ? 1 : 0);

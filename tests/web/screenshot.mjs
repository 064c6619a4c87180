// A picture of the page after a seeded run, for the README and docs/guide/browser.md:
//   node tests/web/screenshot.mjs BUILD_WEB_DIR OUT.png [PAGE]
// PAGE is the tab to show (graph by default: data, graph, residual, residuals, summary, …).
import { jobEnd, launch, openPage, serve } from './harness.mjs';

const [dir, out, tab = 'graph'] = process.argv.slice(2);
if (!dir || !out) {
  console.error('usage: node tests/web/screenshot.mjs BUILD_WEB_DIR OUT.png [PAGE]');
  process.exit(2);
}
// The window's typical use (docs/guide/window.md): Do from 10 to 90 in steps of 10, 200 tests per degree, Dc and
// D Lord & Novick shown.
const query = 'n=20&k=4&do=10&iterate=1&dmax=90&step=10&tests=200&show-dc=1&show-dln=1&seed=1234567&run=1';

const server = await serve(dir);
const browser = await launch();
try {
  const { page, errors } = await openPage(browser, server.origin, { width: 1280, height: 900 });
  await page.goto(`${server.origin}/index.html?${query}`);
  const end = await jobEnd(page);
  if (end !== 'completed') throw new Error(`the run ended ${end}`);
  await page.click(`#tab-${tab}`);
  await page.waitForTimeout(300);
  await page.screenshot({ path: out });
  if (errors.length) throw new Error(errors.join('; '));
} finally {
  await browser.close();
  await server.close();
}

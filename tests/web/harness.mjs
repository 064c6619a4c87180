// What the browser scripts share: a static server for the built page on 127.0.0.1 and
// headless Chromium driven by playwright-core (from the page's own node_modules).
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, normalize, resolve, sep } from 'node:path';

const require = createRequire(new URL('../../web/package.json', import.meta.url));
const { chromium } = require('playwright-core');

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
  '.wasm': 'application/wasm',
  '.json': 'application/json',
};

// Serves `root` on a free port; resolves to { origin, close, refuse }. refuse(true) makes
// every later request fail, as a server gone away would.
export async function serve(root) {
  const base = resolve(root);
  let refusing = false;
  const server = createServer(async (request, response) => {
    if (refusing) {
      response.writeHead(503).end('gone');
      return;
    }
    const path = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = normalize(join(base, path === '/' ? 'index.html' : path));
    if (file !== base && !file.startsWith(base + sep)) {
      response.writeHead(403).end();
      return;
    }
    try {
      if (!(await stat(file)).isFile()) throw new Error('not a file');
      const body = await readFile(file);
      response.writeHead(200, { 'content-type': TYPES[extname(file)] || 'application/octet-stream' }).end(body);
    } catch {
      response.writeHead(404).end('not found');
    }
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  const { port } = server.address();
  return {
    origin: `http://127.0.0.1:${port}`,
    close: () => new Promise((done) => { server.closeAllConnections?.(); server.close(done); }),
    refuse: (on) => { refusing = on; },
  };
}

export async function launch() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox'],
  });
}

// A page that records every request that leaves the server, and every error the page
// or its worker throws.
export async function openPage(browser, origin, viewport = { width: 1280, height: 900 }) {
  const context = await browser.newContext({ viewport, acceptDownloads: true });
  const page = await context.newPage();
  const foreign = [];
  const errors = [];
  context.on('request', (request) => {
    const url = request.url();
    if (!url.startsWith(origin + '/') && !url.startsWith('data:') && !url.startsWith('blob:')) foreign.push(url);
  });
  page.on('pageerror', (error) => errors.push(String(error)));
  page.on('worker', (worker) => worker.on('console', () => {}));
  page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
  return { context, page, foreign, errors };
}

// Waits until the job under way has ended and returns how: completed, refused, cancelled, error.
export async function jobEnd(page, timeout = 120000) {
  await page.waitForFunction(() => document.documentElement.dataset.end, null, { timeout, polling: 100 });
  return page.evaluate(() => document.documentElement.dataset.end);
}

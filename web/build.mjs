// Builds the page as one HTML file that needs no fetch, so that it works as well opened from
// a disk or a shared drive (file://, where browsers load neither ES modules nor workers from
// files) as served by any web server:
//   - the style sheets go inline as <style>;
//   - uPlot's script goes inline;
//   - the page's ES modules (js/main.js and what it imports) become one inline module: each
//     module's body in a function of its own, its exports the function's answer, its imports
//     read from the modules before it;
//   - the engine and worker.js go inside as inert text (<script type="text/plain">), from
//     which the page makes its worker through a blob: URL;
//   - the Content-Security-Policy allows exactly those inline scripts, by their SHA-256.
//
//   node web/build.mjs OUT.html ENGINE.js
//
// The modules keep to what this needs, and anything else is refused with its file and line:
// imports are `import { a, b as c } from './x.js';` and exports are `export` before a
// function, class or const (no `export let`: a module's exports are read once).
import { createHash } from 'node:crypto';
import { existsSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join, relative, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));

class BuildError extends Error {}

function read(path) {
  return readFileSync(path, 'utf8');
}

// A file the page names by a bare name: the page's own, else uPlot's from its package.
function pageFile(name) {
  for (const dir of [here, join(here, 'node_modules/uplot/dist')]) {
    const path = join(dir, name);
    if (existsSync(path)) return path;
  }
  throw new BuildError(`index.html names ${name}, which is neither in web/ nor in uPlot's package (run npm ci in web/)`);
}

function lineAt(text, index) {
  return text.slice(0, index).split('\n').length;
}

// Text inside a <script> or <style> element ends at the first "</script" or "</style", and
// "<!--" changes how the rest is read: such text cannot go inline.
function inlineSafe(text, name, tag) {
  const m = new RegExp(`</${tag}|<!--`, 'i').exec(text);
  if (m) throw new BuildError(`${name}:${lineAt(text, m.index)}: "${m[0]}" cannot stand inside an inline <${tag}>`);
  return text;
}

const IMPORT = /^import\s*\{([^}]*)\}\s*from\s*'([^']+)';?[ \t]*$/gm;
const EXPORT = /^export\s+((?:async\s+)?function\*?|class|const)\s+([A-Za-z_$][\w$]*)/gm;

// The page's modules from `entry`, each once and after every module it imports, as one script.
export function bundle(entry) {
  const order = [];
  const state = new Map();
  const names = new Map();

  function visit(path, chain) {
    if (state.get(path) === 'done') return;
    if (state.get(path) === 'visiting') {
      throw new BuildError(`the modules import each other in a circle: ${[...chain, path].map((p) => relative(here, p)).join(' → ')}`);
    }
    state.set(path, 'visiting');
    const name = relative(here, path);
    const source = read(path);
    const imports = [];
    const body = source.replace(IMPORT, (whole, list, spec) => {
      const target = resolve(dirname(path), spec);
      if (!existsSync(target)) throw new BuildError(`${name}:${lineAt(source, source.indexOf(whole))}: ${spec} does not exist`);
      const bindings = list.split(',').map((s) => s.trim()).filter(Boolean).map((s) => {
        const m = /^([A-Za-z_$][\w$]*)(?:\s+as\s+([A-Za-z_$][\w$]*))?$/.exec(s);
        if (!m) throw new BuildError(`${name}:${lineAt(source, source.indexOf(whole))}: cannot read the import "${s}"`);
        return m[2] ? `${m[1]}: ${m[2]}` : m[1];
      });
      imports.push({ target, bindings });
      return `\0import${imports.length - 1}`;
    });
    const exports = [];
    const code = body.replace(EXPORT, (whole, kind, exported) => {
      exports.push(exported);
      return whole.replace(/^export\s+/, '');
    });
    const stray = /^\s*(import|export)\b/m.exec(code);
    if (stray) {
      throw new BuildError(`${name}:${lineAt(code, stray.index + stray[0].length)}: only "import { … } from './x.js';" and ` +
        '"export function|class|const" can be bundled');
    }
    for (const i of imports) visit(i.target, [...chain, path]);
    const variable = `__module${order.length}`;
    const text = code.replace(/\0import(\d+)/g, (whole, i) =>
      `const { ${imports[i].bindings.join(', ')} } = ${names.get(imports[i].target)};`);
    names.set(path, variable);
    order.push(`// ${name}\nconst ${variable} = (() => {\n${text.trimEnd()}\nreturn { ${exports.join(', ')} };\n})();\n`);
    state.set(path, 'done');
  }

  visit(resolve(here, entry), []);
  return order.join('\n');
}

function sha256(text) {
  return `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;
}

export function buildPage(enginePath) {
  let html = read(join(here, 'index.html'));
  const hashes = [];
  const inline = (text) => {
    hashes.push(sha256(text));
    return `<script>${text}</script>`;
  };

  html = html.replace(/<link rel="stylesheet" href="([^"]+)">/g, (whole, name) =>
    `<style>\n${inlineSafe(read(pageFile(name)), name, 'style').trimEnd()}\n</style>`);
  html = html.replace(/<script type="module" src="([^"]+)"><\/script>/, (whole, name) => {
    const text = `\n${inlineSafe(bundle(name), name, 'script')}`;
    hashes.push(sha256(text));
    return `<script type="module">${text}</script>`;
  });
  html = html.replace(/<script src="([^"]+)"(?: defer)?><\/script>/g, (whole, name) =>
    inline(inlineSafe(read(pageFile(name)), name, 'script')));
  if (/<script[^>]* src=|<link[^>]* href=(?!"data:)/.test(html)) {
    throw new BuildError('index.html still loads a file after bundling: ' + /<script[^>]* src=[^>]*>|<link[^>]* href=[^>]*>/.exec(html)[0]);
  }

  // The engine and the worker, as one script the page hands its worker.
  const worker = inlineSafe(read(enginePath), enginePath, 'script') + '\n' + inlineSafe(read(join(here, 'worker.js')), 'worker.js', 'script');
  const end = html.lastIndexOf('</body>');
  html = `${html.slice(0, end)}<script type="text/plain" id="veltrano-worker">${worker}</script>\n${html.slice(end)}`;

  const policy = /<meta http-equiv="Content-Security-Policy" content="([^"]*)">/.exec(html);
  if (!policy) throw new BuildError('index.html has no Content-Security-Policy to fill in');
  const directives = policy[1].split(';').map((d) => d.trim()).map((d) =>
    d.startsWith('script-src ') ? `script-src ${hashes.join(' ')} blob: 'unsafe-eval' 'wasm-unsafe-eval'` : d);
  return html.replace(policy[0], () => `<meta http-equiv="Content-Security-Policy" content="${directives.join('; ')}">`);
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [out, engine] = process.argv.slice(2);
  if (!out || !engine) {
    console.error('usage: node web/build.mjs OUT.html ENGINE.js');
    process.exit(2);
  }
  try {
    writeFileSync(out, buildPage(resolve(engine)));
  } catch (e) {
    if (!(e instanceof BuildError) && e.code !== 'ENOENT') throw e;
    console.error(`web/build.mjs: ${e.message}`);
    process.exit(1);
  }
}

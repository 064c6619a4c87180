// The page's bundler (web/build.mjs) on small module trees: what it bundles runs as the
// modules would, and what it cannot bundle faithfully it refuses with the file and line.
//   node tests/web/build-test.mjs
import assert from 'node:assert/strict';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { bundle } from '../../web/build.mjs';

const cases = [
  {
    name: 'imports, renames and exports of functions, classes and constants',
    files: {
      'main.js': "import { twice, Box as Crate } from './lib/a.js';\nimport { ONE } from './lib/b.js';\nexport const out = twice(ONE) + new Crate(3).size;\n",
      'lib/a.js': "import { ONE } from './b.js';\nexport function twice(x) { return 2 * x; }\nexport class Box { constructor(n) { this.size = n + ONE; } }\n",
      'lib/b.js': 'export const ONE = 1;\n',
    },
    runs: 6,
  },
  {
    name: 'a module imported twice is bundled once, before its importers',
    files: {
      'main.js': "import { a } from './a.js';\nimport { b } from './b.js';\nexport const out = a + b;\n",
      'a.js': "import { n } from './n.js';\nexport const a = n;\n",
      'b.js': "import { n } from './n.js';\nexport const b = n;\n",
      'n.js': 'export const n = 21;\n',
    },
    runs: 42,
  },
  { name: 'export let', files: { 'main.js': 'let x = 1;\nexport let y = x;\n' }, refused: /main\.js:2: only/ },
  { name: 'export default', files: { 'main.js': '\n\nexport default 3;\n' }, refused: /main\.js:3: only/ },
  { name: 'an import of everything', files: { 'main.js': "import * as a from './a.js';\n", 'a.js': '' }, refused: /main\.js:1: only/ },
  {
    name: 'modules that import each other',
    files: { 'main.js': "import { a } from './a.js';\n", 'a.js': "import { m } from './main.js';\nexport const a = 1;\n" },
    refused: /in a circle: .*main\.js → .*a\.js → .*main\.js/,
  },
  { name: 'a missing module', files: { 'main.js': "\nimport { a } from './gone.js';\n" }, refused: /main\.js:2: \.\/gone\.js does not exist/ },
];

let failed = 0;
for (const { name, files, runs, refused } of cases) {
  const dir = mkdtempSync(join(tmpdir(), 'veltrano-build-'));
  try {
    for (const [path, text] of Object.entries(files)) {
      mkdirSync(join(dir, path, '..'), { recursive: true });
      writeFileSync(join(dir, path), text);
    }
    if (refused) {
      assert.throws(() => bundle(join(dir, 'main.js')), refused);
    } else {
      const script = bundle(join(dir, 'main.js'));
      const last = [...script.matchAll(/^const (__module\d+) = /gm)].pop()[1];
      assert.equal(new Function(`${script}\nreturn ${last}.out;`)(), runs);
    }
    console.log(`ok    ${name}`);
  } catch (e) {
    failed++;
    console.log(`FAIL  ${name}\n${e.message}`);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}
console.log(`${cases.length - failed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);

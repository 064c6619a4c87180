#!/usr/bin/env bash
# Builds the browser's page as one file, build/web/index.html: the engine (the core and the
# in-memory jobs in WebAssembly, by Debian's emscripten), the page's own files from web/, and
# uPlot from the npm registry, bundled by web/build.mjs. Open it from a disk, or serve
# build/web/ from any web server (try `python3 -m http.server -d build/web`).
#   bash scripts/web.sh          build
#   bash scripts/web.sh --test   build, then test the bundler, the engine under node
#                                against veltrano-batch (build/ must hold it) and the page
#                                in headless Chromium
set -euo pipefail
cd "$(dirname "$0")/.."

# Debian's emscripten runs its JavaScript optimiser on Debian's node modules.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
jobs=$(nproc 2>/dev/null || echo 2)

emcmake cmake -S . -B build/web-engine -DCMAKE_BUILD_TYPE=Release > build/web-engine.log 2>&1 ||
  { cat build/web-engine.log; exit 1; }
cmake --build build/web-engine -j"$jobs"

if [ -f web/package-lock.json ]; then
  (cd web && npm ci --no-audit --no-fund --loglevel=error)
fi

out=build/web
engine=build/web-engine/src/web/veltrano-engine.js
rm -rf "$out"
mkdir -p "$out"
# One file with everything inside: it works served and opened from a disk alike.
node web/build.mjs "$out/index.html" "$engine"
echo "The page is in $out/ (serve it, e.g. python3 -m http.server -d $out)"

if [ "${1:-}" = "--test" ]; then
  batch=build/src/batch/veltrano-batch
  node tests/web/build-test.mjs
  node tests/web/engine-test.mjs "$engine" "$batch"
  node tests/web/browser-test.mjs "$out" "$batch"
fi

#!/usr/bin/env bash
# Builds the browser's page into build/web/: the engine (the core and the in-memory jobs in
# WebAssembly, by Debian's emscripten), the page's own files from web/, and uPlot from the
# npm registry. The result is static files: serve build/web/ from any web server, or try
# it with `python3 -m http.server -d build/web`.
#   bash scripts/web.sh          build
#   bash scripts/web.sh --test   build, then test the engine under node against
#                                veltrano-batch (build/ must hold it) and the page in
#                                headless Chromium
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
rm -rf "$out"
mkdir -p "$out"
cp build/web-engine/src/web/veltrano-engine.js "$out/"
for f in web/*.html web/*.js web/*.css web/*.svg; do
  [ -e "$f" ] && cp "$f" "$out/"
done
mkdir -p "$out/js"
cp web/js/*.js "$out/js/"
if [ -d web/node_modules/uplot/dist ]; then
  cp web/node_modules/uplot/dist/uPlot.iife.min.js web/node_modules/uplot/dist/uPlot.min.css "$out/"
fi
echo "The page is in $out/ (serve it, e.g. python3 -m http.server -d $out)"

if [ "${1:-}" = "--test" ]; then
  batch=build/src/batch/veltrano-batch
  node tests/web/engine-test.mjs "$out/veltrano-engine.js" "$batch"
  node tests/web/browser-test.mjs "$out" "$batch"
fi

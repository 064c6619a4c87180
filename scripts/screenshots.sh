#!/usr/bin/env bash
# Pictures of every page of the window for the documentation, saved in docs/screenshots/:
# the About page at start, then every page after a run with the default settings
# (defaults-*.png) and after an iterating run with Dc and D Lord & Novick shown
# (iterate-*.png). Builds veltrano-screenshots (a test program, so the build needs
# VELTRANO_BUILD_TESTS, the default) when needed and runs it on a virtual X server
# (xvfb-run; scripts/setup.sh installs it), so that fonts and styles are a desktop's.
#
#   bash scripts/screenshots.sh            # build directory: build
#   BUILD_DIR=other bash scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
out=docs/screenshots

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" --target veltrano-screenshots -j"$(nproc 2>/dev/null || echo 2)"

mkdir -p "$out"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/tests/ui/veltrano-screenshots" "$out"

#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds everything and runs every test: the Release
# build (core, window on the offscreen platform, veltrano-batch), a separate build of
# the core tests under AddressSanitizer and UndefinedBehaviorSanitizer, whose worker pool is
# the standard library's threads rather than oneTBB's (so the golden runs and every test of
# the same bytes on 1, 2 and 7 threads run on both pools), and a short bounded run of each
# fuzzer, and a build of the core and veltrano-batch with
# ThreadSanitizer whose tests must report no data race. The Debian package is built and
# installed, and both programs are started from it. The Python package is installed by pip
# into fresh virtual environments, offline, from the source tree and from its sdist's wheel,
# and its tests run against what was installed. The R package's tarball passes R CMD check
# --as-cran (its tests against the command line's numbers included), once with its pool on
# RcppParallel's oneTBB and once on the standard library's threads.
# The browser's page is built with emscripten; its engine is compared with veltrano-batch
# under node, and the page is tried in headless Chromium.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
bash scripts/package-check.sh
bash scripts/python-check.sh
bash scripts/r-check.sh
bash scripts/r-check.sh --pool threads
bash scripts/web.sh --test

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRANO_SANITIZE=ON -DVELTRANO_BUILD_UI=OFF \
  -DVELTRANO_PIPELINE=threads
cmake --build build-sanitize -j"$jobs"
ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

bash scripts/tsan.sh

bash scripts/fuzz.sh 20

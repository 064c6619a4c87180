#!/usr/bin/env bash
# Builds the core and veltrano-batch with ThreadSanitizer (no window) in build-tsan/ and runs
# their tests: the run, the studies and the answer sheets work on several threads, and
# every report of a data race fails the run. oneTBB's own objects are the one known blind
# spot (tests/sanitizers/tsan.supp says why).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
# Also while building: the test programs are run then to list their tests.
export TSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/tsan.supp halt_on_error=1 exitcode=66 allocator_may_return_null=1"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRANO_TSAN=ON -DVELTRANO_BUILD_UI=OFF > /dev/null
cmake --build build-tsan -j"$jobs"
ctest --test-dir build-tsan --output-on-failure -j"$jobs" --timeout 600

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

# ThreadSanitizer (g++ 12) needs the program's memory where it expects it. Kernels that
# randomise addresses with more bits (vm.mmap_rnd_bits above 28) place it elsewhere at
# random, and a test program then dies at start ("unexpected memory mapping") before any
# test has run. Every program here is therefore started
# without address randomisation (setarch -R, inherited by the build and by ctest); where
# that is refused, root lowers the setting for the duration of the run and restores it.
probe_dir=$(mktemp -d)
restore_bits=""
cleanup() {
    rm -rf "$probe_dir"
    if [ -n "$restore_bits" ]; then sysctl -q -w vm.mmap_rnd_bits="$restore_bits" || true; fi
}
trap cleanup EXIT
printf '#include <thread>\nint x;\nint main(){std::thread t([]{x=1;});t.join();return x-1;}\n' > "$probe_dir/probe.cpp"
g++ -std=c++20 -fsanitize=thread -O1 "$probe_dir/probe.cpp" -o "$probe_dir/probe"

norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then norandom=(setarch "$(uname -m)" -R); fi
probe_runs() {
    for _ in 1 2 3 4 5; do "${norandom[@]}" "$probe_dir/probe" > /dev/null 2>&1 || return 1; done
}
if ! probe_runs; then
    bits=$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo "")
    if [ "$(id -u)" = 0 ] && [ -n "$bits" ] && [ "$bits" -gt 28 ] \
        && sysctl -q -w vm.mmap_rnd_bits=28 2>/dev/null; then
        restore_bits=$bits
    fi
    if ! probe_runs; then
        echo "tsan.sh: ThreadSanitizer cannot start a program on this machine" \
             "(vm.mmap_rnd_bits=${bits:-unknown}, address randomisation could not be turned off);" \
             "the data-race check was NOT run." >&2
        exit 0
    fi
fi

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRANO_TSAN=ON -DVELTRANO_BUILD_UI=OFF > /dev/null
"${norandom[@]}" cmake --build build-tsan -j"$jobs"
"${norandom[@]}" ctest --test-dir build-tsan --output-on-failure -j"$jobs" --timeout 600

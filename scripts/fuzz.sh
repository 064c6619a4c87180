#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer
# on) and runs each for a bounded time, starting from the corpus kept in tests/fuzz/corpus.
# The run works on a copy, so the kept corpus only changes when you merge new finds into it:
#   build-fuzz/tests/fuzz/fuzz_numstr -merge=1 tests/fuzz/corpus/numstr <new-corpus-dir>
# Usage: scripts/fuzz.sh [seconds per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELTRANO_FUZZ=ON -DVELTRANO_BUILD_UI=OFF -DVELTRANO_BUILD_TESTS=OFF
# The fuzzers alone: the rest of the project is built and tested elsewhere.
cmake --build build-fuzz -j"$(nproc 2>/dev/null || echo 2)" --target fuzz_numstr fuzz_analysis fuzz_tables fuzz_sheets

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in build-fuzz/tests/fuzz/fuzz_*; do
  name=$(basename "$target")
  corpus=tests/fuzz/corpus/${name#fuzz_}
  mkdir -p "$work/$name"
  [ -d "$corpus" ] && cp -r "$corpus/." "$work/$name/"
  echo "== $name: $seconds s"
  if ! "$target" "$work/$name" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$work/" > "$work/$name.log" 2>&1; then
    tail -n 40 "$work/$name.log"
    for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-*; do
      [ -f "$crash" ] && echo "input: $(base64 -w0 "$crash")"
    done
    echo "$name found a fault" >&2
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$work/$name.log" || true
done

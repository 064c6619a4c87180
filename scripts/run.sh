#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds Veltrano and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc 2>/dev/null || echo 2)"
exec ./build/src/ui/veltrano "$@"

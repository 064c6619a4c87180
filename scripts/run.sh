#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds Veltrano and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc 2>/dev/null || echo 2)"
if [ -x build/src/ui/veltrano ]; then
  exec ./build/src/ui/veltrano "$@"
fi
echo "The window is not built yet: this version holds the simulation and analysis core and its tests."

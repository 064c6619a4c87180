#!/usr/bin/env bash
# Draws docs/architecture/layers.svg and .png, the picture of Veltrano's libraries and
# programs and their arrows, from the CMake targets of a configured build (build/ unless
# given): the edges are CMake's own, reduced to those not implied by others (tred), and the
# front ends built apart: the browser's engine (by emscripten: scripts/web.sh) on the jobs,
# the page (web/) on the engine, and the R package (r/veltrano, whose tarball carries the
# sources it compiles: scripts/r-package.sh) on the jobs. Needs graphviz (apt-get install
# graphviz); not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" > /dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The project's libraries and programs only: no tests, benchmarks or external libraries.
cat > "$build/CMakeGraphVizOptions.cmake" <<'OPTIONS'
set(GRAPHVIZ_EXTERNAL_LIBS OFF)
set(GRAPHVIZ_GENERATE_PER_TARGET OFF)
set(GRAPHVIZ_GENERATE_DEPENDERS OFF)
set(GRAPHVIZ_IGNORE_TARGETS "veltrano_config;veltrano_test_support;.*_tests;tst_.*;bench_.*;fuzz_.*;simulation_sweep;study_stream;veltrano-screenshots;veltrano-window-timing")
OPTIONS
cmake --graphviz="$work/targets.dot" "$build" > /dev/null

# Each layer's targets, top (front ends) to bottom (the numbers).
layer() {
  case "$1" in
    veltrano|veltrano_ui|veltrano-batch|veltrano_batch_core|veltrano_batch_graphs|veltrano-engine|_veltrano|r/veltrano|web/) echo "front" ;;
    veltrano_chart) echo "drawing" ;;
    veltrano_jobs) echo "jobs" ;;
    *) echo "core" ;;
  esac
}
edges=$( (sed -n 's|.*// \(.*\) -> \(.*\)$|\1 \2|p' "$work/targets.dot"; printf '%s\n' "veltrano-engine veltrano_jobs" "web/ veltrano-engine" "r/veltrano veltrano_jobs") |
  awk '$1 != $2' | sort -u)
nodes=$(printf '%s\n' "$edges" | tr ' ' '\n' | sort -u)
{
  echo 'digraph Veltrano {'
  echo '  rankdir=TB; nodesep=0.35; ranksep=0.55; fontname="Helvetica";'
  echo '  node [shape=box, style="rounded,filled", fontname="Helvetica", fontsize=11, color="#555555"];'
  echo '  edge [color="#777777", arrowsize=0.7];'
  for group in front drawing jobs core; do
    case "$group" in
      front) title="Front ends: the command line, the window (Qt Widgets), Python, R, and the browser's page and engine"; fill="#fde2c8" ;;
      drawing) title="Drawing (Qt Gui and Svg)"; fill="#e4d8f0" ;;
      jobs) title="Application layer: one job per user action (Qt-free)"; fill="#cfe8d5" ;;
      core) title="Core: the model, the simulation, studies and answer sheets (Qt-free, portable)"; fill="#d4e4f7" ;;
    esac
    echo "  subgraph cluster_$group { label=\"$title\"; fontsize=11; color=\"#bbbbbb\"; style=rounded;"
    for n in $nodes; do
      [ "$(layer "$n")" = "$group" ] || continue
      shape=box
      label=$n
      case "$n" in
        veltrano|veltrano-batch|veltrano-engine) shape=ellipse ;;
        _veltrano) label='_veltrano\n(the Python module)' ;;
        r/veltrano) shape=ellipse; label='r/veltrano\n(the R package)' ;;
        web/) shape=ellipse; label='web/\n(the page)' ;;
      esac
      echo "    \"$n\" [fillcolor=\"$fill\", shape=$shape, label=\"$label\"];"
    done
    echo '  }'
  done
  printf '%s\n' "$edges" | while read -r a b; do echo "  \"$a\" -> \"$b\";"; done
  echo '}'
} > "$work/layers.dot"
tred "$work/layers.dot" > "$work/reduced.dot"
dot -Tsvg "$work/reduced.dot" -o docs/architecture/layers.svg
dot -Tpng -Gdpi=110 "$work/reduced.dot" -o docs/architecture/layers.png
echo "docs/architecture/layers.svg and layers.png"

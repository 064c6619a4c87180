#!/usr/bin/env bash
# Installs the Python package the way its users do, offline, and runs its tests against the
# installed package (not the build tree), with Debian's python3:
#  1. a fresh virtual environment (--system-site-packages: numpy, pandas, pytest, pybind11
#     and setuptools are Debian's) and `pip install --no-build-isolation --no-index .`, its
#     pool oneTBB's where CMake finds it;
#  2. `python3 -m build --no-isolation`: an sdist, and a wheel built from that sdist unpacked
#     in a folder of its own, here as on a system without oneTBB and nlohmann-json: the pool
#     on the standard library's threads (VELTRANO_PIPELINE=threads) and the sdist's own copy
#     of nlohmann-json's headers; the wheel into a second fresh environment, and the tests
#     again.
# The tests compare with veltrano-batch: build/src/batch/veltrano-batch, or the one given.
#
#   bash scripts/python-check.sh [path/to/veltrano-batch]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
batch=$(realpath "${1:-build/src/batch/veltrano-batch}")
python=/usr/bin/python3
work=$root/build/python-check
rm -rf "$work"
mkdir -p "$work"
export PIP_NO_INPUT=1 PIP_DISABLE_PIP_VERSION_CHECK=1 PYTHONDONTWRITEBYTECODE=1
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc 2>/dev/null || echo 2)}

# The tests of the package installed in environment $1, run from outside the source tree.
run_tests() {
  local venv=$1
  (cd "$work" && "$venv/bin/python" -c 'import sys, veltrano
where = veltrano.__file__
assert where.startswith(sys.prefix), f"veltrano imported from {where}, not from the environment {sys.prefix}"
print(f"veltrano {veltrano.__version__} from {where}")')
  (cd "$work" && VELTRANO_BATCH=$batch VELTRANO_EXAMPLES=$root/docs/examples \
     "$venv/bin/python" -m pytest -q -p no:cacheprovider "$root/tests/python")
}

$python -m venv --system-site-packages "$work/pip-venv"
# pip builds in the source tree; setuptools' own folders (build/, *.egg-info) are its.
"$work/pip-venv/bin/pip" install -q --no-build-isolation --no-index .
run_tests "$work/pip-venv"

VELTRANO_PIPELINE=threads VELTRANO_CMAKE_ARGS=-DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=TRUE \
  $python -m build --no-isolation --outdir "$work/dist" . > "$work/build.log" 2>&1 || {
  tail -n 60 "$work/build.log" >&2
  exit 1
}
ls "$work/dist"
$python -m venv --system-site-packages "$work/wheel-venv"
"$work/wheel-venv/bin/pip" install -q --no-index "$work"/dist/veltrano-*.whl
run_tests "$work/wheel-venv"

#!/usr/bin/env bash
# Builds the R package's tarball (scripts/r-package.sh) and runs R CMD check --no-manual on
# it: the installation, the help pages and their examples, and the testthat tests, which
# compare the package's numbers with the command line's. Fails on an ERROR or a WARNING; the
# NOTEs are shown. Here R's flags are -O2 alone (its default ones add debugging
# information, which only makes the compilation slower and the library larger; the core
# keeps its own -O3), make runs on every core, and R's package repository is an empty
# folder: the check's look for dependency cycles then asks no server.
set -euo pipefail
cd "$(dirname "$0")/.."
tarball=$(bash scripts/r-package.sh)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "CXX20FLAGS = -O2" > "$work/Makevars"
mkdir -p "$work/repository/src/contrib"
: > "$work/repository/src/contrib/PACKAGES"
echo "options(repos = c(CRAN = 'file://$work/repository'))" > "$work/Rprofile"
export R_MAKEVARS_USER=$work/Makevars R_PROFILE_USER=$work/Rprofile
export MAKEFLAGS="-j$(nproc 2>/dev/null || echo 2)"

status=0
(cd build/r && R CMD check --no-manual --no-build-vignettes "$(basename "$tarball")") || status=$?
log=build/r/veltrano.Rcheck/00check.log
if [ "$status" -ne 0 ] || grep -qE '^Status: .*(ERROR|WARNING)' "$log"; then
  for output in build/r/veltrano.Rcheck/tests/testthat.Rout.fail build/r/veltrano.Rcheck/00install.out; do
    [ -f "$output" ] && tail -n 60 "$output"
  done
  echo "R CMD check found an ERROR or a WARNING (see $log)" >&2
  exit 1
fi
grep '^Status:' "$log"

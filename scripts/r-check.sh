#!/usr/bin/env bash
# Builds the R package's tarball (scripts/r-package.sh) and runs R CMD check --as-cran on it,
# offline: the installation, the help pages and their examples, the testthat tests (which
# compare the package's numbers with the command line's) and CRAN's own checks of a
# submission. Fails on an ERROR, a WARNING, or a NOTE other than CRAN's "New submission" and
# "GNU make is a SystemRequirements"; the NOTEs are shown.
#
#   bash scripts/r-check.sh                  # the pool on RcppParallel's oneTBB
#   bash scripts/r-check.sh --pool threads   # the pool on the standard library's threads
#
# The PDF manual is not made (--no-manual: no LaTeX here); everything else of --as-cran runs,
# with nothing asked of a server (_R_CHECK_CRAN_INCOMING_REMOTE_=false, the system clock not
# checked against one, R's package repository an empty folder). Here R's flags are -O2 alone
# (its default ones add debugging information, which only makes the compilation slower and
# the library larger; the core keeps its own -O3) and make runs on every core.
set -euo pipefail
cd "$(dirname "$0")/.."
pool=rcppparallel
if [ "${1:-}" = "--pool" ]; then pool=${2:-}; fi
tarball=$(bash scripts/r-package.sh --pool "$pool")
out=$(dirname "$tarball")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "CXX20FLAGS = -O2" > "$work/Makevars"
mkdir -p "$work/repository/src/contrib"
: > "$work/repository/src/contrib/PACKAGES"
echo "options(repos = c(CRAN = 'file://$work/repository'))" > "$work/Rprofile"
export R_MAKEVARS_USER=$work/Makevars R_PROFILE_USER=$work/Rprofile
export MAKEFLAGS="-j$(nproc 2>/dev/null || echo 2)"
export _R_CHECK_CRAN_INCOMING_REMOTE_=false _R_CHECK_SYSTEM_CLOCK_=0

status=0
(cd "$out" && R CMD check --as-cran --no-manual --no-build-vignettes "$(basename "$tarball")") || status=$?
check=$out/veltrano.Rcheck
log=$check/00check.log

# The NOTEs, each with its lines of detail. Two are expected: of CRAN's incoming checks "New
# submission" (with the maintainer's name, which it always shows), and the one that says the
# package asks for GNU make (its Makevars runs Rscript for RcppParallel's flags), which every
# package that declares it gets.
notes=$(awk '/^\* / { note = / \.\.\. NOTE$/ } note' "$log")
expected='^(\* checking CRAN incoming feasibility \.\.\. NOTE|Maintainer: .*|New submission'
expected+='|\* checking for GNU extensions in Makefiles \.\.\. NOTE|GNU make is a SystemRequirements\.|[[:space:]]*)$'
unexpected=$(printf '%s\n' "$notes" | grep -vE "$expected" || true)
if [ "$status" -ne 0 ] || grep -qE '^Status: .*(ERROR|WARNING)' "$log" || [ -n "$unexpected" ]; then
  for output in "$check/tests/testthat.Rout.fail" "$check/00install.out"; do
    [ -f "$output" ] && tail -n 60 "$output"
  done
  [ -n "$notes" ] && printf 'NOTEs:\n%s\n' "$notes"
  echo "R CMD check --as-cran ($pool) found an ERROR, a WARNING or a NOTE (see $log)" >&2
  exit 1
fi
[ -n "$notes" ] && printf '%s\n' "$notes"
echo "R CMD check --as-cran ($pool): $(grep '^Status:' "$log")"

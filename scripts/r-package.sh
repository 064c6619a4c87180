#!/usr/bin/env bash
# Assembles the R package's source tarball, build/r/veltrano_<version>.tar.gz: the package's
# own files (r/veltrano) with the core's C++ sources (src/numeric, table, parallel,
# analysis, simulation, study, sheets and jobs, which are Qt-free) copied into its src/, their
# objects listed in its src/Makevars (and Makevars.win, made of it), nlohmann-json's headers
# in its src/nlohmann with their copyright in inst/COPYRIGHTS, and the example answer sheet in
# its inst/extdata. The tarball needs nothing but R, Rcpp, RcppParallel and a C++20 compiler.
#
#   bash scripts/r-package.sh                  # the tarball
#   bash scripts/r-package.sh --pool threads   # build/r-threads/veltrano_<version>.tar.gz, whose
#                                              # pool is the standard library's threads
#                                              # whatever TBB RcppParallel has
#   bash scripts/r-package.sh --document       # first regenerate, in r/veltrano, the Rcpp glue's
#                                              # R/RcppExports.R and src/RcppExports.cpp
#                                              # (Rcpp::compileAttributes) and NAMESPACE and man/
#                                              # (roxygen2), then the tarball
#
# Needs Debian's r-base-dev, r-cran-rcpp and nlohmann-json3-dev (and r-cran-roxygen2 for
# --document); scripts/setup.sh installs them.
set -euo pipefail
cd "$(dirname "$0")/.."

document=no
pool=rcppparallel
while [ $# -gt 0 ]; do
  case "$1" in
    --document) document=yes ;;
    --pool) pool=${2:-}; shift ;;
    *) echo "r-package.sh: unknown argument $1 (--document, --pool rcppparallel|threads)" >&2; exit 2 ;;
  esac
  shift
done
case "$pool" in
  rcppparallel | threads) ;;
  *) echo "r-package.sh: --pool is rcppparallel or threads, not '$pool'" >&2; exit 2 ;;
esac

if [ "$document" = yes ]; then
  (cd r/veltrano && Rscript --vanilla -e 'Rcpp::compileAttributes(".")' \
     -e 'roxygen2::roxygenise(".", roclets = c("rd", "namespace"))' > /dev/null)
fi

version=$(sed -n 's/^project(Veltrano VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
described=$(sed -n 's/^Version: //p' r/veltrano/DESCRIPTION)
if [ "$version" != "$described" ]; then
  echo "r/veltrano/DESCRIPTION says version $described, CMakeLists.txt $version: make them agree" >&2
  exit 1
fi

out=build/r
[ "$pool" = threads ] && out=build/r-threads
stage=$out/stage
rm -rf "$stage"
mkdir -p "$stage"
cp -r r/veltrano "$stage/veltrano"
package=$stage/veltrano

# Each object of the core is compiled with CORE_CXXFLAGS after R's flags, by a rule of its
# own (make's suffix rule would take R's flags alone); an object whose rule Makevars already
# has keeps it.
objects=()
for layer in numeric table parallel analysis simulation study sheets jobs; do
  mkdir -p "$package/src/$layer"
  cp src/$layer/*.h src/$layer/*.cpp "$package/src/$layer/"
  for source in src/$layer/*.cpp; do
    object=$layer/$(basename "${source%.cpp}").o
    objects+=("$object")
    grep -q "^$object:" r/veltrano/src/Makevars && continue
    printf '%s: %s\n\t$(CXX) $(ALL_CPPFLAGS) $(ALL_CXXFLAGS) $(CORE_CXXFLAGS) -c %s -o $@\n' \
      "$object" "${object%.o}.cpp" "${object%.o}.cpp" >> "$package/src/Makevars"
  done
done
sed -i "s|^CORE_OBJECTS =.*|CORE_OBJECTS = ${objects[*]}|" "$package/src/Makevars"
if [ "$pool" = threads ]; then
  sed -i -e 's|^POOL_CPPFLAGS =.*|POOL_CPPFLAGS = -DVELTRANO_TBB=0|' -e 's|^POOL_LIBS =.*|POOL_LIBS =|' \
    "$package/src/Makevars"
fi
sed 's|^RSCRIPT = .*|RSCRIPT = "$(R_HOME)/bin$(R_ARCH_BIN)/Rscript.exe"|' "$package/src/Makevars" \
  > "$package/src/Makevars.win"

# nlohmann-json (headers only, MIT licence) travels with the package.
if [ ! -f /usr/include/nlohmann/json.hpp ]; then
  echo "r-package.sh: nlohmann-json's headers not found in /usr/include (Debian: nlohmann-json3-dev)" >&2
  exit 1
fi
# CRAN refuses pragmas that silence compilers' diagnostics: the copy has none (the headers'
# own pushes, pops and ignores of warnings are taken out; the code is the same).
cp -r /usr/include/nlohmann "$package/src/nlohmann"
find "$package/src/nlohmann" -name '*.hpp' -exec sed -i '/^[[:space:]]*#[[:space:]]*pragma[[:space:]]\+\(GCC\|clang\)[[:space:]]\+diagnostic/d' {} +
mkdir -p "$package/inst"
{
  echo "The package's src/nlohmann holds the headers of nlohmann-json, under the MIT licence"
  echo "(Expat), without their pragmas that silence compilers' diagnostics; their copyright"
  echo "notice follows."
  echo
  cat /usr/share/doc/nlohmann-json3-dev/copyright
} > "$package/inst/COPYRIGHTS"

mkdir -p "$package/inst/extdata"
cp docs/examples/exam-sheet.csv "$package/inst/extdata/"

(cd "$out" && R CMD build --no-build-vignettes --no-manual stage/veltrano > build.log 2>&1) || {
  cat "$out/build.log" >&2
  exit 1
}
echo "$out/veltrano_${version}.tar.gz"

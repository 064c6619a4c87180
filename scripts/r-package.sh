#!/usr/bin/env bash
# Assembles the R package's source tarball, build/r/veltrano_<version>.tar.gz: the package's
# own files (r/veltrano) with the core's C++ sources (src/numeric, table, parallel,
# analysis, simulation, study, sheets and jobs, which are Qt-free) copied into its src/, their
# objects listed in its src/Makevars, and the example answer sheet in its inst/extdata.
#
#   bash scripts/r-package.sh              # the tarball
#   bash scripts/r-package.sh --document   # first regenerate, in r/veltrano, the Rcpp glue's
#                                          # R/RcppExports.R and src/RcppExports.cpp
#                                          # (Rcpp::compileAttributes) and NAMESPACE and man/
#                                          # (roxygen2), then the tarball
#
# Needs Debian's r-base-dev and r-cran-rcpp (and r-cran-roxygen2 for --document); the
# package itself needs libtbb-dev and nlohmann-json3-dev to build (scripts/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--document" ]; then
  (cd r/veltrano && Rscript --vanilla -e 'Rcpp::compileAttributes(".")' \
     -e 'roxygen2::roxygenise(".", roclets = c("rd", "namespace"))' > /dev/null)
fi

version=$(sed -n 's/^project(Veltrano VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
described=$(sed -n 's/^Version: //p' r/veltrano/DESCRIPTION)
if [ "$version" != "$described" ]; then
  echo "r/veltrano/DESCRIPTION says version $described, CMakeLists.txt $version: make them agree" >&2
  exit 1
fi

stage=build/r/stage
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

mkdir -p "$package/inst/extdata"
cp docs/examples/exam-sheet.csv "$package/inst/extdata/"

(cd build/r && R CMD build --no-build-vignettes --no-manual stage/veltrano > build.log 2>&1) || {
  cat build/r/build.log >&2
  exit 1
}
echo "build/r/veltrano_${version}.tar.gz"

#!/usr/bin/env bash
# Installs every Debian package Veltrano needs to build, test and run; packages that
# are already there are left alone. Run as root (or with sudo available).
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  qt6-base-dev qt6-qpa-plugins libqt6svg6-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libtbb-dev nlohmann-json3-dev librandom123-dev
  parallel
  python3 python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pandas python3-pytest python3-tqdm
  python3-venv python3-pip python3-setuptools python3-wheel python3-build
  r-base-dev r-cran-rcpp r-cran-rcppparallel r-cran-testthat r-cran-roxygen2 r-cran-ggplot2
  xvfb xauth
  clang libclang-rt-14-dev
  desktop-file-utils appstream dpkg-dev
  emscripten chromium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm fetches the page's chart library; a machine with Node.js from elsewhere has its own.
command -v npm > /dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
# Another apt or dpkg may hold the lock on a fresh machine (its own updates): wait for it.
"${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"

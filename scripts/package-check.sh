#!/usr/bin/env bash
# Builds the Debian package from build/, installs it with apt (as root) and checks that
# both programs start from the installed files: veltrano-batch runs a small seeded
# simulation, the window stays up on the offscreen platform until it is stopped, and
# Debian's python3 imports the Python package.
set -euo pipefail
cd "$(dirname "$0")/.."
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

(cd build && cpack -G DEB > /dev/null)
deb=$(ls build/veltrano_*.deb | head -n 1)
# Another apt or dpkg may hold the lock on a fresh machine (its own updates): wait for it.
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --reinstall "./$deb" > /dev/null
echo "installed $deb"

/usr/bin/veltrano-batch simulate --seed 1 --tests 3 --data - > /dev/null
echo "veltrano-batch runs"

if [ -n "$(ls build/python/veltrano/_veltrano*.so 2>/dev/null)" ]; then
  (cd / && env -u PYTHONPATH /usr/bin/python3 -c "import veltrano; print('python3 imports veltrano', veltrano.__version__)")
fi

set +e
QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/veltrano
status=$?
set -e
if [ "$status" -ne 124 ]; then
  echo "veltrano did not keep running (exit status $status)" >&2
  exit 1
fi
echo "veltrano starts"

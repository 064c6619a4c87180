#!/bin/sh
# End-to-end speed and memory of veltrano-batch simulate: n = 100 and n = 1000, k = 4,
# Do 10..90 in steps of 10 (9 degrees), 10000 tests per degree, text on, data, residual
# and points files written to a scratch directory; once with the confidence interval
# and once without. Reports wall time, tests per second and peak resident memory.
#
# Usage: bench/batch_end_to_end.sh [path/to/veltrano-batch] [tests-per-degree]
set -eu

BIN=${1:-build/src/batch/veltrano-batch}
TESTS=${2:-10000}
[ -x "$BIN" ] || { echo "no veltrano-batch at $BIN (pass its path)" >&2; exit 2; }
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT INT TERM

DEGREES=9
TOTAL=$((DEGREES * TESTS))

# Prints "<wall seconds> <peak KiB>" for the command given.
measure() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%e %M' -o "$OUT/time" "$@" >/dev/null
    cat "$OUT/time"
  else
    python3 - "$@" <<'PY'
import resource, subprocess, sys, time
t = time.monotonic()
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)
print("%.2f %d" % (time.monotonic() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
PY
  fi
}

printf '%-22s %9s %9s %12s %9s %12s\n' run tests wall_s tests_per_s peak_MB data_MB
for n in 100 1000; do
  for ci in --ci --no-ci; do
    set -- --n "$n" --k 4 --do 10 --iterate --dmax 90 --step 10 --tests "$TESTS" --text --seed 1 --quiet \
           --data "$OUT/data" --residuals "$OUT/residuals" --points "$OUT/points"
    [ "$ci" = --ci ] && set -- "$@" --ci
    read -r wall kib <<EOF2
$(measure "$BIN" simulate "$@")
EOF2
    rate=$(awk -v t="$TOTAL" -v w="$wall" 'BEGIN { printf "%.0f", (w > 0 ? t / w : 0) }')
    mb=$(awk -v k="$kib" 'BEGIN { printf "%.1f", k / 1024 }')
    data=$(awk -v b="$(wc -c < "$OUT/data")" 'BEGIN { printf "%.1f", b / 1048576 }')
    printf '%-22s %9d %9s %12s %9s %12s\n' "n=$n $ci" "$TOTAL" "$wall" "$rate" "$mb" "$data"
  done
done

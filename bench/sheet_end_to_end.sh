#!/bin/sh
# End-to-end speed and memory of veltrano-batch analyse --responses: a sheet of EXAMINEES
# examinees × 100 items (k = 4; knowledge spread evenly, 3 % omissions) written to a
# scratch directory, analysed with the interval off into a CSV file: with --k on one
# thread and on every core, and without --k (the sheet read twice). Reports wall time,
# examinees per second and peak resident memory; run it with two sizes to see that the
# memory does not grow with the sheet.
#
# Usage: bench/sheet_end_to_end.sh [path/to/veltrano-batch] [examinees, default 1000000]
set -eu

BIN=${1:-build/src/batch/veltrano-batch}
EXAMINEES=${2:-1000000}
[ -x "$BIN" ] || { echo "no veltrano-batch at $BIN (pass its path)" >&2; exit 2; }
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT INT TERM

python3 - "$EXAMINEES" > "$OUT/sheet.csv" <<'PY'
import random, sys
r = random.Random(2026)
n, letters = 100, "ABCD"
key = [r.choice(letters) for _ in range(n)]
out = sys.stdout
out.write("KEY," + ",".join(key) + "\n")
for e in range(int(sys.argv[1])):
    d = r.random()
    row = []
    for c in key:
        u = r.random()
        row.append("" if u < 0.03 else c if r.random() < d else r.choice(letters))
    out.write("S%07d," % e + ",".join(row) + "\n")
PY

# Prints "<wall seconds> <peak KiB>" for the command given.
measure() {
  /usr/bin/time -f '%e %M' -o "$OUT/time" "$@" >/dev/null
  cat "$OUT/time"
}

printf '%-28s %10s %9s %15s %9s\n' run examinees wall_s examinees_per_s peak_MB
for run in "--k 4 --jobs 1" "--k 4" "--jobs 1"; do
  # shellcheck disable=SC2086
  read -r wall kib <<EOF2
$(measure "$BIN" analyse --responses "$OUT/sheet.csv" $run --out "$OUT/results.csv")
EOF2
  rate=$(awk -v t="$EXAMINEES" -v w="$wall" 'BEGIN { printf "%.0f", (w > 0 ? t / w : 0) }')
  mb=$(awk -v k="$kib" 'BEGIN { printf "%.1f", k / 1024 }')
  printf '%-28s %10d %9s %15s %9s\n' "$run" "$EXAMINEES" "$wall" "$rate" "$mb"
done

#!/usr/bin/env bash
# Makes the R package's test data, r/veltrano/tests/testthat/batch/: what veltrano-batch
# writes for the cases the package's tests repeat, which compare the package's numbers with
# these digit for digit. The files are kept in the repository; run this again only when the
# command line's numbers change on purpose.
#
#   bash scripts/r-test-data.sh [veltrano-batch, default build/src/batch/veltrano-batch]
set -euo pipefail
cd "$(dirname "$0")/.."
batch=${1:-build/src/batch/veltrano-batch}
out=r/veltrano/tests/testthat/batch
rm -rf "$out"
mkdir -p "$out"

# Tables: an ordinary one; an empty row (code 214); k = 2; every answer right (122, estimated
# on the table plus 0.5); two answers in a 5 x 5 table (the interval's lower limit at its
# bound); no answer right in a table whose model fails its check (Du, pi and the interval
# undefined, no standard error).
cat > "$out/tables.txt" <<'TABLES'
8 1 1
2 7 1
1 1 8

5 0 0
0 0 0
1 0 4

3 2
2 3

6 0 0 0
0 5 0 0
0 0 7 0
0 0 0 4

1 0 0 0 0
0 0 0 0 0
0 0 0 0 0
0 0 0 0 1
0 0 0 0 0

0 1 0
1 0 0
0 0 0
TABLES
# analyse --json, as the columns of vt_analyse: 17 significant digits (the command line's
# CSV form, which R reads back exactly), an empty cell where the JSON has null, no standard
# error where the model failed its check, pi's values joined by ";".
"$batch" analyse --json --ci "$out/tables.txt" | python3 -c '
import json, sys
def cell(x):
    return "" if x is None else "%.17g" % x
print("du,se_du,ci_lower,ci_upper,dc,se_dc,dln,code,code2,pi")
for line in sys.stdin:
    e = json.loads(line)
    se = e["Delta_MV_SE"] if e["model_ok"] and e["Delta_MV_SE"] else None
    print(",".join([cell(e["Delta_MV"]), cell(se), cell(e["CI"][0]), cell(e["CI"][1]), cell(e["Delta_KA"]),
                    cell(e["Delta_KA_SE"]), cell(e["DLN"]), str(e["code"]), str(e["code2"]),
                    ";".join(cell(p) for p in e["Pi"])]))
' > "$out/analyse.csv"

# A run over three degrees: its data lines (each test's table) and chart points (Do*, Du,
# Dc and D Lord & Novick of every test).
"$batch" simulate --seed 5 --n 15 --k 3 --do 20 --iterate --dmax 40 --step 10 --tests 4 --ci \
  --data "$out/simulate-data.txt" --points "$out/simulate-points.csv"

# A study with its test rows from each generator: lcg (whose conditions' seeds vt_simulate
# repeats), and philox seeded beyond 2^53 (a seed R takes as a string); the philox study
# seeded just beyond 2^32 (a number) too, and the one beyond 2^53 in three shards.
study=(--n 10,20 --k 2:3 --do 0,50 --replications 40 --ci --quiet)
big=(--generator philox --seed 18446744073709551557)
"$batch" study "${study[@]}" --generator lcg --seed 9 --out "$out/study-lcg.csv" \
  --tests-out "$out/study-lcg-tests.csv"
"$batch" study "${study[@]}" "${big[@]}" --out "$out/study-philox.csv" --tests-out "$out/study-philox-tests.csv"
"$batch" study "${study[@]}" --generator philox --seed 4294967305 --out "$out/study-philox-2-32.csv"
for i in 1 2 3; do
  "$batch" study "${study[@]}" "${big[@]}" --shard "$i/3" --out "$out/part$i.csv"
done

# The example answer sheet: its results and the note on the favoured position.
"$batch" analyse --responses docs/examples/exam-sheet.csv --ci --out "$out/responses.csv" \
  2> "$out/responses-notes.txt"
sed -i 's/^veltrano-batch: //' "$out/responses-notes.txt"
ls "$out"

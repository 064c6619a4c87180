#!/bin/sh
# The two worker pools end to end on two threads: veltrano-batch built with oneTBB's pool and
# built with the standard library's threads (-DVELTRANO_PIPELINE=threads), the same runs in
# turn, several rounds, so that the machine's load falls on both alike. Runs: simulate (n =
# 100, k = 4, Do 10..90 step 10, 10 000 tests a degree, text on, its three files), an lcg
# study and a philox study (n 20, 50, 100; k 2..5; Do 0..100 step 10; 2 000 replications),
# all --jobs 2, outputs to a scratch folder. Prints each run's total wall time under each pool
# and the ratio threads / oneTBB; the outputs of the two are compared byte for byte.
#
# Usage: bench/pipeline_end_to_end.sh TBB-BATCH THREADS-BATCH [ROUNDS]
set -eu
TBB=$1
THREADS=$2
ROUNDS=${3:-5}
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT INT TERM

now() { date +%s.%N; }

# run NAME POOL BATCH ARGS...: adds the run's wall time to $OUT/NAME.POOL
run() {
  name=$1 pool=$2 bin=$3
  shift 3
  mkdir -p "$OUT/$pool"
  start=$(now)
  case $name in
    simulate) "$bin" simulate "$@" --data "$OUT/$pool/data" --residuals "$OUT/$pool/residuals" \
                --points "$OUT/$pool/points" ;;
    *) "$bin" study "$@" --out "$OUT/$pool/$name.csv" ;;
  esac
  end=$(now)
  echo "$start $end" | awk '{ printf "%.4f\n", $2 - $1 }' >> "$OUT/$name.$pool"
}

for round in $(seq "$ROUNDS"); do
  for pool in tbb threads; do
    bin=$TBB
    [ "$pool" = threads ] && bin=$THREADS
    run simulate "$pool" "$bin" --n 100 --k 4 --do 10 --iterate --dmax 90 --step 10 --tests 10000 --text \
      --seed 1 --quiet --jobs 2
    for generator in lcg philox; do
      run "$generator" "$pool" "$bin" --n 20,50,100 --k 2:5 --do 0:100:10 --replications 2000 --seed 1 \
        --generator "$generator" --jobs 2 --quiet
    done
  done
done

for f in data residuals points lcg.csv philox.csv; do
  cmp "$OUT/tbb/$f" "$OUT/threads/$f" || { echo "the pools wrote different $f" >&2; exit 1; }
done
printf '%-9s %12s %12s %16s\n' run tbb_s threads_s threads_x_tbb
for name in simulate lcg philox; do
  tbb=$(awk '{ s += $1 } END { printf "%.3f", s }' "$OUT/$name.tbb")
  threads=$(awk '{ s += $1 } END { printf "%.3f", s }' "$OUT/$name.threads")
  printf '%-9s %12s %12s %16s\n' "$name" "$tbb" "$threads" "$(echo "$threads $tbb" | awk '{ printf "%.3f", $1 / $2 }')"
done
echo "($ROUNDS rounds, outputs identical)"

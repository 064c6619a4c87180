#!/bin/sh
# veltrano-batch study across processes: shards run as separate processes through GNU
# parallel and merged equal the whole study (run on one and on three threads), byte for
# byte; a study stopped by SIGINT exits 130, keeps its complete conditions, and resumed
# equals the uninterrupted study.
#
#   tests/batch/study_scale_out.sh path/to/veltrano-batch
set -eu
B=$1
command -v parallel > /dev/null || { echo "GNU parallel is not installed: skipped"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

study="--n 10,25 --k 2,3,5 --do 0:100:25 --replications 300 --seed 424242"
$B study $study --jobs 1 --out "$dir/whole1.csv" --quiet
$B study $study --jobs 3 --out "$dir/whole3.csv" --quiet
cmp "$dir/whole1.csv" "$dir/whole3.csv" || fail "--jobs 1 and --jobs 3 differ"

parallel --will-cite -j 3 "$B" study $study --jobs 1 --quiet --shard {}/4 --out "$dir/part{}.csv" ::: 1 2 3 4
$B study merge "$dir/part3.csv" "$dir/part1.csv" "$dir/part4.csv" "$dir/part2.csv" --out "$dir/merged.csv"
cmp "$dir/merged.csv" "$dir/whole1.csv" || fail "the merged shards differ from the whole study"

# Ten conditions that take a while each: interrupted once two are written.
long="--n 100 --k 4 --do 0:90:10 --replications 40000 --seed 99 --jobs 2 --quiet"
$B study $long --out "$dir/long.csv" --tests-out "$dir/long-tests.csv" &
pid=$!
while [ "$(wc -l < "$dir/long.csv" 2> /dev/null || echo 0)" -lt 7 ]; do
  kill -0 $pid 2> /dev/null || fail "the study ended before two conditions were written"
  sleep 0.05
done
kill -INT $pid
status=0
wait $pid || status=$?
[ $status -eq 130 ] || fail "the interrupted study exited with $status, not 130"
lines=$(wc -l < "$dir/long.csv")
[ $(( (lines - 1) % 3 )) -eq 0 ] || fail "the interrupted output holds a part of a condition ($lines lines)"
[ "$lines" -lt 31 ] || fail "the study ended before the interrupt"
tests=$(wc -l < "$dir/long-tests.csv")
[ "$tests" -eq $(( (lines - 1) / 3 * 40000 + 1 )) ] || fail "the test rows do not match the complete conditions"

$B study $long --resume --out "$dir/long.csv" --tests-out "$dir/long-tests.csv"
$B study $long --out "$dir/long-whole.csv" --tests-out "$dir/long-whole-tests.csv"
cmp "$dir/long.csv" "$dir/long-whole.csv" || fail "the resumed study differs from the uninterrupted one"
cmp "$dir/long-tests.csv" "$dir/long-whole-tests.csv" || fail "the resumed test rows differ"
echo "ok"

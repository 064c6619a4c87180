#!/usr/bin/env bash
# Runs dieharder's whole battery (dieharder -a) on the random words a philox study draws,
# as the study draws them: replication after replication of one condition, each the words
# its test takes from its own stream (bench/study_stream.cpp). Not part of CI: it reads
# many gigabytes and takes about an hour of one core.
#
#   bench/dieharder.sh [BUILD_DIR] [SEED CONDITION N K DO] > dieharder.txt
#
# Needs Debian's dieharder and the benchmarks built (-DVELTRANO_BUILD_BENCH=ON, target
# study_stream). The default condition is n = 20, k = 4, Do = 50 of study seed 20261210:
# about 130 words a test, so the battery crosses tens of millions of streams' starts.
set -euo pipefail
build=${1:-build}
shift || true
if [ $# -eq 5 ]; then args=("$@"); else args=(20261210 7 20 4 50); fi
command -v dieharder > /dev/null || { echo "dieharder is not installed (apt-get install dieharder)" >&2; exit 1; }
stream="$build/bench/study_stream"
[ -x "$stream" ] || { echo "$stream is missing: build the target study_stream" >&2; exit 1; }
echo "# study_stream ${args[*]} | dieharder -a -g 200"
"$stream" "${args[@]}" | dieharder -a -g 200

#!/usr/bin/env Rscript
# The R package's speed against the command line, measured in the same run.
#
#   bash scripts/r-package.sh && R CMD INSTALL --library=build/r/lib build/r/veltrano_1.0.0.tar.gz
#   R_LIBS=build/r/lib Rscript bench/bench_r.R build/src/batch/veltrano-batch
#
# vt_study against `veltrano-batch study` with the same grid and options, both on every core,
# in tests per second: the grid of bench_python.py (n 20, 50, 100; k 2, 4; Do 0..100 step 10:
# 66 conditions) with 20 000 replications (1.32 million tests) and the interval off, and
# n = 100, k = 3, Do 0..100 step 10 with 5 000 replications (55 000 tests) and the interval
# on. Each figure is the best of five, the two measured one after the other each time; the
# ratios are the package's time over the command line's, in wall-clock time and in CPU time
# (every thread's), which other work on the machine disturbs less.
library(veltrano)

args <- commandArgs(trailingOnly = TRUE)
batch <- if (length(args) > 0L) args[1L] else "build/src/batch/veltrano-batch"

# The wall-clock time of expr, and the CPU time it took in this process (every thread of
# it) and in the programs it ran.
timed <- function(expr) {
  start <- proc.time()
  force(expr)
  used <- proc.time() - start
  c(wall = used[["elapsed"]], cpu = sum(used[c("user.self", "sys.self", "user.child", "sys.child")], na.rm = TRUE))
}

compare <- function(title, design, options, replications, ci) {
  tests <- nrow(design) * replications
  r <- NULL
  cli <- NULL
  for (i in 1:5) {
    r <- rbind(r, timed(vt_study(design, replications = replications, seed = 7, ci = ci, progress = FALSE)))
    cli <- rbind(cli, timed(system2(batch, c("study", options, "--replications", replications, "--seed", "7",
                                             if (ci) "--ci", "--quiet", "--out", "/dev/null"))))
  }
  best <- function(x, what) min(x[, what])
  rate <- function(seconds) format(round(tests / seconds), big.mark = " ")
  cat(sprintf("%s: %d tests, every core\n", title, tests))
  cat(sprintf("  wall clock: vt_study %s tests/s, veltrano-batch study %s tests/s; time ratio %.3f\n",
              rate(best(r, "wall")), rate(best(cli, "wall")), best(r, "wall") / best(cli, "wall")))
  cat(sprintf("  CPU time: vt_study %.3f us a test, veltrano-batch study %.3f us; ratio %.3f\n",
              1e6 * best(r, "cpu") / tests, 1e6 * best(cli, "cpu") / tests, best(r, "cpu") / best(cli, "cpu")))
}

compare("study, interval off", expand.grid(do = seq(0, 100, 10), k = c(2, 4), n = c(20, 50, 100)),
        c("--n", "20,50,100", "--k", "2,4", "--do", "0:100:10"), 20000, FALSE)
compare("study, interval on", expand.grid(do = seq(0, 100, 10), k = 3, n = 100),
        c("--n", "100", "--k", "3", "--do", "0:100:10"), 5000, TRUE)

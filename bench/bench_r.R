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
# ratio is the package's time over the command line's.
library(veltrano)

args <- commandArgs(trailingOnly = TRUE)
batch <- if (length(args) > 0L) args[1L] else "build/src/batch/veltrano-batch"

seconds <- function(expr) {
  start <- proc.time()[["elapsed"]]
  force(expr)
  proc.time()[["elapsed"]] - start
}

compare <- function(title, design, options, replications, ci) {
  tests <- nrow(design) * replications
  r <- numeric(0)
  cli <- numeric(0)
  for (i in 1:5) {
    r <- c(r, seconds(vt_study(design, replications = replications, seed = 7, ci = ci, progress = FALSE)))
    cli <- c(cli, seconds(system2(batch, c("study", options, "--replications", replications, "--seed", "7",
                                           if (ci) "--ci", "--quiet", "--out", "/dev/null"))))
  }
  cat(sprintf("%s: %d tests, every core\n", title, tests))
  cat(sprintf("  vt_study: %s tests/s; veltrano-batch study: %s tests/s; time ratio %.3f\n",
              format(round(tests / min(r)), big.mark = " "), format(round(tests / min(cli)), big.mark = " "),
              min(r) / min(cli)))
}

compare("study, interval off", expand.grid(do = seq(0, 100, 10), k = c(2, 4), n = c(20, 50, 100)),
        c("--n", "20,50,100", "--k", "2,4", "--do", "0:100:10"), 20000, FALSE)
compare("study, interval on", expand.grid(do = seq(0, 100, 10), k = 3, n = 100),
        c("--n", "100", "--k", "3", "--do", "0:100:10"), 5000, TRUE)

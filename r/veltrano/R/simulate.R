#' Simulate and analyse the tests of a run
#'
#' Makes the tests of a run and fits the delta model to each, as
#' `veltrano-batch simulate --seed` does: the same tests and the same estimates, bit for
#' bit. A test has `n` items of `k` alternatives; the examinee knows round(n * do / 100) of
#' them (a half rounds to even) and guesses the others.
#'
#' @param n items per test, 1 to 100000.
#' @param k alternatives per item, 2 to 10.
#' @param do the degree of knowledge in percent, 0 to 100 (the first one when `dmax` or
#'   `step` is given).
#' @param tests tests per degree, 1 to 10000.
#' @param seed the state of Veltrano's generator before the first draw, 0 to 4294967295.
#'   It decides every draw: R's `set.seed()` does not apply (see [veltrano-package]).
#' @param ci compute the 95 % test-inversion interval of Du.
#' @param dmax,step walk the degrees `do`, `do + step`, ... up to `dmax` (0 to 99; step 1
#'   to 10, 10 unless given), as the window's "Iterate".
#' @inheritParams vt_analyse
#' @return A list: `tables`, a k x k x N integer array of every test's observed table (test
#'   t is `tables[, , t]`), and `results`, a data frame with one row per test: `do` (the
#'   test's degree in percent), `do_star` (its realised degree of knowledge, the truth) and
#'   the columns of [vt_analyse()].
#' @examples
#' run <- vt_simulate(n = 20, k = 4, do = 10, tests = 20, seed = 1, dmax = 90, step = 10, jobs = 1)
#' run$tables[, , 1]
#' aggregate(cbind(du, dc, dln) ~ do_star, data = run$results, FUN = mean)
#' @export
vt_simulate <- function(n, k, do, tests, seed, ci = FALSE, dmax = NULL, step = NULL, tolerance = NULL,
                        max_iterations = NULL, jobs = NULL) {
  call <- sys.call()
  iterate <- if (!is.null(dmax) || !is.null(step)) TRUE
  settings <- settings_of(list(n = n, k = k, do = do, tests = tests, seed = seed, ci = flag(ci, "ci", call),
                               iterate = iterate, dmax = dmax, step = step, tolerance = tolerance,
                               max_iterations = max_iterations, jobs = jobs), call)
  raw <- checked(.simulate(settings$texts, settings$inexact), call)
  list(tables = raw$tables,
       results = frame_of(c(list(do = raw$do, do_star = raw$do_star), estimate_columns(raw))))
}

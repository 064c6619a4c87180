#' Run a simulation study
#'
#' Simulates every condition (n, k, do) of a design `replications` times and summarises
#' the estimates into bias, empirical SE, RMSE, MAE, model SE and interval coverage of Du,
#' Dc and D Lord & Novick, each with its Monte Carlo standard error, as `veltrano-batch
#' study` does: the same rows, bit for bit. Each replication is one test made and analysed
#' as [vt_simulate()] makes it. With the philox generator every replication draws from a
#' stream of its own, keyed by `seed`, the condition and the replication; with lcg
#' condition i draws from its own seed, derived from `seed` and i. Either way a condition's
#' tests do not depend on the rest of the design, on the shard that runs it or on the
#' number of threads.
#'
#' @param design the conditions, one per row: a data frame with the columns `n` (items, 1
#'   to 100000), `k` (alternatives, 2 to 10) and `do` (the degree of knowledge in percent, 0
#'   to 100), as `expand.grid(n = c(20, 50), k = 2:5, do = seq(0, 100, 10))` makes it (other
#'   columns are left alone), or the name of a design file (the header `n,k,do`, then one
#'   condition per line). The conditions are numbered in the design's order.
#' @param replications tests per condition, 1 to 10^7; `NULL` for the command line's default,
#'   1000.
#' @param seed the study's seed: with philox any whole number from 0 to
#'   18446744073709551615 (2^64 − 1), with lcg 0 to 4294967295. R's numbers hold whole
#'   numbers exactly only up to 2^53 = 9007199254740992, so a seed is either a number below
#'   that or a character string of its decimal digits (`"12345678901234567890"`), which
#'   takes any seed; a number at or above 2^53 is refused. `NULL` takes one from the clock (it is in the column `study_seed` and
#'   the attribute `seed`). It decides every draw: R's `set.seed()` does not apply, so that
#'   the same seed gives the command line's study on any machine and any number of threads
#'   (see [veltrano-package]).
#' @param generator `"philox"` (the default: every replication draws from a stream of its
#'   own) or `"lcg"` (the generator of [vt_simulate()]: condition i draws from the seed in
#'   its column `seed`, and `vt_simulate()` with that seed and the condition's n, k and do
#'   makes its tests), as `veltrano-batch study --generator`.
#' @param ci compute Du's 95 % test-inversion interval and its coverage (the interval costs
#'   about 20 times the rest of a test).
#' @param jobs threads, 1 to 256; `NULL` for every core. The rows are the same for any
#'   number.
#' @param shard `c(i, N)` (or `"i/N"`) runs only the conditions whose number is i modulo N,
#'   i from 1 to N; join the shards with [vt_merge()].
#' @param tests also return every test's row.
#' @param progress show a progress bar (the default when R runs interactively).
#' @inheritParams vt_analyse
#' @return A data frame with exactly the columns of `veltrano-batch study --out`, in their
#'   order: one row per condition and estimator (`Du`, `Dc`, `DLN`), the conditions in
#'   order; `NA` for an empty cell (a measure that does not apply to the estimator or has no
#'   value); counts are integer columns, and `estimator` and `study` character. The seeds
#'   (`seed`, `study_seed`) are double, except that a study whose seed is beyond 2^53 (only
#'   philox takes one) has them as character, their decimal digits, since no double holds
#'   them exactly. A philox study has a last column `generator` (`"philox"`); an lcg
#'   study's columns are those it always had. The study's seed is also its attribute `seed`
#'   (a double, or a string beyond 2^53), the generator its attribute `generator`. With
#'   `tests = TRUE`, a list of that data frame (`summary`) and the test rows (`tests`, the
#'   columns of `--tests-out`: condition, replication, do_star and the estimates).
#' @examples
#' design <- expand.grid(n = c(10, 40), k = 4, do = c(0, 50))
#' rows <- vt_study(design, replications = 200, seed = 7, jobs = 1)
#' rows[rows$estimator == "Du", c("n", "do", "bias", "bias_mcse", "rmse", "wald_coverage")]
#'
#' # Two shards, as two processes or two machines would run them, merged.
#' parts <- lapply(1:2, function(i) {
#'   vt_study(design, replications = 200, seed = 7, shard = c(i, 2), jobs = 1)
#' })
#' identical(vt_merge(parts), rows)
#' @export
vt_study <- function(design, replications = NULL, seed = NULL, generator = "philox", ci = FALSE, jobs = NULL,
                     shard = NULL, tests = FALSE, progress = interactive(), tolerance = NULL,
                     max_iterations = NULL) {
  call <- sys.call()
  design_path <- NULL
  design_text <- NULL
  if (is.character(design) && length(design) == 1L) {
    design_path <- path.expand(design)
  } else if (is.list(design)) {
    design_text <- design_text_of(design, call)
  } else {
    input_error("design must be a data frame with the columns n, k and do, or the name of a design file", call)
  }
  if (is.numeric(shard) && length(shard) == 2L) {
    shard <- paste(settings_of(list(shard = shard[1L]), call)$texts, settings_of(list(shard = shard[2L]), call)$texts,
                   sep = "/")
  } else if (!is.null(shard) && (!is.character(shard) || length(shard) != 1L)) {
    input_error(sprintf("shard must be c(i, N) or \"i/N\" (got %s)", deparse1(shard)), call)
  }
  if (!is.character(generator) || length(generator) != 1L || is.na(generator))
    input_error(sprintf("generator must be \"philox\" or \"lcg\" (got %s)", deparse1(generator)), call)
  settings <- settings_of(list(replications = replications, seed = seed, generator = generator,
                               ci = flag(ci, "ci", call), tolerance = tolerance, max_iterations = max_iterations,
                               shard = shard, jobs = jobs), call)
  progress <- flag(progress, "progress", call)
  bar <- NULL
  if (progress) {
    bar <- utils::txtProgressBar(min = 0, max = 1, style = 3)
    on.exit(close(bar), add = TRUE)
  }
  report <- if (is.null(bar)) NULL else function(conditions_done, conditions, tests_done, tests_total) {
    utils::setTxtProgressBar(bar, if (tests_total > 0) tests_done / tests_total else 1)
  }
  raw <- checked(.study(design_path, design_text, settings$texts, settings$inexact, flag(tests, "tests", call),
                        report), call)
  summary <- frame_of(raw$summary)
  attr(summary, "seed") <- raw$seed
  attr(summary, "generator") <- generator
  if (!tests) return(summary)
  list(summary = summary, tests = frame_of(raw$tests))
}

# The text of a design file holding the design's columns n, k and do (whole numbers as
# such, anything else as R writes it, for the compiled reader's messages).
design_text_of <- function(design, call) {
  columns <- names(design)
  at <- match(c("n", "k", "do"), tolower(columns))
  if (anyNA(at))
    input_error(sprintf("design: no column %s; a design has the columns n, k and do",
                        paste(c("n", "k", "do")[is.na(at)], collapse = ", ")), call)
  cell <- function(x) {
    if (is.factor(x)) x <- as.character(x)
    if (!is.numeric(x)) return(as.character(x))
    ifelse(!is.na(x) & is.finite(x) & x == round(x), sprintf("%.0f", x), as.character(x))
  }
  lines <- paste(cell(design[[at[1L]]]), cell(design[[at[2L]]]), cell(design[[at[3L]]]), sep = ",")
  paste0(c("n,k,do", lines), "\n", collapse = "")
}

#' Join the shards of a study
#'
#' Joins the summary rows of a study's shards into the rows of the whole study, as
#' `veltrano-batch study merge` does: the result is exactly what [vt_study()] gives for the
#' whole design with the same seed and options.
#'
#' @param shards the shards, in any order: a list of data frames returned by
#'   `vt_study(shard = )` (kept between R processes with `saveRDS()`: `write.csv()` keeps
#'   only 15 digits), and names of `--out` files written by `veltrano-batch study --shard`;
#'   or a character vector of such file names. Shards of different studies, and missing,
#'   repeated or unfinished conditions, raise an error. Shards of a study of either
#'   generator merge; a seed beyond 2^53 may be a character column, as [vt_study()] gives
#'   it.
#' @return The data frame of the whole study, as [vt_study()] returns it.
#' @examples
#' design <- expand.grid(n = 20, k = 3:4, do = c(20, 80))
#' parts <- lapply(1:3, function(i) {
#'   vt_study(design, replications = 100, seed = 1, shard = c(i, 3), jobs = 1)
#' })
#' whole <- vt_merge(parts)
#' nrow(whole) # 4 conditions, 3 estimators each
#'
#' # Shards saved by other R processes merge alike.
#' files <- file.path(tempdir(), paste0("part", 1:3, ".rds"))
#' for (i in 1:3) saveRDS(parts[[i]], files[i])
#' identical(vt_merge(lapply(files, readRDS)), whole)
#' @export
vt_merge <- function(shards) {
  call <- sys.call()
  if (is.data.frame(shards)) shards <- list(shards)
  if (is.character(shards)) shards <- as.list(shards)
  if (!is.list(shards)) input_error("shards must be a list of data frames or file names", call)
  names <- character(length(shards))
  texts <- character(length(shards))
  for (i in seq_along(shards)) {
    shard <- shards[[i]]
    if (is.character(shard) && length(shard) == 1L) {
      names[i] <- shard
      texts[i] <- checked(.read_text(path.expand(shard)), call)
    } else if (is.data.frame(shard)) {
      names[i] <- sprintf("shard %d", i)
      columns <- lapply(shard, function(x) if (is.factor(x)) as.character(x) else x)
      texts[i] <- checked(.frame_csv(columns, names[i]), call)
    } else {
      input_error(sprintf("shards: shard %d is neither a data frame nor a file name", i), call)
    }
  }
  merged <- frame_of(checked(.merge(names, texts), call))
  if (nrow(merged) > 0L) {
    attr(merged, "seed") <- merged$study_seed[1L]
    attr(merged, "generator") <- if (is.null(merged$generator)) "lcg" else merged$generator[1L]
  }
  merged
}

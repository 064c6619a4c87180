#' Fit the delta model to tables of counts
#'
#' Analyses observed k x k tables as `veltrano-batch analyse` does: rows are the position
#' of the correct answer, columns the position of the marked one.
#'
#' @param tables one k x k matrix of counts, a k x k x m array (table i is
#'   `tables[, , i]`), or a list of square matrices of any k. k runs from 2 to 10; every
#'   entry is a whole number from 0 to 1e15 and a table's total is positive and at most
#'   1e9. A table that breaks a rule raises an error naming it and the entry.
#' @param ci compute the 95 % test-inversion interval of Du.
#' @param tolerance,max_iterations the iterations' tolerance 10^-`tolerance` (2 to 15) and
#'   their limit (1 to 1000); `NULL` for the command line's defaults, 10 and 500.
#' @param jobs threads, 1 to 256; `NULL` for every core. The numbers are the same for any
#'   number.
#' @return A data frame, one row per table: `du`, `se_du`, `ci_lower`, `ci_upper`, `dc`,
#'   `se_dc`, `dln`, `code`, `code2` (see [veltrano-package]), the guessing probabilities
#'   `pi_1` ... `pi_k` when every table has the same k (otherwise a list column `pi`), and
#'   `error`, the message of an analysis that failed (otherwise `NA`). `NA` where a value is
#'   undefined; a standard error is undefined where the fitted model fails its check.
#' @examples
#' # 30 items of 3 alternatives: the correct position (rows) against the marked one.
#' table <- matrix(c(8, 1, 1,
#'                   2, 7, 1,
#'                   1, 1, 8), nrow = 3, byrow = TRUE)
#' vt_analyse(table, ci = TRUE, jobs = 1)
#'
#' # Tables of different sizes in a list.
#' vt_analyse(list(table, matrix(c(3, 2, 2, 3), 2)), jobs = 1)
#' @export
vt_analyse <- function(tables, ci = FALSE, tolerance = NULL, max_iterations = NULL, jobs = NULL) {
  call <- sys.call()
  settings <- settings_of(list(ci = flag(ci, "ci", call), tolerance = tolerance, max_iterations = max_iterations,
                               jobs = jobs), call)
  if (is.list(tables) && !is.data.frame(tables)) {
    for (i in seq_along(tables)) {
      d <- dim(tables[[i]])
      if (length(d) != 2L || d[1L] != d[2L])
        input_error(sprintf("table %d: a table must be a square matrix (got %s)", i, shape(tables[[i]])), call)
      if (!is.numeric(as.matrix(tables[[i]])))
        input_error(sprintf("table %d: the entries must be numbers (got %s)", i, typeof(as.matrix(tables[[i]]))), call)
    }
    ks <- vapply(tables, nrow, 1L)
    cells <- as.double(unlist(lapply(tables, function(t) as.matrix(t)), use.names = FALSE))
  } else {
    if (is.data.frame(tables)) tables <- as.matrix(tables)
    d <- dim(tables)
    if (!(length(d) %in% 2:3) || d[1L] != d[2L])
      input_error(sprintf("tables must be a k x k matrix, a k x k x m array or a list of them (got %s)",
                          shape(tables)), call)
    if (!is.numeric(tables))
      input_error(sprintf("tables: the entries must be numbers (got %s)", typeof(tables)), call)
    ks <- rep.int(d[1L], if (length(d) == 3L) d[3L] else 1L)
    cells <- as.double(tables)
  }
  raw <- checked(.analyse_tables(cells, ks, settings$texts, settings$inexact), call)
  frame_of(estimate_columns(raw))
}

# The estimate columns of the compiled code as the user sees them: the guessing
# probabilities as pi_1 ... pi_k, or a list column pi when the k differ.
estimate_columns <- function(raw) {
  out <- raw[c("du", "se_du", "ci_lower", "ci_upper", "dc", "se_dc", "dln", "code", "code2")]
  ks <- raw$k
  if (length(ks) > 0L && all(ks == ks[1L])) {
    pi <- matrix(raw$pi, ncol = ks[1L], byrow = TRUE)
    for (j in seq_len(ks[1L])) out[[paste0("pi_", j)]] <- pi[, j]
  } else if (length(ks) > 0L) {
    out$pi <- unname(split(raw$pi, rep.int(seq_along(ks), ks)))
  }
  out$error <- raw$error
  out
}

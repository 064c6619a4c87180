#' veltrano: simulate multiple-choice tests and fit the delta model
#'
#' The delta model says that an examinee knows an item with probability delta (the degree
#' of knowledge) and otherwise guesses, marking alternative j with probability pi_j.
#' Tallying a test by the position of the correct answer (rows) and of the marked one
#' (columns) gives a k x k table. The package runs the same compiled jobs as the
#' `veltrano-batch` command line and gives the same numbers, bit for bit, as data frames:
#'
#' - [vt_analyse()] fits the model to tables of counts (`veltrano-batch analyse`);
#' - [vt_simulate()] makes and analyses the tests of a run (`veltrano-batch simulate`);
#' - [vt_study()] runs a simulation study over a design of conditions (`veltrano-batch
#'   study`), and [vt_merge()] joins its shards (`veltrano-batch study merge`);
#' - [vt_responses()] analyses every examinee of an exam's answer sheet
#'   (`veltrano-batch analyse --responses`).
#'
#' @section Estimates: `du` is the maximum-likelihood estimate of delta, `se_du` its
#'   standard error, `ci_lower` and `ci_upper` its 95 % test-inversion interval (with
#'   `ci = TRUE`), `dc` the conditioned estimate and `se_dc` its standard error, `dln` the
#'   correction for guessing of Lord and Novick, and `code`, `code2` the problem codes of the
#'   table and of the table with 0.5 added to every cell. A value the analysis cannot
#'   compute is `NA`.
#'
#' @section Threads and interrupts: the work runs on every core (`jobs` to choose; the
#'   numbers are the same for any number of threads) while R waits. Esc or Ctrl-C ends it
#'   after the test, condition or table under way, within about a second, and raises R's
#'   interrupt; nothing is left running. The threads are oneTBB's where RcppParallel brings
#'   oneTBB (otherwise the standard library's): run parallel work in
#'   separate R processes (`Rscript`, a PSOCK cluster) rather than in processes forked from
#'   one that has already called a veltrano function.
#'
#' @section Errors: bad input raises an error of class `veltrano_input_error` with the
#'   command line's message (`table 2: entry (2, 1) = 2.5 is not a whole number; an entry
#'   must be a count`); a file that cannot be read one of class `veltrano_file_error`; both
#'   inherit from `veltrano_error`, and carry `file`, `line` and `column` where known.
#'
#' @section Seeds: the tests are drawn from Veltrano's own generator, the one the command
#'   line and the window use, not from R's: `set.seed()` changes nothing. The `seed` argument
#'   decides every draw, so that the same seed gives the same tests as `veltrano-batch` on any
#'   machine and any number of threads, and a study's shards, run anywhere, add up to the
#'   study a single run gives.
#'
#' @keywords internal
#' @useDynLib veltrano, .registration = TRUE
#' @importFrom Rcpp evalCpp
#' @importFrom RcppParallel RcppParallelLibs
"_PACKAGE"

# Raises the error a compiled function handed back (a condition of class veltrano_error)
# from the call the user made; any other value is handed back as it is.
checked <- function(value, call) {
  if (inherits(value, "veltrano_error")) {
    value$call <- call
    stop(value)
  }
  value
}

# Raises a veltrano_input_error about the user's arguments.
input_error <- function(message, call) {
  stop(structure(class = c("veltrano_input_error", "veltrano_error", "error", "condition"),
                 list(message = message, call = call, kind = "usage", file = NA_character_,
                      line = NA_real_, column = NA_integer_)))
}

# The settings for the compiled code, by the settings' names (the arguments' names with "-"
# for "_"): the text of each value given (NULL ones left out), which the compiled code checks
# and refuses in the command line's words; and, for each, whether it came as a number at or
# above 2^53, which a double does not hold exactly (the check then asks for a string).
# Whole numbers are written with every digit, others as R prints them ("2.5", refused as no
# whole number); character values pass as they are (lists, seeds as strings); TRUE and FALSE
# are switches.
settings_of <- function(values, call) {
  values <- values[!vapply(values, is.null, TRUE)]
  texts <- character(length(values))
  inexact <- logical(length(values))
  for (i in seq_along(values)) {
    x <- values[[i]]
    name <- names(values)[i]
    if (length(x) != 1L || is.na(x)) {
      input_error(sprintf("%s must be one value (got %s)", name, deparse1(x)), call)
    } else if (is.logical(x)) {
      texts[i] <- if (x) "1" else "0"
    } else if (is.numeric(x)) {
      if (!is.finite(x)) input_error(sprintf("%s must be a whole number (got %s)", name, deparse1(x)), call)
      texts[i] <- if (x == round(x)) sprintf("%.0f", x) else as.character(x)
      inexact[i] <- abs(x) >= 2^53
    } else if (is.character(x)) {
      texts[i] <- enc2utf8(x)
    } else {
      input_error(sprintf("%s must be a number or a text (got %s)", name, deparse1(x)), call)
    }
  }
  names(texts) <- gsub("_", "-", names(values), fixed = TRUE)
  list(texts = texts, inexact = inexact)
}

# TRUE or FALSE.
flag <- function(x, name, call) {
  if (!is.logical(x) || length(x) != 1L || is.na(x))
    input_error(sprintf("%s must be TRUE or FALSE (got %s)", name, deparse1(x)), call)
  x
}

# A data frame of the compiled code's named list of columns.
frame_of <- function(columns) {
  list2DF(columns)
}

# The shape of x for messages: "3 x 4", or "a vector of 5".
shape <- function(x) {
  d <- dim(x)
  if (is.null(d)) sprintf("a vector of %d", length(x)) else paste(d, collapse = " x ")
}

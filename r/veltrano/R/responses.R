#' Analyse an exam's answer sheet
#'
#' Tallies every examinee's answers into the k x k table of the delta model and analyses
#' it, as `veltrano-batch analyse --responses` does, then the pooled table of every
#' examinee (the row `ALL`).
#'
#' @param sheet the name of a sheet file (CSV or tab-separated: the id, then one mark per
#'   item, a letter A to J or a number 1 to 10, empty or one of `*`, `-`, `.` for an
#'   omission; a row whose id is `KEY` holds the key; a first row whose id is `id` is a
#'   header), or the marks themselves: a data frame or a character matrix, ids in the first
#'   column, one row per examinee (a data frame's names, or a matrix's column names, are
#'   taken for the header; `NA` is an omission).
#' @param key the key, when the sheet has no `KEY` row: a text (`"ABDCA"`, `"A,B,D,C,A"`),
#'   a vector of alternatives (`c("A", "B", "D")`, `c(1, 2, 4)`), or the name of a key file.
#' @param k alternatives per item, 2 to 10; `NULL` takes the largest in the key and the
#'   marks (at least 2).
#' @inheritParams vt_analyse
#' @return A data frame with the columns of `analyse --responses --out`: `id`, `items`,
#'   `answered`, `omitted`, `right`, `dln`, `du`, `se_du`, `ci_lower`, `ci_upper`, `dc`,
#'   `se_dc`, `code`, `code2`, `error`; one row per examinee in the sheet's order, the pooled
#'   row `ALL` last; `NA` where a value is undefined (`error` holds the message when an
#'   examinee could not be analysed). An omitted item is left out of the examinee's table.
#'   Its attribute `favoured` names the positions the examinees' guesses favour far above
#'   1/k on the pooled table (a sentence each, also shown as a message), or is `NULL`. A
#'   sheet that breaks a rule raises an error naming its line and column.
#' @examples
#' sheet <- system.file("extdata", "exam-sheet.csv", package = "veltrano")
#' results <- vt_responses(sheet, ci = TRUE, jobs = 1)
#' head(results[, c("id", "right", "du", "ci_lower", "ci_upper", "dln")])
#' results[results$id == "ALL", ]
#'
#' # Marks held in R, the key given apart.
#' marks <- data.frame(id = c("ana", "bo", "cy"),
#'                     q1 = c("A", "A", "B"), q2 = c("C", "B", "C"), q3 = c("D", "D", NA))
#' vt_responses(marks, key = "ACD", k = 4, jobs = 1)
#' @export
vt_responses <- function(sheet, key = NULL, k = NULL, ci = FALSE, jobs = NULL) {
  call <- sys.call()
  key_file <- NULL
  if (!is.null(key)) {
    if (!(is.character(key) || is.numeric(key)) || length(key) == 0L || anyNA(key))
      input_error("key must be a text, a vector of alternatives or the name of a key file", call)
    if (length(key) > 1L) {
      key <- paste(mark_text(key), collapse = ",")
    } else if (is.character(key) && (file.exists(key) || grepl("[/.]", key))) {
      # The name of a key file (one that is there, or a text holding '/' or '.', which no key
      # holds, so that a missing file is said to be missing).
      key_file <- path.expand(key)
      key <- NULL
    } else {
      key <- mark_text(key)
    }
  }
  settings <- settings_of(list(key = key, key_file = key_file, k = k, ci = flag(ci, "ci", call), jobs = jobs), call)
  if (is.character(sheet) && length(sheet) == 1L && is.null(dim(sheet))) {
    raw <- .responses(path.expand(sheet), NULL, "", settings$texts, settings$inexact)
  } else if (is.data.frame(sheet) || is.matrix(sheet)) {
    raw <- .responses(NULL, sheet_text(sheet), "the sheet", settings$texts, settings$inexact)
  } else {
    input_error("sheet must be the name of a sheet file, a data frame or a character matrix of marks", call)
  }
  raw <- checked(raw, call)
  results <- frame_of(raw$results)
  favoured <- raw$favoured
  attr(results, "favoured") <- if (length(favoured) > 0L) favoured else NULL
  for (line in favoured) message(line)
  results
}

# A mark or id as text: whole numbers without decimals, NA as an empty cell.
mark_text <- function(x) {
  if (is.factor(x)) x <- as.character(x)
  text <- if (is.numeric(x)) ifelse(is.finite(x) & x == round(x), sprintf("%.0f", x), as.character(x)) else
    as.character(x)
  text[is.na(x)] <- ""
  enc2utf8(text)
}

# The CSV text of a table of marks, its names (if any) as the header "id,...".
sheet_text <- function(sheet) {
  columns <- if (is.data.frame(sheet)) as.list(sheet) else lapply(seq_len(ncol(sheet)), function(j) sheet[, j])
  header <- if (is.data.frame(sheet)) names(sheet) else colnames(sheet)
  cells <- lapply(columns, function(x) csv_cell(mark_text(x)))
  rows <- if (length(cells) > 0L) do.call(paste, c(cells, sep = ",")) else character(0)
  if (!is.null(header) && length(header) > 0L) rows <- c(paste(c("id", csv_cell(enc2utf8(header[-1L]))), collapse = ","), rows)
  paste0(rows, "\n", collapse = "")
}

# A cell quoted as CSV quotes it where it holds a comma, a quote or a line end.
csv_cell <- function(x) {
  quote <- grepl("[\",\r\n]", x)
  x[quote] <- paste0("\"", gsub("\"", "\"\"", x[quote], fixed = TRUE), "\"")
  x
}

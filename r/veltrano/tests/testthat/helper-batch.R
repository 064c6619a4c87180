# The command line's outputs (batch/, made by scripts/r-test-data.sh) and the comparison
# with them: every cell as the command line writes it, numbers with 17 significant digits
# (which R prints exactly, whereas reading them back could miss the last bit), an empty
# cell for NA.

batch_file <- function(name) test_path("batch", name)

# The rows of a CSV file the command line wrote, every cell as text.
batch_rows <- function(name) {
  utils::read.csv(batch_file(name), colClasses = "character", na.strings = character(0), check.names = FALSE)
}

# A column as the command line writes it.
as_batch_text <- function(x) {
  text <- if (is.character(x)) x else if (is.integer(x)) as.character(x) else sprintf("%.17g", x)
  text[is.na(x)] <- ""
  text
}

# Every cell of the frame is the command line's, in the same columns and order.
expect_batch_rows <- function(frame, rows) {
  expect_identical(lapply(frame, as_batch_text), as.list(rows))
}

example_sheet <- function() system.file("extdata", "exam-sheet.csv", package = "veltrano")

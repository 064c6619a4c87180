# The tables of batch/tables.txt, as R matrices.
batch_tables <- function() {
  lines <- readLines(batch_file("tables.txt"))
  blocks <- split(lines[lines != ""], cumsum(lines == "")[lines != ""])
  unname(lapply(blocks, function(rows) do.call(rbind, lapply(strsplit(rows, " "), as.numeric))))
}

test_that("vt_analyse gives the command line's estimates, on any number of threads", {
  expected <- batch_rows("analyse.csv")
  tables <- batch_tables()
  # NULL is every core: tried where that is at most two, as CRAN's checks allow no more.
  every_core <- if (parallel::detectCores() <= 2) list(NULL) else list()
  for (jobs in c(list(1, 2), every_core)) {
    got <- vt_analyse(tables, ci = TRUE, jobs = jobs)
    expect_identical(names(got), c("du", "se_du", "ci_lower", "ci_upper", "dc", "se_dc", "dln", "code", "code2",
                                   "pi", "error"))
    expect_batch_rows(got[1:9], expected[1:9])
    expect_identical(vapply(got$pi, function(p) paste(as_batch_text(p), collapse = ";"), ""), expected$pi)
    expect_identical(got$error, rep(NA_character_, 6))
  }
})

test_that("one matrix, a k x k x m array and a list of one k give the same frame", {
  tables <- batch_tables()
  one <- vt_analyse(tables[[1]], ci = TRUE, jobs = 2)
  expect_identical(names(one)[10:12], c("pi_1", "pi_2", "pi_3"))
  expect_identical(one$du, vt_analyse(tables, ci = TRUE, jobs = 2)$du[1])
  stacked <- array(c(tables[[1]], tables[[2]]), dim = c(3, 3, 2))
  expect_identical(vt_analyse(stacked, jobs = 2), vt_analyse(tables[1:2], jobs = 2))
  expect_identical(vt_analyse(as.data.frame(tables[[1]]), jobs = 2), vt_analyse(tables[[1]], jobs = 2))
  expect_identical(nrow(vt_analyse(list(), jobs = 2)), 0L)
})

test_that("bad tables and arguments raise input errors with the command line's message", {
  cases <- list(
    list(quote(vt_analyse(matrix(c(3, 2.5, 1, 4), 2))),
         "table 1: entry (2, 1) = 2.5 is not a whole number; an entry must be a count"),
    list(quote(vt_analyse(list(diag(2), matrix(0, 2, 2)))), "table 2: every entry is 0; a table needs a positive total"),
    list(quote(vt_analyse(matrix(c(1, NA, 1, 1), 2))), "table 1: entry (2, 1) is not a finite number"),
    list(quote(vt_analyse(matrix(1, 1, 1))), "table 1: 1 classes; a table has 2 to 10"),
    list(quote(vt_analyse(matrix(1:6, 2))), "tables must be a k x k matrix, a k x k x m array or a list of them (got 2 x 3)"),
    list(quote(vt_analyse(list(diag(2), 1:3))), "table 2: a table must be a square matrix (got a vector of 3)"),
    list(quote(vt_analyse(diag(2), tolerance = 1)), "tolerance: 1 is out of range; the value must be from 2 to 15"),
    list(quote(vt_analyse(diag(2), jobs = 0)), "jobs: 0 is out of range; the value must be from 1 to 256"),
    list(quote(vt_analyse(diag(2), jobs = 1.5)), 'jobs: "1.5" is not a whole number'),
    list(quote(vt_analyse(diag(2), ci = NA)), "ci must be TRUE or FALSE (got NA)")
  )
  for (case in cases) {
    error <- expect_error(eval(case[[1]]), class = "veltrano_input_error")
    expect_identical(conditionMessage(error), case[[2]])
    expect_identical(error$call, case[[1]])
  }
})

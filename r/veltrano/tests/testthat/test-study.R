# The study of batch/study.csv: n 10, 20; k 2, 3; do 0, 50 (n outermost, then k, then do).
grid <- function() expand.grid(do = c(0, 50), k = 2:3, n = c(10, 20))

test_that("vt_study gives the command line's rows and test rows", {
  got <- vt_study(grid(), replications = 40, seed = 9, ci = TRUE, tests = TRUE, jobs = 2, progress = FALSE)
  expect_batch_rows(got$summary, batch_rows("study.csv"))
  expect_batch_rows(got$tests, batch_rows("study-tests.csv"))
  expect_identical(attr(got$summary, "seed"), 9)
  expect_type(got$summary$seed, "double")  # seeds pass R's integers
  expect_type(got$summary$wald_covered, "integer")
})

test_that("a design file, the design's column order and any number of threads give the same study", {
  whole <- vt_study(grid(), replications = 40, seed = 9, ci = TRUE, jobs = 1, progress = FALSE)
  file <- tempfile(fileext = ".csv")
  writeLines(c("n,k,do", "10,2,0", "10,2,50", "10,3,0", "10,3,50", "20,2,0", "20,2,50", "20,3,0", "20,3,50"), file)
  expect_identical(vt_study(file, replications = 40, seed = 9, ci = TRUE, progress = FALSE), whole)
  expect_identical(vt_study(grid()[c("n", "k", "do")], replications = 40, seed = 9, ci = TRUE, progress = FALSE),
                   whole)
})

test_that("shards, from R or from the command line, merge into the whole study", {
  whole <- vt_study(grid(), replications = 40, seed = 9, ci = TRUE, progress = FALSE)
  parts <- lapply(c(3, 1, 2), function(i) vt_study(grid(), replications = 40, seed = 9, ci = TRUE, shard = c(i, 3)))
  expect_identical(vt_merge(parts), whole)
  files <- vapply(c(2, 3, 1), function(i) batch_file(sprintf("part%d.csv", i)), "")
  expect_identical(vt_merge(files), whole)
  expect_identical(vt_merge(list(parts[[1]], files[[3]], vt_study(grid(), 40, 9, ci = TRUE, shard = "2/3"))), whole)
  expect_error(vt_merge(parts[1:2]), "condition", class = "veltrano_input_error")
})

test_that("a progress bar ends full", {
  output <- capture.output(rows <- vt_study(grid(), replications = 10, seed = 1, progress = TRUE))
  expect_match(output[length(output)], "100%", fixed = TRUE)
})

test_that("bad designs and options raise input errors naming what is wrong", {
  cases <- list(
    list(quote(vt_study(data.frame(n = 10, k = 4))), "design: no column do; a design has the columns n, k and do"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10.5))), "the design, line 2: column do:"),
    list(quote(vt_study(data.frame(n = 10, k = 12, do = 10))), "the design, line 2: column k:"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), replications = 0)),
         "replications must be between 1 and 10000000 (got 0)"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), shard = c(3, 2))), "--shard: \"3/2\""),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), seed = 2^32)),
         "seed must be between 0 and 4294967295 (got 4294967296)"),
    list(quote(vt_study(42)), "design must be a data frame with the columns n, k and do, or the name of a design file")
  )
  for (case in cases) {
    error <- expect_error(eval(case[[1]]), class = "veltrano_input_error")
    expect_true(startsWith(conditionMessage(error), case[[2]]), label = conditionMessage(error))
  }
  expect_error(vt_study("/no/such/design.csv"), "cannot read /no/such/design.csv", fixed = TRUE,
               class = "veltrano_file_error")
  expect_error(vt_merge("/no/such/part.csv"), "cannot read /no/such/part.csv", fixed = TRUE,
               class = "veltrano_file_error")
})

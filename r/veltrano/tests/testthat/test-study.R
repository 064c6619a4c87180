# The studies of batch/study-*.csv: n 10, 20; k 2, 3; do 0, 50 (n outermost, then k, then do).
grid <- function() expand.grid(do = c(0, 50), k = 2:3, n = c(10, 20))
big_seed <- "18446744073709551557"  # beyond 2^53: only a string holds it

test_that("vt_study gives the command line's rows and test rows with either generator", {
  cases <- list(  # the command line's files (and whether it wrote test rows), generator, seed, the seeds' type
    list(file = "study-philox", tests = TRUE, generator = "philox", seed = big_seed, type = "character"),
    list(file = "study-philox-2-32", tests = FALSE, generator = "philox", seed = 2^32 + 9, type = "double"),
    list(file = "study-lcg", tests = TRUE, generator = "lcg", seed = 9, type = "double")
  )
  for (case in cases) {
    got <- vt_study(grid(), replications = 40, seed = case$seed, generator = case$generator, ci = TRUE,
                    tests = case$tests, jobs = 2, progress = FALSE)
    summary <- if (case$tests) got$summary else got
    expect_batch_rows(summary, batch_rows(paste0(case$file, ".csv")))
    if (case$tests) expect_batch_rows(got$tests, batch_rows(paste0(case$file, "-tests.csv")))
    expect_identical(attributes(summary)[c("seed", "generator")], case[c("seed", "generator")])
    expect_type(summary$seed, case$type)
    expect_type(summary$study_seed, case$type)
    expect_type(summary$wald_covered, "integer")
  }
})

test_that("a study seeded from the clock is made again with the seed it reports", {
  for (generator in c("philox", "lcg")) {
    first <- vt_study(grid(), replications = 10, generator = generator, jobs = 2, progress = FALSE)
    # A 64-bit seed for philox (wrong once in 2^32), mostly beyond 2^53 and then a string.
    expect_identical(as.numeric(attr(first, "seed")) >= 2^32, generator == "philox")
    expect_identical(vt_study(grid(), 10, attr(first, "seed"), generator, jobs = 2, progress = FALSE), first)
  }
})

test_that("a design file, the design's column order and any number of threads give the same study", {
  whole <- vt_study(grid(), replications = 40, seed = 9, ci = TRUE, jobs = 1, progress = FALSE)
  file <- tempfile(fileext = ".csv")
  writeLines(c("n,k,do", "10,2,0", "10,2,50", "10,3,0", "10,3,50", "20,2,0", "20,2,50", "20,3,0", "20,3,50"), file)
  expect_identical(vt_study(file, replications = 40, seed = 9, ci = TRUE, jobs = 2, progress = FALSE), whole)
  expect_identical(vt_study(grid()[c("n", "k", "do")], replications = 40, seed = 9, ci = TRUE, jobs = 2, progress = FALSE),
                   whole)
})

test_that("shards, from R or from the command line, merge into the whole study", {
  whole <- vt_study(grid(), replications = 40, seed = big_seed, generator = "philox", ci = TRUE, jobs = 2,
                    progress = FALSE)
  parts <- lapply(c(3, 1, 2), function(i) {
    vt_study(grid(), replications = 40, seed = big_seed, generator = "philox", ci = TRUE, jobs = 2, shard = c(i, 3))
  })
  expect_identical(vt_merge(parts), whole)
  files <- vapply(c(2, 3, 1), function(i) batch_file(sprintf("part%d.csv", i)), "")
  expect_identical(vt_merge(files), whole)
  expect_identical(vt_merge(list(parts[[1]], files[[3]], vt_study(grid(), 40, big_seed, ci = TRUE, jobs = 2, shard = "2/3"))),
                   whole)
  expect_error(vt_merge(parts[1:2]), "condition", class = "veltrano_input_error")
  # An lcg study's shards, whose seeds are numbers.
  lcg <- lapply(1:2, function(i) vt_study(grid(), 40, 9, "lcg", jobs = 2, shard = c(i, 2), progress = FALSE))
  expect_identical(vt_merge(lcg), vt_study(grid(), 40, 9, "lcg", jobs = 2, progress = FALSE))
})

test_that("a progress bar ends full", {
  output <- capture.output(rows <- vt_study(grid(), replications = 10, seed = 1, jobs = 2, progress = TRUE))
  expect_match(output[length(output)], "100%", fixed = TRUE)
})

test_that("bad designs and options raise input errors naming what is wrong", {
  cases <- list(
    list(quote(vt_study(data.frame(n = 10, k = 4))), "design: no column do; a design has the columns n, k and do"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10.5))), "the design, line 2: column do:"),
    list(quote(vt_study(data.frame(n = 10, k = 12, do = 10))), "the design, line 2: column k:"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), replications = 0)),
         "replications: 0 is out of range; the value must be from 1 to 10000000"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), shard = c(1, 2.6))), "shard: \"1/2.6\" is not I/N"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), shard = c(3, 2))), "shard: \"3/2\""),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), seed = 2^32, generator = "lcg")),
         "seed: 4294967296 is out of range; the lcg generator takes seeds from 0 to 4294967295"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), seed = "4294967296", generator = "lcg")),
         "seed: 4294967296 is out of range"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), generator = "Philox")),
         "generator: \"Philox\" is neither philox nor lcg"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), seed = 2^60)),
         "seed: 1152921504606846976 is at or above 2^53 = 9007199254740992, where a number does not hold every"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), seed = 2^53 + 2)),
         "seed: 9007199254740994 is at or above 2^53"),
    list(quote(vt_study(data.frame(n = 10, k = 4, do = 10), seed = "18446744073709551616")),
         "seed: 18446744073709551616 is out of range; the value must be from 0 to 18446744073709551615"),
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

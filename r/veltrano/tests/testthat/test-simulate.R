test_that("vt_simulate makes the command line's tests and estimates", {
  run <- vt_simulate(15, 3, 20, 4, seed = 5, dmax = 40, step = 10, ci = TRUE, jobs = 2)
  # Each test's table is the data line's cells (row by row), its degree the run's.
  data <- utils::read.delim(batch_file("simulate-data.txt"), check.names = FALSE)
  cells <- as.matrix(data[, 2:10])
  expect_identical(dim(run$tables), c(3L, 3L, 12L))
  expect_equal(t(apply(run$tables, 3, function(x) as.vector(t(x)))), unname(cells), ignore_attr = TRUE)
  expect_identical(run$results$do, rep(c(20L, 30L, 40L), each = 4))
  # Do*, Du, Dc and D Lord & Novick are the chart's points.
  points <- batch_rows("simulate-points.csv")
  series <- function(name) points[points$series == name, ]
  expect_identical(as_batch_text(run$results$do_star), series("sDLN")$x)
  expect_identical(as_batch_text(run$results$du), series("sPoint_DSEM")$y)
  expect_identical(as_batch_text(run$results$dc), series("sPoint_Dcond")$y)
  expect_identical(as_batch_text(run$results$dln), series("sDLN")$y)
  # The tables analysed again give the run's estimates.
  estimates <- setdiff(names(run$results), c("do", "do_star"))
  expect_identical(vt_analyse(run$tables, ci = TRUE, jobs = 2), run$results[estimates])
})

test_that("an lcg study's condition is vt_simulate with the condition's seed", {
  rows <- batch_rows("study-lcg-tests.csv")
  summary <- batch_rows("study-lcg.csv")
  condition <- summary[summary$condition == "7" & summary$estimator == "Du", ]
  run <- vt_simulate(as.numeric(condition$n), as.numeric(condition$k), as.numeric(condition$do), tests = 40,
                     seed = as.numeric(condition$seed), ci = TRUE, jobs = 2)
  expected <- rows[rows$condition == "7", c("do_star", "du", "se_du", "ci_lower", "ci_upper", "dc", "se_dc", "dln",
                                             "code", "code2")]
  rownames(expected) <- NULL
  expect_batch_rows(run$results[names(expected)], expected)
})

test_that("vt_simulate checks its settings as the command line does", {
  expect_error(vt_simulate(0, 4, 50, 10, seed = 1), "n: 0 is out of range; the value must be from 1 to 100000", fixed = TRUE,
               class = "veltrano_input_error")
  expect_error(vt_simulate(10, 11, 50, 10, seed = 1), "k: 11 is out of range; the value must be from 2 to 10", fixed = TRUE)
  expect_error(vt_simulate(10, 4, 50, 10, seed = -1), "seed: -1 is out of range; the value must be from 0 to 4294967295", fixed = TRUE)
  expect_error(vt_simulate(10, 4, 50, 10, seed = 1, step = 20), "step: 20 is out of range; the value must be from 1 to 10", fixed = TRUE)
})

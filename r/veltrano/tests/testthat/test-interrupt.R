test_that("an interrupt ends a long study within about a second, and R goes on", {
  skip_on_os("windows")
  # An Rscript of its own runs the study; the interrupt is its SIGINT, as Ctrl-C sends it.
  script <- tempfile(fileext = ".R")
  out <- tempfile()
  writeLines(c(
    sprintf("library(veltrano, lib.loc = %s)", deparse(dirname(find.package("veltrano")))),
    "design <- expand.grid(n = c(100, 200), k = 2:10, do = 0:100)",
    "cat('started\\n')",
    "status <- tryCatch(vt_study(design, replications = 1e5, seed = 1, jobs = 2, progress = FALSE),",
    "                   interrupt = function(e) sprintf('interrupted at %.3f', as.numeric(Sys.time())))",
    "cat(status, '\\n', vt_analyse(diag(2), jobs = 2)$code, '\\n', sep = '')"
  ), script)
  rscript <- file.path(R.home("bin"), "Rscript")
  pid <- as.integer(system2("sh", c("-c", shQuote(sprintf("'%s' --vanilla '%s' > '%s' 2>&1 & echo $!", rscript,
                                                          script, out))), stdout = TRUE))
  lines <- function() if (file.exists(out)) readLines(out, warn = FALSE) else character(0)
  wait_for <- function(done, seconds) {
    limit <- Sys.time() + seconds
    while (!done() && Sys.time() < limit) Sys.sleep(0.05)
  }
  wait_for(function() "started" %in% lines(), 60)
  expect_true("started" %in% lines(), label = paste(lines(), collapse = "\n"))
  Sys.sleep(1)  # well into the study's first conditions
  asked <- as.numeric(Sys.time())
  tools::pskill(pid, tools::SIGINT)
  wait_for(function() "122" %in% lines(), 30)
  tools::pskill(pid)  # in case it did not stop
  output <- lines()
  expect_identical(output[length(output)], "122")  # the next job runs
  stopped <- as.numeric(sub("^interrupted at ", "", grep("^interrupted at ", output, value = TRUE)))
  expect_length(stopped, 1)
  expect_lt(stopped - asked, 1.5)
})

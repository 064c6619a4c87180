test_that("vt_responses gives the command line's results and its note on favoured positions", {
  expected <- batch_rows("responses.csv")
  notes <- readLines(batch_file("responses-notes.txt"))
  expect_message(got <- vt_responses(example_sheet(), ci = TRUE, jobs = 2), notes, fixed = TRUE)
  expect_batch_rows(got, expected)
  expect_identical(attr(got, "favoured"), notes)
  # The marks as a data frame, ids in the first column and the key among the rows, and as a
  # character matrix without its header.
  marks <- utils::read.csv(example_sheet(), colClasses = "character")
  expect_identical(suppressMessages(vt_responses(marks, ci = TRUE, jobs = 2)), got)
  expect_identical(suppressMessages(vt_responses(unname(as.matrix(marks)), ci = TRUE, jobs = 2)), got)
  # The key given apart, as text and as a vector.
  key <- unlist(marks[marks$id == "KEY", -1])
  examinees <- marks[marks$id != "KEY", ]
  expect_identical(suppressMessages(vt_responses(examinees, key = paste(key, collapse = ""), ci = TRUE, jobs = 2)), got)
  expect_identical(suppressMessages(vt_responses(examinees, key = key, k = 4, ci = TRUE, jobs = 2)), got)
})

test_that("a sheet without a favoured position has none", {
  marks <- data.frame(id = c("KEY", "ana", "bo"), q1 = c("A", "A", "B"), q2 = c("B", "B", NA))
  expect_silent(got <- vt_responses(marks, jobs = 2))
  expect_null(attr(got, "favoured"))
  expect_identical(got$id, c("ana", "bo", "ALL"))
  expect_identical(got$omitted, c(0L, 1L, 1L))
})

test_that("bad sheets raise errors naming the line and column", {
  error <- expect_error(vt_responses(matrix(c("KEY", "ana", "A", "A", "B", "Z"), 2)), class = "veltrano_input_error")
  expect_match(conditionMessage(error), 'the sheet: line 2, column 3: "Z" is not an alternative', fixed = TRUE)
  expect_identical(c(error$line, error$column), c(2, 3))
  expect_error(vt_responses("/no/such/sheet.csv"), "cannot read /no/such/sheet.csv: No such file or directory",
               fixed = TRUE, class = "veltrano_file_error")
  expect_error(vt_responses(data.frame(id = "ana", q1 = "A")), "no key before the first examinee",
               class = "veltrano_input_error")
  expect_error(vt_responses(example_sheet(), k = 1), "k: 1 is out of range; the value must be from 2 to 10", fixed = TRUE)
  # The command line's hint, with R's spelling of the argument.
  expect_error(vt_responses(matrix(c("KEY", "ana", "A", "A", "B", "E"), 2)),
               "give k = 5 if the items have 5 alternatives", fixed = TRUE, class = "veltrano_input_error")
})

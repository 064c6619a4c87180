library(testthat)
library(veltrano)

test_check("veltrano")

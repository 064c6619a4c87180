# The worked example of docs/guide/studies.md in R: does Du's 95 % test-inversion interval cover 95 % at
# k = 4? The same study as `veltrano-batch study --n 10,20,50,100,200,400 --k 4 --do 0:90:10
# --replications 10000 --ci --seed 20261210` (docs/studies/example.csv, cell for cell), its
# coverage table, and the plot docs/r/coverage.png.
#   Rscript docs/r/coverage.R
library(veltrano)
library(ggplot2)

# n outermost, then Do, as the command line numbers the conditions: expand.grid varies its
# first column fastest.
design <- expand.grid(do = seq(0, 90, 10), k = 4, n = c(10, 20, 50, 100, 200, 400))
rows <- vt_study(design, replications = 10000, ci = TRUE, seed = 20261210)
du <- subset(rows, estimator == "Du")
print(xtabs(round(100 * ci_coverage, 1) ~ n + do, data = du))

plot <- ggplot(du, aes(do, ci_coverage, colour = factor(n))) +
  geom_hline(yintercept = 0.95, linetype = "dashed", colour = "grey40") +
  geom_line() +
  geom_pointrange(aes(ymin = ci_coverage - 1.96 * ci_coverage_mcse, ymax = ci_coverage + 1.96 * ci_coverage_mcse),
                  size = 0.25) +
  scale_x_continuous(breaks = seq(0, 90, 10)) +
  labs(x = "Do (%)", y = "coverage of Du's 95 % interval", colour = "n",
       title = "Coverage of Du's test-inversion interval, k = 4, 10 000 tests per point") +
  theme_minimal()
ggsave("docs/r/coverage.png", plot, width = 8, height = 4.5, dpi = 100, bg = "white")

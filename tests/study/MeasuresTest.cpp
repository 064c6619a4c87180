// The performance measures on small sets of estimates whose values are worked out by
// hand from the formulas (written out beside each expectation), Monte Carlo SEs
// included; and the combination of partial results.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "study/Measures.h"

namespace veltrano {
namespace {

constexpr double U = Nodefinido;

TestEstimates Estimates(double du, double seDu, double ciLower, double ciUpper, double dc, double seDc, double dln) {
  TestEstimates t;
  t.doStar = 0.5;
  t.du = du;
  t.seDu = seDu;
  t.ciLower = ciLower;
  t.ciUpper = ciUpper;
  t.dc = dc;
  t.seDc = seDc;
  t.dln = dln;
  return t;
}

// θ = 0.5. Du: 0.3, 0.5, 0.7 and one undefined; standard errors 0.1, 0.25, 0 (a failed
// model: not given) and none. Dc: one defined value. DLN: 0.2, 0.4, 0.6, 0.8.
const std::vector<TestEstimates> kSet = {
    Estimates(0.3, 0.1, 0.1, 0.45, 0.6, 0.05, 0.2),
    Estimates(0.5, 0.25, 0.2, 0.8, U, U, 0.4),
    Estimates(0.7, 0, U, 0.9, U, U, 0.6),
    Estimates(U, U, U, U, U, U, 0.8),
};

ConditionSummary Summarise(const std::vector<TestEstimates>& tests) {
  ConditionSummary s;
  for (const TestEstimates& t : tests) s.Add(t);
  return s;
}

// Equal to within a few units in the last place of the larger.
void ExpectClose(const std::optional<double>& actual, double expected, const char* what) {
  ASSERT_TRUE(actual.has_value()) << what;
  EXPECT_NEAR(*actual, expected, 1e-14 * std::max(1.0, std::fabs(expected))) << what;
}

TEST(Measures, DuOnAHandWorkedSet) {
  const EstimatorMeasures m = MeasuresOf(Summarise(kSet), Estimator::Du, 0.5, true);
  EXPECT_EQ(m.replications, 4);
  EXPECT_EQ(m.defined, 3);
  // mean 1.5/3; s² = (0.04 + 0 + 0.04)/2 = 0.04.
  ExpectClose(m.mean, 0.5, "mean");
  ExpectClose(m.bias, 0, "bias");
  ExpectClose(m.biasMcse, std::sqrt(0.04 / 3), "bias_mcse");
  ExpectClose(m.empSe, 0.2, "emp_se");
  ExpectClose(m.empSeMcse, 0.2 / std::sqrt(2.0 * 2), "emp_se_mcse");
  // e² = 0.04, 0, 0.04; mse = 0.08/3; Σ(e² − mse)² = 2(0.04 − mse)² + mse².
  const double mse = 0.08 / 3;
  const double spread = 2 * (0.04 - mse) * (0.04 - mse) + mse * mse;
  ExpectClose(m.rmse, std::sqrt(mse), "rmse");
  ExpectClose(m.rmseMcse, std::sqrt(spread / (3 * 2)) / (2 * std::sqrt(mse)), "rmse_mcse");
  // |e| = 0.2, 0, 0.2: mean 0.4/3, sample variance ((0.2 − 0.4/3)²·2 + (0.4/3)²)/2.
  const double mae = 0.4 / 3;
  const double varAbs = (2 * (0.2 - mae) * (0.2 - mae) + mae * mae) / 2;
  ExpectClose(m.mae, mae, "mae");
  ExpectClose(m.maeMcse, std::sqrt(varAbs) / std::sqrt(3.0), "mae_mcse");
  // SE² = 0.01, 0.0625 (the 0 is not a standard error): R_s = 2, mean 0.03625,
  // var(SE²) = 2·(0.02625)² / 1.
  const double meanSe2 = 0.03625;
  const double varSe2 = 2 * 0.02625 * 0.02625;
  const double model = std::sqrt(meanSe2);
  ExpectClose(m.modelSe, model, "model_se");
  ExpectClose(m.modelSeMcse, std::sqrt(varSe2 / (4 * 2 * meanSe2)), "model_se_mcse");
  ExpectClose(m.modelSeRelError, 100 * (model / 0.2 - 1), "model_se_rel_error");
  ExpectClose(m.modelSeRelErrorMcse,
              100 * (model / 0.2) * std::sqrt(varSe2 / (4 * 2 * meanSe2 * meanSe2) + 1 / (2.0 * 2)),
              "model_se_rel_error_mcse");
  // Wald: [0.104, 0.496] misses 0.5, [0.01, 0.99] covers it.
  ASSERT_TRUE(m.wald.has_value());
  EXPECT_EQ(m.wald->covered, 1);
  EXPECT_EQ(m.wald->defined, 2);
  ExpectClose(m.wald->coverage, 0.5, "wald_coverage");
  ExpectClose(m.wald->coverageMcse, std::sqrt(0.25 / 2), "wald_coverage_mcse");
  ExpectClose(m.wald->width, (2 * 1.96 * 0.1 + 2 * 1.96 * 0.25) / 2, "wald_width");
  // Test inversion: [0.1, 0.45] misses, [0.2, 0.8] covers, the others lack a limit.
  ASSERT_TRUE(m.inversion.has_value());
  EXPECT_EQ(m.inversion->covered, 1);
  EXPECT_EQ(m.inversion->defined, 2);
  ExpectClose(m.inversion->coverage, 0.5, "ci_coverage");
  ExpectClose(m.inversion->coverageMcse, std::sqrt(0.25 / 2), "ci_coverage_mcse");
  ExpectClose(m.inversion->width, (0.35 + 0.6) / 2, "ci_width");
  // Without the interval in the study, its measures do not apply.
  EXPECT_FALSE(MeasuresOf(Summarise(kSet), Estimator::Du, 0.5, false).inversion.has_value());
}

TEST(Measures, DLNHasNoStandardErrorMeasures) {
  const EstimatorMeasures m = MeasuresOf(Summarise(kSet), Estimator::DLN, 0.5, true);
  EXPECT_EQ(m.defined, 4);
  // Deviations ±0.1, ±0.3: s² = 0.2/3; e² = 0.09, 0.01, 0.01, 0.09, mse = 0.05;
  // |e| = 0.3, 0.1, 0.1, 0.3, mean 0.2, sample variance 0.04/3.
  ExpectClose(m.mean, 0.5, "mean");
  ExpectClose(m.biasMcse, std::sqrt(0.2 / 3 / 4), "bias_mcse");
  ExpectClose(m.empSe, std::sqrt(0.2 / 3), "emp_se");
  ExpectClose(m.empSeMcse, std::sqrt(0.2 / 3) / std::sqrt(2.0 * 3), "emp_se_mcse");
  ExpectClose(m.rmse, std::sqrt(0.05), "rmse");
  ExpectClose(m.rmseMcse, std::sqrt(4 * 0.04 * 0.04 / (4 * 3)) / (2 * std::sqrt(0.05)), "rmse_mcse");
  ExpectClose(m.mae, 0.2, "mae");
  ExpectClose(m.maeMcse, std::sqrt(0.04 / 3) / 2, "mae_mcse");
  EXPECT_FALSE(m.modelSe || m.modelSeMcse || m.modelSeRelError || m.modelSeRelErrorMcse);
  EXPECT_FALSE(m.wald.has_value());
  EXPECT_FALSE(m.inversion.has_value());
}

// One defined value gives the measures of a mean but none of a spread.
TEST(Measures, OneDefinedValueHasNoSpread) {
  const EstimatorMeasures m = MeasuresOf(Summarise(kSet), Estimator::Dc, 0.5, true);
  EXPECT_EQ(m.defined, 1);
  ExpectClose(m.mean, 0.6, "mean");
  ExpectClose(m.bias, 0.1, "bias");
  ExpectClose(m.rmse, 0.1, "rmse");
  ExpectClose(m.mae, 0.1, "mae");
  ExpectClose(m.modelSe, 0.05, "model_se");
  EXPECT_FALSE(m.biasMcse || m.empSe || m.empSeMcse || m.rmseMcse || m.maeMcse || m.modelSeMcse ||
               m.modelSeRelError || m.modelSeRelErrorMcse);
  // [0.502, 0.698] misses 0.5.
  ASSERT_TRUE(m.wald.has_value());
  EXPECT_EQ(m.wald->covered, 0);
  EXPECT_EQ(m.wald->defined, 1);
  ExpectClose(m.wald->coverage, 0, "wald_coverage");
  ExpectClose(m.wald->coverageMcse, 0, "wald_coverage_mcse");
  EXPECT_FALSE(m.inversion.has_value());  // Du's alone
}

TEST(Measures, NothingDefinedAndNothingVarying) {
  const ConditionSummary none = Summarise({Estimates(U, U, U, U, U, U, U), Estimates(U, U, U, U, U, U, U)});
  const EstimatorMeasures m = MeasuresOf(none, Estimator::Du, 0.5, true);
  EXPECT_EQ(m.replications, 2);
  EXPECT_EQ(m.defined, 0);
  EXPECT_FALSE(m.mean || m.bias || m.rmse || m.mae || m.modelSe);
  EXPECT_EQ(m.wald->defined, 0);
  EXPECT_FALSE(m.wald->coverage || m.wald->width);

  // Every estimate exact: no bias, no spread; the RMSE's MCSE is 0, not 0/0; the
  // relative error of a model SE against an empirical SE of 0 has no value.
  const ConditionSummary exact = Summarise({Estimates(0.5, 0.1, U, U, U, U, 0.5), Estimates(0.5, 0.2, U, U, U, U, 0.5)});
  const EstimatorMeasures e = MeasuresOf(exact, Estimator::Du, 0.5, false);
  for (const auto& [value, what] : {std::pair{e.bias, "bias"}, {e.biasMcse, "bias_mcse"}, {e.empSe, "emp_se"},
                                    {e.empSeMcse, "emp_se_mcse"}, {e.rmse, "rmse"}, {e.rmseMcse, "rmse_mcse"},
                                    {e.mae, "mae"}, {e.maeMcse, "mae_mcse"}})
    ExpectClose(value, 0, what);
  EXPECT_TRUE(e.modelSe.has_value());
  EXPECT_FALSE(e.modelSeRelError || e.modelSeRelErrorMcse);
}

// Merging the summaries of consecutive parts, however the tests are cut, agrees with
// one summary of them all; empty parts change nothing.
TEST(Measures, MergedPartsAgreeWithOneStream) {
  std::vector<TestEstimates> tests;
  for (int i = 0; i < 50; ++i) {
    const double x = 0.5 + 0.01 * ((i * 37) % 23 - 11);
    tests.push_back(Estimates(i % 7 == 0 ? U : x, 0.05 + 0.001 * (i % 5), x - 0.1, x + 0.1, x + 0.01, 0.04, x - 0.02));
  }
  const ConditionSummary whole = Summarise(tests);
  for (const std::vector<std::size_t>& cuts : {std::vector<std::size_t>{0, 50}, {0, 1, 50}, {0, 20, 20, 33, 50}}) {
    ConditionSummary merged;
    for (std::size_t p = 0; p + 1 < cuts.size(); ++p)
      merged.Merge(Summarise({tests.begin() + static_cast<long>(cuts[p]), tests.begin() + static_cast<long>(cuts[p + 1])}));
    for (Estimator e : kEstimators) {
      const EstimatorMeasures a = MeasuresOf(merged, e, 0.5, true);
      const EstimatorMeasures b = MeasuresOf(whole, e, 0.5, true);
      EXPECT_EQ(a.replications, b.replications);
      EXPECT_EQ(a.defined, b.defined);
      for (const auto& [x, y] : {std::pair{a.mean, b.mean}, {a.empSe, b.empSe}, {a.rmseMcse, b.rmseMcse},
                                 {a.maeMcse, b.maeMcse}, {a.modelSeMcse, b.modelSeMcse}}) {
        EXPECT_EQ(x.has_value(), y.has_value()) << EstimatorName(e);
        if (y) ExpectClose(x, *y, EstimatorName(e));
      }
      if (b.wald) ExpectClose(a.wald->width, b.wald->width.value(), "wald_width");
    }
  }
}

TEST(SummaryBuilder, IsTheMergeOfBlocksInOrder) {
  std::vector<TestEstimates> tests;
  for (int i = 0; i < 300; ++i) tests.push_back(Estimates(0.5 + 0.001 * ((i * 53) % 101), 0.05, U, U, U, U, 0.4));
  SummaryBuilder builder;
  for (const TestEstimates& t : tests) builder.Add(t);
  ConditionSummary blocks;
  for (std::size_t from = 0; from < tests.size(); from += kSummaryBlock)
    blocks.Merge(Summarise({tests.begin() + static_cast<long>(from),
                            tests.begin() + static_cast<long>(std::min(tests.size(), from + kSummaryBlock))}));
  const EstimatorMeasures a = MeasuresOf(builder.Summary(), Estimator::Du, 0.5, false);
  const EstimatorMeasures b = MeasuresOf(blocks, Estimator::Du, 0.5, false);
  EXPECT_EQ(a.mean, b.mean);  // exactly: the same sums in the same order
  EXPECT_EQ(a.empSe, b.empSe);
  EXPECT_EQ(a.rmseMcse, b.rmseMcse);
}

}  // namespace
}  // namespace veltrano

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Probe.h"
#include "TableFixtures.h"
#include "analysis/tAnalisisDeltaMET.h"

namespace veltrano {
namespace {

using testing::MakeTable;

// Reference values (six decimals) were derived by hand from the model's closed forms
// and its score equation, and cross-checked by an independent maximisation of the
// row-wise multinomial likelihood.
constexpr double k6 = 5e-7;

struct Analysed {
  tBfMatriz table;
  tAnalisisDeltaMET a;
  explicit Analysed(tBfMatriz t, int tol = 10, int maxIts = 100) : table(std::move(t)) {
    a.Create(table, nullptr, 1, "");
    a.output_Config(true, false, true, true);
    a.Analysis_AssignParams(tol, maxIts, 3);
    a.Execute();
  }
};

TEST(Estimation, RegularTableOnBothTables) {
  Analysed r(MakeTable({{8, 1, 1}, {2, 7, 1}, {1, 1, 8}}));
  tAnalisisDeltaMETProbe probe{r.a};
  EXPECT_NEAR(r.a.Delta_KA.Estimador, 0.65, 1e-12);
  EXPECT_NEAR(r.a.Delta_KA.SE, 0.11559, 5e-6);
  EXPECT_EQ(r.a.Delta_KA.DataIndex, 1);
  EXPECT_NEAR(probe.DiagonalRatioSum(1), 2.30505, 5e-6);
  EXPECT_EQ(probe.ScoreDelta(1, 0), 0);
  EXPECT_NEAR(probe.ScoreSlope(1, 0), 78.303, 5e-4);

  EXPECT_NEAR(r.a.Delta_MV.Estimador, 0.649799, k6);
  EXPECT_EQ(r.a.Delta_MV.DataIndex, 1);
  const double pi[] = {0.428374, 0.276881, 0.294745};
  double sum = 0;
  for (int j = 1; j <= 3; ++j) {
    EXPECT_NEAR(r.a.Pi[j].Estimador, pi[j - 1], k6) << j;
    EXPECT_EQ(r.a.Pi[j].SE, 0);
    EXPECT_EQ(r.a.Pi[j].DataIndex, 1);
    sum += r.a.Pi[j].Estimador;
  }
  EXPECT_NEAR(sum, 1, 1e-9);

  EXPECT_NEAR(r.a.DeltaM2_MV.Estimador, 0.564998, k6);
  EXPECT_EQ(r.a.DeltaM2_MV.DataIndex, 2);
  const double pi2[] = {0.399852, 0.291500, 0.308648};
  for (int j = 1; j <= 3; ++j) EXPECT_NEAR(r.a.PiM2[j].Estimador, pi2[j - 1], k6) << j;
  EXPECT_TRUE(r.a.ModelOk);
  EXPECT_LE(r.a.ErrLevel, 1e-10);
  EXPECT_LE(r.a.its, 10);
}

TEST(Estimation, EveryAnswerCorrectIsEstimatedOnTableTwo) {
  Analysed r(MakeTable({{3, 0, 0}, {0, 4, 0}, {0, 0, 3}}));
  EXPECT_EQ(r.a.Delta_KA.DataIndex, 2);
  EXPECT_NEAR(r.a.Delta_KA.Estimador, 0.686869, k6);
  EXPECT_NEAR(r.a.Delta_KA.SE, 0.161029, k6);
  EXPECT_NEAR(r.a.Delta_MV.Estimador, 0.688589, k6);
  EXPECT_EQ(r.a.Delta_MV.Estimador, r.a.DeltaM2_MV.Estimador);
  const double pi[] = {0.319254, 0.361492, 0.319254};
  for (int j = 1; j <= 3; ++j) {
    EXPECT_NEAR(r.a.Pi[j].Estimador, pi[j - 1], k6) << j;
    EXPECT_EQ(r.a.Pi[j].Estimador, r.a.PiM2[j].Estimador);
    EXPECT_EQ(r.a.Pi[j].DataIndex, 2);
  }
}

TEST(Estimation, NoCorrectAnswerStaysAtMinusOneHalf) {
  Analysed r(MakeTable({{0, 1, 1}, {1, 0, 1}, {1, 1, 0}}));
  tAnalisisDeltaMETProbe probe{r.a};
  EXPECT_EQ(r.a.Delta_KA.Estimador, -0.5);
  EXPECT_NEAR(probe.ScoreDelta(1, -0.5), 0, 1e-12);
  EXPECT_NEAR(r.a.Delta_MV.Estimador, -0.5, 1e-12);
  for (int j = 1; j <= 3; ++j) EXPECT_NEAR(r.a.Pi[j].Estimador, 1.0 / 3, 1e-9);
  EXPECT_TRUE(r.a.ModelOk);  // the diagonal probabilities are exactly 0
}

TEST(Estimation, TwoClassesHaveClosedForms) {
  Analysed r(MakeTable({{6, 4}, {3, 7}}));
  EXPECT_NEAR(r.a.Delta_MV.Estimador, 0.3, 1e-15);
  EXPECT_NEAR(r.a.Pi[1].Estimador, 3.0 / 7, 1e-15);
  EXPECT_NEAR(r.a.Pi[2].Estimador, 4.0 / 7, 1e-15);
  EXPECT_EQ(r.a.Pi[1].DataIndex, 1);
  EXPECT_EQ(r.a.Pi[1].SE, Nodefinido);  // closed forms write the estimate only
  // Table 2 by the same formulas: rows (6.5, 4.5), (3.5, 7.5).
  EXPECT_NEAR(r.a.DeltaM2_MV.Estimador, 6.5 / 11 + 7.5 / 11 - 1, 1e-15);
  EXPECT_EQ(r.a.PiM2[2].DataIndex, 2);
}

TEST(Estimation, RatioSumOfOneGivesZeroAndColumnProportions) {
  Analysed r(MakeTable({{2, 1, 0}, {1, 2, 0}, {1, 1, 0}}));
  EXPECT_EQ(r.a.Delta_MV.Estimador, 0);
  EXPECT_EQ(r.a.DeltaM2_MV.Estimador, 0);
  EXPECT_EQ(r.a.Pi[1].Estimador, 0.5);  // column 1 holds 4 of 8
  EXPECT_EQ(r.a.Pi[3].Estimador, 0);
  EXPECT_EQ(r.a.PiM2[1].Estimador, 5.5 / 12.5);
  EXPECT_EQ(r.a.Pi[1].DataIndex, 1);
  EXPECT_EQ(r.a.PiM2[1].DataIndex, 2);
}

TEST(Estimation, IterationBudgetAndTolerance) {
  // One step from the conditional estimate 0.65 stands as the estimate.
  Analysed one(MakeTable({{8, 1, 1}, {2, 7, 1}, {1, 1, 8}}), 10, 1);
  EXPECT_EQ(one.a.its, 1);
  EXPECT_NE(one.a.Delta_MV.Estimador, 0.65);
  EXPECT_NEAR(one.a.Delta_MV.Estimador, 0.649799, 1e-4);

  // With tolerance 10^-2 the iteration stops at the first step of at most 0.01.
  // (its and ErrLevel describe the last run, which for active table 1 is table 2's.)
  Analysed coarse(MakeTable({{8, 1, 1}, {2, 7, 1}, {1, 1, 8}}), 2, 100);
  tAnalisisDeltaMETProbe probe{coarse.a};
  EXPECT_GT(coarse.a.its, 1);  // table 2: from 0.65 to 0.565 takes more than one step
  probe.SolveDelta(1, 0.65);
  EXPECT_EQ(coarse.a.its, 1);
  EXPECT_LE(coarse.a.ErrLevel, 0.01);
  EXPECT_EQ(coarse.a.tol, 0.01);
}

TEST(Estimation, NewtonAtTheTrivialRootMovesToTheMaximum) {
  // g(0) = 0 for every table; here Newton from the conditional estimate 0.1822 ends
  // at 0 although the likelihood peaks near 0.4475.
  Analysed r(MakeTable({{0, 0, 0, 0, 0}, {0, 4, 1, 0, 0}, {0, 0, 0, 2, 1}, {0, 0, 1, 1, 1}, {1, 0, 1, 1, 6}}));
  tAnalisisDeltaMETProbe probe{r.a};
  EXPECT_EQ(r.a.Problem[1].Codigo, 224);
  EXPECT_EQ(r.a.ActiveDataIndex, 1);
  EXPECT_NEAR(r.a.Delta_KA.Estimador, 0.1822, 5e-5);
  const double d = r.a.Delta_MV.Estimador;
  EXPECT_NEAR(d, 0.4475, 5e-4);
  EXPECT_NEAR(probe.ScoreDelta(1, d), 0, 1e-7);
  // A maximum: the likelihood's score is positive just below and negative just above.
  EXPECT_GT(probe.ScoreDelta(1, d - 0.01), 0);
  EXPECT_LT(probe.ScoreDelta(1, d + 0.01), 0);
  double sum = 0;
  for (int j = 1; j <= 5; ++j) sum += r.a.Pi[j].Estimador;
  EXPECT_NEAR(sum, 1, 1e-6);
}

}  // namespace
}  // namespace veltrano

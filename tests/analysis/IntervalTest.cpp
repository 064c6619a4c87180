#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "Probe.h"
#include "TableFixtures.h"
#include "analysis/tAnalisisDeltaMET.h"

namespace veltrano {
namespace {

using testing::MakeTable;

struct WithInterval {
  tBfMatriz table;
  tAnalisisDeltaMET a;
  explicit WithInterval(tBfMatriz t, bool ci = true, int tol = 10, int maxIts = 100) : table(std::move(t)) {
    a.Create(table, nullptr, 1, "");
    a.output_Config(true, ci, true, true);
    a.Analysis_AssignParams(tol, maxIts, 3);
    a.Execute();
  }
};

tBfMatriz Regular() { return MakeTable({{8, 1, 1}, {2, 7, 1}, {1, 1, 8}}); }

TEST(Interval, RegularTableAtLevel95) {
  WithInterval w(Regular());
  EXPECT_EQ(w.a.Cnf_NivelConfianza, 95);
  EXPECT_NEAR(w.a.ICITest.LI, 0.386873, 5e-7);
  EXPECT_NEAR(w.a.ICITest.LS, 0.822881, 5e-7);
  EXPECT_TRUE(w.a.Pi0.empty());
}

TEST(Interval, LimitsDoNotDependOnTheStartingStandardError) {
  // Unless the first step of the upper limit reaches 1.
  WithInterval w(Regular());
  tAnalisisDeltaMETProbe probe{w.a};
  w.a.DeltaM2_MV.SE = 0.15;
  tIC other = probe.TestInversionInterval(324);
  EXPECT_NEAR(other.LI, 0.386873, 5e-7);
  EXPECT_NEAR(other.LS, 0.822881, 5e-7);
  w.a.DeltaM2_MV.SE = 0.2;
  EXPECT_EQ(probe.TestInversionInterval(324).LS, 1);
}

TEST(Interval, FirstStepsAndStops) {
  WithInterval w(Regular());
  tAnalisisDeltaMETProbe probe{w.a};
  // The upper limit is capped at 1 after the first step.
  w.a.Delta_MV.Estimador = 0.95;
  w.a.DeltaM2_MV.SE = 0.05;
  EXPECT_EQ(probe.TestInversionInterval(324).LS, 1);
  // A zero standard error: both limits are the centre after one step.
  w.a.DeltaM2_MV.SE = 0;
  tIC zero = probe.TestInversionInterval(324);
  EXPECT_EQ(zero.LI, 0.95);
  EXPECT_EQ(zero.LS, 0.95);
  // One iteration: d0 ∓ z·se0, before any restricted fit.
  w.a.Delta_MV.Estimador = 0.5;
  w.a.DeltaM2_MV.SE = 0.1;
  w.a.Env_RCnf_MaxIteraciones = 1;
  tIC one = probe.TestInversionInterval(324);
  EXPECT_DOUBLE_EQ(one.LI, 0.5 - 1.96 * 0.1);
  EXPECT_DOUBLE_EQ(one.LS, 0.5 + 1.96 * 0.1);
}

TEST(Interval, EveryAnswerCorrectIsCentredOnOne) {
  WithInterval w(MakeTable({{3, 0, 0}, {0, 4, 0}, {0, 0, 3}}));
  EXPECT_EQ(w.a.ICITest.LS, 1);
  // The lower limit is searched downward from 1 − z·se0.
  EXPECT_LT(w.a.ICITest.LI, 1 - 1.96 * w.a.DeltaM2_MV.SE + 1e-12);
}

TEST(Interval, NegativeLowerLimitStands) {
  WithInterval w(MakeTable({{3, 2, 2}, {2, 3, 2}, {2, 2, 3}}));
  ASSERT_NE(w.a.ICITest.LI, Nodefinido);
  EXPECT_LT(w.a.ICITest.LI, 0);
  EXPECT_LE(w.a.ICITest.LI, w.a.Delta_MV.Estimador);
  EXPECT_LE(w.a.Delta_MV.Estimador, w.a.ICITest.LS);
}

TEST(Interval, LowerLimitStopsAtTheEdgeOfTheParameterSpace) {
  // delta ≥ −1/(K − 1) = −0.25 for five classes; unbounded, this search (with the
  // command's 500 iterations) ended at −1.305, where the model has no meaning.
  WithInterval w(MakeTable({{0, 0, 0, 0, 0}, {0, 0, 0, 1, 0}, {1, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}),
                 true, 10, 500);
  EXPECT_EQ(w.a.ICITest.LI, -0.25);
  EXPECT_NEAR(w.a.ICITest.LS, 0.658, 5e-4);
}

TEST(Interval, OffLeavesBothLimitsUndefined) {
  WithInterval w(Regular(), false);
  EXPECT_EQ(w.a.ICITest.LI, Nodefinido);
  EXPECT_EQ(w.a.ICITest.LS, Nodefinido);
}

// Each analysis follows its own configuration, whatever another analysis was configured
// with in between: two jobs with different settings never see each other's.
TEST(Interval, ConfigurationBelongsToEachAnalysis) {
  tBfMatriz t = Regular();
  tAnalisisDeltaMET with, without, unconfigured;
  for (tAnalisisDeltaMET* a : {&with, &without, &unconfigured}) a->Create(t, nullptr, 1, "");
  with.output_Config(true, true, true, true);
  without.output_Config(true, false, true, true);
  with.Execute();
  without.Execute();
  unconfigured.Execute();
  EXPECT_NEAR(with.ICITest.LI, 0.386873, 5e-7);
  EXPECT_EQ(without.ICITest.LI, Nodefinido);
  EXPECT_EQ(unconfigured.ICITest.LI, Nodefinido);
}

TEST(Interval, AnalysesOnSeveralThreadsAgreeWithOneThread) {
  // Analyses on several threads at once: every record must be the one a single thread
  // writes.
  const std::vector<std::vector<std::vector<double>>> tables = {
      {{8, 1, 1}, {2, 7, 1}, {1, 1, 8}},
      {{3, 2, 2}, {2, 3, 2}, {2, 2, 3}},
      {{5, 4, 1}, {2, 3, 2}, {0, 0, 0}},
      {{12, 3, 0, 1}, {2, 9, 4, 0}, {1, 1, 10, 2}, {0, 2, 3, 11}},
  };
  const auto record = [](const std::vector<std::vector<double>>& rows) {
    const tBfMatriz t = MakeTable(rows);
    tAnalisisDeltaMET a;
    a.Create(t, nullptr, 1, "");
    a.output_Config(true, true, true, true);
    a.Execute();
    return a.output_record();
  };
  std::vector<std::string> expected;
  for (const auto& rows : tables) expected.push_back(record(rows));

  constexpr int kThreads = 4, kRounds = 200;
  std::vector<std::vector<std::string>> got(kThreads);
  {
    std::vector<std::jthread> workers;
    for (int w = 0; w < kThreads; ++w)
      workers.emplace_back([&, w] {
        for (int r = 0; r < kRounds; ++r) got[w].push_back(record(tables[(r + w) % tables.size()]));
      });
  }
  for (int w = 0; w < kThreads; ++w)
    for (int r = 0; r < kRounds; ++r) ASSERT_EQ(got[w][r], expected[(r + w) % tables.size()]) << w << " " << r;
}

TEST(Interval, FaultInTheSearchLeavesThatLimitUndefined) {
  // Every answer in row 1 and none in column 1: above 0 the restricted fit puts pi_1 at
  // 0, and the variance's h_1 = pi_1/(q_1 − x·r_1/N), with q_1 = x and r_1 = N, is 0/0,
  // an invalid operation. The upper limit is undefined, the lower one is still found,
  // and the analysis goes on.
  for (auto rows : {std::vector<std::vector<double>>{{0, 3, 2}, {0, 0, 0}, {0, 0, 0}},
                    std::vector<std::vector<double>>{{0, 1, 1, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}}) {
    WithInterval w(MakeTable(rows));
    ASSERT_EQ(w.a.ActiveDataIndex, 1);
    EXPECT_EQ(w.a.ICITest.LS, Nodefinido);
    ASSERT_NE(w.a.ICITest.LI, Nodefinido);
    EXPECT_LE(w.a.ICITest.LI, w.a.Delta_MV.Estimador);
    EXPECT_GE(w.a.ICITest.LI, -1.0 / (static_cast<double>(rows.size()) - 1));
    EXPECT_NE(w.a.output_record().find("-9999.999"), std::string::npos);
  }
}

TEST(Interval, RowsOnTheEdgeOfTheParameterSpaceEnterThroughTheirLimit) {
  // Below 0 the restricted fit puts the diagonal probability of rows 2 and 3, whose
  // diagonal cells are empty, at 0; row 3 holds answers, so the variance's terms
  // r_3/q_3 are infinite and cancel. Computed as written, at −0.372 and the doubles
  // next to it the variance was 0.0572, 0.0857 or a floating-point fault, and the
  // lower limit was undefined. Reference values: 50 digits, the pi's checked against the
  // likelihood's optimality conditions, the expected information inverted as a
  // matrix, the edge approached by moving 10^−35 of probability onto pi_2 and pi_3.
  WithInterval w(MakeTable({{2, 1, 0}, {0, 0, 0}, {2, 1, 0}}), true, 10, 500);
  tAnalisisDeltaMETProbe probe{w.a};
  double x = -0.372;
  for (int i = 0; i < 8; ++i, x = std::nextafter(x, 0.0)) EXPECT_NEAR(probe.NullSE(1, x), 0.253396695618389, 1e-10);
  EXPECT_NEAR(w.a.ICITest.LI, -0.454915017118659, 1e-9);
  EXPECT_NEAR(w.a.ICITest.LS, 0.523985540374465, 1e-9);
}

TEST(Interval, LimitsToTheLastBit) {
  // Each restricted fit is a Newton iteration of hundreds of steps whose every iterate
  // depends on the exact doubles of the one before, so a change in the order of any
  // operation of the fit shows here. The limits were recorded from the fit evaluated
  // term by term, one value of the equation at a time. The two tables with a row on
  // the edge of the parameter space (empty row 2 or 3) were recorded once the edge was
  // taken in the limit; they agree with a 50-digit computation to 3·10^−12.
  struct Case {
    std::vector<std::vector<double>> rows;
    int tolerance, maxIts;
    double LI, LS;
  };
  const std::vector<Case> cases = {
      {{{8, 1, 1}, {2, 7, 1}, {1, 1, 8}}, 10, 500, 0x1.8c2863e8c8c14p-2, 0x1.a550b2998c7c8p-1},
      {{{8, 1, 1}, {2, 7, 1}, {1, 1, 8}}, 15, 1000, 0x1.8c2863e8c3ecp-2, 0x1.a550b299c6c9cp-1},
      {{{8, 1, 1}, {2, 7, 1}, {1, 1, 8}}, 2, 3, 0x1.8cbd3c757391cp-2, 0x1.aa341f7697acap-1},
      {{{31, 2}, {5, 40}}, 10, 500, 0x1.5295cadb9d161p-1, 0x1.d4da3a98883dfp-1},
      {{{3, 2, 2}, {2, 3, 2}, {2, 2, 3}}, 12, 500, -0x1.104a73f37dcbap-3, 0x1.cea66e1cb3e1fp-2},
      {{{12, 3, 0, 1}, {2, 9, 4, 0}, {1, 1, 10, 2}, {0, 2, 3, 11}}, 10, 500, 0x1.b4ecb3da61ba8p-2,
       0x1.735fab2755f59p-1},
      {{{0, 0, 0, 0, 0}, {0, 0, 0, 1, 0}, {1, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}, 10, 500, -0.25,
       0x1.50b49f9660072p-1},
      {{{5, 4, 1}, {2, 3, 2}, {0, 0, 0}}, 10, 100, -0x1.0d6b1c0428bf2p-2, 0x1.feaa908fdc118p-2},
      {{{2, 1, 0}, {0, 0, 0}, {2, 1, 0}}, 10, 500, -0x1.d1d53e03ed4c7p-2, 0x1.0c47d52efcb7p-1},
      {{{30, 1, 0}, {0, 33, 1}, {1, 0, 34}}, 10, 500, 0x1.befe8569ae96dp-1, 1},
      {{{812345, 20345, 10233}, {31022, 790112, 9876}, {15001, 12000, 801234}}, 14, 800, 0x1.e19759c9168d1p-1,
       0x1.e1f616dcdbcc3p-1},
      {{{9, 1, 0, 2, 1, 0, 0, 1, 0, 1}, {0, 8, 1, 0, 0, 2, 1, 0, 0, 0}, {1, 0, 10, 1, 0, 0, 0, 1, 1, 0},
        {0, 1, 0, 7, 2, 0, 1, 0, 0, 1}, {1, 0, 1, 0, 9, 1, 0, 0, 1, 0}, {0, 2, 0, 1, 0, 8, 0, 1, 0, 0},
        {1, 0, 0, 0, 1, 0, 11, 0, 1, 0}, {0, 0, 1, 1, 0, 0, 0, 9, 0, 2}, {0, 1, 0, 0, 1, 1, 0, 0, 10, 0},
        {1, 0, 0, 1, 0, 0, 1, 0, 0, 8}},
       10, 500, 0x1.2033139ca567ap-1, 0x1.79c3061e688afp-1},
  };
  for (const Case& c : cases) {
    WithInterval w(MakeTable(c.rows), true, c.tolerance, c.maxIts);
    SCOPED_TRACE(w.a.output_record());
    EXPECT_EQ(w.a.ICITest.LI, c.LI);
    EXPECT_EQ(w.a.ICITest.LS, c.LS);
  }
}

TEST(Interval, UndefinedCentreOrScaleMeansNoSearch) {
  WithInterval w(Regular());
  tAnalisisDeltaMETProbe probe{w.a};
  w.a.DeltaM2_MV.SE = Nodefinido;
  tIC noScale = probe.TestInversionInterval(324);
  EXPECT_EQ(noScale.LI, Nodefinido);
  EXPECT_EQ(noScale.LS, Nodefinido);
  w.a.DeltaM2_MV.SE = 0.1;
  w.a.DeltaM2_MV.Estimador = Nodefinido;  // code 311 centres on table 2's estimate
  tIC noCentre = probe.TestInversionInterval(311);
  EXPECT_EQ(noCentre.LI, Nodefinido);
  EXPECT_EQ(noCentre.LS, Nodefinido);
}

}  // namespace
}  // namespace veltrano

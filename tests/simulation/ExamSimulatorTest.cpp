// A test made by ExamSimulator and analysed by AnalyseTest is the run's test: same
// draws, same table, same estimates, compared as exact doubles.
#include <gtest/gtest.h>

#include <ostream>

#include "RecordingHost.h"
#include "simulation/ExamSimulator.h"
#include "simulation/SimulationRun.h"

namespace veltrano {
namespace {

struct RunCase {
  int n, k, D;
  bool ci;
};
void PrintTo(const RunCase& c, std::ostream* os) {
  *os << "n" << c.n << "_k" << c.k << "_Do" << c.D << (c.ci ? "_ci" : "");
}

class SimulatorMatchesRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(SimulatorMatchesRun, TestByTest) {
  const RunCase& c = GetParam();
  constexpr int kTests = 40;
  constexpr std::uint32_t kSeed = 987654321;
  RunSettings s;
  s.SpinEdit_n = c.n;
  s.SpinEdit_k = c.k;
  s.SpinEdit_D0 = c.D;
  s.SpinEdit_Test = kTests;
  s.CheckBox_CI = c.ci;
  s.CheckBox_Text = false;
  testing::RecordingHost host;
  UniformGenerator runRng(kSeed);
  SimulationRun(runRng).Execute(s, host);
  const auto du = host.Series(SeriesId::sPoint_DSEM);
  const auto dc = host.Series(SeriesId::sPoint_Dcond);
  const auto dln = host.Series(SeriesId::sDLN);
  ASSERT_EQ(du.size(), std::size_t{kTests});

  ExamSimulator sim(c.n, c.k);
  UniformGenerator rng(kSeed);
  const AnalysisSettings settings = EstimatesAnalysis(s.SpinEdit_Tol, s.SpinEdit_MaxIts, c.ci);
  for (int t = 0; t < kTests; ++t) {
    const tBfMatriz table = sim.MakeTable(c.D, rng);
    const TestEstimates e = AnalyseTest(table, c.n, RealisedDegree(c.n, c.D), settings);
    ASSERT_EQ(e.doStar, du[t].x) << "test " << t + 1;
    EXPECT_EQ(e.du, du[t].y) << "test " << t + 1;
    EXPECT_EQ(e.dc, dc[t].y) << "test " << t + 1;
    EXPECT_EQ(e.dln, dln[t].y) << "test " << t + 1;
  }
  EXPECT_EQ(rng.State(), runRng.State());
}

INSTANTIATE_TEST_SUITE_P(Conditions, SimulatorMatchesRun,
                         ::testing::Values(RunCase{20, 2, 0, false}, RunCase{50, 4, 30, true},
                                           RunCase{7, 10, 55, false}, RunCase{100, 3, 100, false}));

}  // namespace
}  // namespace veltrano

// Random tables of every size the program meets: whatever the table, the analysis
// either completes with finite results or stops with a named floating-point fault.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "TableFixtures.h"
#include "analysis/tAnalisisDeltaMET.h"
#include "numeric/FloatFaults.h"

namespace veltrano {
namespace {

bool Finite(const tParametro& p) { return std::isfinite(p.Estimador) && std::isfinite(p.SE); }

TEST(AnalysisProperties, RandomTablesGiveFiniteConsistentResults) {
  std::mt19937 rng(20261210);
  int faults = 0, completed = 0;
  for (int round = 0; round < 3000; ++round) {
    const int K = 2 + static_cast<int>(rng() % 9);
    // Totals from a handful to about 10^5, sparse or dense, with empty rows and columns.
    const int scale = std::vector<int>{1, 3, 10, 100, 1000, 10000}[rng() % 6];
    const int emptyRow = rng() % 3 == 0 ? 1 + static_cast<int>(rng() % K) : 0;
    const int emptyCol = rng() % 3 == 0 ? 1 + static_cast<int>(rng() % K) : 0;
    const bool sparse = rng() % 2 == 0;
    const double diagonalBoost = (rng() % 4) * 0.5;
    tBfMatriz t = tBfMatriz::MCReal(K);
    double total = 0;
    for (int i = 1; i <= K; ++i)
      for (int j = 1; j <= K; ++j) {
        double v = static_cast<double>(rng() % (scale + 1));
        if (i == j) v *= 1 + diagonalBoost;
        if (sparse && rng() % 2 == 0) v = 0;
        if (i == emptyRow || j == emptyCol) v = 0;
        t.X[i][j] = std::floor(v);
        total += t.X[i][j];
      }
    if (total == 0) t.X[1][1] = 1;
    t.GetTotales();

    tAnalisisDeltaMET a;
    a.Create(t, nullptr, 1, "");
    a.output_Config(true, round % 2 == 0, true, true);
    a.Analysis_AssignParams(10, 500, 3);
    try {
      a.Execute();
    } catch (const FloatingPointError& e) {
      ++faults;
      const std::string m = e.what();
      EXPECT_TRUE(m == "Invalid floating point operation" || m == "Floating point division by zero" ||
                  m == "Floating point overflow") << m;
      continue;
    }
    ++completed;
    SCOPED_TRACE("round " + std::to_string(round) + " code " + std::to_string(a.Problem[1].Codigo));
    ASSERT_TRUE(Finite(a.Delta_MV) && Finite(a.DeltaM2_MV) && Finite(a.Delta_KA));
    for (std::size_t j = 1; j < a.Pi.size(); ++j) ASSERT_TRUE(Finite(a.Pi[j]) && Finite(a.PiM2[j]));
    ASSERT_TRUE(std::isfinite(a.VarDelta[1]) && std::isfinite(a.VarDelta[2]));
    ASSERT_TRUE(std::isfinite(a.ICITest.LI) && std::isfinite(a.ICITest.LS));

    // Table 2 has no empty total: where its iteration converged, its pi's sum to 1.
    if (a.ErrLevel <= a.tol && !IsNodefinido(a.DeltaM2_MV.Estimador) && a.Clases != 2) {
      double sum = 0;
      for (std::size_t j = 1; j < a.PiM2.size(); ++j) sum += a.PiM2[j].Estimador;
      EXPECT_NEAR(sum, 1, 1e-6);
    }
    if (a.ModelOk) {
      double sum = 0;
      for (std::size_t j = 1; j < a.Pi.size(); ++j) sum += a.Pi[j].Estimador;
      EXPECT_NEAR(sum, 1, 1e-3);
    } else {
      EXPECT_EQ(a.Delta_MV.SE, 0);
    }
    const tIC& ci = a.ICITest;
    if (!IsNodefinido(ci.LS)) {
      EXPECT_LE(ci.LS, 1);
    }
    if (!IsNodefinido(ci.LI)) {
      EXPECT_GE(ci.LI, -1.0 / (K - 1));
    }
    if (!IsNodefinido(ci.LI) && !IsNodefinido(ci.LS)) {
      EXPECT_LE(ci.LI, ci.LS);
    }
  }
  EXPECT_GT(completed, 2900) << faults << " tables stopped with a fault";
}

TEST(AnalysisProperties, IntervalStaysInTheParameterSpace) {
  // Tables of a few answers scattered at random: their standard errors are large, and
  // the lower limit's search often steps past −1/(K − 1), the least delta the model
  // allows. Each limit stops at its edge of [−1/(K − 1), 1].
  std::mt19937 rng(20261211);
  int lowestReached = 0;
  for (int round = 0; round < 2000; ++round) {
    const int K = 2 + static_cast<int>(rng() % 9);
    const int answers = 1 + static_cast<int>(rng() % 6);
    tBfMatriz t = tBfMatriz::MCReal(K);
    for (int n = 0; n < answers; ++n) t.X[1 + rng() % K][1 + rng() % K] += 1;
    t.GetTotales();

    tAnalisisDeltaMET a;
    a.Create(t, nullptr, 1, "");
    a.output_Config(true, true, true, true);
    try {
      a.Execute();
    } catch (const FloatingPointError&) {
      continue;
    }
    SCOPED_TRACE("round " + std::to_string(round));
    const double lowest = -1.0 / (K - 1);
    if (!IsNodefinido(a.ICITest.LI)) {
      EXPECT_GE(a.ICITest.LI, lowest);
      if (a.ICITest.LI == lowest) ++lowestReached;
    }
    if (!IsNodefinido(a.ICITest.LS)) {
      EXPECT_LE(a.ICITest.LS, 1);
    }
  }
  EXPECT_GT(lowestReached, 100);  // the edge is really met, not only stayed away from
}

}  // namespace
}  // namespace veltrano

// Random tables of every size the program meets: whatever the table, the analysis
// either completes with finite results or stops with a named floating-point fault.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "Probe.h"
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

TEST(AnalysisProperties, ScaledTablesKeepTheirDigitsUpToTheLargestTotal) {
  // In exact arithmetic c·X has the estimates of X, standard errors SE(X)/√c, and limits
  // L = Du ∓ z·SE_L(X)/√c, SE_L the standard error under delta = L with the pi's refitted
  // there, which does not depend on c. Random tables estimated on the table itself (no
  // empty row or column, so the 0.5 of table 2 plays no part) are scaled by whole numbers
  // up to kMaxTableTotal; each result must hold that to six significant digits (a limit:
  // of its distance from Du).
  constexpr double kRel = 1e-6;
  constexpr double z = 1.96;
  std::mt19937 rng(20261212);
  int bases = 0;
  while (bases < 40) {
    const int K = 2 + static_cast<int>(rng() % 9);
    const double boost = (rng() % 4) * 0.75;
    std::vector<std::vector<double>> rows(K, std::vector<double>(K));
    double total = 0;
    for (int i = 0; i < K; ++i)
      for (int j = 0; j < K; ++j) {
        rows[i][j] = static_cast<double>(rng() % 31);
        if (i == j) rows[i][j] = std::floor(rows[i][j] * (1 + boost));
        total += rows[i][j];
      }
    const tBfMatriz base = testing::MakeTable(rows);
    tAnalisisDeltaMET b;
    b.Create(base, nullptr, 1, "");
    b.output_Config(true, true, true, true);
    b.Analysis_AssignParams(10, 500, 3);
    try {
      b.Execute();
    } catch (const FloatingPointError&) {
      continue;
    }
    const int code = b.Problem[1].Codigo;
    const double du = b.Delta_MV.Estimador;
    if ((code != 322 && code != 324) || !b.ModelOk || b.Delta_MV.DataIndex != 1 || std::fabs(du) < 0.05 ||
        IsNodefinido(b.ICITest.LI) || IsNodefinido(b.ICITest.LS) || b.ICITest.LS == 1 ||
        b.ICITest.LI == -1.0 / (K - 1))
      continue;  // a limit at an edge or without a variance is not scaled
    tAnalisisDeltaMETProbe probe{b};
    ++bases;

    for (const double target : {1e3, 1e6, kMaxTableTotal}) {
      const double c = std::floor(target / total);
      if (c < 2) continue;
      std::vector<std::vector<double>> scaled = rows;
      for (auto& row : scaled)
        for (double& v : row) v *= c;
      const tBfMatriz big = testing::MakeTable(scaled);
      ASSERT_LE(big.X[0][0], kMaxTableTotal);
      tAnalisisDeltaMET a;
      a.Create(big, nullptr, 1, "");
      a.output_Config(true, true, true, true);
      a.Analysis_AssignParams(10, 500, 3);
      a.Execute();
      SCOPED_TRACE("K " + std::to_string(K) + ", total " + std::to_string(big.X[0][0]));
      const double root = std::sqrt(c);
      EXPECT_NEAR(a.Delta_MV.Estimador, du, kRel * std::fabs(du));
      EXPECT_NEAR(a.Delta_KA.Estimador, b.Delta_KA.Estimador, kRel * std::fabs(b.Delta_KA.Estimador));
      EXPECT_NEAR(a.Delta_MV.SE * root, b.Delta_MV.SE, kRel * b.Delta_MV.SE);
      EXPECT_NEAR(a.Delta_KA.SE * root, b.Delta_KA.SE, kRel * b.Delta_KA.SE);
      for (const int s : {-1, +1}) {
        const double L = s < 0 ? a.ICITest.LI : a.ICITest.LS;
        ASSERT_FALSE(IsNodefinido(L)) << s;
        const double expected = a.Delta_MV.Estimador + s * z * probe.NullSE(1, L) / root;
        EXPECT_NEAR(L, expected, kRel * std::fabs(L - a.Delta_MV.Estimador)) << s;
      }
    }
  }
}

}  // namespace
}  // namespace veltrano

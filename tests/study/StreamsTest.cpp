// The streams as a study uses them make tables with the model's cell probabilities.
//
// A test of n items at degree Do has m = KnownCount(n, Do) known items, each tallied at
// (c, c) with its key position c uniform on 1..k, and g = n − m guessed ones. A guessed
// item's key position is uniform, and so is its marked position: the chosen label is
// right with chance 1/k (marked = key), otherwise the position is uniform among the k − 1
// others, so each of the k² cells has probability 1/k². A table's cell counts are thus the
// sum of two independent multinomials, with mean μ = m·p_known + g·p_guess and covariance
// Σ = m·(diag p_known − p_known p_knownᵀ) + g·(diag p_guess − p_guess p_guessᵀ).
//
// Over T independent tables the pooled counts S have mean T·μ and covariance T·Σ; with one
// cell dropped (the counts sum to T·n) the covariance is invertible, and
// X² = (S − Tμ)ᵀ (TΣ)⁻¹ (S − Tμ) is asymptotically χ² with k² − 1 degrees of freedom (for
// m = 0 it is Pearson's statistic). A correct generator leaves the p-value of X² below
// 0.5·10^-6 or above 1 − 0.5·10^-6 once in 10^6 runs; a stream mapping that repeats or
// correlates tables, or that skews a choice, moves it far out.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "StudySupport.h"
#include "simulation/ExamSimulator.h"

namespace veltrano {
namespace {

// Q(a, x) = Γ(a, x)/Γ(a), the upper regularized incomplete gamma function: by its series
// below x = a + 1 and by Lentz's continued fraction above (Numerical Recipes, 6.2).
double UpperGamma(double a, double x) {
  if (x <= 0) return 1;
  const double front = std::exp(-x + a * std::log(x) - std::lgamma(a));
  if (x < a + 1) {
    double term = 1 / a, sum = term;
    for (int n = 1; n < 1000 && std::fabs(term) > 1e-17 * std::fabs(sum); ++n) sum += term *= x / (a + n);
    return 1 - front * sum;
  }
  constexpr double tiny = 1e-300;
  double b = x + 1 - a, c = 1 / tiny, d = 1 / b, h = d;
  for (int i = 1; i < 1000; ++i) {
    const double an = -i * (i - a);
    b += 2;
    d = an * d + b;
    if (std::fabs(d) < tiny) d = tiny;
    c = b + an / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    const double step = d * c;
    h *= step;
    if (std::fabs(step - 1) < 1e-16) break;
  }
  return front * h;
}

// The p-value P(χ²(ν) ≥ x2) of the pooled counts of `tables` (k × k) against the model.
double PooledCellsPValue(const std::vector<tBfMatriz>& tables, std::int32_t n, std::int32_t k, std::int32_t D) {
  const int cells = k * k, kept = cells - 1;  // the last cell, (k, k), is dropped
  const double T = static_cast<double>(tables.size());
  const double m = KnownCount(n, D), g = n - m;
  std::vector<double> pKnown(static_cast<std::size_t>(cells), 0), pGuess(static_cast<std::size_t>(cells), 1.0 / cells);
  for (int c = 0; c < k; ++c) pKnown[static_cast<std::size_t>(c * k + c)] = 1.0 / k;
  std::vector<double> d(static_cast<std::size_t>(kept), 0);
  for (const tBfMatriz& t : tables)
    for (int i = 0; i < kept; ++i) d[static_cast<std::size_t>(i)] += t.X[i / k + 1][i % k + 1];
  std::vector<double> cov(static_cast<std::size_t>(kept * kept));
  for (int i = 0; i < kept; ++i) {
    const auto ui = static_cast<std::size_t>(i);
    d[ui] -= T * (m * pKnown[ui] + g * pGuess[ui]);
    for (int j = 0; j < kept; ++j) {
      const auto uj = static_cast<std::size_t>(j);
      cov[ui * static_cast<std::size_t>(kept) + uj] =
          T * (m * ((i == j ? pKnown[ui] : 0) - pKnown[ui] * pKnown[uj]) +
               g * ((i == j ? pGuess[ui] : 0) - pGuess[ui] * pGuess[uj]));
    }
  }
  // X² = dᵀ cov⁻¹ d by the Cholesky factor L (cov = L Lᵀ): X² = |L⁻¹ d|².
  const auto at = [&](int i, int j) -> double& { return cov[static_cast<std::size_t>(i * kept + j)]; };
  for (int j = 0; j < kept; ++j) {
    for (int p = 0; p < j; ++p) at(j, j) -= at(j, p) * at(j, p);
    at(j, j) = std::sqrt(at(j, j));
    for (int i = j + 1; i < kept; ++i) {
      for (int p = 0; p < j; ++p) at(i, j) -= at(i, p) * at(j, p);
      at(i, j) /= at(j, j);
    }
  }
  double x2 = 0;
  for (int i = 0; i < kept; ++i) {
    double y = d[static_cast<std::size_t>(i)];
    for (int p = 0; p < i; ++p) y -= at(i, p) * d[static_cast<std::size_t>(p)];
    d[static_cast<std::size_t>(i)] = y / at(i, i);
    x2 += d[static_cast<std::size_t>(i)] * d[static_cast<std::size_t>(i)];
  }
  return UpperGamma(kept / 2.0, x2 / 2);
}

// The tables condition `index` of the study draws for replications 1..T, as it draws them.
std::vector<tBfMatriz> StudyTables(const StudyDefinition& s, std::int64_t index, std::int64_t T) {
  const ConditionRecord r = RecordOf(s, index);
  if (s.generator == StudyGenerator::Philox) return ReplayTables(s.seed, index, r.condition, 1, T);
  UniformGenerator rng(static_cast<std::uint32_t>(r.seed));
  ExamSimulator simulator(r.condition.n, r.condition.k);
  std::vector<tBfMatriz> tables;
  for (std::int64_t t = 0; t < T; ++t) tables.push_back(simulator.MakeTable(r.condition.D, rng));
  return tables;
}

constexpr double kLevel = 1e-6;  // two-sided: half in each tail

TEST(Streams, TablesHaveTheModelsCellProbabilities) {
  const std::vector<Condition> conditions = {{20, 4, 0}, {10, 3, 50}, {30, 5, 30}, {12, 2, 70}};
  for (const StudyGenerator generator : {StudyGenerator::Lcg, StudyGenerator::Philox}) {
    StudyDefinition s;
    s.conditions = StudyConditions::Listed(conditions);
    s.seed = 20261211;
    s.generator = generator;
    for (std::int64_t i = 1; i <= s.conditions.Count(); ++i) {
      const Condition c = s.conditions.At(i);
      const double p = PooledCellsPValue(StudyTables(s, i, 20000), c.n, c.k, c.D);
      EXPECT_GT(p, kLevel / 2) << GeneratorName(generator) << " condition " << i;
      EXPECT_LT(p, 1 - kLevel / 2) << GeneratorName(generator) << " condition " << i;
    }
  }
}

// The statistic sees what a broken mapping would do: one replication's table for all.
TEST(Streams, TheStatisticRefusesRepeatedTables) {
  const Condition c{20, 4, 30};
  std::vector<tBfMatriz> repeated;
  for (int t = 0; t < 2000; ++t) repeated.push_back(std::move(ReplayTables(5, 1, c, 7, 7).front()));
  EXPECT_LT(PooledCellsPValue(repeated, c.n, c.k, c.D), kLevel / 2);
  // And a chi-square p-value from the function is right where it is known: P(χ²(2) ≥ x) = e^(−x/2).
  EXPECT_NEAR(UpperGamma(1, 3.0), std::exp(-3.0), 1e-15);
  EXPECT_NEAR(UpperGamma(1, 0.2), std::exp(-0.2), 1e-15);
}

}  // namespace
}  // namespace veltrano

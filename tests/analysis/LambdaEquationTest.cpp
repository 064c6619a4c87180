// The λ equation evaluated in lanes gives, at every point and whatever the width of its
// lanes, the very double the equation evaluated on its own gives, and meets the same faults.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "analysis/LambdaEquation.h"
#include "numeric/Newton.h"
#include "table/tBfMatriz.h"

namespace veltrano {
namespace {

// G(λ) on its own, term by term in the order of the rows; empty where it is not finite.
std::optional<double> G(const tBfMatriz& t, double x, double lambda) {
  const tBfMatrizPrecision& X = t.X;
  const std::int32_t K = t.Dim.F;
  const double N = X[0][0];
  if (x == 1) return N;
  const double q = 1 - x;
  double sum = 0;
  for (std::int32_t j = 1; j <= K; ++j) {
    const double b = q * X[0][j] + lambda * x;
    sum += std::sqrt(b * b - 4 * lambda * X[j][j] * x * q);
  }
  const double g = sum - ((K - 2) * x + 2) * lambda + q * N;
  return std::isfinite(g) ? std::optional(g) : std::nullopt;
}

template <int W>
void ExpectSameAsAlone(const tBfMatriz& t, double x, double lambda) {
  double g = 0;
  std::array<double, 4> f{};
  const bool finite = LambdaEquation<W>(t, x).Values(lambda, g, f);
  const std::array<double, 4> at = FivePointAbscissae(lambda, kLambdaSlopeStep);
  const std::array<std::optional<double>, 5> alone{G(t, x, lambda), G(t, x, at[0]), G(t, x, at[1]),
                                                   G(t, x, at[2]), G(t, x, at[3])};
  bool allFinite = true;
  for (const auto& v : alone) allFinite = allFinite && v.has_value();
  ASSERT_EQ(finite, allFinite) << "W = " << W;
  if (!finite) return;
  EXPECT_EQ(std::bit_cast<std::uint64_t>(g), std::bit_cast<std::uint64_t>(*alone[0])) << "W = " << W;
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_EQ(std::bit_cast<std::uint64_t>(f[i]), std::bit_cast<std::uint64_t>(*alone[i + 1])) << "W = " << W << ", point " << i;
}

TEST(LambdaEquation, LanesGiveTheDoublesOfOneEvaluationAlone) {
  // Random tables of 2 to 10 classes with totals from a few to 10^7, deltas over the
  // whole parameter space, and multipliers from below 0 to a few times the total, or
  // so large that the squares overflow and leave G undefined.
  std::mt19937_64 rng(20261210);
  std::uniform_real_distribution<double> unit(0, 1);
  int faults = 0;
  for (int round = 0; round < 4000; ++round) {
    const int K = 2 + static_cast<int>(rng() % 9);
    const double scale = std::vector<double>{3, 20, 1000, 1e7}[rng() % 4];
    tBfMatriz t = tBfMatriz::MCReal(K);
    for (int i = 1; i <= K; ++i)
      for (int j = 1; j <= K; ++j) t.X[i][j] = std::floor(unit(rng) * scale * (i == j ? 3 : 1));
    t.GetTotales();
    const double lowest = -1.0 / (K - 1);
    const double x = rng() % 20 == 0 ? 1 : lowest + (1 - lowest) * unit(rng);
    const double lambda =
        rng() % 10 == 0 ? (unit(rng) - 0.5) * std::pow(10.0, 150 + 10 * unit(rng)) : (unit(rng) * 3 - 0.5) * t.X[0][0];
    SCOPED_TRACE("round " + std::to_string(round));
    ExpectSameAsAlone<2>(t, x, lambda);
    ExpectSameAsAlone<4>(t, x, lambda);
    if (!G(t, x, lambda)) ++faults;
  }
  EXPECT_GT(faults, 100);  // the faults were met, not only finite values
}

}  // namespace
}  // namespace veltrano

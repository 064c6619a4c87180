#pragma once
// The λ equation of the restricted fit of the interval, evaluated at a Newton step's
// five points at once.
//
// With delta fixed at x, the maximum-likelihood pi's under Σ pi_j = 1 are, for the
// Lagrange multiplier λ, the larger roots pi_j of
// λ(1 − x)·p² + (λx − (1 − x)c_j)·p − (c_j − x_jj)·x = 0, and λ is the root of
//   G(λ) = Σ_j √(b_j² − 4λ·x_jj·x(1 − x)) − ((K − 2)x + 2)·λ + (1 − x)·N,
//   b_j = (1 − x)·c_j + λx,
// which is 2λ(1 − x)·(Σ_j pi_j(λ) − 1). A Newton step for λ needs G at λ and at the
// four points λ − 2h, λ − h, λ + h, λ + 2h of its five-point slope, each a sum of K
// square roots, and that iteration is where the interval spends its time.
//
// Values evaluates the four points of the slope as the lanes of vectors of W doubles
// (W = 2 or 4), row by row, then λ itself, so that the square roots of a step overlap
// instead of each waiting on the last. IEEE arithmetic rounds every lane as the scalar
// operation would, every sum adds its terms in the order of the rows, and every term
// is the expression G has alone: each value is the very double that G evaluated on
// its own gives, whatever W. Nothing may be reassociated here (no -ffast-math, no
// contraction into fused multiply-adds), or the iteration would take other steps.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "table/tBfMatriz.h"

namespace veltrano {

/// The step h of the λ equation's five-point slope.
inline constexpr double kLambdaSlopeStep = 0.001;

namespace lanes {

template <int W>
struct Of;
template <>
struct Of<2> {
  typedef double type __attribute__((vector_size(2 * sizeof(double))));
};
template <>
struct Of<4> {
  typedef double type __attribute__((vector_size(4 * sizeof(double))));
};

/// W doubles, operated on lane by lane.
template <int W>
using Lanes = typename Of<W>::type;

/// v := the points λ + o for the offsets o = −2h, −h, h, 2h of lanes k·W .. k·W + W − 1.
/// x + (−h) is x − h exactly, so these are the doubles FivePointAbscissae gives.
template <int W, std::size_t... I>
[[gnu::always_inline]] inline void SlopePoints(Lanes<W>& v, double lambda, int k, std::index_sequence<I...>) {
  constexpr std::array<double, 4> kOffsets{-2 * kLambdaSlopeStep, -kLambdaSlopeStep, kLambdaSlopeStep,
                                           2 * kLambdaSlopeStep};
  v = lambda + Lanes<W>{kOffsets[static_cast<std::size_t>(k * W) + I]...};
}

/// v := √v, lane by lane.
template <int W, std::size_t... I>
[[gnu::always_inline]] inline void Sqrt(Lanes<W>& v, std::index_sequence<I...>) {
  v = Lanes<W>{std::sqrt(v[I])...};
}

}  // namespace lanes

template <int W>
class LambdaEquation {
public:
  /// G on the cells and margins of table with delta fixed at x; the table must outlive it.
  LambdaEquation(const tBfMatriz& table, double x)
      : X_(table.X), K_(table.Dim.F), x_(x), q_(1 - x), lambdaCoefficient_((K_ - 2) * x + 2), constant_(q_ * X_[0][0]) {}

  /// g = G(λ) and f[i] = G at the i-th point of FivePointAbscissae(λ, kLambdaSlopeStep).
  /// False when some value is undefined: a square root of a negative number, or a value
  /// that is not finite (an overflow), the faults that leave G undefined there. The
  /// square roots are only taken of what is not negative, so a negative radicand is a
  /// false, never an invalid operation. (At x = 1, G is N.)
  [[gnu::always_inline]] bool Values(double lambda, double& g, std::array<double, 4>& f) const {
    using lanes::Lanes;
    if (x_ == 1) {
      g = X_[0][0];
      f.fill(X_[0][0]);
      return true;
    }
    constexpr int kGroups = 4 / W;
    constexpr auto kLanes = std::make_index_sequence<W>();
    Lanes<W> points[kGroups], pointsX[kGroups], pointsFour[kGroups], sums[kGroups];
    // Lanes whose radicand was negative in some row (all bits set there): G is undefined.
    decltype(Lanes<W>{} < 0) negative{};
    for (int k = 0; k < kGroups; ++k) {
      lanes::SlopePoints<W>(points[k], lambda, k, kLanes);
      pointsX[k] = points[k] * x_;
      pointsFour[k] = 4 * points[k];
      sums[k] = Lanes<W>{};
    }
    for (std::int32_t j = 1; j <= K_; ++j) {
      const double qc = q_ * X_[0][j];
      const double d = X_[j][j];
      for (int k = 0; k < kGroups; ++k) {
        const Lanes<W> b = qc + pointsX[k];
        Lanes<W> terms = b * b - pointsFour[k] * d * x_ * q_;
        const auto below = terms < 0;
        negative |= below;
        terms = below ? Lanes<W>{} : terms;
        lanes::Sqrt<W>(terms, kLanes);
        sums[k] += terms;
      }
    }
    // λ itself comes last: the step needs its value after the slope's.
    const double lambdaX = lambda * x_;
    const double lambdaFour = 4 * lambda;
    double sum = 0;
    for (std::int32_t j = 1; j <= K_; ++j) {
      const double b = q_ * X_[0][j] + lambdaX;
      const double term = b * b - lambdaFour * X_[j][j] * x_ * q_;
      if (term < 0) return false;
      sum += std::sqrt(term);
    }
    for (int i = 0; i < W; ++i)
      if (negative[i]) return false;
    // A NaN or an infinity in any term carries through its sum, so checking the values
    // alone decides every fault of their terms.
    g = sum - lambdaCoefficient_ * lambda + constant_;
    bool finite = std::isfinite(g);
    for (int k = 0; k < kGroups; ++k) {
      const Lanes<W> values = sums[k] - lambdaCoefficient_ * points[k] + constant_;
      for (int i = 0; i < W; ++i) {
        f[static_cast<std::size_t>(k * W + i)] = values[i];
        finite = finite && std::isfinite(values[i]);
      }
    }
    return finite;
  }

private:
  const tBfMatrizPrecision& X_;
  std::int32_t K_;
  double x_, q_;
  double lambdaCoefficient_;  // (K − 2)x + 2
  double constant_;           // (1 − x)·N
};

}  // namespace veltrano

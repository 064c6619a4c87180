// Test-inversion confidence interval of delta.
//
// The limits are the deltas d at which the estimate d0 lies exactly z standard errors
// from d, the standard error taken under the hypothesis delta = d with the guessing
// probabilities refitted there by maximum likelihood. The standard error moves with
// d, so the interval is not symmetric about d0: each limit is found by the fixed-point
// iteration d <- d0 ∓ z·SE(d). A step that reaches the edge of the parameter space,
// 1 above or −1/(K − 1) below, is that limit.
//
// The restricted fit and the variance under the hypothesis divide and take roots
// without guards of their own; a floating-point fault there means that the quantity
// is undefined at that d, which ends the search of that limit with no limit found.
// The other limit is still searched and the analysis goes on.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "analysis/tAnalisisDeltaMET.h"
#include "numeric/FloatFaults.h"
#include "numeric/Newton.h"

namespace veltrano {
namespace {

constexpr double kLambdaSlopeStep = 0.001;  // step of the λ equation's five-point slope

// The λ equation of the restricted fit with delta fixed at x,
//   G(λ) = Σ_j √(b_j² − 4λ·x_jj·x(1 − x)) − ((K − 2)x + 2)·λ + (1 − x)·N,
//   b_j = (1 − x)·c_j + λx,
// which is 2λ(1 − x)·(Σ_j pi_j(λ) − 1): zero at the multiplier whose pi's sum to 1.
//
// A Newton step needs G at λ and at the four points of its slope. Values evaluates the
// five in one pass over the rows, with five independent sums, so that their square
// roots overlap instead of each waiting on the last. Every sum adds its terms in the
// order of the rows and every term is the expression G has alone, so each value is
// the very double a separate evaluation gives.
class LambdaEquation {
public:
  using Points = std::array<double, 5>;

  LambdaEquation(const tBfMatriz& table, double x)
      : X_(table.X), K_(table.Dim.F), x_(x), q_(1 - x), lambdaCoefficient_((K_ - 2) * x + 2), constant_(q_ * X_[0][0]) {}

  /// g[i] = G(l[i]). False when some value is not finite: a square root of a negative
  /// number or an overflow, the faults that leave G undefined there.
  bool Values(const Points& l, Points& g) const {
    if (x_ == 1) {
      g.fill(X_[0][0]);
      return true;
    }
    Points lx, four, sum;
    for (std::size_t i = 0; i < l.size(); ++i) {
      lx[i] = l[i] * x_;
      four[i] = 4 * l[i];
      sum[i] = 0;
    }
    for (std::int32_t j = 1; j <= K_; ++j) {
      const double qc = q_ * X_[0][j];
      const double d = X_[j][j];
      for (std::size_t i = 0; i < l.size(); ++i) {
        const double b = qc + lx[i];
        sum[i] += std::sqrt(b * b - four[i] * d * x_ * q_);
      }
    }
    bool finite = true;
    for (std::size_t i = 0; i < l.size(); ++i) {
      g[i] = sum[i] - lambdaCoefficient_ * l[i] + constant_;
      finite = finite && std::isfinite(g[i]);
    }
    return finite;
  }

private:
  // A square root of a negative number is NaN and one of an infinity is infinite; either
  // carries through the sum to G, so checking G alone decides every fault of its terms.
  const tBfMatrizPrecision& X_;
  std::int32_t K_;
  double x_, q_;
  double lambdaCoefficient_;  // (K − 2)x + 2
  double constant_;           // (1 − x)·N
};

}  // namespace

tIC tAnalisisDeltaMET::TestInversionInterval(std::int32_t code) {
  const double tolerance = std::pow(10.0, -Env_RCnf_Tolerancia);
  const std::int32_t maxIt = Env_RCnf_MaxIteraciones;
  tIC result{Nodefinido, Nodefinido};

  // The table and the centre of the search follow the problem code: the table the
  // estimate was made on, and 1 when every answer is correct.
  const tTipoProblema tp = DecodeProblemType(code);
  const bool twoClasses = M[1].Dim.F == 2;
  std::int32_t t = 1;
  double d0 = Delta_MV.Estimador;
  if (tp.Caso == 1) {
    if (tp.Columnas == 1) {
      t = 2;
    } else {
      d0 = 1;
    }
  } else if ((tp.Caso == 2 && (code == 213 || twoClasses)) ||
             (tp.Caso == 3 && ((code >= 311 && code <= 314) || (code == 321 && twoClasses)))) {
    t = 2;
    d0 = DeltaM2_MV.Estimador;
  }
  // The standard error of table 2 starts both searches, whatever the table.
  const double se0 = DeltaM2_MV.SE;
  if (IsNodefinido(se0) || IsNodefinido(d0)) return result;  // nothing to centre or scale on

  const std::int32_t K = M[static_cast<std::size_t>(t)].Dim.F;
  Pi0.assign(static_cast<std::size_t>(K) + 1, 0.0);
  const double z = 1.96;  // two-sided standard normal quantile at the level 95
  // Summed over the rows, p_ii = delta + (1 − delta)·pi_i ≥ 0 gives K·delta + 1 − delta ≥ 0:
  // delta cannot lie below −1/(K − 1), where every p_ii is 0 and every pi is 1/K.
  const double lowest = -1.0 / (K - 1);

  for (const int s : {-1, +1}) {
    double se = se0;
    std::int32_t n = 0;
    double prev = d0;
    double prev2 = d0;
    bool stop = false;
    double d;
    do {
      ++n;
      d = d0 + s * z * se;
      if (!(d < 1)) {
        d = 1;  // the upper limit never exceeds 1
        stop = true;
      } else if (!(d > lowest)) {
        d = lowest;  // nor does the lower limit go below the parameter space
        stop = true;
      }
      const double Tol1 = std::fabs(d - prev);
      const double Tol2 = std::fabs(d - prev2);  // back where it was two steps ago: an alternation
      if (Tol1 <= tolerance || Tol2 <= tolerance || n >= maxIt) stop = true;
      if (!stop) {
        try {
          if (RestrictedPi(t, d)) {
            const double v = NullVariance(t, Pi0.data() + 1, d);
            if (v > 0) {
              se = std::sqrt(v);
            } else {
              se = Nodefinido;  // no variance under the hypothesis: d is the limit
              stop = true;
            }
            prev2 = prev;
            prev = d;
          } else {
            d = Nodefinido;
            stop = true;
          }
        } catch (const FloatingPointError&) {
          d = Nodefinido;
          stop = true;
        }
      }
    } while (!stop);
    if (!IsNodefinido(d)) (s < 0 ? result.LI : result.LS) = d;
  }
  Pi0.clear();
  return result;
}

bool tAnalisisDeltaMET::RestrictedPi(std::int32_t t, double x) {
  // Maximum-likelihood pi's with delta fixed at x, under Σ pi_j = 1: for the
  // Lagrange multiplier λ, pi_j is the larger root of
  // λ(1 − x)·p² + (λx − (1 − x)c_j)·p − (c_j − x_jj)·x = 0.
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const std::int32_t K = M[static_cast<std::size_t>(t)].Dim.F;
  const double N = X[0][0];
  if (IsZero(x)) {
    for (std::int32_t j = 1; j <= K; ++j) Pi0[static_cast<std::size_t>(j)] = CheckedDiv(X[0][j], N);
    return true;
  }
  if (x == 1) {
    const double off = N - M[static_cast<std::size_t>(t)].Traza();
    for (std::int32_t j = 1; j <= K; ++j)
      Pi0[static_cast<std::size_t>(j)] = CheckedDiv(X[0][j] - X[j][j], off);
    return true;
  }
  const double lambda = SolveLambda(t, x);
  if (IsNodefinido(lambda)) {
    for (std::int32_t j = 1; j <= K; ++j) Pi0[static_cast<std::size_t>(j)] = Nodefinido;
    return false;
  }
  const double q = 1 - x;
  for (std::int32_t j = 1; j <= K; ++j) {
    const double c = X[0][j];
    const double b = q * c + lambda * x;
    const double root = CheckedSqrt(b * b - 4 * lambda * X[j][j] * x * q);
    Pi0[static_cast<std::size_t>(j)] = CheckedDiv(q * c - lambda * x + root, 2 * lambda * q);
  }
  return true;
}

double tAnalisisDeltaMET::LambdaStart(std::int32_t t, double x) const {
  const tBfMatriz& T = M[static_cast<std::size_t>(t)];
  const std::int32_t K = T.Dim.F;
  const double N = T.X[0][0];
  const double tr = T.Traza();
  const double off = N - tr;
  if (x == 1) return off;
  const double a = CheckedDiv((1 - x) * N, (K - 1) * x + 1);
  if (IsZero(x)) return N;
  if (x < 0) return (N - tr * x + a) / 2;
  return (std::max(a, off) + N - tr * x) / 2;
}

double tAnalisisDeltaMET::SolveLambda(std::int32_t t, double x) const {
  const double tolerance = std::pow(10.0, -Env_RCnf_Tolerancia);
  const double lambda = LambdaStart(t, x);
  if (lambda < 0) return Nodefinido;
  const LambdaEquation equation(M[static_cast<std::size_t>(t)], x);
  // The slope is the five-point difference quotient with step 0.001, reduced by 1. A
  // floating-point fault in the equation at any of the five points, or a slope that
  // leaves the doubles, leaves λ undefined at this x: no root. A slope that IsZero is flat.
  const auto equationAndSlope = [&](double l) -> std::optional<NewtonPoint> {
    const std::array<double, 4> at = FivePointAbscissae(l, kLambdaSlopeStep);
    LambdaEquation::Points g;
    if (!equation.Values({l, at[0], at[1], at[2], at[3]}, g)) return std::nullopt;
    const std::array<double, 4> f{g[1], g[2], g[3], g[4]};
    if (std::any_of(f.begin(), f.end(), IsNodefinido)) return std::nullopt;
    const double slope = FivePointDifference(f, kLambdaSlopeStep) - 1;
    if (!std::isfinite(slope) || IsNodefinido(slope)) return std::nullopt;
    return NewtonPoint{g[0], slope};
  };
  const std::optional<double> root =
      NewtonIterate(equationAndSlope, lambda, {tolerance, Env_RCnf_MaxIteraciones, kZeroTolerance});
  return root ? *root : Nodefinido;
}

double tAnalisisDeltaMET::NullVariance(std::int32_t t, const double* pi, double x) const {
  // The variance of delta evaluated at delta = x and the restricted pi's.
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const std::int32_t K = M[static_cast<std::size_t>(t)].Dim.F;
  const double N = X[0][0];
  double S1 = 0, S2 = 0, S3 = 0, S4 = 0;
  for (std::int32_t j = 1; j <= K; ++j) {
    const double p = pi[j - 1];
    const double r = X[j][0];
    const double q = x + (1 - x) * p;  // probability of the diagonal cell of row j
    const double w = CheckedDiv(r, q);
    const double h = CheckedDiv(p, q - x * r / N);
    S1 += w * (1 - p);
    S2 += h * w * r;
    S3 += h * r;
    S4 += h * q;
  }
  return CheckedDiv(1 - x, CheckedResult(S1 - (S2 - CheckedDiv(S3 * S3, S4)) / N));
}

}  // namespace veltrano

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
// The other limit is still searched and the analysis goes on. Where the fit puts the
// probability of a diagonal cell at 0, the edge of the parameter space, the variance
// is defined as a limit and is computed as one (NullVariance).
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "analysis/LambdaEquation.h"
#include "analysis/tAnalisisDeltaMET.h"
#include "numeric/FloatFaults.h"
#include "numeric/Newton.h"

namespace veltrano {
namespace {

// G and its slope at λ for the Newton iteration: the five-point difference quotient with
// step 0.001, reduced by 1. A floating-point fault in G at any of the five points, or a
// slope that leaves the doubles, leaves λ undefined at this x: no root.
template <int W>
struct LambdaNewtonPoint {
  const LambdaEquation<W>& equation;

  [[gnu::always_inline]] std::optional<NewtonPoint> operator()(double lambda) const {
    double g;
    std::array<double, 4> f;
    if (!equation.Values(lambda, g, f)) return std::nullopt;
    if (std::any_of(f.begin(), f.end(), IsNodefinido)) return std::nullopt;
    const double slope = FivePointDifference(f, kLambdaSlopeStep) - 1;
    if (!std::isfinite(slope) || IsNodefinido(slope)) return std::nullopt;
    return NewtonPoint{g, slope};
  }
};

template <int W>
[[gnu::always_inline]] inline std::optional<double> SolveLambdaEquationWith(const tBfMatriz& table, double x,
                                                                            double start, const NewtonControl& control) {
  const LambdaEquation<W> equation(table, x);
  return NewtonIterate(LambdaNewtonPoint<W>{equation}, start, control);
}

template <int W>
[[gnu::always_inline]] inline std::array<std::optional<double>, 2> SolveLambdaEquationsWith(
    const tBfMatriz& table, double xA, double startA, double xB, double startB, const NewtonControl& control) {
  const LambdaEquation<W> equationA(table, xA), equationB(table, xB);
  return NewtonIterateTogether(LambdaNewtonPoint<W>{equationA}, startA, LambdaNewtonPoint<W>{equationB}, startB,
                               control);
}

}  // namespace

// The root of G from start, and the roots of G at two deltas from their starts: where
// the time of the interval goes. On x86 each iteration is compiled twice, with lanes of
// four for processors with AVX and with lanes of two for any other, and the program runs
// the one its processor can, asking the processor once; elsewhere, with lanes of two. All
// take the same steps to the same doubles. The choice is made by a call, not by the
// loader's indirect functions, which Windows and macOS do not have. Windows' compilers
// (MinGW's GCC) keep only 16-byte alignment of the stack for the 32-byte vectors they spill
// there, so a Windows build has the lanes of two alone.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
namespace {

[[gnu::target("avx")]] std::optional<double> SolveLambdaEquationAvx(const tBfMatriz& table, double x, double start,
                                                                    const NewtonControl& control) {
  return SolveLambdaEquationWith<4>(table, x, start, control);
}
[[gnu::target("avx")]] std::array<std::optional<double>, 2> SolveLambdaEquationsAvx(const tBfMatriz& table,
                                                                                    double xA, double startA,
                                                                                    double xB, double startB,
                                                                                    const NewtonControl& control) {
  return SolveLambdaEquationsWith<4>(table, xA, startA, xB, startB, control);
}

bool HasAvx() noexcept {
  static const bool has = __builtin_cpu_supports("avx");
  return has;
}

}  // namespace
#define VELTRANO_AVX_LANES 1
#else
#define VELTRANO_AVX_LANES 0
#endif

std::optional<double> SolveLambdaEquation(const tBfMatriz& table, double x, double start,
                                          const NewtonControl& control) {
#if VELTRANO_AVX_LANES
  if (HasAvx()) return SolveLambdaEquationAvx(table, x, start, control);
#endif
  return SolveLambdaEquationWith<2>(table, x, start, control);
}
std::array<std::optional<double>, 2> SolveLambdaEquations(const tBfMatriz& table, double xA, double startA,
                                                          double xB, double startB, const NewtonControl& control) {
#if VELTRANO_AVX_LANES
  if (HasAvx()) return SolveLambdaEquationsAvx(table, xA, startA, xB, startB, control);
#endif
  return SolveLambdaEquationsWith<2>(table, xA, startA, xB, startB, control);
}
#undef VELTRANO_AVX_LANES

// One limit's search by the fixed-point iteration d ← d0 + s·z·SE(d).
struct tAnalisisDeltaMET::LimitSearch {
  std::int32_t s;     // −1 for the lower limit, +1 for the upper
  double se;          // the standard error of the next step
  double prev, prev2; // the deltas fitted one and two steps ago
  std::int32_t n = 0; // steps made
  double d = 0;       // the delta of the step: the limit once the search stops
  bool stop = false;

  /// The step to the next d. True when the search goes on with a restricted fit at d;
  /// false when it stops there.
  bool Next(double d0, double z, double lowest, double tolerance, std::int32_t maxIt) {
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
    return !stop;
  }

  /// The fit at d gave the variance v of delta under the hypothesis delta = d.
  void Fitted(double v) {
    if (v > 0) {
      se = std::sqrt(v);
    } else {
      se = Nodefinido;  // no variance under the hypothesis: d is the limit
      stop = true;
    }
    prev2 = prev;
    prev = d;
  }

  /// No fit at d (no multiplier, or a floating-point fault): no limit.
  void Failed() {
    d = Nodefinido;
    stop = true;
  }
};

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

  // The two searches are independent. They step together, so that where both need a
  // restricted fit by iteration, the two iterations run side by side.
  LimitSearch searches[2] = {{-1, se0, d0, d0}, {+1, se0, d0, d0}};
  std::vector<double> upperPi(Pi0.size(), 0.0);  // the upper search's pi's when fitted together
  while (!searches[0].stop || !searches[1].stop) {
    bool fit[2];
    for (std::size_t k = 0; k < 2; ++k)
      fit[k] = !searches[k].stop && searches[k].Next(d0, z, lowest, tolerance, maxIt);
    if (fit[0] && fit[1] && FitTogether(t, searches[0], searches[1], upperPi)) continue;
    for (std::size_t k = 0; k < 2; ++k)
      if (fit[k]) FitAlone(t, searches[k]);
  }
  if (!IsNodefinido(searches[0].d)) result.LI = searches[0].d;
  if (!IsNodefinido(searches[1].d)) result.LS = searches[1].d;
  Pi0.clear();
  return result;
}

void tAnalisisDeltaMET::FitAlone(std::int32_t t, LimitSearch& search) {
  try {
    double lambda;
    if (RestrictedPi(t, search.d, lambda)) {
      search.Fitted(NullVariance(t, Pi0.data() + 1, search.d, lambda));
    } else {
      search.Failed();
    }
  } catch (const FloatingPointError&) {
    search.Failed();
  }
}

bool tAnalisisDeltaMET::FitTogether(std::int32_t t, LimitSearch& lower, LimitSearch& upper,
                                    std::vector<double>& upperPi) {
  // Both fits by iteration, the two iterations side by side. Anything else (a fit in
  // closed form, a multiplier that cannot start, a fault in either iteration) is left
  // to fitting each alone, which takes the same steps and meets its own faults.
  for (const double x : {lower.d, upper.d})
    if (IsZero(x) || x == 1) return false;
  std::array<std::optional<double>, 2> lambda;
  try {
    const double startLower = LambdaStart(t, lower.d);
    const double startUpper = LambdaStart(t, upper.d);
    if (startLower < 0 || startUpper < 0) return false;
    lambda = SolveLambdaEquations(M[static_cast<std::size_t>(t)], lower.d, startLower, upper.d, startUpper,
                                  {std::pow(10.0, -Env_RCnf_Tolerancia), Env_RCnf_MaxIteraciones, kZeroTolerance});
  } catch (const FloatingPointError&) {
    return false;
  }
  const auto finish = [&](LimitSearch& search, const std::optional<double>& l, std::vector<double>& pi) {
    const double multiplier = l ? *l : Nodefinido;
    try {
      if (RestrictedPiFrom(t, search.d, multiplier, pi)) {
        search.Fitted(NullVariance(t, pi.data() + 1, search.d, multiplier));
      } else {
        search.Failed();
      }
    } catch (const FloatingPointError&) {
      search.Failed();
    }
  };
  finish(lower, lambda[0], Pi0);
  finish(upper, lambda[1], upperPi);
  return true;
}

bool tAnalisisDeltaMET::RestrictedPi(std::int32_t t, double x, double& lambda) {
  // Maximum-likelihood pi's with delta fixed at x, under Σ pi_j = 1: for the
  // Lagrange multiplier λ, pi_j is the larger root of
  // λ(1 − x)·p² + (λx − (1 − x)c_j)·p − (c_j − x_jj)·x = 0.
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const std::int32_t K = M[static_cast<std::size_t>(t)].Dim.F;
  const double N = X[0][0];
  lambda = Nodefinido;  // the closed forms below need no multiplier
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
  lambda = SolveLambda(t, x);
  return RestrictedPiFrom(t, x, lambda, Pi0);
}

bool tAnalisisDeltaMET::RestrictedPiFrom(std::int32_t t, double x, double lambda, std::vector<double>& pi) const {
  // pi_j = ((1 − x)c_j − λx + √(b_j² − 4λ·x_jj·x(1 − x))) / (2λ(1 − x)), b_j = (1 − x)c_j + λx.
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const std::int32_t K = M[static_cast<std::size_t>(t)].Dim.F;
  if (IsNodefinido(lambda)) {
    for (std::int32_t j = 1; j <= K; ++j) pi[static_cast<std::size_t>(j)] = Nodefinido;
    return false;
  }
  const double q = 1 - x;
  for (std::int32_t j = 1; j <= K; ++j) {
    const double c = X[0][j];
    const double b = q * c + lambda * x;
    const double root = CheckedSqrt(b * b - 4 * lambda * X[j][j] * x * q);
    pi[static_cast<std::size_t>(j)] = CheckedDiv(q * c - lambda * x + root, 2 * lambda * q);
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
  // A slope that IsZero is flat.
  const std::optional<double> root = SolveLambdaEquation(M[static_cast<std::size_t>(t)], x, lambda,
                                                         {tolerance, Env_RCnf_MaxIteraciones, kZeroTolerance});
  return root ? *root : Nodefinido;
}

double tAnalisisDeltaMET::NullVariance(std::int32_t t, const double* pi, double x, double lambda) const {
  // The variance of delta evaluated at delta = x and the restricted pi's:
  // (1 − x)/(S1 − (S2 − S3²/S4)/N), with q_j = x + (1 − x)·pi_j the probability of row
  // j's diagonal cell, w_j = r_j/q_j and h_j = pi_j/(q_j − x·r_j/N).
  //
  // Rows on the edge of the parameter space. With x_jj = 0 the quadratic of the
  // restricted fit factors as (λp − c_j)·((1 − x)p + x) = 0, with roots c_j/λ and
  // −x/(1 − x). Below 0, when b_j = (1 − x)c_j + λx ≤ 0, the larger root, the fit's
  // pi_j, is the second: q_j is 0, the least the model allows, where the likelihood
  // would take it lower. There w_j is infinite for a row that holds answers, and h_j
  // for an empty row, but the terms they enter have finite limits:
  // w_j·(1 − pi_j) − h_j·w_j·r_j/N, equal to r_j·(N·(1 − pi_j) − r_j)/(N·q_j − x·r_j)
  // for every q_j, tends to (N·(1 − pi_j) − r_j)/(−x); h_j·r_j to N·pi_j/(−x); h_j·q_j
  // to 0, or to pi_j when r_j = 0. Computed as written, q_j is a rounding residue (0, or about 10^−17) and
  // the sums divide by zero or subtract two terms of about 10^17: which, and what is
  // left, hangs on the last bit of pi_j. A row on the edge enters through those limits
  // instead. The fits in closed form, at x = 0 and 1, have no multiplier and put no
  // row there.
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const std::int32_t K = M[static_cast<std::size_t>(t)].Dim.F;
  const double N = X[0][0];
  double S1 = 0, S2 = 0, S3 = 0, S4 = 0;
  double edge = 0;  // the rows on the edge: their part of S1 − S2/N
  for (std::int32_t j = 1; j <= K; ++j) {
    const double p = pi[j - 1];
    const double r = X[j][0];
    if (x < 0 && !IsNodefinido(lambda) && X[j][j] == 0 && (1 - x) * X[0][j] + lambda * x <= 0) {
      if (r > 0) {
        edge += (N * (1 - p) - r) / -x;
        S3 += N * p / -x;
      } else {
        S4 += p;
      }
      continue;
    }
    const double q = x + (1 - x) * p;  // probability of the diagonal cell of row j
    const double w = CheckedDiv(r, q);
    const double h = CheckedDiv(p, q - x * r / N);
    S1 += w * (1 - p);
    S2 += h * w * r;
    S3 += h * r;
    S4 += h * q;
  }
  return CheckedDiv(1 - x, CheckedResult(S1 - (S2 - CheckedDiv(S3 * S3, S4)) / N + edge));
}

}  // namespace veltrano

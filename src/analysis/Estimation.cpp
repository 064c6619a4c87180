// Estimation of the delta model.
//
// With row totals fixed, the likelihood of a table is Π p_ij^x_ij with
// p_ij = delta·[i = j] + (1 − delta)·pi_j. Maximising it under Σ pi_j = 1 leaves one
// equation in delta, the score g(delta) = 0, solved by Newton–Raphson with a
// numerical derivative; given delta, each pi_j has a closed form. Two classes, and
// tables whose diagonal ratio sum is exactly 1, have closed forms for everything.
#include <cmath>
#include <optional>

#include "analysis/tAnalisisDeltaMET.h"
#include "numeric/FloatFaults.h"
#include "numeric/Newton.h"

namespace veltrano {

void tAnalisisDeltaMET::EstimateParameters() {
  const std::int32_t a = ActiveDataIndex;
  const std::int32_t K = Clases;
  const tTipoProblema tp = DecodeProblemType(Problem[1].Codigo);
  const tBfMatrizPrecision& Xa = M[static_cast<std::size_t>(a)].X;
  const tBfMatrizPrecision& X2 = M[2].X;
  const bool noDiagonalSignal = tp.Caso > 1 && tp.Diagonal == 3;  // s = 1: delta is 0

  // The conditional estimate, on a table without zero row totals.
  const std::int32_t ci = tp.Caso == 3 ? 1 : 2;
  Delta_KA.Estimador = ConditionalDelta(ci);
  Delta_KA.SE = ConditionalDeltaSE(ci);
  Delta_KA.DataIndex = ci;

  if (noDiagonalSignal) {
    // The diagonal carries no more than the column proportions: delta = 0 and each
    // pi_j is the proportion of its column.
    Delta_MV.Estimador = 0;
    Delta_MV.DataIndex = a;
    DeltaM2_MV.Estimador = 0;
    DeltaM2_MV.DataIndex = 2;
    for (std::int32_t j = 1; j <= K; ++j) {
      Pi[j].Estimador = CheckedDiv(Xa[0][j], Xa[0][0]);
      PiM2[j].Estimador = CheckedDiv(X2[0][j], X2[0][0]);
      if (K != 2) {
        Pi[j].DataIndex = a;
        PiM2[j].DataIndex = 2;
      }
    }
    return;
  }

  if (K == 2) {
    // Two classes: delta = x11/r1 + x22/r2 − 1 and the pi's reproduce the observed
    // row proportions exactly.
    auto twoClassDelta = [](const tBfMatrizPrecision& X) {
      return CheckedDiv(X[1][1], X[1][0]) + CheckedDiv(X[2][2], X[2][0]) - 1;
    };
    Delta_MV.Estimador = twoClassDelta(Xa);
    Delta_MV.DataIndex = a;
    for (std::int32_t j = 1; j <= 2; ++j) {
      Pi[j].Estimador = TwoClassPi(a, j);
      Pi[j].DataIndex = a;
    }
    if (a == 2) {
      DeltaM2_MV = Delta_MV;
      PiM2[1] = Pi[1];
      PiM2[2] = Pi[2];
    } else {
      DeltaM2_MV.Estimador = twoClassDelta(X2);
      DeltaM2_MV.DataIndex = 2;
      for (std::int32_t j = 1; j <= 2; ++j) {
        PiM2[j].Estimador = TwoClassPi(2, j);
        PiM2[j].DataIndex = 2;
      }
    }
    return;
  }

  // Both Newton runs start from the conditional estimate.
  if (a == 1) {
    Delta_MV.Estimador = SolveDelta(1, Delta_KA.Estimador);
    Delta_MV.DataIndex = 1;
    if (!IsNodefinido(Delta_MV.Estimador)) EstimatePi(1);
    DeltaM2_MV.Estimador = SolveDelta(2, Delta_KA.Estimador);
    DeltaM2_MV.DataIndex = 2;
    EstimatePi(2);
  } else {
    const double d = SolveDelta(2, Delta_KA.Estimador);
    DeltaM2_MV.Estimador = d;
    DeltaM2_MV.DataIndex = 2;
    Delta_MV.Estimador = d;
    Delta_MV.DataIndex = 2;
    if (!IsNodefinido(d)) EstimatePi(2);
    for (std::int32_t j = 1; j <= K; ++j) Pi[j] = PiM2[j];
  }
}

double tAnalisisDeltaMET::ConditionalDelta(std::int32_t t) const {
  // Each row's diagonal proportion estimates delta + (1 − delta)·pi_i; summed over
  // the rows the pi's add to 1, so s = K·delta + (1 − delta) and delta = (s − 1)/(K − 1).
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const std::int32_t K = M[static_cast<std::size_t>(t)].Dim.F;
  double s = 0;
  for (std::int32_t i = 1; i <= K; ++i) {
    if (X[i][0] <= 0) return Nodefinido;
    s += X[i][i] / X[i][0];
  }
  return CheckedDiv(s - 1, K - 1);
}

double tAnalisisDeltaMET::ConditionalDeltaSE(std::int32_t t) const {
  const double dc = Delta_KA.Estimador;
  if (IsNodefinido(dc)) return Nodefinido;
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const std::int32_t K = M[static_cast<std::size_t>(t)].Dim.F;
  const double N = X[0][0];
  // A_i / N = dc + (c_i − r_i·dc)/N is the expected proportion of column i under the
  // estimate, and A_i + B_i = N: each row contributes a binomial variance.
  double sum = 0;
  for (std::int32_t i = 1; i <= K; ++i) {
    const double r = X[i][0];
    const double c = X[0][i];
    const double A = (N - r) * dc + c;
    const double B = (N - c) - (N - r) * dc;
    sum += CheckedDiv(A * B, r);
  }
  const double scale = (K - 1) * N;
  const double V = CheckedDiv(sum, scale * scale);
  return V >= 0 ? std::sqrt(V) : Nodefinido;
}

double tAnalisisDeltaMET::ScoreDelta(std::int32_t t, double x) const {
  // g(x) = N·(1 + (K − 2)·x) − Σ_j √((N·x + c_j)² − 4·N·x·x_jj): zero at the
  // maximum-likelihood delta once the pi's are profiled out. g(0) = 0 for every
  // table, and its slope there is 2N·(s − 1).
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const std::int32_t K = Clases;
  const double N = X[0][0];
  const double* c = X[0];
  double root = 0;
  for (std::int32_t j = 1; j <= K; ++j) {
    const double u = N * x + c[j];
    const double u2 = u * u;
    const double D = u2 - 4 * N * x * X[j][j];
    if (D < 0) return Nodefinido;
    root += std::sqrt(D);
  }
  return CheckedResult(N * (1 + (K - 2) * x) - root);
}

double tAnalisisDeltaMET::ScoreSlope(std::int32_t t, double x) const {
  // Five-point central difference with h = 0.001.
  const std::optional<double> slope =
      FivePointSlope([&](double u) { return Defined(ScoreDelta(t, u)); }, x, 0.001);
  return slope ? *slope : Nodefinido;
}

double tAnalisisDeltaMET::SolveDelta(std::int32_t t, double x0) {
  tol = std::pow(10.0, -Env_RCnf_Tolerancia);
  // The slope is evaluated before the score; only an exactly zero slope is flat.
  const auto scoreAndSlope = [&](double x) -> std::optional<NewtonPoint> {
    const double d = ScoreSlope(t, x);
    const double g = ScoreDelta(t, x);
    if (IsNodefinido(d) || IsNodefinido(g)) return std::nullopt;
    return NewtonPoint{g, d};
  };
  // When the budget is spent the last iterate stands; ErrLevel > tol shows it.
  const std::optional<double> root =
      NewtonIterate(scoreAndSlope, x0, {tol, Env_RCnf_MaxIteraciones, 0.0}, {its, ErrLevel});
  double result = root ? *root : Nodefinido;

  // g(0) = 0 for every table, and Newton from the conditional estimate may fall into
  // that trivial root although the likelihood's maximum lies elsewhere. Unless the
  // diagonal ratio sum is exactly 1 (where 0 is the estimate), look for the non-zero
  // root on the side of 0 where the maximum lies.
  if (!IsNodefinido(result) && std::fabs(result) <= 1e-8 && DiagonalRatioSum(t) != 1) {
    const double other = NonTrivialRoot(t);
    if (!IsNodefinido(other)) result = other;
  }
  return result;
}

double tAnalisisDeltaMET::NonTrivialRoot(std::int32_t t) const {
  // The slope of g at 0 is 2N·(s − 1): for s > 1 the maximum lies in (0, 1), for
  // s < 1 in (−1/(K − 1), 0). On that side g is positive next to 0 and turns
  // non-positive at the root. Scan outward in 256 steps for the first sign change
  // after a positive value, then bisect the bracket to the iteration's tolerance.
  const double s = DiagonalRatioSum(t);
  const double side = s > 1 ? 1.0 : -1.0 / (Clases - 1);
  const double h = side / 256;
  double positive = 0;
  bool havePositive = false;
  for (int i = 1; i <= 256; ++i) {
    const double x = i * h;
    const double g = ScoreDelta(t, x);
    if (IsNodefinido(g)) continue;
    if (g > 0) {
      positive = x;
      havePositive = true;
    } else if (havePositive) {
      double lo = positive;  // g > 0
      double hi = x;         // g ≤ 0
      const double target = std::pow(10.0, -Env_RCnf_Tolerancia);
      while (std::fabs(hi - lo) > target) {
        const double mid = lo + (hi - lo) / 2;
        if (mid == lo || mid == hi) break;
        const double gm = ScoreDelta(t, mid);
        if (IsNodefinido(gm)) break;
        (gm > 0 ? lo : hi) = mid;
      }
      return lo + (hi - lo) / 2;
    }
  }
  // No sign change after a positive value: 0 is the maximum, the Newton result stands.
  return Nodefinido;
}

void tAnalisisDeltaMET::EstimatePi(std::int32_t t) {
  // Given delta, pi_r is the positive root of the stationarity condition of row r's
  // column: (1 − d)·N·pi_r² + (N·d − c_r)·pi_r − … = 0, whose root argument is the
  // D_r of the score at x = d.
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const std::int32_t K = M[static_cast<std::size_t>(t)].Dim.F;
  const double N = X[0][0];
  const double d = (t == 1 ? Delta_MV : DeltaM2_MV).Estimador;
  std::vector<tParametro>& target = t == 1 ? Pi : PiM2;
  const double s = DiagonalRatioSum(t);

  for (std::int32_t r = 1; r <= K; ++r) target[static_cast<std::size_t>(r)] = tParametro{};
  if (IsNodefinido(d)) return;  // the entries stay (0, 0, 0)

  const double den = (1 - d) * N * 2;
  if (IsZero(den)) {
    for (std::int32_t r = 1; r <= K; ++r) target[static_cast<std::size_t>(r)] = {Nodefinido, Nodefinido, t};
    return;
  }
  for (std::int32_t r = 1; r <= K; ++r) {
    tParametro& p = target[static_cast<std::size_t>(r)];
    const double c = X[0][r];
    if (s == 1) {
      p.Estimador = CheckedDiv(c, N);
      continue;
    }
    const double Nd = N * d;
    const double arg = c * c + (c - 2 * X[r][r]) * 2 * N * d + Nd * Nd;
    p.DataIndex = t;
    if (arg < 0) {
      // Only a last Newton iterate that was never evaluated can lie where the root
      // argument is negative; the pi is then undefined rather than a fault.
      p.Estimador = Nodefinido;
      p.SE = Nodefinido;
      continue;
    }
    const double pi = CheckedDiv(c - Nd + std::sqrt(arg), den);
    p.Estimador = pi < 0 ? 0 : pi;
  }
}

double tAnalisisDeltaMET::TwoClassPi(std::int32_t t, std::int32_t j) const {
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const double a = X[1][2] * X[2][0];  // x_12·r_2
  const double b = X[2][1] * X[1][0];  // x_21·r_1
  const double w = a + b;
  return CheckedDiv(j == 1 ? b : a, w);
}

bool tAnalisisDeltaMET::CheckModel() const {
  // The fitted model must give every row probabilities that are non-negative and sum
  // to 1 (within 0.001).
  const double d = Delta_MV.Estimador;
  if (IsNodefinido(d)) return false;
  const std::int32_t K = Clases;
  for (std::int32_t j = 1; j <= K; ++j)
    if (IsNodefinido(Pi[static_cast<std::size_t>(j)].Estimador)) return false;
  for (std::int32_t i = 1; i <= K; ++i) {
    double sum = 0;
    for (std::int32_t j = 1; j <= K; ++j) {
      const double pi = Pi[static_cast<std::size_t>(j)].Estimador;
      double p = j == i ? d + (1 - d) * pi : (1 - d) * pi;
      if (IsZero(p)) p = 0;
      if (p < 0) return false;
      sum += p;
    }
    if (std::fabs(1 - sum) > 0.001) return false;
  }
  return true;
}

}  // namespace veltrano

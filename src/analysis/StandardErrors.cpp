// Variance of the maximum-likelihood delta: the first diagonal entry of the inverse
// of the expected information of the row-wise multinomial likelihood (parameters
// delta and pi_1..pi_K under Σ pi_j = 1), in closed form. A variance that cannot be
// formed is undefined, and the standard error falls back to table 2.
#include <cmath>

#include "analysis/tAnalisisDeltaMET.h"
#include "numeric/FloatFaults.h"

namespace veltrano {
namespace {

double SqrtOrNodefinido(double x) { return x >= 0 ? std::sqrt(x) : Nodefinido; }

}  // namespace

double tAnalisisDeltaMET::VarianceOfDelta(std::int32_t t) const {
  const double d = (t == 1 ? Delta_MV : DeltaM2_MV).Estimador;
  if (IsNodefinido(d)) return VarDelta[t];  // not computed: the variance keeps its value
  const std::vector<tParametro>& pis = t == 1 ? Pi : PiM2;
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const std::int32_t K = M[static_cast<std::size_t>(t)].Dim.F;
  const double N = X[0][0];
  for (std::int32_t j = 1; j <= K; ++j)
    if (IsNodefinido(pis[static_cast<std::size_t>(j)].Estimador)) return Nodefinido;

  const double q = 1 - d;
  double S1 = 0, S2 = 0, S3 = 0, S4 = 0;
  bool undefinedSum = false;
  bool someZeroB = false;
  for (std::int32_t j = 1; j <= K; ++j) {
    const double pi = pis[static_cast<std::size_t>(j)].Estimador;
    const double r = X[j][0];
    const double P = d + q * pi;  // model probability of the diagonal cell of row j
    const bool aDefined = !IsZero(P);
    const double A = aDefined ? CheckedDiv(r, P) : Nodefinido;
    if (!IsZero(pi) && aDefined) {
      const double B = q * (q * A + CheckedDiv(N - r, pi));
      if (IsZero(B)) someZeroB = true;
    }
    const double v = P - (r / N) * d;
    const bool cDefined = !IsZero(v);
    const double C = cDefined ? CheckedDiv(pi, v) : Nodefinido;
    if (!aDefined || !cDefined) {
      undefinedSum = true;
      continue;
    }
    S1 += r * A * C;
    S2 += r * C;
    S3 += P * C;
    S4 += (1 - pi) * A;
  }
  if (undefinedSum || IsZero(S3)) return Nodefinido;
  const double V = CheckedResult(S4 - (S1 - CheckedDiv(S2 * S2, S3)) / N);
  if (!(V > 0)) return Nodefinido;
  const double variance = CheckedDiv(q, V);
  if (!someZeroB && std::fabs(variance) > 1e10) return Nodefinido;
  return variance;
}

void tAnalisisDeltaMET::AssignStandardErrors() {
  std::int32_t k = ActiveDataIndex;
  if (VarDelta[k] <= 0) k = 2;  // the undefined marker is negative too
  Delta_MV.SE = SqrtOrNodefinido(VarDelta[k]);
  Delta_MV.DataIndex = k;
  DeltaM2_MV.SE = SqrtOrNodefinido(VarDelta[2]);
}

}  // namespace veltrano

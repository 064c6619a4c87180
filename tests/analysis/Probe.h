#pragma once
// Reaches the private stages of the analysis for tests.
#include <cmath>

#include "analysis/tAnalisisDeltaMET.h"
#include "numeric/FloatFaults.h"

namespace veltrano {

struct tAnalisisDeltaMETProbe {
  tAnalisisDeltaMET& a;
  double ScoreDelta(int t, double x) const { return a.ScoreDelta(t, x); }
  double ScoreSlope(int t, double x) const { return a.ScoreSlope(t, x); }
  double DiagonalRatioSum(int t) const { return a.DiagonalRatioSum(t); }
  double SolveDelta(int t, double x0) { return a.SolveDelta(t, x0); }
  double VarianceOfDelta(int t) const { return a.VarianceOfDelta(t); }
  tIC TestInversionInterval(int code) { return a.TestInversionInterval(code); }
  // The standard error of delta under the hypothesis delta = x on table t, the pi's
  // refitted there: what the interval's search steps with. Nodefinido where the fit fails.
  double NullSE(int t, double x) {
    a.Pi0.assign(static_cast<std::size_t>(a.M[static_cast<std::size_t>(t)].Dim.F) + 1, 0.0);
    double se = Nodefinido;
    try {
      double lambda;
      if (a.RestrictedPi(t, x, lambda)) {
        const double v = a.NullVariance(t, a.Pi0.data() + 1, x, lambda);
        if (v > 0) se = std::sqrt(v);
      }
    } catch (const FloatingPointError&) {
    }
    a.Pi0.clear();
    return se;
  }
  // Runs the stages of Execute up to the estimation, for tests that then drive the
  // later stages themselves.
  void PrepareAndEstimate() {
    a.PrepareTables();
    a.ClassifyTable(1);
    a.ClassifyTable(2);
    a.ActiveDataIndex = 1;
    a.ChooseActiveTable();
    a.Clases = a.M[static_cast<std::size_t>(a.ActiveDataIndex)].Dim.F;
    a.AllocateResults();
    a.EstimateParameters();
  }
};

}  // namespace veltrano

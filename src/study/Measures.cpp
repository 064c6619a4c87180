#include "study/Measures.h"

#include <cmath>

namespace veltrano {
namespace {

// A measure whose arithmetic left the finite numbers has no value: it is dropped
// rather than written as "inf" or "nan".
std::optional<double> Finite(std::optional<double> x) {
  return x && std::isfinite(*x) ? x : std::nullopt;
}

IntervalMeasures IntervalOf(const IntervalTally& t) {
  IntervalMeasures m;
  m.covered = t.covered;
  m.defined = t.width.count;
  if (m.defined >= 1) {
    const double p = static_cast<double>(m.covered) / static_cast<double>(m.defined);
    m.coverage = p;
    m.coverageMcse = std::sqrt(p * (1 - p) / static_cast<double>(m.defined));
    m.width = Finite(t.width.mean);
  }
  return m;
}

}  // namespace

void RunningMoments::Merge(const RunningMoments& later) noexcept {
  if (later.count == 0) return;
  if (count == 0) {
    *this = later;
    return;
  }
  const double total = static_cast<double>(count + later.count);
  const double share = static_cast<double>(later.count) / total;  // n_b / n
  const double d = later.mean - mean;
  mean += d * share;
  m2 += later.m2 + d * d * static_cast<double>(count) * share;  // + d²·n_a·n_b/n
  count += later.count;
}

void IntervalTally::Add(double lower, double upper, double truth) noexcept {
  if (lower <= truth && truth <= upper) ++covered;
  width.Add(upper - lower);
}

void IntervalTally::Merge(const IntervalTally& later) noexcept {
  covered += later.covered;
  width.Merge(later.width);
}

void EstimatorTally::Merge(const EstimatorTally& later) noexcept {
  estimate.Merge(later.estimate);
  squaredError.Merge(later.squaredError);
  absoluteError.Merge(later.absoluteError);
  squaredSe.Merge(later.squaredSe);
  wald.Merge(later.wald);
  inversion.Merge(later.inversion);
}

const char* EstimatorName(Estimator e) noexcept {
  switch (e) {
    case Estimator::Du: return "Du";
    case Estimator::Dc: return "Dc";
    case Estimator::DLN: return "DLN";
  }
  return "";
}

bool IsDefinedValue(double x) noexcept { return !IsNodefinido(x) && std::isfinite(x); }

void ConditionSummary::Add(const TestEstimates& t) {
  ++replications_;
  const double truth = t.doStar;
  const struct {
    double estimate, se;
  } values[] = {{t.du, t.seDu}, {t.dc, t.seDc}, {t.dln, Nodefinido}};
  for (std::size_t i = 0; i < tallies_.size(); ++i) {
    const double x = values[i].estimate;
    if (!IsDefinedValue(x)) continue;
    EstimatorTally& tally = tallies_[i];
    tally.estimate.Add(x);
    const double e = x - truth;
    tally.squaredError.Add(e * e);
    tally.absoluteError.Add(std::fabs(e));
    const double se = values[i].se;
    if (HasStandardError(se) && std::isfinite(se)) {
      tally.squaredSe.Add(se * se);
      tally.wald.Add(x - kWaldZ * se, x + kWaldZ * se, truth);
    }
  }
  if (IsDefinedValue(t.ciLower) && IsDefinedValue(t.ciUpper))
    tallies_[static_cast<std::size_t>(Estimator::Du)].inversion.Add(t.ciLower, t.ciUpper, truth);
}

void ConditionSummary::Merge(const ConditionSummary& later) noexcept {
  replications_ += later.replications_;
  for (std::size_t i = 0; i < tallies_.size(); ++i) tallies_[i].Merge(later.tallies_[i]);
}

EstimatorMeasures MeasuresOf(const ConditionSummary& s, Estimator e, double truth, bool inversionInterval) {
  const EstimatorTally& t = s.Of(e);
  EstimatorMeasures m;
  m.replications = s.Replications();
  m.defined = t.estimate.count;
  const auto Rd = static_cast<double>(m.defined);
  if (m.defined >= 1) {
    m.mean = t.estimate.mean;
    m.bias = t.estimate.mean - truth;
    m.rmse = std::sqrt(t.squaredError.mean);
    m.mae = t.absoluteError.mean;
  }
  if (m.defined >= 2) {
    const double s2 = t.estimate.SampleVariance();
    m.biasMcse = std::sqrt(s2 / Rd);
    m.empSe = std::sqrt(s2);
    m.empSeMcse = *m.empSe / std::sqrt(2 * (Rd - 1));
    // All errors 0 make rmse 0 and leave nothing to vary: its MCSE is 0, not 0/0.
    m.rmseMcse = *m.rmse > 0 ? std::sqrt(t.squaredError.m2 / (Rd * (Rd - 1))) / (2 * *m.rmse) : 0.0;
    m.maeMcse = std::sqrt(t.absoluteError.SampleVariance() / Rd);
  }
  if (HasModelSe(e)) {
    const std::int64_t Rs = t.squaredSe.count;
    const auto rs = static_cast<double>(Rs);
    const double varSe2 = Rs >= 2 ? t.squaredSe.SampleVariance() : 0.0;
    if (Rs >= 1) m.modelSe = std::sqrt(t.squaredSe.mean);
    if (Rs >= 2) m.modelSeMcse = std::sqrt(varSe2 / (4 * rs * *m.modelSe * *m.modelSe));
    if (m.modelSe && m.empSe && *m.empSe > 0) {
      const double model = *m.modelSe;
      const double ratio = model / *m.empSe;
      m.modelSeRelError = 100 * (ratio - 1);
      if (Rs >= 2)
        m.modelSeRelErrorMcse =
            100 * ratio * std::sqrt(varSe2 / (4 * rs * model * model * model * model) + 1 / (2 * (Rd - 1)));
    }
    m.wald = IntervalOf(t.wald);
  }
  if (e == Estimator::Du && inversionInterval) m.inversion = IntervalOf(t.inversion);

  for (std::optional<double>* x : {&m.mean, &m.bias, &m.biasMcse, &m.empSe, &m.empSeMcse, &m.rmse, &m.rmseMcse,
                                   &m.mae, &m.maeMcse, &m.modelSe, &m.modelSeMcse, &m.modelSeRelError,
                                   &m.modelSeRelErrorMcse})
    *x = Finite(*x);
  return m;
}

}  // namespace veltrano

#pragma once
// Performance measures of the estimators over the replications of one condition, with
// their Monte Carlo standard errors (Morris, White & Crowther, "Using simulation studies
// to evaluate statistical methods", Statistics in Medicine 2019, table of performance
// measures).
//
// Over the R_d replications whose estimate is defined, with θ the truth (Do*),
// e_i = θ̂_i − θ and s² the sample variance of θ̂ (divisor R_d − 1):
//   mean    Σθ̂_i / R_d
//   bias    mean − θ                          MCSE √(s²/R_d)
//   emp_se  s                                 MCSE s / √(2(R_d − 1))
//   rmse    √(Σe_i²/R_d) (mse its square)     MCSE √(Σ(e_i² − mse)² / (R_d(R_d − 1))) / (2·rmse)
//   mae     Σ|e_i| / R_d                      MCSE sd(|e|) / √R_d
// Over the R_s tests whose standard error is given (defined and > 0):
//   model_se  √(mean of SE_i²)                MCSE √(var(SE²) / (4·R_s·model_se²))
//   model_se_rel_error  100(model_se/emp_se − 1)
//            MCSE 100(model_se/emp_se)·√(var(SE²)/(4·R_s·model_se⁴) + 1/(2(R_d − 1)))
// An interval covers when lower ≤ θ ≤ upper; over the tests whose two limits are
// defined, coverage p = covered/defined with MCSE √(p(1 − p)/defined), and width is the
// mean of upper − lower. The Wald interval is θ̂ ± 1.96·SE; the test-inversion interval
// is the analysis's own (Du only, when it is computed).
//
// R_s stands where the formulas of Morris et al. have the number of replications,
// because it is the number of values the model SE averages; it is R_d whenever every
// defined estimate has a standard error. An undefined estimate counts as a
// replication and is never averaged. When all e_i are 0, rmse is 0 and so is its MCSE
// (nothing varies); every other measure whose formula cannot be evaluated (too few
// values, emp_se = 0 under a ratio) has no value.
//
// Sums are running means and sums of squared deviations (Welford), and partial results
// combine by the pairwise formulas of Chan, Golub & LeVeque. Floating-point sums depend
// on their order, so a condition's summary is defined as the in-order Merge of the
// summaries of its consecutive blocks of kSummaryBlock replications, each accumulated
// test by test: SummaryBuilder does exactly that for a caller that has its tests one by
// one, and a study does it on many threads with the same result.
#include <array>
#include <cstdint>
#include <optional>

#include "simulation/ExamResults.h"

namespace veltrano {

/// Count, mean and sum of squared deviations of a stream of numbers.
struct RunningMoments {
  std::int64_t count = 0;
  double mean = 0;
  double m2 = 0;  // Σ(x − mean)²

  void Add(double x) noexcept {
    ++count;
    const double d = x - mean;
    mean += d / static_cast<double>(count);
    m2 += d * (x - mean);
  }
  /// Adds the numbers summarised by `later`, as if they had followed these.
  void Merge(const RunningMoments& later) noexcept;
  /// m2 / (count − 1); only for count ≥ 2.
  double SampleVariance() const noexcept { return m2 / static_cast<double>(count - 1); }
};

/// An interval's tally: how many had two defined limits (width.count), how many of
/// those covered the truth, and their widths.
struct IntervalTally {
  std::int64_t covered = 0;
  RunningMoments width;

  void Add(double lower, double upper, double truth) noexcept;
  void Merge(const IntervalTally& later) noexcept;
};

/// The running sums of one estimator.
struct EstimatorTally {
  RunningMoments estimate;       // θ̂ over the defined estimates
  RunningMoments squaredError;   // e²
  RunningMoments absoluteError;  // |e|
  RunningMoments squaredSe;      // SE² over the given standard errors
  IntervalTally wald;            // θ̂ ± 1.96·SE
  IntervalTally inversion;       // the test-inversion interval (Du)

  void Merge(const EstimatorTally& later) noexcept;
};

enum class Estimator : std::uint8_t { Du, Dc, DLN };
inline constexpr std::array<Estimator, 3> kEstimators = {Estimator::Du, Estimator::Dc, Estimator::DLN};
/// "Du", "Dc" or "DLN", as the rows name them.
const char* EstimatorName(Estimator e) noexcept;

/// The 97.5 % point of the standard normal: the z of the Wald interval θ̂ ± z·SE, and of
/// every ± z band or bar drawn about a mean or a measure (95 % of a normal within it).
inline constexpr double kWaldZ = 1.96;

/// An estimate or limit that takes part in the sums: defined and finite.
bool IsDefinedValue(double x) noexcept;

/// The running sums of the three estimators over the tests of one condition.
class ConditionSummary {
public:
  /// Adds one test's estimates; its doStar is the truth.
  void Add(const TestEstimates& t);
  /// Adds the tests summarised by `later`, as if they had followed these.
  void Merge(const ConditionSummary& later) noexcept;

  std::int64_t Replications() const noexcept { return replications_; }
  const EstimatorTally& Of(Estimator e) const noexcept { return tallies_[static_cast<std::size_t>(e)]; }

private:
  std::int64_t replications_ = 0;
  std::array<EstimatorTally, 3> tallies_;
};

/// The replications a block of a condition's summary holds (see the header comment).
inline constexpr std::int64_t kSummaryBlock = 128;

/// A condition's summary from its tests in replication order, block by block.
class SummaryBuilder {
public:
  void Add(const TestEstimates& t) {
    block_.Add(t);
    if (block_.Replications() == kSummaryBlock) {
      total_.Merge(block_);
      block_ = ConditionSummary{};
    }
  }
  /// The merged summaries of the complete blocks so far, and the block being filled: the
  /// summary of every test added so far is Complete() merged with Open().
  const ConditionSummary& Complete() const noexcept { return total_; }
  const ConditionSummary& Open() const noexcept { return block_; }

  /// The summary of every test added so far.
  ConditionSummary Summary() const {
    ConditionSummary s = total_;
    s.Merge(block_);
    return s;
  }

private:
  ConditionSummary total_;
  ConditionSummary block_;
};

/// The measures of an interval; an absent value has none.
struct IntervalMeasures {
  std::int64_t covered = 0;
  std::int64_t defined = 0;
  std::optional<double> coverage, coverageMcse, width;
};

/// The measures of one estimator in one condition; an absent value has none, an absent
/// interval does not apply to the estimator.
struct EstimatorMeasures {
  std::int64_t replications = 0;
  std::int64_t defined = 0;
  std::optional<double> mean, bias, biasMcse, empSe, empSeMcse, rmse, rmseMcse, mae, maeMcse;
  std::optional<double> modelSe, modelSeMcse, modelSeRelError, modelSeRelErrorMcse;
  std::optional<IntervalMeasures> wald, inversion;
};

/// Whether the estimator has a standard error (Du and Dc do; D Lord & Novick does not).
constexpr bool HasModelSe(Estimator e) noexcept { return e != Estimator::DLN; }

/// The measures of estimator e at truth θ. The test-inversion interval applies to Du
/// when the study computed it (inversionInterval).
EstimatorMeasures MeasuresOf(const ConditionSummary& s, Estimator e, double truth, bool inversionInterval);

}  // namespace veltrano

#pragma once
// How many replications a study needs for a wanted Monte Carlo SE, from a pilot study's
// summary rows (Morris, White & Crowther, "Using simulation studies to evaluate statistical
// methods", Statistics in Medicine 2019, section 5.3).
//
// A measure's MCSE shrinks as one over the root of the values it averages, and the pilot
// estimates the spread that sets it:
//   bias      MCSE = SD/√R_d                  R_d = SD² / MCSE²
//   emp_se    MCSE = SD/√(2(R_d − 1))         R_d = 1 + SD² / (2·MCSE²)
//   coverage  MCSE = √(p(1 − p)/R_i)          R_i = p(1 − p) / MCSE²
// with SD the pilot's empirical SE (emp_se) and p its coverage. A pilot coverage of 0 or 1
// says nothing of p(1 − p), so such a row takes the worst case p = 0.5 (and says so). R_d
// counts the defined estimates and R_i the intervals with both limits; the replications
// needed are R_d (or R_i) divided by the share of the pilot's replications that gave one
// (defined / replications, wald_defined or ci_defined / replications), rounded up, and at
// least 1.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "study/StudyConditions.h"

namespace veltrano {

enum class PlanMeasure : std::uint8_t { Bias, EmpSe, Coverage };

/// A Monte Carlo SE wanted for a measure: "bias=0.001", "emp_se=0.002", "coverage=0.005".
struct PlanTarget {
  PlanMeasure measure = PlanMeasure::Coverage;
  double mcse = 0;
};

/// Reads targets separated by commas ("coverage=0.005,bias=0.001"). Raises
/// StudyInputError naming --target.
std::vector<PlanTarget> ParsePlanTargets(std::string_view text);

/// The replications one condition needs for one measure of one estimator.
struct ReplicationPlan {
  std::int64_t condition = 0;
  Condition values;            // n, k, Do
  std::string estimator;       // Du, Dc or DLN
  std::string measure;         // bias, emp_se, wald_coverage or ci_coverage
  double target = 0;           // the MCSE wanted
  std::int64_t pilot = 0;      // the pilot's replications
  std::optional<double> basis; // SD or p as used; none when the pilot has no value
  bool worstCase = false;      // p = 0.5 taken, the pilot's coverage being 0 or 1
  std::optional<std::int64_t> replications;  // needed; none without a basis
};

/// The plans for every row of a study output (CSV of either generator, or JSON rows),
/// every target and every measure it applies to (coverage: the Wald interval of Du and
/// Dc, and Du's test-inversion interval when the pilot computed it), in the rows' order.
/// Raises StudyInputError naming `name` and the line for a row it cannot read.
std::vector<ReplicationPlan> PlanReplications(std::istream& rows, const std::string& name,
                                              const std::vector<PlanTarget>& targets);

/// The plan's CSV header (without its line end), and one plan as a CSV row ending in "\n":
///   condition,n,k,do,estimator,measure,target_mcse,pilot_replications,basis,worst_case,
///   replications
std::string_view PlanHeader();
void AppendPlanRow(std::string& out, const ReplicationPlan& plan);

}  // namespace veltrano

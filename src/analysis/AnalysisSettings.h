#pragma once
// The settings an analysis of one table is made with, and the one way every caller
// (the simulation run, veltrano-batch analyse, the answer sheets) configures it, so
// that the same table always gives the same record.
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/tAnalisisDeltaMET.h"

namespace veltrano {

/// The fewest alternatives an item may have (with one there is nothing to guess between)
/// and the most (the letters A to J): the range of k for every table, sheet and setting.
inline constexpr int kMinAlternatives = 2;
inline constexpr int kMaxAlternatives = 10;

struct AnalysisSettings {
  std::int32_t tolerance = 10;      // exponent T of the convergence tolerance 10^-T
  std::int32_t maxIterations = 500; // iteration limit of every iteration
  std::int32_t decimals = 3;        // decimals of the record
  bool ci = false;                  // the test-inversion interval of delta
  bool alternative = true;          // the conditional estimate Dk&a (and its SE) in the record
};

/// Configures a created analysis: the standard error of delta always, the interval and
/// the alternative measures as set, then the tolerance, iteration limit and decimals.
inline void ConfigureAnalysis(tAnalisisDeltaMET& a, const AnalysisSettings& s) {
  a.output_Config(true, s.ci, s.alternative, s.alternative);
  a.Analysis_AssignParams(s.tolerance, s.maxIterations, s.decimals);
}

/// The analysis of one table, as every caller makes it: created on the table (sharing its
/// cells; listing is a simulated test's item listing, or null), configured with s and
/// executed. Its results are read from a; a.Finaliza() (or a's end) releases it.
inline void RunAnalysis(tAnalisisDeltaMET& a, const tBfMatriz& table, const AnalysisSettings& s,
                        const std::vector<std::string>* listing = nullptr) {
  a.Create(table, listing, 1, "");
  ConfigureAnalysis(a, s);
  a.Execute(nullptr);
}

}  // namespace veltrano

#pragma once
// One simulated test at a time, made and analysed exactly as the simulation run makes
// and analyses each of its tests, for callers that want the estimates and not the
// run's text: simulation studies and per-degree summaries.
//
// The draws are the run's when it writes no item listing: a generator seeded with S
// and fed to MakeTable test after test gives the tables of `simulate --seed S` with the
// same n, k and Do, in the same order.
#include <cstdint>
#include <vector>

#include "analysis/AnalysisSettings.h"
#include "numeric/UniformGenerator.h"
#include "simulation/ExamResults.h"
#include "simulation/SimulatedExam.h"
#include "table/tBfMatriz.h"

namespace veltrano {

/// Do*, the realised degree of knowledge of a test of n items at degree D (percent):
/// the known items KnownCount(n, D) over n.
double RealisedDegree(std::int32_t n, std::int32_t D);

/// The analysis settings of a test whose estimates are all wanted: the given tolerance,
/// iteration limit and interval switch, the alternative measures (Dc) always on.
AnalysisSettings EstimatesAnalysis(std::int32_t tolerance, std::int32_t maxIterations, bool ci);

class ExamSimulator {
public:
  /// Tests of n items with k alternatives each.
  ExamSimulator(std::int32_t n, std::int32_t k);

  std::int32_t n() const noexcept { return generation_.n; }
  std::int32_t k() const noexcept { return generation_.k; }

  /// Draws one test at degree D (percent) from rng: the known items, then the others,
  /// tallied into a fresh k × k table whose margins are then computed.
  template <TestUniform G>
  tBfMatriz MakeTable(std::int32_t D, G& rng);

  /// The same test with one line per item appended to listing, as the run's full output
  /// lists them with "Sort known" on (items in their own order, known items first): the
  /// order takes no draws, so the test is the one MakeTable draws.
  template <TestUniform G>
  tBfMatriz MakeListedTable(std::int32_t D, G& rng, std::vector<std::string>& listing);

private:
  TestGeneration generation_;
  std::vector<item> items_;
};

/// Analyses the table of a test of n items with the delta model as the run does (a
/// fresh analysis, created on the table, configured with settings, executed) and
/// returns its estimates with the truth doStar and the test's Lord & Novick value.
/// Errors of the analysis propagate.
TestEstimates AnalyseTest(const tBfMatriz& table, std::int32_t n, double doStar, const AnalysisSettings& settings);

}  // namespace veltrano

#pragma once
// The simulation run: what the window's Ok button starts. It walks the degrees of
// knowledge from Do (to Dmax when iterating), simulates the requested number of tests
// for every degree, tallies each into a fresh observed table, analyses it with the
// delta model and writes the test's text lines and chart points to its host.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/tAnalisisDeltaMET.h"
#include "numeric/UniformGenerator.h"
#include "simulation/RunHost.h"
#include "simulation/RunSettings.h"
#include "simulation/SimulatedExam.h"
#include "table/tBfMatriz.h"

namespace veltrano {

enum class RunEnd { Completed, Cancelled };

class SimulationRun {
public:
  /// A run that draws from rng (the process-wide generator by default).
  explicit SimulationRun(UniformGenerator& rng = ProcessUniform()) noexcept : rng_(&rng) {}

  /// Runs the simulation with the given settings, writing everything to host. An
  /// error ends the run where it stands and propagates; what was written stays.
  RunEnd Execute(const RunSettings& settings, RunHost& host);

  // The window fields a run sets; they keep the values of the last test.
  std::int32_t n = 0;           // test length of the current run
  std::int32_t k = 0;           // alternatives per item of the current run
  std::int32_t d0 = 0;          // Do of the current run
  std::int32_t tests = 0;       // tests per degree of the current run
  std::int32_t n_conocido = 0;  // known items of the current test
  double dreal = 0;             // realised degree of knowledge Do* of the current test
  double dLN = 0;               // Lord & Novick value of the current test
  std::vector<item> items;      // the items of the current test, entries 0..n
  tBfMatriz Tabla;              // the observed table of the current test

  /// Sorts the listing ascending, whole lines compared byte by byte with A–Z read as
  /// a–z (no locale), and renumbers each line's key (the text before its first tab)
  /// 001, 002, … in the order shown.
  static void SortAndRenumber(std::vector<std::string>& listing);

private:
  void OneTest(int D, int L);
  void DataPaneBlock();
  // Per-test analysis and results.
  void AnalysisStep();
  void ResultsLines(int L);
  void ChartPoints();

  UniformGenerator* rng_;
  const RunSettings* s_ = nullptr;
  RunHost* host_ = nullptr;
  std::vector<std::string> listing_;
  TestGeneration generation_;
  std::unique_ptr<tAnalisisDeltaMET> analysis_;
  std::string doStarText_;
  std::string tableCells_;
  std::string tableCaption_;
  std::string analysisHeader_;
  std::string line_;  // reused for every line written
};

}  // namespace veltrano

#include "simulation/ExamSimulator.h"

namespace veltrano {

double RealisedDegree(std::int32_t n, std::int32_t D) { return static_cast<double>(KnownCount(n, D)) / n; }

AnalysisSettings EstimatesAnalysis(std::int32_t tolerance, std::int32_t maxIterations, bool ci) {
  AnalysisSettings s;
  s.tolerance = tolerance;
  s.maxIterations = maxIterations;
  s.ci = ci;
  s.alternative = true;
  return s;
}

ExamSimulator::ExamSimulator(std::int32_t n, std::int32_t k) {
  generation_.n = n;
  generation_.k = k;
  generation_.placeholder = KnownPlaceholder(k);
}

template <TestUniform G>
tBfMatriz ExamSimulator::MakeTable(std::int32_t D, G& rng) {
  items_.assign(static_cast<std::size_t>(generation_.n) + 1, item{});
  tBfMatriz table = tBfMatriz::MCReal(generation_.k);
  const std::int32_t known = KnownCount(generation_.n, D);
  generation_.KnownItemsPhase(known, items_, table, rng);
  generation_.RemainingItemsPhase(known, items_, table, rng);
  table.GetTotales();
  return table;
}

template <TestUniform G>
tBfMatriz ExamSimulator::MakeListedTable(std::int32_t D, G& rng, std::vector<std::string>& listing) {
  TestGeneration listed = generation_;
  listed.sortKnown = true;
  listed.listing = &listing;
  items_.assign(static_cast<std::size_t>(generation_.n) + 1, item{});
  tBfMatriz table = tBfMatriz::MCReal(generation_.k);
  const std::int32_t known = KnownCount(generation_.n, D);
  listed.KnownItemsPhase(known, items_, table, rng);
  listed.RemainingItemsPhase(known, items_, table, rng);
  table.GetTotales();
  return table;
}

template tBfMatriz ExamSimulator::MakeTable(std::int32_t, UniformGenerator&);
template tBfMatriz ExamSimulator::MakeTable(std::int32_t, PhiloxStream&);
template tBfMatriz ExamSimulator::MakeListedTable(std::int32_t, UniformGenerator&, std::vector<std::string>&);
template tBfMatriz ExamSimulator::MakeListedTable(std::int32_t, PhiloxStream&, std::vector<std::string>&);

TestEstimates AnalyseTest(const tBfMatriz& table, std::int32_t n, double doStar, const AnalysisSettings& settings) {
  tAnalisisDeltaMET a;
  RunAnalysis(a, table, settings);
  return EstimatesOf(a, doStar, LordNovick(table.Dim.F, n, CorrectAnswers(table)));
}

}  // namespace veltrano

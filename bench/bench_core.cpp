// Speed of the core: number text, test generation against a draws-only baseline, and
// the analysis of one table with and without the interval, and of a study's tests with it.
//
//   cmake -S . -B build -DVELTRANO_BUILD_BENCH=ON && cmake --build build --target bench_core
//   ./build/bench/bench_core
//
// The generation benchmarks report x_baseline: their time per item over the time per
// item of a loop that makes the same uniform draws and table increments and nothing
// else, measured just before them in the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "analysis/tAnalisisDeltaMET.h"
#include "numeric/NumStr.h"
#include "numeric/UniformGenerator.h"
#include "simulation/ExamSimulator.h"
#include "simulation/SimulatedExam.h"

namespace veltrano {
namespace {

using Clock = std::chrono::steady_clock;

void BM_NumStr(benchmark::State& state) {
  double x = 0.123456789;
  std::string out;
  for (auto _ : state) {
    out.clear();
    AppendNumStr(out, x, 8, static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(out.data());
    x += 1.0000001;
  }
}
BENCHMARK(BM_NumStr)->Arg(0)->Arg(3)->Arg(8)->Arg(-1);

constexpr int kItems = 1000;
constexpr int kDo = 50;

// Draws one test of kItems items; returns how many uniform draws it made.
long GenerateOnce(int k, UniformGenerator& rng, std::vector<item>& items, tBfMatriz& table) {
  TestGeneration gen;
  gen.n = kItems;
  gen.k = k;
  const std::uint32_t before = rng.State();
  items.assign(kItems + 1, item{});
  table = tBfMatriz::MCReal(k);
  const int known = KnownCount(kItems, kDo);
  gen.KnownItemsPhase(known, items, table, rng);
  gen.RemainingItemsPhase(known, items, table, rng);
  UniformGenerator counter(before);
  long draws = 0;
  while (counter.State() != rng.State()) {
    counter.Draw();
    ++draws;
  }
  return draws;
}

std::map<int, double> baselineNsPerItem;

void BM_DrawsBaseline(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  UniformGenerator probe(1);
  std::vector<item> items;
  tBfMatriz table;
  long draws = 0;
  for (int i = 0; i < 20; ++i) draws += GenerateOnce(k, probe, items, table);
  draws /= 20;  // the average number of draws of one test

  UniformGenerator rng(1);
  const auto start = Clock::now();
  for (auto _ : state) {
    tBfMatriz t = tBfMatriz::MCReal(k);
    double acc = 0;
    for (long d = 0; d < draws; ++d) acc += rng.Draw();
    for (int i = 0; i < kItems; ++i) t.X[1 + i % k][1 + (i / k) % k] += 1;
    benchmark::DoNotOptimize(acc);
    benchmark::DoNotOptimize(t.X[1]);
  }
  const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  baselineNsPerItem[k] = ns / static_cast<double>(state.iterations()) / kItems;
  state.SetItemsProcessed(state.iterations() * kItems);
  state.counters["draws_per_test"] = static_cast<double>(draws);
}

void BM_Generation(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  UniformGenerator rng(1);
  std::vector<item> items;
  tBfMatriz table;
  TestGeneration gen;
  gen.n = kItems;
  gen.k = k;
  const auto start = Clock::now();
  for (auto _ : state) {
    items.assign(kItems + 1, item{});
    table = tBfMatriz::MCReal(k);
    const int known = KnownCount(kItems, kDo);
    gen.KnownItemsPhase(known, items, table, rng);
    gen.RemainingItemsPhase(known, items, table, rng);
    benchmark::DoNotOptimize(table.X[1]);
  }
  const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  const double perItem = ns / static_cast<double>(state.iterations()) / kItems;
  state.SetItemsProcessed(state.iterations() * kItems);
  if (baselineNsPerItem.count(k) != 0) state.counters["x_baseline"] = perItem / baselineNsPerItem[k];
}

BENCHMARK(BM_DrawsBaseline)->Arg(3)->Arg(10);
BENCHMARK(BM_Generation)->Arg(3)->Arg(10);

// A typical observed table: a simulated test at Do = 50 with N items.
tBfMatriz TypicalTable(int k, int N) {
  UniformGenerator rng(2026);
  std::vector<item> items(static_cast<std::size_t>(N) + 1);
  tBfMatriz t = tBfMatriz::MCReal(k);
  TestGeneration gen;
  gen.n = N;
  gen.k = k;
  const int known = KnownCount(N, kDo);
  gen.KnownItemsPhase(known, items, t, rng);
  gen.RemainingItemsPhase(known, items, t, rng);
  t.GetTotales();
  return t;
}

void BM_Execute(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  const int N = static_cast<int>(state.range(1));
  const bool ci = state.range(2) != 0;
  tBfMatriz t = TypicalTable(k, N);
  for (auto _ : state) {
    tAnalisisDeltaMET a;
    a.Create(t, nullptr, 1, "");
    a.output_Config(true, ci, true, true);
    a.Analysis_AssignParams(10, 500, 3);
    a.Execute();
    benchmark::DoNotOptimize(a.Delta_MV.Estimador);
    a.Finaliza();
  }
  state.SetLabel(ci ? "interval on" : "interval off");
}
BENCHMARK(BM_Execute)
    ->ArgsProduct({{3, 10}, {100, 100000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// The analysis of a study's tests with the interval on: n = 100, k = 3, Do 0..100 step
// 10, 100 tests drawn at each degree as a study draws them, analysed with the study's
// settings (tolerance 10^-10, 500 iterations), one test per benchmark iteration in turn.
// The time per iteration is the mean over the grid's degrees.
void BM_ExecuteStudyGrid(benchmark::State& state) {
  constexpr int kN = 100, kK = 3, kPerDegree = 100;
  static const std::vector<tBfMatriz> tables = [] {
    std::vector<tBfMatriz> t;
    ExamSimulator sim(kN, kK);
    UniformGenerator rng(2026);
    for (int D = 0; D <= 100; D += 10)
      for (int r = 0; r < kPerDegree; ++r) t.push_back(sim.MakeTable(D, rng));
    return t;
  }();
  std::size_t i = 0;
  for (auto _ : state) {
    tAnalisisDeltaMET a;
    a.Create(tables[i], nullptr, 1, "");
    ConfigureAnalysis(a, EstimatesAnalysis(10, 500, true));
    a.Execute();
    benchmark::DoNotOptimize(a.ICITest.LS);
    a.Finaliza();
    if (++i == tables.size()) i = 0;
  }
  state.SetLabel("interval on, n = 100, k = 3, Do 0..100 step 10");
}
BENCHMARK(BM_ExecuteStudyGrid)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace veltrano

BENCHMARK_MAIN();

// Speed of the whole run as veltrano-batch simulate makes it, on one thread and on every
// core, and what the per-degree summary adds to it.
//
//   cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVELTRANO_BUILD_BENCH=ON
//   cmake --build build --target bench_run && ./build/bench/bench_run
//
// BM_Simulate runs `simulate` in-process with the settings of the speed goals (n = 100,
// k = 4, Do 10..90 step 10, 10 000 tests per degree, text on, every output to a file)
// on 1 and 2 threads; BM_SimulateSpeedup times the two one after the other in each
// iteration and reports their ratio. BM_Summary times a run of 10^5 tests with and
// without the summary's observer, and reports the cost of the summary in percent.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "simulation/NullHost.h"
#include "batch/Simulate.h"
#include "numeric/UniformGenerator.h"
#include "simulation/SimulationRun.h"
#include "study/RunSummary.h"

namespace veltrano {
namespace {

using Clock = std::chrono::steady_clock;

std::filesystem::path Scratch() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("veltrano-bench-run-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

batch::SimulateOptions Goal(bool interval, int jobs) {
  batch::SimulateOptions o;
  RunSettings& s = o.settings;
  s.SpinEdit_n = 100;
  s.SpinEdit_k = 4;
  s.SpinEdit_D0 = 10;
  s.CheckBox_Iterate = true;
  s.SpinEdit_Dmax = 90;
  s.SpinEdit_Step = 10;
  s.SpinEdit_Test = 10000;
  s.CheckBox_CI = interval;
  o.seed = 1;
  o.jobs = jobs;
  o.quiet = true;
  o.data = (Scratch() / "data").string();
  o.residuals = (Scratch() / "residuals").string();
  o.points = (Scratch() / "points").string();
  return o;
}

constexpr double kGoalTests = 90000;

double Seconds(const batch::SimulateOptions& o) {
  std::istringstream in;
  std::ostringstream out, err;
  batch::Console console{in, out, err, false};
  const auto start = Clock::now();
  if (batch::Simulate(o, console) != 0) std::abort();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_Simulate(benchmark::State& state) {
  const auto o = Goal(state.range(0) != 0, static_cast<int>(state.range(1)));
  for (auto _ : state) state.SetIterationTime(Seconds(o));
  state.counters["tests_per_s"] = benchmark::Counter(kGoalTests, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Simulate)
    ->ArgNames({"interval", "jobs"})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({1, 1})
    ->Args({1, 2})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

void BM_SimulateSpeedup(benchmark::State& state) {
  const bool interval = state.range(0) != 0;
  double one = 0, two = 0;
  for (auto _ : state) {
    one += Seconds(Goal(interval, 1));
    two += Seconds(Goal(interval, 2));
  }
  state.counters["speedup_2_jobs"] = one / two;
  state.counters["tests_per_s_2_jobs"] = kGoalTests * static_cast<double>(state.iterations()) / two;
}
BENCHMARK(BM_SimulateSpeedup)->ArgName("interval")->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);


double RunSeconds(bool summarised) {
  RunSettings s;
  s.SpinEdit_D0 = 0;
  s.CheckBox_Iterate = true;
  s.SpinEdit_Dmax = 90;
  s.SpinEdit_Test = 10000;  // 10^5 tests
  UniformGenerator rng(1);
  SimulationRun run(rng, 1);
  RunSummary summary;
  if (summarised) run.SetObserver(&summary);
  NullHost host;
  const auto start = Clock::now();
  run.Execute(s, host);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_Summary(benchmark::State& state) {
  double without = 0, with = 0;
  for (auto _ : state) {
    without += RunSeconds(false);
    with += RunSeconds(true);
  }
  state.counters["summary_cost_percent"] = 100.0 * (with - without) / without;
}
BENCHMARK(BM_Summary)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace veltrano

BENCHMARK_MAIN();

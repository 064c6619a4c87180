// Speed of simulation studies: tests per second of the grid of a 10^7-test study,
// scaled down, on one and two threads; the two generators side by side; a one-condition study on one thread against the
// run of `simulate --no-text` with the same tests; the interval on at n = 100, k = 3.
//
//   cmake -S . -B build -DVELTRANO_BUILD_BENCH=ON && cmake --build build --target bench_study
//   ./build/bench/bench_study
//
// Wall-clock rates (items_per_second, real time) are what a user waits for; the
// machine's other load lowers them. cpu_us_per_test is the whole process's CPU time
// per test, all threads together, and does not depend on that load.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <map>
#include <string_view>

#include "simulation/NullHost.h"
#include "simulation/ExamSimulator.h"
#include "simulation/SimulationRun.h"
#include "study/Study.h"

namespace veltrano {
namespace {

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// A sink that keeps nothing: the rows' formatting is done, their writing is not.
struct DiscardingSink final : StudySink {
  std::size_t bytes = 0;
  void TestRows(std::string_view r) override { bytes += r.size(); }
  void ConditionRows(std::string_view r) override { bytes += r.size(); }
};

StudyDefinition Grid(std::vector<std::int32_t> n, std::vector<std::int32_t> k, std::vector<std::int32_t> D,
                     std::int64_t R, bool ci, StudyGenerator generator = StudyGenerator::Lcg) {
  StudyDefinition s;
  s.generator = generator;
  s.conditions = StudyConditions::Grid(std::move(n), std::move(k), std::move(D));
  s.replications = R;
  s.seed = 2026;
  s.ci = ci;
  return s;
}

std::vector<std::int32_t> DegreesByTen() {
  std::vector<std::int32_t> d;
  for (int D = 0; D <= 100; D += 10) d.push_back(D);
  return d;
}

void RunStudyBenchmark(benchmark::State& state, const StudyDefinition& s, int jobs) {
  const std::int64_t tests = s.conditions.Count() * s.replications;
  const double cpuStart = ProcessCpuSeconds();
  for (auto _ : state) {
    DiscardingSink sink;
    ExecuteStudy(s, {}, {RowFormat::Csv, false, jobs}, sink);
    benchmark::DoNotOptimize(sink.bytes);
  }
  const double cpu = ProcessCpuSeconds() - cpuStart;
  state.SetItemsProcessed(state.iterations() * tests);
  state.counters["cpu_us_per_test"] = 1e6 * cpu / static_cast<double>(state.iterations() * tests);
  state.counters["jobs"] = jobs;
}

// The grid of the 10^7-test study (n ∈ {20, 50, 100}, k ∈ {2, 3, 4, 5}, Do 0..100 step
// 10: 132 conditions) with 758 replications instead of 75 758: 100 056 tests.
void BM_StudyGrid(benchmark::State& state) {
  static const StudyDefinition s = Grid({20, 50, 100}, {2, 3, 4, 5}, DegreesByTen(), 758, false);
  RunStudyBenchmark(state, s, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_StudyGrid)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// The serial part of that study: every table drawn in order, one generator per
// condition, as the pipeline's first stage draws them (and nothing else). On P cores a
// study cannot go faster than one test per max(this, cpu_us_per_test / P).
void BM_StudyGridDrawsOnly(benchmark::State& state) {
  static const StudyDefinition s = Grid({20, 50, 100}, {2, 3, 4, 5}, DegreesByTen(), 758, false);
  const std::int64_t tests = s.conditions.Count() * s.replications;
  const double cpuStart = ProcessCpuSeconds();
  for (auto _ : state) {
    for (std::int64_t i = 1; i <= s.conditions.Count(); ++i) {
      const ConditionRecord r = RecordOf(s, i);
      ExamSimulator sim(r.condition.n, r.condition.k);
      UniformGenerator rng(r.seed);
      for (std::int64_t t = 0; t < s.replications; ++t) {
        tBfMatriz table = sim.MakeTable(r.condition.D, rng);
        benchmark::DoNotOptimize(table.X[1]);
      }
    }
  }
  const double cpu = ProcessCpuSeconds() - cpuStart;
  state.SetItemsProcessed(state.iterations() * tests);
  state.counters["cpu_us_per_test"] = 1e6 * cpu / static_cast<double>(state.iterations() * tests);
}
BENCHMARK(BM_StudyGridDrawsOnly)->UseRealTime()->Unit(benchmark::kMillisecond);

// The interval on at n = 100, k = 3, Do 0..100 step 10, 1000 replications each (a
// condition's blocks of 128 tests then spread over the threads; with fewer replications
// than a block, the slowest degree alone sets the time).
void BM_StudyInterval(benchmark::State& state) {
  static const StudyDefinition s = Grid({100}, {3}, DegreesByTen(), 1000, true);
  RunStudyBenchmark(state, s, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_StudyInterval)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// The two generators on the grid of BM_StudyGrid (interval off), run one after the other
// in every iteration so that the machine's other load falls on them alike: lcg on one
// thread, philox on one and on two. Counters, over all iterations:
//   philox_cpu_x_lcg        CPU per test with philox over that with lcg, one thread each
//   philox_2_jobs_speedup   philox's wall time on one thread over that on two
//   ordered_share_1, _2     philox's ordered stages (naming blocks, merging summaries,
//                           writing rows) over its workers' stage, on one and two threads:
//                           the share of a test's cost that stays serial
// and the CPU per test of each.
double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void BM_StudyGenerators(benchmark::State& state) {
  static const StudyDefinition lcg = Grid({20, 50, 100}, {2, 3, 4, 5}, DegreesByTen(), 758, false);
  static const StudyDefinition philox =
      Grid({20, 50, 100}, {2, 3, 4, 5}, DegreesByTen(), 758, false, StudyGenerator::Philox);
  const auto tests = static_cast<double>(lcg.conditions.Count() * lcg.replications);
  struct Total {
    double cpu = 0, wall = 0;
    StageTimes stages;
  } total[3];  // lcg 1, philox 1, philox 2
  const auto run = [](const StudyDefinition& s, int jobs, Total& t) {
    DiscardingSink sink;
    StageTimes stages;
    StudyRunOptions o{RowFormat::Csv, false, jobs};
    o.stageTimes = &stages;
    const double cpu = ProcessCpuSeconds(), wall = WallSeconds();
    ExecuteStudy(s, {}, o, sink);
    t.cpu += ProcessCpuSeconds() - cpu;
    t.wall += WallSeconds() - wall;
    t.stages.ordered += stages.ordered;
    t.stages.work += stages.work;
    benchmark::DoNotOptimize(sink.bytes);
  };
  for (auto _ : state) {
    run(lcg, 1, total[0]);
    run(philox, 1, total[1]);
    run(philox, 2, total[2]);
  }
  const double n = static_cast<double>(state.iterations()) * tests;
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(3 * tests));
  state.counters["lcg_cpu_us_per_test"] = 1e6 * total[0].cpu / n;
  state.counters["philox_cpu_us_per_test"] = 1e6 * total[1].cpu / n;
  state.counters["philox_2_cpu_us_per_test"] = 1e6 * total[2].cpu / n;
  state.counters["philox_cpu_x_lcg"] = total[1].cpu / total[0].cpu;
  state.counters["philox_2_jobs_speedup"] = total[1].wall / total[2].wall;
  state.counters["philox_2_tests_per_s"] = n / total[2].wall;
  state.counters["ordered_share_1"] = total[1].stages.ordered / total[1].stages.work;
  state.counters["ordered_share_2"] = total[2].stages.ordered / total[2].stages.work;
}
BENCHMARK(BM_StudyGenerators)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3);

// The draws alone, per test of the grid, from each generator: lcg one condition's
// generator in order, philox a stream per replication.
void BM_StudyGridDrawsOnlyPhilox(benchmark::State& state) {
  static const StudyDefinition s =
      Grid({20, 50, 100}, {2, 3, 4, 5}, DegreesByTen(), 758, false, StudyGenerator::Philox);
  const std::int64_t tests = s.conditions.Count() * s.replications;
  const double cpuStart = ProcessCpuSeconds();
  for (auto _ : state) {
    for (std::int64_t i = 1; i <= s.conditions.Count(); ++i) {
      const ConditionRecord r = RecordOf(s, i);
      ExamSimulator sim(r.condition.n, r.condition.k);
      for (std::int64_t t = 1; t <= s.replications; ++t) {
        PhiloxStream stream = ReplicationStream(s.seed, i, t);
        tBfMatriz table = sim.MakeTable(r.condition.D, stream);
        benchmark::DoNotOptimize(table.X[1]);
      }
    }
  }
  const double cpu = ProcessCpuSeconds() - cpuStart;
  state.SetItemsProcessed(state.iterations() * tests);
  state.counters["cpu_us_per_test"] = 1e6 * cpu / static_cast<double>(state.iterations() * tests);
}
BENCHMARK(BM_StudyGridDrawsOnlyPhilox)->UseRealTime()->Unit(benchmark::kMillisecond);

// One condition on one thread against the run of `simulate --no-text` (no output
// files: every line is made and handed to a host that drops it), the same tests.
constexpr int kOneN = 100, kOneK = 3, kOneDo = 50, kOneTests = 10000;


double simulateNsPerTest = 0;

void BM_SimulateNoText(benchmark::State& state) {
  RunSettings s;
  s.SpinEdit_n = kOneN;
  s.SpinEdit_k = kOneK;
  s.SpinEdit_D0 = kOneDo;
  s.SpinEdit_Test = kOneTests;
  s.CheckBox_Text = false;
  const double cpuStart = ProcessCpuSeconds();
  for (auto _ : state) {
    NullHost host;
    UniformGenerator rng(ConditionSeed(2026, 1));
    SimulationRun(rng, 1).Execute(s, host);
  }
  const double cpu = ProcessCpuSeconds() - cpuStart;
  simulateNsPerTest = 1e9 * cpu / static_cast<double>(state.iterations() * kOneTests);
  state.SetItemsProcessed(state.iterations() * kOneTests);
  state.counters["cpu_us_per_test"] = simulateNsPerTest / 1000;
}

void BM_OneConditionStudy(benchmark::State& state) {
  static const StudyDefinition s = Grid({kOneN}, {kOneK}, {kOneDo}, kOneTests, false);
  RunStudyBenchmark(state, s, 1);
  if (simulateNsPerTest > 0)
    state.counters["x_simulate"] = 1000 * state.counters["cpu_us_per_test"] / simulateNsPerTest;
}
BENCHMARK(BM_SimulateNoText)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneConditionStudy)->UseRealTime()->Unit(benchmark::kMillisecond);

// The summary's share of a test: one test's estimates added to a block's sums.
void BM_SummaryAdd(benchmark::State& state) {
  TestEstimates t;
  t.doStar = 0.5;
  t.seDu = 0.08;
  t.dc = 0.49;
  t.seDc = 0.09;
  t.dln = 0.47;
  t.ciLower = 0.3;
  t.ciUpper = 0.7;
  ConditionSummary s;
  double x = 0.4;
  for (auto _ : state) {
    t.du = x;
    s.Add(t);
    x = x < 0.6 ? x + 0.001 : 0.4;
  }
  benchmark::DoNotOptimize(s.Replications());
}
BENCHMARK(BM_SummaryAdd);

}  // namespace
}  // namespace veltrano

BENCHMARK_MAIN();

// Speed of the answer sheets at scale: a sheet of 10^6 examinees × 100 items (k = 4,
// about 206 MB), held in memory, read, tallied, analysed with the interval off and written
// as CSV rows, on one thread and on every core; and, measured in the same run, reading and
// checking the sheet alone, and the whole work without k (the sheet read twice).
//
//   cmake -S . -B build -DVELTRANO_BUILD_BENCH=ON && cmake --build build --target bench_sheets
//   ./build/bench/bench_sheets
//
// The goal: ≤ 10 s on one core. Each benchmark runs once (a run is seconds long); the
// figure is wall time, with CPU time beside it.
#include <benchmark/benchmark.h>

#include <istream>
#include <streambuf>
#include <string>

#include "sheets/SheetAnalysis.h"
#include "numeric/UniformGenerator.h"
#include "parallel/OrderedPipeline.h"

namespace veltrano {
namespace {

constexpr int kExaminees = 1000000;
constexpr int kItems = 100;
constexpr int kK = 4;

// The sheet: a KEY row, then examinees whose knowledge is spread uniformly over [0, 1),
// who omit 3 % of the items, know each other item with their knowledge and guess the rest
// evenly.
const std::string& Sheet() {
  static const std::string sheet = [] {
    UniformGenerator rng(2026);
    std::string s;
    s.reserve(static_cast<std::size_t>(kExaminees) * (2 * kItems + 10));
    std::string key;
    s += "KEY";
    for (int i = 0; i < kItems; ++i) {
      key.push_back(static_cast<char>('A' + static_cast<int>(rng.Draw() * kK)));
      s.push_back(',');
      s.push_back(key.back());
    }
    s.push_back('\n');
    for (int e = 0; e < kExaminees; ++e) {
      const double knowledge = rng.Draw();
      s.append("S").append(std::to_string(1000000 + e));
      for (int i = 0; i < kItems; ++i) {
        s.push_back(',');
        const double u = rng.Draw();
        if (u < 0.03) continue;
        s.push_back(rng.Draw() < knowledge ? key[static_cast<std::size_t>(i)]
                                           : static_cast<char>('A' + static_cast<int>(rng.Draw() * kK)));
      }
      s.push_back('\n');
    }
    return s;
  }();
  return sheet;
}

// Reads a string in place, without the copy an istringstream would make.
class MemoryBuffer : public std::streambuf {
public:
  explicit MemoryBuffer(const std::string& s) {
    char* p = const_cast<char*>(s.data());
    setg(p, p, p + s.size());
  }
};

void Report(benchmark::State& state, std::int64_t examinees) {
  state.counters["examinees_per_s"] =
      benchmark::Counter(static_cast<double>(examinees), benchmark::Counter::kIsIterationInvariantRate);
}

// Reading and checking alone: no table is analysed.
void BM_ReadSheet(benchmark::State& state) {
  const std::string& sheet = Sheet();
  for (auto _ : state) {
    MemoryBuffer buffer(sheet);
    std::istream in(&buffer);
    SheetReader reader(in, nullptr, 0);
    benchmark::DoNotOptimize(ScanSheet(reader));
  }
  Report(state, kExaminees);
}

// The work of `analyse --responses --k 4`: every examinee analysed and written as a CSV row
// (the rows are counted, not kept). With findK, first the reading of the sheet that finds
// k, as the command does without --k.
void AnalyseOnce(int jobs, bool findK) {
  const std::string& sheet = Sheet();
  int k = kK;
  if (findK) {
    MemoryBuffer buffer(sheet);
    std::istream in(&buffer);
    SheetReader scan(in, nullptr, 0);
    k = *ScanSheet(scan);
  }
  MemoryBuffer buffer(sheet);
  std::istream in(&buffer);
  SheetReader reader(in, nullptr, k);
  SheetRun run;
  run.k = k;
  run.jobs = jobs;
  run.analysis.ci = false;
  run.format = [&](ExamineeResult& r) { AppendSheetCsvRow(r.text, r, run.analysis); };
  std::size_t bytes = 0;
  run.hand = [&](const ExamineeResult& r) {
    bytes += r.text.size() + 1;
    return true;
  };
  AnalyseSheet(reader, run);
  benchmark::DoNotOptimize(bytes);
}

void BM_AnalyseSheet(benchmark::State& state) {
  const int jobs = state.range(0) > 0 ? static_cast<int>(state.range(0)) : HardwareJobs();
  Sheet();  // made before the clock starts
  for (auto _ : state) AnalyseOnce(jobs, false);
  state.SetLabel(std::to_string(jobs) + (jobs == 1 ? " thread" : " threads"));
  Report(state, kExaminees);
}

void BM_AnalyseSheetFindingK(benchmark::State& state) {
  Sheet();
  for (auto _ : state) AnalyseOnce(1, true);
  state.SetLabel("1 thread, sheet read twice");
  Report(state, kExaminees);
}

BENCHMARK(BM_ReadSheet)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
// 0: every core.
BENCHMARK(BM_AnalyseSheet)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_AnalyseSheetFindingK)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace veltrano

BENCHMARK_MAIN();

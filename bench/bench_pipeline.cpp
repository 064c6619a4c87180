// The ordered pipeline's two pools against each other on two threads: oneTBB's and the
// standard library's threads (parallel/ThreadPipeline.h), in turn, ten times in every
// iteration, so that the machine's load falls on both alike. Items cost what the runs' items cost, in
// spinning arithmetic: a serial make and a parallel work per item, the hand-on free.
//   fine:     make 1 µs, work 20 µs    (what the pools cost per item shows most here)
//   simulate: make 30 µs, work 250 µs  (a group of tests of `simulate`: the draws serial)
//   study:    make 2 µs, work 400 µs   (a block of a philox study: the draws on the workers)
// The figure is threads_x_tbb: the standard library's wall time over oneTBB's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "parallel/TbbPipeline.h"
#include "parallel/ThreadPipeline.h"

namespace {

using veltrano::RunOrderedOnTbb;
using veltrano::RunOrderedOnThreads;

// Arithmetic that takes about `micros` µs of a core on the build machine (0.51 µs for 300
// rounds, measured in CPU time) and cannot be skipped.
std::uint64_t Spin(double micros, std::uint64_t x) {
  const auto rounds = static_cast<std::int64_t>(micros * 590);
  for (std::int64_t i = 0; i < rounds; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
  }
  return x;
}

struct Item {
  std::uint64_t value = 0;
};

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

template <bool Tbb>
double RunPool(int items, double makeMicros, double workMicros) {
  int next = 0;
  std::uint64_t serial = 1, sum = 0;
  auto make = [&](Item& it) {
    if (next == items) return false;
    ++next;
    serial = Spin(makeMicros, serial);
    it.value = serial;
    return true;
  };
  auto work = [&](Item& it) { it.value = Spin(workMicros, it.value); };
  auto hand = [&](Item& it) {
    sum += it.value;
    return true;
  };
  const double start = WallSeconds();
  if constexpr (Tbb)
    RunOrderedOnTbb<Item>(2, 8, make, work, hand);
  else
    RunOrderedOnThreads<Item>(2, 8, make, work, hand);
  benchmark::DoNotOptimize(sum);
  return WallSeconds() - start;
}

void BM_PipelinePools(benchmark::State& state, double makeMicros, double workMicros) {
  // The same work for each, about 30 ms at a time, ten turns of each an iteration: a change of
  // the machine's load falls on both alike.
  constexpr int kTurns = 10;
  const int items = static_cast<int>(6e4 / (makeMicros + workMicros));
  double tbb = 0, threads = 0;
  for (auto _ : state) {
    for (int turn = 0; turn < kTurns; ++turn) {
      tbb += RunPool<true>(items, makeMicros, workMicros);
      threads += RunPool<false>(items, makeMicros, workMicros);
    }
  }
  const double n = static_cast<double>(state.iterations()) * kTurns * items;
  state.counters["tbb_us_per_item"] = 1e6 * tbb / n;
  state.counters["threads_us_per_item"] = 1e6 * threads / n;
  state.counters["threads_x_tbb"] = threads / tbb;
}
BENCHMARK_CAPTURE(BM_PipelinePools, fine, 1.0, 20.0)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK_CAPTURE(BM_PipelinePools, simulate, 30.0, 250.0)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK_CAPTURE(BM_PipelinePools, study, 2.0, 400.0)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

BENCHMARK_MAIN();

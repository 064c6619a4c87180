// The ordered pipeline: whatever the number of threads and whichever pool, items are made
// and handed on in order, no more than the ring's items are alive at once, a stop leaves an
// exact prefix, and an error reaches the caller. The build's own pool (oneTBB's, or the
// standard library's threads) runs through RunOrdered; the standard library's threads are
// also called directly, in every build and beyond the cores (seven threads on any machine).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "parallel/OrderedPipeline.h"
#include "parallel/ThreadPipeline.h"

namespace veltrano {
namespace {

struct Item {
  int number = 0;
  long square = 0;
  std::thread::id worker;
};

// The build's pool through RunOrdered, or the standard library's threads directly.
struct Pool {
  bool threads;  // RunOrderedOnThreads rather than RunOrdered
  int jobs;
};

template <class T, class Make, class Work, class Hand>
void RunOn(const Pool& pool, std::size_t inFlight, Make&& make, Work&& work, Hand&& hand) {
  if (pool.threads)
    RunOrderedOnThreads<T>(pool.jobs, inFlight, make, work, hand);
  else
    RunOrdered<T>(pool.jobs, inFlight, make, work, hand);
}

class Pipeline : public ::testing::TestWithParam<Pool> {};

// Work that takes longer for early items, so that with several threads later items
// finish first and only the pipeline's ordering puts them back in line. Items alive are those made and not yet handed on: never more than the ring holds.
TEST_P(Pipeline, HandsItemsOnInTheOrderTheyWereMade) {
  int next = 0;
  std::atomic<int> handedCount{0};
  int mostAlive = 0;
  std::vector<int> handed;
  RunOn<Item>(
      GetParam(), 4,
      [&](Item& it) {
        if (next == 200) return false;
        it.number = next++;
        mostAlive = std::max(mostAlive, next - handedCount.load());
        return true;
      },
      [](Item& it) {
        if (it.number % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        it.square = static_cast<long>(it.number) * it.number;
      },
      [&](Item& it) {
        EXPECT_EQ(it.square, static_cast<long>(it.number) * it.number);
        handed.push_back(it.number);
        ++handedCount;
        return true;
      });
  EXPECT_LE(mostAlive, 4);
  ASSERT_EQ(handed.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(handed[static_cast<std::size_t>(i)], i);
}

TEST_P(Pipeline, StopLeavesAnExactPrefix) {
  int next = 0;
  std::vector<int> handed;
  RunOn<Item>(
      GetParam(), 8, [&](Item& it) { return next < 1000 ? (it.number = next++, true) : false; }, [](Item&) {},
      [&](Item& it) {
        handed.push_back(it.number);
        return it.number < 41;
      });
  ASSERT_EQ(handed.size(), 42u);
  EXPECT_EQ(handed.back(), 41);
  EXPECT_LT(next, 1000);  // making stopped too, a few items ahead at most
}

TEST_P(Pipeline, AnErrorInAnyStageReachesTheCaller) {
  for (const int failing : {0, 1, 2}) {
    int next = 0;
    const auto fail = [&](int stage, const Item& it) {
      if (stage == failing && it.number == 30) throw std::runtime_error("stage " + std::to_string(stage));
    };
    EXPECT_THROW(RunOn<Item>(
                     GetParam(), 4,
                     [&](Item& it) {
                       if (next >= 100) return false;
                       it.number = next++;
                       fail(0, it);
                       return true;
                     },
                     [&](Item& it) { fail(1, it); },
                     [&](Item& it) {
                       fail(2, it);
                       return true;
                     }),
                 std::runtime_error);
  }
}

const Pool kPools[] = {{false, 1}, {false, 2}, {false, 7}, {true, 2}, {true, 7}};
INSTANTIATE_TEST_SUITE_P(Pools, Pipeline, ::testing::ValuesIn(kPools), [](const auto& info) {
  return std::string(info.param.threads ? "StandardThreads" : "BuildPool") + std::to_string(info.param.jobs);
});

// As many threads as asked for, as far as the machine has cores through RunOrdered (oneTBB's
// pool has one thread per core, and the standard library's keeps the same limit), and a
// pipeline sets no process-wide limit of its own; the standard library's pool called
// directly starts every thread it is asked for.
TEST_P(Pipeline, UsesAsManyThreadsAsAskedForUpToTheCores) {
  const Pool pool = GetParam();
  int next = 0;
  std::mutex m;
  std::set<std::thread::id> workers;
  RunOn<Item>(
      pool, 16, [&](Item& it) { return next < 64 ? (it.number = next++, true) : false; },
      [&](Item&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard lock(m);
        workers.insert(std::this_thread::get_id());
      },
      [](Item&) { return true; });
  EXPECT_EQ(workers.size(), static_cast<std::size_t>(pool.threads ? pool.jobs : std::min(pool.jobs, HardwareJobs())));
}

}  // namespace
}  // namespace veltrano

// The ordered pipeline: whatever the number of threads, items are made and handed on in
// order, a stop leaves an exact prefix, and an error reaches the caller.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "parallel/OrderedPipeline.h"

namespace veltrano {
namespace {

struct Item {
  int number = 0;
  long square = 0;
  std::thread::id worker;
};

class Pipeline : public ::testing::TestWithParam<int> {};

// Work that takes longer for early items, so that with several threads later items
// finish first and only the pipeline's ordering puts them back in line.
TEST_P(Pipeline, HandsItemsOnInTheOrderTheyWereMade) {
  const int jobs = GetParam();
  int next = 0;
  std::vector<int> handed;
  RunOrdered<Item>(
      jobs, 4, [&](Item& it) { return next < 200 ? (it.number = next++, true) : false; },
      [](Item& it) {
        if (it.number % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        it.square = static_cast<long>(it.number) * it.number;
      },
      [&](Item& it) {
        EXPECT_EQ(it.square, static_cast<long>(it.number) * it.number);
        handed.push_back(it.number);
        return true;
      });
  ASSERT_EQ(handed.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(handed[static_cast<std::size_t>(i)], i);
}

TEST_P(Pipeline, StopLeavesAnExactPrefix) {
  int next = 0;
  std::vector<int> handed;
  RunOrdered<Item>(
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
    EXPECT_THROW(RunOrdered<Item>(
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

INSTANTIATE_TEST_SUITE_P(Threads, Pipeline, ::testing::Values(1, 2, 7),
                         [](const auto& info) { return std::to_string(info.param) + "Threads"; });

// More threads than cores is allowed: with seven jobs, work that blocks is spread over
// seven threads.
// As many threads as asked for, as far as the machine has cores: the pool is oneTBB's, with
// one thread per core, and a pipeline sets no process-wide limit of its own.
TEST(Pipeline, UsesAsManyThreadsAsAskedForUpToTheCores) {
  int next = 0;
  std::mutex m;
  std::set<std::thread::id> workers;
  RunOrdered<Item>(
      7, 16, [&](Item& it) { return next < 64 ? (it.number = next++, true) : false; },
      [&](Item&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard lock(m);
        workers.insert(std::this_thread::get_id());
      },
      [](Item&) { return true; });
  EXPECT_EQ(workers.size(), static_cast<std::size_t>(std::min(7, HardwareJobs())));
}

}  // namespace
}  // namespace veltrano

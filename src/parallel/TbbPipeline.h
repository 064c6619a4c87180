#pragma once
// The ordered pipeline on oneTBB: parallel_pipeline with a serial-in-order first and last
// stage and a parallel middle stage, run in a task arena of the requested size (the call's
// own: no process-wide thread limit is set). RunOrdered (parallel/OrderedPipeline.h) chooses
// it where the build has oneTBB.
#include <oneapi/tbb/parallel_pipeline.h>
#include <oneapi/tbb/task_arena.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

namespace veltrano {
namespace detail {

// oneTBB hands items from stage to stage with its own synchronisation, which
// ThreadSanitizer cannot see in a library built without it: these marks tell it the
// order the pipeline guarantees (an item's stages happen one after another; the first
// and last stages run one at a time). They cost nothing in other builds.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
inline void HappensBefore(const void* address) { __tsan_release(const_cast<void*>(address)); }
inline void HappensAfter(const void* address) { __tsan_acquire(const_cast<void*>(address)); }
#else
inline void HappensBefore(const void*) {}
inline void HappensAfter(const void*) {}
#endif

}  // namespace detail

/// RunOrdered on oneTBB's pool, in an arena of `jobs` threads (the caller's among them;
/// jobs ≥ 2, inFlight ≥ 1): the same calls of make, work and hand in the same orders, the
/// same end on a stop or an error.
template <class Item, class Make, class Work, class Hand>
void RunOrderedOnTbb(int jobs, std::size_t inFlight, Make& make, Work& work, Hand& hand) {
  std::vector<Item> ring(inFlight);
  std::atomic<bool> ended{false};
  // An error in any stage ends the pipeline and is raised again on the caller's thread
  // once every stage has stopped; the first one wins.
  std::exception_ptr error;
  std::atomic_flag failed = ATOMIC_FLAG_INIT;
  const auto fail = [&] {
    if (!failed.test_and_set()) error = std::current_exception();
    ended.store(true, std::memory_order_relaxed);
  };
  std::uint64_t made = 0;
  char makeStage = 0, handStage = 0;  // addresses that stand for the two serial stages
  char pipeline = 0;                   // for the pipeline as a whole: its start and its end
  // The pipeline's end comes before the ring is freed, whether it ended or threw.
  struct EndOfPipeline {
    const char* mark;
    ~EndOfPipeline() { detail::HappensAfter(mark); }
  } endOfPipeline{&pipeline};
  // The pipeline runs in an arena of its own, sized for this call: two pipelines in one
  // process (two jobs) each keep their own limit, and nothing process-wide is changed. The
  // result is the same for any number of threads.
  oneapi::tbb::task_arena arena(jobs);
  arena.execute([&] {
    namespace tbb = oneapi::tbb;
    const auto stages =
        tbb::make_filter<void, Item*>(tbb::filter_mode::serial_in_order,
                                      [&](tbb::flow_control& fc) -> Item* {
                                        detail::HappensAfter(&pipeline);
                                        detail::HappensAfter(&makeStage);
                                        Item& item = ring[made % inFlight];
                                        detail::HappensAfter(&item);  // its last use, if any
                                        bool stop = true;
                                        try {
                                          stop = ended.load(std::memory_order_relaxed) || !make(item);
                                        } catch (...) {
                                          fail();
                                        }
                                        if (!stop) ++made;
                                        detail::HappensBefore(&item);
                                        detail::HappensBefore(&makeStage);
                                        detail::HappensBefore(&pipeline);
                                        if (stop) {
                                          fc.stop();
                                          return nullptr;
                                        }
                                        return &item;
                                      }) &
            tbb::make_filter<Item*, Item*>(tbb::filter_mode::parallel,
                                           [&](Item* item) {
                                             detail::HappensAfter(&pipeline);
                                             detail::HappensAfter(item);
                                             try {
                                               if (!ended.load(std::memory_order_relaxed)) work(*item);
                                             } catch (...) {
                                               fail();
                                             }
                                             detail::HappensBefore(item);
                                             detail::HappensBefore(&pipeline);
                                             return item;
                                           }) &
            tbb::make_filter<Item*, void>(tbb::filter_mode::serial_in_order, [&](Item* item) {
              detail::HappensAfter(&pipeline);
              detail::HappensAfter(&handStage);
              detail::HappensAfter(item);
              try {
                if (!ended.load(std::memory_order_relaxed) && !hand(*item)) ended.store(true, std::memory_order_relaxed);
              } catch (...) {
                fail();
              }
              detail::HappensBefore(item);
              detail::HappensBefore(&handStage);
              detail::HappensBefore(&pipeline);
            });
    detail::HappensBefore(&pipeline);
    tbb::parallel_pipeline(inFlight, stages);
  });
  detail::HappensAfter(&pipeline);
  if (error) std::rethrow_exception(error);
}

}  // namespace veltrano

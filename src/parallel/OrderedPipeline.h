#pragma once
// An ordered pipeline on a pool of worker threads: items are made one at a time and in
// order, worked on by any number of threads at once, and handed on one at a time in the
// order they were made. A simulation run uses it to keep its random draws in their
// one serial order while the analyses of many tests run side by side, and still write
// every line in test order.
//
// The pool is oneTBB's (where there is none, in the browser's build, the same interface
// runs the three stages in order on the calling thread): parallel_pipeline with a serial-in-order first and last stage
// and a parallel middle stage, run in a task arena of the requested size (the call's own:
// no process-wide thread limit is set). At most
// `inFlight` items are alive at once, so memory stays flat however many items pass.
// Items live in a ring of `inFlight` reusable objects: item s occupies slot s mod inFlight,
// and since the last stage frees items in order, slot s is free again by the time item
// s + inFlight is made. A slot keeps its buffers between items, so a steady run allocates
// nothing per item.
// Threads, unless the build says there are none (the browser's: VELTRANO_THREADS=0).
#ifndef VELTRANO_THREADS
#define VELTRANO_THREADS 1
#endif
#if VELTRANO_THREADS
#include <oneapi/tbb/parallel_pipeline.h>
#include <oneapi/tbb/task_arena.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "parallel/Jobs.h"

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

/// Runs the pipeline on `jobs` threads (the caller's among them), at most one per core.
///  - make(Item&) fills the next item and returns true, or returns false when there is
///    none; called on one thread at a time, in order.
///  - work(Item&) is called for every made item, on any thread, concurrently for
///    different items.
///  - hand(Item&) is called for every worked item, on one thread at a time, in the order
///    the items were made; returning false ends the pipeline: nothing more is made and no
///    later item is handed on.
/// With jobs == 1 everything runs on the calling thread, item after item. An exception
/// from any stage ends the pipeline (items in flight are dropped) and reaches the caller.
/// Item must be default-constructible; inFlight must be at least 1.
template <class Item, class Make, class Work, class Hand>
void RunOrdered(int jobs, std::size_t inFlight, Make&& make, Work&& work, Hand&& hand) {
  // oneTBB's pool has one thread per core: an arena asking for more would only be told so
  // (on standard error) and given what there is.
  jobs = std::min(jobs, HardwareJobs());
  if (jobs <= 1) {
    Item item;
    while (make(item)) {
      work(item);
      if (!hand(item)) return;
    }
    return;
  }
#if VELTRANO_THREADS
  inFlight = std::max<std::size_t>(inFlight, 1);
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
#else
  (void)inFlight;
#endif
}

}  // namespace veltrano

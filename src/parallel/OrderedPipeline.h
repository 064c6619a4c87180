#pragma once
// An ordered pipeline on a pool of worker threads: items are made one at a time and in
// order, worked on by any number of threads at once, and handed on one at a time in the
// order they were made. A simulation run uses it to keep its random draws in their
// one serial order while the analyses of many tests run side by side, and still write
// every line in test order.
//
// The pool is chosen when the build is configured: oneTBB's (parallel/TbbPipeline.h), or,
// where there is no oneTBB, one on the standard library's threads (parallel/ThreadPipeline.h),
// or, where there are no threads (the browser's build), the three stages in order on the
// calling thread. All give the same calls in the same orders, so a result is the same
// whichever pool and however many threads ran it. At most `inFlight` items are alive at
// once, so memory stays flat however many items pass. Items live in a ring of `inFlight`
// reusable objects: item s occupies slot s mod inFlight, and since the last stage frees
// items in order, slot s is free again by the time item s + inFlight is made. A slot keeps
// its buffers between items, so a steady run allocates nothing per item.
//
// VELTRANO_THREADS=0: no threads (the browser's build). VELTRANO_TBB=1 or 0: oneTBB's pool
// or the standard library's threads. A build that does not say (the R package's, whose TBB
// is RcppParallel's) has oneTBB's where the TBB headers it compiles with are oneTBB's, 2021
// or later (the pipeline's interface here is theirs), and the standard library's threads
// where they are an older TBB's or there are none.
#ifndef VELTRANO_THREADS
#define VELTRANO_THREADS 1
#endif
#if !defined(VELTRANO_TBB) && VELTRANO_THREADS && __has_include(<oneapi/tbb/version.h>)
#include <oneapi/tbb/version.h>
#if TBB_VERSION_MAJOR >= 2021
#define VELTRANO_TBB 1
#endif
#endif
#ifndef VELTRANO_TBB
#define VELTRANO_TBB 0
#endif
#if VELTRANO_THREADS && VELTRANO_TBB
#include "parallel/TbbPipeline.h"
#elif VELTRANO_THREADS
#include "parallel/ThreadPipeline.h"
#endif

#include <algorithm>
#include <cstddef>

#include "parallel/Jobs.h"

namespace veltrano {

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
  // One thread per core: oneTBB's pool has no more, and an arena asking for more would
  // only be told so (on standard error) and given what there is; the standard library's
  // pool keeps the same limit, so that both run alike.
  jobs = std::min(jobs, HardwareJobs());
  if (jobs <= 1) {
    Item item;
    while (make(item)) {
      work(item);
      if (!hand(item)) return;
    }
    return;
  }
#if VELTRANO_THREADS && VELTRANO_TBB
  RunOrderedOnTbb<Item>(jobs, std::max<std::size_t>(inFlight, 1), make, work, hand);
#elif VELTRANO_THREADS
  RunOrderedOnThreads<Item>(jobs, std::max<std::size_t>(inFlight, 1), make, work, hand);
#else
  (void)inFlight;  // never more than one thread here
#endif
}

}  // namespace veltrano

#pragma once
// The ordered pipeline on threads of the standard library, for systems without oneTBB:
// the same three stages and the same guarantees as RunOrdered (parallel/OrderedPipeline.h),
// which chooses it where the build has no oneTBB. It is also built beside oneTBB's, so that
// the two can be tested and timed against each other.
//
// Every thread, the caller's among them, runs the same loop under one lock: it hands on the
// next items in order when they are worked and no other thread is handing, otherwise makes
// the next item when a slot of the ring is free and no other thread is making, and then
// works that item itself; otherwise it waits. The ring of `inFlight` slots is the bounded
// queue between the stages: item s occupies slot s mod inFlight, and nothing is made while
// the item inFlight places before it has not been handed on. A stage's call runs outside the
// lock, so only the bookkeeping between stages is serialised.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace veltrano {

/// RunOrdered on `jobs` threads of the standard library (the caller's among them; jobs ≥ 2,
/// inFlight ≥ 1): the same calls of make, work and hand in the same orders, the same end on
/// a stop or an error.
template <class Item, class Make, class Work, class Hand>
void RunOrderedOnThreads(int jobs, std::size_t inFlight, Make& make, Work& work, Hand& hand) {
  enum class Slot : unsigned char { Free, Working, Worked };
  std::vector<Item> ring(inFlight);
  std::vector<Slot> slots(inFlight, Slot::Free);
  std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t made = 0;    // items made so far: item `made` is the next to make
  std::uint64_t handed = 0;  // items handed on so far: item `handed` is the next to hand on
  bool making = false, handing = false;  // a thread is in make, in hand
  bool over = false;                     // make has said there is no more
  bool ended = false;                    // a stop or an error: nothing more is made or handed
  int waiting = 0;                       // threads waiting for a change
  std::exception_ptr error;              // the first error of any stage

  const auto notify = [&] {
    if (waiting > 0) changed.notify_all();
  };
  // Records an error caught outside the lock, with the lock held again.
  const auto failed = [&](std::exception_ptr e) {
    if (!error) error = std::move(e);
    ended = true;
  };

  const auto loop = [&] {
    std::unique_lock lock(mutex);
    for (;;) {
      if (ended || (over && handed == made)) break;
      if (!handing && handed < made && slots[handed % inFlight] == Slot::Worked) {
        handing = true;
        while (!ended && handed < made && slots[handed % inFlight] == Slot::Worked) {
          const std::size_t slot = handed % inFlight;
          lock.unlock();
          bool more = true;
          std::exception_ptr e;
          try {
            more = hand(ring[slot]);
          } catch (...) {
            e = std::current_exception();
          }
          lock.lock();
          slots[slot] = Slot::Free;
          ++handed;
          if (e) failed(std::move(e));
          if (!more) ended = true;
          notify();  // a slot is free for the maker, or the pipeline has ended
        }
        handing = false;
        continue;
      }
      if (!making && !over && made < handed + inFlight) {
        making = true;
        const std::size_t slot = made % inFlight;
        lock.unlock();
        bool got = false;
        std::exception_ptr e;
        try {
          got = make(ring[slot]);
        } catch (...) {
          e = std::current_exception();
        }
        lock.lock();
        making = false;
        if (e) failed(std::move(e));
        if (!got || ended) {
          over = true;
          notify();
          continue;
        }
        ++made;
        slots[slot] = Slot::Working;
        notify();  // another thread may make the next item meanwhile
        lock.unlock();
        try {
          work(ring[slot]);
        } catch (...) {
          e = std::current_exception();
        }
        lock.lock();
        slots[slot] = Slot::Worked;
        if (e) {
          failed(std::move(e));
          notify();
        }
        // This thread hands the item on itself when it is next (the loop's first branch);
        // a thread already handing takes it in turn.
        continue;
      }
      ++waiting;
      changed.wait(lock);
      --waiting;
    }
    notify();  // the end, for those still waiting
  };

  // The helpers are joined before anything they use goes, however this call ends.
  struct Helpers {
    std::vector<std::thread> threads;
    ~Helpers() {
      for (std::thread& t : threads) t.join();
    }
  } helpers;
  helpers.threads.reserve(static_cast<std::size_t>(jobs - 1));
  for (int t = 1; t < jobs; ++t) {
    try {
      helpers.threads.emplace_back(loop);
    } catch (const std::system_error&) {
      break;  // the system has no more threads to give: the run goes on with those it has
    }
  }
  loop();
  for (std::thread& t : helpers.threads) t.join();
  helpers.threads.clear();
  if (error) std::rethrow_exception(error);
}

}  // namespace veltrano

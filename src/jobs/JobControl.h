#pragma once
// What a job is given besides its own inputs: a stop token to look at and a progress sink to
// tell where it stands. Nothing here is shared between jobs: each has its own token, and
// the work never looks at signals or windows. The command line's signal handler and the
// window's Cancel both set a job's token.
#include <atomic>
#include <cstdint>

#include "simulation/RunHost.h"  // RunProgress
#include "study/Study.h"         // StudyProgress

namespace veltrano::jobs {

/// A request to stop, set from anywhere (a signal handler, another thread) and read by the
/// work between its steps. Lock-free, so a signal handler may set it.
class StopToken {
public:
  /// Asks for a stop; signal is the signal that asked, 0 for none (a Cancel).
  void Request(int signal = 0) noexcept {
    state_.store(signal > 0 ? signal : kWithoutSignal, std::memory_order_relaxed);
  }
  bool Requested() const noexcept { return state_.load(std::memory_order_relaxed) != 0; }
  /// The signal of the request, 0 when there is none or it came without one.
  int Signal() const noexcept {
    const int s = state_.load(std::memory_order_relaxed);
    return s > 0 ? s : 0;
  }
  void Clear() noexcept { state_.store(0, std::memory_order_relaxed); }

  /// Whether the job is now in work that ends cleanly on a request (a run, a study, an
  /// analysis), rather than in work that does not look (reading its input, merging
  /// files). A signal handler asks for a stop only then, and otherwise ends the program at
  /// once, as a signal ends any program: a request is never held back unseen.
  bool Listening() const noexcept { return listening_.load(std::memory_order_relaxed) > 0; }

  /// Marks the work that ends cleanly on a request, for as long as it lives.
  class Listen {
  public:
    explicit Listen(StopToken* token) noexcept : token_(token) {
      if (token_ != nullptr) token_->listening_.fetch_add(1, std::memory_order_relaxed);
    }
    ~Listen() {
      if (token_ != nullptr) token_->listening_.fetch_sub(1, std::memory_order_relaxed);
    }
    Listen(const Listen&) = delete;
    Listen& operator=(const Listen&) = delete;

  private:
    StopToken* token_;
  };

private:
  static constexpr int kWithoutSignal = -1;
  std::atomic<int> state_{0};
  std::atomic<int> listening_{0};
  static_assert(std::atomic<int>::is_always_lock_free);
};

/// An answer sheet's analysis as it goes.
struct SheetProgress {
  bool checking = false;        // the first pass, which only checks the rows
  std::int64_t examinees = 0;   // examinees handed on so far
  std::uint64_t bytesRead = 0;  // of the sheet, in the pass under way
  std::uint64_t bytesTotal = 0; // the sheet's size when the work started (0: not known)
};

/// Where a job stands, as it goes. Called on the thread that hands the work on in order
/// (one at a time); a sink that shows it throttles its own display, since a run reports
/// after every test.
class ProgressSink {
public:
  virtual ~ProgressSink() = default;
  virtual void Run(const RunProgress& /*progress*/) {}
  virtual void Study(const StudyProgress& /*progress*/) {}
  virtual void Sheet(const SheetProgress& /*progress*/) {}
};

/// A job's stop token and progress sink; either may be absent.
struct JobContext {
  StopToken* stop = nullptr;
  ProgressSink* progress = nullptr;

  bool StopRequested() const noexcept { return stop != nullptr && stop->Requested(); }
  int StopSignal() const noexcept { return stop != nullptr ? stop->Signal() : 0; }
};

}  // namespace veltrano::jobs

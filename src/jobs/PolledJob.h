#pragma once
// A job run for an interpreter (Python, R). The work runs on the job's thread (JobThread.h)
// while the interpreter's thread waits, waking every 100 ms to look for an interrupt and to
// hand on the study's progress: an interpreter handles its signals and calls its functions
// on its own thread only, and must not sit blocked inside a job it cannot interrupt.
#include <chrono>
#include <csignal>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

#include "jobs/JobControl.h"
#include "jobs/JobThread.h"

namespace veltrano::jobs {

/// The latest study progress, from the job's thread to the one waiting on it.
class LatestProgress final : public ProgressSink {
public:
  void Study(const StudyProgress& p) override {
    std::lock_guard lock(mutex_);
    latest_ = p;
    fresh_ = true;
  }
  /// The progress, when it has moved since the last call.
  std::optional<StudyProgress> Take() {
    std::lock_guard lock(mutex_);
    if (!fresh_) return std::nullopt;
    fresh_ = false;
    return latest_;
  }

private:
  std::mutex mutex_;
  StudyProgress latest_;
  bool fresh_ = false;
};

/// Runs work(context) on the job's thread. While it works, every 100 ms, the calling thread
/// calls poll(progress, false), progress being the study's progress when it has moved
/// since; once the work has ended well, poll(progress, true) once more (so that a progress
/// bar ends full). poll returns false to stop: the job then stops after the test under way,
/// as SIGINT stops the command line, poll is not called again, and nothing is returned.
/// Otherwise returns work's result, or raises its error.
template <class Work, class Poll>
auto RunPolled(Work&& work, Poll&& poll) -> std::optional<decltype(work(std::declval<const JobContext&>()))> {
  using Result = decltype(work(std::declval<const JobContext&>()));
  JobThread thread;
  LatestProgress progress;
  const JobContext context{&thread.Token(), &progress};
  std::optional<Result> result;
  std::exception_ptr error;
  thread.Start([&] {
    try {
      result.emplace(work(context));
    } catch (...) {
      error = std::current_exception();
    }
  });
  bool stopped = false;
  while (!thread.WaitFinished(std::chrono::milliseconds(100)))
    if (!stopped && !poll(progress.Take(), false)) {
      stopped = true;
      thread.Cancel(SIGINT);
    }
  if (stopped) return std::nullopt;
  if (error) std::rethrow_exception(error);
  if (!poll(progress.Take(), true)) return std::nullopt;
  return result;
}

}  // namespace veltrano::jobs

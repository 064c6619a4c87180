#pragma once
// The thread a job runs on when its front end's own thread must stay free: the window's
// (to paint and to answer), Python's and R's (to look for Ctrl-C and hand on progress). It
// is one of the two places threads live in Veltrano; the other is the pool of the ordered
// pipeline (parallel/OrderedPipeline.h) on which the work itself spreads.
//
// The job's output may go to the front end's thread in batches that the front end shows at
// its own pace: with a limit on the lines on their way, the job waits for room before each
// batch (WaitForRoom) and the front end says what it has shown (Shown), so that memory stays
// flat however long the job. A stop request wakes a job that waits for room: it is set
// under the lock that the waiting job tests it under, so the wake-up cannot fall between
// that test and the sleep.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "jobs/JobControl.h"

namespace veltrano::jobs {

class JobThread {
public:
  /// maxQueuedLines: the lines on their way beyond which WaitForRoom waits; kNoLimit for none.
  static constexpr int kNoLimit = -1;
  explicit JobThread(int maxQueuedLines = kNoLimit) noexcept : maxQueuedLines_(maxQueuedLines) {}
  /// Asks the job under way to stop, lets it end and ends the thread.
  ~JobThread() {
    Cancel();
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  /// Runs work on the job's thread (made at the first job, and kept for the next ones) with
  /// a fresh stop token; false, and nothing done, while a job works.
  bool Start(std::function<void()> work) {
    {
      std::lock_guard lock(mutex_);
      if (!finished_) return false;
      stop_.Clear();
      queuedLines_ = 0;
      finished_ = false;
      work_ = std::move(work);
    }
    if (!thread_.joinable()) thread_ = std::thread([this] { Serve(); });
    changed_.notify_all();
    return true;
  }

  /// Asks the job to stop (signal: the signal that asked, 0 for a Cancel), waking it when
  /// it waits for room.
  void Cancel(int signal = 0) noexcept {
    {
      std::lock_guard lock(mutex_);
      stop_.Request(signal);
    }
    changed_.notify_all();
  }
  /// The job's stop token, which Cancel sets.
  StopToken& Token() noexcept { return stop_; }

  /// Whether the job's work has returned (true before any job).
  bool Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
  }
  /// Waits up to `timeout` for the work to return; true once it has.
  bool WaitFinished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return finished_; });
  }
  /// Waits for the job's work to return.
  void Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return finished_; });
  }

  /// On the job's thread: waits while more than the limit of lines are on their way (not
  /// once a stop is asked for), then counts `lines` more on their way.
  void WaitForRoom(int lines) {
    std::unique_lock lock(mutex_);
    if (maxQueuedLines_ != kNoLimit)
      changed_.wait(lock, [this] { return queuedLines_ <= maxQueuedLines_ || stop_.Requested(); });
    queuedLines_ += lines;
  }
  /// On the front end's thread: `lines` of those on their way have been shown.
  void Shown(int lines) {
    {
      std::lock_guard lock(mutex_);
      queuedLines_ -= lines;
    }
    changed_.notify_all();
  }

private:
  // The thread: runs each job handed to it, until the JobThread goes.
  void Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return closing_ || work_; });
      if (!work_) return;
      std::function<void()> work = std::move(work_);
      work_ = nullptr;
      lock.unlock();
      work();
      lock.lock();
      finished_ = true;
      changed_.notify_all();
    }
  }

  const int maxQueuedLines_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  StopToken stop_;
  std::function<void()> work_;  // handed to the thread, not yet taken
  int queuedLines_ = 0;
  bool finished_ = true;
  bool closing_ = false;
  std::thread thread_;
};

}  // namespace veltrano::jobs

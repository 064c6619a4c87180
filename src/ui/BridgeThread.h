#pragma once
// What every bridge between work on a thread of its own and the window shares: the job's
// thread (jobs/JobThread.h, the one the Python and R packages run their jobs on too), the
// cancel request, and the hand-over of the work's batches to the window's thread.
//
// The work runs on the job's thread (and on whatever worker threads it starts); its batches
// reach the window's thread through queued calls, in the order sent, and its end arrives
// after the last of them. The window shows text more slowly than work makes it (the text
// document's cost per line is about that of a whole simulated test), so the work waits while
// more than a set number of lines are on their way and not yet shown: memory stays flat
// however long the work. Cancel wakes work that waits for room.
#include <QObject>

#include <functional>

#include "jobs/JobControl.h"
#include "jobs/JobThread.h"

namespace veltrano {

class BridgeThread {
public:
  /// window: the object on the window's thread through which the batches and the end are
  /// delivered (the bridge holding this; what is still queued when it goes is dropped).
  /// maxQueuedLines: the lines on their way beyond which the work waits.
  BridgeThread(QObject& window, int maxQueuedLines) : window_(window), job_(maxQueuedLines) {}
  /// Ends the work under way (it is cancelled) and waits for its thread.
  ~BridgeThread() = default;
  BridgeThread(const BridgeThread&) = delete;
  BridgeThread& operator=(const BridgeThread&) = delete;

  // ---- on the window's thread

  /// Runs work on the job's thread and returns at once; false, and nothing done, while
  /// work is under way.
  bool Start(std::function<void()> work);
  /// Asks the work under way to end, waking it when it waits for room.
  void Cancel() noexcept { job_.Cancel(); }
  /// From Start until the work's end has been delivered.
  bool Running() const noexcept { return running_; }

  // ---- on the work's thread

  bool Cancelled() noexcept { return job_.Token().Requested(); }
  /// The stop token of the work under way, which Cancel sets: the job's own.
  jobs::StopToken& Token() noexcept { return job_.Token(); }
  /// Sends a batch of `lines` lines: first waits while more than maxQueuedLines are on their
  /// way and not yet shown (not once cancelled); then show runs on the window's thread, in
  /// the order sent, after which the lines count as shown.
  void Send(int lines, std::function<void()> show);
  /// Sends at once what carries no lines (an operation of the window), in order with the
  /// batches.
  void Post(std::function<void()> show);
  /// After the work's last batch: end runs on the window's thread after every batch sent,
  /// with Running() false.
  void Done(std::function<void()> end);

private:
  QObject& window_;
  bool running_ = false;
  // The last member: it is destroyed first, ending the work and waiting for its thread.
  jobs::JobThread job_;
};

}  // namespace veltrano

#include "batch/BatchJob.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <exception>
#include <ostream>

#include "jobs/ProgressMeter.h"

namespace veltrano::batch {
namespace {

// The stop token of the job under way, read by the signal handler: a lock-free atomic is
// safe there. One job runs at a time in the program; tests run commands one after another.
std::atomic<jobs::StopToken*> current{nullptr};
static_assert(std::atomic<jobs::StopToken*>::is_always_lock_free);

class CurrentJob {
public:
  explicit CurrentJob(jobs::StopToken& token) noexcept { current.store(&token); }
  ~CurrentJob() { current.store(nullptr); }
  CurrentJob(const CurrentJob&) = delete;
  CurrentJob& operator=(const CurrentJob&) = delete;
};

// Notes and problems on standard error, the progress line erased first; the status the
// problems call for.
class BatchReport final : public jobs::JobReport {
public:
  BatchReport(Console& c, jobs::ProgressMeter& meter) : c_(c), meter_(meter) {}

  void Note(const std::string& line) override {
    meter_.Finish();
    Report(c_, Worded(line, Spelling::CommandLine));
  }
  void Problem(const jobs::JobProblem& p) override {
    if (p.kind == jobs::ErrorKind::BrokenPipe) {  // the reader has gone (| head): quietly
      pipeClosed_ = true;
      return;
    }
    status_ = ExitStatus(p);
    if (p.message.empty()) return;
    meter_.Finish();
    Report(c_, p.kind == jobs::ErrorKind::Stopped ? StoppedBy(p.signal) + std::string("; ") + p.message : p.message);
  }
  int Status() const noexcept { return pipeClosed_ ? kExitBrokenPipe : status_; }

private:
  Console& c_;
  jobs::ProgressMeter& meter_;
  int status_ = kExitOk;
  bool pipeClosed_ = false;
};

}  // namespace

void Report(Console& c, const std::string& message) { c.err << kProgram << ": " << message << '\n'; }

bool ShowProgress(const Console& c, bool quiet, std::initializer_list<std::string_view> outputs) {
  if (quiet || !c.errIsTerminal) return false;
  // The line is redrawn in place: not among rows written to the same terminal.
  const bool rowsOnTheTerminal =
      c.outIsTerminal && std::any_of(outputs.begin(), outputs.end(), [](std::string_view o) { return o == "-"; });
  return !rowsOnTheTerminal;
}

int ExitStatus(const jobs::JobProblem& p) {
  switch (p.kind) {
    case jobs::ErrorKind::Usage:
    case jobs::ErrorKind::Input: return kExitUsage;
    case jobs::ErrorKind::BrokenPipe: return kExitBrokenPipe;
    case jobs::ErrorKind::Stopped: return 128 + (p.signal != 0 ? p.signal : SIGINT);
    case jobs::ErrorKind::Unreadable:
    case jobs::ErrorKind::Output:
    case jobs::ErrorKind::Failed: break;
  }
  return kExitFailure;
}

const char* StoppedBy(int signal) noexcept {
  return signal == SIGTERM ? "terminated" : signal == SIGHUP ? "hung up" : "interrupted";
}

int RunJob(Console& c, bool progress, const BatchServices& services,
           const std::function<void(jobs::FileJob&)>& work) {
  jobs::StopToken token;
  const CurrentJob registered(token);
  jobs::ProgressMeter meter(c.err, progress && c.errIsTerminal);
  BatchReport report(c, meter);
  jobs::FileJob job{c.in, c.out, report, {&token, &meter}, services};
  if (c.outIsProcessOutput) job.console = jobs::platform::StandardOutputFile();
  try {
    work(job);
  } catch (...) {
    report.Problem(jobs::ProblemOf(std::current_exception()));
  }
  meter.Finish();
  return report.Status();
}

bool RequestStopFromSignal(int signal) noexcept {
  jobs::StopToken* const token = current.load();
  if (token == nullptr || !token->Listening()) return false;
  token->Request(signal);
  return true;
}

void RequestStop(int signal) noexcept {
  if (jobs::StopToken* const token = current.load()) token->Request(signal);
}

}  // namespace veltrano::batch

#include "batch/StreamHost.h"

#include <cmath>
#include <atomic>
#include <csignal>

namespace veltrano::batch {
namespace {

// Written by a signal handler, read by the run's host on whichever thread hands the
// tests on: a lock-free atomic is safe in both places.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<bool> stopHonoured{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

StopRequestsHonoured::StopRequestsHonoured() noexcept { stopHonoured.store(true); }
StopRequestsHonoured::~StopRequestsHonoured() { stopHonoured.store(false); }
bool StopRequestsAreHonoured() noexcept { return stopHonoured.load(); }

void RequestStop(int signal) noexcept { stopSignal.store(signal, std::memory_order_relaxed); }
void ClearStopRequest() noexcept { stopSignal.store(0, std::memory_order_relaxed); }
bool StopRequested() noexcept { return stopSignal.load(std::memory_order_relaxed) != 0; }
int StopSignal() noexcept { return stopSignal.load(std::memory_order_relaxed); }
int StopSignalOrInterrupt() noexcept { return StopSignal() != 0 ? StopSignal() : SIGINT; }
const char* StoppedBy(int signal) noexcept {
  return signal == SIGTERM ? "terminated" : signal == SIGHUP ? "hung up" : "interrupted";
}

StreamHost::StreamHost(OutputFile* data, OutputFile* residuals, OutputFile* points, ChartSink* charts,
                       ProgressMeter* progress)
    : data_(data), residuals_(residuals), points_(points), charts_(charts), progress_(progress) {
  if (points_ != nullptr) points_->WriteLine(kPointsHeader);
}

void StreamHost::AddXY(SeriesId series, double x, double y) {
  if (points_ != nullptr) {
    // Every point of a test shares its x (Do*): its text is made once.
    if (x != lastX_ || xText_.empty() || std::signbit(x) != std::signbit(lastX_)) {
      lastX_ = x;
      xText_.clear();
      AppendG17(xText_, x);
    }
    row_.assign(SeriesName(series));
    row_.push_back(',');
    row_.append(xText_);
    row_.push_back(',');
    AppendG17(row_, y);
    row_.push_back('\n');
    points_->Write(row_);
  }
  if (charts_ != nullptr) charts_->AddXY(series, x, y);
}

bool StreamHost::ContinueRun(const RunProgress& progress) {
  if (progress_ != nullptr) progress_->Report(progress);
  return !StopRequested();
}

}  // namespace veltrano::batch

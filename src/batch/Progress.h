#pragma once
// The progress line of a long run on a terminal: degree, test, percentage, elapsed
// time and an estimate of the time left, rewritten in place on standard error.
//
// The run reports after every test, which may be a million times a second, so the
// meter reads the clock only every `stride` reports and adapts the stride so that a
// reading happens roughly every 50 ms; the line itself is redrawn at most four times
// a second.
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "simulation/RunHost.h"

namespace veltrano::batch {

class ProgressMeter {
public:
  using Clock = std::chrono::steady_clock;

  /// A meter that draws on err when enabled, and does nothing otherwise.
  ProgressMeter(std::ostream& err, bool enabled);

  /// Called after every test.
  void Report(const RunProgress& p) {
    if (!enabled_ || --countdown_ > 0) return;
    Tick(p);
  }
  /// Erases the line, if one was drawn.
  void Finish();

  /// The line for a run that stands at p after `elapsed` seconds.
  static std::string Line(const RunProgress& p, double elapsed);

private:
  void Tick(const RunProgress& p);

  std::ostream& err_;
  bool enabled_;
  Clock::time_point start_;
  Clock::time_point lastReading_;
  Clock::time_point lastDrawn_;
  std::int64_t stride_ = 1;
  std::int64_t countdown_ = 1;
  std::size_t drawnWidth_ = 0;
};

}  // namespace veltrano::batch

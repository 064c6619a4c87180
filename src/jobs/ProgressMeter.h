#pragma once
// The progress line of long work on a terminal, rewritten in place: for a run, the degree,
// the test, the percentage, the time elapsed and an estimate of the time left; for a study,
// the conditions done, tests per second, the time elapsed and left.
//
// The line is redrawn at most four times a second (Throttle.h: a run reports after every
// test, and the clock is read only every few of them).
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "jobs/JobControl.h"
#include "jobs/Throttle.h"

namespace veltrano::jobs {

class ProgressMeter final : public ProgressSink {
public:
  using Clock = std::chrono::steady_clock;

  /// A meter that draws on err when enabled, and does nothing otherwise.
  ProgressMeter(std::ostream& err, bool enabled);

  /// Called after every test of a run.
  void Run(const RunProgress& p) override {
    if (enabled_ && redraw_.Due()) Draw(Line(p, Elapsed()));
  }
  /// Called after every block of a study's tests.
  void Study(const StudyProgress& p) override;
  /// Erases the line, if one was drawn (before any other text is written to err).
  void Finish();

  /// The line for a run that stands at p after `elapsed` seconds.
  static std::string Line(const RunProgress& p, double elapsed);
  /// The line for a study that stands at p after `elapsed` seconds.
  static std::string Line(const StudyProgress& p, double elapsed);

private:
  double Elapsed() const;
  void Draw(const std::string& line);

  std::ostream& err_;
  bool enabled_;
  Clock::time_point start_;
  Throttle redraw_;
  std::size_t drawnWidth_ = 0;
};

}  // namespace veltrano::jobs

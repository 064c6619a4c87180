#include "jobs/ProgressMeter.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace veltrano::jobs {
namespace {

constexpr auto kRedraw = std::chrono::milliseconds(250);
constexpr auto kReadingTarget = std::chrono::milliseconds(50);

std::string Duration(double seconds) {
  const auto s = static_cast<long long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

}  // namespace

ProgressMeter::ProgressMeter(std::ostream& err, bool enabled)
    : err_(err), enabled_(enabled), start_(Clock::now()), redraw_(kRedraw, kReadingTarget) {}

double ProgressMeter::Elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

std::string ProgressMeter::Line(const RunProgress& p, double elapsed) {
  const double fraction =
      p.testsTotal > 0 ? static_cast<double>(p.testsDone) / static_cast<double>(p.testsTotal) : 0.0;
  const std::int64_t perDegree = p.degreeCount > 0 ? p.testsTotal / p.degreeCount : 0;
  char text[200];
  std::snprintf(text, sizeof text, "Do %d%% (degree %d of %d), test %d of %lld, %.1f%%, elapsed %s", p.degree,
                p.degreeIndex, p.degreeCount, p.testInDegree, static_cast<long long>(perDegree),
                100.0 * fraction, Duration(elapsed).c_str());
  std::string line = text;
  if (fraction > 0) line += ", left " + Duration(elapsed * (1.0 - fraction) / fraction);
  return line;
}

std::string ProgressMeter::Line(const StudyProgress& p, double elapsed) {
  const double rate = elapsed > 0 ? static_cast<double>(p.testsDone) / elapsed : 0;
  char text[200];
  std::snprintf(text, sizeof text, "%lld of %lld conditions done, %.0f tests/s, elapsed %s",
                static_cast<long long>(p.conditionsDone), static_cast<long long>(p.conditionsTotal), rate,
                Duration(elapsed).c_str());
  std::string line = text;
  if (rate > 0) line += ", left " + Duration(static_cast<double>(p.testsTotal - p.testsDone) / rate);
  return line;
}

void ProgressMeter::Study(const StudyProgress& p) {
  if (enabled_ && redraw_.Due()) Draw(Line(p, Elapsed()));
}

void ProgressMeter::Draw(const std::string& line) {
  // Blanks cover what is left of a longer line drawn before.
  err_ << '\r' << line << std::string(drawnWidth_ > line.size() ? drawnWidth_ - line.size() : 0, ' ');
  err_.flush();
  drawnWidth_ = std::max(drawnWidth_, line.size());
}

void ProgressMeter::Finish() {
  if (drawnWidth_ == 0) return;
  err_ << '\r' << std::string(drawnWidth_, ' ') << '\r';
  err_.flush();
  drawnWidth_ = 0;
}

}  // namespace veltrano::jobs

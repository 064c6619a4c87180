#pragma once
// How often a job's progress is shown or its output handed on: at most once per interval,
// whatever the work costs per step. A run reports after every test, which may be a million
// times a second, so the clock is read only every `stride` calls, and the stride adapts so
// that a reading falls between `look` / 2 and 2 × `look` apart (a study reports after every
// block, a sheet after every examinee: the stride then stays 1 or small).
#include <algorithm>
#include <chrono>
#include <cstdint>

namespace veltrano::jobs {

class Throttle {
public:
  using Clock = std::chrono::steady_clock;

  /// interval: the least time between two reports; look: the time aimed at between two
  /// readings of the clock.
  explicit Throttle(Clock::duration interval, Clock::duration look = std::chrono::milliseconds(10)) noexcept
      : interval_(interval), look_(look), lastReading_(Clock::now()), lastDue_(lastReading_) {}

  /// Counts a call; true when `interval` has passed since the last call that was due (or
  /// since the throttle was made).
  bool Due() noexcept {
    if (--countdown_ > 0) return false;
    const Clock::time_point now = Clock::now();
    const auto since = now - lastReading_;
    if (since < look_ / 2)
      stride_ = std::min<std::int64_t>(stride_ * 2, kMaxStride);
    else if (since > look_ * 2)
      stride_ = std::max<std::int64_t>(stride_ / 2, 1);
    countdown_ = stride_;
    lastReading_ = now;
    if (now - lastDue_ < interval_) return false;
    lastDue_ = now;
    return true;
  }

  /// Starts the interval again from now (after a report made for another reason).
  void Restart() noexcept { lastDue_ = Clock::now(); }

private:
  static constexpr std::int64_t kMaxStride = 1 << 16;
  Clock::duration interval_;
  Clock::duration look_;
  Clock::time_point lastReading_;
  Clock::time_point lastDue_;
  std::int64_t stride_ = 1;
  std::int64_t countdown_ = 1;
};

}  // namespace veltrano::jobs

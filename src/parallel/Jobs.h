#pragma once
// How many threads "every core" means here. Kept apart from the pool's own header so
// that code which only asks (the window, the options) includes nothing of oneTBB.
namespace veltrano {

/// The number of threads "every core" means on this machine (at least 1).
int HardwareJobs() noexcept;

/// The most threads a job may be asked to use.
inline constexpr int kMaxJobs = 256;

}  // namespace veltrano

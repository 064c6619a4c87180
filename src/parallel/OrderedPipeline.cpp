#include "parallel/OrderedPipeline.h"

#if VELTRANO_THREADS && VELTRANO_TBB
#include <oneapi/tbb/info.h>
#elif VELTRANO_THREADS
#include <thread>
#endif

namespace veltrano {

#if VELTRANO_THREADS && VELTRANO_TBB
int HardwareJobs() noexcept { return std::max(1, oneapi::tbb::info::default_concurrency()); }
#elif VELTRANO_THREADS
// The cores the system reports (0 where it cannot tell).
int HardwareJobs() noexcept { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }
#else
// Without a pool (the browser's build) every job runs on the calling thread.
int HardwareJobs() noexcept { return 1; }
#endif

}  // namespace veltrano

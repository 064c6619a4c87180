#include "parallel/OrderedPipeline.h"

#if VELTRANO_THREADS
#include <oneapi/tbb/info.h>
#endif

namespace veltrano {

#if VELTRANO_THREADS
int HardwareJobs() noexcept { return std::max(1, oneapi::tbb::info::default_concurrency()); }
#else
// Without a pool (the browser's build) every job runs on the calling thread.
int HardwareJobs() noexcept { return 1; }
#endif

}  // namespace veltrano

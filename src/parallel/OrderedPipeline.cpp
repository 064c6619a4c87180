#include "parallel/OrderedPipeline.h"

#include <oneapi/tbb/info.h>

namespace veltrano {

int HardwareJobs() noexcept { return std::max(1, oneapi::tbb::info::default_concurrency()); }

}  // namespace veltrano

#include "numeric/UniformGenerator.h"

#include <chrono>

namespace veltrano {

UniformGenerator& ProcessUniform() noexcept {
  static UniformGenerator generator;
  return generator;
}

std::uint32_t ClockSeed() noexcept {
  const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
  const auto t = static_cast<std::uint64_t>(ticks);
  return static_cast<std::uint32_t>(t ^ (t >> 32));
}

}  // namespace veltrano

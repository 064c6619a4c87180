#include "numeric/UniformGenerator.h"

#include <chrono>

namespace veltrano {

std::uint32_t ClockSeed() noexcept {
  const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
  const auto t = static_cast<std::uint64_t>(ticks);
  return static_cast<std::uint32_t>(t ^ (t >> 32));
}

std::uint64_t ClockSeed64() noexcept {
  std::uint64_t z = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) +
                    0x9E3779B97F4A7C15u;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

}  // namespace veltrano

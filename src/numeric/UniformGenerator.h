#pragma once
// The uniform random generator of the simulation.
//
// A linear congruential generator modulo 2^32: every draw first steps the state
// s <- s * 134775813 + 1 (mod 2^32) and then returns u = s / 2^32, so each draw is an
// integer multiple of 2^-32 with 0 <= u < 1. A seed S is the state before the first
// draw, which makes any run repeatable from its seed.
#include <cstdint>

namespace veltrano {

class UniformGenerator {
public:
  explicit UniformGenerator(std::uint32_t seed = 0) noexcept : s_(seed) {}

  void Seed(std::uint32_t seed) noexcept { s_ = seed; }
  /// The state: the seed that repeats every draw from here on.
  std::uint32_t State() const noexcept { return s_; }

  double Draw() noexcept {
    s_ = s_ * 134775813u + 1u;
    return static_cast<double>(s_) * 0x1p-32;
  }

private:
  std::uint32_t s_;
};

/// A seed taken from the clock.
std::uint32_t ClockSeed() noexcept;
/// A 64-bit seed taken from the clock (a philox study's): SplitMix64's output function of
/// the clock's ticks, so that runs started close together get unrelated seeds.
std::uint64_t ClockSeed64() noexcept;

}  // namespace veltrano

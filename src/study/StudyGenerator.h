#pragma once
// The generator a study draws from, and the stream of each of its replications.
//
//   lcg     the simulation run's linear congruential generator modulo 2^32: condition i
//           of a study seeded S (0 to 2^32 − 1) draws its replications one after the other
//           from ConditionSeed(S, i), exactly as `simulate --seed ConditionSeed(S, i)`.
//   philox  Philox4x32-10 (numeric/PhiloxStream.h): replication r of condition i of a
//           study seeded S (any 64-bit number) draws from a stream of its own, keyed by S,
//           its counter holding i and r; no two replications, conditions or seeds share a
//           number, and any replication can be made alone, in any order, on any thread.
//
// Both hand a test the same kind of draws (uniforms on [0, 1), multiples of 2^-32) and
// the test uses them the same way, so every measure means the same with either.
#include <cstdint>
#include <string_view>

#include "numeric/PhiloxStream.h"

namespace veltrano {

enum class StudyGenerator : std::uint8_t { Lcg, Philox };

/// "lcg" or "philox", as options and rows name them.
const char* GeneratorName(StudyGenerator g) noexcept;

/// Reads "philox" or "lcg" (the setting generator). Raises StudyInputError.
StudyGenerator ParseGenerator(std::string_view text);

/// The largest study seed of an lcg study (the run's generator's state has 32 bits), and of
/// a philox study (its key has 64).
inline constexpr std::uint64_t kMaxLcgSeed = 4294967295u;
inline constexpr std::uint64_t kMaxPhiloxSeed = 18446744073709551615u;

/// The highest replication number a philox stream can name: the counter holds it in 32 bits.
inline constexpr std::int64_t kMaxReplicationNumber = 4294967295;

/// The stream of replication r (from 1) of condition i (from 1) of a philox study seeded S;
/// i and r are at most 2^32 − 1 (kMaxConditions, kMaxReplicationNumber).
inline PhiloxStream ReplicationStream(std::uint64_t S, std::int64_t i, std::int64_t r) noexcept {
  return PhiloxStream(S, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(r));
}

}  // namespace veltrano

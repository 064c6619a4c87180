#pragma once
// The conditions of a simulation study and the seed each one draws from.
//
// A condition is one (n, k, Do) of `simulate`: n items per test, k alternatives per
// item, Do the degree of knowledge in percent. A study's conditions are either a grid,
// every combination of a list of n, a list of k and a list of Do (n outermost, then k,
// then Do), or the lines of a design file, in the file's order. Conditions count from 1.
// A grid is never spelled out: condition i is computed from the three lists, so a grid
// of millions of conditions costs no more memory than one of ten.
#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "numeric/SettingText.h"
#include "simulation/RunSettings.h"

namespace veltrano {

/// Input that does not describe a study: a list, range, design line, shard or file of
/// rows that breaks its rules. The message names the setting (marked, SettingText.h), or
/// the file and line; what() words the settings plainly, Marked() keeps them for a front
/// end to word its own way.
class StudyInputError : public std::runtime_error {
public:
  explicit StudyInputError(const std::string& marked)
      : std::runtime_error(Worded(marked, Spelling::Plain)), marked_(marked) {}
  const std::string& Marked() const noexcept { return marked_; }

private:
  std::string marked_;
};

/// The parts of s between separators ("a,,b" gives "a", "", "b"; "" gives one empty part).
std::vector<std::string_view> SplitAt(std::string_view s, char separator);

struct Condition {
  std::int32_t n = 0;  // items per test
  std::int32_t k = 0;  // alternatives per item
  std::int32_t D = 0;  // Do, degree of knowledge in percent
  friend bool operator==(const Condition&, const Condition&) = default;
};

/// The values of a list option such as `--do 0:100:10` or `--n 10,20,50`: entries
/// separated by commas, each a whole number or a range lo:hi:step (lo:hi means step 1)
/// holding lo, lo + step, ... up to hi. Every value, and both ends of a range, must lie
/// in the setting's range. Raises StudyInputError naming the setting.
std::vector<std::int32_t> ParseValueList(std::string_view text, const SettingEntry& setting);

/// The design file: a header naming the columns n, k and do (in any order), then one
/// condition per line, its values separated by commas. Blanks around values, blank
/// lines, lines starting with '#' and Windows line ends are allowed. Raises
/// StudyInputError naming the file (as `name`), the line and the column.
std::vector<Condition> ReadDesign(std::istream& in, const std::string& name);

/// The most conditions a study may have: a condition's index feeds a 32-bit seed mix.
inline constexpr std::int64_t kMaxConditions = 4294967295;

class StudyConditions {
public:
  /// Every (n, k, Do) of the three lists, n outermost, then k, then Do.
  static StudyConditions Grid(std::vector<std::int32_t> n, std::vector<std::int32_t> k,
                              std::vector<std::int32_t> D);
  /// The listed conditions in their order.
  static StudyConditions Listed(std::vector<Condition> conditions);

  std::int64_t Count() const noexcept { return count_; }
  /// Condition `index`, 1 to Count().
  Condition At(std::int64_t index) const;

private:
  std::vector<std::int32_t> n_, k_, D_;
  std::vector<Condition> listed_;
  bool grid_ = false;
  std::int64_t count_ = 0;
};

/// The seed of condition i of a study seeded with S: the high 32 bits of SplitMix64's
/// output function (Steele, Lea & Flood 2014) applied to the 64-bit word S·2^32 + i,
///   z = S·2^32 + i + 0x9E3779B97F4A7C15
///   z = (z xor (z >> 30)) · 0xBF58476D1CE4E5B9
///   z = (z xor (z >> 27)) · 0x94D049BB133111EB
///   seed = (z xor (z >> 31)) >> 32          (all mod 2^64)
/// The mix is a bijection of the word and every input bit reaches every output bit, so
/// neighbouring conditions and neighbouring study seeds get unrelated seeds. Condition
/// i's tests are `simulate --seed ConditionSeed(S, i)` with the condition's n, k, Do.
constexpr std::uint32_t ConditionSeed(std::uint32_t S, std::uint32_t i) noexcept {
  std::uint64_t z = ((std::uint64_t{S} << 32) | i) + 0x9E3779B97F4A7C15u;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  z ^= z >> 31;
  return static_cast<std::uint32_t>(z >> 32);
}

/// Shard I of N: the conditions whose index is ≡ I (mod N), I from 1 to N.
struct Shard {
  std::int64_t index = 1;
  std::int64_t count = 1;

  bool Holds(std::int64_t condition) const noexcept { return (condition - index) % count == 0; }
  /// The number of the study's conditions the shard holds.
  std::int64_t Size(std::int64_t conditions) const noexcept {
    return conditions < index ? 0 : (conditions - index) / count + 1;
  }
  /// Its j-th condition (j from 0).
  std::int64_t Condition(std::int64_t j) const noexcept { return index + j * count; }
};

/// Reads "I/N" (as given to `--shard`). Raises StudyInputError.
Shard ParseShard(std::string_view text);

}  // namespace veltrano

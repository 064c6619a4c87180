#pragma once
// Generation of one simulated multiple-choice test.
//
// Each item has k alternatives, named by label (1..k, label 1 the correct one) and by
// position (1..k, where it is printed). The examinee knows n_conocido of the n items
// and answers them correctly; every other item is answered by inverse-transformation
// choices: k−1 uniform numbers are drawn and sorted, a new uniform number is drawn,
// and one plus the count of sorted numbers below it gives the alternative. Every item
// adds 1 to cell [position of the correct answer][position of the marked answer].
#include <concepts>
#include <cstdint>
#include <string>
#include <vector>

#include "numeric/PhiloxStream.h"
#include "numeric/UniformGenerator.h"
#include "table/tBfMatriz.h"

namespace veltrano {

/// One simulated item.
struct item {
  std::int32_t alt_correcta = 0;   // label of the correct alternative: always 1
  std::int32_t alt_elegida = 0;    // label of the marked alternative, 1..k
  std::int32_t pos_acorrecta = 0;  // position of the correct alternative, 1..k
  std::int32_t pos_aelegida = 0;   // position of the marked alternative, 1..k
};

/// The decimal text of value ≥ 0, preceded by at most 14 zeros up to width characters.
std::string ZeroPad(std::int64_t value, int width);
void AppendZeroPad(std::string& out, std::int64_t value, int width);

/// The nearest integer (ties to even) to (a − 0.5) + (b − a + 1)·u, never below a:
/// for 0 ≤ u < 1 every value a..b is equally likely.
std::int32_t UniformToInt(std::int32_t a, std::int32_t b, double u);
/// The generators a test draws from: the run's linear congruential generator, and a study
/// replication's Philox stream. Each draw is a uniform on [0, 1), a multiple of 2^-32, and
/// a test uses its draws the same way whichever it draws from. The functions below that
/// draw are compiled for these two.
template <class G>
concept TestUniform = requires(G g) {
  { g.Draw() } -> std::same_as<double>;
};

/// UniformToInt(a, b, u) with one new draw u.
template <TestUniform G>
std::int32_t RandomInt(std::int32_t a, std::int32_t b, G& rng);

/// A choice among 1..k by the inverse transformation method; consumes exactly k
/// draws. When trace is given it receives (replaced, not appended to) the sorted
/// values and the decisive draw, "\t 0.214\t 0.602\t[ 0.155 -> 1]".
template <TestUniform G>
std::int32_t InverseTransformChoice(std::int32_t k, std::string* trace, G& rng);

/// The number of known items: n × (D / 100) rounded to the nearest integer, ties to
/// even, with the quotient and the product in 80-bit extended precision.
std::int32_t KnownCount(std::int32_t n, std::int32_t D);

/// One test's generation. The table must be a zeroed k × k table, items n + 1 entries.
/// When listing is given, one line per item is appended to it.
struct TestGeneration {
  std::int32_t n = 0;
  std::int32_t k = 0;
  bool sortKnown = false;              // "Sort known:": keys are the item numbers
  std::vector<std::string>* listing = nullptr;
  std::string placeholder;             // k−1 × "\t" + "--", used by known lines

  template <TestUniform G>
  void KnownItemsPhase(std::int32_t n_conocido, std::vector<item>& items, tBfMatriz& Tabla, G& rng) const;
  template <TestUniform G>
  void RemainingItemsPhase(std::int32_t n_conocido, std::vector<item>& items, tBfMatriz& Tabla, G& rng) const;
};

/// The placeholder of a known line: k−1 repetitions of "\t--".
std::string KnownPlaceholder(std::int32_t k);

}  // namespace veltrano

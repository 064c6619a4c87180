#include "simulation/RunTextSize.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "simulation/SimulatedExam.h"
#include "simulation/SimulationRun.h"

namespace veltrano {
namespace {

std::int64_t Digits(std::int64_t v) {
  std::int64_t d = 1;
  for (; v >= 10; v /= 10) ++d;
  return d;
}

// The digits of the numbers 1..count together: the test numbers of the results lines.
std::int64_t DigitsUpTo(std::int64_t count) {
  std::int64_t total = 0;
  for (std::int64_t low = 1, d = 1; low <= count; low *= 10, ++d) total += (std::min(count, low * 10 - 1) - low + 1) * d;
  return total;
}

// The widest an analysis number of the record can be written with d decimals: a sign,
// six integer digits, the point and the decimals.
std::int64_t AnalysisNumberWidth(int d) { return d + 8; }

}  // namespace

RunTextSize EstimateRunText(const RunSettings& s) {
  RunTextSize size;
  const std::int64_t n = s.SpinEdit_n;
  const std::int64_t k = s.SpinEdit_k;
  const DegreeWalk walk = WalkOf(s);
  const int degrees = walk.Count();
  const std::int64_t perDegree = s.SpinEdit_Test;
  size.tests = degrees * perDegree;

  // Residuals: the heading, then per test Do* (8 characters: it lies in 0..1) and three
  // residuals, each Do* less an estimate in −1..1 or the undefined marker: at most
  // 10000.999, 10 characters.
  size.residualLines = 1 + size.tests;
  size.residualBytes = static_cast<std::int64_t>(kResidualsHeading.size() + 1) +
                       size.tests * (8 + 3 * (1 + 10) + 1);

  if (!s.CheckBox_Text) return size;

  // A record: D and SE(D), the interval's two limits, Dk&a and its SE.
  const std::int64_t numbers = 2 + (s.CheckBox_CI ? 2 : 0) + (s.CheckBox_Dka ? 2 : 0);
  const std::int64_t record = numbers * AnalysisNumberWidth(s.SpinEdit_Decs) + (numbers - 1);
  // A cell of the table counts at most n answers.
  const std::int64_t cell = std::max<std::int64_t>(5, Digits(n));
  const std::int64_t cells = s.CheckBox_Table && !s.CheckBox_full ? k * k * (cell + 1) : 0;
  const auto header = static_cast<std::int64_t>(ResultsHeading(s).size() + 1);
  // A results line without its test number: the cells, Do* (decimals + 2 characters:
  // it lies in 0..1), the record and DL&N (6 characters: it lies in −1..1).
  const std::int64_t resultsLine = 1 + cells + 1 + (s.SpinEdit_Decs + 2) + 1 + record + 1 + 6 + 1;
  size.dataLines = size.tests;
  size.dataBytes = DigitsUpTo(size.tests) + size.tests * resultsLine;

  if (!s.CheckBox_full) {
    size.dataLines += 1;  // the heading, before the first test
    size.dataBytes += header;
    return size;
  }

  // Full output: per test the listing heading, one line per item, the observed table
  // between its captions, and the results heading.
  const std::int64_t key = std::max<std::int64_t>(3, Digits(n));  // 001…, or the item's number
  const std::int64_t positions = 2 * (1 + Digits(k));
  const std::int64_t knownLine = key + positions + 3 * (k - 1) + std::string_view("\t[ known ]").size() + 1;
  // A guessed item's trace: k − 1 sorted draws, then "\t[ 0.155 -> 1]".
  const std::int64_t guessedLine = key + positions + 7 * (k - 1) + 2 + 6 + 4 + Digits(k) + 1 + 1;
  const std::int64_t fixedLines = 1 + 3 + k + 3 + 1;
  const auto lineBytes = [](std::string_view line) { return static_cast<std::int64_t>(line.size() + 1); };
  const std::int64_t fixedBytes = lineBytes(kListingHeading) + lineBytes(kListingEnd) +
                                  lineBytes(kObservedTableCaption) + 1 + k * (k * (1 + cell) + 1) + 1 +
                                  lineBytes(kResultsCaption) + 1 + header;
  for (int d = 0; d < degrees; ++d) {
    const std::int64_t known = KnownCount(static_cast<std::int32_t>(n), walk.At(d));
    size.dataLines += perDegree * (fixedLines + n);
    size.dataBytes += perDegree * (fixedBytes + known * knownLine + (n - known) * guessedLine);
  }
  return size;
}

}  // namespace veltrano

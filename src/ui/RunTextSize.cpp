#include "ui/RunTextSize.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "simulation/SimulatedExam.h"

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
  const int step = std::max(1, s.SpinEdit_Step);
  // The degrees as the run walks them: Dmax below Do is raised to Do, within Dmax's
  // range 0..99.
  int dmax = s.SpinEdit_Dmax;
  if (dmax < s.SpinEdit_D0) dmax = std::min(s.SpinEdit_D0, 99);
  const int dlast = s.CheckBox_Iterate ? dmax : s.SpinEdit_D0;
  const int degrees = s.SpinEdit_D0 > dlast ? 1 : (dlast - s.SpinEdit_D0) / step + 1;
  const std::int64_t perDegree = s.SpinEdit_Test;
  size.tests = degrees * perDegree;

  // Residuals: the heading, then per test Do* (8 characters: it lies in 0..1) and three
  // residuals, each Do* less an estimate in −1..1 or the undefined marker: at most
  // 10000.999, 10 characters.
  size.residualLines = 1 + size.tests;
  size.residualBytes = static_cast<std::int64_t>(std::string_view("Do\trDu\trDc\trDLN\n").size()) +
                       size.tests * (8 + 3 * (1 + 10) + 1);

  if (!s.CheckBox_Text) return size;

  // A record: D and SE(D), the interval's two limits, Dk&a and its SE.
  const std::int64_t numbers = 2 + (s.CheckBox_CI ? 2 : 0) + (s.CheckBox_Dka ? 2 : 0);
  const std::int64_t record = numbers * AnalysisNumberWidth(s.SpinEdit_Decs) + (numbers - 1);
  const std::int64_t analysisHeader = std::string_view("D\tSE(D)").size() +
                                      (s.CheckBox_CI ? std::string_view("\tIC-(D)\tIC+(D)").size() : 0) +
                                      (s.CheckBox_Dka ? std::string_view("\tDk&a\tSE(Dk&a)").size() : 0);
  // A cell of the table counts at most n answers.
  const std::int64_t cell = std::max<std::int64_t>(5, Digits(n));
  std::int64_t caption = 0;  // "X[1,1]\t…" when the results lines carry the cells
  std::int64_t cells = 0;
  if (s.CheckBox_Table && !s.CheckBox_full) {
    for (std::int64_t i = 1; i <= k; ++i)
      for (std::int64_t j = 1; j <= k; ++j) caption += 5 + Digits(i) + Digits(j);
    cells = k * k * (cell + 1);
  }
  const std::int64_t header = 5 + caption + 5 + analysisHeader + 6;
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
  const std::int64_t fixedBytes = std::string_view("i\tCorrect\tChoice\t-- Selection procedure ---------\n").size() +
                                  std::string_view("---------------\nObserved Table: \n\n").size() +
                                  k * (k * (1 + cell) + 1) + std::string_view("\nResults: \n\n").size() + header;
  for (int d = 0; d < degrees; ++d) {
    const std::int64_t known = KnownCount(static_cast<std::int32_t>(n), s.SpinEdit_D0 + d * step);
    size.dataLines += perDegree * (fixedLines + n);
    size.dataBytes += perDegree * (fixedBytes + known * knownLine + (n - known) * guessedLine);
  }
  return size;
}

}  // namespace veltrano

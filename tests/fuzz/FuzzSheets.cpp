// The answer-sheet reader on arbitrary bytes: it either hands on examinees whose marks
// keep every rule (one per item of the key, each 0..10) and tally into a table whose
// total is the number answered, or rejects the input with a message naming a line; the
// key reader likewise.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "sheets/ResponseSheet.h"

using namespace veltrano;

namespace {

void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const AnswerKey key = ParseKey(text);
    Require(key.Items() > 0, "empty key accepted");
    for (const Mark m : key.positions) Require(m >= 1 && m <= kMaxAlternatives, "key position out of range");
  } catch (const SheetFormatError& e) {
    Require(std::string(e.what()).size() > 0, "empty message");
  }

  std::istringstream in(text);
  try {
    SheetReader reader(in, nullptr, 0);
    SheetRow row;
    std::vector<Mark> marks;
    std::vector<double> cells;
    std::string scratch;
    while (reader.NextRow(row)) {
      Require(row.line > 0, "row without a line");
      const int largest = reader.Marks(row, marks, scratch);
      Require(largest >= 0 && largest <= kMaxAlternatives, "mark out of range");
      Require(marks.size() == reader.Key().positions.size(), "row and key of different lengths");
      const int k = std::max({2, largest, reader.Key().Largest()});
      const AnswerCounts c = Tally(reader.Key(), marks, k, cells);
      double total = 0;
      for (const double x : cells) total += x;
      Require(total == static_cast<double>(c.answered), "table total is not the items answered");
      Require(c.answered + c.omitted == c.items && c.right <= c.answered, "inconsistent counts");
    }
  } catch (const SheetFormatError& e) {
    Require(std::string(e.what()).size() > 0, "empty message");
    Require(e.line() >= 0 && e.column() >= 0, "negative line or column");
  }
  return 0;
}

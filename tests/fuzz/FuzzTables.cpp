// The table reader of `veltrano-batch analyse` on arbitrary text: it hands out, one at
// a time, tables that keep every rule (square, 2 to 10 classes, whole non-negative
// counts, a positive total of at most kMaxTableTotal) and then either ends or rejects
// the input with a message naming a table and a line, after which it hands out nothing;
// every table it accepts can be analysed.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include "analysis/tAnalisisDeltaMET.h"
#include "jobs/TableReader.h"
#include "numeric/FloatFaults.h"

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
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  jobs::TableReader reader(in);
  int count = 0;
  for (;;) {
    std::optional<jobs::ObservedTable> t;
    try {
      t = reader.Next();
    } catch (const jobs::TableFormatError& e) {
      Require(std::string(e.what()).size() > 0, "empty message");
      Require(e.line() >= 0 && e.table() >= 0, "negative table or line");
      Require(e.table() == 0 || e.table() == count + 1, "error names another table than the one read");
      Require(!reader.Next(), "a table after an error");
      return 0;
    }
    if (!t) break;
    ++count;
    Require(t->number == count, "tables out of order");
    Require(t->k >= kMinAlternatives && t->k <= kMaxAlternatives, "class count out of range");
    Require(t->cells.size() == static_cast<std::size_t>(t->k * t->k), "not square");
    double total = 0;
    for (double c : t->cells) {
      Require(std::isfinite(c) && c >= 0 && c <= jobs::kMaxEntry && c == std::floor(c), "bad count accepted");
      total += c;
    }
    Require(total > 0 && total <= kMaxTableTotal, "bad total accepted");
    if (count > 1) continue;
    // The first table goes through the whole analysis.
    tBfMatriz m = jobs::ToMatriz(*t);
    tAnalisisDeltaMET a;
    a.Create(m, nullptr, 1, "");
    a.output_Config(true, true, true, true);
    a.Analysis_AssignParams(10, 100, 3);
    try {
      a.Execute();
    } catch (const FloatingPointError&) {
    }
  }
  Require(count > 0, "no table and no error");
  Require(!reader.Next(), "a table after the end");
  return 0;
}

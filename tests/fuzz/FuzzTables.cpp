// The table reader of `veltrano-batch analyse` on arbitrary text: it either reads
// tables that keep every rule (square, 2 to 10 classes, finite non-negative counts, a
// positive total) or rejects the input with a message naming a table and a line;
// every table it accepts can be analysed.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "analysis/tAnalisisDeltaMET.h"
#include "batch/TableReader.h"
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
  std::vector<batch::ObservedTable> tables;
  try {
    tables = batch::ReadTables(in);
  } catch (const batch::TableFormatError& e) {
    Require(std::string(e.what()).size() > 0, "empty message");
    Require(e.line() >= 0 && e.table() >= 0, "negative table or line");
    return 0;
  }
  Require(!tables.empty(), "no table and no error");
  for (const batch::ObservedTable& t : tables) {
    Require(t.k >= batch::kMinClasses && t.k <= batch::kMaxClasses, "class count out of range");
    Require(t.cells.size() == static_cast<std::size_t>(t.k * t.k), "not square");
    double total = 0;
    for (double c : t.cells) {
      Require(std::isfinite(c) && c >= 0 && c <= batch::kMaxEntry, "bad count accepted");
      total += c;
    }
    Require(total > 0, "empty table accepted");
  }
  // The first table goes through the whole analysis.
  tBfMatriz m = batch::ToMatriz(tables.front());
  tAnalisisDeltaMET a;
  a.Create(m, nullptr, 1, "");
  a.output_Config(true, true, true, true);
  a.Analysis_AssignParams(10, 100, 3);
  try {
    a.Execute();
  } catch (const FloatingPointError&) {
  }
  return 0;
}

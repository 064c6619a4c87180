#pragma once
// Running a study in-process into strings, and reading its CSV rows back by column.
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "TextLines.h"
#include "study/Study.h"

namespace veltrano::testing {

struct CollectingSink final : StudySink {
  std::string rows;     // summary rows
  std::string tests;    // test rows
  long blocks = 0;
  long stopAfterBlocks = -1;  // end the study after this many blocks (−1: never)

  void TestRows(std::string_view r) override { tests.append(r); }
  void ConditionRows(std::string_view r) override { rows.append(r); }
  bool Continue(const StudyProgress&) override { return ++blocks != stopAfterBlocks; }
};

inline StudyDefinition GridStudy(std::vector<std::int32_t> n, std::vector<std::int32_t> k,
                                 std::vector<std::int32_t> D, std::int64_t replications, std::uint64_t seed,
                                 bool ci = false, StudyGenerator generator = StudyGenerator::Lcg) {
  StudyDefinition s;
  s.conditions = StudyConditions::Grid(std::move(n), std::move(k), std::move(D));
  s.replications = replications;
  s.seed = seed;
  s.ci = ci;
  s.generator = generator;
  return s;
}

/// Summary rows (without a header) as maps from column name to cell.
inline std::vector<std::map<std::string, std::string>> RowsByColumn(const std::string& rows) {
  const std::vector<std::string> names = Cells(std::string(SummaryHeader(StudyGenerator::Philox)));
  std::vector<std::map<std::string, std::string>> out;
  for (const std::string& line : Lines(rows)) {
    const std::vector<std::string> cells = Cells(line);
    std::map<std::string, std::string> row;
    for (std::size_t i = 0; i < names.size() && i < cells.size(); ++i) row[names[i]] = cells[i];
    out.push_back(std::move(row));
  }
  return out;
}

}  // namespace veltrano::testing

// The reader of observed tables: what layouts it accepts and where it says a table
// breaks a rule (the messages themselves are checked through the command).
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "batch/TableReader.h"

namespace veltrano::batch {
namespace {

std::vector<ObservedTable> Read(const std::string& text) {
  std::istringstream in(text);
  return ReadTables(in);
}

TEST(ReadTables, AcceptsBlanksTabsCommentsAndCrLf) {
  const auto tables = Read(
      "# two tables\n"
      "\n\n"
      "  8\t1 \t 1\r\n"
      "2 7 1\n"
      "   # a comment inside a table does not end it\n"
      "1 1 8.5\n"
      " \t \n"
      "0 1e3\n"
      "-0 2.5e-1");  // no final line end
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0].number, 1);
  EXPECT_EQ(tables[0].firstLine, 4);
  EXPECT_EQ(tables[0].k, 3);
  EXPECT_EQ(tables[0].cells, (std::vector<double>{8, 1, 1, 2, 7, 1, 1, 1, 8.5}));
  EXPECT_EQ(tables[1].number, 2);
  EXPECT_EQ(tables[1].firstLine, 9);
  EXPECT_EQ(tables[1].cells, (std::vector<double>{0, 1000, 0, 0.25}));
  EXPECT_FALSE(std::signbit(tables[1].cells[2]));  // "-0" is the count 0
}

TEST(ReadTables, ErrorsNameTheTableAndLine) {
  struct Case {
    const char* text;
    int table, line;
  };
  const Case cases[] = {
      {"1 2\n3 4\n\n# c\n1 2 3\n4 5 6\n\n", 2, 5},  // too few rows: the table's first line
      {"1 2\n3 4\n\n1 2\n3 4 5\n", 2, 5},           // a short or long row: its own line
      {"1 2\n3 4\n5 6\n", 1, 3},                     // a row too many
      {"0 0\n0 0\n", 1, 1},                          // zero total
      {"\n\n# none\n", 0, 3},                        // no table
  };
  for (const Case& c : cases) {
    try {
      Read(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const TableFormatError& e) {
      EXPECT_EQ(e.table(), c.table) << c.text;
      EXPECT_EQ(e.line(), c.line) << c.text;
    }
  }
}

TEST(ReadTables, ToMatrizComputesTheMargins) {
  const auto tables = Read("6 4\n3 7\n");
  const tBfMatriz m = ToMatriz(tables[0]);
  EXPECT_EQ(m.Dim.F, 2);
  EXPECT_EQ(m.X[1][2], 4);
  EXPECT_EQ(m.X[1][0], 10);  // row total
  EXPECT_EQ(m.X[0][1], 9);   // column total
  EXPECT_EQ(m.X[0][0], 20);  // grand total
}

}  // namespace
}  // namespace veltrano::batch

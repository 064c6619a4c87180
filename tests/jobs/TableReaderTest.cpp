// The reader of observed tables: what layouts it accepts, where and how it says a table
// breaks a rule, and that it reads a stream one table at a time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <streambuf>

#include "analysis/tAnalisisDeltaMET.h"
#include "jobs/TableReader.h"

namespace veltrano::jobs {
namespace {

std::vector<ObservedTable> Read(const std::string& text) {
  std::istringstream in(text);
  return ReadTables(in);
}

// A stream of `head` followed by `fill` repeated up to `size` characters in all, handed
// out `chunk` characters at a time; it counts what the reader has taken.
class CountingSource : public std::streambuf {
public:
  CountingSource(std::string head, std::string fill, std::size_t size, std::size_t chunk)
      : head_(std::move(head)), fill_(std::move(fill)), size_(size), buffer_(chunk) {}
  std::size_t Served() const { return served_ - static_cast<std::size_t>(egptr() - gptr()); }

protected:
  int_type underflow() override {
    std::size_t n = 0;
    for (; n < buffer_.size() && served_ < size_; ++n, ++served_)
      buffer_[n] = served_ < head_.size() ? head_[served_] : fill_[(served_ - head_.size()) % fill_.size()];
    if (n == 0) return traits_type::eof();
    setg(buffer_.data(), buffer_.data(), buffer_.data() + n);
    return traits_type::to_int_type(buffer_[0]);
  }

private:
  std::string head_, fill_;
  std::size_t size_;
  std::size_t served_ = 0;
  std::vector<char> buffer_;
};

TEST(ReadTables, AcceptsBlanksTabsCommentsAndCrLf) {
  const auto tables = Read(
      "\xef\xbb\xbf# two tables, after a UTF-8 byte-order mark\n"
      "\n\n"
      "  8\t1 \t 1\r\n"
      "2 7 1\n"
      "   # a comment inside a table does not end it\n"
      "1 1 8.0\n"
      " \t \n"
      "0 1e3\n"
      "-0 2.5e1");  // no final line end
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0].number, 1);
  EXPECT_EQ(tables[0].firstLine, 4);
  EXPECT_EQ(tables[0].k, 3);
  EXPECT_EQ(tables[0].cells, (std::vector<double>{8, 1, 1, 2, 7, 1, 1, 1, 8}));
  EXPECT_EQ(tables[1].number, 2);
  EXPECT_EQ(tables[1].firstLine, 9);
  EXPECT_EQ(tables[1].cells, (std::vector<double>{0, 1000, 0, 25}));
  EXPECT_FALSE(std::signbit(tables[1].cells[2]));  // "-0" is the count 0
}

TEST(ReadTables, AcceptsTheLimits) {
  const std::string longest = "1" + std::string(kMaxLineLength - 2, ' ') + "2";
  const std::string total = std::to_string(static_cast<long long>(kMaxTableTotal) - 6);
  struct Case {
    const char* what;
    std::string text;
    std::vector<double> cells;
  };
  const Case cases[] = {
      {"a line of the longest length", longest + "\n3 4\n", {1, 2, 3, 4}},
      {"the longest line and a CR", longest + "\r\n3 4\r\n", {1, 2, 3, 4}},
      {"a longer comment, skipped unread", "#" + std::string(3 * kMaxLineLength, 'x') + "\n1 2\n3 4\n", {1, 2, 3, 4}},
      {"the largest total", "1 2\n3 " + total + "\n", {1, 2, 3, kMaxTableTotal - 6}},
  };
  for (const Case& c : cases) {
    const auto tables = Read(c.text);
    ASSERT_EQ(tables.size(), 1u) << c.what;
    EXPECT_EQ(tables[0].cells, c.cells) << c.what;
  }
}

TEST(ReadTables, ErrorsNameTheTableTheLineAndTheRule) {
  const std::string tooLong = std::string(kMaxLineLength + 1, '1');
  const std::string over = std::to_string(static_cast<long long>(kMaxTableTotal) - 5);
  const std::string longMessage = "the line is longer than 65536 characters; a row has at most 10 entries";
  struct Case {
    std::string text;
    int table, line;
    std::string message;
  };
  const Case cases[] = {
      {"1 2\n3 4\n\n# c\n1 2 3\n4 5 6\n\n", 2, 5, "2 rows of 3 entries; a table must be square"},
      {"1 2\n3 4\n\n1 2\n3 4 5\n", 2, 5, "3 entries where the first row has 2; every row must have the same number "
                                         "of entries"},
      {"1 2\n3 4\n5 6\n", 1, 3, "more rows than the 2 columns; a table must be square (end it with a blank line)"},
      {"0 0\n0 0\n", 1, 1, "every entry is 0; a table needs a positive total"},
      {"\n\n# none\n", 0, 3, "the input holds no table"},
      // Counts are whole numbers, however written.
      {"1 2\n3 8.5\n", 1, 2, "\"8.5\" is not a whole number; an entry must be a count"},
      {"1 2\n3 4\n\n1 2.5e-1\n3 4\n", 2, 4, "\"2.5e-1\" is not a whole number; an entry must be a count"},
      {"1 1e-300\n3 4\n", 1, 1, "\"1e-300\" is not a whole number; an entry must be a count"},
      // The total is bounded where the analysis keeps its digits; the table's first line.
      {"1 2\n3 " + over + "\n", 1, 1,
       "the entries add up to 1000000001; a table's total may be at most 1000000000 (the analysis loses "
       "precision beyond it)"},
      {"1 1e15\n1 1\n", 1, 1,
       "the entries add up to 1000000000000003; a table's total may be at most 1000000000 (the analysis loses "
       "precision beyond it)"},
      // A byte-order mark anywhere but at the start is not blank.
      {"1 2\n\xef\xbb\xbf" "3 4\n", 1, 2, "\"\\xef\\xbb\\xbf3\" is not a number"},
      // An over-long line: in a table, between tables (the one it would begin), at the start.
      {"1 2\n" + tooLong + "\n", 1, 2, longMessage},
      {"1 2\n3 4\n\n" + tooLong + "\n", 2, 4, longMessage},
      {tooLong, 1, 1, longMessage},
  };
  for (const Case& c : cases) {
    const std::string shown = c.text.substr(0, 40);
    try {
      Read(c.text);
      ADD_FAILURE() << "accepted: " << shown;
    } catch (const TableFormatError& e) {
      EXPECT_EQ(e.table(), c.table) << shown;
      EXPECT_EQ(e.line(), c.line) << shown;
      const std::string where =
          c.table > 0 ? "table " + std::to_string(c.table) + ", line " + std::to_string(c.line) + ": " : "";
      EXPECT_EQ(e.what(), where + c.message) << shown;
    }
  }
}

TEST(TableReader, HandsOutEachTableOnceItsBlankLineIsRead) {
  // One character at a time, so what was taken is exactly what was read.
  const std::string first = "# first\n1 2\n3 4\n\n";
  const std::string text = first + "5 6\n7 x\n\n9 9\n9 9\n";
  CountingSource source(text, " ", text.size(), 1);
  std::istream in(&source);
  TableReader reader(in);
  const std::optional<ObservedTable> t1 = reader.Next();
  ASSERT_TRUE(t1);
  EXPECT_EQ(t1->cells, (std::vector<double>{1, 2, 3, 4}));
  EXPECT_EQ(source.Served(), first.size());
  EXPECT_THROW(reader.Next(), TableFormatError);  // table 2, line 6
  EXPECT_FALSE(reader.Next());                     // and no more after an error
}

TEST(TableReader, RefusesAnOverlongLineWithoutReadingIt) {
  // A first row of a gigabyte: refused once the limit is passed, not at its end.
  CountingSource source("1 2\n", "1 ", std::size_t{1} << 30, 4096);
  std::istream in(&source);
  TableReader reader(in);
  try {
    reader.Next();
    FAIL() << "accepted";
  } catch (const TableFormatError& e) {
    EXPECT_EQ(e.line(), 2);
  }
  EXPECT_LT(source.Served(), 2 * kMaxLineLength);
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

// Tables given as numbers (a binding's arrays) follow the text's rules, with messages that
// name the table and the entry.
struct ArrayCase {
  const char* name;
  int k;
  std::vector<double> cells;
  const char* message;  // "" for a good table
};

void PrintTo(const ArrayCase& c, std::ostream* os) { *os << c.name; }

const ArrayCase kArrayCases[] = {
    {"Good", 2, {3, 1, 0, 4}, ""},
    {"OneClass", 1, {5}, "table 7: 1 classes; a table has 2 to 10"},
    {"NotSquare", 2, {1, 2, 3}, "table 7: 3 entries where a 2 x 2 table has 4"},
    {"Fraction", 2, {3, 1, 2.5, 4}, "table 7: entry (2, 1) = 2.5 is not a whole number; an entry must be a count"},
    {"Negative", 2, {3, -1, 0, 4}, "table 7: entry (1, 2) = -1 is negative; an entry must be a count, 0 or more"},
    {"NotANumber", 2, {3, 1, 0, std::nan("")}, "table 7: entry (2, 2) is not a finite number"},
    {"Huge", 2, {2e15, 0, 0, 1}, "table 7: entry (1, 1) = 2e+15 is out of range; an entry must be a number from 0 to 1e15"},
    {"Empty", 2, {0, 0, 0, 0}, "table 7: every entry is 0; a table needs a positive total"},
    {"TooLarge", 2, {6e8, 0, 0, 6e8},
     "table 7: the entries add up to 1200000000; a table's total may be at most 1000000000 (the analysis loses "
     "precision beyond it)"},
};

class ArrayTables : public ::testing::TestWithParam<ArrayCase> {};

TEST_P(ArrayTables, FollowTheRulesOfText) {
  const ArrayCase& c = GetParam();
  ObservedTable t;
  t.number = 7;
  t.k = c.k;
  t.cells = c.cells;
  if (std::string(c.message).empty()) {
    EXPECT_NO_THROW(CheckObservedTable(t));
  } else {
    EXPECT_THAT([&] { CheckObservedTable(t); },
                ::testing::ThrowsMessage<TableFormatError>(::testing::StrEq(c.message)));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ArrayTables, ::testing::ValuesIn(kArrayCases),
                         [](const ::testing::TestParamInfo<ArrayCase>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace veltrano::jobs

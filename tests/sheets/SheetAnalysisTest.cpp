// The core of the answer sheets as a window calls it: the first reading that finds k,
// results in input order whatever the number of threads, a stop after any result, the first
// bad row in input order, a failing analysis that leaves its counts, and the test of
// favoured positions on tables worked by hand.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "sheets/SheetAnalysis.h"

namespace veltrano {
namespace {

struct Handed {
  Ending end = Ending::Completed;
  std::vector<std::string> rows;
};

// Analyses the sheet (k = 4) on `jobs` threads; the hand stops after `stopAfter` results
// (0: never).
Handed AnalyseWith(const std::string& sheet, int jobs, std::size_t stopAfter = 0) {
  std::istringstream in(sheet);
  SheetReader reader(in, nullptr, 4);
  Handed h;
  SheetRun run;
  run.k = 4;
  run.jobs = jobs;
  run.format = [](ExamineeResult& r) { AppendSheetCsvRow(r.text, r, AnalysisSettings{}); };
  run.hand = [&](const ExamineeResult& r) {
    h.rows.push_back(r.text);
    return h.rows.size() != stopAfter;
  };
  h.end = AnalyseSheet(reader, run);
  return h;
}

const char* const kSheet = "KEY,A,B,C,D\nS1,A,B,C,D\nS2,B,B,D,*\nS3,A,C,C,A\nS4,D,D,D,D\nS5,,,,\nS6,C,B,A,D\n";

TEST(AnalyseSheet, HandsResultsInInputOrderAndStopsWhenAsked) {
  const Handed one = AnalyseWith(kSheet, 1);
  ASSERT_EQ(one.end, Ending::Completed);
  ASSERT_EQ(one.rows.size(), 7u);  // six examinees, then the pooled row
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(one.rows[i].substr(0, 3), "S" + std::to_string(i + 1) + ",");
  EXPECT_EQ(one.rows[6].substr(0, 4), "ALL,");
  for (const int jobs : {1, 2, 5}) {
    EXPECT_EQ(AnalyseWith(kSheet, jobs).rows, one.rows) << jobs << " threads";
    const Handed stopped = AnalyseWith(kSheet, jobs, 2);
    EXPECT_EQ(stopped.end, Ending::Stopped);
    EXPECT_EQ(stopped.rows, std::vector<std::string>(one.rows.begin(), one.rows.begin() + 2)) << jobs << " threads";
  }
}

// Two bad rows: whichever thread meets which first, the error is the first in input order,
// raised after the rows before it are handed on.
TEST(AnalyseSheet, RaisesTheFirstBadRowAfterTheRowsBeforeIt) {
  std::string sheet = "KEY,A,B,C,D\n";
  for (int i = 1; i <= 40; ++i)
    sheet.append("S").append(std::to_string(i)).append(i == 30 ? ",A,B,C,Z\n" : ",A,B,C,D\n");
  sheet += "S41,A,B\n";
  for (const int jobs : {1, 3}) {
    std::istringstream in(sheet);
    SheetReader reader(in, nullptr, 4);
    SheetRun run;
    run.k = 4;
    run.jobs = jobs;
    int handed = 0;
    run.hand = [&](const ExamineeResult&) { return ++handed > 0; };
    try {
      AnalyseSheet(reader, run);
      ADD_FAILURE() << "accepted";
    } catch (const SheetFormatError& e) {
      EXPECT_EQ(e.line(), 31);
      EXPECT_EQ(e.column(), 5);
    }
    EXPECT_EQ(handed, 29) << jobs << " threads";
  }
}

// The first reading of a sheet: k is the largest alternative in the key and the marks,
// never below 2; the progress hook sees the bytes read up to every 256th row's end, and
// stops the scan when it says so.
TEST(ScanSheet, FindsKAndReportsProgressUntilStopped) {
  const struct {
    const char* sheet;
    int k;
  } kCases[] = {{"KEY,A,A\nS1,A,*\n", 2}, {"KEY,A,C\nS1,A,B\n", 3}, {"KEY,A,J\nS1,j,B\nS2,1,2\n", 10}};
  for (const auto& c : kCases) {
    std::istringstream in(c.sheet);
    SheetReader reader(in, nullptr, 0);
    EXPECT_EQ(ScanSheet(reader), c.k) << c.sheet;
  }
  // Without k, a mark beyond the key's alternatives is a slip, not a larger k.
  std::istringstream slip("KEY,A,C\nS1,A,B\nS2,D,C\n");
  SheetReader slipped(slip, nullptr, 0);
  EXPECT_THAT([&] { ScanSheet(slipped); },
              ::testing::Throws<MarkBeyondKeyError>(::testing::Property(&MarkBeyondKeyError::mark, 4)));

  std::string sheet = "KEY,A,B,D\n";
  std::vector<std::uint64_t> ends;  // the offset of each row's end
  for (int i = 0; i < 3 * kScanReportRows; ++i) {
    sheet.append("S").append(std::to_string(i)).append(",A,B,D\n");
    ends.push_back(sheet.size());
  }
  for (const bool stop : {false, true}) {
    std::istringstream in(sheet);
    SheetReader reader(in, nullptr, 0);
    std::vector<std::uint64_t> reported;
    const std::optional<int> k = ScanSheet(reader, [&](std::uint64_t bytes) {
      reported.push_back(bytes);
      return !stop;
    });
    if (stop) {
      EXPECT_EQ(k, std::nullopt);
      EXPECT_EQ(reported, std::vector<std::uint64_t>{ends[kScanReportRows - 1]});
    } else {
      EXPECT_EQ(k, 4);
      EXPECT_EQ(reported, (std::vector<std::uint64_t>{ends[kScanReportRows - 1], ends[2 * kScanReportRows - 1],
                                                      ends[3 * kScanReportRows - 1]}));
    }
  }
}

// Cells of 1e-300 drive the analysis into an invalid floating-point operation: the error
// goes to the error cell, the counts and D Lord & Novick stay, the estimates are empty.
TEST(AnalyseTable, AFailingAnalysisKeepsTheCountsAndDLordNovick) {
  ExamineeResult r;
  r.id = "x";
  r.k = 2;
  r.cells = {1e-300, 0, 1e-300, 0};
  r.counts = {3, 2, 1, 1};
  AnalyseTable(r, AnalysisSettings{});
  EXPECT_TRUE(r.failed);
  EXPECT_FALSE(r.analysed);
  EXPECT_EQ(r.error, "Invalid floating point operation");
  std::string row;
  AppendSheetCsvRow(row, r, AnalysisSettings{});
  EXPECT_EQ(row, "x,3,2,1,1,0,,,,,,,,,Invalid floating point operation");
}

// A pooled table beyond the total up to which the analysis keeps its digits says so in
// its error cell instead of giving wrong digits; D Lord & Novick needs no model and stays.
TEST(AnalyseTable, ATotalBeyondTheBoundIsRefusedInTheErrorCell) {
  ExamineeResult r;
  r.id = "ALL";
  r.k = 2;
  r.cells = {3e9, 1e9, 1e9, 3e9};
  r.counts = {8, 8, 0, 6};
  AnalyseTable(r, AnalysisSettings{});
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.error,
            "the answers add up to 8000000000; a table's total may be at most 1000000000 (the analysis loses "
            "precision beyond it)");
  EXPECT_DOUBLE_EQ(r.estimates.dln, 0.5);
  EXPECT_TRUE(IsNodefinido(r.estimates.du));
}

struct FavouredCase {
  const char* name;
  int k;
  std::vector<double> cells;
  int position;  // the one favoured position, 0 for none
  double z;      // its z
};

void PrintTo(const FavouredCase& c, std::ostream* os) { *os << c.name; }

// With k = 3 and 50 wrong answers in each row, a position's wrong answers have mean 50 and
// standard deviation 5 under even guessing; the bound for k = 3 is the normal quantile of
// 0.001/3, 3.40.
const FavouredCase kFavouredCases[] = {
    {"EvenGuessing", 3, {50, 25, 25, 25, 50, 25, 25, 25, 50}, 0, 0},
    {"FourSdAbove", 3, {50, 5, 45, 25, 50, 25, 10, 40, 50}, 3, 4.0},
    {"JustBelowTheBound", 3, {50, 8.5, 41.5, 25, 50, 25, 10, 40, 50}, 0, 0},
    {"JustAboveTheBound", 3, {50, 7.5, 42.5, 25, 50, 25, 10, 40, 50}, 3, 3.5},
    {"TwoAlternativesAreNotJudged", 2, {10, 90, 0, 100}, 0, 0},
    {"TooFewWrongAnswers", 4, {5, 0, 3, 0, 0, 5, 3, 0, 0, 0, 5, 0, 0, 0, 3, 5}, 0, 0},
};

class Favoured : public ::testing::TestWithParam<FavouredCase> {};

TEST_P(Favoured, PositionsFarAboveEvenGuessing) {
  const FavouredCase& c = GetParam();
  const std::vector<FavouredPosition> f = FavouredPositions(c.cells, c.k);
  if (c.position == 0) {
    EXPECT_TRUE(f.empty());
    return;
  }
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].position, c.position);
  EXPECT_DOUBLE_EQ(f[0].expected, 50);
  EXPECT_DOUBLE_EQ(f[0].z, c.z);
}

INSTANTIATE_TEST_SUITE_P(Tables, Favoured, ::testing::ValuesIn(kFavouredCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veltrano

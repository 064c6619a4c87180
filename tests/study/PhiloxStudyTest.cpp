// Studies drawn from Philox streams: the same rows on any number of threads, rows that
// name the generator and the 64-bit seed, any replication made again alone from (S, i, r),
// and a study extended to more replications equal to the larger study made afresh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <sstream>

#include "StudySupport.h"
#include "simulation/ExamSimulator.h"
#include "study/StudyFiles.h"

namespace veltrano {
namespace {

using ::testing::ThrowsMessage;
using testing::CollectingSink;
using testing::GridStudy;
using testing::Lines;
using testing::RowsByColumn;

constexpr auto kPhilox = StudyGenerator::Philox;
constexpr auto kLcg = StudyGenerator::Lcg;

CollectingSink RunStudy(const StudyDefinition& s, int jobs, bool tests = true, const StudyPlan& plan = {}) {
  CollectingSink sink;
  EXPECT_EQ(ExecuteStudy(s, plan, {RowFormat::Csv, tests, jobs}, sink), Ending::Completed);
  return sink;
}

// Eight conditions of 300 replications (blocks of 128, 128 and 44), Do = 100 among them.
const StudyDefinition& PhiloxStudy() {
  static const StudyDefinition s = GridStudy({5, 30}, {2, 5}, {40, 100}, 300, 0xfedcba9876543210u, false, kPhilox);
  return s;
}

const CollectingSink& PhiloxStudyOnTwoThreads() {
  static const CollectingSink sink = RunStudy(PhiloxStudy(), 2);
  return sink;
}

TEST(PhiloxStudy, SameRowsForEveryNumberOfThreads) {
  const CollectingSink& two = PhiloxStudyOnTwoThreads();
  EXPECT_EQ(Lines(two.rows).size(), 8u * 3);
  EXPECT_EQ(Lines(two.tests).size(), 8u * 300);
  for (const int jobs : {1, 7}) {
    const CollectingSink other = RunStudy(PhiloxStudy(), jobs);
    EXPECT_EQ(other.rows, two.rows) << jobs << " jobs";
    EXPECT_EQ(other.tests, two.tests) << jobs << " jobs";
  }
}

// A philox study's rows end in the generator column; its seed column and study seed are
// the 64-bit S; its fingerprint is not that of the lcg study of the same settings. An lcg
// study's rows keep the columns they had before there was a choice.
TEST(PhiloxStudy, RowsNameTheGeneratorAndTheWholeSeed) {
  const std::vector<std::string> lines = Lines(PhiloxStudyOnTwoThreads().rows);
  for (const std::string& line : lines) {
    const SummaryRowKey key = ParseSummaryRow(line, RowFormat::Csv);
    EXPECT_EQ(key.generator, kPhilox);
    EXPECT_EQ(key.studySeed, 0xfedcba9876543210u);
  }
  const auto rows = RowsByColumn(PhiloxStudyOnTwoThreads().rows);
  EXPECT_EQ(rows[0].at("generator"), "philox");
  EXPECT_EQ(rows[0].at("seed"), "18364758544493064720");
  EXPECT_EQ(rows[0].at("study_seed"), "18364758544493064720");
  EXPECT_EQ(testing::Cells(lines[0]).size(), SummaryColumnCount(kPhilox));
  EXPECT_EQ(SummaryHeader(kPhilox), std::string(SummaryHeader()) + ",generator");

  StudyDefinition lcg = PhiloxStudy();
  lcg.generator = kLcg;
  lcg.seed = 77;
  StudyDefinition philox = lcg;
  philox.generator = kPhilox;
  EXPECT_NE(StudyFingerprint(lcg), StudyFingerprint(philox));
  const std::string lcgRow = Lines(RunStudy(lcg, 1, false).rows).front();
  EXPECT_EQ(testing::Cells(lcgRow).size(), SummaryColumnCount(kLcg));
  EXPECT_EQ(ParseSummaryRow(lcgRow, RowFormat::Csv).generator, kLcg);

  // JSON keeps the whole seed too, and names the generator.
  CollectingSink json;
  ExecuteStudy(GridStudy({5}, {2}, {40}, 3, 0xfedcba9876543210u, false, kPhilox), {}, {RowFormat::Json, false, 1},
               json);
  const SummaryRowKey key = ParseSummaryRow(Lines(json.rows).front(), RowFormat::Json);
  EXPECT_EQ(key.studySeed, 0xfedcba9876543210u);
  EXPECT_EQ(key.generator, kPhilox);
  EXPECT_NE(json.rows.find("\"generator\":\"philox\""), std::string::npos);
}

// Any replications of any condition made again on their own, from the seed, the
// condition's number and its n, k, Do alone, are the tests whose rows the study wrote.
TEST(PhiloxStudy, ReplayedReplicationsAreTheStudysTests) {
  const StudyDefinition& s = PhiloxStudy();
  const std::vector<std::string> rows = Lines(PhiloxStudyOnTwoThreads().tests);
  const AnalysisSettings analysis = EstimatesAnalysis(s.tolerance, s.maxIterations, s.ci);
  struct Range {
    std::int64_t condition, first, last;
  };
  for (const Range& range : {Range{3, 5, 9}, Range{8, 300, 300}, Range{1, 128, 130}}) {
    const ConditionRecord record = RecordOf(s, range.condition);
    const std::vector<tBfMatriz> tables = ReplayTables(s.seed, range.condition, record.condition, range.first, range.last);
    ASSERT_EQ(tables.size(), static_cast<std::size_t>(range.last - range.first + 1));
    for (std::int64_t r = range.first; r <= range.last; ++r) {
      std::string row;
      const tBfMatriz& table = tables[static_cast<std::size_t>(r - range.first)];
      AppendTestRow(row, range.condition, r, AnalyseTest(table, record.condition.n, record.doStar, analysis));
      EXPECT_EQ(row, rows[static_cast<std::size_t>((range.condition - 1) * 300 + r - 1)] + "\n");
    }
  }
  // Listed, the same test, one line per item.
  std::vector<std::vector<std::string>> listings;
  const Condition c = RecordOf(s, 7).condition;  // n = 30, k = 5, Do = 40
  const std::vector<tBfMatriz> listed = ReplayTables(s.seed, 7, c, 41, 42, &listings);
  const std::vector<tBfMatriz> plain = ReplayTables(s.seed, 7, c, 41, 42);
  ASSERT_EQ(listings.size(), 2u);
  for (std::size_t t = 0; t < 2; ++t) {
    EXPECT_EQ(listings[t].size(), 30u);
    for (std::int32_t i = 1; i <= 5; ++i)
      for (std::int32_t j = 1; j <= 5; ++j) EXPECT_EQ(listed[t].X[i][j], plain[t].X[i][j]);
  }
}

TEST(PhiloxStudy, RefusesWhatNoStudyHas) {
  const Condition c{10, 3, 50};
  EXPECT_THAT([&] { ReplayTables(1, 0, c, 1, 2); },
              ThrowsMessage<StudyInputError>("condition: 0 is out of range; conditions count from 1 to 4294967295"));
  EXPECT_THAT([&] { ReplayTables(1, 1, c, 5, 4); },
              ThrowsMessage<StudyInputError>("replications: 5:4 is no range of replications (from 1 to 4294967295, "
                                             "the first not above the last)"));
  CollectingSink sink;
  EXPECT_THAT([&] { ExecuteStudy(GridStudy({10}, {3}, {50}, 10, 4294967296u), {}, {}, sink); },
              ThrowsMessage<StudyInputError>("seed: 4294967296 is out of range; the lcg generator takes seeds from 0 "
                                             "to 4294967295 (philox any 64-bit number)"));
}

// Extending a study of R1 replications to R: the R1 kept replications read back from the
// study's test rows, the others made; the rows and test rows are those of the study of R
// replications made afresh, to the last byte, on any number of threads, when R1 ends
// inside a block of the summary's layout or at its end, for a run that resumes part way,
// and for the lcg generator too (whose kept tests are drawn again to reach the rest).
TEST(StudyExtension, EqualsTheLargerStudyMadeAfresh) {
  struct Case {
    StudyGenerator generator;
    std::int64_t R1, R;
    std::int64_t skip;
    int jobs;
  };
  const Case cases[] = {
      {kPhilox, 200, 300, 0, 2}, {kPhilox, 256, 400, 0, 1}, {kPhilox, 50, 700, 2, 3},
      {kPhilox, 300, 300, 0, 2}, {kLcg, 200, 300, 1, 2},
  };
  for (const Case& c : cases) {
    const StudyDefinition small = GridStudy({5, 30}, {3}, {0, 60}, c.R1, 424242, false, c.generator);
    StudyDefinition large = small;
    large.replications = c.R;
    const std::string keptRows = std::string(TestsHeader()) + "\n" + RunStudy(small, 2).tests;
    std::istringstream in(keptRows);
    KeptTestRows kept(in, "tests.csv", c.R1);
    const CollectingSink extended = RunStudy(large, c.jobs, true, {{}, c.skip, &kept});
    const CollectingSink fresh = RunStudy(large, 1, true, {{}, c.skip});
    const std::string what = std::to_string(c.R1) + " to " + std::to_string(c.R) + ", " + GeneratorName(c.generator);
    EXPECT_EQ(extended.rows, fresh.rows) << what;
    EXPECT_EQ(extended.tests, fresh.tests) << what;
  }
}

}  // namespace
}  // namespace veltrano

// The study runner: the same rows for every number of threads and every way of cutting
// the study into shards or resumed parts; a summary that is the summary of the study's
// own test rows; known truths; Monte Carlo errors that shrink as 1/√R.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <stdexcept>

#include "StudySupport.h"
#include "simulation/ExamSimulator.h"
#include "study/StudyFiles.h"

namespace veltrano {
namespace {

using testing::CollectingSink;
using testing::GridStudy;
using testing::Lines;
using testing::RowsByColumn;

CollectingSink RunStudy(const StudyDefinition& s, const StudyRunOptions& o, const StudyPlan& plan = {}) {
  CollectingSink sink;
  EXPECT_EQ(ExecuteStudy(s, plan, o, sink), Ending::Completed);
  return sink;
}

// Twelve conditions of 300 replications (blocks of 128, 128 and 44), the interval on,
// Do = 100 among them.
const StudyDefinition& SmallStudy() {
  static const StudyDefinition s = GridStudy({5, 30}, {2, 5}, {0, 40, 100}, 300, 20260601, true);
  return s;
}

const CollectingSink& SmallStudyOnThreeThreads() {
  static const CollectingSink sink = RunStudy(SmallStudy(), {RowFormat::Csv, true, 3});
  return sink;
}

TEST(Study, SameRowsForEveryNumberOfThreads) {
  const CollectingSink one = RunStudy(SmallStudy(), {RowFormat::Csv, true, 1});
  const CollectingSink& three = SmallStudyOnThreeThreads();
  EXPECT_EQ(Lines(one.rows).size(), 12u * 3);
  EXPECT_EQ(Lines(one.tests).size(), 12u * 300);
  EXPECT_EQ(one.rows, three.rows);
  EXPECT_EQ(one.tests, three.tests);
}

// A test whose analysis fails ends the study there: the rows of every condition before
// it are out, the same on one thread and on three, and the error reaches the caller.
TEST(Study, AnAnalysisErrorEndsTheStudyAtTheSamePlaceOnAnyNumberOfThreads) {
  std::string rows[2];
  int run = 0;
  for (const int jobs : {1, 3}) {
    StudyRunOptions options{RowFormat::Csv, true, jobs};
    options.analysisCheck = [](std::int64_t condition, std::int64_t replication) {
      if (condition == 5 && replication == 200) throw std::runtime_error("Floating point overflow");
    };
    CollectingSink sink;
    const StudyDefinition study = SmallStudy();
    EXPECT_THROW(ExecuteStudy(study, StudyPlan{}, options, sink), std::runtime_error);
    EXPECT_EQ(Lines(sink.rows).size(), 4u * 3);
    rows[run++] = sink.rows;
  }
  EXPECT_EQ(rows[0], rows[1]);
}

// Recomputed from the test rows (which read back as the same doubles) in replication
// order, every condition's summary is the one the study wrote, to the last bit.
TEST(Study, SummaryIsTheSummaryOfItsOwnTestRows) {
  const CollectingSink& run = SmallStudyOnThreeThreads();
  const StudyDefinition& s = SmallStudy();
  const StudyStamp stamp = StampOf(s);
  std::map<std::int64_t, SummaryBuilder> builders;
  std::map<std::int64_t, std::int64_t> lastReplication;
  for (const std::string& line : Lines(run.tests)) {
    const TestRow row = ParseTestRow(line);
    ASSERT_EQ(row.replication, ++lastReplication[row.condition]) << line;
    builders[row.condition].Add(row.estimates);
  }
  ASSERT_EQ(builders.size(), 12u);
  std::string recomputed;
  for (const auto& [index, builder] : builders)
    AppendSummaryRows(recomputed, RowFormat::Csv, RecordOf(s, index), builder.Summary(), true, &stamp);
  EXPECT_EQ(recomputed, run.rows);
}

// At Do = 100 every answer is known and the table is diagonal: D Lord & Novick is 1 in
// every replication. (Du is not: the diagonal table has empty cells, so the analysis
// estimates on the table with 0.5 added to every cell, and Du stays below 1.)
TEST(Study, KnownTruthAtDoHundred) {
  int checked = 0;
  for (const auto& row : RowsByColumn(SmallStudyOnThreeThreads().rows)) {
    if (row.at("do") != "100") continue;
    EXPECT_EQ(row.at("do_star"), "1");
    if (row.at("estimator") != "DLN") continue;
    ++checked;
    for (const char* column : {"bias", "bias_mcse", "emp_se", "emp_se_mcse", "rmse", "rmse_mcse", "mae", "mae_mcse"})
      EXPECT_EQ(row.at(column), "0") << column;
    EXPECT_EQ(row.at("mean"), "1");
    EXPECT_EQ(row.at("defined"), "300");
  }
  EXPECT_EQ(checked, 4);
}

// Sixteen times the replications: every Monte Carlo SE about a quarter as large.
TEST(Study, MonteCarloErrorsShrinkAsOneOverRootR) {
  const auto rows = [](std::int64_t R) {
    return RowsByColumn(RunStudy(GridStudy({20}, {3}, {50}, R, 77), {RowFormat::Csv, false, 2}).rows);
  };
  const auto small = rows(400);
  const auto large = rows(6400);
  for (std::size_t e = 0; e < 3; ++e)
    for (const char* column : {"bias_mcse", "emp_se_mcse", "rmse_mcse", "mae_mcse", "model_se_mcse",
                               "wald_coverage_mcse"}) {
      if (small[e].at(column).empty()) continue;  // DLN has no model SE or interval
      const double ratio = std::stod(small[e].at(column)) / std::stod(large[e].at(column));
      EXPECT_GT(ratio, 3.3) << small[e].at("estimator") << " " << column;
      EXPECT_LT(ratio, 4.8) << small[e].at("estimator") << " " << column;
    }
}

// A stop keeps exactly the conditions completed before it.
TEST(Study, StopKeepsTheCompletedConditions) {
  for (int jobs : {1, 3}) {
    CollectingSink sink;
    sink.stopAfterBlocks = 8;  // within the third condition
    EXPECT_EQ(ExecuteStudy(SmallStudy(), {}, {RowFormat::Csv, false, jobs}, sink), Ending::Stopped);
    const std::vector<std::string> all = Lines(SmallStudyOnThreeThreads().rows);
    EXPECT_EQ(Lines(sink.rows), std::vector<std::string>(all.begin(), all.begin() + 6)) << jobs << " jobs";
  }
}

// Shards and resumed parts compute exactly the rows the whole study computes for their
// conditions.
TEST(Study, ShardsAndResumedPartsAreCutsOfTheWhole) {
  const std::vector<std::string> all = Lines(SmallStudyOnThreeThreads().rows);
  const StudyRunOptions o{RowFormat::Csv, false, 2};
  for (std::int64_t I = 1; I <= 5; ++I) {
    const std::vector<std::string> shard = Lines(RunStudy(SmallStudy(), o, {{I, 5}, 0}).rows);
    std::vector<std::string> expected;
    for (std::int64_t c = I; c <= 12; c += 5) expected.insert(expected.end(), all.begin() + 3 * (c - 1), all.begin() + 3 * c);
    EXPECT_EQ(shard, expected) << "shard " << I << "/5";
  }
  std::vector<std::string> resumed(all.begin() + 21, all.begin() + 24);  // conditions 8 and 11
  resumed.insert(resumed.end(), all.begin() + 30, all.begin() + 33);
  EXPECT_EQ(Lines(RunStudy(SmallStudy(), o, {{2, 3}, 2}).rows), resumed);
}

// The expected draws per test, which warn of a condition longer than the generator's
// period, match the draws the generation really makes (counted by stepping the
// generator from one test's state to the next).
TEST(Study, ExpectedDrawsAreTheDrawsTheTestsMake) {
  for (const Condition c : {Condition{50, 4, 30}, Condition{20, 2, 0}, Condition{30, 10, 90}}) {
    UniformGenerator rng(77);
    ExamSimulator sim(c.n, c.k);
    double draws = 0;
    constexpr int kTests = 3000;
    for (int t = 0; t < kTests; ++t) {
      UniformGenerator walk = rng;
      sim.MakeTable(c.D, rng);
      while (walk.State() != rng.State()) {
        walk.Draw();
        ++draws;
      }
    }
    EXPECT_NEAR(draws / kTests / ExpectedDrawsPerTest(c.n, c.k, c.D), 1.0, 0.02) << c.n << " " << c.k << " " << c.D;
  }
  StudyDefinition study;
  study.conditions = StudyConditions::Grid({100}, {5}, {0, 100});
  study.replications = 3'000'000;  // 1500 draws a test at Do 0: 4.5e9, beyond 2^32
  const PeriodExcess excess = ConditionsBeyondThePeriod(study);
  EXPECT_EQ(excess.conditions, 1);
  EXPECT_EQ(excess.worst, 1);
}

// An lcg study writes exactly what studies wrote before there was a choice of generator:
// the rows below are those of `veltrano-batch study --n 10 --k 3 --do 50 --replications 20
// --seed 7` as built before the choice (fingerprint included), with its first test rows.
TEST(Study, LcgRowsAreThoseWrittenBeforeTheChoiceOfGenerator) {
  const CollectingSink sink = RunStudy(GridStudy({10}, {3}, {50}, 20, 7), {RowFormat::Csv, true, 2});
  EXPECT_EQ(sink.rows,
            "1,10,3,50,0.5,440314428,Du,20,20,0.50096145804656222,0.00096145804656222467,0.046361083993037532,"
            "0.20733307063801862,0.03363386536630416,0.20208556720546736,0.030175179725374441,0.17150369209383751,"
            "0.024521805624830747,0.21194251517671858,0.0099377597176048584,2.2232075782775418,17.26161135931898,18,20,"
            "0.90000000000000002,0.067082039324993681,0.81350721955937566,,,,,,680b506cbe9c3d82,1,7\n"
            "1,10,3,50,0.5,440314428,Dc,20,20,0.45769661710838178,-0.042303382891618224,0.041260923750691236,"
            "0.18452446064196237,0.029933820238726597,0.18476035546220845,0.024555045453715778,0.14813671622495153,"
            "0.025331385002351495,0.24098453733228317,0.0091446777601068667,30.59761101259728,21.757646694693921,20,20,1,"
            "0,0.93174087966959585,,,,,,680b506cbe9c3d82,1,7\n"
            "1,10,3,50,0.5,440314428,DLN,20,20,0.48999999999999999,-0.010000000000000009,0.035093859111936104,"
            "0.15694450913417907,0.025459761310416471,0.1532970971675589,0.016226455939003612,0.13499999999999995,"
            "0.016662280124501813,,,,,,,,,,,,,,,680b506cbe9c3d82,1,7\n");
  EXPECT_EQ(Lines(sink.tests).at(1),
            "1,2,0.5,0,0.15566834385796952,,,0.125,0.20136254616983765,0.25,313,324");
}

TEST(StudyFingerprint, ChangesWithEverythingThatDecidesTheNumbers) {
  const StudyDefinition base = GridStudy({20, 50}, {3}, {10, 20}, 1000, 5);
  std::vector<StudyDefinition> variants(8, base);
  variants[0].replications = 1001;
  variants[1].seed = 6;
  variants[2].tolerance = 9;
  variants[3].maxIterations = 499;
  variants[4].ci = true;
  variants[5].conditions = StudyConditions::Grid({20, 50}, {3}, {20, 10});  // same values, other order
  variants[6].conditions = StudyConditions::Grid({20}, {3}, {10, 20});
  variants[7].generator = StudyGenerator::Philox;
  std::vector<std::string> prints{StudyFingerprint(base)};
  for (const StudyDefinition& v : variants) prints.push_back(StudyFingerprint(v));
  for (std::size_t i = 0; i < prints.size(); ++i)
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(prints[i], prints[j]) << i << " " << j;

  // A design listing the grid's conditions is the same study.
  StudyDefinition listed = base;
  listed.conditions = StudyConditions::Listed({{20, 3, 10}, {20, 3, 20}, {50, 3, 10}, {50, 3, 20}});
  EXPECT_EQ(StudyFingerprint(listed), prints[0]);
  EXPECT_EQ(prints[0].size(), 16u);
}

}  // namespace
}  // namespace veltrano

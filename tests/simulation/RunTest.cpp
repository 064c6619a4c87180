#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "RecordingHost.h"
#include "numeric/FloatFaults.h"
#include "simulation/SimulationRun.h"

namespace veltrano {
namespace {

using testing::RecordingHost;

struct Ran {
  RecordingHost host;
  UniformGenerator rng;
  SimulationRun run;
  Ending end;
  explicit Ran(const RunSettings& s, std::uint32_t seed = 12345) : rng(seed), run(rng) {
    end = run.Execute(s, host);
  }
};

// The Do* column of every residual row after the header, as text.
std::vector<std::string> DoStarColumn(const RecordingHost& h) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < h.residuals.size(); ++i)
    if (h.residuals[i] != "Do\trDu\trDc\trDLN") out.push_back(h.residuals[i].substr(0, 8));
  return out;
}

std::set<std::string> Distinct(const std::vector<std::string>& v) { return {v.begin(), v.end()}; }

TEST(Run, DefaultRunWritesAHeaderAndOneRecordPerTest) {
  RunSettings s;
  Ran r(s);
  EXPECT_EQ(r.end, Ending::Completed);
  EXPECT_EQ(r.host.graphPageSelections, 1);
  EXPECT_EQ(r.host.processMessages, 1);
  EXPECT_EQ(r.host.refreshes, 1);
  ASSERT_EQ(r.host.data.size(), 51u);
  EXPECT_EQ(r.host.data[0],
            "Test\tX[1,1]\tX[1,2]\tX[1,3]\tX[2,1]\tX[2,2]\tX[2,3]\tX[3,1]\tX[3,2]\tX[3,3]\t\tDo*\tD\tSE(D)\tDk&a\tSE(Dk&a)\tDL&N");
  EXPECT_EQ(r.host.data[1].substr(0, 2), "1\t");
  EXPECT_EQ(r.host.data[50].substr(0, 3), "50\t");
  ASSERT_EQ(r.host.residuals.size(), 51u);
  EXPECT_EQ(r.host.residuals[0], "Do\trDu\trDc\trDLN");
  EXPECT_EQ(Distinct(DoStarColumn(r.host)), std::set<std::string>{" 0.50000"});
  EXPECT_EQ(r.host.doStar, "50.00%");
  // Two points per reference line, 50 per result series (residual points where defined).
  EXPECT_EQ(r.host.Series(SeriesId::sLine).size(), 2u);
  EXPECT_EQ(r.host.Series(SeriesId::rLine).size(), 2u);
  EXPECT_EQ(r.host.Series(SeriesId::sPoint_DSEM).size(), 50u);
  EXPECT_EQ(r.host.Series(SeriesId::sPoint_Dcond).size(), 50u);
  EXPECT_EQ(r.host.Series(SeriesId::sDLN).size(), 50u);
  EXPECT_EQ(r.host.Series(SeriesId::rPoint_DSEM).size(), 50u);
  for (const auto& p : r.host.Series(SeriesId::sPoint_DSEM)) EXPECT_EQ(p.x, 0.5);
}

TEST(Run, StartsWithReferenceLinesAndSeriesVisibility) {
  RunSettings s;
  s.SpinEdit_Test = 1;
  s.CheckBox_Duncond = false;
  s.CheckBox_Dcond = true;
  s.cbDLN = true;
  Ran r(s);
  ASSERT_GE(r.host.points.size(), 4u);
  EXPECT_EQ(r.host.points[0].series, SeriesId::sLine);
  EXPECT_EQ(r.host.points[1].y, 1);
  EXPECT_EQ(r.host.points[2].series, SeriesId::rLine);
  EXPECT_EQ(r.host.points[3].x, 1);
  EXPECT_EQ(r.host.points[3].y, 0);
  const std::vector<std::pair<SeriesId, bool>> expected = {{SeriesId::sPoint_DSEM, false},
                                                           {SeriesId::rPoint_DSEM, false},
                                                           {SeriesId::sPoint_Dcond, true},
                                                           {SeriesId::sDLN, true}};
  EXPECT_EQ(r.host.activations, expected);
  // The test's points in their order: sDLN, sPoint_DSEM, sPoint_Dcond, rPoint_DSEM.
  ASSERT_EQ(r.host.points.size(), 8u);
  EXPECT_EQ(r.host.points[4].series, SeriesId::sDLN);
  EXPECT_EQ(r.host.points[5].series, SeriesId::sPoint_DSEM);
  EXPECT_EQ(r.host.points[6].series, SeriesId::sPoint_Dcond);
  EXPECT_EQ(r.host.points[7].series, SeriesId::rPoint_DSEM);
}

struct DegreeCase {
  const char* name;
  int d0, dmax, step;
  bool iterate;
  std::vector<std::string> degrees;  // the Do* column (n = 100, so Do* = D / 100)
  std::vector<int> dmaxWrites;
};

void PrintTo(const DegreeCase& c, std::ostream* os) { *os << c.name; }

class Degrees : public ::testing::TestWithParam<DegreeCase> {};

TEST_P(Degrees, WalkFromDoToDlast) {
  const DegreeCase& c = GetParam();
  RunSettings s;
  s.SpinEdit_D0 = c.d0;
  s.SpinEdit_Dmax = c.dmax;
  s.SpinEdit_Step = c.step;
  s.CheckBox_Iterate = c.iterate;
  s.SpinEdit_Test = 2;
  s.CheckBox_Text = false;
  Ran r(s);
  std::vector<std::string> expected;
  for (const auto& d : c.degrees) expected.insert(expected.end(), 2, d);
  EXPECT_EQ(DoStarColumn(r.host), expected);
  EXPECT_EQ(r.host.dmaxWrites, c.dmaxWrites);
}

INSTANTIATE_TEST_SUITE_P(
    Run, Degrees,
    ::testing::Values(
        DegreeCase{"NotIterating", 50, 99, 10, false, {" 0.50000"}, {}},
        DegreeCase{"StepsUpToDmax", 50, 99, 10, true,
                   {" 0.50000", " 0.60000", " 0.70000", " 0.80000", " 0.90000"}, {}},
        DegreeCase{"DmaxIsADegree", 10, 30, 10, true, {" 0.10000", " 0.20000", " 0.30000"}, {}},
        DegreeCase{"DmaxBelowDoIsRaised", 50, 30, 10, true, {" 0.50000"}, {50}},
        DegreeCase{"DmaxRaisedEvenWhenNotIterating", 50, 30, 10, false, {" 0.50000"}, {50}},
        DegreeCase{"DoOfOneHundred", 100, 99, 10, true, {" 1.00000"}, {100}}),
    [](const auto& info) { return info.param.name; });

TEST(Run, TestNumbersCountOverAllDegrees) {
  RunSettings s;
  s.CheckBox_Iterate = true;
  s.SpinEdit_D0 = 20;
  s.SpinEdit_Dmax = 30;
  s.SpinEdit_Step = 10;
  s.SpinEdit_Test = 3;
  Ran r(s);
  ASSERT_EQ(r.host.data.size(), 7u);  // one header line for the run, then L = 1..6
  for (int L = 1; L <= 6; ++L) EXPECT_EQ(r.host.data[static_cast<std::size_t>(L)].substr(0, 2), std::to_string(L) + "\t");
}

TEST(Run, DoStarFieldShowsTheRealisedDegree) {
  RunSettings s;
  s.SpinEdit_n = 3;
  s.SpinEdit_Test = 1;
  Ran r(s);
  EXPECT_EQ(r.run.n_conocido, 2);
  EXPECT_EQ(r.host.doStar, "66.67%");
  EXPECT_EQ(r.host.data[1].substr(r.host.data[1].find("\t\t") + 2, 6), "0.667\t");
}

TEST(Run, FullOutputListsEveryTestsItemsNumberedFromOne) {
  RunSettings s;
  s.SpinEdit_n = 5;
  s.SpinEdit_k = 2;
  s.SpinEdit_Test = 2;
  s.CheckBox_full = true;
  Ran r(s);
  // Per test: header, 5 items, separator, caption, blank, 2 rows, blank, "Results: ",
  // blank, the results header and the record.
  ASSERT_EQ(r.host.data.size(), 2u * 16);
  for (int t = 0; t < 2; ++t) {
    const std::size_t b = static_cast<std::size_t>(t) * 16;
    EXPECT_EQ(r.host.data[b], "i\tCorrect\tChoice\t-- Selection procedure ---------");
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(r.host.data[b + static_cast<std::size_t>(i)].substr(0, 4), "00" + std::to_string(i) + "\t");
    EXPECT_EQ(r.host.data[b + 6], "---------------");
    EXPECT_EQ(r.host.data[b + 7], "Observed Table: ");
    EXPECT_EQ(r.host.data[b + 8], "");
    EXPECT_EQ(r.host.data[b + 9].size(), 12u);  // "\t" + 5 characters, twice
    EXPECT_EQ(r.host.data[b + 11], "");
    EXPECT_EQ(r.host.data[b + 12], "Results: ");
    EXPECT_EQ(r.host.data[b + 14], "Test\t\tDo*\tD\tSE(D)\tDk&a\tSE(Dk&a)\tDL&N");  // no data table
    EXPECT_EQ(r.host.data[b + 15].substr(0, 3), std::to_string(t + 1) + "\t\t");
  }
}

TEST(Run, SortKnownKeepsItemOrderWithWideNumbers) {
  RunSettings s;
  s.SpinEdit_n = 1005;
  s.SpinEdit_Test = 1;
  s.CheckBox_full = true;
  s.CheckBox_Unsort = true;
  Ran r(s);
  EXPECT_EQ(r.host.data[1].substr(0, 4), "001\t");
  EXPECT_EQ(r.host.data[999].substr(0, 4), "999\t");
  EXPECT_EQ(r.host.data[1000].substr(0, 5), "1000\t");
  EXPECT_EQ(r.host.data[1005].substr(0, 5), "1005\t");
  // Known items come first: the first 502 lines are known, the rest are not.
  EXPECT_NE(r.host.data[502].find("[ known ]"), std::string::npos);
  EXPECT_EQ(r.host.data[503].find("[ known ]"), std::string::npos);
}

TEST(Run, RenumberingReplacesTheWholeKey) {
  std::vector<std::string> listing = {"1000\t2\t1\tz", "057\t3\t1\ty", "057\t1\t1\tx", "999\tA\tb"};
  SimulationRun::SortAndRenumber(listing);
  const std::vector<std::string> expected = {"001\t1\t1\tx", "002\t3\t1\ty", "003\t2\t1\tz", "004\tA\tb"};
  EXPECT_EQ(listing, expected);
}

TEST(Run, SortIgnoresLetterCaseOnly) {
  std::vector<std::string> listing = {"b\tB", "a\tz", "B\ta", "A\tZ"};
  SimulationRun::SortAndRenumber(listing);
  // "a\tz" and "A\tZ" compare equal ignoring case; both precede the b's.
  EXPECT_EQ(listing[2], "003\ta");
  EXPECT_EQ(listing[3], "004\tB");
}

TEST(Run, TextOffWritesNoDataButEveryResidualAndPoint) {
  RunSettings s;
  s.CheckBox_Text = false;
  s.CheckBox_full = true;
  s.SpinEdit_Test = 4;
  Ran r(s);
  EXPECT_TRUE(r.host.data.empty());
  EXPECT_EQ(r.host.residuals.size(), 5u);
  EXPECT_EQ(r.host.Series(SeriesId::sDLN).size(), 4u);
}

TEST(Run, PressingOkTwiceAccumulates) {
  RunSettings s;
  s.SpinEdit_Test = 2;
  RecordingHost host;
  UniformGenerator rng(1);
  SimulationRun run(rng);
  run.Execute(s, host);
  run.Execute(s, host);
  const std::vector<std::string> headers = {host.residuals[0], host.residuals[3]};
  EXPECT_EQ(headers, (std::vector<std::string>{"Do\trDu\trDc\trDLN", "Do\trDu\trDc\trDLN"}));
  EXPECT_EQ(host.residuals.size(), 6u);
  EXPECT_EQ(host.data.size(), 6u);  // a results table per run
  EXPECT_EQ(host.Series(SeriesId::sLine).size(), 4u);
}

TEST(Run, SameSeedSameRun) {
  RunSettings s;
  s.SpinEdit_Test = 5;
  s.CheckBox_full = true;
  s.CheckBox_CI = true;
  Ran a(s, 99), b(s, 99), c(s, 100);
  EXPECT_EQ(a.host.data, b.host.data);
  EXPECT_EQ(a.host.residuals, b.host.residuals);
  EXPECT_NE(a.host.data, c.host.data);
}

TEST(Run, CancelEndsAfterTheCurrentTestKeepingItsOutput) {
  RunSettings s;
  RecordingHost host;
  host.stopAfter = 3;
  UniformGenerator rng(1);
  SimulationRun run(rng);
  EXPECT_EQ(run.Execute(s, host), Ending::Stopped);
  EXPECT_EQ(host.residuals.size(), 4u);
  EXPECT_EQ(host.data.size(), 4u);
  EXPECT_EQ(host.refreshes, 1);
}

TEST(Run, EveryAnswerKnownGivesPerfectMeasures) {
  RunSettings s;
  s.SpinEdit_D0 = 100;
  s.SpinEdit_Test = 3;
  Ran r(s);
  EXPECT_EQ(r.run.dLN, 1);
  EXPECT_EQ(r.run.dreal, 1);
  for (std::size_t i = 1; i < r.host.residuals.size(); ++i)
    EXPECT_EQ(r.host.residuals[i].substr(r.host.residuals[i].rfind('\t') + 1), "  0.0000");
  EXPECT_EQ(r.host.data[1].substr(r.host.data[1].size() - 6), " 1.000");
}

TEST(Run, TwoClassHeaderNamesEveryCell) {
  RunSettings s;
  s.SpinEdit_k = 2;
  s.SpinEdit_Test = 1;
  s.CheckBox_CI = true;
  Ran r(s);
  EXPECT_EQ(r.host.data[0], "Test\tX[1,1]\tX[1,2]\tX[2,1]\tX[2,2]\t\tDo*\tD\tSE(D)\tIC-(D)\tIC+(D)\tDk&a\tSE(Dk&a)\tDL&N");
}

TEST(Run, TablesAlwaysHoldNItems) {
  for (int k : {2, 5, 10})
    for (int n : {1, 2, 7}) {
      RunSettings s;
      s.SpinEdit_n = n;
      s.SpinEdit_k = k;
      s.SpinEdit_D0 = 0;
      s.SpinEdit_Test = 20;
      s.CheckBox_CI = true;
      Ran r(s);
      EXPECT_EQ(r.end, Ending::Completed);
      for (std::size_t i = 1; i < r.host.data.size(); ++i) {
        // The k·k cell counts after the test number add up to n.
        std::string line = r.host.data[i];
        std::size_t pos = line.find('\t') + 1;
        int total = 0;
        for (int c = 0; c < k * k; ++c) {
          const std::size_t tab = line.find('\t', pos);
          total += std::stoi(line.substr(pos, tab - pos));
          pos = tab + 1;
        }
        EXPECT_EQ(total, n);
      }
    }
}

}  // namespace
}  // namespace veltrano

namespace veltrano {
namespace {

using testing::RecordingHost;

// A run on several threads hands its host exactly what a run on one thread hands it,
// in the same order, and leaves the generator in the same state.
struct Recorded {
  RecordingHost host;
  std::uint32_t rngAfter = 0;
  Ending end = Ending::Completed;
  std::string error;
};

Recorded RunWith(const RunSettings& s, int jobs, long stopAfter = -1, std::int32_t failAt = -1) {
  Recorded r;
  r.host.stopAfter = stopAfter;
  UniformGenerator rng(4321);
  SimulationRun run(rng, jobs);
  if (failAt > 0)
    run.SetAnalysisCheck([failAt](std::int32_t L) {
      if (L == failAt) throw FloatOverflow();
    });
  try {
    r.end = run.Execute(s, r.host);
  } catch (const std::exception& e) {
    r.error = e.what();
  }
  r.rngAfter = rng.State();
  return r;
}

void ExpectSame(const Recorded& a, const Recorded& b) {
  EXPECT_EQ(a.host.data, b.host.data);
  EXPECT_EQ(a.host.residuals, b.host.residuals);
  ASSERT_EQ(a.host.points.size(), b.host.points.size());
  for (std::size_t i = 0; i < a.host.points.size(); ++i) {
    EXPECT_EQ(a.host.points[i].series, b.host.points[i].series);
    EXPECT_EQ(a.host.points[i].x, b.host.points[i].x);
    EXPECT_EQ(a.host.points[i].y, b.host.points[i].y);
  }
  EXPECT_EQ(a.host.doStar, b.host.doStar);
  EXPECT_EQ(a.host.activations, b.host.activations);
  EXPECT_EQ(a.rngAfter, b.rngAfter);
  EXPECT_EQ(a.end, b.end);
  EXPECT_EQ(a.error, b.error);
}

struct ThreadCase {
  const char* name;
  RunSettings settings;
};

RunSettings Iterating() {
  RunSettings s;
  s.SpinEdit_n = 20;
  s.SpinEdit_k = 4;
  s.SpinEdit_D0 = 0;
  s.CheckBox_Iterate = true;
  s.SpinEdit_Dmax = 90;
  s.SpinEdit_Test = 150;
  s.CheckBox_CI = true;
  s.comma = true;
  return s;
}

RunSettings FullListing() {
  RunSettings s;
  s.SpinEdit_n = 40;
  s.SpinEdit_Test = 300;
  s.CheckBox_full = true;
  return s;
}

class Threads : public ::testing::TestWithParam<int> {};

TEST_P(Threads, GiveTheOutputOfOneThread) {
  for (const RunSettings& s : {Iterating(), FullListing()}) {
    const Recorded one = RunWith(s, 1);
    ExpectSame(RunWith(s, GetParam()), one);
  }
}

// Cancelled after test 100, or ended by a floating-point error in the analysis of test
// 77: exactly the tests before are out, as with one thread.
TEST_P(Threads, EndAfterAPrefixOfWholeTests) {
  const RunSettings s = Iterating();
  const Recorded cancelled = RunWith(s, GetParam(), 100);
  EXPECT_EQ(cancelled.end, Ending::Stopped);
  EXPECT_EQ(cancelled.host.residuals.size(), 1u + 100);
  ExpectSame(cancelled, RunWith(s, 1, 100));

  const Recorded failed = RunWith(s, GetParam(), -1, 77);
  EXPECT_EQ(failed.error, "Floating point overflow");
  EXPECT_EQ(failed.host.residuals.size(), 1u + 76);
  EXPECT_EQ(failed.host.data.size(), 1u + 76);
  EXPECT_EQ(failed.host.Series(SeriesId::sDLN).size(), 76u);
  ExpectSame(failed, RunWith(s, 1, -1, 77));
}

INSTANTIATE_TEST_SUITE_P(Run, Threads, ::testing::Values(2, 7),
                         [](const auto& info) { return std::to_string(info.param) + "Threads"; });

}  // namespace
}  // namespace veltrano

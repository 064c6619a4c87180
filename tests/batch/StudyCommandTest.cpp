// veltrano-batch study and study merge, run in-process: bad input refused with nothing
// written, each condition's tests those of `simulate --seed <its seed>`, resumed equal
// to uninterrupted, JSON rows holding the CSV rows' values, the plots of a resumed or
// merged study those of the whole study.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <map>
#include <ostream>

#include "BatchTestSupport.h"
#include "analysis/tAnalisis.h"

namespace veltrano::batch::testing {
namespace {

// text with every `name` replaced by value.
std::string Substitute(std::string text, const std::string& name, const std::string& value) {
  for (std::size_t at = 0; (at = text.find(name, at)) != std::string::npos; at += value.size())
    text.replace(at, name.size(), value);
  return text;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct BadStudy {
  std::vector<std::string> args;  // after "study"
  const char* design;             // the text of dir/design.csv, when the case uses one
  const char* message;            // the whole of standard error, without the program prefix
};
void PrintTo(const BadStudy& c, std::ostream* os) {
  for (const std::string& a : c.args) *os << a << ' ';
}

const BadStudy kBadStudies[] = {
    {{"--n", ""}, nullptr, "--n: the list is empty"},
    {{"--n", "10,,20"}, nullptr, "--n: \"10,,20\" has an empty entry"},
    {{"--k", "2:11"}, nullptr, "--k: 11 is out of range; the value must be from 2 to 10"},
    {{"--do", "0:100:0"}, nullptr, "--do: \"0:100:0\": the step 0 is out of range; the value must be from 1 to 101"},
    {{"--do", "90:10"}, nullptr, "--do: \"90:10\" runs backwards: 90 is above 10"},
    {{"--replications", "0"}, nullptr, "--replications: 0 is out of range; the value must be from 1 to 10000000"},
    {{"--replications", "10000001"},
     nullptr,
     "--replications: 10000001 is out of range; the value must be from 1 to 10000000"},
    {{"--seed", "-1"}, nullptr, "--seed: -1 is out of range; the value must be from 0 to 18446744073709551615"},
    {{"--seed", "4294967296", "--generator", "lcg"},
     nullptr,
     "--seed: 4294967296 is out of range; the lcg generator takes seeds from 0 to 4294967295 (philox any 64-bit "
     "number)"},
    {{"--generator", "Philox"}, nullptr, "--generator: \"Philox\" is neither philox nor lcg"},
    {{"--tolerance", "16"}, nullptr, "--tolerance: 16 is out of range; the value must be from 2 to 15"},
    {{"--jobs", "0"}, nullptr, "--jobs: 0 is out of range; the value must be from 1 to 256"},
    {{"--shard", "0/4"}, nullptr, "--shard: \"0/4\": I must be from 1 to N (4)"},
    {{"--shard", "3"}, nullptr, "--shard: \"3\" is not I/N with whole numbers I and N, N at least 1"},
    {{"--design", "DESIGN", "--do", "50"}, "n,k,do\n20,3,50\n", "--do excludes --design"},
    {{"--design", "DESIGN"}, "n,k,do\n20,3,50\n20,3,-5\n", "DESIGN, line 3: column do: -5 is out of range; the value must be from 0 to 100"},
    {{"--design", "DESIGN"}, "n;k;do\n20;3;50\n", "DESIGN, line 1: the header must name the columns n, k and do (\"n,k,do\"), got \"n;k;do\""},
    {{"--tests-out", "OUT"}, nullptr, "--tests-out: OUT is already the output of --out"},
    {{"--plot", "OUT"}, nullptr, "--plot: this build of veltrano-batch draws no plots (it was built without Qt)"},
    {{"--plot", "-"}, nullptr, "--plot: plots are files; give the start of their names, not -"},
    {{"--plot-format", "jpg"}, nullptr, "--plot-format: \"jpg\" is neither png nor svg"},
};

class StudyBadInput : public ::testing::TestWithParam<BadStudy> {};

TEST_P(StudyBadInput, IsRefusedWithOneLineAndNothingWritten) {
  const BadStudy& c = GetParam();
  ScratchDir dir;
  const std::string design = dir / "design.csv", out = dir / "out.csv";
  if (c.design != nullptr) WriteFile(design, c.design);
  std::vector<std::string> args{"study", "--replications", "5", "--out", out};
  for (const std::string& a : c.args) args.push_back(Substitute(Substitute(a, "DESIGN", design), "OUT", out));
  const std::string message = Substitute(Substitute(c.message, "DESIGN", design), "OUT", out);
  const Outcome o = RunCommand(args);
  EXPECT_EQ(o.status, kExitUsage);
  EXPECT_EQ(o.err, "veltrano-batch: " + message + "\n");
  EXPECT_EQ(o.out, "");
  EXPECT_FALSE(std::filesystem::exists(out));
}

INSTANTIATE_TEST_SUITE_P(Options, StudyBadInput, ::testing::ValuesIn(kBadStudies));

TEST(StudyBadInput, ResumeNeedsFiles) {
  EXPECT_EQ(RunCommand({"study", "--resume"}).err,
            "veltrano-batch: --resume: give the study's output file with --out (standard output cannot be resumed)\n");
  const Outcome o = RunCommand({"study", "--resume", "--out", "x.csv", "--tests-out", "-"});
  EXPECT_EQ(o.status, kExitUsage);
  EXPECT_EQ(o.err, "veltrano-batch: --resume: give the test rows' file with --tests-out (standard output cannot be "
                   "resumed)\n");
}

// Condition i's tests are the tests of `simulate --seed <its seed>` with its n, k and
// Do: Do*, Du, Dc and D Lord & Novick compared as exact doubles through simulate's
// points and the study's test rows.
TEST(StudyCommand, ConditionTestsAreSimulateTests) {
  ScratchDir dir;
  const std::string out = dir / "study.csv", tests = dir / "tests.csv", points = dir / "points.csv";
  constexpr int kReplications = 60;
  ASSERT_EQ(RunCommand({"study", "--n", "15,40", "--k", "2,4", "--do", "30", "--ci", "--replications",
                        std::to_string(kReplications), "--seed", "11", "--generator", "lcg", "--out", out,
                        "--tests-out", tests})
                .status,
            kExitOk);
  // condition -> replication -> the test row's cells
  std::map<std::string, std::vector<std::vector<std::string>>> rows;
  for (const std::string& line : Lines(ReadFile(tests))) rows[Cells(line)[0]].push_back(Cells(line));
  const auto value = [](const std::string& cell) { return cell.empty() ? Nodefinido : std::stod(cell); };

  const std::vector<std::string> summary = Lines(ReadFile(out));
  ASSERT_EQ(summary.size(), 1u + 4 * 3);
  for (std::size_t r = 1; r < summary.size(); r += 3) {
    const std::vector<std::string> c = Cells(summary[r]);  // condition,n,k,do,do_star,seed,...
    const Outcome sim = RunCommand({"simulate", "--seed", c[5], "--n", c[1], "--k", c[2], "--do", c[3], "--tests",
                                    std::to_string(kReplications), "--ci", "--no-text", "--points", points});
    ASSERT_EQ(sim.status, kExitOk);
    std::map<std::string, std::vector<std::pair<double, double>>> series;  // name -> (x, y)
    for (const std::string& p : Lines(ReadFile(points))) {
      const std::vector<std::string> xy = Cells(p);
      if (xy[0] != "series") series[xy[0]].emplace_back(std::stod(xy[1]), std::stod(xy[2]));
    }
    const auto& testRows = rows[c[0]];
    ASSERT_EQ(testRows.size(), std::size_t{kReplications});
    ASSERT_EQ(series["sPoint_DSEM"].size(), std::size_t{kReplications});
    for (int t = 0; t < kReplications; ++t) {
      const auto& row = testRows[static_cast<std::size_t>(t)];  // condition,replication,do_star,du,se_du,ci-,ci+,dc,se_dc,dln
      EXPECT_EQ(std::stod(row[2]), series["sPoint_DSEM"][t].first);
      EXPECT_EQ(value(row[3]), series["sPoint_DSEM"][t].second) << "condition " << c[0] << " test " << t + 1;
      EXPECT_EQ(value(row[7]), series["sPoint_Dcond"][t].second) << "condition " << c[0] << " test " << t + 1;
      EXPECT_EQ(value(row[9]), series["sDLN"][t].second) << "condition " << c[0] << " test " << t + 1;
    }
  }
}

// A study cut short anywhere (the last condition unfinished, its last line cut) and
// resumed writes exactly what the uninterrupted study writes; a resumed output of other
// settings is refused and left as it was.
TEST(StudyCommand, ResumedEqualsUninterrupted) {
  ScratchDir dir;
  const std::vector<std::string> study{"study", "--n", "12,30", "--k", "3", "--do", "0:90:45", "--replications",
                                       "150", "--seed", "5", "--jobs", "2"};
  for (const bool json : {false, true}) {
    const std::vector<std::string> format = json ? std::vector<std::string>{"--json"} : std::vector<std::string>{};
    const std::string out = dir / "whole", tests = dir / "whole-tests";
    ASSERT_EQ(RunCommand(Concat(Concat(study, format), {"--out", out, "--tests-out", tests})).status, kExitOk);
    const std::string whole = ReadFile(out), wholeTests = ReadFile(tests);

    const std::string cut = dir / "cut", cutTests = dir / "cut-tests";
    const std::size_t rowsKept = (json ? 0 : 1) + 3 * 2 + 1;  // two conditions and a row of the third
    std::size_t at = 0;
    for (std::size_t i = 0; i < rowsKept; ++i) at = whole.find('\n', at) + 1;
    WriteFile(cut, whole.substr(0, at + 25));                 // and part of the next line
    WriteFile(cutTests, wholeTests.substr(0, wholeTests.size() * 3 / 5 + 7));
    const Outcome resumed = RunCommand(Concat(Concat(study, format), {"--resume", "--out", cut, "--tests-out", cutTests}));
    EXPECT_EQ(resumed.status, kExitOk) << resumed.err;
    EXPECT_EQ(ReadFile(cut), whole);
    EXPECT_EQ(ReadFile(cutTests), wholeTests);

    // Without --seed the resumed output's own seed is used; other settings are refused.
    std::vector<std::string> other = study;
    other[2] = "12,31";
    other.erase(other.begin() + 9, other.begin() + 11);  // no --seed
    const Outcome refused = RunCommand(Concat(Concat(other, format), {"--resume", "--out", cut}));
    EXPECT_EQ(refused.status, kExitUsage);
    EXPECT_NE(refused.err.find("a row of another study"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(cut), whole);
  }
}

// The JSON rows hold the CSV rows' values: the same numbers, null for an empty cell.
// A philox study (the default) with a seed above 2^32: its rows name the generator; extended
// with --resume it is the study of more replications made afresh, byte for byte; simulate
// makes any of its replications again, with the estimates of its test rows.
TEST(StudyCommand, PhiloxStudyExtendsAndReplays) {
  ScratchDir dir;
  const std::string out = dir / "study.csv", tests = dir / "tests.csv", fresh = dir / "fresh.csv",
                    freshTests = dir / "fresh-tests.csv", points = dir / "points.csv";
  const std::vector<std::string> study{"study", "--n", "12,30", "--k", "3", "--do", "0:90:45", "--seed",
                                       "1099511627783", "--ci"};
  ASSERT_EQ(RunCommand(Concat(study, {"--replications", "30", "--jobs", "2", "--out", out, "--tests-out", tests}))
                .status,
            kExitOk);
  const std::vector<std::string> rows = Lines(ReadFile(out));
  ASSERT_EQ(rows.size(), 1u + 6 * 3);
  EXPECT_TRUE(rows[0].ends_with(",study,conditions,study_seed,generator")) << rows[0];
  for (std::size_t r = 1; r < rows.size(); ++r) EXPECT_TRUE(rows[r].ends_with(",1099511627783,philox")) << rows[r];

  // Extending needs the test rows; refused, nothing changes.
  const std::string before = ReadFile(out);
  const Outcome noTests = RunCommand(Concat(study, {"--replications", "50", "--resume", "--out", out}));
  EXPECT_EQ(noTests.status, kExitUsage);
  EXPECT_NE(noTests.err.find("needs its test rows"), std::string::npos) << noTests.err;
  EXPECT_EQ(ReadFile(out), before);

  const Outcome extended = RunCommand(
      Concat(study, {"--replications", "50", "--jobs", "1", "--resume", "--out", out, "--tests-out", tests}));
  ASSERT_EQ(extended.status, kExitOk) << extended.err;
  ASSERT_EQ(RunCommand(Concat(study, {"--replications", "50", "--jobs", "2", "--out", fresh, "--tests-out", freshTests}))
                .status,
            kExitOk);
  EXPECT_EQ(ReadFile(out), ReadFile(fresh));
  EXPECT_EQ(ReadFile(tests), ReadFile(freshTests));

  // Replications 3 to 5 of condition 4 (n 30, k 3, Do 0).
  const std::vector<std::string> condition = Cells(Lines(ReadFile(out))[1 + 3 * 3]);
  ASSERT_EQ(condition[0], "4");
  const Outcome replay = RunCommand({"simulate", "--generator", "philox", "--seed", "1099511627783", "--condition",
                                     "4", "--replications", "3:5", "--n", condition[1], "--k", condition[2], "--do",
                                     condition[3], "--ci", "--data", "-", "--points", points});
  ASSERT_EQ(replay.status, kExitOk) << replay.err;
  std::vector<std::string> numbers;
  for (const std::string& line : Lines(replay.out))
    if (!line.starts_with("Test")) numbers.push_back(line.substr(0, line.find('\t')));
  EXPECT_EQ(numbers, (std::vector<std::string>{"3", "4", "5"}));
  std::vector<double> du;
  for (const std::string& p : Lines(ReadFile(points)))
    if (p.starts_with("sPoint_DSEM,")) du.push_back(std::stod(Cells(p)[2]));
  std::vector<double> kept;
  for (const std::string& line : Lines(ReadFile(tests)))
    if (line.starts_with("4,3,") || line.starts_with("4,4,") || line.starts_with("4,5,"))
      kept.push_back(std::stod(Cells(line)[3]));  // condition,replication,do_star,du,...
  EXPECT_EQ(du, kept);

  // study plan reads the rows back: a target per measure, a row per condition and estimator.
  const Outcome plan = RunCommand({"study", "plan", out, "--target", "bias=0.01"});
  ASSERT_EQ(plan.status, kExitOk) << plan.err;
  const std::vector<std::string> planRows = Lines(plan.out);
  ASSERT_EQ(planRows.size(), 1u + 6 * 3);
  EXPECT_EQ(planRows[0], "condition,n,k,do,estimator,measure,target_mcse,pilot_replications,basis,worst_case,"
                         "replications");
  EXPECT_EQ(Cells(planRows[1])[7], "50");
}

// A study output without the generator column (written by lcg, or before there was a
// choice) resumes as an lcg study when --generator is not given.
TEST(StudyCommand, OutputWithoutGeneratorResumesAsLcg) {
  ScratchDir dir;
  const std::string out = dir / "study.csv", cut = dir / "cut.csv";
  const std::vector<std::string> study{"study", "--n", "12", "--k", "3,4", "--do", "20", "--replications", "40"};
  ASSERT_EQ(RunCommand(Concat(study, {"--seed", "77", "--generator", "lcg", "--out", out})).status, kExitOk);
  const std::string whole = ReadFile(out);
  EXPECT_EQ(whole.find("generator"), std::string::npos);
  WriteFile(cut, whole.substr(0, whole.size() / 2));
  const Outcome resumed = RunCommand(Concat(study, {"--resume", "--out", cut}));
  ASSERT_EQ(resumed.status, kExitOk) << resumed.err;
  EXPECT_EQ(ReadFile(cut), whole);
}

TEST(StudyCommand, JsonRowsHoldTheCsvValues) {
  const std::vector<std::string> study{"study", "--n", "8", "--k", "2,6", "--do", "0,100", "--replications", "40",
                                       "--ci", "--seed", "9"};
  const std::vector<std::string> csv = Lines(RunCommand(study).out);
  const std::vector<std::string> json = Lines(RunCommand(Concat(study, {"--json"})).out);
  ASSERT_EQ(csv.size(), json.size() + 1);
  const std::vector<std::string> names = Cells(csv[0]);
  for (std::size_t r = 0; r < json.size(); ++r) {
    const std::vector<std::string> cells = Cells(csv[r + 1]);
    const nlohmann::json row = nlohmann::json::parse(json[r]);
    ASSERT_EQ(row.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      const nlohmann::json& v = row.at(names[i]);
      if (cells[i].empty())
        EXPECT_TRUE(v.is_null()) << names[i];
      else if (v.is_string())
        EXPECT_EQ(v.get<std::string>(), cells[i]);
      else
        EXPECT_EQ(v.get<double>(), std::stod(cells[i])) << names[i];
    }
  }
}

// A file that fails while being written (a full device) ends the study with status 1;
// the summary keeps no condition whose test rows are not written: here, only its header.
TEST(StudyCommand, WriteFailureKeepsTheFilesInStep) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  ScratchDir dir;
  const std::vector<std::string> study{"study", "--n", "10", "--k", "2,3", "--replications", "30", "--seed", "4"};
  const Outcome tests = RunCommand(Concat(study, {"--out", dir / "out.csv", "--tests-out", "/dev/full"}));
  EXPECT_EQ(tests.status, kExitFailure);
  EXPECT_EQ(tests.err, "veltrano-batch: cannot write /dev/full: No space left on device\n");
  EXPECT_EQ(Lines(ReadFile(dir / "out.csv")), std::vector<std::string>{Lines(RunCommand(study).out)[0]});
}

TEST(StudyMerge, RefusesAndWritesNothing) {
  ScratchDir dir;
  const std::vector<std::string> study{"study", "--n", "10", "--k", "2,3", "--replications", "20", "--seed", "1"};
  ASSERT_EQ(RunCommand(Concat(study, {"--shard", "1/2", "--out", dir / "a.csv"})).status, kExitOk);
  ASSERT_EQ(RunCommand(Concat(study, {"--shard", "2/2", "--out", dir / "b.csv"})).status, kExitOk);
  const std::string merged = dir / "merged.csv";
  const Outcome missing = RunCommand({"study", "merge", dir / "a.csv", "--out", merged});
  EXPECT_EQ(missing.status, kExitUsage);
  EXPECT_EQ(missing.err, "veltrano-batch: condition 2 of 2 is in none of the files; is a shard missing or unfinished?\n");
  const Outcome self = RunCommand({"study", "merge", dir / "a.csv", merged, "--out", merged});
  EXPECT_EQ(self.status, kExitUsage);
  EXPECT_FALSE(std::filesystem::exists(merged));
  const Outcome unreadable = RunCommand({"study", "merge", dir / "a.csv", dir / "none.csv", "--out", merged});
  EXPECT_EQ(unreadable.status, kExitFailure);
  EXPECT_EQ(unreadable.err, "veltrano-batch: cannot read " + dir / "none.csv" + ": No such file or directory\n");
  EXPECT_FALSE(std::filesystem::exists(merged));

  const Outcome plotted = RunCommand({"study", "merge", dir / "a.csv", dir / "b.csv", "--out", merged, "--plot",
                                      dir / "p"});
  EXPECT_EQ(plotted.status, kExitUsage);
  EXPECT_EQ(plotted.err, "veltrano-batch: --plot: this build of veltrano-batch draws no plots (it was built without "
                         "Qt)\n");
  EXPECT_FALSE(std::filesystem::exists(merged));

  EXPECT_EQ(RunCommand({"study", "merge", dir / "b.csv", dir / "a.csv", "--out", merged}).status, kExitOk);
  EXPECT_EQ(ReadFile(merged), RunCommand(study).out);
}

// A drawer of plots that records what it is asked to draw.
struct DrawnPlot {
  std::string path;
  StudyPlot plot;
  int width = 0, height = 0;
};

BatchServices Recording(std::vector<DrawnPlot>& drawn) {
  BatchServices s;
  s.studyPlots = [&drawn](const StudyPlot& plot, const std::string& path, int width, int height) {
    drawn.push_back({path, plot, width, height});
  };
  return s;
}

// What the plots show, with their file names after the prefix.
using ShownPlot = std::tuple<std::string, std::string, std::vector<std::string>, std::vector<std::vector<PlotPoint>>>;
std::vector<ShownPlot> Shown(const std::vector<DrawnPlot>& drawn, const std::string& prefix) {
  std::vector<ShownPlot> out;
  for (const DrawnPlot& d : drawn) {
    std::vector<std::string> labels;
    std::vector<std::vector<PlotPoint>> points;
    for (const PlotLine& l : d.plot.lines) {
      labels.push_back(l.label);
      points.push_back(l.points);
    }
    EXPECT_EQ(d.path.substr(0, prefix.size()), prefix);
    out.emplace_back(d.path.substr(prefix.size()), d.plot.title, labels, points);
  }
  return out;
}

// The plots come from the summary rows: a study resumed from a cut output and the merge
// of its shards draw the plots of the whole study, into files named by the prefix, the
// measure, k and the format.
TEST(StudyPlots, ResumedAndMergedDrawTheWholeStudy) {
  ScratchDir dir;
  const std::vector<std::string> study{"study", "--n", "10,25", "--k", "2,3", "--do", "0:100:50", "--replications",
                                       "40", "--seed", "6", "--ci"};
  std::vector<DrawnPlot> whole;
  ASSERT_EQ(RunCommand(Concat(study, {"--out", dir / "whole.csv", "--plot", dir / "w", "--plot-format", "svg",
                                      "--plot-width", "500"}),
                       "", Recording(whole))
                .status,
            kExitOk);
  const std::vector<ShownPlot> shown = Shown(whole, dir / "w");
  std::vector<std::string> names;
  for (const auto& s : shown) names.push_back(std::get<0>(s));
  EXPECT_EQ(names, (std::vector<std::string>{"-bias-k2.svg", "-rmse-k2.svg", "-coverage-k2.svg", "-bias-k3.svg",
                                             "-rmse-k3.svg", "-coverage-k3.svg"}));
  for (const DrawnPlot& d : whole) EXPECT_EQ(std::make_pair(d.width, d.height), std::make_pair(500, 640));
  std::size_t points = 0;
  for (const DrawnPlot& d : whole)
    for (const PlotLine& l : d.plot.lines) points += l.points.size();
  EXPECT_EQ(points, 12u * (3 + 3 + 3));  // per condition: bias and RMSE of 3 estimators, 3 coverages

  const std::string whole_csv = ReadFile(dir / "whole.csv");
  std::size_t at = 0;
  for (int line = 0; line < 1 + 3 * 5 + 2; ++line) at = whole_csv.find('\n', at) + 1;
  WriteFile(dir / "cut.csv", whole_csv.substr(0, at + 10));  // five conditions and a part of the sixth
  std::vector<DrawnPlot> resumed;
  const Outcome r = RunCommand(Concat(study, {"--resume", "--out", dir / "cut.csv", "--plot", dir / "r",
                                              "--plot-format", "svg", "--plot-width", "500"}),
                               "", Recording(resumed));
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(Shown(resumed, dir / "r"), shown);

  for (const char* shard : {"1/3", "2/3", "3/3"})
    ASSERT_EQ(RunCommand(Concat(study, {"--shard", shard, "--out", dir / ("part" + std::string(1, shard[0]))})).status,
              kExitOk);
  std::vector<DrawnPlot> merged;
  const Outcome m = RunCommand({"study", "merge", dir / "part3", dir / "part1", dir / "part2", "--out",
                                dir / "merged.csv", "--plot", dir / "", "--plot-format", "svg", "--plot-width",
                                "500"},
                               "", Recording(merged));
  ASSERT_EQ(m.status, kExitOk) << m.err;
  std::vector<ShownPlot> mergedShown = Shown(merged, dir / "");
  for (auto& s : mergedShown) std::get<0>(s).insert(0, "-");  // a folder prefix names the files without the dash
  EXPECT_EQ(mergedShown, shown);

  // A cell edited by hand stops the plots, not the merge.
  std::vector<std::string> part1 = Lines(ReadFile(dir / "part1"));
  std::vector<std::string> cells = Cells(part1[1]);
  cells[10] = "x";  // the bias, which merge passes on as it stands
  std::string edited;
  for (const std::string& line : part1) {
    if (&line != &part1[1]) {
      edited += line + "\n";
      continue;
    }
    for (std::size_t i = 0; i < cells.size(); ++i) edited += (i == 0 ? "" : ",") + cells[i];
    edited += "\n";
  }
  WriteFile(dir / "part1", edited);
  std::vector<DrawnPlot> none;
  const Outcome bad = RunCommand({"study", "merge", dir / "part1", dir / "part2", dir / "part3", "--out",
                                  dir / "merged2.csv", "--plot", dir / "b"},
                                 "", Recording(none));
  EXPECT_EQ(bad.status, kExitFailure);
  EXPECT_NE(bad.err.find("--plot: no plots drawn: the row "), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("cannot be plotted: its bias \"x\" is not a finite number"), std::string::npos) << bad.err;
  EXPECT_EQ(Lines(ReadFile(dir / "merged2.csv")).size(), 1u + 3 * 12);
  EXPECT_TRUE(none.empty());
}

// The plots' folder is checked before the study starts.
TEST(StudyPlots, MissingFolderStopsTheStudyBeforeItStarts) {
  ScratchDir dir;
  std::vector<DrawnPlot> drawn;
  const Outcome o = RunCommand({"study", "--replications", "5", "--out", dir / "out.csv", "--plot",
                                dir / "none/s"},
                               "", Recording(drawn));
  EXPECT_EQ(o.status, kExitFailure);
  EXPECT_EQ(o.err, "veltrano-batch: --plot: cannot write plots into " + dir / "none" + ": No such file or directory\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "out.csv"));
}

}  // namespace
}  // namespace veltrano::batch::testing

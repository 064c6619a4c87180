#include "jobs/DataJobs.h"

#include <cmath>
#include <limits>
#include <sstream>

#include "jobs/SheetJob.h"
#include "jobs/SimulateJob.h"
#include "jobs/StudyJob.h"
#include "numeric/UniformGenerator.h"
#include "parallel/Jobs.h"
#include "simulation/NullHost.h"
#include "study/StudyFiles.h"

namespace veltrano::jobs {
namespace {

double Value(double x) { return IsNodefinido(x) ? std::numeric_limits<double>::quiet_NaN() : x; }

// Every test's table and estimates.
class Collector final : public TestObserver {
public:
  explicit Collector(SimulatedTests& out) : out_(out) {}
  void RunStarted(std::int32_t, std::int32_t k, bool, std::uint32_t) override { out_.k = k; }
  void TestTable(const tBfMatriz& table) override {
    for (int i = 1; i <= out_.k; ++i)
      for (int j = 1; j <= out_.k; ++j) out_.cells.push_back(static_cast<std::int64_t>(table.X[i][j]));
  }
  void TestDone(int degree, const TestEstimates& e, std::uint32_t) override {
    out_.degree.push_back(degree);
    out_.doStar.push_back(e.doStar);
    out_.estimates.Append(out_.k, e, {});
  }

private:
  SimulatedTests& out_;
};

// A study's rows as their text, each with its header (a philox study's summary rows have
// one column more).
class TextSink final : public StudySink {
public:
  explicit TextSink(StudyGenerator generator) : summary(std::string(SummaryHeader(generator)) + "\n") {}
  std::string summary;
  std::string tests = std::string(TestsHeader()) + "\n";
  void TestRows(std::string_view rows) override { tests.append(rows); }
  void ConditionRows(std::string_view rows) override { summary.append(rows); }
};

}  // namespace

void EstimateColumns::Reserve(std::size_t tables, int tableK) {
  for (std::vector<double>* v : {&du, &seDu, &ciLower, &ciUpper, &dc, &seDc, &dln}) v->reserve(tables);
  code.reserve(tables);
  code2.reserve(tables);
  k.reserve(tables);
  pi.reserve(tables * static_cast<std::size_t>(tableK));
}

void EstimateColumns::Append(int tableK, const TestEstimates& e, const std::string& failure) {
  const bool analysed = failure.empty();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  du.push_back(analysed ? Value(e.du) : nan);
  seDu.push_back(analysed && HasStandardError(e.seDu) ? e.seDu : nan);
  ciLower.push_back(analysed ? Value(e.ciLower) : nan);
  ciUpper.push_back(analysed ? Value(e.ciUpper) : nan);
  dc.push_back(analysed ? Value(e.dc) : nan);
  seDc.push_back(analysed ? Value(e.seDc) : nan);
  dln.push_back(Value(e.dln));
  code.push_back(analysed ? e.code : 0);
  code2.push_back(analysed ? e.code2 : 0);
  k.push_back(tableK);
  for (int j = 0; j < tableK; ++j) pi.push_back(analysed ? Value(e.pi[static_cast<std::size_t>(j)]) : nan);
  if (!analysed) errors.emplace_back(du.size() - 1, failure);
}

EstimateColumns AnalyseTableData(const std::function<bool(ObservedTable&)>& next, const AnalysisSettings& settings,
                                 int jobs, const JobContext& job, std::size_t expected, int expectedK) {
  EstimateColumns out;
  out.Reserve(expected, expectedK);
  AnalyseTablesRun run;
  run.analysis = settings;
  run.jobs = Threads(jobs);
  run.next = [&next](ObservedTable& t) {
    if (!next(t)) return false;
    CheckObservedTable(t);
    return true;
  };
  run.hand = [&out](const TableResult& r) {
    TestEstimates e = r.estimates;
    e.dln = r.dln;
    out.Append(r.table.k, e, r.error);
  };
  AnalyseTables(run, job);
  return out;
}

SimulatedTests SimulateTestData(const RunOrder& order, const JobContext& job) {
  SimulatedTests out;
  RunSettings s = order.settings;
  s.CheckBox_Text = false;  // no lines are kept: the tests are the same without them
  UniformGenerator rng;
  SimulationRun run(rng);
  Collector collector(out);
  RunParts parts;
  parts.jobs = order.jobs;
  parts.observer = &collector;
  parts.reseed = true;
  parts.seed = order.seed;
  NullHost host;  // the tests come through the observer
  const RunOutcome outcome = Simulate(run, s, parts, host, {}, job);
  out.seed = outcome.seed;
  out.end = outcome.end == Ending::Completed ? Ending::Completed : Ending::Stopped;
  return out;
}

StudyFrames RunStudyData(const StudyDefinition& study, Shard shard, bool tests, int jobs, const JobContext& job) {
  TextSink sink(study.generator);
  StudyRunOptions options;
  options.tests = tests;
  options.jobs = Threads(jobs);
  StudyFrames out;
  out.end = RunStudy(study, {shard, 0}, options, sink, job) == Ending::Completed ? Ending::Completed
                                                                                    : Ending::Stopped;
  out.summary = ParseCsvFrame(sink.summary, "the study's rows");
  if (tests) out.tests = ParseCsvFrame(sink.tests, "the study's test rows");
  return out;
}

Frame MergeStudyData(const std::vector<std::pair<std::string, std::string>>& shards) {
  std::vector<std::istringstream> streams;
  streams.reserve(shards.size());
  std::vector<StudyInput> inputs;
  for (const auto& [name, text] : shards) {
    streams.emplace_back(text);
    inputs.push_back({name, &streams.back()});
  }
  std::string merged;
  MergeStudyOutputs(inputs, [&merged](std::string_view text) { merged.append(text); });
  return ParseCsvFrame(merged, "the merged rows");
}

SheetFrame AnalyseSheetData(SheetSource& sheet, const SheetOrder& order, const JobContext& job) {
  std::string text = std::string(kSheetCsvHeader) + "\n";
  SheetRows rows;
  rows.format = [&order](ExamineeResult& r) { AppendSheetCsvRow(r.text, r, order.analysis); };
  rows.hand = [&text](const ExamineeResult& r) {
    text.append(r.text);
    text.push_back('\n');
  };
  SheetFrame out;
  out.outcome = AnalyseSheetJob(sheet, order, false, rows, job);
  if (out.outcome.ending == Ending::Completed) out.results = ParseCsvFrame(text, "the sheet's results");
  return out;
}

}  // namespace veltrano::jobs

#include "simulation/SimulationRun.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "analysis/AnalysisSettings.h"
#include "numeric/Extended.h"
#include "numeric/NumStr.h"
#include "parallel/OrderedPipeline.h"

namespace veltrano {
namespace {

constexpr unsigned char Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return Lower(static_cast<unsigned char>(x)) < Lower(static_cast<unsigned char>(y));
  });
}

// One test on its way through the run: made (generated) in order, worked (analysed and
// formatted) on any thread, handed to the host in order. Buffers keep their capacity
// from test to test.
struct TestWork {
  // Made.
  std::int32_t L = 0;           // the run's test number
  RunProgress progress;         // where the run stands once this test is handed on
  std::int32_t n_conocido = 0;
  double dreal = 0;
  std::uint32_t rngAfter = 0;   // the generator's state after this test's draws
  std::vector<item> items;
  tBfMatriz table;
  std::vector<std::string> listing;
  std::exception_ptr error;     // raised while making or analysing this test
  // Worked.
  std::string doStarPercent;    // the Do* field
  std::string residualLine;
  std::string data;             // the data lines, each ended by '\n'
  struct Point {
    SeriesId series;
    double x, y;
  };
  Point points[4];
  int pointCount = 0;
  double dLN = 0;
  TestEstimates estimates;
};

// Tests travel in small groups, so the pool's cost per hand-over is shared by many
// tests; a group holds fewer tests the longer they are, so its memory stays small.
struct TestGroup {
  std::vector<TestWork> tests;
  std::size_t count = 0;
};

class RunPipeline {
public:
  RunPipeline(const RunSettings& s, RunHost& host, UniformGenerator& rng, SimulationRun& run, TestObserver* observer,
              const std::function<void(std::int32_t)>& analysisCheck)
      : S(s), host_(host), rng_(rng), run_(run), observer_(observer), analysisCheck_(analysisCheck) {}

  Ending Execute(int jobs);

private:
  bool Make(TestGroup& g);
  void MakeTest(TestWork& t);
  void Work(TestGroup& g);
  void WorkTest(TestWork& t);
  bool Hand(TestGroup& g);
  bool HandTest(TestWork& t);
  void AppendData(TestWork& t, std::string_view line) {
    t.data.append(line);
    t.data.push_back('\n');
  }

  const RunSettings& S;
  RunHost& host_;
  UniformGenerator& rng_;
  SimulationRun& run_;
  TestObserver* observer_;
  const std::function<void(std::int32_t)>& analysisCheck_;

  std::int32_t n = 0, k = 0;
  int Dlast = 0;
  std::size_t groupSize = 1;
  TestGeneration generation_;
  std::string resultsHeading_;
  // Where making stands.
  int D = 0;
  int M = 0;
  std::int32_t L = 0;
  RunProgress progress_;
  bool madeAll_ = false;
  bool makeFailed_ = false;
  // Where handing stands.
  std::uint32_t handedRngState_ = 0;
  Ending end_ = Ending::Completed;
};

Ending RunPipeline::Execute(int jobs) {
  // Run start.
  host_.SelectGraphPage();
  n = run_.n = S.SpinEdit_n;
  k = run_.k = S.SpinEdit_k;
  run_.d0 = S.SpinEdit_D0;
  run_.tests = S.SpinEdit_Test;
  int dmax = S.SpinEdit_Dmax;
  if (dmax < S.SpinEdit_D0) dmax = host_.WriteDmax(S.SpinEdit_D0);  // iterating or not
  const DegreeWalk walk = WalkOf(S, dmax);
  Dlast = walk.last;
  // The diagonal on which estimate equals true knowledge, and the zero line of the
  // residual chart.
  host_.AddXY(SeriesId::sLine, 0, 0);
  host_.AddXY(SeriesId::sLine, 1, 1);
  host_.AddXY(SeriesId::rLine, 0, 0);
  host_.AddXY(SeriesId::rLine, 1, 0);
  host_.SetSeriesActive(SeriesId::sPoint_DSEM, S.CheckBox_Duncond);
  host_.SetSeriesActive(SeriesId::rPoint_DSEM, S.CheckBox_Duncond);
  host_.SetSeriesActive(SeriesId::sPoint_Dcond, S.CheckBox_Dcond);
  host_.SetSeriesActive(SeriesId::sDLN, S.cbDLN);
  host_.ProcessMessages();
  host_.AppendResidualsLine(kResidualsHeading);

  generation_.n = n;
  generation_.k = k;
  generation_.sortKnown = S.CheckBox_Unsort;
  generation_.listing = nullptr;  // each test lists into its own buffer
  generation_.placeholder = KnownPlaceholder(k);
  if (S.CheckBox_Text) {
    resultsHeading_ = ResultsHeading(S);
    resultsHeading_.push_back('\n');
  }

  D = S.SpinEdit_D0;
  M = 0;
  progress_.degreeCount = walk.Count();
  progress_.testsTotal = static_cast<std::int64_t>(progress_.degreeCount) * S.SpinEdit_Test;
  progress_.degreeIndex = 1;
  progress_.degree = D;
  const bool listed = S.CheckBox_Text && S.CheckBox_full;
  const std::size_t itemsPerGroup = listed ? 2048 : 8192;
  groupSize = std::clamp<std::size_t>(itemsPerGroup / static_cast<std::size_t>(n), 1, 64);
  handedRngState_ = rng_.State();
  if (observer_ != nullptr) observer_->RunStarted(n, k, S.CheckBox_CI, handedRngState_);

  // Groups in flight: four per thread, as long as their buffers stay within a budget. A
  // test holds its items, and with the listing on its listing and its data text, about
  // this many bytes per item.
  constexpr std::size_t kBytesInFlight = std::size_t{64} << 20;
  const std::size_t bytesPerGroup = groupSize * (static_cast<std::size_t>(n) * (listed ? 160 : 16) + 4096);
  const std::size_t inFlight = std::clamp<std::size_t>(kBytesInFlight / bytesPerGroup, 2,
                                                       static_cast<std::size_t>(4 * jobs));
  try {
    RunOrdered<TestGroup>(
        jobs, inFlight, [this](TestGroup& g) { return Make(g); },
        [this](TestGroup& g) { Work(g); }, [this](TestGroup& g) { return Hand(g); });
  } catch (...) {
    // The generator stands where one thread would have left it: after the draws of
    // the last test handed on, or of the test whose error ended the run.
    rng_.Seed(handedRngState_);
    throw;
  }
  rng_.Seed(handedRngState_);

  // Run end.
  host_.RefreshChart1();
  return end_;
}

// Every degree runs exactly T tests; the first degree always runs, and the degrees go
// on in steps as long as they do not exceed Dlast.
bool RunPipeline::Make(TestGroup& g) {
  if (madeAll_ || makeFailed_) return false;
  if (g.tests.size() < groupSize) g.tests.resize(groupSize);
  g.count = 0;
  while (g.count < groupSize) {
    if (M == S.SpinEdit_Test) {
      if (D + S.SpinEdit_Step > Dlast) {
        madeAll_ = true;
        break;
      }
      D += S.SpinEdit_Step;
      M = 0;
      ++progress_.degreeIndex;
      progress_.degree = D;
    }
    ++M;
    ++L;
    TestWork& t = g.tests[g.count++];
    t.L = L;
    progress_.testInDegree = M;
    ++progress_.testsDone;
    t.progress = progress_;
    t.error = nullptr;
    try {
      MakeTest(t);
    } catch (...) {
      // Handed on as this test's error once every test before it is written.
      t.error = std::current_exception();
      t.rngAfter = rng_.State();
      makeFailed_ = true;
      break;
    }
  }
  return g.count > 0;
}

void RunPipeline::MakeTest(TestWork& t) {
  t.n_conocido = KnownCount(n, D);
  t.dreal = static_cast<double>(t.n_conocido) / n;
  t.items.assign(static_cast<std::size_t>(n) + 1, item{});
  if (t.table.Dim.F == k) {
    for (int i = 0; i <= k; ++i)
      for (int j = 0; j <= k; ++j) t.table.X[i][j] = 0;
  } else {
    t.table = tBfMatriz::MCReal(k);
  }
  t.listing.clear();
  if (S.CheckBox_Text && S.CheckBox_full) generation_.listing = &t.listing;
  if (run_.TestStreams()) {
    PhiloxStream stream = run_.TestStreams()(t.L);
    generation_.KnownItemsPhase(t.n_conocido, t.items, t.table, stream);
    generation_.RemainingItemsPhase(t.n_conocido, t.items, t.table, stream);
  } else {
    generation_.KnownItemsPhase(t.n_conocido, t.items, t.table, rng_);
    generation_.RemainingItemsPhase(t.n_conocido, t.items, t.table, rng_);
  }
  t.rngAfter = rng_.State();
  t.table.GetTotales();
}

void RunPipeline::Work(TestGroup& g) {
  for (std::size_t i = 0; i < g.count; ++i) {
    TestWork& t = g.tests[i];
    if (t.error) break;  // the making failed here; nothing later was made
    try {
      WorkTest(t);
    } catch (...) {
      t.error = std::current_exception();
      break;
    }
  }
}

// The Do* field: the realised degree in percent, "66.67%".
void AppendDoStarPercent(std::string& out, double dreal) {
  AppendNumStr(out, ToDouble(Extended(dreal) * Extended(100)), 3, 2);
  out.push_back('%');
}

void RunPipeline::WorkTest(TestWork& t) {
  t.doStarPercent.clear();
  AppendDoStarPercent(t.doStarPercent, t.dreal);
  t.residualLine.clear();
  t.data.clear();
  t.pointCount = 0;
  if (S.CheckBox_Text && S.CheckBox_full && !S.CheckBox_Unsort) SimulationRun::SortAndRenumber(t.listing);

  // The analysis step.
  if (analysisCheck_) analysisCheck_(t.L);
  tAnalisisDeltaMET a;
  RunAnalysis(a, t.table, S.Analysis(), &t.listing);
  const double Du = a.GetDeltaMLE();
  const double Dc = a.GetDeltaCondE();
  t.dLN = LordNovick(k, n, CorrectAnswers(t.table));
  t.estimates = EstimatesOf(a, t.dreal, t.dLN);

  const Extended truth(t.dreal);
  const double rDu = ToDouble(truth - Extended(Du));
  const double rDc = ToDouble(truth - Extended(Dc));
  const double rDLN = ToDouble(truth - Extended(t.dLN));
  AppendResidualRow(t.residualLine, t.dreal, rDu, rDc, rDLN, S.comma);

  if (S.CheckBox_Text) {
    // The full listing and the observed table, or the cells for the results line.
    std::string cells;
    if (S.CheckBox_full) {
      AppendData(t, kListingHeading);
      for (const std::string& l : t.listing) AppendData(t, l);
      AppendData(t, kListingEnd);
      AppendData(t, kObservedTableCaption);
      AppendData(t, "");
      for (int i = 1; i <= k; ++i) {
        for (int j = 1; j <= k; ++j) {
          t.data.push_back('\t');
          AppendNumStr(t.data, t.table.X[i][j], 5, 0);
        }
        t.data.push_back('\n');
      }
      AppendData(t, "");
      AppendData(t, kResultsCaption);
      AppendData(t, "");
    } else if (S.CheckBox_Table) {
      for (int i = 1; i <= k; ++i)
        for (int j = 1; j <= k; ++j) {
          AppendNumStr(cells, t.table.X[i][j], 5, 0);
          cells.push_back('\t');
        }
    }
    // The results lines: the header at the run's first test (and with every full
    // listing), then the test's record.
    if (t.L == 1 || S.CheckBox_full) t.data.append(resultsHeading_);
    t.data.append(std::to_string(run_.FirstTestNumber() + t.L - 1));
    t.data.push_back('\t');
    t.data.append(cells);
    t.data.push_back('\t');
    AppendNumStr(t.data, t.dreal, S.SpinEdit_Decs + 2, S.SpinEdit_Decs);
    t.data.push_back('\t');
    a.AppendRecord(t.data);
    t.data.push_back('\t');
    AppendNumStr(t.data, t.dLN, 6, 3);
    t.data.push_back('\n');
  }

  // The chart points. Points go into a series whether it is shown or not, so ticking
  // its box later shows them.
  const double se = a.GetDeltaMLESE();
  t.points[t.pointCount++] = {SeriesId::sDLN, t.dreal, t.dLN};
  t.points[t.pointCount++] = {SeriesId::sPoint_DSEM, t.dreal, Du};
  t.points[t.pointCount++] = {SeriesId::sPoint_Dcond, t.dreal, Dc};
  // The standardized residual, estimate minus truth over the standard error, has no
  // value when the estimate or its standard error is missing (an invalid model
  // leaves the standard error at 0): such a test adds no residual point.
  if (!IsNodefinido(Du) && !IsNodefinido(se) && se != 0) {
    const Extended difference = Extended(Du) - Extended(t.dreal);
    t.points[t.pointCount++] = {SeriesId::rPoint_DSEM, t.dreal, ToDouble(difference / Extended(se))};
  }
  // The analysis goes first, then the items; the table stays for the next test.
  a.Finaliza();
  t.items.clear();
  t.listing.clear();
}

bool RunPipeline::Hand(TestGroup& g) {
  for (std::size_t i = 0; i < g.count; ++i)
    if (!HandTest(g.tests[i])) return false;
  return true;
}

bool RunPipeline::HandTest(TestWork& t) {
  run_.n_conocido = t.n_conocido;
  run_.dreal = t.dreal;
  handedRngState_ = t.rngAfter;
  if (t.error) {
    // As on one thread: the Do* field shows the failing test, nothing else of it is out.
    t.doStarPercent.clear();
    AppendDoStarPercent(t.doStarPercent, t.dreal);
    host_.SetDoStarText(t.doStarPercent);
    std::rethrow_exception(t.error);
  }
  run_.dLN = t.dLN;
  host_.SetDoStarText(t.doStarPercent);
  host_.AppendResidualsLine(t.residualLine);
  for (std::size_t from = 0; from < t.data.size();) {
    const std::size_t end = t.data.find('\n', from);
    host_.AppendDataLine(std::string_view(t.data).substr(from, end - from));
    from = end + 1;
  }
  for (int p = 0; p < t.pointCount; ++p) host_.AddXY(t.points[p].series, t.points[p].x, t.points[p].y);
  if (observer_ != nullptr) {
    observer_->TestTable(t.table);
    observer_->TestDone(t.progress.degree, t.estimates, t.rngAfter);
  }
  if (!host_.ContinueRun(t.progress)) {
    end_ = Ending::Stopped;
    return false;
  }
  return true;
}

}  // namespace

DegreeWalk WalkOf(const RunSettings& s, int dmaxHeld) {
  return {s.SpinEdit_D0, s.CheckBox_Iterate ? dmaxHeld : s.SpinEdit_D0, s.SpinEdit_Step};
}

DegreeWalk WalkOf(const RunSettings& s) {
  const int dmax = s.SpinEdit_Dmax < s.SpinEdit_D0 ? std::clamp(s.SpinEdit_D0, setting::Dmax.min, setting::Dmax.max)
                                                   : s.SpinEdit_Dmax;
  return WalkOf(s, dmax);
}

std::string ResultsHeading(const RunSettings& s) {
  std::string h = "Test\t";
  // The cells of the table, row by row, when the results lines carry them.
  if (s.CheckBox_Table && !s.CheckBox_full)
    for (int i = 1; i <= s.SpinEdit_k; ++i)
      for (int j = 1; j <= s.SpinEdit_k; ++j) {
        h.append("X[");
        h.append(std::to_string(i));
        h.push_back(',');
        h.append(std::to_string(j));
        h.append("]\t");
      }
  h.append("\tDo*\t");
  h.append(RecordHeader(true, s.CheckBox_CI, s.CheckBox_Dka));
  h.append("\tDL&N");
  return h;
}

void SimulationRun::SortAndRenumber(std::vector<std::string>& listing) {
  std::sort(listing.begin(), listing.end(), LessIgnoringCase);
  for (std::size_t s = 0; s < listing.size(); ++s) {
    std::string& line = listing[s];
    const std::size_t tab = line.find('\t');
    std::string key = ZeroPad(static_cast<std::int64_t>(s) + 1, 3);
    line.replace(0, tab == std::string::npos ? line.size() : tab, key);
  }
}

Ending SimulationRun::Execute(const RunSettings& settings, RunHost& host) {
  RunPipeline pipeline(settings, host, *rng_, *this, observer_, analysisCheck_);
  return pipeline.Execute(jobs_);
}

}  // namespace veltrano

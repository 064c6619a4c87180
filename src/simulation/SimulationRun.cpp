#include "simulation/SimulationRun.h"

#include <algorithm>

#include "numeric/NumStr.h"
#include "simulation/ExamResults.h"

namespace veltrano {
namespace {

constexpr unsigned char Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return Lower(static_cast<unsigned char>(x)) < Lower(static_cast<unsigned char>(y));
  });
}

int DegreeCount(int d0, int dlast, int step) { return d0 > dlast ? 1 : (dlast - d0) / step + 1; }

}  // namespace

void SimulationRun::SortAndRenumber(std::vector<std::string>& listing) {
  std::sort(listing.begin(), listing.end(), LessIgnoringCase);
  for (std::size_t s = 0; s < listing.size(); ++s) {
    std::string& line = listing[s];
    const std::size_t tab = line.find('\t');
    std::string key = ZeroPad(static_cast<std::int64_t>(s) + 1, 3);
    line.replace(0, tab == std::string::npos ? line.size() : tab, key);
  }
}

RunEnd SimulationRun::Execute(const RunSettings& settings, RunHost& host) {
  s_ = &settings;
  host_ = &host;
  const RunSettings& S = settings;

  // Run start.
  host.SelectGraphPage();
  n = S.SpinEdit_n;
  k = S.SpinEdit_k;
  d0 = S.SpinEdit_D0;
  tests = S.SpinEdit_Test;
  int dmax = S.SpinEdit_Dmax;
  if (dmax < S.SpinEdit_D0) dmax = host.WriteDmax(S.SpinEdit_D0);  // iterating or not
  const int Dlast = S.CheckBox_Iterate ? dmax : S.SpinEdit_D0;
  const int T = S.SpinEdit_Test;
  listing_.clear();
  // The diagonal on which estimate equals true knowledge, and the zero line of the
  // residual chart.
  host.AddXY(SeriesId::sLine, 0, 0);
  host.AddXY(SeriesId::sLine, 1, 1);
  host.AddXY(SeriesId::rLine, 0, 0);
  host.AddXY(SeriesId::rLine, 1, 0);
  int L = 0;
  int D = S.SpinEdit_D0;
  host.SetSeriesActive(SeriesId::sPoint_DSEM, S.CheckBox_Duncond);
  host.SetSeriesActive(SeriesId::rPoint_DSEM, S.CheckBox_Duncond);
  host.SetSeriesActive(SeriesId::sPoint_Dcond, S.CheckBox_Dcond);
  host.SetSeriesActive(SeriesId::sDLN, S.cbDLN);
  host.ProcessMessages();
  host.AppendResidualsLine("Do\trDu\trDc\trDLN");

  generation_.n = n;
  generation_.k = k;
  generation_.sortKnown = S.CheckBox_Unsort;
  generation_.listing = S.CheckBox_Text && S.CheckBox_full ? &listing_ : nullptr;
  generation_.placeholder = KnownPlaceholder(k);

  RunProgress progress;
  progress.degreeCount = DegreeCount(S.SpinEdit_D0, Dlast, S.SpinEdit_Step);
  progress.testsTotal = static_cast<std::int64_t>(progress.degreeCount) * T;
  RunEnd end = RunEnd::Completed;

  // Every degree runs exactly T tests; the first degree always runs, and the degrees
  // go on in steps as long as they do not exceed Dlast.
  do {
    ++progress.degreeIndex;
    progress.degree = D;
    int M = 1;
    do {
      ++L;
      OneTest(D, L);
      progress.testInDegree = M;
      ++progress.testsDone;
      if (!host.ContinueRun(progress)) {
        end = RunEnd::Cancelled;
        break;
      }
      ++M;
    } while (M <= T);
    D += S.SpinEdit_Step;
  } while (end == RunEnd::Completed && D <= Dlast);

  // Run end.
  host.RefreshChart1();
  listing_.clear();
  return end;
}

void SimulationRun::OneTest(int D, int L) {
  const RunSettings& S = *s_;
  listing_.clear();
  items.assign(static_cast<std::size_t>(n) + 1, item{});
  Tabla = tBfMatriz::MCReal(k);

  n_conocido = KnownCount(n, D);
  dreal = static_cast<double>(n_conocido) / n;
  line_.clear();
  AppendNumStr(line_, static_cast<double>(static_cast<long double>(dreal) * 100), 3, 2);
  line_.push_back('%');
  host_->SetDoStarText(line_);
  doStarText_.clear();
  AppendNumStr(doStarText_, dreal, S.SpinEdit_Decs + 2, S.SpinEdit_Decs);

  generation_.KnownItemsPhase(n_conocido, items, Tabla, *rng_);
  generation_.RemainingItemsPhase(n_conocido, items, Tabla, *rng_);
  Tabla.GetTotales();
  if (generation_.listing != nullptr && !S.CheckBox_Unsort) SortAndRenumber(listing_);

  AnalysisStep();
  if (S.CheckBox_Text) {
    DataPaneBlock();
    ResultsLines(L);
  }
  ChartPoints();

  // The items, then the table, then the analysis; the analysis holds its own
  // reference to the table's cells, so the order is safe.
  items.clear();
  Tabla.Done();
  analysis_.reset();
}

void SimulationRun::DataPaneBlock() {
  const RunSettings& S = *s_;
  tableCells_.clear();
  tableCaption_.clear();
  if (S.CheckBox_full) {
    host_->AppendDataLine("i\tCorrect\tChoice\t-- Selection procedure ---------");
    for (const std::string& l : listing_) host_->AppendDataLine(l);
    host_->AppendDataLine("---------------");
    host_->AppendDataLine("Observed Table: ");
    host_->AppendDataLine("");
    for (int i = 1; i <= k; ++i) {
      line_.clear();
      for (int j = 1; j <= k; ++j) {
        line_.push_back('\t');
        AppendNumStr(line_, Tabla.X[i][j], 5, 0);
      }
      host_->AppendDataLine(line_);
    }
    host_->AppendDataLine("");
    host_->AppendDataLine("Results: ");
    host_->AppendDataLine("");
  } else if (S.CheckBox_Table) {
    for (int i = 1; i <= k; ++i)
      for (int j = 1; j <= k; ++j) {
        AppendNumStr(tableCells_, Tabla.X[i][j], 5, 0);
        tableCells_.push_back('\t');
        tableCaption_.append("X[");
        tableCaption_.append(std::to_string(i));
        tableCaption_.push_back(',');
        tableCaption_.append(std::to_string(j));
        tableCaption_.append("]\t");
      }
  }
}

// ---- The per-test analysis and the test's results ----------------------------------

void SimulationRun::AnalysisStep() {
  const RunSettings& S = *s_;
  analysis_ = std::make_unique<tAnalisisDeltaMET>();
  tAnalisisDeltaMET& a = *analysis_;
  a.Create(Tabla, &listing_, 1, "");
  ConfigureAnalysis(a, S.Analysis());
  if (S.CheckBox_Text) analysisHeader_ = a.output_Header();
  a.Execute(nullptr);
  const double Du = a.GetDeltaMLE();
  const double Dc = a.GetDeltaCondE();

  dLN = LordNovick(k, n, CorrectAnswers(Tabla));

  const long double truth = dreal;
  const auto rDu = static_cast<double>(truth - Du);
  const auto rDc = static_cast<double>(truth - Dc);
  const auto rDLN = static_cast<double>(truth - dLN);
  line_.clear();
  AppendResidualRow(line_, dreal, rDu, rDc, rDLN, S.comma);
  host_->AppendResidualsLine(line_);
}

void SimulationRun::ResultsLines(int L) {
  const RunSettings& S = *s_;
  if (L == 1 || S.CheckBox_full) {
    line_.assign("Test\t");
    line_.append(tableCaption_);
    line_.append("\tDo*\t");
    line_.append(analysisHeader_);
    line_.append("\tDL&N");
    host_->AppendDataLine(line_);
  }
  line_.assign(std::to_string(L));
  line_.push_back('\t');
  line_.append(tableCells_);
  line_.push_back('\t');
  line_.append(doStarText_);
  line_.push_back('\t');
  analysis_->AppendRecord(line_);
  line_.push_back('\t');
  AppendNumStr(line_, dLN, 6, 3);
  host_->AppendDataLine(line_);
}

void SimulationRun::ChartPoints() {
  const tAnalisisDeltaMET& a = *analysis_;
  const double Du = a.GetDeltaMLE();
  const double Dc = a.GetDeltaCondE();
  const double se = a.GetDeltaMLESE();
  // Points go into a series whether it is shown or not, so ticking its box later
  // shows them.
  host_->AddXY(SeriesId::sDLN, dreal, dLN);
  host_->AddXY(SeriesId::sPoint_DSEM, dreal, Du);
  host_->AddXY(SeriesId::sPoint_Dcond, dreal, Dc);
  // The standardized residual, estimate minus truth over the standard error, has no
  // value when the estimate or its standard error is missing (an invalid model
  // leaves the standard error at 0): such a test adds no residual point.
  if (!IsNodefinido(Du) && !IsNodefinido(se) && se != 0) {
    const long double difference = static_cast<long double>(Du) - dreal;
    host_->AddXY(SeriesId::rPoint_DSEM, dreal, static_cast<double>(difference / se));
  }
}

}  // namespace veltrano

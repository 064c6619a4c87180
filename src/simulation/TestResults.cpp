// The per-test analysis and the test's results: the residual row, the results lines
// of the data pane and the chart points.
#include "simulation/TestResults.h"

#include "numeric/NumStr.h"
#include "simulation/SimulationRun.h"

namespace veltrano {
namespace {

// Appends NumStr(x, w, d), with every "." turned into "," when comma is set.
void AppendResidualNumber(std::string& out, double x, int w, int d, bool comma) {
  const std::size_t from = out.size();
  AppendNumStr(out, x, w, d);
  if (comma)
    for (std::size_t i = from; i < out.size(); ++i)
      if (out[i] == '.') out[i] = ',';
}

}  // namespace

double LordNovick(std::int32_t k, std::int32_t n, double R) {
  const long double numerator = static_cast<long double>(k) * R - n;
  return static_cast<double>(numerator / static_cast<long double>((k - 1) * n));
}

void AppendResidualRow(std::string& out, double doStar, double rDu, double rDc, double rDLN, bool comma) {
  AppendResidualNumber(out, doStar, 8, 5, comma);
  out.push_back('\t');
  AppendResidualNumber(out, rDu, 8, 4, comma);
  out.push_back('\t');
  AppendResidualNumber(out, rDc, 8, 4, comma);
  out.push_back('\t');
  AppendResidualNumber(out, rDLN, 8, 4, comma);
}

void SimulationRun::AnalysisStep() {
  const RunSettings& S = *s_;
  analysis_ = std::make_unique<tAnalisisDeltaMET>();
  tAnalisisDeltaMET& a = *analysis_;
  a.Create(Tabla, &listing_, 1, "");
  a.output_Config(true, S.CheckBox_CI, S.CheckBox_Dka, S.CheckBox_Dka);
  a.Analysis_AssignParams(S.SpinEdit_Tol, S.SpinEdit_MaxIts, S.SpinEdit_Decs);
  if (S.CheckBox_Text) analysisHeader_ = a.output_Header();
  a.Execute(nullptr);
  const double Du = a.GetDeltaMLE();
  const double Dc = a.GetDeltaCondE();

  double R = 0;  // correct answers
  for (int i = 1; i <= k; ++i) R += Tabla.X[i][i];
  dLN = LordNovick(k, n, R);

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

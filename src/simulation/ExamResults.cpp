// The measures and text of one test's results: the Lord & Novick value and the
// residual row.
#include "simulation/ExamResults.h"

#include "numeric/Extended.h"
#include "numeric/NumStr.h"

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
  const Extended numerator = Extended(k) * Extended(R) - Extended(n);
  return ToDouble(numerator / Extended((k - 1) * n));
}

double LordNovick(std::int32_t k, double n, double R) {
  const Extended numerator = Extended(k) * Extended(R) - Extended(n);
  return ToDouble(numerator / ((Extended(k) - Extended(1)) * Extended(n)));
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

double CorrectAnswers(const tBfMatriz& table) {
  double R = 0;
  for (int i = 1; i <= table.Dim.F; ++i) R += table.X[i][i];
  return R;
}

TestEstimates EstimatesOf(const tAnalisisDeltaMET& a, double doStar, double dln) {
  TestEstimates e;
  e.doStar = doStar;
  e.du = a.GetDeltaMLE();
  e.seDu = a.GetDeltaMLESE();
  e.ciLower = a.ICITest.LI;
  e.ciUpper = a.ICITest.LS;
  e.dc = a.GetDeltaCondE();
  e.seDc = a.Delta_KA.SE;
  e.dln = dln;
  e.code = a.Problem[1].Codigo;
  e.code2 = a.Problem[2].Codigo;
  for (std::size_t j = 1; j < a.Pi.size() && j <= e.pi.size(); ++j) e.pi[j - 1] = a.Pi[j].Estimador;  // entry 0 unused
  return e;
}

}  // namespace veltrano

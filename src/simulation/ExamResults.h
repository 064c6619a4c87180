#pragma once
// The measures and text of one test's results, apart from the run that uses them.
#include <array>
#include <cstdint>
#include <string>

#include "analysis/AnalysisSettings.h"  // kMaxAlternatives
#include "analysis/tAnalisisDeltaMET.h"

namespace veltrano {

/// The estimates of one simulated test, as summaries and studies read them. A value
/// the analysis could not compute is Nodefinido. The analysis leaves a standard error
/// at 0 when the fitted model fails its check, so a standard error counts as given
/// only when it is defined and positive (HasStandardError).
struct TestEstimates {
  double doStar = 0;              // Do*, the realised degree of knowledge: the truth
  double du = Nodefinido;         // Du, the maximum-likelihood estimate
  double seDu = Nodefinido;       // its standard error
  double ciLower = Nodefinido;    // the test-inversion interval of Du, when computed
  double ciUpper = Nodefinido;
  double dc = Nodefinido;         // Dc, the conditioned estimate
  double seDc = Nodefinido;       // its standard error
  double dln = Nodefinido;        // D Lord & Novick
  std::uint16_t code = 999;       // problem code of the data table
  std::uint16_t code2 = 999;      // problem code of table 2
  /// The guessing probabilities pi_1..pi_k of the table Du was estimated on, in pi[0] to
  /// pi[k − 1] (Nodefinido where undefined, and beyond k).
  std::array<double, kMaxAlternatives> pi = UndefinedPi();

  static constexpr std::array<double, kMaxAlternatives> UndefinedPi() noexcept {
    std::array<double, kMaxAlternatives> p{};
    p.fill(Nodefinido);
    return p;
  }
};

constexpr bool HasStandardError(double se) noexcept { return !IsNodefinido(se) && se > 0; }

/// The number of correct answers of a test: the sum of the table's diagonal.
double CorrectAnswers(const tBfMatriz& table);

/// The estimates of an executed analysis of a test whose truth is doStar and whose
/// Lord & Novick value is dln.
TestEstimates EstimatesOf(const tAnalisisDeltaMET& a, double doStar, double dln);

/// The Lord & Novick correction for guessing, (R − W/(k − 1))/n with R correct and
/// W = n − R wrong answers, computed as (k·R − n)/((k − 1)·n) in extended precision:
/// 1 when every answer is correct, 0 at chance level R = n/k, −1/(k − 1) with none.
double LordNovick(std::int32_t k, std::int32_t n, double R);
/// The same for a table of any total n (an observed table's grand total).
double LordNovick(std::int32_t k, double n, double R);

/// Appends the residual row: Do* with 5 decimals and the three residuals with 4, each
/// right-aligned in 8 characters and separated by tabs; with comma set, the decimal
/// point of every number is a comma.
void AppendResidualRow(std::string& out, double doStar, double rDu, double rDc, double rDLN, bool comma);

}  // namespace veltrano

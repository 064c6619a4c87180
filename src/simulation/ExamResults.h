#pragma once
// The measures and text of one test's results, apart from the run that uses them.
#include <cstdint>
#include <string>

namespace veltrano {

/// The Lord & Novick correction for guessing, (R − W/(k − 1))/n with R correct and
/// W = n − R wrong answers, computed as (k·R − n)/((k − 1)·n) in extended precision:
/// 1 when every answer is correct, 0 at chance level R = n/k, −1/(k − 1) with none.
double LordNovick(std::int32_t k, std::int32_t n, double R);

/// Appends the residual row: Do* with 5 decimals and the three residuals with 4, each
/// right-aligned in 8 characters and separated by tabs; with comma set, the decimal
/// point of every number is a comma.
void AppendResidualRow(std::string& out, double doStar, double rDu, double rDc, double rDLN, bool comma);

}  // namespace veltrano

#include "study/RunSummary.h"

namespace veltrano {

void RunSummary::RunStarted(std::int32_t n, std::int32_t k, bool interval, std::uint32_t seed) {
  degrees_.clear();
  n_ = n;
  k_ = k;
  interval_ = interval;
  state_ = seed;
}

void RunSummary::TestDone(int degree, const TestEstimates& estimates, std::uint32_t stateAfter) {
  if (degrees_.empty() || degrees_.back().record.condition.D != degree) {
    Degree& d = degrees_.emplace_back();
    d.record.index = static_cast<std::int64_t>(degrees_.size());
    d.record.condition = Condition{n_, k_, degree};
    d.record.doStar = estimates.doStar;
    d.record.seed = state_;
  }
  degrees_.back().builder.Add(estimates);
  state_ = stateAfter;
}

std::string RunSummary::Rows(RowFormat format) const {
  std::string out;
  if (format == RowFormat::Csv) {
    out.append(SummaryHeader());
    out.push_back('\n');
  }
  for (const Degree& d : degrees_) AppendSummaryRows(out, format, d.record, d.builder.Summary(), interval_, nullptr);
  return out;
}

}  // namespace veltrano

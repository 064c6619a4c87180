#include "jobs/StreamHost.h"

#include <cmath>

namespace veltrano::jobs {

StreamHost::StreamHost(OutputFile* data, OutputFile* residuals, OutputFile* points, ChartSink* charts)
    : data_(data), residuals_(residuals), points_(points), charts_(charts) {
  if (points_ != nullptr) points_->WriteLine(kPointsHeader);
}

void StreamHost::AddXY(SeriesId series, double x, double y) {
  if (points_ != nullptr) {
    // Every point of a test shares its x (Do*): its text is made once.
    if (x != lastX_ || xText_.empty() || std::signbit(x) != std::signbit(lastX_)) {
      lastX_ = x;
      xText_.clear();
      AppendG17(xText_, x);
    }
    row_.assign(SeriesName(series));
    row_.push_back(',');
    row_.append(xText_);
    row_.push_back(',');
    AppendG17(row_, y);
    row_.push_back('\n');
    points_->Write(row_);
  }
  if (charts_ != nullptr) charts_->AddXY(series, x, y);
}

}  // namespace veltrano::jobs

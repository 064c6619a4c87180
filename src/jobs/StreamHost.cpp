#include "jobs/StreamHost.h"

#include <cmath>

#include "analysis/tAnalisis.h"  // IsNodefinido

namespace veltrano::jobs {

StreamHost::StreamHost(OutputFile* data, OutputFile* residuals, OutputFile* points, ChartSink* charts)
    : data_(data), residuals_(residuals), points_(points), charts_(charts) {
  if (points_ != nullptr) points_->WriteLine(kPointsHeader);
  ContinueRun({});
}

bool StreamHost::ContinueRun(const RunProgress&) {
  const OutputFile* files[] = {data_, residuals_, points_};
  for (int i = 0; i < 3; ++i)
    if (files[i] != nullptr) marks_[i] = files[i]->Written();
  return true;
}

void StreamHost::CutBackToLastTest() noexcept {
  OutputFile* files[] = {data_, residuals_, points_};
  for (int i = 0; i < 3; ++i)
    if (files[i] != nullptr) files[i]->CutBackTo(marks_[i]);
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
    // An estimate the analysis could not compute is an empty cell, as in every CSV file.
    if (!IsNodefinido(y)) AppendG17(row_, y);
    row_.push_back('\n');
    points_->Write(row_);
  }
  if (charts_ != nullptr) charts_->AddXY(series, x, y);
}

}  // namespace veltrano::jobs

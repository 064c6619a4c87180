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

void PointRows::Append(std::string& out, SeriesId series, double x, double y) {
  if (x != lastX_ || xText_.empty() || std::signbit(x) != std::signbit(lastX_)) {
    lastX_ = x;
    xText_.clear();
    AppendG17(xText_, x);
  }
  out.append(SeriesName(series));
  out.push_back(',');
  out.append(xText_);
  out.push_back(',');
  // An estimate the analysis could not compute is an empty cell, as in every CSV file.
  if (!IsNodefinido(y)) AppendG17(out, y);
  out.push_back('\n');
}

void StreamHost::AddXY(SeriesId series, double x, double y) {
  if (points_ != nullptr) {
    row_.clear();
    rows_.Append(row_, series, x, y);
    points_->Write(row_);
  }
  if (charts_ != nullptr) charts_->AddXY(series, x, y);
}

}  // namespace veltrano::jobs

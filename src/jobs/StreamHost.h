#pragma once
// The run host of the file level: what the window would show goes to files instead.
//
// Data-pane lines go to one file, residual lines to another, and every chart point, in
// the order the run adds it, to a CSV file "series,x,y" whose numbers read back as the
// same doubles (an estimate the analysis could not compute is an empty cell). Any of the three may be left out. When charts are to be drawn, the
// points and the series' visibility also go to a ChartSink. The window-only operations
// (selecting a page, repainting, the Do* field) do nothing.
#include <string>
#include <string_view>

#include "jobs/Drawing.h"
#include "jobs/OutputFile.h"
#include "simulation/RunHost.h"

namespace veltrano::jobs {

/// The rows of a points file, "series,x,y": numbers that read back as the same doubles, an
/// estimate the analysis could not compute an empty cell.
class PointRows {
public:
  /// The header line of a points file.
  static constexpr std::string_view kHeader = "series,x,y";
  /// Appends the row of (x, y) on series, ended by a line break, to out.
  void Append(std::string& out, SeriesId series, double x, double y);

private:
  double lastX_ = 0;
  std::string xText_;  // every point of a test shares its x (Do*): its text is made once
};

class StreamHost final : public RunHost {
public:
  /// Every pointer may be null: that output is not written. None is owned.
  StreamHost(OutputFile* data, OutputFile* residuals, OutputFile* points, ChartSink* charts);

  void SelectGraphPage() override {}
  void SetDoStarText(std::string_view) override {}
  void AppendDataLine(std::string_view line) override {
    if (data_ != nullptr) data_->WriteLine(line);
  }
  void AppendResidualsLine(std::string_view line) override {
    if (residuals_ != nullptr) residuals_->WriteLine(line);
  }
  void AddXY(SeriesId series, double x, double y) override;
  void SetSeriesActive(SeriesId series, bool active) override {
    if (charts_ != nullptr) charts_->SetSeriesActive(series, active);
  }
  void RefreshChart1() override {}
  /// A test is complete in every output: where each stands is kept (CutBackToLastTest).
  bool ContinueRun(const RunProgress& progress) override;

  /// Makes every file end after the last complete test, after an output failed in the
  /// middle of a test's lines (a reader gone away, a full disk): every file then ends at
  /// the same test.
  void CutBackToLastTest() noexcept;

  /// The header line of the points file.
  static constexpr std::string_view kPointsHeader = PointRows::kHeader;

private:
  OutputFile* data_;
  OutputFile* residuals_;
  OutputFile* points_;
  ChartSink* charts_;
  std::uint64_t marks_[3] = {0, 0, 0};  // data, residuals, points after the last complete test
  std::string row_;
  PointRows rows_;
};

}  // namespace veltrano::jobs

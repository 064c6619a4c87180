#pragma once
// The run host of veltrano-batch: what the window would show goes to files instead.
//
// Data-pane lines go to one file, residual lines to another, and every chart point, in
// the order the run adds it, to a CSV file "series,x,y" whose numbers read back as the
// same doubles. Any of the three may be left out. When charts are to be drawn, the
// points and the series' visibility also go to a ChartSink. The window-only operations
// (selecting a page, processing events, repainting, the Do* field) do nothing.
#include <string>
#include <string_view>

#include "batch/OutputFile.h"
#include "batch/Progress.h"
#include "simulation/RunHost.h"

namespace veltrano::batch {

/// Where the chart points go when charts are drawn at the end of the run.
class ChartSink {
public:
  virtual ~ChartSink() = default;
  virtual void AddXY(SeriesId series, double x, double y) = 0;
  virtual void SetSeriesActive(SeriesId series, bool active) = 0;
};

class StreamHost final : public RunHost {
public:
  /// Every pointer may be null: that output is not written. None is owned.
  StreamHost(OutputFile* data, OutputFile* residuals, OutputFile* points, ChartSink* charts,
             ProgressMeter* progress);

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
  void ProcessMessages() override {}
  void RefreshChart1() override {}
  /// Shows progress; false once StopRequested() (an interrupt) says so.
  bool ContinueRun(const RunProgress& progress) override;

  /// The header line of the points file.
  static constexpr std::string_view kPointsHeader = "series,x,y";

private:
  OutputFile* data_;
  OutputFile* residuals_;
  OutputFile* points_;
  ChartSink* charts_;
  ProgressMeter* progress_;
  std::string row_;
  double lastX_ = 0;
  std::string xText_;
};

/// Asks every running StreamHost to end its run after the current test, for the given
/// signal (SIGINT, SIGTERM or SIGHUP); safe to call from a signal handler.
void RequestStop(int signal) noexcept;

/// While one of these lives, a command is in work that ends cleanly on a stop request
/// (a run, a study, the analysis of tables or sheets): the program's signal handler
/// asks for a stop then. Outside such work (reading input, merging files) a signal ends
/// the program at once, as it ends any program, rather than being held back.
class StopRequestsHonoured {
public:
  StopRequestsHonoured() noexcept;
  ~StopRequestsHonoured();
  StopRequestsHonoured(const StopRequestsHonoured&) = delete;
  StopRequestsHonoured& operator=(const StopRequestsHonoured&) = delete;
};
/// Whether a stop request would be honoured now; safe to call from a signal handler.
bool StopRequestsAreHonoured() noexcept;
/// Clears a stop request (at the start of a command).
void ClearStopRequest() noexcept;
bool StopRequested() noexcept;
/// The signal of the stop request, 0 when there is none.
int StopSignal() noexcept;
/// The signal of the stop request, SIGINT when a stop came without one.
int StopSignalOrInterrupt() noexcept;
/// How a command says it was stopped by signal: "interrupted" (SIGINT), "terminated"
/// (SIGTERM) or "hung up" (SIGHUP).
const char* StoppedBy(int signal) noexcept;

}  // namespace veltrano::batch

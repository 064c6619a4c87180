#pragma once
// The window's two charts, drawn by veltrano-batch into PNG or SVG files.
//
// The charts keep every point of the run in memory, so they are made only when a
// graph file is asked for. Drawing needs a Qt GUI application; when none exists one
// is made on the "offscreen" platform (unless QT_QPA_PLATFORM names another), so no
// display is needed. The window's series visibility applies: the run itself switches
// sPoint_DSEM, rPoint_DSEM, sPoint_Dcond and sDLN; the diagonal sLine follows the
// "D" switch given here and the zero line rLine is always shown.
#include <memory>
#include <string>

#include "batch/StreamHost.h"

namespace veltrano::batch {

/// The window's default chart size: its page area, 1073 − 177 pixels wide.
inline constexpr int kGraphWidth = 896;
inline constexpr int kGraphHeight = 660;

class RunGraphs final : public ChartSink {
public:
  /// Charts with sLine shown when showD; starts the GUI application if needed.
  explicit RunGraphs(bool showD);
  ~RunGraphs() override;
  RunGraphs(const RunGraphs&) = delete;
  RunGraphs& operator=(const RunGraphs&) = delete;

  void AddXY(SeriesId series, double x, double y) override;
  void SetSeriesActive(SeriesId series, bool active) override;

  /// Saves the estimates chart (Chart1) and the residual chart (Chart2); an empty
  /// path skips that chart. The format follows the extension (.png or .svg). Raises
  /// an error naming the file when one cannot be written.
  void Save(const std::string& chart1Path, const std::string& chart2Path, int width, int height) const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// True when path ends in ".png" or ".svg", in any letter case.
bool IsGraphPath(const std::string& path);

}  // namespace veltrano::batch

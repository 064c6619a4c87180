#pragma once
// What a job that draws needs from its front end. Drawing needs Qt, which the jobs do not:
// the front end hands over makers of the run's charts and a drawer of a study's plots
// (veltrano-batch's, built on the chart library). A build without Qt has none, and a graph
// or plot asked of it is refused with a message that says so.
#include <functional>
#include <memory>
#include <string>

#include "simulation/RunHost.h"  // SeriesId
#include "study/StudyPlots.h"

namespace veltrano::jobs {

/// The window's default chart size: its page area, 1073 − 177 pixels wide.
inline constexpr int kGraphWidth = 896;
inline constexpr int kGraphHeight = 660;

/// A study plot's default size: room for the plot and a legend at its right.
inline constexpr int kStudyPlotWidth = 1000;
inline constexpr int kStudyPlotHeight = 640;

/// Where the chart points go when charts are drawn at the end of the run.
class ChartSink {
public:
  virtual ~ChartSink() = default;
  virtual void AddXY(SeriesId series, double x, double y) = 0;
  virtual void SetSeriesActive(SeriesId series, bool active) = 0;
};

/// The run's two charts, filled while it works and drawn into files at its end.
class GraphOutput : public ChartSink {
public:
  /// Draws the estimates chart (Chart1) and the residual chart (Chart2) into their
  /// files; an empty path skips that chart. The format follows the extension. Raises an
  /// error naming the file when one cannot be written.
  virtual void Save(const std::string& chart1Path, const std::string& chart2Path, int width, int height) const = 0;
};

/// Makes the charts of one run, with the diagonal sLine shown when showD.
using GraphMaker = std::function<std::unique_ptr<GraphOutput>(bool showD)>;

/// Draws one plot of a study into path (PNG or SVG by its extension), width × height
/// pixels; raises an error naming the file when it cannot be written.
using StudyPlotDrawer = std::function<void(const StudyPlot& plot, const std::string& path, int width, int height)>;

/// The drawing a front end provides; empty members in a build without Qt.
struct Drawing {
  GraphMaker graphs;
  StudyPlotDrawer studyPlots;
};

/// True when path ends in ".png" or ".svg", in any letter case.
bool IsGraphPath(const std::string& path);

}  // namespace veltrano::jobs

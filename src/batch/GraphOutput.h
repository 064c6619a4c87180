#pragma once
// The graphs of a run, as veltrano-batch sees them: a sink for the run's points that
// draws the window's two charts into files at the end. Drawing needs Qt, which the
// rest of veltrano-batch does not: the drawing lives in its own library (RunGraphs),
// and main() hands its maker to the commands. A build without Qt has no maker, and a
// graph asked of it is refused with a message that says so. The plots of a study come
// the same way: a Qt-free description (study/StudyPlots.h) handed to a drawer of plots.
#include <functional>
#include <memory>
#include <string>

#include "batch/StreamHost.h"
#include "study/StudyPlots.h"

namespace veltrano::batch {

/// The window's default chart size: its page area, 1073 − 177 pixels wide.
inline constexpr int kGraphWidth = 896;
inline constexpr int kGraphHeight = 660;

/// A study plot's default size: room for the plot and a legend at its right.
inline constexpr int kStudyPlotWidth = 1000;
inline constexpr int kStudyPlotHeight = 640;

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

/// What the program around the commands provides them.
struct BatchServices {
  GraphMaker graphs;            // empty in a build without Qt
  StudyPlotDrawer studyPlots;   // empty in a build without Qt
};

/// True when path ends in ".png" or ".svg", in any letter case.
bool IsGraphPath(const std::string& path);

}  // namespace veltrano::batch

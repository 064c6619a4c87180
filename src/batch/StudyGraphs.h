#pragma once
// The plots of a study (study/StudyPlots.h) drawn into PNG or SVG files with the chart
// library's StudyChart. Drawing needs a QGuiApplication, which the program creates before
// the first plot (main(), as for the run's graphs).
#include <string>

#include "chart/StudyChart.h"

namespace veltrano::batch {

/// Draws the plot into path, PNG or SVG by its extension, width × height pixels. Raises
/// ChartError naming the file when it cannot be written.
void SaveStudyPlot(const StudyPlot& plot, const std::string& path, int width, int height);

}  // namespace veltrano::batch

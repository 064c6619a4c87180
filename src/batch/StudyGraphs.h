#pragma once
// The plots of a study (study/StudyPlots.h) drawn into PNG or SVG files with the chart
// library. Drawing needs a QGuiApplication, which the program creates before the first
// plot (main(), as for the run's graphs).
#include <string>

#include "chart/ChartModel.h"
#include "study/StudyPlots.h"

namespace veltrano::batch {

/// The chart of a plot: a line with markers per PlotLine (x the Do, y the measure), a
/// vertical bar of ±kWaldZ Monte Carlo SEs on every point that has one (a coverage's
/// bar cut to 0..1), a point with no value breaking its line; axes fitted to the data and the reference line; the legend
/// right of the plot. Lines of one n share a colour; the estimator and interval choose
/// the marker and the dash: Du circles on a solid line, Dc squares dashed, D Lord &
/// Novick diamonds dotted, Du's test-inversion interval triangles dash-dotted.
ChartModel StudyChart(const StudyPlot& plot);

/// Draws the plot into path, PNG or SVG by its extension, width × height pixels. Raises
/// ChartError naming the file when it cannot be written.
void SaveStudyPlot(const StudyPlot& plot, const std::string& path, int width, int height);

}  // namespace veltrano::batch

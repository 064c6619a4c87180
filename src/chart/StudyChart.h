#pragma once
// The chart of a plot described by study/StudyPlots.h: the study's plots that
// `veltrano-batch study --plot` draws into files, and the charts of the window's Summary
// page, drawn by this one function.
#include "chart/ChartModel.h"
#include "study/StudyPlots.h"

namespace veltrano {

/// The chart of a plot: a line with markers per PlotLine, a bar (or, for a plot of bands, a
/// band) of ±kWaldZ standard errors on every point that has one (a coverage's cut to
/// 0..1), a point with no value breaking its line; axes fitted to the data and the
/// reference line; the legend right of the plot or inside it. Lines of one n share a
/// colour when the plot has several n (with one n each kind of line has its own); the
/// estimator and interval choose the marker and the dash: Du circles on a solid line, Dc
/// squares dashed, D Lord & Novick diamonds dotted, Du's test-inversion interval triangles
/// dash-dotted.
ChartModel StudyChart(const StudyPlot& plot);

}  // namespace veltrano

#include "batch/StudyGraphs.h"

#include <QSize>
#include <QString>

#include <algorithm>
#include <limits>
#include <vector>

#include "chart/ChartExport.h"

namespace veltrano::batch {
namespace {

// The marker (its place in PaletteMarkers) and the dash of a line's kind.
struct KindLook {
  std::size_t marker;
  Qt::PenStyle dash;
};

KindLook LookOf(Estimator e, PlotInterval interval) {
  if (interval == PlotInterval::Inversion) return {3, Qt::DashDotLine};  // triangle up
  switch (e) {
    case Estimator::Du: return {0, Qt::SolidLine};   // circle
    case Estimator::Dc: return {1, Qt::DashLine};    // square
    case Estimator::DLN: return {2, Qt::DotLine};    // diamond
  }
  return {0, Qt::SolidLine};
}

ChartAxis AxisTitled(const std::string& title, double min, double max, double increment) {
  ChartAxis a;
  a.min = min;
  a.max = max;
  a.increment = increment;
  a.title = QString::fromStdString(title);
  return a;
}

}  // namespace

ChartModel StudyChart(const StudyPlot& plot) {
  ChartModel chart;
  chart.SetTitle(QString::fromStdString(plot.title));
  // Do runs over 0..100; the fitted axes take the data's range, and a single Do keeps this.
  chart.SetBottomAxis(AxisTitled(plot.xTitle, 0, 100, 10));
  chart.SetLeftAxis(AxisTitled(plot.yTitle, 0, 1, 0.25));
  chart.SetFitAxesToData(true);
  chart.SetLegend(LegendPosition::OutsideRight);
  if (plot.reference)
    chart.AddReferenceLine({.intercept = *plot.reference,
                            .color = QColor(96, 96, 96),
                            .style = Qt::DashLine,
                            .width = 1.0,
                            .label = QString::fromStdString(plot.referenceLabel)});

  // One colour per n, in ascending n.
  std::vector<std::int32_t> ns;
  for (const PlotLine& l : plot.lines) ns.push_back(l.n);
  std::sort(ns.begin(), ns.end());
  ns.erase(std::unique(ns.begin(), ns.end()), ns.end());

  for (const PlotLine& l : plot.lines) {
    const auto colour = static_cast<std::size_t>(std::lower_bound(ns.begin(), ns.end(), l.n) - ns.begin());
    const KindLook kind = LookOf(l.estimator, l.interval);
    SeriesLook look = PaletteLook(colour, kind.marker);
    look.lineStyle = kind.dash;
    ChartSeries series(l.label, SeriesKind::LineWithMarkers, look);
    for (const PlotPoint& p : l.points) {
      if (!p.value) {  // an empty cell: no point, and the line breaks there
        series.AddXY(p.D, std::numeric_limits<double>::quiet_NaN());
      } else if (p.mcse) {
        const double half = kWaldZ * *p.mcse;
        double lower = *p.value - half, upper = *p.value + half;
        if (plot.measure == PlotMeasure::Coverage) {  // a proportion's bar ends within 0..1
          lower = std::max(lower, 0.0);
          upper = std::min(upper, 1.0);
        }
        series.AddXY(p.D, *p.value, lower, upper);
      } else {
        series.AddXY(p.D, *p.value);
      }
    }
    chart.AddSeries(std::move(series));
  }
  return chart;
}

void SaveStudyPlot(const StudyPlot& plot, const std::string& path, int width, int height) {
  SaveChart(StudyChart(plot), QString::fromStdString(path), QSize(width, height));
}

}  // namespace veltrano::batch

#include "chart/StudyChart.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace veltrano {
namespace {

// The kind of a line: its place in the palette when it takes a colour of its own, its
// marker (its place in PaletteMarkers) and its dash.
struct KindLook {
  std::size_t index;
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

QString Text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

ChartModel StudyChart(const StudyPlot& plot) {
  ChartModel chart;
  chart.SetTitle(Text(plot.title));
  // The fitted axes take the data's range; a single point keeps these.
  chart.SetBottomAxis(MakeAxis(plot.xSpan.min, plot.xSpan.max, plot.xSpan.step, Text(plot.xTitle)));
  chart.SetLeftAxis(MakeAxis(plot.ySpan.min, plot.ySpan.max, plot.ySpan.step, Text(plot.yTitle)));
  chart.SetFitAxesToData(true);
  chart.SetLegend(plot.legendInside ? LegendPosition::BestInside : LegendPosition::OutsideRight);
  if (plot.reference)
    chart.AddReferenceLine({.intercept = *plot.reference,
                            .slope = plot.referenceSlope,
                            .color = QColor(96, 96, 96),
                            .style = Qt::DashLine,
                            .width = 1.0,
                            .label = Text(plot.referenceLabel)});

  // One colour per n, in ascending n.
  std::vector<std::int32_t> ns;
  for (const PlotLine& l : plot.lines) ns.push_back(l.n);
  std::sort(ns.begin(), ns.end());
  ns.erase(std::unique(ns.begin(), ns.end()), ns.end());

  for (const PlotLine& l : plot.lines) {
    const KindLook kind = LookOf(l.estimator, l.interval);
    const auto nIndex = static_cast<std::size_t>(std::lower_bound(ns.begin(), ns.end(), l.n) - ns.begin());
    SeriesLook look = PaletteLook(ns.size() > 1 ? nIndex : kind.index, kind.index);
    look.lineStyle = kind.dash;
    look.intervals = plot.bands ? IntervalStyle::Band : IntervalStyle::ErrorBars;
    ChartSeries series(l.name.empty() ? l.label : l.name, SeriesKind::LineWithMarkers, look);
    series.SetLabel(Text(l.label));
    for (const PlotPoint& p : l.points) {
      if (!p.value) {  // an empty cell: no point, and the line breaks there
        series.AddXY(p.x, std::numeric_limits<double>::quiet_NaN());
      } else if (p.se) {
        const double half = kWaldZ * *p.se;
        double lower = *p.value - half, upper = *p.value + half;
        if (plot.measure == PlotMeasure::Coverage) {  // a proportion's bar ends within 0..1
          lower = std::max(lower, 0.0);
          upper = std::min(upper, 1.0);
        }
        series.AddXY(p.x, *p.value, lower, upper);
      } else {
        series.AddXY(p.x, *p.value);
      }
    }
    chart.AddSeries(std::move(series));
  }
  return chart;
}

}  // namespace veltrano

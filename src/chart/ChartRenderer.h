#pragma once
// Drawing a chart with QPainter: onto any paint device as vectors, or into an image by the
// fast raster path, with a cache that rebuilds the image only when the chart changed.
//
// Order of drawing: background, plot area, dotted grid at the tick increments, axis lines
// and ticks, tick labels, axis titles (the left one rotated), chart title, reference
// lines, then the series in their order (later ones on top; each its band, line, error
// bars, markers), hidden series skipped, and last the note of points outside the axes
// and the legend. Points outside an axis' range are not drawn; points exactly on a limit
// are. The axes drawn are the chart's shown axes (its own, or fitted to the data).
#include "chart/ChartModel.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

class QPainter;
class QPaintDevice;

namespace veltrano {

/// How many points of the shown series a chart could not draw because they lie outside
/// its axes. A point is counted once: below or above the left axis' range if its y is,
/// else left or right of the bottom axis' range. Points with no position (a coordinate
/// not a number or the chart's undefined value) are not counted.
struct OutsidePoints {
  std::size_t below = 0, above = 0, left = 0, right = 0;
  std::size_t Total() const noexcept { return below + above + left + right; }
  friend bool operator==(const OutsidePoints&, const OutsidePoints&) = default;
};

/// The note a chart writes about its points outside: one line per direction that has
/// any, "1 point below the axis", "3 points above the axis", "2 points left of the axis",
/// "4 points right of the axis", in that order, joined by '\n'; empty when none.
QString OutsideNote(const OutsidePoints& outside);

/// Where a chart of a given size puts its plot area, its points and its legend. Font sizes
/// are in points, so the layout depends on the device's resolution; without a device it
/// is laid out for an image (the resolution QImage uses by default).
class ChartGeometry {
public:
  ChartGeometry(const ChartModel& chart, QSize size, const QPaintDevice* device = nullptr);

  /// The plot area in logical pixels, both edges included: x runs over
  /// PlotArea().left()..right() (bottom axis min..max), y over top()..bottom() (left axis
  /// max..min). Empty when the size leaves no room for a plot.
  QRect PlotArea() const noexcept { return plot_; }
  /// True when the point lies within both axes' ranges, limits included, and is finite
  /// and not the chart's undefined value.
  bool Shows(ChartPoint p) const noexcept {
    // Comparisons with NaN are false, and infinities lie beyond every finite limit; a
    // chart without an undefined value holds NaN there, which equals nothing.
    return !plot_.isEmpty() && p.x >= bottom_.min && p.x <= bottom_.max && p.y >= left_.min &&
           p.y <= left_.max && p.x != undefined_ && p.y != undefined_;
  }
  /// Counts a point that Shows() rejects into `outside`, by the rule of OutsidePoints.
  void Tally(ChartPoint p, OutsidePoints& outside) const noexcept;
  /// The logical pixel the point is drawn at (the centre of its marker).
  QPoint Pixel(ChartPoint p) const noexcept;
  /// The legend's box in logical pixels, edges included; empty when the chart has no
  /// legend, nothing to list in it, or no room for it.
  QRect LegendArea() const noexcept { return legend_; }

private:
  friend class ChartPainter;
  // One axis' mapping to device coordinates: (v - min) * factor + offset, whose floor is
  // the device pixel. The same expression serves Pixel and the drawing, so both always
  // agree on the pixel of a point.
  struct AxisMap {
    double min, factor, offset;
    double operator()(double v) const noexcept { return (v - min) * factor + offset; }
  };
  AxisMap XMap(double ratio) const noexcept;
  AxisMap YMap(double ratio) const noexcept;

  // One line of the legend: a shown series or a labelled reference line (pointing into
  // the chart, so valid while it is unchanged).
  struct LegendEntry {
    QString text;
    const ChartSeries* series;
    const ChartReferenceLine* line;
  };
  void PlaceLegend(const ChartModel& chart, QSize legendSize);
  // How much of the data a legend box at r would hide: markers, line pieces, error bars
  // and reference lines crossing it.
  std::size_t DataUnder(const ChartModel& chart, const QRect& r) const;

  ChartAxis bottom_, left_;
  double undefined_;  // NaN when the chart has none
  QRect plot_;
  double sx_ = 0, sy_ = 0;  // logical pixels per axis unit
  std::vector<LegendEntry> entries_;
  QRect legend_;
  double legendRowHeight_ = 0;
};

/// Draws the chart into the rectangle (0, 0, size) of the painter's device: the vector
/// path, meant for SVG and printing. Each series draws one marker per logical pixel that
/// its shown points fall on, so a million points on a few pixels stay a few shapes.
/// Returns the points it could not draw for being outside the axes.
OutsidePoints DrawChart(QPainter& painter, const ChartModel& chart, QSize size);

/// Renders the chart into a new image of size × ratio device pixels (device pixel ratio set
/// on the image): RGB32 when the background is opaque, else ARGB32 premultiplied. Markers
/// are stamped straight into the pixels, once per device pixel per series: 10^6 points
/// take milliseconds. The points outside the axes go to *outside when it is given; they
/// are counted in the same pass that places the markers.
QImage RenderChart(const ChartModel& chart, QSize size, qreal devicePixelRatio = 1.0,
                   OutsidePoints* outside = nullptr);

/// Keeps the last rendered image and hands it back while the chart's revision, the size
/// and the ratio stay the same; any of them changing rebuilds it on the next request.
class ChartImageCache {
public:
  const QImage& Image(const ChartModel& chart, QSize size, qreal devicePixelRatio = 1.0);
  /// Draws the (possibly cached) image at (0, 0), at the painter device's pixel ratio.
  void Paint(QPainter& painter, const ChartModel& chart, QSize size);
  /// Forces a rebuild on the next request.
  void Invalidate() noexcept { valid_ = false; }
  /// How many times an image was rendered since construction.
  std::uint64_t RebuildCount() const noexcept { return rebuilds_; }
  /// The points outside the axes in the last image rendered.
  const OutsidePoints& Outside() const noexcept { return outside_; }

private:
  QImage image_;
  OutsidePoints outside_;
  std::uint64_t revision_ = 0;
  QSize size_;
  qreal ratio_ = 0;
  bool valid_ = false;
  std::uint64_t rebuilds_ = 0;
};

}  // namespace veltrano

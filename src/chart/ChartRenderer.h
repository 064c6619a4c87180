#pragma once
// Drawing a chart with QPainter: onto any paint device as vectors, or into an image by the
// fast raster path, with a cache that rebuilds the image only when the chart changed.
//
// Order of drawing: background, plot area, dotted grid at the tick increments, axis lines
// and ticks, tick labels, axis titles (the left one rotated), chart title, then the series
// in their order (later ones on top), hidden series skipped. Points outside an axis'
// range are not drawn; points exactly on a limit are.
#include "chart/ChartModel.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>

class QPainter;
class QPaintDevice;

namespace veltrano {

/// Where a chart of a given size puts its plot area and its points. Font sizes are in
/// points, so the layout depends on the device's resolution; without a device it is laid
/// out for an image (the resolution QImage uses by default).
class ChartGeometry {
public:
  ChartGeometry(const ChartModel& chart, QSize size, const QPaintDevice* device = nullptr);

  /// The plot area in logical pixels, both edges included: x runs over
  /// PlotArea().left()..right() (bottom axis min..max), y over top()..bottom() (left axis
  /// max..min). Empty when the size leaves no room for a plot.
  QRect PlotArea() const noexcept { return plot_; }
  /// True when the point lies within both axes' ranges, limits included, and is finite.
  bool Shows(ChartPoint p) const noexcept {
    // Comparisons with NaN are false, and infinities lie beyond every finite limit.
    return !plot_.isEmpty() && p.x >= bottom_.min && p.x <= bottom_.max && p.y >= left_.min &&
           p.y <= left_.max;
  }
  /// The logical pixel the point is drawn at (the centre of its marker).
  QPoint Pixel(ChartPoint p) const noexcept;

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

  ChartAxis bottom_, left_;
  QRect plot_;
  double sx_ = 0, sy_ = 0;  // logical pixels per axis unit
};

/// Draws the chart into the rectangle (0, 0, size) of the painter's device: the vector
/// path, meant for SVG and printing. Each series draws one marker per logical pixel that
/// its shown points fall on, so a million points on a few pixels stay a few shapes.
void DrawChart(QPainter& painter, const ChartModel& chart, QSize size);

/// Renders the chart into a new image of size × ratio device pixels (device pixel ratio set
/// on the image): RGB32 when the background is opaque, else ARGB32 premultiplied. Markers are stamped straight into the pixels,
/// once per device pixel per series: 10^6 points take milliseconds.
QImage RenderChart(const ChartModel& chart, QSize size, qreal devicePixelRatio = 1.0);

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

private:
  QImage image_;
  std::uint64_t revision_ = 0;
  QSize size_;
  qreal ratio_ = 0;
  bool valid_ = false;
  std::uint64_t rebuilds_ = 0;
};

}  // namespace veltrano

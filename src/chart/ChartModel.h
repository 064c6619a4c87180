#pragma once
// The data of a 2-D chart: a title, two fixed axes and its point and line series.
// Nothing here draws; ChartRenderer.h turns a model into pixels or SVG.
#include <QColor>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

/// One fixed axis: the range shown, the step of its ticks and grid lines, and its title.
/// There is no automatic scaling: points outside [min, max] are simply not shown.
struct ChartAxis {
  double min = 0.0;
  double max = 1.0;
  double increment = 0.25;  ///< distance between ticks (and grid lines), > 0
  QString title;
  int titlePointSize = 10;
  bool titleBold = true;
  int tickLength = 4;  ///< pixels outside the plot area
};

/// What the chart as a whole looks like. The defaults are the look of both charts of the
/// window: white background, silver dotted grid, bold 10 pt title in RGB(128, 64, 64).
struct ChartStyle {
  QColor background{Qt::white};
  QColor grid{192, 192, 192};  // silver
  QColor titleColor{128, 64, 64};
  int titlePointSize = 10;
  bool titleBold = true;
  int labelPointSize = 8;  ///< tick labels
};

enum class SeriesKind { Points, Line };
enum class MarkerShape { Circle, DiagonalCross };

/// How a series is drawn. Point series use marker, fill and outline (a diagonal cross has
/// no inside and is drawn in the outline colour); line series use line.
struct SeriesLook {
  MarkerShape marker = MarkerShape::Circle;
  QColor fill{Qt::black};
  QColor outline{Qt::black};
  QColor line{Qt::black};
};

struct ChartPoint {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

/// A series keeps its points in ascending order of x. Points with equal x keep the order
/// in which they were added, so a line through them is drawn in that order.
///
/// Points that arrive in ascending x (a run walks its degrees upwards) are appended.
/// Points that arrive below the last x (the next run starts again at Do) wait in a side
/// buffer and are sorted in by one stable merge the next time the points are read, which
/// orders them exactly as inserting each one at once would, without moving the whole
/// series for every point. Not safe to read from two threads at once.
class ChartSeries {
public:
  ChartSeries(std::string name, SeriesKind kind, SeriesLook look);

  const std::string& Name() const noexcept { return name_; }
  SeriesKind Kind() const noexcept { return kind_; }
  const SeriesLook& Look() const noexcept { return look_; }
  void SetLook(const SeriesLook& look);

  /// Shown (true) or hidden. A hidden series keeps its points and goes on receiving them.
  bool Active() const noexcept { return active_; }
  void SetActive(bool active);

  /// Adds (x, y) after every point whose x is not above x. Points whose x is not a number
  /// are kept after all the others. Non-finite values are kept but never drawn.
  /// Amortised O(1).
  void AddXY(double x, double y);
  void Clear() noexcept;

  /// The points in order (merging any waiting ones first).
  const std::vector<ChartPoint>& Points() const;
  std::size_t Count() const noexcept { return points_.size() + waiting_.size(); }

  /// Changes whenever the points, the visibility or the look change; never repeats.
  std::uint64_t Revision() const noexcept;

private:
  // Changes only mark the series; the next Revision() draws a fresh stamp. AddXY thus
  // stays a plain store however many points arrive between two paints.
  void Touch() noexcept { changed_ = true; }

  std::string name_;
  SeriesKind kind_;
  SeriesLook look_;
  bool active_ = true;
  mutable std::vector<ChartPoint> points_;   // in order
  mutable std::vector<ChartPoint> waiting_;  // in arrival order, to be merged into points_
  mutable std::uint64_t revision_;
  mutable bool changed_ = false;
};

/// Stable reference to a series of one chart: its position in the chart's series list.
struct SeriesHandle {
  std::size_t index = 0;
  friend bool operator==(SeriesHandle, SeriesHandle) = default;
};

class ChartModel {
public:
  ChartModel();

  /// The estimates chart of the window's "Graph" page, with its series sPoint_DSEM,
  /// sPoint_Dcond, sLine and sDLN, all empty and shown.
  static ChartModel Chart1();
  /// The residual chart of the window's "Residual" page, with its series rPoint_DSEM and
  /// rLine, both empty and shown.
  static ChartModel Chart2();

  const QString& Title() const noexcept { return title_; }
  void SetTitle(const QString& title);
  const ChartStyle& Style() const noexcept { return style_; }
  void SetStyle(const ChartStyle& style);
  const ChartAxis& BottomAxis() const noexcept { return bottom_; }
  void SetBottomAxis(const ChartAxis& axis);
  const ChartAxis& LeftAxis() const noexcept { return left_; }
  void SetLeftAxis(const ChartAxis& axis);

  /// Appends a series; later series are drawn over earlier ones. Names should be unique:
  /// Find returns the first series of a name.
  SeriesHandle AddSeries(ChartSeries series);
  std::optional<SeriesHandle> Find(std::string_view name) const noexcept;
  /// Like Find, but a missing name raises ChartError.
  SeriesHandle Handle(std::string_view name) const;

  std::size_t SeriesCount() const noexcept { return series_.size(); }
  /// The series behind a handle; ChartError when the handle is not of this chart.
  ChartSeries& Series(SeriesHandle handle);
  const ChartSeries& Series(SeriesHandle handle) const;
  /// The series of a name; ChartError when there is none.
  ChartSeries& Series(std::string_view name) { return Series(Handle(name)); }
  const ChartSeries& Series(std::string_view name) const { return Series(Handle(name)); }
  const std::vector<ChartSeries>& AllSeries() const noexcept { return series_; }

  /// Changes whenever anything that shows on the chart changes (title, axes, style,
  /// a series' points, visibility or look). Stamps come from one process-wide counter,
  /// so two models, or a model before and after a change, never share a revision unless
  /// one is an unchanged copy of the other. Caches key their images on it.
  std::uint64_t Revision() const noexcept;

private:
  QString title_;
  ChartStyle style_;
  ChartAxis bottom_;
  ChartAxis left_;
  std::vector<ChartSeries> series_;
  std::uint64_t revision_;
};

}  // namespace veltrano

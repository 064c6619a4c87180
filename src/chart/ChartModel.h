#pragma once
// The data of a 2-D chart: a title, two axes, its point and line series (with optional
// error bars or bands), reference lines and a legend. Nothing here draws;
// ChartRenderer.h turns a model into pixels or SVG.
#include <QColor>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

/// One axis: the range shown, the step of its ticks and grid lines, and its title. The
/// range is fixed: points outside [min, max] are not shown (the chart can say how many,
/// ChartStyle::noteOutsidePoints), unless the chart fits its axes to the data
/// (ChartModel::SetFitAxesToData).
struct ChartAxis {
  double min = 0.0;
  double max = 1.0;
  double increment = 0.25;  ///< distance between ticks (and grid lines), > 0
  QString title;
  int titlePointSize = 10;
  bool titleBold = true;
  int tickLength = 4;  ///< pixels outside the plot area
};

/// An axis from min to max with a tick every increment and its title; the rest as
/// ChartAxis's defaults. Every chart's axes are made with it.
ChartAxis MakeAxis(double min, double max, double increment, const QString& title);

/// What the chart as a whole looks like. The defaults are the look of both charts of the
/// window: white background, silver dotted grid, bold 10 pt title in RGB(128, 64, 64).
struct ChartStyle {
  QColor background{Qt::white};
  QColor grid{192, 192, 192};  // silver
  QColor titleColor{128, 64, 64};
  int titlePointSize = 10;
  bool titleBold = true;
  int labelPointSize = 8;  ///< tick labels, the legend and the note of points outside
  /// Writes in a corner of the plot how many points of the shown series lie outside the
  /// axes ("77 points below the axis"), when there are any. Chart1 and Chart2 turn it on.
  bool noteOutsidePoints = false;
};

/// A range and tick step for an axis, chosen by NiceRange.
struct AxisRange {
  double min = 0.0;
  double max = 1.0;
  double increment = 0.25;
  friend bool operator==(const AxisRange&, const AxisRange&) = default;
};

/// The smallest range [min, max] ⊇ [low, high] whose limits are whole multiples of an
/// increment of 1, 2, 2.5 or 5 × 10^e, taking the smallest such increment that divides
/// the range into at most maxSteps steps (0.37 .. 0.91 gives 0.3 .. 1 by 0.1). A range
/// of no width (low == high, or a width below a billionth of its size) is first widened
/// by 10 % of the value on each side (by 1 about 0). Limits are the doubles nearest to
/// their decimal values (0.3, not 0.30000000000000004). A low or high that is not finite,
/// or low > high, gives std::nullopt, as do ranges too wide or too narrow for doubles.
/// maxSteps is taken between 2 and 1000.
std::optional<AxisRange> NiceRange(double low, double high, int maxSteps = 8);

enum class SeriesKind {
  Points,          ///< markers only
  Line,            ///< a line through the points in order of x
  LineWithMarkers  ///< the line, and a marker on each point
};

/// The marker shapes. Circle, square, diamond and the triangles are filled and
/// outlined; the diagonal cross and the plus are strokes in the outline colour.
enum class MarkerShape { Circle, DiagonalCross, Square, Diamond, TriangleUp, TriangleDown, Plus };

/// How a series' intervals (the lower and upper y given with AddXY) are drawn.
enum class IntervalStyle {
  ErrorBars,  ///< a vertical bar from lower to upper with a small cap at each end
  Band        ///< a shaded band between the line of lowers and the line of uppers
};

/// How a series is drawn. Markers use marker, fill and outline (a stroke shape has no
/// inside and is drawn in the outline colour) and reach markerRadius logical pixels from
/// their centre; lines use line, lineWidth and lineStyle. Error bars are drawn in the
/// line colour, bands in the line colour at a fifth of its opacity (kBandAlpha).
struct SeriesLook {
  MarkerShape marker = MarkerShape::Circle;
  QColor fill{Qt::black};
  QColor outline{Qt::black};
  QColor line{Qt::black};
  int markerRadius = 1;  ///< 1 gives the 3 × 3 pixel markers of the window's charts
  double lineWidth = 1.0;
  Qt::PenStyle lineStyle = Qt::SolidLine;
  IntervalStyle intervals = IntervalStyle::ErrorBars;
};

/// Opacity (0..255) of a band over its line colour.
inline constexpr int kBandAlpha = 51;

/// A palette of 12 colours that stay apart on white and for colour-blind readers: the
/// Okabe–Ito colours without their yellow, then five darker ones from Paul Tol's "muted"
/// set. In order: blue, vermillion, bluish green, reddish purple, orange, sky blue, black,
/// wine, green, indigo, olive, purple.
const std::array<QColor, 12>& ChartPalette() noexcept;
/// The seven marker shapes in the order the palette looks cycle through them: circle,
/// square, diamond, triangle up, triangle down, diagonal cross, plus.
const std::array<MarkerShape, 7>& PaletteMarkers() noexcept;
/// A line-with-markers look in palette colour `colour` and palette marker `marker` (both
/// taken modulo the palette's size): markers of radius 3 filled and outlined in the
/// colour, a line of width 1.5. PaletteLook(i) = PaletteLook(i, i): the first 12 looks
/// differ in colour, and since 12 and 7 are coprime, the first 84 in colour or marker.
SeriesLook PaletteLook(std::size_t colour, std::size_t marker);
inline SeriesLook PaletteLook(std::size_t index) { return PaletteLook(index, index); }

struct ChartPoint {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

/// The interval given with a point: a vertical bar or band from lower to upper at x.
struct ChartInterval {
  double x = 0.0;
  double lower = 0.0;
  double upper = 0.0;
  friend bool operator==(const ChartInterval&, const ChartInterval&) = default;
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
  /// The text of the series in the legend: the label when one was set, else the name.
  QString Label() const;
  void SetLabel(const QString& label);
  /// Whether the legend lists the series (when it is shown); true unless turned off.
  bool InLegend() const noexcept { return inLegend_; }
  void SetInLegend(bool inLegend);
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
  /// Adds the point (x, y) as above, and the interval from lower to upper at x, drawn
  /// as the look's intervals say.
  void AddXY(double x, double y, double lower, double upper);
  /// Removes the points and the intervals, and frees the memory they held.
  void Clear() noexcept;
  /// Makes room for `points` points in all at once, so that the points that follow are
  /// stored without moving those before: a series of a million points would otherwise be
  /// copied into fresh memory each time it doubles.
  void Reserve(std::size_t points);

  /// The points in order (merging any waiting ones first).
  const std::vector<ChartPoint>& Points() const;
  std::size_t Count() const noexcept { return points_.size() + waiting_.size(); }
  /// The intervals in the order of their points (sorting them first if need be).
  const std::vector<ChartInterval>& Intervals() const;

  /// Changes whenever the points, the visibility or the look change; never repeats.
  std::uint64_t Revision() const noexcept;

private:
  // Changes only mark the series; the next Revision() draws a fresh stamp. AddXY thus
  // stays a plain store however many points arrive between two paints.
  void Touch() noexcept { changed_ = true; }

  std::string name_;
  QString label_;
  SeriesKind kind_;
  SeriesLook look_;
  bool active_ = true;
  bool inLegend_ = true;
  mutable std::vector<ChartPoint> points_;   // in order
  mutable std::vector<ChartPoint> waiting_;  // in arrival order, to be merged into points_
  // Intervals are few (one per plotted mean, not per test): kept in arrival order and
  // sorted by one stable sort when read out of order.
  mutable std::vector<ChartInterval> intervals_;
  mutable bool intervalsSorted_ = true;
  mutable std::uint64_t revision_;
  mutable bool changed_ = false;
};

/// A straight line y = intercept + slope · x across the whole plot, behind the series:
/// the 0.95 of a coverage plot (slope 0), the diagonal of estimate against truth
/// (intercept 0, slope 1). Listed in the legend when it has a label.
struct ChartReferenceLine {
  double intercept = 0.0;
  double slope = 0.0;
  QColor color{Qt::black};
  Qt::PenStyle style = Qt::DashLine;
  double width = 1.0;
  QString label{};
};

/// Where the legend goes: nowhere, in a corner inside the plot (BestInside takes the
/// corner that hides the fewest markers and line pieces), or outside, right of the plot.
enum class LegendPosition { Hidden, BestInside, TopRight, TopLeft, BottomRight, BottomLeft, OutsideRight };

/// The extent of a chart's data: the smallest and largest x and y.
struct DataExtent {
  double xmin, xmax, ymin, ymax;
  friend bool operator==(const DataExtent&, const DataExtent&) = default;
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
  /// sPoint_Dcond, sLine and sDLN, all empty and shown. Both window charts note the
  /// points outside their axes and take Nodefinido as the undefined value.
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

  /// Fitting the axes to the data (off by default): when on, the axes drawn keep the
  /// chart's own axes' titles and look, but their ranges and increments are the
  /// NiceRange of the data extent; off, they are the chart's own axes again. An axis
  /// with no data, or whose data have no width and lie within its own range, keeps its
  /// own range.
  bool FitsAxesToData() const noexcept { return fitAxes_; }
  void SetFitAxesToData(bool fit);
  /// The axes as drawn: the own axes, or the fitted ones while FitsAxesToData().
  ChartAxis ShownBottomAxis() const;
  ChartAxis ShownLeftAxis() const;

  /// The extent of the shown series' points and intervals, together with the reference
  /// lines' heights at the two ends of the points' x extent. Values that are not finite
  /// or equal the undefined value do not count. std::nullopt when no point counts.
  /// Computed once per revision.
  std::optional<DataExtent> Extent() const;

  /// The value that stands for "no value" in the data (the analysis' Nodefinido in
  /// Chart1 and Chart2): a point with x or y equal to it is treated like one whose x or
  /// y is not a number (not drawn, not counted outside the axes, not fitted), as are
  /// interval ends. None by default.
  std::optional<double> UndefinedValue() const noexcept { return undefined_; }
  void SetUndefinedValue(std::optional<double> value);

  LegendPosition Legend() const noexcept { return legend_; }
  void SetLegend(LegendPosition position);

  void AddReferenceLine(const ChartReferenceLine& line);
  const std::vector<ChartReferenceLine>& ReferenceLines() const noexcept { return references_; }

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
  // What both window charts share: the note of points outside and Nodefinido.
  void SetWindowChartData();
  ChartAxis FittedAxis(const ChartAxis& own, bool horizontal) const;

  QString title_;
  ChartStyle style_;
  ChartAxis bottom_;
  ChartAxis left_;
  std::vector<ChartSeries> series_;
  std::vector<ChartReferenceLine> references_;
  LegendPosition legend_ = LegendPosition::Hidden;
  std::optional<double> undefined_;
  bool fitAxes_ = false;
  std::uint64_t revision_;
  // Extent() of the revision extentRevision_.
  mutable std::optional<DataExtent> extent_;
  mutable std::uint64_t extentRevision_ = 0;
};

}  // namespace veltrano

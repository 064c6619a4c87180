#include "chart/ChartModel.h"

#include "chart/ChartError.h"

#include "analysis/tAnalisis.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace veltrano {
namespace {

// One counter for every chart of the process: a revision names one state of one chart,
// so a cache can tell apart two charts as well as two states of the same chart.
std::uint64_t NextRevision() noexcept {
  static std::atomic<std::uint64_t> counter{0};
  return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

const QColor kMaroon{128, 0, 0};
const QColor kNavy{0, 0, 128};
const QColor kBlue{0, 0, 255};
const QColor kRed{255, 0, 0};

ChartAxis Axis(double min, double max, double increment, const char* title, int pointSize,
               int tickLength) {
  ChartAxis a = MakeAxis(min, max, increment, QString::fromLatin1(title));
  a.titlePointSize = pointSize;
  a.tickLength = tickLength;
  return a;
}

SeriesLook Markers(MarkerShape shape, QColor fill, QColor outline, QColor seriesColor) {
  return {shape, fill, outline, seriesColor};
}

SeriesLook Line(QColor color) { return {MarkerShape::Circle, color, color, color}; }

// The bottom axis is the true knowledge Do* of both charts; its ticks are 1 pixel long.
ChartAxis DoStarAxis() { return Axis(0.0, 1.0, 0.25, "Do*", 10, 1); }

// The order of a series: by x, with every x that is not a number after all the numbers
// (and equal to each other). A strict weak order, so sorting and merging by it are sound.
bool Before(const ChartPoint& a, const ChartPoint& b) noexcept {
  if (std::isnan(a.x)) return false;
  return std::isnan(b.x) || a.x < b.x;
}

bool Before(const ChartInterval& a, const ChartInterval& b) noexcept {
  return Before(ChartPoint{a.x, 0}, ChartPoint{b.x, 0});
}

// One nice increment m · 10^e, m in {1, 2, 2.5, 5}. Its multiples are computed as
// (k · m) / 10^−e (or · 10^e): k · m and a power of ten up to 10^22 are exact doubles, so
// each multiple is the correctly rounded value of its decimal, and a datum typed as 0.3
// lies exactly on the limit 3 × 0.1 instead of just above it.
class NiceStep {
public:
  NiceStep(double mantissa, int exponent)
      : m_(mantissa), scale_(std::pow(10.0, std::abs(exponent))), divide_(exponent < 0) {}
  double Multiple(std::int64_t k) const noexcept {
    const double km = static_cast<double>(k) * m_;
    return divide_ ? km / scale_ : km * scale_;
  }
  double Size() const noexcept { return Multiple(1); }
  // The largest multiple not above v and the smallest not below it.
  std::int64_t Floor(double v) const noexcept {
    auto k = static_cast<std::int64_t>(std::floor(v / Size()));
    while (Multiple(k) > v) --k;
    while (Multiple(k + 1) <= v) ++k;
    return k;
  }
  std::int64_t Ceil(double v) const noexcept {
    auto k = static_cast<std::int64_t>(std::ceil(v / Size()));
    while (Multiple(k) < v) ++k;
    while (Multiple(k - 1) >= v) --k;
    return k;
  }

private:
  double m_, scale_;
  bool divide_;
};

// Is v a value: not a number and not the chart's undefined value?
bool IsValue(double v, const std::optional<double>& undefined) noexcept {
  return std::isfinite(v) && !(undefined && v == *undefined);
}

// Widens [lo, hi] to take in v.
void Take(double v, double& lo, double& hi) noexcept {
  lo = std::min(lo, v);
  hi = std::max(hi, v);
}

}  // namespace

ChartAxis MakeAxis(double min, double max, double increment, const QString& title) {
  ChartAxis a;
  a.min = min;
  a.max = max;
  a.increment = increment;
  a.title = title;
  return a;
}

std::optional<AxisRange> NiceRange(double low, double high, int maxSteps) {
  if (!std::isfinite(low) || !std::isfinite(high) || low > high) return std::nullopt;
  // Two steps always suffice for a range about a multiple; a thousand keep the counts of
  // multiples far inside 64 bits.
  maxSteps = std::clamp(maxSteps, 2, 1000);
  const double size = std::max(std::fabs(low), std::fabs(high));
  if (high - low <= size * 1e-9) {
    const double pad = size == 0 ? 1.0 : size * 0.1;
    low -= pad;
    high += pad;
  }
  const double width = high - low;
  if (!std::isfinite(width) || !(width > 0)) return std::nullopt;
  // Start a decade below the step that would just fit, then walk up the nice steps: the
  // first whose whole multiples around the range take at most maxSteps steps wins.
  static constexpr double kMantissas[] = {1.0, 2.0, 2.5, 5.0};
  const int first = static_cast<int>(std::floor(std::log10(width / maxSteps))) - 1;
  for (int e = first; e <= first + 3; ++e) {
    if (std::abs(e) > 300) return std::nullopt;
    for (const double m : kMantissas) {
      const NiceStep step(m, e);
      if (!(step.Size() > 0) || !std::isfinite(step.Size())) continue;
      const std::int64_t k0 = step.Floor(low), k1 = step.Ceil(high);
      if (k1 - k0 > maxSteps) continue;
      const AxisRange r{step.Multiple(k0), step.Multiple(k1), step.Size()};
      if (!std::isfinite(r.min) || !std::isfinite(r.max) || !(r.max > r.min)) return std::nullopt;
      return r;
    }
  }
  return std::nullopt;
}

const std::array<QColor, 12>& ChartPalette() noexcept {
  static const std::array<QColor, 12> colours{
      QColor(0, 114, 178),   QColor(213, 94, 0),   QColor(0, 158, 115),  QColor(204, 121, 167),
      QColor(230, 159, 0),   QColor(86, 180, 233), QColor(0, 0, 0),      QColor(136, 34, 85),
      QColor(17, 119, 51),   QColor(51, 34, 136),  QColor(153, 153, 51), QColor(170, 68, 153)};
  return colours;
}

const std::array<MarkerShape, 7>& PaletteMarkers() noexcept {
  static constexpr std::array<MarkerShape, 7> shapes{
      MarkerShape::Circle,       MarkerShape::Square,        MarkerShape::Diamond, MarkerShape::TriangleUp,
      MarkerShape::TriangleDown, MarkerShape::DiagonalCross, MarkerShape::Plus};
  return shapes;
}

SeriesLook PaletteLook(std::size_t colour, std::size_t marker) {
  const QColor c = ChartPalette()[colour % ChartPalette().size()];
  SeriesLook look;
  look.marker = PaletteMarkers()[marker % PaletteMarkers().size()];
  look.fill = c;
  look.outline = c;
  look.line = c;
  look.markerRadius = 3;
  look.lineWidth = 1.5;
  return look;
}

ChartSeries::ChartSeries(std::string name, SeriesKind kind, SeriesLook look)
    : name_(std::move(name)), kind_(kind), look_(std::move(look)), revision_(NextRevision()) {}

QString ChartSeries::Label() const {
  return label_.isEmpty() ? QString::fromStdString(name_) : label_;
}

void ChartSeries::SetLabel(const QString& label) {
  label_ = label;
  Touch();
}

void ChartSeries::SetInLegend(bool inLegend) {
  if (inLegend_ == inLegend) return;
  inLegend_ = inLegend;
  Touch();
}

void ChartSeries::SetLook(const SeriesLook& look) {
  look_ = look;
  Touch();
}

void ChartSeries::SetActive(bool active) {
  if (active_ == active) return;
  active_ = active;
  Touch();
}

void ChartSeries::AddXY(double x, double y) {
  const ChartPoint p{x, y};
  if (waiting_.empty() && (points_.empty() || !Before(p, points_.back()))) {
    points_.push_back(p);
  } else {
    waiting_.push_back(p);
  }
  Touch();
}

void ChartSeries::AddXY(double x, double y, double lower, double upper) {
  AddXY(x, y);
  const ChartInterval i{x, lower, upper};
  if (intervalsSorted_ && !intervals_.empty() && Before(i, intervals_.back())) intervalsSorted_ = false;
  intervals_.push_back(i);
}

const std::vector<ChartInterval>& ChartSeries::Intervals() const {
  if (!intervalsSorted_) {
    std::stable_sort(intervals_.begin(), intervals_.end(),
                     [](const ChartInterval& a, const ChartInterval& b) { return Before(a, b); });
    intervalsSorted_ = true;
  }
  return intervals_;
}

const std::vector<ChartPoint>& ChartSeries::Points() const {
  if (!waiting_.empty()) {
    // Stable sort, then stable merge with the placed points first: among equal x the
    // placed points come first and the waiting ones keep their arrival order, which is
    // where inserting each after the last point with x not above it would have put them.
    const auto before = [](const ChartPoint& a, const ChartPoint& b) { return Before(a, b); };
    std::stable_sort(waiting_.begin(), waiting_.end(), before);
    const auto placed = static_cast<std::ptrdiff_t>(points_.size());
    points_.insert(points_.end(), waiting_.begin(), waiting_.end());
    waiting_.clear();
    std::inplace_merge(points_.begin(), points_.begin() + placed, points_.end(), before);
  }
  return points_;
}

// The vectors are replaced, not emptied: a series of a million points gives its memory
// back when cleared.
void ChartSeries::Clear() noexcept {
  std::vector<ChartPoint>().swap(points_);
  std::vector<ChartPoint>().swap(waiting_);
  std::vector<ChartInterval>().swap(intervals_);
  intervalsSorted_ = true;
  Touch();
}

void ChartSeries::Reserve(std::size_t points) { points_.reserve(points); }

std::uint64_t ChartSeries::Revision() const noexcept {
  if (changed_) {
    revision_ = NextRevision();
    changed_ = false;
  }
  return revision_;
}

ChartModel::ChartModel() : revision_(NextRevision()) {}

ChartModel ChartModel::Chart1() {
  ChartModel c;
  c.SetTitle(QStringLiteral("Delta (MLE) vs True Knowledge (Do*)"));
  c.SetBottomAxis(DoStarAxis());
  c.SetLeftAxis(Axis(0.0, 1.0, 0.25, "Delta (MLE)", 10, 4));
  // sPoint_Dcond names maroon as its series colour, but its markers are blue inside and out.
  c.AddSeries({"sPoint_DSEM", SeriesKind::Points,
               Markers(MarkerShape::Circle, kMaroon, kMaroon, kMaroon)});
  c.AddSeries({"sPoint_Dcond", SeriesKind::Points,
               Markers(MarkerShape::Circle, kBlue, kBlue, kMaroon)});
  c.AddSeries({"sLine", SeriesKind::Line, Line(kNavy)});
  c.AddSeries({"sDLN", SeriesKind::Points,
               Markers(MarkerShape::DiagonalCross, kRed, kBlue, kRed)});
  c.SetWindowChartData();
  return c;
}

ChartModel ChartModel::Chart2() {
  ChartModel c;
  // Kept verbatim, "Standarized" and "Tue" included: users know the chart by this title.
  c.SetTitle(QStringLiteral("Standarized residual (Delta MLE - Tue Knowledge Do*)/SE(Delta)"));
  c.SetBottomAxis(DoStarAxis());
  c.SetLeftAxis(Axis(-4.0, 4.0, 0.5, "Standarized Residual", 11, 4));
  const QColor marker{128, 64, 64};
  c.AddSeries({"rPoint_DSEM", SeriesKind::Points,
               Markers(MarkerShape::Circle, marker, marker, QColor(64, 0, 0))});
  c.AddSeries({"rLine", SeriesKind::Line, Line(kNavy)});
  c.SetWindowChartData();
  return c;
}

void ChartModel::SetWindowChartData() {
  // Fixed axes hide the estimates below 0 (low Do*) and the residuals beyond ±4; the
  // note says how many. An undefined estimate is no value: not "below the axis".
  ChartStyle style = style_;
  style.noteOutsidePoints = true;
  SetStyle(style);
  SetUndefinedValue(Nodefinido);
}

void ChartModel::SetTitle(const QString& title) {
  title_ = title;
  revision_ = NextRevision();
}

void ChartModel::SetStyle(const ChartStyle& style) {
  style_ = style;
  revision_ = NextRevision();
}

void ChartModel::SetBottomAxis(const ChartAxis& axis) {
  bottom_ = axis;
  revision_ = NextRevision();
}

void ChartModel::SetLeftAxis(const ChartAxis& axis) {
  left_ = axis;
  revision_ = NextRevision();
}

void ChartModel::SetFitAxesToData(bool fit) {
  if (fitAxes_ == fit) return;
  fitAxes_ = fit;
  revision_ = NextRevision();
}

void ChartModel::SetUndefinedValue(std::optional<double> value) {
  undefined_ = value;
  revision_ = NextRevision();
}

void ChartModel::SetLegend(LegendPosition position) {
  legend_ = position;
  revision_ = NextRevision();
}

void ChartModel::AddReferenceLine(const ChartReferenceLine& line) {
  references_.push_back(line);
  revision_ = NextRevision();
}

std::optional<DataExtent> ChartModel::Extent() const {
  const std::uint64_t revision = Revision();
  if (extentRevision_ == revision) return extent_;
  constexpr double kInf = std::numeric_limits<double>::infinity();
  double xmin = kInf, xmax = -kInf, ymin = kInf, ymax = -kInf;
  for (const auto& s : series_) {
    if (!s.Active()) continue;
    for (const auto& p : s.Points()) {
      if (!IsValue(p.x, undefined_) || !IsValue(p.y, undefined_)) continue;
      Take(p.x, xmin, xmax);
      Take(p.y, ymin, ymax);
    }
    for (const auto& i : s.Intervals()) {
      if (!IsValue(i.x, undefined_)) continue;
      if (IsValue(i.lower, undefined_)) Take(i.lower, ymin, ymax);
      if (IsValue(i.upper, undefined_)) Take(i.upper, ymin, ymax);
    }
  }
  extent_.reset();
  if (xmin <= xmax && ymin <= ymax) {
    for (const auto& r : references_) {
      for (const double x : {xmin, xmax}) {
        const double y = r.intercept + r.slope * x;
        if (IsValue(y, undefined_)) Take(y, ymin, ymax);
      }
    }
    extent_ = DataExtent{xmin, xmax, ymin, ymax};
  }
  extentRevision_ = revision;
  return extent_;
}

ChartAxis ChartModel::FittedAxis(const ChartAxis& own, bool horizontal) const {
  const auto e = Extent();
  if (!e) return own;
  const double lo = horizontal ? e->xmin : e->ymin, hi = horizontal ? e->xmax : e->ymax;
  // A single column of points (one degree of knowledge) inside the own range keeps it:
  // a range made up around one value would say less than the chart's own.
  if (lo == hi && lo >= own.min && hi <= own.max) return own;
  const auto r = NiceRange(lo, hi);
  if (!r) return own;
  ChartAxis a = own;
  a.min = r->min;
  a.max = r->max;
  a.increment = r->increment;
  return a;
}

ChartAxis ChartModel::ShownBottomAxis() const { return fitAxes_ ? FittedAxis(bottom_, true) : bottom_; }

ChartAxis ChartModel::ShownLeftAxis() const { return fitAxes_ ? FittedAxis(left_, false) : left_; }

SeriesHandle ChartModel::AddSeries(ChartSeries series) {
  series_.push_back(std::move(series));
  revision_ = NextRevision();
  return {series_.size() - 1};
}

std::optional<SeriesHandle> ChartModel::Find(std::string_view name) const noexcept {
  for (std::size_t i = 0; i < series_.size(); ++i) {
    if (series_[i].Name() == name) return SeriesHandle{i};
  }
  return std::nullopt;
}

SeriesHandle ChartModel::Handle(std::string_view name) const {
  if (const auto h = Find(name)) return *h;
  throw ChartError("Chart \"" + title_.toStdString() + "\" has no series named \"" +
                   std::string(name) + "\"");
}

ChartSeries& ChartModel::Series(SeriesHandle handle) {
  return const_cast<ChartSeries&>(std::as_const(*this).Series(handle));
}

const ChartSeries& ChartModel::Series(SeriesHandle handle) const {
  if (handle.index >= series_.size()) {
    throw ChartError("Chart \"" + title_.toStdString() + "\" has no series number " +
                     std::to_string(handle.index) + " (it has " +
                     std::to_string(series_.size()) + ")");
  }
  return series_[handle.index];
}

std::uint64_t ChartModel::Revision() const noexcept {
  std::uint64_t r = revision_;
  for (const auto& s : series_) r = std::max(r, s.Revision());
  return r;
}

}  // namespace veltrano

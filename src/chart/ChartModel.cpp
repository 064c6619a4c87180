#include "chart/ChartModel.h"

#include "chart/ChartError.h"

#include <algorithm>
#include <atomic>
#include <cmath>
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
  ChartAxis a;
  a.min = min;
  a.max = max;
  a.increment = increment;
  a.title = QString::fromLatin1(title);
  a.titlePointSize = pointSize;
  a.titleBold = true;
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

}  // namespace

ChartSeries::ChartSeries(std::string name, SeriesKind kind, SeriesLook look)
    : name_(std::move(name)), kind_(kind), look_(std::move(look)), revision_(NextRevision()) {}

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

void ChartSeries::Clear() noexcept {
  points_.clear();
  waiting_.clear();
  Touch();
}

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
  return c;
}

ChartModel ChartModel::Chart2() {
  ChartModel c;
  c.SetTitle(QStringLiteral("Standarized residual (Delta MLE - Tue Knowledge Do*)/SE(Delta)"));
  c.SetBottomAxis(DoStarAxis());
  c.SetLeftAxis(Axis(-4.0, 4.0, 0.5, "Standarized Residual", 11, 4));
  const QColor marker{128, 64, 64};
  c.AddSeries({"rPoint_DSEM", SeriesKind::Points,
               Markers(MarkerShape::Circle, marker, marker, QColor(64, 0, 0))});
  c.AddSeries({"rLine", SeriesKind::Line, Line(kNavy)});
  return c;
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

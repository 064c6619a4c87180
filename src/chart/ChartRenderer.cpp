#include "chart/ChartRenderer.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLineF>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace veltrano {
namespace {

constexpr int kMargin = 6;     // empty border around everything
constexpr int kGap = 3;        // between a tick, its label and the axis title
constexpr int kTitleGap = 6;   // between the chart title and the plot area
constexpr int kInset = 6;      // between the plot's frame and a legend or note inside it
constexpr int kPad = 4;        // inside the legend's and the note's boxes
constexpr int kSampleWidth = 24;  // the line and marker sample of a legend entry
constexpr int kCapHalfWidth = 3;  // an error bar's caps reach this far either side
const QColor kNoteColor{64, 64, 64};
const QColor kBoxFill{255, 255, 255, 220};  // the legend's and the note's boxes
const QColor kBoxEdge{160, 160, 160};

QFont Font(int pointSize, bool bold) {
  QFont f;
  f.setPointSize(pointSize);
  f.setBold(bold);
  return f;
}

QFont TitleFont(const ChartStyle& s) { return Font(s.titlePointSize, s.titleBold); }
QFont LabelFont(const ChartStyle& s) { return Font(s.labelPointSize, false); }
QFont AxisTitleFont(const ChartAxis& a) { return Font(a.titlePointSize, a.titleBold); }

bool Usable(const ChartAxis& a) {
  return std::isfinite(a.min) && std::isfinite(a.max) && a.max > a.min &&
         std::isfinite(a.increment) && a.increment > 0;
}

// The tick values min, min + inc, … up to max, each computed from its index so that no
// rounding error accumulates; values within a billionth of a step of zero print as 0.
std::vector<double> Ticks(const ChartAxis& a) {
  std::vector<double> v;
  if (!Usable(a)) return v;
  const double steps = std::floor((a.max - a.min) / a.increment + 1e-9);
  if (steps > 1000) return v;  // a grid denser than the pixels would only paint the plot grey
  for (int i = 0; i <= static_cast<int>(steps); ++i) {
    const double t = a.min + i * a.increment;
    v.push_back(std::fabs(t) < a.increment * 1e-9 ? 0.0 : t);
  }
  return v;
}

QString TickLabel(double v) { return QString::number(v, 'g', 10); }

bool DrawsMarkers(SeriesKind k) { return k != SeriesKind::Line; }
bool DrawsLine(SeriesKind k) { return k != SeriesKind::Points; }

// Liang–Barsky: trims the segment to the rectangle; false when nothing of it is inside.
// Far-away ends (an undefined value of −9999.999 lies ~10^7 pixels off) thus never reach
// the paint engine, whose fixed-point coordinates they would overflow.
bool ClipSegment(QLineF& seg, const QRectF& r) {
  const double x0 = seg.x1(), y0 = seg.y1(), dx = seg.dx(), dy = seg.dy();
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - r.left(), r.right() - x0, y0 - r.top(), r.bottom() - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  seg = QLineF(x0 + t0 * dx, y0 + t0 * dy, x0 + t1 * dx, y0 + t1 * dy);
  return true;
}

// Sutherland–Hodgman: the part of a polygon inside the rectangle, for the same reason as
// ClipSegment. Clipping against a convex region keeps the filled area exact; a concave
// polygon may gain edges of no width along the rectangle, which fill nothing.
QPolygonF ClipPolygon(const QPolygonF& polygon, const QRectF& r) {
  QPolygonF out = polygon;
  const auto clipEdge = [&out](auto inside, auto cross) {
    if (out.isEmpty()) return;
    QPolygonF in;
    in.swap(out);
    QPointF prev = in.back();
    for (const QPointF& cur : in) {
      if (inside(cur)) {
        if (!inside(prev)) out.append(cross(prev, cur));
        out.append(cur);
      } else if (inside(prev)) {
        out.append(cross(prev, cur));
      }
      prev = cur;
    }
  };
  // Where the edge a → b crosses the line x = const (or y = const).
  const auto atX = [](double x) {
    return [x](QPointF a, QPointF b) {
      return QPointF(x, a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x()));
    };
  };
  const auto atY = [](double y) {
    return [y](QPointF a, QPointF b) {
      return QPointF(a.x() + (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y()), y);
    };
  };
  clipEdge([&](QPointF p) { return p.x() >= r.left(); }, atX(r.left()));
  clipEdge([&](QPointF p) { return p.x() <= r.right(); }, atX(r.right()));
  clipEdge([&](QPointF p) { return p.y() >= r.top(); }, atY(r.top()));
  clipEdge([&](QPointF p) { return p.y() <= r.bottom(); }, atY(r.bottom()));
  return out;
}

// The shape of a marker of radius r about c as vectors. Filled shapes become a polygon
// or ellipse with the current pen and brush; strokes are added to `strokes`.
void AddMarker(QPainter& p, QPainterPath& strokes, MarkerShape shape, QPointF c, double r) {
  switch (shape) {
    case MarkerShape::Circle: p.drawEllipse(c, r, r); return;
    case MarkerShape::Square: p.drawRect(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r)); return;
    case MarkerShape::Diamond: {
      const QPointF pts[] = {{c.x(), c.y() - r}, {c.x() + r, c.y()}, {c.x(), c.y() + r}, {c.x() - r, c.y()}};
      p.drawPolygon(pts, 4);
      return;
    }
    case MarkerShape::TriangleUp:
    case MarkerShape::TriangleDown: {
      const double s = shape == MarkerShape::TriangleUp ? 1 : -1;
      const QPointF pts[] = {{c.x(), c.y() - s * r}, {c.x() + r, c.y() + s * r}, {c.x() - r, c.y() + s * r}};
      p.drawPolygon(pts, 3);
      return;
    }
    case MarkerShape::DiagonalCross: {
      const double a = r + 0.5;
      strokes.moveTo(c + QPointF(-a, -a));
      strokes.lineTo(c + QPointF(a, a));
      strokes.moveTo(c + QPointF(-a, a));
      strokes.lineTo(c + QPointF(a, -a));
      return;
    }
    case MarkerShape::Plus: {
      const double a = r + 0.5;
      strokes.moveTo(c + QPointF(-a, 0));
      strokes.lineTo(c + QPointF(a, 0));
      strokes.moveTo(c + QPointF(0, -a));
      strokes.lineTo(c + QPointF(0, a));
      return;
    }
  }
}

bool IsStroke(MarkerShape shape) { return shape == MarkerShape::DiagonalCross || shape == MarkerShape::Plus; }

// Draws markers at the given centres as vectors: filled shapes one by one, strokes as one
// path (in SVG one element instead of two per marker).
template <class ForEachCentre>
void DrawMarkerShapes(QPainter& p, const SeriesLook& look, ForEachCentre forEach) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  QPainterPath strokes;
  if (IsStroke(look.marker)) {
    p.setPen(QPen(look.outline, 1.0, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
  } else {
    p.setPen(QPen(look.outline, 1.0));
    p.setBrush(look.fill);
  }
  const double r = std::max(1, look.markerRadius);
  forEach([&](QPointF c) { AddMarker(p, strokes, look.marker, c, r); });
  if (!strokes.isEmpty()) p.drawPath(strokes);
  p.restore();
}

QColor BandColor(const SeriesLook& look) {
  QColor c = look.line;
  c.setAlpha(look.line.alpha() * kBandAlpha / 255);
  return c;
}

QPen LinePen(const SeriesLook& look) {
  QPen pen(look.line, look.lineWidth > 0 ? look.lineWidth : 1.0, look.lineStyle, Qt::FlatCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

QPen ReferencePen(const ChartReferenceLine& r) {
  return QPen(r.color, r.width > 0 ? r.width : 1.0, r.style, Qt::FlatCap);
}

}  // namespace

QString OutsideNote(const OutsidePoints& o) {
  QStringList lines;
  const auto add = [&lines](std::size_t n, const char* where) {
    if (n == 0) return;
    lines << QStringLiteral("%1 %2 %3").arg(n).arg(n == 1 ? "point" : "points").arg(QLatin1String(where));
  };
  add(o.below, "below the axis");
  add(o.above, "above the axis");
  add(o.left, "left of the axis");
  add(o.right, "right of the axis");
  return lines.join(QLatin1Char('\n'));
}

namespace {

// The fonts are measured on the device they will be drawn on, or, without one, on an
// image: QImage carries the resolution every rendered image gets.
QFontMetricsF Metrics(const QFont& f, const QPaintDevice* device) {
  if (device) return QFontMetricsF(f, device);
  static const QImage reference(1, 1, QImage::Format_ARGB32_Premultiplied);
  return QFontMetricsF(f, &reference);
}

}  // namespace

ChartGeometry::ChartGeometry(const ChartModel& chart, QSize size, const QPaintDevice* device)
    : bottom_(chart.ShownBottomAxis()),
      left_(chart.ShownLeftAxis()),
      undefined_(chart.UndefinedValue().value_or(std::numeric_limits<double>::quiet_NaN())) {
  if (!Usable(bottom_) || !Usable(left_) || size.isEmpty()) return;
  const auto labels = Metrics(LabelFont(chart.Style()), device);

  // The legend lists the shown series that are in it, then the labelled reference lines.
  QSize legendSize;
  if (chart.Legend() != LegendPosition::Hidden) {
    for (const auto& s : chart.AllSeries()) {
      if (s.Active() && s.InLegend()) entries_.push_back({s.Label(), &s, nullptr});
    }
    for (const auto& r : chart.ReferenceLines()) {
      if (!r.label.isEmpty()) entries_.push_back({r.label, nullptr, &r});
    }
    double textW = 0;
    int marker = 0;
    for (const auto& e : entries_) {
      textW = std::max(textW, labels.horizontalAdvance(e.text));
      if (e.series && DrawsMarkers(e.series->Kind())) {
        marker = std::max(marker, e.series->Look().markerRadius);
      }
    }
    legendRowHeight_ = std::max(labels.height(), 2.0 * marker + 3);
    if (!entries_.empty()) {
      legendSize = QSize(static_cast<int>(std::ceil(2 * kPad + kSampleWidth + kGap + textW)),
                         static_cast<int>(std::ceil(2 * kPad + legendRowHeight_ * entries_.size())));
    }
  }
  const bool outside = chart.Legend() == LegendPosition::OutsideRight && !legendSize.isEmpty();

  const double labelH = labels.height();
  double leftLabelW = 0;
  for (double t : Ticks(left_)) leftLabelW = std::max(leftLabelW, labels.horizontalAdvance(TickLabel(t)));
  const auto bottomTicks = Ticks(bottom_);
  const double lastLabelW =
      bottomTicks.empty() ? 0 : labels.horizontalAdvance(TickLabel(bottomTicks.back()));
  const double titleH = chart.Title().isEmpty() ? 0 : Metrics(TitleFont(chart.Style()), device).height() + kTitleGap;
  const double bottomTitleH = bottom_.title.isEmpty() ? 0 : Metrics(AxisTitleFont(bottom_), device).height() + kGap;
  const double leftTitleH = left_.title.isEmpty() ? 0 : Metrics(AxisTitleFont(left_), device).height() + kGap;

  const int top = static_cast<int>(std::ceil(kMargin + std::max(titleH, labelH / 2)));
  const int bottom = static_cast<int>(std::floor(size.height() - 1 - kMargin - bottomTitleH - labelH -
                                                 kGap - std::max(0, bottom_.tickLength)));
  const int left = static_cast<int>(std::ceil(kMargin + leftTitleH + leftLabelW + kGap +
                                              std::max(0, left_.tickLength)));
  const int reserved = outside ? legendSize.width() + kTitleGap : 0;
  const int right = static_cast<int>(std::floor(size.width() - 1 - kMargin - reserved - lastLabelW / 2));
  if (right <= left || bottom <= top) return;
  plot_ = QRect(QPoint(left, top), QPoint(right, bottom));
  sx_ = (right - left) / (bottom_.max - bottom_.min);
  sy_ = (bottom - top) / (left_.max - left_.min);
  if (outside) {
    legend_ = QRect(QPoint(size.width() - kMargin - legendSize.width(), top), legendSize);
    if (legend_.left() <= right || legend_.bottom() >= size.height()) legend_ = QRect();
  } else if (!legendSize.isEmpty()) {
    PlaceLegend(chart, legendSize);
  }
}

void ChartGeometry::PlaceLegend(const ChartModel& chart, QSize legendSize) {
  const QRect room = plot_.adjusted(kInset, kInset, -kInset, -kInset);
  if (legendSize.width() > room.width() || legendSize.height() > room.height()) return;
  const int farLeft = room.right() - legendSize.width() + 1;  // of a box in a right corner
  const int farTop = room.bottom() - legendSize.height() + 1;  // of a box in a bottom corner
  const QRect corners[] = {QRect(QPoint(farLeft, room.top()), legendSize),   // top right
                           QRect(room.topLeft(), legendSize),                // top left
                           QRect(QPoint(farLeft, farTop), legendSize),       // bottom right
                           QRect(QPoint(room.left(), farTop), legendSize)};  // bottom left
  switch (chart.Legend()) {
    case LegendPosition::TopRight: legend_ = corners[0]; return;
    case LegendPosition::TopLeft: legend_ = corners[1]; return;
    case LegendPosition::BottomRight: legend_ = corners[2]; return;
    case LegendPosition::BottomLeft: legend_ = corners[3]; return;
    case LegendPosition::BestInside: {
      // The corner that hides least; on a tie the first in the order above.
      std::size_t best = std::numeric_limits<std::size_t>::max();
      for (const QRect& c : corners) {
        const std::size_t hidden = DataUnder(chart, c);
        if (hidden < best) {
          best = hidden;
          legend_ = c;
        }
      }
      return;
    }
    case LegendPosition::Hidden:
    case LegendPosition::OutsideRight: return;
  }
}

std::size_t ChartGeometry::DataUnder(const ChartModel& chart, const QRect& r) const {
  const QRectF box(r.left(), r.top(), r.width(), r.height());
  const auto crosses = [&box](QPointF a, QPointF b) {
    QLineF seg(a, b);
    return ClipSegment(seg, box);
  };
  const auto xmap = XMap(1.0), ymap = YMap(1.0);
  std::size_t hidden = 0;
  for (const auto& s : chart.AllSeries()) {
    if (!s.Active()) continue;
    const int reach = DrawsMarkers(s.Kind()) ? std::max(1, s.Look().markerRadius) : 0;
    bool havePrev = false;
    QPointF prev;
    for (const auto& p : s.Points()) {
      if (!Shows(p)) {
        havePrev = false;  // a piece of line towards a point outside is not counted
        continue;
      }
      const QPointF c(xmap(p.x), ymap(p.y));
      if (reach > 0 && box.adjusted(-reach, -reach, reach, reach).contains(c)) ++hidden;
      if (DrawsLine(s.Kind()) && havePrev && crosses(prev, c)) ++hidden;
      prev = c;
      havePrev = true;
    }
    for (const auto& i : s.Intervals()) {
      if (Shows({i.x, i.lower}) && Shows({i.x, i.upper}) &&
          crosses(QPointF(xmap(i.x), ymap(i.lower)), QPointF(xmap(i.x), ymap(i.upper)))) {
        ++hidden;
      }
    }
  }
  for (const auto& l : chart.ReferenceLines()) {
    const double x0 = bottom_.min, x1 = bottom_.max;
    const QPointF a(xmap(x0), ymap(l.intercept + l.slope * x0)), b(xmap(x1), ymap(l.intercept + l.slope * x1));
    if (crosses(a, b)) ++hidden;
  }
  return hidden;
}

void ChartGeometry::Tally(ChartPoint p, OutsidePoints& outside) const noexcept {
  if (std::isnan(p.x) || std::isnan(p.y) || p.x == undefined_ || p.y == undefined_) return;
  if (p.y < left_.min) ++outside.below;
  else if (p.y > left_.max) ++outside.above;
  else if (p.x < bottom_.min) ++outside.left;
  else if (p.x > bottom_.max) ++outside.right;
}

ChartGeometry::AxisMap ChartGeometry::XMap(double ratio) const noexcept {
  return {bottom_.min, sx_ * ratio, plot_.left() * ratio + 0.5};
}

ChartGeometry::AxisMap ChartGeometry::YMap(double ratio) const noexcept {
  return {left_.min, -sy_ * ratio, plot_.bottom() * ratio + 0.5};
}

QPoint ChartGeometry::Pixel(ChartPoint p) const noexcept {
  return {static_cast<int>(std::floor(XMap(1.0)(p.x))), static_cast<int>(std::floor(YMap(1.0)(p.y)))};
}

namespace {

// The device pixels that the shown points of one series fall on, one bit each, over the
// plot area (edges included) at a device pixel ratio. A million points cost a pass over
// the points and a bit each; the markers are then drawn once per pixel, in raster order.
class CoveredPixels {
public:
  // Points outside the axes are counted into `outside` on the way.
  template <class Map>
  void Collect(const ChartSeries& s, const ChartGeometry& g, Map xmap, Map ymap, const QRect& area,
               OutsidePoints& outside) {
    x0_ = area.left();
    y0_ = area.top();
    w_ = area.width();
    h_ = area.height();
    words_ = (static_cast<std::size_t>(w_) + 63) / 64;
    bits_.assign(words_ * h_, 0);
    for (const auto& p : s.Points()) {
      if (!g.Shows(p)) {
        g.Tally(p, outside);
        continue;
      }
      // Shown points map inside the area, so truncation is the floor; the clamps only
      // guard the last bit of rounding at the far edges.
      const int x = std::clamp(static_cast<int>(xmap(p.x)) - x0_, 0, w_ - 1);
      const int y = std::clamp(static_cast<int>(ymap(p.y)) - y0_, 0, h_ - 1);
      bits_[y * words_ + (static_cast<unsigned>(x) >> 6)] |= std::uint64_t{1} << (x & 63);
    }
  }

  /// Calls f(x, y) for each covered device pixel, row by row from the top.
  template <class F>
  void ForEach(F f) const {
    for (int y = 0; y < h_; ++y) {
      const std::uint64_t* row = bits_.data() + y * words_;
      for (std::size_t w = 0; w < words_; ++w) {
        for (std::uint64_t b = row[w]; b != 0; b &= b - 1) {
          f(x0_ + static_cast<int>(w * 64) + std::countr_zero(b), y0_ + y);
        }
      }
    }
  }

private:
  int x0_ = 0, y0_ = 0, w_ = 0, h_ = 0;
  std::size_t words_ = 0;
  std::vector<std::uint64_t> bits_;
};

// A marker as the device pixels it sets around its centre. Filled shapes: the pixels
// inside the shape, those with a neighbour outside it in the outline colour, the others
// in the fill; a circle of radius 1 thus gives a plus of outline around one fill pixel,
// which is what a circle of 3 × 3 pixels can show. Strokes (diagonal cross, plus): their
// pixels in the outline colour (they have no inside).
struct StampPixel {
  int dx, dy;
  QRgb argb;  // premultiplied
};

std::vector<StampPixel> Stamp(const SeriesLook& look, int r) {
  std::vector<StampPixel> px;
  const QRgb fill = qPremultiply(look.fill.rgba());
  const QRgb outline = qPremultiply(look.outline.rgba());
  if (look.marker == MarkerShape::DiagonalCross || look.marker == MarkerShape::Plus) {
    const bool diagonal = look.marker == MarkerShape::DiagonalCross;
    for (int d = -r; d <= r; ++d) {
      px.push_back(diagonal ? StampPixel{d, d, outline} : StampPixel{d, 0, outline});
      if (d != 0) px.push_back(diagonal ? StampPixel{d, -d, outline} : StampPixel{0, d, outline});
    }
    return px;
  }
  const auto inside = [r, shape = look.marker](int dx, int dy) {
    switch (shape) {
      case MarkerShape::Square: return std::abs(dx) <= r && std::abs(dy) <= r;
      case MarkerShape::Diamond: return std::abs(dx) + std::abs(dy) <= r;
      // The apex r above the centre, the base r below it (and the other way round).
      case MarkerShape::TriangleUp: return std::abs(dy) <= r && 2 * std::abs(dx) <= dy + r;
      case MarkerShape::TriangleDown: return std::abs(dy) <= r && 2 * std::abs(dx) <= r - dy;
      default: return dx * dx + dy * dy <= r * r;
    }
  };
  for (int dy = -r; dy <= r; ++dy) {
    for (int dx = -r; dx <= r; ++dx) {
      if (!inside(dx, dy)) continue;
      const bool edge = !inside(dx - 1, dy) || !inside(dx + 1, dy) || !inside(dx, dy - 1) || !inside(dx, dy + 1);
      px.push_back({dx, dy, edge ? outline : fill});
    }
  }
  return px;
}

inline QRgb Over(QRgb src, QRgb dst) {
  const unsigned a = qAlpha(src);
  if (a == 255) return src;
  const unsigned k = 255 - a;
  return qRgba(qRed(src) + qRed(dst) * k / 255, qGreen(src) + qGreen(dst) * k / 255,
               qBlue(src) + qBlue(dst) * k / 255, a + qAlpha(dst) * k / 255);
}

}  // namespace

// Draws a chart through QPainter: the frame, reference lines, bands, lines, error bars, the
// markers either as shapes (DrawMarkers, any device) or stamped into the pixels of an
// image (StampMarkers), and last the note of points outside and the legend.
class ChartPainter {
public:
  ChartPainter(QPainter& p, const ChartModel& chart, QSize size)
      : p_(p), chart_(chart), size_(size), g_(chart, size, p.device()) {}

  const ChartGeometry& Geometry() const { return g_; }
  const OutsidePoints& Outside() const { return outside_; }

  void DrawFrame() {
    const auto& style = chart_.Style();
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.fillRect(QRect(QPoint(0, 0), size_), style.background);
    const QRect plot = g_.PlotArea();
    if (!plot.isEmpty()) DrawAxes(style, plot);
    DrawTitle(style);
    p_.restore();
  }

  void DrawSeries(QImage* raster, qreal ratio) {
    if (g_.PlotArea().isEmpty()) return;
    DrawReferenceLines();
    for (const auto& s : chart_.AllSeries()) {
      if (!s.Active()) continue;
      if (s.Look().intervals == IntervalStyle::Band) DrawBand(s);
      // The points of a line with markers are counted once, with its markers.
      if (DrawsLine(s.Kind())) DrawLine(s, s.Kind() == SeriesKind::Line);
      if (s.Look().intervals == IntervalStyle::ErrorBars) DrawErrorBars(s);
      if (!DrawsMarkers(s.Kind())) continue;
      if (raster) StampMarkers(*raster, s, ratio);
      else DrawMarkers(s);
    }
  }

  void DrawNotes() {
    if (g_.PlotArea().isEmpty()) return;
    if (chart_.Style().noteOutsidePoints) DrawOutsideNote();
    if (!g_.LegendArea().isEmpty()) DrawLegend();
  }

private:
  // Logical coordinates of pixel centres: the map's +0.5 moves a value onto the centre
  // of its pixel, which is where antialiased lines must run to meet the markers.
  QRectF CentreClip() const {
    const QRect plot = g_.PlotArea();
    return QRectF(plot.left() + 0.5, plot.top() + 0.5, plot.width() - 1, plot.height() - 1);
  }

  bool IsValue(double v) const { return std::isfinite(v) && v != g_.undefined_; }

  void DrawLine(const ChartSeries& s, bool count) {
    const auto xmap = g_.XMap(1.0), ymap = g_.YMap(1.0);
    std::vector<QLineF> segments;
    const QRectF clip = CentreClip();
    bool havePrev = false;
    QPointF prev;
    for (const auto& pt : s.Points()) {
      if (count && !g_.Shows(pt)) g_.Tally(pt, outside_);
      if (!IsValue(pt.x) || !IsValue(pt.y)) {  // an undefined value breaks the line
        havePrev = false;
        continue;
      }
      const QPointF cur(xmap(pt.x), ymap(pt.y));
      if (havePrev) {
        // A run of points on one pixel adds nothing to the drawing.
        if (std::fabs(cur.x() - prev.x()) < 0.5 && std::fabs(cur.y() - prev.y()) < 0.5) continue;
        QLineF seg(prev, cur);
        if (ClipSegment(seg, clip)) segments.push_back(seg);
      }
      prev = cur;
      havePrev = true;
    }
    if (segments.empty()) return;
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing, true);
    const QPen pen = LinePen(s.Look());
    p_.setPen(pen);
    if (pen.style() == Qt::SolidLine) {
      p_.drawLines(segments.data(), static_cast<int>(segments.size()));
    } else {
      // A dash pattern runs on along a polyline; separate segments would each restart it.
      QPainterPath path;
      for (const auto& seg : segments) {
        if (path.elementCount() == 0 || path.currentPosition() != seg.p1()) path.moveTo(seg.p1());
        path.lineTo(seg.p2());
      }
      p_.setBrush(Qt::NoBrush);
      p_.drawPath(path);
    }
    p_.restore();
  }

  // Each interval whose x lies within the bottom axis: a vertical line from lower to
  // upper, cut at the plot's top and bottom, with a cap at each end within the left axis.
  // Aliased and on whole pixels, so the bar covers exactly the pixels of its ends.
  void DrawErrorBars(const ChartSeries& s) {
    if (s.Intervals().empty()) return;
    const QRect plot = g_.PlotArea();
    const ChartAxis& bx = g_.bottom_;
    const ChartAxis& ly = g_.left_;
    std::vector<QLine> lines;  // in logical pixels
    for (const auto& i : s.Intervals()) {
      if (!IsValue(i.x) || !IsValue(i.lower) || !IsValue(i.upper)) continue;
      if (i.x < bx.min || i.x > bx.max) continue;
      const double lo = std::min(i.lower, i.upper), hi = std::max(i.lower, i.upper);
      if (hi < ly.min || lo > ly.max) continue;
      const int x = g_.Pixel({i.x, ly.min}).x();
      const int yLow = lo < ly.min ? plot.bottom() : g_.Pixel({i.x, lo}).y();
      const int yHigh = hi > ly.max ? plot.top() : g_.Pixel({i.x, hi}).y();
      lines.emplace_back(x, yHigh, x, yLow);
      // Like a marker on a limit, a cap there reaches over the frame.
      if (lo >= ly.min) lines.emplace_back(x - kCapHalfWidth, yLow, x + kCapHalfWidth, yLow);
      if (hi <= ly.max) lines.emplace_back(x - kCapHalfWidth, yHigh, x + kCapHalfWidth, yHigh);
    }
    if (lines.empty()) return;
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.setPen(QPen(s.Look().line, 0));
    p_.drawLines(lines.data(), static_cast<int>(lines.size()));
    p_.restore();
  }

  // The band: for each run of intervals with values, the polygon along the uppers in
  // order of x and back along the lowers, cut to the plot.
  void DrawBand(const ChartSeries& s) {
    const auto& intervals = s.Intervals();
    if (intervals.size() < 2) return;
    const auto xmap = g_.XMap(1.0), ymap = g_.YMap(1.0);
    const QRectF clip = CentreClip();
    QPainterPath band;
    std::size_t i = 0;
    while (i < intervals.size()) {
      std::size_t end = i;
      while (end < intervals.size() && IsValue(intervals[end].x) && IsValue(intervals[end].lower) &&
             IsValue(intervals[end].upper)) {
        ++end;
      }
      if (end - i >= 2) {
        QPolygonF polygon;
        for (std::size_t k = i; k < end; ++k) {
          polygon << QPointF(xmap(intervals[k].x), ymap(intervals[k].upper));
        }
        for (std::size_t k = end; k-- > i;) {
          polygon << QPointF(xmap(intervals[k].x), ymap(intervals[k].lower));
        }
        const QPolygonF inside = ClipPolygon(polygon, clip);
        if (inside.size() >= 3) band.addPolygon(inside);
        band.closeSubpath();
      }
      i = end + 1;
    }
    if (band.isEmpty()) return;
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setPen(Qt::NoPen);
    p_.setBrush(BandColor(s.Look()));
    band.setFillRule(Qt::WindingFill);
    p_.drawPath(band);
    p_.restore();
  }

  void DrawReferenceLines() {
    if (chart_.ReferenceLines().empty()) return;
    const auto xmap = g_.XMap(1.0), ymap = g_.YMap(1.0);
    const double x0 = g_.bottom_.min, x1 = g_.bottom_.max;
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing, true);
    for (const auto& r : chart_.ReferenceLines()) {
      const double y0 = r.intercept + r.slope * x0, y1 = r.intercept + r.slope * x1;
      if (!std::isfinite(y0) || !std::isfinite(y1)) continue;
      QLineF seg(xmap(x0), ymap(y0), xmap(x1), ymap(y1));
      // A level line runs along the centres of one row of pixels, the row of a marker
      // at its value, so that it is drawn sharp.
      if (r.slope == 0) {
        seg.setLine(seg.x1(), std::floor(seg.y1()) + 0.5, seg.x2(), std::floor(seg.y2()) + 0.5);
      }
      if (!ClipSegment(seg, CentreClip())) continue;
      p_.setPen(ReferencePen(r));
      p_.drawLine(seg);
    }
    p_.restore();
  }

  // The vector path: one shape per logical pixel covered.
  void DrawMarkers(const ChartSeries& s) {
    pixels_.Collect(s, g_, g_.XMap(1.0), g_.YMap(1.0), g_.PlotArea(), outside_);
    DrawMarkerShapes(p_, s.Look(), [&](auto add) {
      pixels_.ForEach([&](int x, int y) { add(QPointF(x + 0.5, y + 0.5)); });
    });
  }

  // The raster path: the marker stamped into the image's pixels once per device pixel.
  void StampMarkers(QImage& image, const ChartSeries& s, qreal ratio) {
    const auto xmap = g_.XMap(ratio), ymap = g_.YMap(ratio);
    const QRect area(QPoint(static_cast<int>(xmap(g_.bottom_.min)), static_cast<int>(ymap(g_.left_.max))),
                     QPoint(static_cast<int>(xmap(g_.bottom_.max)), static_cast<int>(ymap(g_.left_.min))));
    pixels_.Collect(s, g_, xmap, ymap, area, outside_);
    const int radius = std::max(1, s.Look().markerRadius);
    const auto stamp = Stamp(s.Look(), std::max(1, static_cast<int>(std::lround(radius * ratio))));
    const int w = image.width(), h = image.height();
    const qsizetype bpl = image.bytesPerLine();
    uchar* bits = image.bits();
    pixels_.ForEach([&](int px, int py) {
      for (const auto& sp : stamp) {
        const int x = px + sp.dx, y = py + sp.dy;
        if (x < 0 || y < 0 || x >= w || y >= h) continue;
        auto* line = reinterpret_cast<QRgb*>(bits + y * bpl);
        line[x] = Over(sp.argb, line[x]);
      }
    });
  }

  // A box with a light fill and a grey edge for the legend and the note, so that they
  // read over the grid and the data.
  void DrawBox(const QRectF& r) {
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.setPen(QPen(kBoxEdge, 0));
    p_.setBrush(kBoxFill);
    p_.drawRect(r);
  }

  // Small, in the bottom-right corner of the plot (bottom-left when the legend is there).
  void DrawOutsideNote() {
    const QString note = OutsideNote(outside_);
    if (note.isEmpty()) return;
    const QFont f = LabelFont(chart_.Style());
    const QFontMetricsF m(f, p_.device());
    const QStringList lines = note.split(QLatin1Char('\n'));
    double w = 0;
    for (const QString& l : lines) w = std::max(w, m.horizontalAdvance(l));
    const QSizeF box(std::ceil(w) + 2 * kPad, std::ceil(m.height() * lines.size()) + 2 * kPad);
    const QRect plot = g_.PlotArea();
    QRectF r(QPointF(plot.right() - kInset - box.width(), plot.bottom() - kInset - box.height()), box);
    const QRect legend = g_.LegendArea();
    if (plot.contains(legend) && legend.intersects(r.toAlignedRect())) r.moveLeft(plot.left() + kInset);
    if (r.left() <= plot.left() || r.top() <= plot.top()) return;  // no room for it
    p_.save();
    DrawBox(r);
    p_.setFont(f);
    p_.setPen(kNoteColor);
    p_.drawText(r.adjusted(kPad, kPad, -kPad, -kPad), Qt::AlignRight | Qt::AlignTop, note);
    p_.restore();
  }

  void DrawLegend() {
    const QRect area = g_.LegendArea();
    const QFont f = LabelFont(chart_.Style());
    p_.save();
    DrawBox(QRectF(area.left(), area.top(), area.width() - 1, area.height() - 1));
    p_.setFont(f);
    const double rowH = g_.legendRowHeight_;
    double y = area.top() + kPad;
    for (const auto& e : g_.entries_) {
      const double mid = std::floor(y + rowH / 2) + 0.5;
      const QLineF sample(area.left() + kPad, mid, area.left() + kPad + kSampleWidth, mid);
      const QPointF centre(std::floor(sample.center().x()) + 0.5, mid);
      p_.setRenderHint(QPainter::Antialiasing, true);
      p_.setBrush(Qt::NoBrush);
      if (e.line) {
        p_.setPen(ReferencePen(*e.line));
        p_.drawLine(sample);
      } else {
        const SeriesLook& look = e.series->Look();
        if (look.intervals == IntervalStyle::Band && !e.series->Intervals().empty()) {
          const double r = std::max(3, look.markerRadius + 1);
          p_.fillRect(QRectF(sample.x1(), mid - r, kSampleWidth, 2 * r), BandColor(look));
        }
        if (DrawsLine(e.series->Kind())) {
          p_.setPen(LinePen(look));
          p_.drawLine(sample);
        }
        if (DrawsMarkers(e.series->Kind())) {
          DrawMarkerShapes(p_, look, [&](auto add) { add(centre); });
        }
      }
      p_.setPen(Qt::black);
      p_.drawText(QRectF(sample.x2() + kGap, y, area.right() - kPad - sample.x2() - kGap + 1, rowH),
                  Qt::AlignLeft | Qt::AlignVCenter, e.text);
      y += rowH;
    }
    p_.restore();
  }

  void DrawAxes(const ChartStyle& style, const QRect& plot) {
    const ChartAxis& bx = g_.bottom_;
    const ChartAxis& ly = g_.left_;
    const auto xTicks = Ticks(bx);
    const auto yTicks = Ticks(ly);
    auto xAt = [&](double v) { return g_.Pixel({v, ly.min}).x(); };
    auto yAt = [&](double v) { return g_.Pixel({bx.min, v}).y(); };
    const int L = plot.left(), R = plot.right(), T = plot.top(), B = plot.bottom();

    std::vector<QLine> lines;
    for (double t : xTicks) lines.emplace_back(xAt(t), T, xAt(t), B);
    for (double t : yTicks) lines.emplace_back(L, yAt(t), R, yAt(t));
    p_.setPen(QPen(style.grid, 0, Qt::DotLine));
    p_.drawLines(lines.data(), static_cast<int>(lines.size()));

    lines = {QLine(L, T, R, T), QLine(L, B, R, B), QLine(L, T, L, B), QLine(R, T, R, B)};
    for (double t : xTicks) {
      if (bx.tickLength > 0) lines.emplace_back(xAt(t), B + 1, xAt(t), B + bx.tickLength);
    }
    for (double t : yTicks) {
      if (ly.tickLength > 0) lines.emplace_back(L - ly.tickLength, yAt(t), L - 1, yAt(t));
    }
    p_.setPen(QPen(Qt::black, 0));
    p_.drawLines(lines.data(), static_cast<int>(lines.size()));

    const QFont labelFont = LabelFont(style);
    const QFontMetricsF labels(labelFont, p_.device());
    p_.setFont(labelFont);
    const double labelH = labels.height();
    const double labelTop = B + std::max(0, bx.tickLength) + kGap;
    for (double t : xTicks) {
      const QString text = TickLabel(t);
      const double w = labels.horizontalAdvance(text);
      p_.drawText(QRectF(xAt(t) - w / 2 - 1, labelTop, w + 2, labelH), Qt::AlignCenter, text);
    }
    const double labelRight = L - std::max(0, ly.tickLength) - kGap;
    for (double t : yTicks) {
      p_.drawText(QRectF(0, yAt(t) - labelH / 2, labelRight, labelH), Qt::AlignRight | Qt::AlignVCenter,
                  TickLabel(t));
    }

    if (!bx.title.isEmpty()) {
      const QFont f = AxisTitleFont(bx);
      p_.setFont(f);
      const double h = QFontMetricsF(f, p_.device()).height();
      p_.drawText(QRectF(L, labelTop + labelH + kGap, R - L + 1, h), Qt::AlignCenter, bx.title);
    }
    if (!ly.title.isEmpty()) {
      const QFont f = AxisTitleFont(ly);
      const QFontMetricsF m(f, p_.device());
      p_.setFont(f);
      const double len = std::max<double>(B - T + 1, m.horizontalAdvance(ly.title) + 2);
      p_.save();
      p_.translate(kMargin, (T + B + 1) / 2.0);
      p_.rotate(-90);  // reads bottom to top, to the left of the tick labels
      p_.drawText(QRectF(-len / 2, 0, len, m.height()), Qt::AlignCenter, ly.title);
      p_.restore();
    }
  }

  void DrawTitle(const ChartStyle& style) {
    if (chart_.Title().isEmpty()) return;
    const QFont f = TitleFont(style);
    p_.setFont(f);
    p_.setPen(style.titleColor);
    const double h = QFontMetricsF(f, p_.device()).height();
    p_.drawText(QRectF(0, kMargin, size_.width(), h), Qt::AlignHCenter | Qt::AlignTop, chart_.Title());
  }

  QPainter& p_;
  const ChartModel& chart_;
  QSize size_;
  ChartGeometry g_;
  CoveredPixels pixels_;
  OutsidePoints outside_;
};

OutsidePoints DrawChart(QPainter& painter, const ChartModel& chart, QSize size) {
  ChartPainter cp(painter, chart, size);
  cp.DrawFrame();
  cp.DrawSeries(nullptr, 1.0);
  cp.DrawNotes();
  return cp.Outside();
}

QImage RenderChart(const ChartModel& chart, QSize size, qreal devicePixelRatio, OutsidePoints* outside) {
  if (outside) *outside = {};
  const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
  const QSize pixels(static_cast<int>(std::ceil(size.width() * ratio)),
                     static_cast<int>(std::ceil(size.height() * ratio)));
  if (pixels.isEmpty()) return {};
  // An opaque background makes an opaque image: RGB32 is then blitted by plain copies.
  QImage image(pixels, chart.Style().background.alpha() == 255 ? QImage::Format_RGB32
                                                               : QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  QPainter painter(&image);
  ChartPainter cp(painter, chart, size);
  cp.DrawFrame();
  cp.DrawSeries(&image, ratio);
  cp.DrawNotes();
  if (outside) *outside = cp.Outside();
  return image;
}

const QImage& ChartImageCache::Image(const ChartModel& chart, QSize size, qreal devicePixelRatio) {
  const std::uint64_t revision = chart.Revision();
  if (!valid_ || revision != revision_ || size != size_ || devicePixelRatio != ratio_) {
    image_ = RenderChart(chart, size, devicePixelRatio, &outside_);
    revision_ = revision;
    size_ = size;
    ratio_ = devicePixelRatio;
    valid_ = true;
    ++rebuilds_;
  }
  return image_;
}

void ChartImageCache::Paint(QPainter& painter, const ChartModel& chart, QSize size) {
  const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  painter.drawImage(QPoint(0, 0), Image(chart, size, ratio));
}

}  // namespace veltrano

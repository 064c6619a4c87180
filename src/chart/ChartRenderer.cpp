#include "chart/ChartRenderer.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLineF>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace veltrano {
namespace {

constexpr int kMargin = 6;     // empty border around everything
constexpr int kGap = 3;        // between a tick, its label and the axis title
constexpr int kTitleGap = 6;   // between the chart title and the plot area

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

// The fonts are measured on the device they will be drawn on, or, without one, on an
// image: QImage carries the resolution every rendered image gets.
QFontMetricsF Metrics(const QFont& f, const QPaintDevice* device) {
  if (device) return QFontMetricsF(f, device);
  static const QImage reference(1, 1, QImage::Format_ARGB32_Premultiplied);
  return QFontMetricsF(f, &reference);
}

}  // namespace

ChartGeometry::ChartGeometry(const ChartModel& chart, QSize size, const QPaintDevice* device)
    : bottom_(chart.BottomAxis()), left_(chart.LeftAxis()) {
  if (!Usable(bottom_) || !Usable(left_) || size.isEmpty()) return;
  const auto labels = Metrics(LabelFont(chart.Style()), device);
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
  const int right = static_cast<int>(std::floor(size.width() - 1 - kMargin - lastLabelW / 2));
  if (right <= left || bottom <= top) return;
  plot_ = QRect(QPoint(left, top), QPoint(right, bottom));
  sx_ = (right - left) / (bottom_.max - bottom_.min);
  sy_ = (bottom - top) / (left_.max - left_.min);
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
  template <class Map>
  void Collect(const ChartSeries& s, const ChartGeometry& g, Map xmap, Map ymap, const QRect& area) {
    x0_ = area.left();
    y0_ = area.top();
    w_ = area.width();
    h_ = area.height();
    words_ = (static_cast<std::size_t>(w_) + 63) / 64;
    bits_.assign(words_ * h_, 0);
    for (const auto& p : s.Points()) {
      if (!g.Shows(p)) continue;
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

// A marker as the device pixels it sets around its centre. Circles: the outline ring and
// the fill inside it; a radius of 1 gives a plus of outline around one fill pixel, which
// is what a circle of 3 × 3 pixels can show. Diagonal crosses: both diagonals in the
// outline colour (a cross has no inside).
struct StampPixel {
  int dx, dy;
  QRgb argb;  // premultiplied
};

std::vector<StampPixel> Stamp(const SeriesLook& look, int r) {
  std::vector<StampPixel> px;
  const QRgb fill = qPremultiply(look.fill.rgba());
  const QRgb outline = qPremultiply(look.outline.rgba());
  if (look.marker == MarkerShape::DiagonalCross) {
    for (int d = -r; d <= r; ++d) {
      px.push_back({d, d, outline});
      if (d != 0) px.push_back({d, -d, outline});
    }
    return px;
  }
  const auto inside = [r](int dx, int dy) { return dx * dx + dy * dy <= r * r; };
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

// Draws a chart through QPainter: the frame, the lines, and the markers either as shapes
// (DrawMarkers, any device) or stamped into the pixels of an image (StampMarkers).
class ChartPainter {
public:
  ChartPainter(QPainter& p, const ChartModel& chart, QSize size)
      : p_(p), chart_(chart), size_(size), g_(chart, size, p.device()) {}

  const ChartGeometry& Geometry() const { return g_; }

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
    for (const auto& s : chart_.AllSeries()) {
      if (!s.Active()) continue;
      if (s.Kind() == SeriesKind::Line) DrawLine(s);
      else if (raster) StampMarkers(*raster, s, ratio);
      else DrawMarkers(s);
    }
  }

private:
  void DrawLine(const ChartSeries& s) {
    const QRect plot = g_.PlotArea();
    const auto xmap = g_.XMap(1.0), ymap = g_.YMap(1.0);
    std::vector<QLineF> segments;
    // Logical coordinates here are pixel centres: the map's +0.5 moves a value onto the
    // centre of its pixel, which is where antialiased lines must run to meet the markers.
    const QRectF clip(plot.left() + 0.5, plot.top() + 0.5, plot.width() - 1, plot.height() - 1);
    bool havePrev = false;
    QPointF prev;
    for (const auto& pt : s.Points()) {
      if (!std::isfinite(pt.x) || !std::isfinite(pt.y)) {  // an undefined value breaks the line
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
    p_.setPen(QPen(s.Look().line, 1.0, Qt::SolidLine, Qt::FlatCap));
    p_.drawLines(segments.data(), static_cast<int>(segments.size()));
    p_.restore();
  }

  // The vector path: one shape per logical pixel covered.
  void DrawMarkers(const ChartSeries& s) {
    pixels_.Collect(s, g_, g_.XMap(1.0), g_.YMap(1.0), g_.PlotArea());
    const auto& look = s.Look();
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing, true);
    if (look.marker == MarkerShape::Circle) {
      p_.setPen(QPen(look.outline, 1.0));
      p_.setBrush(look.fill);
      pixels_.ForEach([&](int x, int y) { p_.drawEllipse(QPointF(x + 0.5, y + 0.5), 1.0, 1.0); });
    } else {
      // One path for all crosses: in SVG that is one element instead of two per marker.
      p_.setPen(QPen(look.outline, 1.0, Qt::SolidLine, Qt::FlatCap));
      p_.setBrush(Qt::NoBrush);
      QPainterPath crosses;
      pixels_.ForEach([&](int x, int y) {
        const QPointF c(x + 0.5, y + 0.5);
        crosses.moveTo(c + QPointF(-1.5, -1.5));
        crosses.lineTo(c + QPointF(1.5, 1.5));
        crosses.moveTo(c + QPointF(-1.5, 1.5));
        crosses.lineTo(c + QPointF(1.5, -1.5));
      });
      p_.drawPath(crosses);
    }
    p_.restore();
  }

  // The raster path: the marker stamped into the image's pixels once per device pixel.
  void StampMarkers(QImage& image, const ChartSeries& s, qreal ratio) {
    const auto xmap = g_.XMap(ratio), ymap = g_.YMap(ratio);
    const QRect area(QPoint(static_cast<int>(xmap(g_.bottom_.min)), static_cast<int>(ymap(g_.left_.max))),
                     QPoint(static_cast<int>(xmap(g_.bottom_.max)), static_cast<int>(ymap(g_.left_.min))));
    pixels_.Collect(s, g_, xmap, ymap, area);
    const auto stamp = Stamp(s.Look(), std::max(1, static_cast<int>(std::lround(ratio))));
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

  // Liang–Barsky: trims the segment to the rectangle; false when nothing of it is inside.
  // Far-away ends (an undefined value of −9999.999 lies ~10^7 pixels off) thus never reach
  // the paint engine, whose fixed-point coordinates they would overflow.
  static bool ClipSegment(QLineF& seg, const QRectF& r) {
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

  QPainter& p_;
  const ChartModel& chart_;
  QSize size_;
  ChartGeometry g_;
  CoveredPixels pixels_;
};

void DrawChart(QPainter& painter, const ChartModel& chart, QSize size) {
  ChartPainter cp(painter, chart, size);
  cp.DrawFrame();
  cp.DrawSeries(nullptr, 1.0);
}

QImage RenderChart(const ChartModel& chart, QSize size, qreal devicePixelRatio) {
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
  return image;
}

const QImage& ChartImageCache::Image(const ChartModel& chart, QSize size, qreal devicePixelRatio) {
  const std::uint64_t revision = chart.Revision();
  if (!valid_ || revision != revision_ || size != size_ || devicePixelRatio != ratio_) {
    image_ = RenderChart(chart, size, devicePixelRatio);
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

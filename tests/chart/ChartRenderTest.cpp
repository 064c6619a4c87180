#include "chart/ChartModel.h"
#include "chart/ChartRenderer.h"
#include "ChartTestPrinters.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace veltrano {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kNodefinido = -9999.999;  // the analysis' undefined value, plotted unchanged
const QSize kSize(400, 300);

const QColor kFillA(255, 0, 0), kOutlineA(0, 160, 0);
const QColor kFillB(0, 0, 255), kOutlineB(255, 200, 0);
const QColor kLineColor(0, 0, 128);

// A chart 0..1 × 0..1 with point series "A" and "B" and line series "L", all empty.
ChartModel TestChart(MarkerShape shapeA = MarkerShape::Circle) {
  ChartModel c;
  c.SetTitle(QStringLiteral("test chart"));
  ChartAxis axis;
  axis.title = QStringLiteral("axis");
  c.SetBottomAxis(axis);
  c.SetLeftAxis(axis);
  c.AddSeries({"A", SeriesKind::Points, {shapeA, kFillA, kOutlineA, {}}});
  c.AddSeries({"B", SeriesKind::Points, {MarkerShape::Circle, kFillB, kOutlineB, {}}});
  c.AddSeries({"L", SeriesKind::Line, {MarkerShape::Circle, {}, {}, kLineColor}});
  return c;
}

QColor At(const QImage& image, QPoint p) { return image.pixelColor(p); }

TEST(RenderChart, MarkerCoversThreeByThreePixels) {
  // F = fill, O = outline, . = untouched; rows from top to bottom.
  struct Case {
    MarkerShape shape;
    const char* rows[3];
  };
  const Case cases[] = {
      {MarkerShape::Circle, {".O.", "OFO", ".O."}},
      {MarkerShape::DiagonalCross, {"O.O", ".O.", "O.O"}},  // a cross has no inside
  };
  for (const auto& c : cases) {
    ChartModel chart = TestChart(c.shape);
    const QImage blank = RenderChart(chart, kSize);
    const ChartPoint pt{0.4, 0.6};  // away from the grid lines at multiples of 0.25
    chart.Series("A").AddXY(pt.x, pt.y);
    const QImage image = RenderChart(chart, kSize);
    const QPoint centre = ChartGeometry(chart, kSize).Pixel(pt);
    for (int dy = -2; dy <= 2; ++dy) {
      for (int dx = -2; dx <= 2; ++dx) {
        const QPoint p = centre + QPoint(dx, dy);
        const char want = std::abs(dx) <= 1 && std::abs(dy) <= 1 ? c.rows[dy + 1][dx + 1] : '.';
        const QColor expected = want == 'F' ? kFillA : want == 'O' ? kOutlineA : At(blank, p);
        EXPECT_EQ(At(image, p), expected) << "shape " << int(c.shape) << " at offset " << dx << "," << dy;
      }
    }
  }
}

TEST(RenderChart, PointsOnTheAxisLimitsAreDrawnAndBeyondThemNot) {
  struct Case {
    ChartPoint p;
    bool shown;
  };
  const double justAbove1 = std::nextafter(1.0, 2.0), justBelow0 = std::nextafter(0.0, -1.0);
  const Case cases[] = {
      {{0, 0}, true},          {{1, 1}, true},           {{0, 1}, true},
      {{1, 0}, true},          {{0.5, 1}, true},         {{0, 0.5}, true},
      {{justAbove1, 0.5}, false}, {{justBelow0, 0.5}, false}, {{0.5, justAbove1}, false},
      {{0.5, justBelow0}, false}, {{0.5, kNodefinido}, false}, {{-kInf, 0.5}, false},
      {{0.5, kInf}, false},    {{kNaN, 0.5}, false},     {{0.5, kNaN}, false},
  };
  ChartModel chart = TestChart();
  const QImage blank = RenderChart(chart, kSize);
  const ChartGeometry g(chart, kSize);
  for (const auto& c : cases) {
    chart.Series("A").Clear();
    chart.Series("A").AddXY(c.p.x, c.p.y);
    const QImage image = RenderChart(chart, kSize);
    EXPECT_EQ(g.Shows(c.p), c.shown) << c.p.x << ", " << c.p.y;
    if (c.shown) {
      EXPECT_EQ(At(image, g.Pixel(c.p)), kFillA) << c.p.x << ", " << c.p.y;
    } else {
      EXPECT_TRUE(image == blank) << c.p.x << ", " << c.p.y;
    }
  }
}

TEST(RenderChart, LimitsMapToThePlotAreaEdges) {
  const ChartModel chart = TestChart();
  const ChartGeometry g(chart, kSize);
  const QRect plot = g.PlotArea();
  ASSERT_FALSE(plot.isEmpty());
  EXPECT_TRUE(QRect(QPoint(0, 0), kSize).contains(plot));
  EXPECT_EQ(g.Pixel({0, 0}), plot.bottomLeft());
  EXPECT_EQ(g.Pixel({1, 1}), plot.topRight());
}

TEST(RenderChart, HiddenSeriesLeaveNoTrace) {
  ChartModel chart = TestChart();
  chart.Series("A").AddXY(0.4, 0.4);
  const QImage onlyA = RenderChart(chart, kSize);
  chart.Series("B").AddXY(0.6, 0.6);
  chart.Series("L").AddXY(0, 1);
  chart.Series("L").AddXY(1, 0);
  chart.Series("B").SetActive(false);
  chart.Series("L").SetActive(false);
  EXPECT_TRUE(RenderChart(chart, kSize) == onlyA);

  chart.Series("B").SetActive(true);
  const QImage withB = RenderChart(chart, kSize);
  EXPECT_EQ(At(withB, ChartGeometry(chart, kSize).Pixel({0.6, 0.6})), kFillB);
}

TEST(RenderChart, LaterSeriesAreDrawnOnTop) {
  ChartModel chart = TestChart();
  const ChartPoint p{0.3, 0.7};
  chart.Series("A").AddXY(p.x, p.y);
  chart.Series("B").AddXY(p.x, p.y);
  const QPoint px = ChartGeometry(chart, kSize).Pixel(p);
  EXPECT_EQ(At(RenderChart(chart, kSize), px), kFillB);
  chart.Series("B").SetActive(false);
  EXPECT_EQ(At(RenderChart(chart, kSize), px), kFillA);
}

TEST(RenderChart, ManyPointsOnOnePixelLookLikeOne) {
  ChartModel chart = TestChart();
  chart.Series("A").AddXY(0.3, 0.3);
  chart.Series("A").AddXY(0.9, 0.1);
  const QImage two = RenderChart(chart, kSize);
  chart.Series("A").Clear();
  for (int i = 0; i < 10000; ++i) chart.Series("A").AddXY(0.3 + i * 1e-9, 0.3 - i * 1e-9);
  chart.Series("A").AddXY(0.9, 0.1);  // a lone point after the crowd is still drawn
  EXPECT_TRUE(RenderChart(chart, kSize) == two);
}

bool Navy(const QColor& c) { return c.blue() - c.red() > 40 && c.blue() - c.green() > 40; }

TEST(RenderChart, LinesJoinThePointsAndStayInsideThePlot) {
  ChartModel chart = TestChart();
  for (const ChartPoint p : {ChartPoint{0, 0}, {0.5, 0.5}, {0.6, kNodefinido}, {0.7, 0.7},
                             {0.8, kNaN}, {0.9, 0.9}, {2, 2}}) {
    chart.Series("L").AddXY(p.x, p.y);
  }
  const QImage image = RenderChart(chart, kSize);
  const ChartGeometry g(chart, kSize);
  EXPECT_TRUE(Navy(At(image, g.Pixel({0.25, 0.25}))));  // on the segment (0,0)-(0.5,0.5)
  EXPECT_TRUE(Navy(At(image, g.Pixel({0.95, 0.95}))));  // on (0.9,0.9)-(2,2), clipped at (1,1)
  // The NaN breaks the line: nothing between 0.7 and 0.9.
  EXPECT_FALSE(Navy(At(image, g.Pixel({0.8, 0.8}))));
  const QRect allowed = g.PlotArea();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!allowed.contains(x, y)) {
        ASSERT_FALSE(Navy(image.pixelColor(x, y))) << "line outside the plot at " << x << "," << y;
      }
    }
  }
}

TEST(RenderChart, DeviceRatioScalesImageAndMarkers) {
  ChartModel chart = TestChart();
  chart.Series("A").AddXY(0, 0);  // the corner maps to a whole pixel at every ratio
  const QImage image = RenderChart(chart, kSize, 2.0);
  EXPECT_EQ(image.size(), kSize * 2);
  EXPECT_EQ(image.devicePixelRatio(), 2.0);
  const QPoint c = ChartGeometry(chart, kSize).Pixel({0, 0}) * 2;
  EXPECT_EQ(At(image, c), kFillA);
  // A disc of radius 2: fill inside, an outline ring around it.
  EXPECT_EQ(At(image, c + QPoint(1, 0)), kFillA);
  EXPECT_EQ(At(image, c + QPoint(0, -1)), kFillA);
  EXPECT_EQ(At(image, c + QPoint(1, -1)), kOutlineA);
  EXPECT_EQ(At(image, c + QPoint(2, 0)), kOutlineA);
  EXPECT_EQ(At(image, c + QPoint(0, -2)), kOutlineA);
}

TEST(RenderChart, TooSmallForAPlotDrawsBackgroundOnly) {
  ChartModel chart = TestChart();
  chart.Series("A").AddXY(0.5, 0.5);
  EXPECT_TRUE(ChartGeometry(chart, QSize(20, 15)).PlotArea().isEmpty());
  const QImage image = RenderChart(chart, QSize(20, 15));
  EXPECT_EQ(image.size(), QSize(20, 15));
  EXPECT_TRUE(RenderChart(chart, QSize(0, 0)).isNull());
}

TEST(ChartImageCache, RebuildsOnlyWhenWhatShowsChanges) {
  ChartModel chart = TestChart();
  ChartImageCache cache;
  const auto image = [&](QSize size = kSize, qreal ratio = 1.0) {
    return cache.Image(chart, size, ratio).constBits();
  };
  const uchar* first = image();
  EXPECT_EQ(cache.RebuildCount(), 1u);

  struct Step {
    const char* what;
    std::function<void()> change;
    QSize size;
    qreal ratio;
    bool rebuilds;
  };
  const Step steps[] = {
      {"plain repaint", [] {}, kSize, 1.0, false},
      {"AddXY", [&] { chart.Series("A").AddXY(0.5, 0.5); }, kSize, 1.0, true},
      {"hiding", [&] { chart.Series("A").SetActive(false); }, kSize, 1.0, true},
      {"hiding again", [&] { chart.Series("A").SetActive(false); }, kSize, 1.0, false},
      {"showing", [&] { chart.Series("A").SetActive(true); }, kSize, 1.0, true},
      {"Clear", [&] { chart.Series("A").Clear(); }, kSize, 1.0, true},
      {"resize", [] {}, QSize(500, 300), 1.0, true},
      {"same size", [] {}, QSize(500, 300), 1.0, false},
      {"device ratio", [] {}, QSize(500, 300), 2.0, true},
      {"title", [&] { chart.SetTitle(QStringLiteral("new")); }, QSize(500, 300), 2.0, true},
  };
  EXPECT_EQ(image(), first) << "the cached image is handed back as is";
  for (const auto& s : steps) {
    const auto before = cache.RebuildCount();
    s.change();
    image(s.size, s.ratio);
    EXPECT_EQ(cache.RebuildCount() - before, s.rebuilds ? 1u : 0u) << s.what;
  }
  cache.Invalidate();
  image(QSize(500, 300), 2.0);
  EXPECT_EQ(cache.RebuildCount(), 9u);
}

TEST(ChartImageCache, TellsChartsApart) {
  ChartModel a = TestChart(), b = TestChart();
  b.Series("A").AddXY(0.5, 0.5);
  ChartImageCache cache;
  const QImage imageA = cache.Image(a, kSize);
  EXPECT_FALSE(cache.Image(b, kSize) == imageA);
  EXPECT_EQ(cache.RebuildCount(), 2u);
}

}  // namespace
}  // namespace veltrano

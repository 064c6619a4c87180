#include "chart/ChartModel.h"
#include "chart/ChartRenderer.h"
#include "ChartTestPrinters.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

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

// The vector path drawn onto an image: its aliased parts land on the same pixels as the
// raster path's.
QImage VectorImage(const ChartModel& chart, OutsidePoints* outside = nullptr) {
  QImage image(kSize, QImage::Format_RGB32);
  QPainter painter(&image);
  const OutsidePoints o = DrawChart(painter, chart, kSize);
  if (outside) *outside = o;
  return image;
}

// Colours within a few units per channel: antialiasing and blending round differently.
bool Near(const QColor& a, const QColor& b, int tolerance = 3) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

// The pixels where two images of one size differ.
QRect Difference(const QImage& a, const QImage& b) {
  QRect r;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) != b.pixel(x, y)) r |= QRect(x, y, 1, 1);
    }
  }
  return r;
}

const QColor kBarColor(200, 0, 200);

TEST(RenderChart, MarkerCoversItsPixels) {
  // F = fill, O = outline, . = untouched; rows from top to bottom, 2r + 1 of them.
  struct Case {
    MarkerShape shape;
    int radius;
    std::vector<const char*> rows;
  };
  const Case cases[] = {
      {MarkerShape::Circle, 1, {".O.", "OFO", ".O."}},
      {MarkerShape::DiagonalCross, 1, {"O.O", ".O.", "O.O"}},  // a cross has no inside
      {MarkerShape::Plus, 1, {".O.", "OOO", ".O."}},
      {MarkerShape::Square, 1, {"OOO", "OFO", "OOO"}},
      {MarkerShape::Square, 2, {"OOOOO", "OFFFO", "OFFFO", "OFFFO", "OOOOO"}},
      {MarkerShape::Diamond, 2, {"..O..", ".OFO.", "OFFFO", ".OFO.", "..O.."}},
      {MarkerShape::TriangleUp, 2, {"..O..", "..O..", ".OFO.", ".OFO.", "OOOOO"}},
      {MarkerShape::TriangleDown, 2, {"OOOOO", ".OFO.", ".OFO.", "..O..", "..O.."}},
      {MarkerShape::Circle, 3, {"...O...", ".OOFOO.", ".OFFFO.", "OFFFFFO", ".OFFFO.", ".OOFOO.", "...O..."}},
  };
  for (const auto& c : cases) {
    ChartModel chart = TestChart(c.shape);
    SeriesLook look = chart.Series("A").Look();
    look.markerRadius = c.radius;
    chart.Series("A").SetLook(look);
    const QImage blank = RenderChart(chart, kSize);
    const ChartPoint pt{0.4, 0.6};  // away from the grid lines at multiples of 0.25
    chart.Series("A").AddXY(pt.x, pt.y);
    const QImage image = RenderChart(chart, kSize);
    const QPoint centre = ChartGeometry(chart, kSize).Pixel(pt);
    const int r = c.radius;
    for (int dy = -r - 1; dy <= r + 1; ++dy) {
      for (int dx = -r - 1; dx <= r + 1; ++dx) {
        const QPoint p = centre + QPoint(dx, dy);
        const char want = std::abs(dx) <= r && std::abs(dy) <= r ? c.rows[dy + r][dx + r] : '.';
        const QColor expected = want == 'F' ? kFillA : want == 'O' ? kOutlineA : At(blank, p);
        EXPECT_EQ(At(image, p), expected)
            << "shape " << int(c.shape) << " radius " << r << " at offset " << dx << "," << dy;
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
  chart.Series("B").AddXY(0.6, 0.6, 0.2, 0.9);  // its error bar goes with it
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

TEST(RenderChart, ErrorBarsSpanTheirIntervalWithCapsOnBothPaths) {
  ChartModel chart = TestChart();
  chart.AddSeries({"E", SeriesKind::Points, {MarkerShape::Circle, kFillA, kOutlineA, kBarColor}});
  chart.Series("E").AddXY(0.4, 0.5, 0.3, 0.7);
  chart.Series("E").AddXY(0.7, 0.1, -0.5, 0.2);  // runs off the bottom: cut there, no cap
  chart.Series("E").AddXY(0.9, 0.5, kNaN, 0.6);  // no lower end: no bar
  const ChartGeometry g(chart, kSize);
  const QRect plot = g.PlotArea();
  const QPoint top = g.Pixel({0.4, 0.7}), bottom = g.Pixel({0.4, 0.3}), centre = g.Pixel({0.4, 0.5});
  const QPoint cut = g.Pixel({0.7, 0.2});
  for (const QImage& image : {RenderChart(chart, kSize), VectorImage(chart)}) {
    for (int y = top.y(); y <= bottom.y(); ++y) {
      if (std::abs(y - centre.y()) <= 1) continue;  // the marker
      EXPECT_EQ(At(image, {top.x(), y}), kBarColor) << "bar at row " << y;
    }
    for (int dx = -3; dx <= 3; ++dx) {
      EXPECT_EQ(At(image, top + QPoint(dx, 0)), kBarColor) << "upper cap at " << dx;
      EXPECT_EQ(At(image, bottom + QPoint(dx, 0)), kBarColor) << "lower cap at " << dx;
    }
    EXPECT_NE(At(image, top + QPoint(4, 0)), kBarColor);
    EXPECT_NE(At(image, top - QPoint(0, 1)), kBarColor);
    EXPECT_NE(At(image, bottom + QPoint(0, 1)), kBarColor);

    EXPECT_EQ(At(image, cut - QPoint(2, 0)), kBarColor) << "the cap at the upper end";
    EXPECT_EQ(At(image, {cut.x(), plot.bottom()}), kBarColor) << "the bar reaches the plot's edge";
    EXPECT_NE(At(image, {cut.x() + 2, plot.bottom()}), kBarColor) << "no cap where the bar is cut";
    EXPECT_NE(At(image, {cut.x(), plot.bottom() + 1}), kBarColor) << "nothing below the plot";
    EXPECT_NE(At(image, g.Pixel({0.9, 0.55})), kBarColor) << "a bar without a lower end";
  }
}

TEST(RenderChart, BandShadesBetweenLowersAndUppersWithinThePlot) {
  ChartModel chart = TestChart();
  SeriesLook look{MarkerShape::Circle, {}, {}, kBarColor};
  look.intervals = IntervalStyle::Band;
  chart.AddSeries({"E", SeriesKind::Line, look});
  chart.Series("E").AddXY(0.2, 0.5, 0.4, 0.6);
  chart.Series("E").AddXY(0.8, 0.5, 0.4, 1e12);  // far above: cut at the plot's top
  chart.Series("E").AddXY(0.9, 0.5, kNaN, 0.6);  // breaks the band
  const QImage blank = RenderChart(TestChart(), kSize);
  const ChartGeometry g(chart, kSize);
  // The band colour over white: a fifth of the way from white to the line colour.
  const auto over = [](int c) { return c + (255 - c) * (255 - kBandAlpha) / 255; };
  const QColor shade(over(kBarColor.red()), over(kBarColor.green()), over(kBarColor.blue()));
  for (const QImage& image : {RenderChart(chart, kSize), VectorImage(chart)}) {
    EXPECT_TRUE(Near(At(image, g.Pixel({0.3, 0.45})), shade)) << "inside the band";
    EXPECT_TRUE(Near(At(image, g.Pixel({0.7, 0.95})), shade)) << "under the far upper end";
    EXPECT_EQ(At(image, g.Pixel({0.3, 0.35})), At(blank, g.Pixel({0.3, 0.35}))) << "below the lowers";
    EXPECT_EQ(At(image, g.Pixel({0.85, 0.45})), At(blank, g.Pixel({0.85, 0.45}))) << "after the break";
    const QRect changed = Difference(image, blank);
    EXPECT_TRUE(g.PlotArea().contains(changed)) << "band or line outside the plot";
  }
}

TEST(RenderChart, LineWithMarkersAndReferenceLineAcrossThePlot) {
  ChartModel chart = TestChart();
  chart.AddSeries({"M", SeriesKind::LineWithMarkers, {MarkerShape::Square, kFillA, kOutlineA, kLineColor}});
  chart.Series("M").AddXY(0.1, 0.1);
  chart.Series("M").AddXY(0.9, 0.9);
  chart.AddReferenceLine({.intercept = 0.6, .color = kBarColor, .style = Qt::SolidLine});
  const QImage image = RenderChart(chart, kSize);
  const ChartGeometry g(chart, kSize);
  EXPECT_EQ(At(image, g.Pixel({0.1, 0.1})), kFillA);
  EXPECT_EQ(At(image, g.Pixel({0.1, 0.1}) + QPoint(1, 1)), kOutlineA);
  EXPECT_TRUE(Navy(At(image, g.Pixel({0.4, 0.4}))));
  const int row = g.Pixel({0, 0.6}).y();
  const QRect plot = g.PlotArea();
  for (const int x : {plot.left() + 1, plot.center().x() + 7, plot.right() - 1}) {
    EXPECT_EQ(At(image, {x, row}), kBarColor) << "reference line at x " << x;
  }
}

TEST(RenderChart, CountsThePointsOutsideTheAxesOnBothPaths) {
  ChartModel chart = TestChart();
  chart.SetUndefinedValue(kNodefinido);
  chart.AddSeries({"M", SeriesKind::LineWithMarkers, {}});
  for (const ChartPoint p : {ChartPoint{0.5, -0.1}, {0.5, -kInf}, {-0.2, -0.2} /* below first */,
                             {0.5, 1.5}, {-0.1, 0.5}, {1.1, 0.5}, {kInf, 0.5},
                             {0, 0}, {1, 1}, {0.5, kNaN}, {kNaN, -5}, {0.5, kNodefinido}}) {
    chart.Series("A").AddXY(p.x, p.y);
  }
  chart.Series("L").AddXY(0, 0.5);
  chart.Series("L").AddXY(0.5, 2);  // a line's points count too
  chart.Series("M").AddXY(2, 0.5);  // once, though drawn as line and marker
  chart.Series("B").AddXY(0.5, -1);
  chart.Series("B").SetActive(false);  // hidden: not counted
  const OutsidePoints expected{.below = 3, .above = 2, .left = 1, .right = 3};

  OutsidePoints raster, doubled, vector;
  RenderChart(chart, kSize, 1.0, &raster);
  RenderChart(chart, kSize, 2.0, &doubled);
  VectorImage(chart, &vector);
  EXPECT_EQ(raster, expected);
  EXPECT_EQ(doubled, expected);
  EXPECT_EQ(vector, expected);
}

TEST(OutsideNote, NamesEachDirectionThatHasPoints) {
  struct Case {
    OutsidePoints outside;
    const char* text;
  };
  const Case cases[] = {
      {{}, ""},
      {{.below = 1}, "1 point below the axis"},
      {{.below = 77, .above = 3}, "77 points below the axis\n3 points above the axis"},
      {{.above = 1, .left = 2, .right = 1},
       "1 point above the axis\n2 points left of the axis\n1 point right of the axis"},
  };
  for (const auto& c : cases) EXPECT_EQ(OutsideNote(c.outside).toStdString(), c.text);
}

TEST(RenderChart, NoteOfOutsidePointsOnlyWhenThereAreSomeAndNotWhenFitted) {
  ChartModel chart = TestChart();
  chart.Series("A").AddXY(0.5, 0.5);
  const QImage plain = RenderChart(chart, kSize);
  ChartStyle style = chart.Style();
  style.noteOutsidePoints = true;
  chart.SetStyle(style);
  EXPECT_TRUE(RenderChart(chart, kSize) == plain) << "no note without points outside";

  chart.Series("A").AddXY(0.6, -1);
  style.noteOutsidePoints = false;
  chart.SetStyle(style);
  const QImage unnoted = RenderChart(chart, kSize);
  style.noteOutsidePoints = true;
  chart.SetStyle(style);
  const QRect note = Difference(RenderChart(chart, kSize), unnoted);
  const QRect plot = ChartGeometry(chart, kSize).PlotArea();
  ASSERT_FALSE(note.isEmpty());
  EXPECT_TRUE(plot.contains(note));
  EXPECT_GT(note.top(), plot.center().y()) << "in the bottom-right corner";
  EXPECT_GT(note.left(), plot.center().x()) << "in the bottom-right corner";

  chart.SetFitAxesToData(true);
  OutsidePoints outside;
  const QImage fitted = RenderChart(chart, kSize, 1.0, &outside);
  EXPECT_EQ(outside.Total(), 0u);
  EXPECT_EQ(At(fitted, ChartGeometry(chart, kSize).Pixel({0.6, -1})), kFillA);
}

// Labels for the legend; "B" is hidden, "L" is a line.
ChartModel LegendChart(LegendPosition position) {
  ChartModel chart = TestChart();
  chart.Series("A").SetLabel(QStringLiteral("estimate A"));
  chart.Series("B").SetActive(false);
  chart.AddReferenceLine(
      {.intercept = 0.95, .color = kBarColor, .style = Qt::SolidLine, .label = QStringLiteral("0.95")});
  chart.SetLegend(position);
  return chart;
}

TEST(RenderChart, LegendOnlyWhenAskedListingTheShownSeries) {
  const QImage without = RenderChart(LegendChart(LegendPosition::Hidden), kSize);
  EXPECT_TRUE(ChartGeometry(LegendChart(LegendPosition::Hidden), kSize).LegendArea().isEmpty());

  const ChartModel chart = LegendChart(LegendPosition::TopRight);
  const ChartGeometry g(chart, kSize);
  const QRect area = g.LegendArea(), plot = g.PlotArea();
  ASSERT_FALSE(area.isEmpty());
  EXPECT_TRUE(plot.contains(area));
  EXPECT_GT(area.left(), plot.center().x());
  EXPECT_LT(area.bottom(), plot.center().y());
  const QImage image = RenderChart(chart, kSize);
  EXPECT_TRUE(area.contains(Difference(image, without))) << "the legend changes nothing else";
  int a = 0, b = 0, reference = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      a += Near(c, kFillA, 40);
      b += Near(c, kFillB, 40) || Near(c, kOutlineB, 40);
      reference += c == kBarColor;
    }
  }
  EXPECT_GT(a, 0) << "A's marker sample";
  EXPECT_GT(reference, 0) << "the reference line's sample";
  EXPECT_EQ(b, 0) << "hidden B is listed";

  const ChartGeometry outside(LegendChart(LegendPosition::OutsideRight), kSize);
  EXPECT_GT(outside.LegendArea().left(), outside.PlotArea().right());
  EXPECT_LT(outside.PlotArea().width(), plot.width());

  ChartModel unlisted = LegendChart(LegendPosition::TopRight);
  for (const char* name : {"A", "B", "L"}) unlisted.Series(name).SetInLegend(false);
  unlisted.AddReferenceLine({.intercept = 0.5});  // no label: not listed
  EXPECT_FALSE(ChartGeometry(unlisted, kSize).LegendArea().isEmpty()) << "the labelled line is still listed";
  ChartModel empty = TestChart();
  for (const char* name : {"A", "B", "L"}) empty.Series(name).SetInLegend(false);
  empty.SetLegend(LegendPosition::TopRight);
  EXPECT_TRUE(ChartGeometry(empty, kSize).LegendArea().isEmpty()) << "nothing to list";
}

TEST(ChartGeometry, BestInsideLegendTakesTheCornerThatHidesLeast) {
  struct Case {
    const char* crowded;
    std::vector<ChartPoint> points;
    bool top, right;  // where the legend should go
  };
  // The legend chart's reference line at 0.95 runs through both top corners.
  std::vector<ChartPoint> bottomRight, bottomBoth;
  for (int i = 0; i < 20; ++i) {
    bottomRight.push_back({0.8 + i * 0.01, 0.05});
    bottomBoth.push_back({0.8 + i * 0.01, 0.05});
    bottomBoth.push_back({0.01 + i * 0.01, 0.05});
  }
  const Case cases[] = {
      {"the reference line only", {}, false, true},
      {"bottom right", bottomRight, false, false},
      {"both bottom corners", bottomBoth, true, true},
  };
  for (const auto& c : cases) {
    ChartModel chart = LegendChart(LegendPosition::BestInside);
    for (const auto& p : c.points) chart.Series("A").AddXY(p.x, p.y);
    const ChartGeometry g(chart, kSize);
    const QPoint mid = g.LegendArea().center(), centre = g.PlotArea().center();
    EXPECT_EQ(mid.y() < centre.y(), c.top) << c.crowded;
    EXPECT_EQ(mid.x() > centre.x(), c.right) << c.crowded;
  }
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

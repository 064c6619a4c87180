#include "chart/ChartExport.h"
#include "chart/ChartRenderer.h"
#include "ChartTestPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>

#include <set>
#include <string>
#include <utility>

namespace veltrano {
namespace {

using ::testing::StartsWith;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

const QSize kSize(640, 480);

// A chart 0..1 × 0..1 with point series "A" (shown) and "B" (hidden).
ChartModel TestChart() {
  ChartModel c;
  c.SetTitle(QStringLiteral("export"));
  c.AddSeries({"A", SeriesKind::Points, {MarkerShape::Circle, Qt::red, Qt::darkRed, {}}});
  c.AddSeries({"B", SeriesKind::Points, {MarkerShape::Circle, Qt::blue, Qt::blue, {}}});
  c.Series("B").SetActive(false);
  return c;
}

class ChartExport : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

private:
  QTemporaryDir dir_;
};

TEST_F(ChartExport, PngHoldsTheRenderedImage) {
  ChartModel chart = ChartModel::Chart1();
  chart.Series("sPoint_DSEM").AddXY(0.5, 0.45);
  chart.Series("sLine").AddXY(0, 0);
  chart.Series("sLine").AddXY(1, 1);
  const QString path = Path("chart.PNG");
  SaveChart(chart, path, kSize);
  const QImage saved(path, "png");
  ASSERT_FALSE(saved.isNull());
  EXPECT_TRUE(saved.convertToFormat(QImage::Format_RGB32) ==
              RenderChart(chart, kSize).convertToFormat(QImage::Format_RGB32));
}

TEST_F(ChartExport, SvgWritesOneMarkerPerCoveredPixel) {
  ChartModel chart = TestChart();
  // 10^5 points within half a pixel or so of (0.5, 0.5), then one far away.
  for (int i = 0; i < 100000; ++i) chart.Series("A").AddXY(0.5 + (i % 100) * 1e-6, 0.5 + (i % 77) * 1e-6);
  const ChartPoint lone{0.1, 0.9};
  chart.Series("A").AddXY(lone.x, lone.y);
  for (int i = 0; i < 1000; ++i) chart.Series("B").AddXY(i / 1000.0, 0.2);  // hidden: not written

  const ChartGeometry g(chart, kSize);
  std::set<std::pair<int, int>> pixels;
  for (const auto& p : chart.Series("A").Points()) pixels.emplace(g.Pixel(p).x(), g.Pixel(p).y());
  ASSERT_LE(pixels.size(), 5u);

  const QString path = Path("chart.svg");
  SaveChart(chart, path, kSize);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray svg = file.readAll();
  EXPECT_LT(svg.size(), 20000);
  EXPECT_EQ(svg.count("<circle"), static_cast<qsizetype>(pixels.size()));
  const QPoint at = g.Pixel(lone);
  EXPECT_TRUE(svg.contains(QStringLiteral("cx=\"%1.5\" cy=\"%2.5\"").arg(at.x()).arg(at.y()).toLatin1()))
      << "the lone point's marker is missing";
  EXPECT_TRUE(QSvgRenderer(svg).isValid());
}

// A plot of a simulation study: lines with markers of every palette shape, error bars, a
// band, a reference line, a legend, fitted axes. No grid: its dots come out too faint
// in the antialiased SVG to compare.
ChartModel StudyChart() {
  ChartModel c;
  c.SetTitle(QStringLiteral("coverage"));
  ChartStyle style;
  style.grid = style.background;
  c.SetStyle(style);
  for (std::size_t i = 0; i < 7; ++i) {
    SeriesLook look = PaletteLook(i);
    if (i == 0) look.intervals = IntervalStyle::Band;
    ChartSeries s(std::string("n") += std::to_string(i), SeriesKind::LineWithMarkers, look);
    for (int d = 0; d <= 4; ++d) {
      const double y = 0.9 + 0.01 * i + 0.005 * d;
      s.AddXY(0.2 * d, y, y - 0.01, y + 0.01);
    }
    c.AddSeries(std::move(s));
  }
  c.AddReferenceLine({.intercept = 0.95, .color = Qt::darkGray, .label = QStringLiteral("0.95")});
  c.SetLegend(LegendPosition::OutsideRight);
  c.SetFitAxesToData(true);
  return c;
}

TEST_F(ChartExport, SvgOfAStudyPlotLooksLikeItsPng) {
  const ChartModel chart = StudyChart();
  const QString path = Path("study.svg");
  SaveChart(chart, path, kSize);
  QSvgRenderer svg(path);
  ASSERT_TRUE(svg.isValid());
  QImage drawn(kSize, QImage::Format_RGB32);
  drawn.fill(Qt::white);
  {
    QPainter painter(&drawn);
    svg.render(&painter);
  }
  const QImage png = RenderChart(chart, kSize);
  // The SVG is drawn antialiased, so its hairlines spread over two pixels where the PNG's
  // cover one. Compared is where there is ink, give or take a pixel: a missing legend,
  // band or set of error bars leaves hundreds of inked pixels without a match.
  const auto ink = [](const QImage& image, int x, int y) {
    const QColor c = image.pixelColor(x, y);
    return 3 * 255 - c.red() - c.green() - c.blue() > 60;  // the band is ink too
  };
  const auto inkNear = [&](const QImage& image, int x, int y) {
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        if (image.rect().contains(x + dx, y + dy) && ink(image, x + dx, y + dy)) return true;
      }
    }
    return false;
  };
  int unmatched = 0;
  for (int y = 0; y < kSize.height(); ++y) {
    for (int x = 0; x < kSize.width(); ++x) {
      unmatched += (ink(png, x, y) && !inkNear(drawn, x, y)) + (ink(drawn, x, y) && !inkNear(png, x, y));
    }
  }
  EXPECT_LT(unmatched, 100);
}

TEST(ChartFormat, FollowsTheExtensionInAnyCase) {
  EXPECT_EQ(ChartFormatFromPath(QStringLiteral("a/b.png")), ChartFileFormat::Png);
  EXPECT_EQ(ChartFormatFromPath(QStringLiteral("B.PnG")), ChartFileFormat::Png);
  EXPECT_EQ(ChartFormatFromPath(QStringLiteral("c.svg")), ChartFileFormat::Svg);
  EXPECT_EQ(ChartFormatFromPath(QStringLiteral("d.SVG")), ChartFileFormat::Svg);
}

TEST_F(ChartExport, UnknownExtensionIsAnErrorAndWritesNothing) {
  for (const char* name : {"chart.jpg", "chart", "chart.svg.txt", "png"}) {
    const QString path = Path(name);
    const std::string expected =
        "Cannot save chart to \"" + path.toStdString() + "\": the name must end in .png or .svg";
    EXPECT_THAT([&] { SaveChart(TestChart(), path, kSize); }, ThrowsMessage<ChartError>(StrEq(expected)));
    EXPECT_FALSE(QFileInfo::exists(path)) << name;
  }
}

TEST_F(ChartExport, UnwritableFileIsAnErrorNamingIt) {
  for (const char* name : {"missing/chart.png", "missing/chart.svg"}) {
    const QString path = Path(name);
    EXPECT_THAT([&] { SaveChart(TestChart(), path, kSize); },
                ThrowsMessage<ChartError>(StartsWith("Cannot save chart to \"" + path.toStdString() + "\": ")));
  }
}

TEST_F(ChartExport, EmptySizeIsAnError) {
  const QString path = Path("chart.png");
  EXPECT_THAT([&] { SavePng(TestChart(), path, QSize(0, 480)); },
              ThrowsMessage<ChartError>(StrEq("Cannot save chart to \"" + path.toStdString() +
                                              "\": the size 0 x 480 has no pixels")));
  EXPECT_THAT([&] { SaveSvg(TestChart(), path, QSize(640, -1)); },
              ThrowsMessage<ChartError>(::testing::EndsWith("the size 640 x -1 has no pixels")));
}

}  // namespace
}  // namespace veltrano

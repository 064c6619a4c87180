#include "chart/ChartError.h"
#include "chart/ChartModel.h"
#include "ChartTestPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace veltrano {
namespace {

using ::testing::ElementsAreArray;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// y tells the points apart, so the expected order shows where each one went.
struct OrderCase {
  const char* name;
  std::vector<ChartPoint> added;
  std::vector<ChartPoint> expected;
};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }

class AddXYOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(AddXYOrder, KeepsAscendingXAndArrivalOrderWithinEqualX) {
  const auto& c = GetParam();
  ChartSeries s("s", SeriesKind::Points, {});
  for (const auto& p : c.added) s.AddXY(p.x, p.y);
  EXPECT_THAT(s.Points(), ElementsAreArray(c.expected));
}

const OrderCase kOrderCases[] = {
    {"Appends", {{0, 1}, {0.5, 2}, {1, 3}}, {{0, 1}, {0.5, 2}, {1, 3}}},
    {"AppendsEqualLastX", {{0.5, 1}, {0.5, 2}}, {{0.5, 1}, {0.5, 2}}},
    {"InsertsAfterEqualX", {{0, 1}, {1, 2}, {0, 3}}, {{0, 1}, {0, 3}, {1, 2}}},
    {"InsertsAfterLastOfSeveralEqual", {{0.2, 1}, {0.2, 2}, {0.9, 3}, {0.2, 4}},
     {{0.2, 1}, {0.2, 2}, {0.2, 4}, {0.9, 3}}},
    {"InsertsAtFront", {{0.5, 1}, {1, 2}, {-1, 3}}, {{-1, 3}, {0.5, 1}, {1, 2}}},
    {"InsertsBetween", {{0, 1}, {1, 2}, {0.5, 3}}, {{0, 1}, {0.5, 3}, {1, 2}}},
    // Two runs add the reference line (0,0)-(1,1) twice: it stays one line, drawn twice.
    {"ReferenceLineTwice", {{0, 0}, {1, 1}, {0, 0}, {1, 1}}, {{0, 0}, {0, 0}, {1, 1}, {1, 1}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, AddXYOrder, ::testing::ValuesIn(kOrderCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The independent reference: insert each point at once, before the first point with a
// greater x (numbers before NaN, NaN at the very end).
void InsertAtOnce(std::vector<ChartPoint>& v, ChartPoint p) {
  const auto at = std::find_if(v.begin(), v.end(), [&](const ChartPoint& e) {
    return !std::isnan(p.x) && (std::isnan(e.x) || e.x > p.x);
  });
  v.insert(at, p);
}

std::vector<double> Ys(const std::vector<ChartPoint>& v) {
  std::vector<double> ys;
  for (const auto& p : v) ys.push_back(p.y);
  return ys;
}

TEST(ChartSeries, OrderMatchesInsertingEachPointAtOnce) {
  // Few distinct x values, so ties are common; y numbers the points to tell them apart;
  // the points are read at random moments, so merges happen at every stage.
  const double xs[] = {0.0, 0.25, 0.5, 0.5, 0.75, 1.0, -kNaN, 0.1};
  std::mt19937 gen(20140101);
  for (int trial = 0; trial < 40; ++trial) {
    ChartSeries s("s", SeriesKind::Points, {});
    std::vector<ChartPoint> reference;
    for (int i = 0; i < 300; ++i) {
      const ChartPoint p{xs[gen() % std::size(xs)], static_cast<double>(i)};
      s.AddXY(p.x, p.y);
      InsertAtOnce(reference, p);
      ASSERT_EQ(s.Count(), reference.size());
      if (gen() % 32 == 0) {
        ASSERT_EQ(Ys(s.Points()), Ys(reference)) << "trial " << trial << ", point " << i;
      }
    }
    ASSERT_EQ(Ys(s.Points()), Ys(reference)) << "trial " << trial;
  }
}

TEST(ChartSeries, NotANumberXGoesLastAndNumbersStaySorted) {
  ChartSeries s("s", SeriesKind::Points, {});
  for (const ChartPoint p : {ChartPoint{0.5, 1}, {kNaN, 2}, {0.25, 3}, {0.75, 4}, {kNaN, 5}, {0.5, 6}}) {
    s.AddXY(p.x, p.y);
  }
  EXPECT_THAT(Ys(s.Points()), ElementsAreArray({3.0, 1.0, 6.0, 4.0, 2.0, 5.0}));
  EXPECT_TRUE(std::isnan(s.Points()[4].x) && std::isnan(s.Points()[5].x));
}

TEST(ChartSeries, RevisionChangesWithEveryVisibleChangeOnly) {
  ChartSeries s("s", SeriesKind::Points, {});
  auto r = s.Revision();
  const auto changed = [&] { const bool c = s.Revision() != r; r = s.Revision(); return c; };
  s.AddXY(1, 1);
  EXPECT_TRUE(changed()) << "AddXY";
  s.AddXY(0, 1);
  EXPECT_TRUE(changed()) << "AddXY inserting";
  s.SetActive(false);
  EXPECT_TRUE(changed()) << "hiding";
  s.SetActive(false);
  EXPECT_FALSE(changed()) << "hiding a hidden series";
  s.Clear();
  EXPECT_TRUE(changed()) << "Clear";
  EXPECT_EQ(s.Count(), 0u);
}

TEST(ChartModel, RevisionsOfDifferentChartsNeverCoincide) {
  ChartModel a = ChartModel::Chart1();
  ChartModel b = ChartModel::Chart1();
  EXPECT_NE(a.Revision(), b.Revision());
  const auto before = a.Revision();
  a.Series("sLine").AddXY(0, 0);
  EXPECT_NE(a.Revision(), before);
  EXPECT_NE(a.Revision(), b.Revision());
}

struct SeriesExpectation {
  const char* name;
  SeriesKind kind;
  MarkerShape marker;
  QColor fill, outline, line;
};

void ExpectSeries(const ChartModel& chart, const std::vector<SeriesExpectation>& expected) {
  ASSERT_EQ(chart.SeriesCount(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& e = expected[i];
    const ChartSeries& s = chart.Series(SeriesHandle{i});
    SCOPED_TRACE(e.name);
    EXPECT_EQ(s.Name(), e.name);
    EXPECT_EQ(chart.Handle(e.name), SeriesHandle{i});
    EXPECT_EQ(s.Kind(), e.kind);
    EXPECT_TRUE(s.Active());
    EXPECT_EQ(s.Count(), 0u);
    if (e.kind == SeriesKind::Points) {
      EXPECT_EQ(s.Look().marker, e.marker);
      EXPECT_EQ(s.Look().fill, e.fill);
      EXPECT_EQ(s.Look().outline, e.outline);
    } else {
      EXPECT_EQ(s.Look().line, e.line);
    }
  }
}

void ExpectAxis(const ChartAxis& a, double min, double max, double inc, const char* title,
                int pointSize) {
  EXPECT_EQ(a.min, min);
  EXPECT_EQ(a.max, max);
  EXPECT_EQ(a.increment, inc);
  EXPECT_EQ(a.title, QString::fromLatin1(title));
  EXPECT_EQ(a.titlePointSize, pointSize);
  EXPECT_TRUE(a.titleBold);
}

const QColor kMaroon(128, 0, 0), kNavy(0, 0, 128), kBlue(0, 0, 255), kRed(255, 0, 0);

TEST(ChartModel, Chart1IsTheEstimatesChart) {
  const ChartModel c = ChartModel::Chart1();
  EXPECT_EQ(c.Title(), QStringLiteral("Delta (MLE) vs True Knowledge (Do*)"));
  ExpectAxis(c.BottomAxis(), 0, 1, 0.25, "Do*", 10);
  ExpectAxis(c.LeftAxis(), 0, 1, 0.25, "Delta (MLE)", 10);
  ExpectSeries(c, {{"sPoint_DSEM", SeriesKind::Points, MarkerShape::Circle, kMaroon, kMaroon, {}},
                   {"sPoint_Dcond", SeriesKind::Points, MarkerShape::Circle, kBlue, kBlue, {}},
                   {"sLine", SeriesKind::Line, {}, {}, {}, kNavy},
                   {"sDLN", SeriesKind::Points, MarkerShape::DiagonalCross, kRed, kBlue, {}}});
}

TEST(ChartModel, Chart2IsTheResidualChart) {
  const ChartModel c = ChartModel::Chart2();
  EXPECT_EQ(c.Title(), QStringLiteral("Standarized residual (Delta MLE - Tue Knowledge Do*)/SE(Delta)"));
  ExpectAxis(c.BottomAxis(), 0, 1, 0.25, "Do*", 10);
  ExpectAxis(c.LeftAxis(), -4, 4, 0.5, "Standarized Residual", 11);
  const QColor brown(128, 64, 64);
  ExpectSeries(c, {{"rPoint_DSEM", SeriesKind::Points, MarkerShape::Circle, brown, brown, {}},
                   {"rLine", SeriesKind::Line, {}, {}, {}, kNavy}});
}

TEST(ChartModel, BothChartsShareTheTitleLook) {
  for (const ChartModel& c : {ChartModel::Chart1(), ChartModel::Chart2()}) {
    EXPECT_EQ(c.Style().background, QColor(Qt::white));
    EXPECT_EQ(c.Style().grid, QColor(192, 192, 192));
    EXPECT_EQ(c.Style().titleColor, QColor(128, 64, 64));
    EXPECT_EQ(c.Style().titlePointSize, 10);
    EXPECT_TRUE(c.Style().titleBold);
  }
}

TEST(ChartModel, UnknownSeriesIsAnError) {
  ChartModel c = ChartModel::Chart2();
  EXPECT_FALSE(c.Find("sLine").has_value());
  EXPECT_THAT([&] { c.Handle("sLine"); },
              ::testing::ThrowsMessage<ChartError>(::testing::StrEq(
                  "Chart \"Standarized residual (Delta MLE - Tue Knowledge Do*)/SE(Delta)\" has no "
                  "series named \"sLine\"")));
  EXPECT_THAT([&] { c.Series(SeriesHandle{2}); },
              ::testing::ThrowsMessage<ChartError>(::testing::EndsWith(
                  "has no series number 2 (it has 2)")));
}

}  // namespace
}  // namespace veltrano

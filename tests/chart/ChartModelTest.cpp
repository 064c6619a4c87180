#include "chart/ChartError.h"
#include "chart/ChartModel.h"
#include "ChartTestPrinters.h"

#include "analysis/tAnalisis.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
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
    EXPECT_TRUE(c.Style().noteOutsidePoints);
    EXPECT_EQ(c.UndefinedValue(), std::optional<double>(Nodefinido));
    EXPECT_EQ(c.Legend(), LegendPosition::Hidden);
    EXPECT_FALSE(c.FitsAxesToData());
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

// Expected ranges worked out by hand from the rule: the smallest increment of
// {1, 2, 2.5, 5} × 10^e whose multiples around the data take at most 8 steps.
struct NiceCase {
  const char* name;
  double low, high;
  std::optional<AxisRange> expected;
};

void PrintTo(const NiceCase& c, std::ostream* os) { *os << c.name; }

class NiceRangeRule : public ::testing::TestWithParam<NiceCase> {};

TEST_P(NiceRangeRule, GivesTheExpectedRange) {
  const auto& c = GetParam();
  const auto r = NiceRange(c.low, c.high);
  ASSERT_EQ(r.has_value(), c.expected.has_value());
  if (r) {
    EXPECT_EQ(*r, *c.expected);  // exact: limits are the doubles of their decimals
  }
}

constexpr double kInf = std::numeric_limits<double>::infinity();

const NiceCase kNiceCases[] = {
    {"Tenths", 0.37, 0.91, AxisRange{0.3, 1, 0.1}},
    {"UnitRangeByFifths", 0, 1, AxisRange{0, 1, 0.2}},
    {"NegativeLowEstimates", -0.25, 1, AxisRange{-0.4, 1, 0.2}},
    {"Residuals", -4.11, 3.9, AxisRange{-6, 4, 2}},
    // 0.3 / 0.05 is 5.999…; the limit must still be 0.3, not 0.25.
    {"LowOnADecimalMultiple", 0.3, 0.7, AxisRange{0.3, 0.7, 0.05}},
    {"QuarterSteps", 1e-7, 3e-7, AxisRange{1e-7, 3e-7, 2.5e-8}},
    {"Thousands", 1234, 5678, AxisRange{1000, 6000, 1000}},
    {"OneValueIsWidenedByATenth", 0.5, 0.5, AxisRange{0.44, 0.56, 0.02}},
    {"ZeroIsWidenedByOne", 0, 0, AxisRange{-1, 1, 0.25}},
    {"NotANumber", kNaN, 1, std::nullopt},
    {"Infinite", 0, kInf, std::nullopt},
    {"Reversed", 1, 0, std::nullopt},
    {"WiderThanDoubles", -1.7e308, 1.7e308, std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Cases, NiceRangeRule, ::testing::ValuesIn(kNiceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NiceRange, CoversRandomRangesInFewNiceSteps) {
  std::mt19937_64 gen(2718);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-12, 12);
  for (int i = 0; i < 20000; ++i) {
    const double scale = std::pow(10.0, exponent(gen));
    double a = mantissa(gen) * scale, b = mantissa(gen) * scale;
    if (a > b) std::swap(a, b);
    for (const int maxSteps : {2, 5, 8}) {
      const auto r = NiceRange(a, b, maxSteps);
      ASSERT_TRUE(r) << a << " .. " << b;
      ASSERT_LE(r->min, a);
      ASSERT_GE(r->max, b);
      const double steps = (r->max - r->min) / r->increment;
      ASSERT_LE(steps, maxSteps + 1e-6) << a << " .. " << b;
      ASSERT_NEAR(steps, std::round(steps), 1e-6) << "limits are multiples of the increment";
      const double m = r->increment / std::pow(10.0, std::floor(std::log10(r->increment) + 1e-9));
      ASSERT_TRUE(std::fabs(m - 1) < 1e-9 || std::fabs(m - 2) < 1e-9 || std::fabs(m - 2.5) < 1e-9 ||
                  std::fabs(m - 5) < 1e-9)
          << "increment " << r->increment;
    }
  }
}

TEST(ChartSeries, IntervalsFollowTheOrderOfXAndClearWithThePoints) {
  ChartSeries s("s", SeriesKind::LineWithMarkers, {});
  s.AddXY(0.5, 1, 0.9, 1.1);
  s.AddXY(0.2, 2, 1.8, 2.2);
  s.AddXY(0.5, 3, 2.9, 3.1);
  s.AddXY(0.1, 4);  // a point without an interval
  EXPECT_THAT(s.Intervals(), ElementsAreArray({ChartInterval{0.2, 1.8, 2.2}, ChartInterval{0.5, 0.9, 1.1},
                                               ChartInterval{0.5, 2.9, 3.1}}));
  EXPECT_EQ(s.Count(), 4u);
  s.Clear();
  EXPECT_TRUE(s.Intervals().empty());
  // A cleared series holds no memory: a window cleared after a long run gives it back.
  EXPECT_EQ(s.Points().capacity(), 0u);
  EXPECT_EQ(s.Intervals().capacity(), 0u);
}

// A chart whose own axes are 0..1 by 0.25, with a shown series, a hidden one far away,
// and points that are no values.
ChartModel ExtentChart() {
  ChartModel c;
  c.SetUndefinedValue(Nodefinido);
  ChartAxis a;
  a.title = QStringLiteral("own");
  c.SetBottomAxis(a);
  c.SetLeftAxis(a);
  c.AddSeries({"shown", SeriesKind::LineWithMarkers, {}});
  c.AddSeries({"hidden", SeriesKind::Points, {}});
  ChartSeries& s = c.Series("shown");
  s.AddXY(0.2, -0.3);
  s.AddXY(0.6, 0.5, 0.1, 1.4);  // the interval reaches beyond the points
  s.AddXY(0.9, kNaN);
  s.AddXY(0.95, Nodefinido);
  s.AddXY(std::numeric_limits<double>::infinity(), 0.5);
  c.Series("hidden").AddXY(50, 50);
  c.Series("hidden").SetActive(false);
  return c;
}

TEST(ChartModel, ExtentTakesShownValuesIntervalsAndReferenceLines) {
  ChartModel c = ExtentChart();
  EXPECT_EQ(c.Extent(), (DataExtent{0.2, 0.6, -0.3, 1.4}));
  c.AddReferenceLine({.intercept = 2, .slope = -1});  // 1.8 at x = 0.2, 1.4 at 0.6
  EXPECT_EQ(c.Extent(), (DataExtent{0.2, 0.6, -0.3, 1.8}));
  c.Series("hidden").SetActive(true);
  EXPECT_EQ(c.Extent(), (DataExtent{0.2, 50, -48, 50}));
  EXPECT_FALSE(ChartModel().Extent().has_value());
}

TEST(ChartModel, FittedAxesCoverTheDataAndUnfittingRestoresTheOwn) {
  ChartModel c = ExtentChart();
  const auto before = c.Revision();
  c.SetFitAxesToData(true);
  EXPECT_NE(c.Revision(), before);
  const ChartAxis left = c.ShownLeftAxis();
  EXPECT_EQ((AxisRange{left.min, left.max, left.increment}), (AxisRange{-0.5, 1.5, 0.25}));
  EXPECT_EQ(left.title, QStringLiteral("own"));
  const ChartAxis bottom = c.ShownBottomAxis();
  EXPECT_EQ((AxisRange{bottom.min, bottom.max, bottom.increment}), (AxisRange{0.2, 0.6, 0.05}));
  EXPECT_EQ(c.LeftAxis().min, 0.0) << "the own axes are kept";

  c.SetFitAxesToData(false);
  EXPECT_EQ(c.ShownLeftAxis().min, 0.0);
  EXPECT_EQ(c.ShownLeftAxis().max, 1.0);
  EXPECT_EQ(c.ShownBottomAxis().increment, 0.25);
}

TEST(ChartModel, OneColumnOfPointsKeepsTheOwnRangeOfItsAxis) {
  ChartModel c = ChartModel::Chart1();  // one degree of knowledge: every x is 0.5
  c.Series("sPoint_DSEM").AddXY(0.5, -0.2);
  c.Series("sPoint_DSEM").AddXY(0.5, 0.7);
  c.SetFitAxesToData(true);
  EXPECT_EQ(c.ShownBottomAxis().min, 0.0);
  EXPECT_EQ(c.ShownBottomAxis().max, 1.0);
  EXPECT_EQ(c.ShownLeftAxis().min, -0.2);
  EXPECT_EQ(c.ShownLeftAxis().max, 0.8);
}

TEST(ChartPalette, TwelveDistinctColoursThatShowOnWhite) {
  std::set<QRgb> colours;
  for (const QColor& c : ChartPalette()) {
    colours.insert(c.rgb());
    EXPECT_LT(c.lightnessF(), 0.75) << c.name().toStdString() << " is too pale for white paper";
  }
  EXPECT_EQ(colours.size(), 12u);
  std::set<std::pair<QRgb, MarkerShape>> looks;
  for (std::size_t i = 0; i < 84; ++i) looks.emplace(PaletteLook(i).line.rgb(), PaletteLook(i).marker);
  EXPECT_EQ(looks.size(), 84u);
}

}  // namespace
}  // namespace veltrano

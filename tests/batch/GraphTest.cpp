// The graphs of veltrano-batch simulate and the plots of its study: drawn by the Qt
// part of the program, which hands the commands its maker of charts and its drawer of
// plots. Without them (a build without Qt) a graph is refused with a message that says so.
#include <QGuiApplication>
#include <QImage>

#include <cmath>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "BatchTestSupport.h"
#include "batch/RunGraphs.h"
#include "batch/StudyGraphs.h"

namespace veltrano::batch::testing {
namespace {

BatchServices WithGraphs() {
  BatchServices s;
  s.graphs = [](bool showD) { return std::make_unique<RunGraphs>(showD); };
  s.studyPlots = SaveStudyPlot;
  return s;
}

TEST(Graphs, AreWrittenInTheFormatOfTheirExtension) {
  ScratchDir dir;
  const Outcome o = RunCommand({"simulate", "--seed", "5", "--tests", "20", "--show-dc", "--no-show-d", "--graph",
                                dir / "chart1.PNG", "--residual-graph", dir / "chart2.svg"},
                               "", WithGraphs());
  ASSERT_EQ(o.status, kExitOk) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(ReadFile(dir / "chart1.PNG").substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_NE(ReadFile(dir / "chart2.svg").find("<svg"), std::string::npos);
}

TEST(Graphs, AreRefusedByABuildWithoutThem) {
  ScratchDir dir;
  const Outcome o = RunCommand({"simulate", "--seed", "5", "--tests", "2", "--data", dir / "data", "--graph",
                                dir / "chart1.png"});
  EXPECT_EQ(o.status, kExitUsage);
  EXPECT_EQ(o.err, "veltrano-batch: --graph: this build of veltrano-batch draws no graphs (it was built without Qt)\n");
  EXPECT_EQ(ReadFile(dir / "data"), "<missing>");
  EXPECT_EQ(ReadFile(dir / "chart1.png"), "<missing>");
}

TEST(Graphs, ThatCannotBeWrittenGiveStatusOne) {
  ScratchDir dir;
  const std::string missing = dir / "no-such-dir";
  const Outcome o = RunCommand({"simulate", "--seed", "1", "--graph", missing + "/g.png"}, "", WithGraphs());
  EXPECT_EQ(o.status, kExitFailure);
  EXPECT_EQ(o.err, "veltrano-batch: cannot open " + missing + "/g.png: No such file or directory\n");
}

// A study's plots are files named by the prefix, the measure and k, in the format asked
// for and of the size asked for; nothing else is written beside them.
TEST(StudyPlotFiles, AreWrittenWithTheirNamesInTheirFormat) {
  ScratchDir dir;
  const std::vector<std::string> study{"study", "--n", "6,12", "--k", "2,5", "--do", "0:100:50", "--replications",
                                       "20", "--seed", "8", "--out", dir / "s.csv"};
  const auto with = [&study](const std::vector<std::string>& options) {
    std::vector<std::string> args = study;
    args.insert(args.end(), options.begin(), options.end());
    return args;
  };
  const Outcome svg = RunCommand(with({"--plot", dir / "svg-", "--plot-format", "svg"}), "", WithGraphs());
  ASSERT_EQ(svg.status, kExitOk) << svg.err;
  EXPECT_EQ(svg.err, "");
  std::filesystem::create_directory(dir / "png");
  ASSERT_EQ(RunCommand(with({"--plot", dir / "png/", "--plot-width", "640", "--plot-height", "480"}), "", WithGraphs())
                .status,
            kExitOk);

  std::set<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / ""))
    if (entry.is_regular_file()) files.insert(std::filesystem::relative(entry.path(), dir / "").string());
  const std::set<std::string> expected{"s.csv",
                                       "svg--bias-k2.svg",  "svg--rmse-k2.svg",  "svg--coverage-k2.svg",
                                       "svg--bias-k5.svg",  "svg--rmse-k5.svg",  "svg--coverage-k5.svg",
                                       "png/bias-k2.png",   "png/rmse-k2.png",   "png/coverage-k2.png",
                                       "png/bias-k5.png",   "png/rmse-k5.png",   "png/coverage-k5.png"};
  EXPECT_EQ(files, expected);
  for (const std::string& f : files) {
    if (f.ends_with(".svg")) {
      EXPECT_NE(ReadFile(dir / f).find("<svg"), std::string::npos) << f;
    } else if (f.ends_with(".png")) {
      EXPECT_EQ(QImage(QString::fromStdString(dir / f)).size(), QSize(640, 480)) << f;
    }
  }
}

// The chart holds the plot's values: a series per line with its label, the points at Do,
// bars of ±1.96 Monte Carlo SE (a coverage's cut to 0..1), a gap where a value is
// missing; lines of one n share a colour and the estimators differ in marker and dash.
TEST(StudyPlotChart, HoldsThePlotsValues) {
  StudyPlot plot;
  plot.measure = PlotMeasure::Coverage;
  plot.k = 4;
  plot.title = "Coverage, k = 4";
  plot.xTitle = "Do (%)";
  plot.yTitle = "coverage";
  plot.reference = 0.95;
  plot.referenceLabel = "0.95";
  plot.lines = {
      {20, Estimator::Du, PlotInterval::Wald, "n = 20, Du Wald",
       {{10, 0.9, 0.01}, {50, std::nullopt, std::nullopt}, {90, 0.999, 0.002}}},
      {20, Estimator::Dc, PlotInterval::Wald, "n = 20, Dc Wald", {{10, 0.5, std::nullopt}, {90, 0.0, 0.0}}},
      {50, Estimator::Du, PlotInterval::Wald, "n = 50, Du Wald", {{10, 0.96, 0.004}}},
  };
  const ChartModel chart = StudyChart(plot);
  EXPECT_EQ(chart.Title(), QString("Coverage, k = 4"));
  EXPECT_EQ(chart.BottomAxis().title, QString("Do (%)"));
  EXPECT_EQ(chart.LeftAxis().title, QString("coverage"));
  ASSERT_EQ(chart.ReferenceLines().size(), 1u);
  EXPECT_EQ(chart.ReferenceLines()[0].intercept, 0.95);
  EXPECT_EQ(chart.Legend(), LegendPosition::OutsideRight);
  ASSERT_EQ(chart.SeriesCount(), 3u);

  const ChartSeries& du20 = chart.AllSeries()[0];
  EXPECT_EQ(du20.Label(), QString("n = 20, Du Wald"));
  ASSERT_EQ(du20.Points().size(), 3u);
  EXPECT_EQ(du20.Points()[0], (ChartPoint{10, 0.9}));
  EXPECT_EQ(du20.Points()[1].x, 50);
  EXPECT_TRUE(std::isnan(du20.Points()[1].y));
  EXPECT_EQ(du20.Points()[2], (ChartPoint{90, 0.999}));
  EXPECT_EQ(du20.Intervals(), (std::vector<ChartInterval>{{10, 0.9 - 1.96 * 0.01, 0.9 + 1.96 * 0.01},
                                                          {90, 0.999 - 1.96 * 0.002, 1.0}}));
  const ChartSeries& dc20 = chart.AllSeries()[1];
  EXPECT_EQ(dc20.Points(), (std::vector<ChartPoint>{{10, 0.5}, {90, 0.0}}));
  EXPECT_EQ(dc20.Intervals(), (std::vector<ChartInterval>{{90, 0.0, 0.0}}));  // no SE, no bar
  const ChartSeries& du50 = chart.AllSeries()[2];

  EXPECT_EQ(du20.Look().line, dc20.Look().line);
  EXPECT_NE(du20.Look().line, du50.Look().line);
  EXPECT_NE(du20.Look().marker, dc20.Look().marker);
  EXPECT_NE(du20.Look().lineStyle, dc20.Look().lineStyle);
  EXPECT_EQ(du20.Kind(), SeriesKind::LineWithMarkers);
}

}  // namespace
}  // namespace veltrano::batch::testing

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QGuiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

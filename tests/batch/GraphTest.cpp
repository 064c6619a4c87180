// The graphs of veltrano-batch simulate: drawn by the Qt part of the program, which
// hands the commands its maker of charts. Without one (a build without Qt) a graph is
// refused with a message that says so.
#include <QGuiApplication>

#include <gtest/gtest.h>

#include "BatchTestSupport.h"
#include "batch/RunGraphs.h"

namespace veltrano::batch::testing {
namespace {

BatchServices WithGraphs() {
  BatchServices s;
  s.graphs = [](bool showD) { return std::make_unique<RunGraphs>(showD); };
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

}  // namespace
}  // namespace veltrano::batch::testing

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QGuiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

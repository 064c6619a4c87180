#include <gtest/gtest.h>

#include "Probe.h"
#include "TableFixtures.h"
#include "analysis/tAnalisisDeltaMET.h"

namespace veltrano {
namespace {

using testing::MakeTable;

struct Fitted {
  tBfMatriz table;
  tAnalisisDeltaMET a;
  explicit Fitted(tBfMatriz t) : table(std::move(t)) {
    a.Create(table, nullptr, 1, "");
    a.output_Config(true, false, true, true);
    a.Execute();
  }
};

TEST(StandardErrors, RegularTableOnTheActiveTable) {
  Fitted f(MakeTable({{8, 1, 1}, {2, 7, 1}, {1, 1, 8}}));
  EXPECT_NEAR(f.a.VarDelta[1], 0.013373, 5e-7);
  EXPECT_NEAR(f.a.Delta_MV.SE, 0.115640, 5e-7);
  EXPECT_EQ(f.a.Delta_MV.DataIndex, 1);
  EXPECT_NEAR(f.a.DeltaM2_MV.SE, 0.115730, 5e-7);
}

TEST(StandardErrors, ActiveTableTwoSharesItsVariance) {
  Fitted f(MakeTable({{3, 0, 0}, {0, 4, 0}, {0, 0, 3}}));
  EXPECT_NEAR(f.a.Delta_MV.SE, 0.160242, 5e-7);
  EXPECT_EQ(f.a.VarDelta[1], f.a.VarDelta[2]);
  EXPECT_EQ(f.a.Delta_MV.DataIndex, 2);
}

TEST(StandardErrors, UndefinedVarianceFallsBackToTableTwo) {
  // No correct answer: delta = −0.5 makes every diagonal probability 0.
  Fitted f(MakeTable({{0, 1, 1}, {1, 0, 1}, {1, 1, 0}}));
  EXPECT_EQ(f.a.VarDelta[1], Nodefinido);
  EXPECT_GT(f.a.VarDelta[2], 0);
  EXPECT_EQ(f.a.Delta_MV.DataIndex, 2);
  EXPECT_DOUBLE_EQ(f.a.Delta_MV.SE * f.a.Delta_MV.SE, f.a.VarDelta[2]);
  EXPECT_EQ(f.a.Delta_MV.SE, f.a.DeltaM2_MV.SE);
}

TEST(StandardErrors, NeverMarkedAlternativeStillHasAVariance) {
  // Column 3 is never marked, so pi_3 = 0 on the active table; the variance is
  // formed without it.
  Fitted f(MakeTable({{5, 1, 0}, {1, 6, 0}, {2, 1, 0}}));
  ASSERT_EQ(f.a.ActiveDataIndex, 1);
  EXPECT_EQ(f.a.Pi[3].Estimador, 0);
  EXPECT_GT(f.a.VarDelta[1], 0);
  EXPECT_EQ(f.a.Delta_MV.DataIndex, 1);
}

}  // namespace
}  // namespace veltrano

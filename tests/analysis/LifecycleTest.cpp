#include <gtest/gtest.h>

#include <memory>

#include "TableFixtures.h"
#include "analysis/tAnalisisDeltaMET.h"

namespace veltrano {
namespace {

using testing::MakeTable;

TEST(Lifecycle, CreateSharesTheCallersCells) {
  tBfMatriz t = MakeTable({{8, 1, 1}, {2, 7, 1}, {1, 1, 8}});
  tAnalisisDeltaMET a;
  a.Create(t, nullptr, 1, "");
  EXPECT_EQ(a.NumMatrices, 4);
  ASSERT_EQ(a.M.size(), 4u);
  EXPECT_EQ(a.M[0].X[1][1], 8);
  t.X[1][1] = 9;  // the same numbers, not a copy
  EXPECT_EQ(a.M[0].X[1][1], 9);
  EXPECT_EQ(a.ICITest.LI, Nodefinido);
  EXPECT_EQ(a.ActiveDataIndex, 0);
  EXPECT_EQ(a.Problem[1].Codigo, 999);
}

TEST(Lifecycle, FinalizaRightAfterCreateLeavesTheCallersTable) {
  tBfMatriz t = MakeTable({{1, 2}, {3, 4}});
  {
    auto a = std::make_unique<tAnalisisDeltaMET>();
    a->Create(t, nullptr, 1, "");
    EXPECT_EQ(t.X.UseCount(), 2);
    a->Finaliza();
    EXPECT_EQ(t.X.UseCount(), 1);
    a->Finaliza();  // idempotent
  }  // and the destructor after it does nothing more
  EXPECT_EQ(t.X[2][2], 4);
  EXPECT_EQ(t.X[0][0], 10);
}

TEST(Lifecycle, CallerMayReleaseItsTableBeforeTheResultsAreRead) {
  auto a = std::make_unique<tAnalisisDeltaMET>();
  {
    tBfMatriz t = MakeTable({{8, 1, 1}, {2, 7, 1}, {1, 1, 8}});
    a->Create(t, nullptr, 1, "");
    a->Execute();
    t.Done();
  }
  EXPECT_EQ(a->M[0].X[2][2], 7);  // the cells live while the analysis holds them
  EXPECT_NEAR(a->GetDeltaMLE(), 0.649799, 5e-7);
  EXPECT_NEAR(a->GetDeltaCondE(), 0.65, 1e-12);
  EXPECT_NEAR(a->GetDeltaMLESE(), 0.115640, 5e-7);
  a->Finaliza();
  EXPECT_TRUE(a->M.empty());
  EXPECT_TRUE(a->Pi.empty());
}

TEST(Lifecycle, DestructionThroughTheBaseReleasesEverything) {
  tBfMatriz t = MakeTable({{8, 1, 1}, {2, 7, 1}, {1, 1, 8}});
  {
    std::unique_ptr<tAnalisis> a = std::make_unique<tAnalisisDeltaMET>();
    a->Create(t, nullptr, 1, "");
    a->Execute(nullptr);
    EXPECT_EQ(t.X.UseCount(), 3);  // the caller, M[0] and M[1]
  }
  EXPECT_EQ(t.X.UseCount(), 1);
}

TEST(Lifecycle, InvalidModelKeepsTheEstimateWithoutStandardError) {
  // An empty row, an empty column and a single correct answer: the fitted
  // probabilities of some row do not sum to 1.
  tBfMatriz t = MakeTable({{1, 0, 0}, {5, 0, 0}, {0, 0, 0}});
  tAnalisisDeltaMET a;
  a.Create(t, nullptr, 1, "");
  a.output_Config(true, true, true, true);
  a.Execute();
  EXPECT_FALSE(a.ModelOk);
  EXPECT_NE(a.GetDeltaMLE(), 0);
  EXPECT_EQ(a.GetDeltaMLESE(), 0);
  EXPECT_EQ(a.ICITest.LI, Nodefinido);
  EXPECT_EQ(a.VarDelta[1], 0);
}

}  // namespace
}  // namespace veltrano

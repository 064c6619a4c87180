#include <gtest/gtest.h>

#include "TableFixtures.h"
#include "table/tBfMatriz.h"

namespace veltrano {
namespace {

using testing::MakeTable;

TEST(tBfMatriz, MCRealIsSquareAndZero) {
  tBfMatriz t = tBfMatriz::MCReal(3);
  EXPECT_EQ(t.Dim.F, 3);
  EXPECT_EQ(t.Dim.C, 3);
  ASSERT_EQ(t.X.Rows(), 4);
  ASSERT_EQ(t.X.Cols(), 4);
  for (int i = 0; i <= 3; ++i)
    for (int j = 0; j <= 3; ++j) EXPECT_EQ(t.X[i][j], 0) << i << "," << j;
}

TEST(tBfMatriz, GetTotalesFillsRowAndColumnZero) {
  tBfMatriz t = MakeTable({{1, 2}, {3, 4}});
  EXPECT_EQ(t.X[1][0], 3);
  EXPECT_EQ(t.X[2][0], 7);
  EXPECT_EQ(t.X[0][1], 4);
  EXPECT_EQ(t.X[0][2], 6);
  EXPECT_EQ(t.X[0][0], 10);
  EXPECT_EQ(t.Traza(), 5);
}

TEST(tBfMatriz, GrandTotalIsTheSumOfRowTotalsInOrder) {
  // Summed in a different order these cells give a different double: the grand total
  // follows the rows, each row its columns in ascending order.
  tBfMatriz t = MakeTable({{1e16, 1, 1}, {-1e16, 0, 0}, {0, 0, 0}});
  EXPECT_EQ(t.X[1][0], 1e16);  // (1e16 + 1) + 1 rounds back to 1e16 each time
  EXPECT_EQ(t.X[0][0], 0);
  EXPECT_EQ(t.X[0][2], 1);
}

TEST(tBfMatriz, AddKKeepsMarginsConsistentWithoutRecomputing) {
  tBfMatriz t = MakeTable({{1, 2}, {3, 4}});
  t.AddK(0.5);
  EXPECT_EQ(t.X[1][1], 1.5);
  EXPECT_EQ(t.X[2][2], 4.5);
  EXPECT_EQ(t.X[1][0], 4);
  EXPECT_EQ(t.X[2][0], 8);
  EXPECT_EQ(t.X[0][1], 5);
  EXPECT_EQ(t.X[0][2], 7);
  EXPECT_EQ(t.X[0][0], 12);
  // Margins that were stale stay stale by the same amount: nothing is recomputed.
  tBfMatriz stale = tBfMatriz::MCReal(2);
  stale.X[1][1] = 5;
  stale.AddK(1);
  EXPECT_EQ(stale.X[1][0], 2);
  EXPECT_EQ(stale.X[0][0], 4);
}

TEST(tBfMatriz, TrazaOfANonSquareTableIsMinus999) {
  tBfMatrizPrecision storage(3, 4);
  tBfMatriz t = tBfMatriz::Asigna(storage);
  EXPECT_EQ(t.Dim.F, 2);
  EXPECT_EQ(t.Dim.C, 3);
  EXPECT_EQ(t.Traza(), -999);
  EXPECT_EQ(tBfMatriz().Traza(), 0);
}

TEST(tBfMatriz, AsignaSharesTheNumbers) {
  tBfMatriz original = MakeTable({{1, 2}, {3, 4}});
  tBfMatriz shared = tBfMatriz::Asigna(original.X);
  shared.X[1][2] = 9;
  EXPECT_EQ(original.X[1][2], 9);
  original.X[2][1] = 8;
  EXPECT_EQ(shared.X[2][1], 8);
  EXPECT_EQ(original.X.UseCount(), 2);
  original.Done();  // either holder may go first
  EXPECT_TRUE(original.Empty());
  EXPECT_EQ(shared.X[2][2], 4);
  EXPECT_EQ(shared.X.UseCount(), 1);
  shared.Done();
  shared.Done();  // idempotent
}

TEST(tBfMatriz, IgualaXCopiesCellsAndMarginsAsTheyStand) {
  tBfMatriz from = MakeTable({{1, 2}, {3, 4}});
  from.X[0][0] = 99;  // a margin out of step with the cells is copied, not fixed
  tBfMatriz to = tBfMatriz::MCReal(2);
  to.IgualaX(from.X);
  EXPECT_EQ(to.X[2][1], 3);
  EXPECT_EQ(to.X[0][0], 99);
  to.X[1][1] = 7;  // a copy: the source keeps its numbers
  EXPECT_EQ(from.X[1][1], 1);
}

}  // namespace
}  // namespace veltrano

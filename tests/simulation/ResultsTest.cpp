#include <gtest/gtest.h>

#include <string>

#include "simulation/ExamResults.h"

namespace veltrano {
namespace {

TEST(LordNovick, CorrectionForGuessing) {
  EXPECT_DOUBLE_EQ(LordNovick(3, 100, 60), 0.4);  // (180 − 100) / 200
  EXPECT_EQ(LordNovick(4, 80, 80), 1);
  EXPECT_EQ(LordNovick(2, 10, 0), -1);
  EXPECT_EQ(LordNovick(5, 100, 20), 0);  // chance level
  EXPECT_DOUBLE_EQ(LordNovick(10, 9, 0), -1.0 / 9);
}

TEST(ResidualRow, WidthsDecimalsAndSigns) {
  std::string row;
  AppendResidualRow(row, 0.5, 0.0364, -0.00001, 0, false);
  EXPECT_EQ(row, " 0.50000\t  0.0364\t -0.0000\t  0.0000");
}

TEST(ResidualRow, CommaReplacesEveryDecimalPoint) {
  std::string row;
  AppendResidualRow(row, 0.5, -1.25, 12.5, -9999.999, true);
  EXPECT_EQ(row, " 0,50000\t -1,2500\t 12,5000\t-9999,9990");
}

}  // namespace
}  // namespace veltrano

#include <gtest/gtest.h>

#include <vector>

#include "Probe.h"
#include "TableFixtures.h"
#include "analysis/tAnalisisDeltaMET.h"

namespace veltrano {
namespace {

using testing::MakeTable;

struct ClassCase {
  const char* name;
  std::vector<std::vector<double>> rows;
  int code;    // problem code of the analysed table
  int code2;   // problem code of table 2
  int active;  // the table delta is estimated on
};

void PrintTo(const ClassCase& c, std::ostream* os) { *os << c.name; }

class Classification : public ::testing::TestWithParam<ClassCase> {};

TEST_P(Classification, CodeAndActiveTable) {
  const ClassCase& c = GetParam();
  tBfMatriz table = MakeTable(c.rows);
  tAnalisisDeltaMET a;
  a.Create(table, nullptr, 1, "");
  a.Execute();
  EXPECT_EQ(a.Problem[1].Codigo, c.code);
  EXPECT_EQ(a.Problem[2].Codigo, c.code2);
  EXPECT_EQ(a.ActiveDataIndex, c.active);
  EXPECT_EQ(a.Clases, static_cast<int>(c.rows.size()));
  // Entries other than 1 and 2 are never classified.
  EXPECT_EQ(a.Problem[0].Codigo, 999);
  EXPECT_EQ(a.Problem[3].Codigo, 999);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, Classification,
    ::testing::Values(
        ClassCase{"AllCorrect", {{3, 0, 0}, {0, 4, 0}, {0, 0, 3}}, 122, 324, 2},
        ClassCase{"OneCellHoldsAll", {{10, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 110, 324, 2},
        ClassCase{"ColumnNeverMarkedRatioOne", {{2, 1, 0}, {1, 2, 0}, {1, 1, 0}}, 313, 324, 1},
        ClassCase{"NoCorrectAnswer", {{0, 1, 1}, {1, 0, 1}, {1, 1, 0}}, 321, 322, 1},
        ClassCase{"NoCorrectAnswerTwoClasses", {{0, 3}, {2, 0}}, 321, 322, 2},
        ClassCase{"EmptyRowThreeClasses", {{3, 1, 0}, {1, 2, 1}, {0, 0, 0}}, 224, 324, 1},
        ClassCase{"TwoClassesOneCell", {{3, 0}, {0, 0}}, 110, 324, 2},
        ClassCase{"Regular", {{8, 1, 1}, {2, 7, 1}, {1, 1, 8}}, 324, 324, 1},
        ClassCase{"AllCorrectWithEmptyRow", {{3, 0, 0}, {0, 4, 0}, {0, 0, 0}}, 121, 324, 2},
        ClassCase{"EmptyRowTwoClassesRatioOne", {{2, 1}, {0, 0}}, 223, 324, 2},
        ClassCase{"EmptyRowAndColumnRatioOne", {{1, 1, 0}, {1, 1, 0}, {0, 0, 0}}, 213, 324, 2},
        ClassCase{"ColumnNeverMarkedBelowOne", {{1, 2, 0}, {2, 1, 0}, {2, 2, 0}}, 312, 322, 2}),
    [](const auto& info) { return info.param.name; });

TEST(Classification, TableTwoAddsOneHalfToEveryCell) {
  tBfMatriz table = MakeTable({{3, 0, 0}, {0, 4, 0}, {0, 0, 3}});
  tAnalisisDeltaMET a;
  a.Create(table, nullptr, 1, "");
  a.Execute();
  const tBfMatriz& t2 = a.M[2];
  EXPECT_EQ(t2.X[1][1], 3.5);
  EXPECT_EQ(t2.X[2][2], 4.5);
  EXPECT_EQ(t2.X[1][2], 0.5);
  EXPECT_EQ(t2.X[0][0], 14.5);
  EXPECT_TRUE(a.Finalizable[2]);
  EXPECT_FALSE(a.Finalizable[1]);
  EXPECT_TRUE(a.M[3].Empty());
}

TEST(Classification, DecodeProblemTypeSplitsTheDigits) {
  const tTipoProblema tp = DecodeProblemType(324);
  EXPECT_EQ(tp.Caso, 3);
  EXPECT_EQ(tp.Columnas, 2);
  EXPECT_EQ(tp.Diagonal, 4);
  EXPECT_EQ(DecodeProblemType(110).Diagonal, 0);
}

}  // namespace
}  // namespace veltrano

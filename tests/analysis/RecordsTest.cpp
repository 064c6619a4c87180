#include <gtest/gtest.h>

#include <string>

#include "TableFixtures.h"
#include "analysis/tAnalisisDeltaMET.h"

namespace veltrano {
namespace {

using testing::MakeTable;

struct SwitchCase {
  bool se, ci, dka;
  const char* header;
  const char* record;  // for the fixture's fields, decimals 3
};

void PrintTo(const SwitchCase& c, std::ostream* os) {
  *os << "SE " << c.se << ", interval " << c.ci << ", Dk&a " << c.dka;
}

class Records : public ::testing::TestWithParam<SwitchCase> {
protected:
  tAnalisisDeltaMET a;
  void SetUp() override {
    a.Delta_MV = {0.5, 0.125, 1};
    a.ICITest = {-0.25, 1};
    a.Delta_KA = {12.5, 0.0625, 1};
  }
};

TEST_P(Records, HeaderAndRecordFollowTheSwitches) {
  const SwitchCase& c = GetParam();
  a.output_Config(c.se, c.ci, c.dka, false);
  EXPECT_EQ(a.output_Header(), c.header);
  EXPECT_EQ(a.output_record(), c.record);
}

INSTANTIATE_TEST_SUITE_P(
    AllSwitches, Records,
    ::testing::Values(
        SwitchCase{false, false, false, "D", " 0.500"},
        SwitchCase{true, false, false, "D\tSE(D)", " 0.500\t 0.125"},
        SwitchCase{false, true, false, "D\tIC-(D)\tIC+(D)", " 0.500\t-0.250\t 1.000"},
        SwitchCase{false, false, true, "D\tDk&a\tSE(Dk&a)", " 0.500\t12.500"},
        SwitchCase{true, true, false, "D\tSE(D)\tIC-(D)\tIC+(D)", " 0.500\t 0.125\t-0.250\t 1.000"},
        SwitchCase{true, false, true, "D\tSE(D)\tDk&a\tSE(Dk&a)", " 0.500\t 0.125\t12.500\t 0.063"},
        SwitchCase{false, true, true, "D\tIC-(D)\tIC+(D)\tDk&a\tSE(Dk&a)", " 0.500\t-0.250\t 1.000\t12.500"},
        SwitchCase{true, true, true, "D\tSE(D)\tIC-(D)\tIC+(D)\tDk&a\tSE(Dk&a)",
                   " 0.500\t 0.125\t-0.250\t 1.000\t12.500\t 0.063"}),
    [](const auto& info) {
      const SwitchCase& c = info.param;
      return std::string(c.se ? "SE" : "NoSE") + (c.ci ? "CI" : "NoCI") + (c.dka ? "Dka" : "NoDka");
    });

TEST(RecordFields, WidthIsDecimalsPlusThree) {
  tAnalisisDeltaMET a;
  a.output_Config(false, false, false, false);
  struct {
    double v;
    int d;
    const char* text;
  } cases[] = {{0.5, 3, " 0.500"},  {-0.25, 3, "-0.250"},  {123.25, 3, "123.250"}, {0.05, 1, " 0.1"},
               {0.5, 2, " 0.50"},   {0.5, 4, " 0.5000"}, {0.5, 5, " 0.50000"},  {0.5, 6, " 0.500000"},
               {0.5, 7, " 0.5000000"}, {0.5, 8, " 0.50000000"}, {Nodefinido, 3, "-9999.999"}};
  for (const auto& c : cases) {
    a.Analysis_AssignParams(10, 100, c.d);
    a.Delta_MV.Estimador = c.v;
    EXPECT_EQ(a.output_record(), c.text) << c.v << " with " << c.d;
  }
}

TEST(RecordFields, UndefinedLimitIsWrittenAsANumber) {
  tBfMatriz t = MakeTable({{8, 1, 1}, {2, 7, 1}, {1, 1, 8}});
  tAnalisisDeltaMET a;
  a.Create(t, nullptr, 1, "");
  a.output_Config(true, true, false, false);
  a.Execute();
  a.ICITest.LI = Nodefinido;
  EXPECT_EQ(a.output_record(), " 0.650\t 0.116\t-9999.999\t 0.823");
}

TEST(RecordFields, AssignParamsReplacesTheDefaults) {
  tBfMatriz t = MakeTable({{1, 0}, {0, 1}});
  tAnalisisDeltaMET a;
  a.Create(t, nullptr, 1, "");
  EXPECT_EQ(a.Env_RCnf_Tolerancia, 10);
  EXPECT_EQ(a.Env_RCnf_MaxIteraciones, 100);
  EXPECT_EQ(a.Env_RCnf_Decimales, 3);
  a.Analysis_AssignParams(15, 1000, 8);
  EXPECT_EQ(a.Env_RCnf_Tolerancia, 15);
  EXPECT_EQ(a.Env_RCnf_MaxIteraciones, 1000);
  EXPECT_EQ(a.Env_RCnf_Decimales, 8);
}

}  // namespace
}  // namespace veltrano

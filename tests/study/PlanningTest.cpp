// Replications needed for a wanted Monte Carlo SE: worked by hand from the formulas of
// Morris, White & Crowther for a made-up pilot, and on a real pilot, whose own MCSE asks
// for its own replications back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "StudySupport.h"
#include "study/StudyPlanning.h"

namespace veltrano {
namespace {

using ::testing::ThrowsMessage;
using testing::CollectingSink;
using testing::Lines;

// A summary row of the lcg header with the given cells, the others empty.
std::string Row(const std::map<std::string, std::string>& cells) {
  std::string row;
  for (const std::string& column : testing::Cells(std::string(SummaryHeader()))) {
    if (!row.empty()) row.push_back(',');
    if (const auto it = cells.find(column); it != cells.end()) row += it->second;
  }
  return row + "\n";
}

std::vector<ReplicationPlan> Plan(const std::string& rows, const std::string& targets) {
  std::istringstream in(rows);
  return PlanReplications(in, "pilot.csv", ParsePlanTargets(targets));
}

TEST(Planning, HandWorkedPilot) {
  // Du: half of 1000 estimates defined, SD 0.1; Wald coverage 0.9 over 800 intervals;
  // test-inversion coverage 1 over 400. DLN: one defined estimate, no spread.
  const std::string rows =
      std::string(SummaryHeader()) + "\n" +
      Row({{"condition", "3"}, {"n", "20"}, {"k", "4"}, {"do", "50"}, {"estimator", "Du"}, {"replications", "1000"},
           {"defined", "500"}, {"emp_se", "0.1"}, {"wald_coverage", "0.9"}, {"wald_defined", "800"},
           {"ci_coverage", "1"}, {"ci_defined", "400"}}) +
      Row({{"condition", "3"}, {"n", "20"}, {"k", "4"}, {"do", "50"}, {"estimator", "DLN"}, {"replications", "1000"},
           {"defined", "1"}});
  std::string out;
  for (const ReplicationPlan& p : Plan(rows, "bias=0.01,emp_se=0.01,coverage=0.005")) AppendPlanRow(out, p);
  EXPECT_EQ(std::string(PlanHeader()) + "\n" + out,
            "condition,n,k,do,estimator,measure,target_mcse,pilot_replications,basis,worst_case,replications\n"
            // 0.1²/0.01² = 100 defined estimates, half the replications give one.
            "3,20,4,50,Du,bias,0.01,1000,0.10000000000000001,0,200\n"
            // 1 + 0.1²/(2·0.01²) = 51.
            "3,20,4,50,Du,emp_se,0.01,1000,0.10000000000000001,0,102\n"
            // 0.9·0.1/0.005² = 3600 intervals, 80 % of the replications give one.
            "3,20,4,50,Du,wald_coverage,0.0050000000000000001,1000,0.90000000000000002,0,4500\n"
            // A coverage of 1 says nothing of p(1 − p): 0.25/0.005² = 10000, 40 % give one.
            "3,20,4,50,Du,ci_coverage,0.0050000000000000001,1000,0.5,1,25000\n"
            // DLN: no spread from one value, and no interval.
            "3,20,4,50,DLN,bias,0.01,1000,,0,\n"
            "3,20,4,50,DLN,emp_se,0.01,1000,,0,\n");
}

// A pilot's own bias MCSE as the target asks for the pilot's replications (within the
// rounding up), from CSV and from JSON rows alike.
TEST(Planning, APilotsOwnMcseAsksForItsReplications) {
  const StudyDefinition pilot = testing::GridStudy({20}, {3}, {30, 70}, 400, 5, true, StudyGenerator::Philox);
  std::string text[2];
  for (const RowFormat format : {RowFormat::Csv, RowFormat::Json}) {
    CollectingSink sink;
    ExecuteStudy(pilot, {}, {format, false, 2}, sink);
    text[static_cast<int>(format)] =
        (format == RowFormat::Csv ? std::string(SummaryHeader(StudyGenerator::Philox)) + "\n" : "") + sink.rows;
  }
  const auto rows = testing::RowsByColumn(text[0].substr(text[0].find('\n') + 1));
  ASSERT_EQ(rows.size(), 6u);
  for (const std::string& rowsText : text)
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::vector<ReplicationPlan> plans = Plan(rowsText, "bias=" + rows[i].at("bias_mcse"));
      ASSERT_EQ(plans.size(), rows.size());
      const ReplicationPlan& p = plans[i];
      EXPECT_EQ(p.estimator, rows[i].at("estimator"));
      ASSERT_TRUE(p.replications.has_value());
      EXPECT_NEAR(static_cast<double>(*p.replications), 400, 1) << p.estimator << " condition " << p.condition;
    }
}

TEST(Planning, RefusesBadTargetsAndRows) {
  EXPECT_THAT([] { ParsePlanTargets("coverage"); },
              ThrowsMessage<StudyInputError>(
                  "target: \"coverage\" is not measure=MCSE with the measure bias, emp_se or coverage"));
  EXPECT_THAT([] { ParsePlanTargets("rmse=0.1"); },
              ThrowsMessage<StudyInputError>(
                  "target: \"rmse=0.1\" is not measure=MCSE with the measure bias, emp_se or coverage"));
  EXPECT_THAT([] { ParsePlanTargets("bias=0"); },
              ThrowsMessage<StudyInputError>("target: \"bias=0\": the Monte Carlo SE must be a positive number"));
  EXPECT_THAT([] { ParsePlanTargets("bias=0.1,coverage=x"); },
              ThrowsMessage<StudyInputError>("target: \"coverage=x\": the Monte Carlo SE must be a positive number"));
  EXPECT_THAT([] { Plan("hello\n", "bias=0.1"); },
              ThrowsMessage<StudyInputError>("pilot.csv, line 1: not a study output: the first line is neither the "
                                             "study header nor a JSON row"));
  EXPECT_THAT([] { Plan(std::string(SummaryHeader()) + "\n1,2\n", "bias=0.1"); },
              ThrowsMessage<StudyInputError>("pilot.csv, line 2: 2 cells where the header names 35"));
  EXPECT_THAT([] { Plan(std::string(SummaryHeader()) + "\n" + Row({{"condition", "1"}, {"n", "x"}}), "bias=0.1"); },
              ThrowsMessage<StudyInputError>("pilot.csv, line 2: its n \"x\" is not a number"));
}

}  // namespace
}  // namespace veltrano

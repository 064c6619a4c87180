// Rows read into columns and written back: the very bytes again (a shard handed to the
// Python or R package as a data frame merges as its file would), the numbers exactly the
// doubles written, and a row that is not one refused with its line and column.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "jobs/DataJobs.h"
#include "jobs/JobError.h"
#include "jobs/Frames.h"

namespace veltrano::jobs {
namespace {

TEST(Frames, RowsOfStudiesAndSheetsComeBackByteForByte) {
  StudyDefinition study;
  study.conditions = StudyConditions::Grid({8, 20}, {3}, {0, 60});
  study.replications = 25;
  study.seed = 5;
  study.ci = true;
  const StudyFrames frames = RunStudyData(study, {}, true, 2, {});
  study.generator = StudyGenerator::Philox;  // a column more, and seeds beyond int64's range
  study.seed = 18446744073709551615u;
  const StudyFrames philox = RunStudyData(study, {}, false, 2, {});
  const std::string sheet =
      "id,items,answered,omitted,right,dln,du,se_du,ci_lower,ci_upper,dc,se_dc,code,code2,error\n"
      "\"D\u00edaz, Bo\",3,2,1,1,0.25,,,,,,,,,\" no table \"\"here\"\"\"\n"
      "ALL,3,3,0,2,0.5,0.10000000000000001,1e-300,,,,,324,324,\n";
  for (const std::string& rows :
       {CsvOfFrame(frames.summary), CsvOfFrame(frames.tests), CsvOfFrame(philox.summary), sheet})
    EXPECT_EQ(CsvOfFrame(ParseCsvFrame(rows, "rows")), rows);
  EXPECT_EQ(philox.summary.At("study_seed").seeds[0], 18446744073709551615u);
  EXPECT_EQ(philox.summary.columns.back().texts[0], "philox");

  const Frame& s = frames.summary;
  ASSERT_EQ(s.rows, 12u);  // three estimators of four conditions
  EXPECT_EQ(s.At("estimator").texts[1], "Dc");
  EXPECT_EQ(s.At("n").counts[11], 20);
  EXPECT_FALSE(s.At("ci_covered").present[1]);  // only Du has the test-inversion interval
  EXPECT_TRUE(std::isnan(s.At("ci_coverage").reals[1]));
  const Frame back = ParseCsvFrame(sheet, "rows");
  EXPECT_EQ(back.At("id").texts[0], "D\u00edaz, Bo");
  EXPECT_EQ(back.At("du").reals[1], 0.1);
}

TEST(Frames, ARowThatIsNotOneIsRefusedWithItsLineAndColumn) {
  EXPECT_THAT([] { ParseCsvFrame("n,k,bias\n1,2,0.5\n1,x,0.5\n", "shard 2"); },
              ::testing::ThrowsMessage<InputError>(
                  ::testing::StrEq("shard 2: line 3, column 2: the k \"x\" is not a whole number")));
  EXPECT_THAT([] { ParseCsvFrame("n,k,bias\n1,2\n", "shard 2"); },
              ::testing::ThrowsMessage<InputError>(
                  ::testing::StrEq("shard 2: line 2: 2 cells where the header has 3")));
}

}  // namespace
}  // namespace veltrano::jobs

// Every action's settings checked once: a value that breaks its rule is refused in one
// wording, naming the setting as each front end spells it; what the settings leave open
// comes from the table's defaults.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "jobs/AnalyseJob.h"
#include "jobs/DataJobs.h"
#include "jobs/JobError.h"
#include "jobs/SheetJob.h"
#include "jobs/SimulateJob.h"
#include "jobs/StudyJob.h"

namespace veltrano::jobs {
namespace {

struct Refusal {
  const char* what;
  std::function<void()> order;
  const char* setting;      // the setting the error names
  std::string commandLine;  // the message as the command line words it
  std::string python;       // and as Python does (R spells names as Python does)
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.what; }

const Refusal kRefusals[] = {
    {"replications out of range", [] { OrderStudy({{"replications", {"0"}}}); }, "replications",
     "--replications: 0 is out of range; the value must be from 1 to 10000000",
     "replications: 0 is out of range; the value must be from 1 to 10000000"},
    {"a number that is not whole", [] { OrderStudy({{"replications", {"2.5"}}}); }, "replications",
     "--replications: \"2.5\" is not a whole number", "replications: \"2.5\" is not a whole number"},
    {"a name with a dash", [] { OrderAnalysis({{"max-iterations", {"0"}}}); }, "max-iterations",
     "--max-iterations: 0 is out of range; the value must be from 1 to 1000",
     "max_iterations: 0 is out of range; the value must be from 1 to 1000"},
    // One sentence for an lcg seed beyond 32 bits, a study's or a run's.
    {"an lcg study's seed", [] { OrderStudy({{"seed", {"4294967296"}}, {"generator", {"lcg"}}}); }, "seed",
     "--seed: 4294967296 is out of range; the lcg generator takes seeds from 0 to 4294967295 (philox any 64-bit "
     "number)",
     "seed: 4294967296 is out of range; the lcg generator takes seeds from 0 to 4294967295 (philox any 64-bit "
     "number)"},
    {"a run's seed", [] { OrderRun({{"seed", {"4294967296"}}}); }, "seed",
     "--seed: 4294967296 is out of range; the lcg generator takes seeds from 0 to 4294967295 (philox any 64-bit "
     "number)",
     "seed: 4294967296 is out of range; the lcg generator takes seeds from 0 to 4294967295 (philox any 64-bit "
     "number)"},
    {"a run's seed below 0", [] { OrderRun({{"seed", {"-1"}}}); }, "seed",
     "--seed: -1 is out of range; the value must be from 0 to 4294967295",
     "seed: -1 is out of range; the value must be from 0 to 4294967295"},
    {"a seed beyond 64 bits", [] { OrderStudy({{"seed", {"18446744073709551616"}}}); }, "seed",
     "--seed: 18446744073709551616 is out of range; the value must be from 0 to 18446744073709551615",
     "seed: 18446744073709551616 is out of range; the value must be from 0 to 18446744073709551615"},
    // A floating-point number at or above 2^53 may not hold the digits typed: 2^53 + 1
    // arrives as 2^53.
    {"a seed that came as a big double", [] { OrderStudy({{"seed", {"9007199254740992", true}}}); }, "seed",
     "--seed: 9007199254740992 is at or above 2^53 = 9007199254740992, where a number does not hold every whole "
     "number exactly; give it as a string of digits",
     "seed: 9007199254740992 is at or above 2^53 = 9007199254740992, where a number does not hold every whole "
     "number exactly; give it as a string of digits"},
    {"a fractional shard", [] { OrderStudy({{"shard", {"1/2.6"}}}); }, "shard",
     "--shard: \"1/2.6\" is not I/N with whole numbers I and N, N at least 1",
     "shard: \"1/2.6\" is not I/N with whole numbers I and N, N at least 1"},
    {"a generator", [] { OrderStudy({{"generator", {"Philox"}}}); }, "generator",
     "--generator: \"Philox\" is neither philox nor lcg", "generator: \"Philox\" is neither philox nor lcg"},
    {"a list", [] { OrderStudy({{"n", {"10,,20"}}}); }, "n", "--n: \"10,,20\" has an empty entry",
     "n: \"10,,20\" has an empty entry"},
    {"a run setting", [] { OrderRun({{"step", {"20"}}}); }, "step",
     "--step: 20 is out of range; the value must be from 1 to 10", "step: 20 is out of range; the value must be from 1 to 10"},
    {"a sheet's k", [] { OrderSheet({{"k", {"1"}}}); }, "k", "--k: 1 is out of range; the value must be from 2 to 10",
     "k: 1 is out of range; the value must be from 2 to 10"},
    {"a key beyond k", [] { OrderSheet({{"key", {"ABE"}}, {"k", {"4"}}}); }, "key",
     "--key: item 3: \"E\" is alternative 5, beyond the k = 4 alternatives of an item",
     "key: item 3: \"E\" is alternative 5, beyond the k = 4 alternatives of an item"},
    // A misspelt name (a link's, a keyword's) is refused, not ignored.
    {"a setting no study takes", [] { OrderStudy({{"replication", {"5"}}}); }, "",
     "\"replication\" is no setting here", "\"replication\" is no setting here"},
};

class SettingsRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(SettingsRefusal, NamesTheSettingInEachFrontEndsSpelling) {
  const Refusal& r = GetParam();
  try {
    r.order();
    FAIL() << "not refused";
  } catch (...) {
    const JobProblem p = ProblemOf(std::current_exception());
    EXPECT_EQ(p.kind, ErrorKind::Usage);
    EXPECT_EQ(p.setting, r.setting);
    EXPECT_EQ(p.message, r.commandLine);
    EXPECT_EQ(Worded(p, Spelling::Python), r.python);
    EXPECT_EQ(Worded(p, Spelling::R), r.python);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsRefusal, ::testing::ValuesIn(kRefusals));

TEST(Settings, WhatIsNotGivenComesFromTheTable) {
  const StudyOrder study = OrderStudy({{"seed", {"7"}}});
  EXPECT_EQ(study.study.replications, setting::replications.byDefault);
  EXPECT_EQ(study.study.generator, StudyGenerator::Philox);
  EXPECT_EQ(study.study.tolerance, setting::Tol.byDefault);
  EXPECT_EQ(study.study.conditions.At(1).n, setting::n.byDefault);
  EXPECT_FALSE(study.clockSeed);
  // A resumed study's seed and generator fill what the settings leave open.
  const StudyOrder resumed = OrderStudy({}, {}, StudyOrigin{42, StudyGenerator::Lcg, 10});
  EXPECT_EQ(resumed.study.seed, 42u);
  EXPECT_EQ(resumed.study.generator, StudyGenerator::Lcg);
  const StudyOrder clock = OrderStudy({{"generator", {"lcg"}}});
  EXPECT_TRUE(clock.clockSeed);
  EXPECT_EQ(Worded(ClockSeedNote(clock.study), Spelling::CommandLine),
            "seed " + std::to_string(clock.study.seed) + " (repeat this study with --seed " +
                std::to_string(clock.study.seed) + " --generator lcg)");
  EXPECT_EQ(Worded(ClockSeedNote(clock.study), Spelling::R),
            "seed " + std::to_string(clock.study.seed) + " (repeat this study with seed = " +
                std::to_string(clock.study.seed) + " generator = lcg)");

  const RunOrder run = OrderRun({{"n", {"20"}}, {"ci", {"1"}}});
  EXPECT_EQ(run.settings.SpinEdit_n, 20);
  EXPECT_TRUE(run.settings.CheckBox_CI);
  EXPECT_EQ(run.settings.SpinEdit_k, setting::k.byDefault);
  EXPECT_FALSE(run.seed);
}

// One sheet job counts for every front end: an absent examinee is absent, not failed too.
TEST(Settings, ASheetsOutcomeCountsTheAbsentOnce) {
  const std::unique_ptr<SheetSource> sheet = SheetSource::OfText("id,q1,q2\nKEY,A,B\nana,A,B\nbo,,\n", "the sheet");
  const SheetFrame frame = AnalyseSheetData(*sheet, OrderSheet({}), {});
  EXPECT_EQ(frame.outcome.examinees, 2);
  EXPECT_EQ(frame.outcome.absent, 1);
  EXPECT_EQ(frame.outcome.failed, 0);
  EXPECT_EQ(frame.outcome.Line(), "2 examinees analysed, 1 absent");
  EXPECT_EQ(frame.results.rows, 3u);  // and the pooled row
}

TEST(Settings, AHintIsSpeltAsEachFrontEndGivesTheSetting) {
  const std::string hint = "give " + Assigned("k", "5") + " if the items have 5 alternatives";
  EXPECT_EQ(Worded(hint, Spelling::CommandLine), "give --k 5 if the items have 5 alternatives");
  EXPECT_EQ(Worded(hint, Spelling::Python), "give k=5 if the items have 5 alternatives");
  EXPECT_EQ(Worded(hint, Spelling::R), "give k = 5 if the items have 5 alternatives");
  EXPECT_EQ(Worded(hint, Spelling::Plain), "give k 5 if the items have 5 alternatives");
}

}  // namespace
}  // namespace veltrano::jobs

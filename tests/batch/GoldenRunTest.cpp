// Seeded simulations are repeatable byte for byte: the complete data, residual and
// points files of a handful of small runs are fixed in tests/batch/golden/.
//
// The cases together switch every setting of the run on and off. To regenerate the
// files after a deliberate change of the output, run the tests with
// VELTRANO_REGENERATE_GOLDEN=1 in the environment, then read the diff before keeping it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>

#include "BatchTestSupport.h"

namespace veltrano::batch::testing {
namespace {

const std::filesystem::path kGoldenDir = VELTRANO_BATCH_GOLDEN_DIR;

struct GoldenCase {
  const char* name;
  std::vector<std::string> settings;
};

const GoldenCase kGoldenCases[] = {
    // Results table with the cells of a 2 x 2 table: captions X[1,1] ... X[2,2].
    {"k2_table", {"--n", "12", "--k", "2", "--do", "50", "--tests", "3", "--seed", "11"}},
    // Full listing in item order, k = 10 (nine trace columns, nine "--" placeholders).
    {"k10_full_sort_known",
     {"--n", "25", "--k", "10", "--do", "40", "--tests", "2", "--full", "--sort-known", "--seed", "22"}},
    // Full listing in random order, renumbered 001, 002, ...
    {"k3_full_random_order", {"--n", "14", "--k", "3", "--do", "60", "--tests", "2", "--full", "--seed", "33"}},
    // Interval on, alternative measures off, no cells, decimal comma, three degrees,
    // five decimals and a loose tolerance.
    {"k4_ci_iterate_comma",
     {"--n", "30", "--k", "4", "--do", "20", "--iterate", "--dmax", "45", "--step", "10", "--tests", "2", "--ci",
      "--comma", "--decimals", "5", "--no-alternative", "--no-table", "--tolerance", "6", "--max-iterations",
      "50", "--seed", "44"}},
    // No data lines at all; residuals and points still come.
    {"k5_no_text", {"--n", "40", "--k", "5", "--do", "70", "--tests", "3", "--no-text", "--seed", "55"}},
    // Do = 100 while iterating: Dmax cannot reach 100, the one degree 100 runs.
    {"k2_do100_iterate", {"--n", "10", "--k", "2", "--do", "100", "--iterate", "--tests", "2", "--seed", "66"}},
};

class GoldenRun : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenRun, OutputsMatchTheGoldenFiles) {
  const GoldenCase& c = GetParam();
  ScratchDir dir;
  std::vector<std::string> args{"simulate"};
  args.insert(args.end(), c.settings.begin(), c.settings.end());
  for (const char* kind : {"data", "residuals", "points"}) {
    args.push_back(std::string("--") + kind);
    args.push_back(dir / kind);
  }
  const Outcome o = RunCommand(args);
  ASSERT_EQ(o.status, kExitOk) << o.err;
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "");  // a given seed is not reported

  const bool regenerate = std::getenv("VELTRANO_REGENERATE_GOLDEN") != nullptr;
  for (const char* kind : {"data", "residuals", "points"}) {
    const auto golden = kGoldenDir / (std::string(c.name) + "." + kind);
    if (regenerate) {
      WriteFile(golden, ReadFile(dir / kind));
      continue;
    }
    EXPECT_EQ(ReadFile(dir / kind), ReadFile(golden)) << "differs from " << golden;
  }
}

INSTANTIATE_TEST_SUITE_P(Settings, GoldenRun, ::testing::ValuesIn(kGoldenCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The clock seed the run reports repeats the run exactly; "-" writes the same bytes to
// standard output as a file gets.
TEST(Simulate, ReportedClockSeedRepeatsTheRun) {
  ScratchDir dir;
  const std::vector<std::string> settings{"simulate", "--n", "20", "--k", "3", "--tests", "4", "--full"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = settings;
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCommand(args);
  };
  const Outcome first = with({"--data", dir / "first", "--points", "-"});
  ASSERT_EQ(first.status, kExitOk);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(first.err, m, std::regex("veltrano-batch: seed ([0-9]+) \\(repeat this run with "
                                                        "--seed \\1\\)\n")))
      << first.err;

  const Outcome again = with({"--seed", m[1], "--data", "-", "--points", dir / "points"});
  ASSERT_EQ(again.status, kExitOk);
  EXPECT_EQ(again.err, "");
  EXPECT_EQ(again.out, ReadFile(dir / "first"));
  EXPECT_EQ(ReadFile(dir / "points"), first.out);
}

}  // namespace
}  // namespace veltrano::batch::testing

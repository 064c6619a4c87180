// `analyse` fits the delta model to observed tables given as text. The reference
// values are those of the analysis's own tests (hand-derived for the 2 x 2 table:
// delta = 0.3 and pi = 3/7, 4/7 solve the likelihood equations exactly).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include <nlohmann/json.hpp>

#include "BatchTestSupport.h"

namespace veltrano::batch::testing {
namespace {

using ::testing::HasSubstr;

using Json = nlohmann::json;

std::vector<Json> JsonLines(const std::string& text) {
  std::vector<Json> objects;
  for (const std::string& line : Lines(text)) objects.push_back(Json::parse(line));
  return objects;
}

const char* const kThreeTables =
    "# rows are the correct alternative, columns the marked one\n"
    "8 1 1\n2 7 1\n1 1 8\n"
    "\n"
    "3 0 0\n0 4 0\n0 0 3\n"
    "\n"
    "6\t4\n3\t7\n";

TEST(Analyse, JsonCarriesTheFittedValues) {
  const Outcome o = RunCommand({"analyse", "--json", "--ci"}, kThreeTables);
  ASSERT_EQ(o.status, kExitOk) << o.err;
  const std::vector<Json> tables = JsonLines(o.out);
  ASSERT_EQ(tables.size(), 3u);

  const Json& t1 = tables[0];
  EXPECT_EQ(t1["table"], 1);
  EXPECT_EQ(t1["code"], 324);
  EXPECT_EQ(t1["active"], 1);
  EXPECT_EQ(t1["model_ok"], true);
  EXPECT_EQ(t1["Delta_MV_DataIndex"], 1);
  EXPECT_NEAR(t1["Delta_KA"].get<double>(), 0.65, 1e-12);
  EXPECT_NEAR(t1["Delta_KA_SE"].get<double>(), 0.11559, 5e-6);
  EXPECT_NEAR(t1["Delta_MV"].get<double>(), 0.649799, 5e-7);
  EXPECT_NEAR(t1["Delta_MV_SE"].get<double>(), 0.115640, 5e-7);
  EXPECT_NEAR(t1["DeltaM2_MV"].get<double>(), 0.564998, 5e-7);
  EXPECT_NEAR(t1["DeltaM2_MV_SE"].get<double>(), 0.115730, 5e-7);
  const auto pi = t1["Pi"].get<std::vector<double>>();
  ASSERT_EQ(pi.size(), 3u);
  EXPECT_NEAR(pi[0] + pi[1] + pi[2], 1.0, 1e-9);
  EXPECT_EQ(t1["PiM2"].size(), 3u);
  const auto ci = t1["CI"].get<std::vector<double>>();
  ASSERT_EQ(ci.size(), 2u);
  EXPECT_NEAR(ci[0], 0.387, 5e-4);
  EXPECT_NEAR(ci[1], 0.823, 5e-4);
  EXPECT_EQ(t1["VarDelta"].size(), 2u);
  // 23 right and 7 wrong answers of 30 with k = 3: (23 - 7/2)/30.
  EXPECT_NEAR(t1["DLN"].get<double>(), 0.65, 1e-15);
  EXPECT_EQ(t1["header"], "D\tSE(D)\tIC-(D)\tIC+(D)\tDk&a\tSE(Dk&a)");
  EXPECT_EQ(t1["record"], " 0.650\t 0.116\t 0.387\t 0.823\t 0.650\t 0.116");

  const Json& t2 = tables[1];  // every answer correct: analysed on table 2
  EXPECT_EQ(t2["code"], 122);
  EXPECT_EQ(t2["code2"], 324);
  EXPECT_EQ(t2["active"], 2);
  EXPECT_NEAR(t2["Delta_MV"].get<double>(), 0.688589, 5e-7);
  EXPECT_NEAR(t2["Delta_MV_SE"].get<double>(), 0.160242, 5e-7);
  EXPECT_EQ(t2["DLN"], 1.0);

  const Json& t3 = tables[2];
  EXPECT_NEAR(t3["Delta_MV"].get<double>(), 0.3, 1e-12);
  const auto pi3 = t3["Pi"].get<std::vector<double>>();
  ASSERT_EQ(pi3.size(), 2u);
  EXPECT_NEAR(pi3[0], 3.0 / 7, 1e-12);
  EXPECT_NEAR(pi3[1], 4.0 / 7, 1e-12);
}

// Numbers read back as the doubles computed; what the analysis could not compute (here
// the interval, not asked for) is null, never the undefined marker.
TEST(Analyse, JsonNumbersReadBackExactlyAndUndefinedIsNull) {
  const Outcome o = RunCommand({"analyse", "--json"}, "6 4\n3 7\n");
  ASSERT_EQ(o.status, kExitOk);
  const Json t = Json::parse(o.out);
  const double du = t["Delta_MV"].get<double>();
  EXPECT_NEAR(du, 0.3, 1e-15);
  EXPECT_EQ(Json::parse(Json(du).dump()).get<double>(), du);
  EXPECT_EQ(t["CI"], Json::parse("[null, null]"));
  EXPECT_EQ(o.out.find("-9999"), std::string::npos);
}

// The header line once, then one record per table, written as the simulation's record
// columns; the options reach the analysis as they do in a run.
TEST(Analyse, RecordLinesFollowTheOptions) {
  struct Case {
    std::vector<std::string> options;
    const char* expected;
  };
  const Case cases[] = {
      {{}, "D\tSE(D)\tDk&a\tSE(Dk&a)\n 0.650\t 0.116\t 0.650\t 0.116\n"
           " 0.689\t 0.160\t 0.687\t 0.161\n 0.300\t 0.212\t 0.300\t 0.212\n"},
      {{"--no-alternative", "--decimals", "5"},
       "D\tSE(D)\n 0.64980\t 0.11564\n 0.68859\t 0.16024\n 0.30000\t 0.21213\n"},
      {{"--ci", "--no-alternative", "--decimals", "2"},
       "D\tSE(D)\tIC-(D)\tIC+(D)\n 0.65\t 0.12\t 0.39\t 0.82\n 0.69\t 0.16\t 0.58\t 1.00\n"
       " 0.30\t 0.21\t-0.13\t 0.64\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"analyse", "-"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome o = RunCommand(args, kThreeTables);
    EXPECT_EQ(o.status, kExitOk);
    EXPECT_EQ(o.out, c.expected) << ::testing::PrintToString(c.options);
  }
}

// An iteration limit of 1 stops Newton's method after one step: the estimate moves.
TEST(Analyse, IterationLimitReachesTheAnalysis) {
  const Outcome full = RunCommand({"analyse", "--json"}, "8 1 1\n2 7 1\n1 1 8\n");
  const Outcome oneStep = RunCommand({"analyse", "--json", "--max-iterations", "1"}, "8 1 1\n2 7 1\n1 1 8\n");
  EXPECT_NE(Json::parse(full.out)["Delta_MV"], Json::parse(oneStep.out)["Delta_MV"]);
}

// Cells of 1e-300 used to drive the analysis into an invalid floating-point operation,
// which gave an "error:" line in that table's place. They are no counts: the input is
// refused before any table is analysed, in either format. (No table of whole counts up
// to kMaxTableTotal is known to make the analysis fail.)
TEST(Analyse, TableOfFractionsIsRefusedBeforeAnyIsAnalysed) {
  const std::string input = "6 4\n3 7\n\n1e-300 0\n1e-300 0\n\n6 4\n3 7\n";
  for (const auto& args : {std::vector<std::string>{"analyse"}, std::vector<std::string>{"analyse", "--json"}}) {
    const Outcome o = RunCommand(args, input);
    EXPECT_EQ(o.status, kExitUsage);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err,
              "veltrano-batch: standard input: table 2, line 4: \"1e-300\" is not a whole number; an entry must be "
              "a count\n");
  }
}

// Tables are analysed on several threads and written in their order.
TEST(Analyse, GivesTheSameOutputOnAnyNumberOfThreads) {
  std::string input;
  for (int t = 0; t < 300; ++t)
    input += std::to_string(t % 9 + 1) + " " + std::to_string(t % 4) + " 1\n2 " + std::to_string(t % 7 + 2) +
             " 1\n1 " + std::to_string(t % 3) + " 8\n\n";
  const Outcome one = RunCommand({"analyse", "--ci", "--jobs", "1"}, input);
  const Outcome three = RunCommand({"analyse", "--ci", "--jobs", "3"}, input);
  ASSERT_EQ(one.status, kExitOk);
  EXPECT_EQ(Lines(one.out).size(), 301u);
  EXPECT_EQ(three.out, one.out);
}

TEST(Analyse, ReadsAFile) {
  ScratchDir dir;
  WriteFile(dir / "tables.txt", kThreeTables);
  const Outcome fromFile = RunCommand({"analyse", dir / "tables.txt"});
  const Outcome fromInput = RunCommand({"analyse"}, kThreeTables);
  EXPECT_EQ(fromFile.status, kExitOk);
  EXPECT_EQ(fromFile.out, fromInput.out);
  EXPECT_THAT(fromFile.out, HasSubstr(" 0.300\t 0.212"));
}

}  // namespace
}  // namespace veltrano::batch::testing

// `analyse` fits the delta model to observed tables given as text. The reference
// values are those of the analysis's own tests (hand-derived for the 2 x 2 table:
// delta = 0.3 and pi = 3/7, 4/7 solve the likelihood equations exactly).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "BatchTestSupport.h"

namespace veltrano::batch::testing {
namespace {

using ::testing::HasSubstr;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// The raw text of a key's value in a flat JSON object line: a number, or a list "[...]",
// or a string "...".
std::string JsonValue(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\": ";
  const std::size_t at = line.find(tag);
  if (at == std::string::npos) return "<no key " + key + ">";
  const std::size_t from = at + tag.size();
  std::size_t to = from;
  if (line[from] == '[') {
    to = line.find(']', from) + 1;
  } else if (line[from] == '"') {
    to = from + 1;
    while (line[to] != '"') to += line[to] == '\\' ? 2 : 1;
    ++to;
  } else {
    to = line.find_first_of(",}", from);
  }
  return line.substr(from, to - from);
}

double JsonNumber(const std::string& line, const std::string& key) {
  return std::strtod(JsonValue(line, key).c_str(), nullptr);
}

std::vector<double> JsonList(const std::string& line, const std::string& key) {
  std::string list = JsonValue(line, key);
  std::vector<double> values;
  for (const char* p = list.c_str() + 1; *p != ']' && *p != '\0';) {
    char* end = nullptr;
    values.push_back(std::strtod(p, &end));
    p = end;
    while (*p == ',' || *p == ' ') ++p;
  }
  return values;
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
  const auto lines = Lines(o.out);
  ASSERT_EQ(lines.size(), 3u);

  const std::string& t1 = lines[0];
  EXPECT_EQ(JsonValue(t1, "code"), "324");
  EXPECT_EQ(JsonValue(t1, "active"), "1");
  EXPECT_EQ(JsonValue(t1, "model_ok"), "true");
  EXPECT_EQ(JsonValue(t1, "Delta_MV_DataIndex"), "1");
  EXPECT_NEAR(JsonNumber(t1, "Delta_KA"), 0.65, 1e-12);
  EXPECT_NEAR(JsonNumber(t1, "Delta_KA_SE"), 0.11559, 5e-6);
  EXPECT_NEAR(JsonNumber(t1, "Delta_MV"), 0.649799, 5e-7);
  EXPECT_NEAR(JsonNumber(t1, "Delta_MV_SE"), 0.115640, 5e-7);
  EXPECT_NEAR(JsonNumber(t1, "DeltaM2_MV"), 0.564998, 5e-7);
  EXPECT_NEAR(JsonNumber(t1, "DeltaM2_MV_SE"), 0.115730, 5e-7);
  const auto pi = JsonList(t1, "Pi");
  ASSERT_EQ(pi.size(), 3u);
  EXPECT_NEAR(pi[0], 0.428374, 5e-7);
  EXPECT_NEAR(pi[1], 0.276881, 5e-7);
  EXPECT_NEAR(pi[2], 0.294745, 5e-7);
  EXPECT_EQ(JsonList(t1, "PiM2").size(), 3u);
  const auto ci = JsonList(t1, "CI");
  ASSERT_EQ(ci.size(), 2u);
  EXPECT_NEAR(ci[0], 0.386873, 5e-7);
  EXPECT_NEAR(ci[1], 0.822881, 5e-7);
  const auto var = JsonList(t1, "VarDelta");
  ASSERT_EQ(var.size(), 2u);
  EXPECT_NEAR(std::sqrt(var[0]), 0.115640, 5e-7);  // the SE is the root of the variance
  EXPECT_EQ(JsonValue(t1, "header"), R"j("D\tSE(D)\tIC-(D)\tIC+(D)\tDk&a\tSE(Dk&a)")j");
  EXPECT_EQ(JsonValue(t1, "record"), R"j(" 0.650\t 0.116\t 0.387\t 0.823\t 0.650\t 0.116")j");

  const std::string& t2 = lines[1];  // every answer correct: analysed on table 2
  EXPECT_EQ(JsonValue(t2, "code"), "122");
  EXPECT_EQ(JsonValue(t2, "code2"), "324");
  EXPECT_EQ(JsonValue(t2, "active"), "2");
  EXPECT_NEAR(JsonNumber(t2, "Delta_MV"), 0.688589, 5e-7);
  EXPECT_NEAR(JsonNumber(t2, "Delta_MV_SE"), 0.160242, 5e-7);

  const std::string& t3 = lines[2];
  EXPECT_NEAR(JsonNumber(t3, "Delta_MV"), 0.3, 1e-12);
  const auto pi3 = JsonList(t3, "Pi");
  ASSERT_EQ(pi3.size(), 2u);
  EXPECT_NEAR(pi3[0], 3.0 / 7, 1e-12);
  EXPECT_NEAR(pi3[1], 4.0 / 7, 1e-12);
}

// Numbers carry 17 significant digits, so they read back as the doubles computed.
TEST(Analyse, JsonNumbersReadBackExactly) {
  const Outcome o = RunCommand({"analyse", "--json"}, "6 4\n3 7\n");
  ASSERT_EQ(o.status, kExitOk);
  EXPECT_TRUE(std::regex_search(o.out, std::regex(R"("Delta_MV": 0\.(299999999999999|300000000000000)[0-9]{2}[,}])")))
      << o.out;
  EXPECT_EQ(JsonValue(o.out, "CI"), "[-9999.9989999999998, -9999.9989999999998]");  // no interval asked for
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
  EXPECT_NE(JsonValue(full.out, "Delta_MV"), JsonValue(oneStep.out, "Delta_MV"));
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

// Bad input is refused with one line naming the option, or the table and line, and
// status 2, before anything is written; files that cannot be opened give status 1.
#include <gtest/gtest.h>

#include "BatchTestSupport.h"

namespace veltrano::batch::testing {
namespace {

struct BadCase {
  std::vector<std::string> args;
  const char* input;    // standard input of `analyse`
  int status;
  const char* message;  // the whole of standard error, without the program prefix
};

void PrintTo(const BadCase& c, std::ostream* os) {
  *os << "veltrano-batch";
  for (const std::string& a : c.args) *os << ' ' << a;
}

const BadCase kBadOptions[] = {
    {{"simulate", "--n", "0"}, "", 2, "--n: 0 is out of range; the value must be from 1 to 100000"},
    {{"simulate", "--n", "100001"}, "", 2, "--n: 100001 is out of range; the value must be from 1 to 100000"},
    {{"simulate", "--k", "11"}, "", 2, "--k: 11 is out of range; the value must be from 2 to 10"},
    {{"simulate", "--do", "-1"}, "", 2, "--do: -1 is out of range; the value must be from 0 to 100"},
    {{"simulate", "--dmax", "100"}, "", 2, "--dmax: 100 is out of range; the value must be from 0 to 99"},
    {{"simulate", "--step", "0"}, "", 2, "--step: 0 is out of range; the value must be from 1 to 10"},
    {{"simulate", "--tests", "10001"}, "", 2, "--tests: 10001 is out of range; the value must be from 1 to 10000"},
    {{"simulate", "--decimals", "9"}, "", 2, "--decimals: 9 is out of range; the value must be from 1 to 8"},
    {{"simulate", "--tolerance", "1"}, "", 2, "--tolerance: 1 is out of range; the value must be from 2 to 15"},
    {{"simulate", "--max-iterations", "1001"},
     "",
     2,
     "--max-iterations: 1001 is out of range; the value must be from 1 to 1000"},
    {{"simulate", "--seed", "4294967296"},
     "",
     2,
     "--seed: 4294967296 is out of range; the lcg generator takes seeds from 0 to 4294967295 (philox any 64-bit "
     "number)"},
    {{"simulate", "--seed", "1", "--seed", "2"}, "", 2, "--seed: given 2 times; give it once"},
    {{"study", "--replications", "0"}, "", 2, "--replications: 0 is out of range; the value must be from 1 to 10000000"},
    {{"study", "--shard", "1/2.6"}, "", 2, "--shard: \"1/2.6\" is not I/N with whole numbers I and N, N at least 1"},
    {{"simulate", "--seed", "99999999999999999999"},
     "",
     2,
     "--seed: 99999999999999999999 is out of range; the value must be from 0 to 18446744073709551615"},
    {{"simulate", "--condition", "2", "--seed", "1"},
     "",
     2,
     "--condition: makes a philox study's replications again; give --generator philox and the study's --seed"},
    {{"simulate", "--generator", "philox", "--condition", "2", "--replications", "1:3"},
     "",
     2,
     "--generator philox: give the study's seed with --seed"},
    {{"simulate", "--generator", "philox", "--seed", "1", "--condition", "2", "--replications", "5:3"},
     "",
     2,
     "--replications: \"5:3\": the first replication is after the last"},
    {{"simulate", "--generator", "philox", "--seed", "1", "--condition", "2", "--tests", "2"},
     "",
     2,
     "--tests excludes --condition"},
    {{"simulate", "--generator", "mt", "--seed", "1"}, "", 2, "--generator: \"mt\" is neither philox nor lcg"},
    {{"simulate", "--n", "1e2"}, "", 2, "--n: \"1e2\" is not a whole number"},
    {{"simulate", "--tests", "12abc"}, "", 2, "--tests: \"12abc\" is not a whole number"},
    {{"simulate", "--k", ""}, "", 2, "--k: \"\" is not a whole number"},
    {{"simulate", "--data", ""}, "", 2, "--data: the file name is empty"},
    {{"simulate", "--colour"}, "", 2, "The following argument was not expected: --colour"},
    {{"simulate", "--graph", "chart.jpg"}, "", 2, "--graph: chart.jpg must end in .png or .svg"},
    {{"simulate", "--data", "same.txt", "--points", "same.txt"},
     "",
     2,
     "--points: same.txt is already the output of --data"},
    {{"analyse", "--decimals", "0"}, "", 2, "--decimals: 0 is out of range; the value must be from 1 to 8"},
    {{"analyse", "--table"}, "", 2, "The following argument was not expected: --table"},
    {{"estimate"}, "", 2, "unknown command \"estimate\"; the commands are simulate, analyse and study (see --help)"},
    {{}, "", 2, "A subcommand is required"},
};

const BadCase kBadTables[] = {
    {{"analyse"}, "1 2\n3\n", 2,
     "standard input: table 1, line 2: 1 entry where the first row has 2; every row must have the same "
     "number of entries"},
    {{"analyse"}, "1 2 3\n4 5 6\n", 2, "standard input: table 1, line 1: 2 rows of 3 entries; a table must be square"},
    {{"analyse"}, "# a comment\n1 2\n3 4\n5 6\n", 2,
     "standard input: table 1, line 4: more rows than the 2 columns; a table must be square (end it with a "
     "blank line)"},
    {{"analyse"}, "7\n", 2, "standard input: table 1, line 1: 1 entry in the first row; a table has 2 to 10 classes"},
    {{"analyse"}, "1 2 3 4 5 6 7 8 9 10 11\n", 2,
     "standard input: table 1, line 1: 11 entries in the first row; a table has 2 to 10 classes"},
    {{"analyse"}, "1 2\n3 4\n\n5 6\n7 -8\n", 2,
     "standard input: table 2, line 5: \"-8\" is negative; an entry must be a count, 0 or more"},
    {{"analyse"}, "1 2\n3 four\n", 2, "standard input: table 1, line 2: \"four\" is not a number"},
    {{"analyse"}, "1,5 2\n3 4\n", 2, "standard input: table 1, line 1: \"1,5\" is not a number"},
    {{"analyse"}, "1 2\n3 \x01\xff\n", 2, "standard input: table 1, line 2: \"\\x01\\xff\" is not a number"},
    {{"analyse"}, "1 2\n3 inf\n", 2, "standard input: table 1, line 2: \"inf\" is not a finite number"},
    {{"analyse"}, "1 2\n3 nan\n", 2, "standard input: table 1, line 2: \"nan\" is not a finite number"},
    {{"analyse"}, "1 2\n3 2e15\n", 2,
     "standard input: table 1, line 2: \"2e15\" is out of range; an entry must be a number from 0 to 1e15"},
    {{"analyse"}, "1 2\n3 1e999\n", 2,
     "standard input: table 1, line 2: \"1e999\" is out of range; an entry must be a number from 0 to 1e15"},
    {{"analyse"}, "1 2\n3 4\n\n1e12 1\n1 1\n", 2,
     "standard input: table 2, line 4: the entries add up to 1000000000003; a table's total may be at most "
     "1000000000 (the analysis loses precision beyond it)"},
    {{"analyse"}, "1 2\n3 4\n\n\n0 0 0\n0 0 0\n0 0 0\n", 2,
     "standard input: table 2, line 5: every entry is 0; a table needs a positive total"},
    {{"analyse"}, "# nothing but a comment\n\n", 2, "standard input: the input holds no table"},
    {{"analyse"}, "", 2, "standard input: the input holds no table"},
};

class BadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInput, IsRefusedWithOneLineAndNothingWritten) {
  const BadCase& c = GetParam();
  ScratchDir dir;
  std::vector<std::string> args = c.args;
  // Where a simulation would write, had it started.
  if (!args.empty() && args[0] == "simulate") args.insert(args.end(), {"--residuals", dir / "residuals"});
  const Outcome o = RunCommand(args, c.input);
  EXPECT_EQ(o.status, c.status);
  EXPECT_EQ(o.err, std::string("veltrano-batch: ") + c.message + "\n");
  EXPECT_EQ(o.out, "");
  EXPECT_FALSE(std::filesystem::exists(dir / "residuals"));
}

INSTANTIATE_TEST_SUITE_P(Options, BadInput, ::testing::ValuesIn(kBadOptions));
INSTANTIATE_TEST_SUITE_P(Tables, BadInput, ::testing::ValuesIn(kBadTables));

// The first bad table stops the command before any table is analysed, even when the
// good ones come first.
TEST(BadTable, NothingIsAnalysedBeforeTheWholeInputIsRead) {
  const Outcome o = RunCommand({"analyse", "--json"}, "6 4\n3 7\n\n6 4\n3 x\n");
  EXPECT_EQ(o.status, kExitUsage);
  EXPECT_EQ(o.out, "");
}

TEST(Files, ThatCannotBeOpenedGiveStatusOne) {
  ScratchDir dir;
  const std::string missing = dir / "no-such-dir";
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"simulate", "--seed", "1", "--data", missing + "/data.txt"},
       "cannot open " + missing + "/data.txt: No such file or directory"},
      {{"analyse", missing + "/tables.txt"}, "cannot read " + missing + "/tables.txt: No such file or directory"},
      {{"analyse", dir / ""}, "cannot read " + (dir / "") + ": it is a directory"},
  };
  for (const Case& c : cases) {
    const Outcome o = RunCommand(c.args);
    EXPECT_EQ(o.status, kExitFailure);
    EXPECT_EQ(o.err, "veltrano-batch: " + c.message + "\n");
    EXPECT_EQ(o.out, "");
  }
}

TEST(Help, ListsEveryOptionWithItsRangeAndDefault) {
  const Outcome o = RunCommand({"simulate", "--help"});
  EXPECT_EQ(o.status, kExitOk);
  for (const char* text :
       {"--n INT", "(1 to 100000, default 100)", "--k INT", "(2 to 10, default 3)", "(0 to 100, default 50)",
        "--iterate", "(0 to 99, default 99)", "(1 to 10, default 10)", "(1 to 10000, default 50)", "--no-text",
        "--full", "--sort-known", "--no-table", "(1 to 8, default 3)", "--ci", "--no-alternative",
        "(2 to 15, default 10)", "(1 to 1000, default 500)", "--comma", "--seed S", "0 to 4294967295", "--data FILE",
        "--residuals FILE", "--points FILE", "--graph FILE", "--residual-graph FILE", "--no-show-du",
        "--no-show-dc", "--no-show-d", "--no-show-dln", "--quiet"})
    EXPECT_NE(o.out.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace veltrano::batch::testing

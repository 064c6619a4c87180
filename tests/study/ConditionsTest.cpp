// The conditions of a study: list options, design files, the grid's order, shards and
// the seed of every condition.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <sstream>

#include "study/StudyConditions.h"

namespace veltrano {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::ThrowsMessage;

TEST(ValueList, ValuesAndRanges) {
  EXPECT_THAT(ParseValueList("0:100:10", setting::D0), ElementsAre(0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100));
  EXPECT_THAT(ParseValueList("10,20,50,100", setting::n), ElementsAre(10, 20, 50, 100));
  EXPECT_THAT(ParseValueList("2:5", setting::k), ElementsAre(2, 3, 4, 5));
  EXPECT_THAT(ParseValueList("0:100:30", setting::D0), ElementsAre(0, 30, 60, 90));  // hi need not be reached
  EXPECT_THAT(ParseValueList(" 7 , 3:3:1, 100000", setting::n), ElementsAre(7, 3, 100000));
  EXPECT_THAT(ParseValueList("1:100000:100000", setting::n), ElementsAre(1));
}

struct BadList {
  const char* text;
  const SettingEntry* setting;
  const char* message;
};
void PrintTo(const BadList& c, std::ostream* os) { *os << c.setting->option << " \"" << c.text << "\""; }

const BadList kBadLists[] = {
    {"", &setting::n, "n: the list is empty"},
    {"  ", &setting::k, "k: the list is empty"},
    {"10,,20", &setting::n, "n: \"10,,20\" has an empty entry"},
    {"10,", &setting::n, "n: \"10,\" has an empty entry"},
    {"1e2", &setting::n, "n: \"1e2\" is not a whole number"},
    {"0", &setting::n, "n: 0 is out of range; the value must be from 1 to 100000"},
    {"11", &setting::k, "k: 11 is out of range; the value must be from 2 to 10"},
    {"0:120:10", &setting::D0, "do: 120 is out of range; the value must be from 0 to 100"},
    {"-10:50:10", &setting::D0, "do: -10 is out of range; the value must be from 0 to 100"},
    {"0:100:0", &setting::D0, "do: \"0:100:0\": the step 0 is out of range; the value must be from 1 to 101"},
    {"0:100:x", &setting::D0, "do: \"0:100:x\": the step \"x\" is not a whole number"},
    {"50:10:5", &setting::D0, "do: \"50:10:5\" runs backwards: 50 is above 10"},
    {"0:100:10:5", &setting::D0, "do: \"0:100:10:5\" is neither a value nor a range lo:hi:step"},
    {":10", &setting::D0, "do: \"\" is not a whole number"},
};

class ValueListRefuses : public ::testing::TestWithParam<BadList> {};
TEST_P(ValueListRefuses, WithAMessageNamingTheOption) {
  const BadList& c = GetParam();
  EXPECT_THAT([&] { ParseValueList(c.text, *c.setting); }, ThrowsMessage<StudyInputError>(c.message));
}
INSTANTIATE_TEST_SUITE_P(Lists, ValueListRefuses, ::testing::ValuesIn(kBadLists));

TEST(Design, ReadsConditionsInFileOrder) {
  std::istringstream in(
      "\xEF\xBB\xBF" "do, n ,k\r\n"
      "# a comment\r\n"
      "30,20,4\r\n"
      "\r\n"
      "0, 100000, 10\n"
      "100,1,2");
  const std::vector<Condition> c = ReadDesign(in, "design.csv");
  EXPECT_THAT(c, ElementsAre(Condition{20, 4, 30}, Condition{100000, 10, 0}, Condition{1, 2, 100}));
}

struct BadDesign {
  const char* text;
  const char* message;
};
void PrintTo(const BadDesign& c, std::ostream* os) { *os << c.message; }

const BadDesign kBadDesigns[] = {
    {"", "d.csv: the file holds no condition"},
    {"n,k,do\n# nothing\n", "d.csv: the file holds no condition"},
    {"n,k\n20,3\n", "d.csv, line 1: the header must name the columns n, k and do (\"n,k,do\"), got \"n,k\""},
    {"n,k,k\n", "d.csv, line 1: the header must name the columns n, k and do (\"n,k,do\"), got \"n,k,k\""},
    {"n,k,do\n20,3,50\n20,3\n", "d.csv, line 3: 2 values where the header names 3 (n, k and do)"},
    {"n,k,do\n20,3,50,1\n", "d.csv, line 2: 4 values where the header names 3 (n, k and do)"},
    {"n,k,do\n\n20,3,x\n", "d.csv, line 3: column do: \"x\" is not a whole number"},
    {"k,n,do\n11,20,50\n", "d.csv, line 2: column k: 11 is out of range; the value must be from 2 to 10"},
    {"n,k,do\n20,3,101\n", "d.csv, line 2: column do: 101 is out of range; the value must be from 0 to 100"},
    {"n,k,do\n,3,50\n", "d.csv, line 2: column n: \"\" is not a whole number"},
};

class DesignRefuses : public ::testing::TestWithParam<BadDesign> {};
TEST_P(DesignRefuses, NamingFileAndLine) {
  std::istringstream in(GetParam().text);
  EXPECT_THAT([&] { ReadDesign(in, "d.csv"); }, ThrowsMessage<StudyInputError>(GetParam().message));
}
INSTANTIATE_TEST_SUITE_P(Lines, DesignRefuses, ::testing::ValuesIn(kBadDesigns));

TEST(Grid, NOutermostThenKThenDo) {
  const StudyConditions g = StudyConditions::Grid({10, 20}, {2, 3, 4}, {0, 50});
  ASSERT_EQ(g.Count(), 12);
  std::vector<Condition> all;
  for (std::int64_t i = 1; i <= g.Count(); ++i) all.push_back(g.At(i));
  EXPECT_THAT(all, ElementsAreArray({Condition{10, 2, 0}, {10, 2, 50}, {10, 3, 0}, {10, 3, 50}, {10, 4, 0},
                                     {10, 4, 50}, {20, 2, 0}, {20, 2, 50}, {20, 3, 0}, {20, 3, 50}, {20, 4, 0},
                                     {20, 4, 50}}));
}

TEST(Shard, TakesEveryNthConditionFromI) {
  const Shard s = ParseShard("3/4");
  EXPECT_EQ(s.index, 3);
  EXPECT_EQ(s.count, 4);
  EXPECT_EQ(s.Size(10), 2);  // conditions 3 and 7
  EXPECT_EQ(s.Condition(1), 7);
  EXPECT_TRUE(s.Holds(7));
  EXPECT_FALSE(s.Holds(8));
  EXPECT_EQ(ParseShard("4/4").Size(10), 2);  // 4 and 8
  EXPECT_EQ(ParseShard("5/5").Size(4), 0);
  EXPECT_THAT([] { ParseShard("0/4"); }, ThrowsMessage<StudyInputError>("shard: \"0/4\": I must be from 1 to N (4)"));
  EXPECT_THAT([] { ParseShard("5/4"); }, ThrowsMessage<StudyInputError>("shard: \"5/4\": I must be from 1 to N (4)"));
  EXPECT_THAT([] { ParseShard("-1/4"); },
              ThrowsMessage<StudyInputError>("shard: \"-1/4\": I must be from 1 to N (4)"));
  for (const char* bad : {"3", "3/", "/4", "3/0", "a/4", "3/4/5"})
    EXPECT_THAT([bad] { ParseShard(bad); },
                ThrowsMessage<StudyInputError>(std::string("shard: \"") + bad +
                                               "\" is not I/N with whole numbers I and N, N at least 1"))
        << bad;
}

// Reference values from an independent implementation of the documented mix; (0, 0)
// is SplitMix64's well-known first output 0xe220a8397b1dcdaf. A change here changes
// every published study, so these never move.
TEST(ConditionSeed, FollowsTheDocumentedMix) {
  EXPECT_EQ(ConditionSeed(0, 0), 0xe220a839u);
  EXPECT_EQ(ConditionSeed(0, 1), 2433363436u);
  EXPECT_EQ(ConditionSeed(0, 2), 2539140574u);
  EXPECT_EQ(ConditionSeed(1, 1), 541299110u);
  EXPECT_EQ(ConditionSeed(12345, 7), 1157863096u);
  EXPECT_EQ(ConditionSeed(4294967295u, 4294967295u), 3839455607u);
}

}  // namespace
}  // namespace veltrano

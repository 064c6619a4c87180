// Reading outputs back: shards merge into the whole output byte for byte, anything
// that is not one study's complete set of conditions is refused by name and line, and
// a resumed output keeps exactly its complete conditions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <optional>
#include <sstream>

#include "StudySupport.h"
#include "study/StudyFiles.h"

namespace veltrano {
namespace {

using ::testing::ThrowsMessage;
using testing::CollectingSink;
using testing::GridStudy;

// Six conditions of 50 replications.
const StudyDefinition& Study6() {
  static const StudyDefinition s = GridStudy({10, 40}, {3}, {0, 50, 90}, 50, 31);
  return s;
}

// The same drawn from philox streams.
const StudyDefinition& Study6Philox() {
  static const StudyDefinition s = GridStudy({10, 40}, {3}, {0, 50, 90}, 50, 31, false, StudyGenerator::Philox);
  return s;
}

// The output of shard I/N of Study6 (the whole study for 1/1), header included for CSV.
std::string Output(RowFormat format, Shard shard = {}, const StudyDefinition& s = Study6()) {
  CollectingSink sink;
  ExecuteStudy(s, {shard, 0}, {format, false, 2}, sink);
  return (format == RowFormat::Csv ? std::string(SummaryHeader(s.generator)) + "\n" : "") + sink.rows;
}

std::string Merged(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<std::istringstream> streams;
  streams.reserve(files.size());
  std::vector<StudyInput> inputs;
  for (const auto& [name, text] : files) {
    streams.emplace_back(text);
    inputs.push_back({name, &streams.back()});
  }
  std::string out;
  MergeStudyOutputs(inputs, [&out](std::string_view text) { out.append(text); });
  return out;
}

TEST(Merge, ShardsJoinIntoTheWholeOutput) {
  for (const StudyDefinition* s : {&Study6(), &Study6Philox()})
    for (RowFormat f : {RowFormat::Csv, RowFormat::Json}) {
      const std::string whole = Output(f, {}, *s);
      EXPECT_EQ(Merged({{"c", Output(f, {3, 4}, *s)}, {"a", Output(f, {1, 4}, *s)}, {"d", Output(f, {4, 4}, *s)},
                        {"b", Output(f, {2, 4}, *s)}}),
                whole);
      EXPECT_EQ(Merged({{"all", whole}}), whole);
    }
  // A shard with no condition of its own adds nothing.
  EXPECT_EQ(Merged({{"a", Output(RowFormat::Csv)}, {"empty", Output(RowFormat::Csv, {7, 7})}}),
            Output(RowFormat::Csv));
}

// The lines of a text from `from` (0-based) to `to` (exclusive), each with its "\n".
std::string LinesOf(const std::string& text, std::size_t from, std::size_t to) {
  const std::vector<std::string> lines = testing::Lines(text);
  std::string out;
  for (std::size_t i = from; i < to && i < lines.size(); ++i) out += lines[i] + "\n";
  return out;
}

struct BadMerge {
  std::string what;
  std::vector<std::pair<std::string, std::string>> files;
  std::string message;
};
void PrintTo(const BadMerge& c, std::ostream* os) { *os << c.what; }

std::vector<BadMerge> BadMerges() {
  const std::string csv = Output(RowFormat::Csv);
  const std::string odd = Output(RowFormat::Csv, {1, 2});   // conditions 1, 3, 5
  const std::string even = Output(RowFormat::Csv, {2, 2});  // conditions 2, 4, 6
  StudyDefinition other = Study6();
  other.seed = 32;
  const std::string header = LinesOf(csv, 0, 1);
  const std::string otherStudy = StudyFingerprint(other), thisStudy = StudyFingerprint(Study6());
  return {
      {"a missing shard", {{"odd.csv", odd}}, "condition 2 of 6 is in none of the files; is a shard missing or unfinished?"},
      {"a shard twice", {{"odd.csv", odd}, {"even.csv", even}, {"again.csv", odd}},
       "condition 1 is in both odd.csv (line 2) and again.csv (line 2)"},
      {"another study", {{"odd.csv", odd}, {"other.csv", Output(RowFormat::Csv, {2, 2}, other)}},
       "other.csv, line 2: a row of study " + otherStudy + " (6 conditions, seed 32), but odd.csv holds study " +
           thisStudy + " (6 conditions, seed 31); only outputs of one study merge"},
      {"two formats", {{"odd.csv", odd}, {"even.json", Output(RowFormat::Json, {2, 2})}},
       "odd.csv is CSV and even.json is JSON; merge outputs of one format"},
      {"an unfinished shard", {{"odd.csv", odd}, {"even.csv", LinesOf(even, 0, 6)}},
       "even.csv, line 5: the last condition is incomplete (the study was interrupted?); finish it with resume "
       "before merging"},
      {"a cut line", {{"odd.csv", odd}, {"even.csv", even.substr(0, even.size() - 5)}},
       "even.csv, line 8: the last condition is incomplete (the study was interrupted?); finish it with resume "
       "before merging"},
      {"conditions out of order", {{"mixed.csv", header + LinesOf(even, 1, 4) + LinesOf(odd, 1, 4)}},
       "mixed.csv, line 5: condition 1 after condition 2; a study output holds its conditions in order"},
      {"rows out of order", {{"x.csv", header + LinesOf(csv, 2, 3) + LinesOf(csv, 1, 2)}},
       "x.csv, line 2: the row of estimator \"Dc\" where Du belongs (each condition has the rows Du, Dc, DLN in this "
       "order)"},
      {"not an output", {{"notes.txt", "hello\n"}},
       "notes.txt, line 1: not a study output: the first line is neither the study header nor a JSON row"},
      {"a short row", {{"x.csv", header + "1,2,3\n"}}, "x.csv, line 2: 3 cells where a study row has 35"},
      {"another generator", {{"odd.csv", odd}, {"even.csv", Output(RowFormat::Csv, {2, 2}, Study6Philox())}},
       "even.csv, line 2: a row of study " + StudyFingerprint(Study6Philox()) +
           " (6 conditions, seed 31, philox), but odd.csv holds study " + thisStudy +
           " (6 conditions, seed 31); only outputs of one study merge"},
      {"a philox row under an lcg header", {{"x.csv", header + LinesOf(Output(RowFormat::Csv, {}, Study6Philox()), 1, 4)}},
       "x.csv, line 2: a row of a study drawn from philox under the header of one drawn from lcg"},
      {"a generator that is not philox", {{"x.csv", header + LinesOf(csv, 1, 2).substr(0, LinesOf(csv, 1, 2).size() - 1) + ",lcg\n"}},
       "x.csv, line 2: not a study row (its generator is \"lcg\"; only philox studies have the column)"},
      {"nothing", {{"x.csv", header}}, "the files hold no study rows"},
  };
}

class MergeRefuses : public ::testing::TestWithParam<BadMerge> {};
TEST_P(MergeRefuses, NamingTheFileAndLine) {
  EXPECT_THAT([&] { Merged(GetParam().files); }, ThrowsMessage<StudyInputError>(GetParam().message));
}
INSTANTIATE_TEST_SUITE_P(Inputs, MergeRefuses, ::testing::ValuesIn(BadMerges()));

ResumePoint Scan(const std::string& text, const StudyDefinition& s = Study6(), Shard shard = {}) {
  std::istringstream in(text);
  return ScanForResume(in, "out.csv", s, shard);
}

// An output cut anywhere keeps the conditions whose three rows are all there.
TEST(Resume, KeepsExactlyTheCompleteConditions) {
  for (RowFormat f : {RowFormat::Csv, RowFormat::Json}) {
    const std::string whole = Output(f);
    const std::size_t header = f == RowFormat::Csv ? 1 : 0;
    const auto prefix = [&](std::size_t conditions) { return LinesOf(whole, 0, header + 3 * conditions); };
    struct Cut {
      std::string text;
      std::int64_t complete;
    };
    const Cut cuts[] = {
        {whole, 6},
        {prefix(2), 2},
        {prefix(2) + LinesOf(whole, header + 6, header + 8), 2},                   // two rows of condition 3
        {prefix(2) + LinesOf(whole, header + 6, header + 7).substr(0, 30), 2},     // a line cut short
        {prefix(0), 0},
    };
    for (const Cut& c : cuts) {
      const ResumePoint p = Scan(c.text);
      EXPECT_EQ(p.fresh, c.text.empty());
      if (!p.fresh) {
        EXPECT_EQ(p.format, f);
      }
      EXPECT_EQ(p.complete, c.complete);
      EXPECT_EQ(p.keepBytes, prefix(static_cast<std::size_t>(c.complete)).size());
    }
  }
  EXPECT_TRUE(Scan("").fresh);
  EXPECT_TRUE(Scan(Output(RowFormat::Json).substr(0, 40)).fresh);  // killed within its first line
  std::istringstream in(Output(RowFormat::Json));
  EXPECT_EQ(ReadStudySeed(in, "out.json"), 31u);
  // A philox output, whose header has the generator column.
  const std::string philox = Output(RowFormat::Csv, {}, Study6Philox());
  EXPECT_EQ(Scan(LinesOf(philox, 0, 1 + 3 * 4), Study6Philox()).complete, 4);
  std::istringstream origin(philox);
  const std::optional<StudyOrigin> o = ReadStudyOrigin(origin, "out.csv");
  ASSERT_TRUE(o.has_value());
  EXPECT_EQ(o->seed, 31u);
  EXPECT_EQ(o->generator, StudyGenerator::Philox);
  EXPECT_EQ(o->replications, 50);
}

TEST(Resume, RefusesAnotherStudyOrShard) {
  StudyDefinition more = Study6();
  more.replications = 51;
  EXPECT_THAT([&] { Scan(Output(RowFormat::Csv), more); },
              ThrowsMessage<StudyInputError>("out.csv, line 2: a row of another study (study " +
                                             StudyFingerprint(Study6()) + " of 6 conditions, seed 31; these settings "
                                             "make study " + StudyFingerprint(more) +
                                             "): resume with the settings it was started with"));
  EXPECT_THAT([&] { Scan(Output(RowFormat::Csv, {2, 3}), Study6(), {1, 3}); },
              ThrowsMessage<StudyInputError>(
                  "out.csv, line 2: condition 2 where this run's condition 1 belongs (shard 1/3)"));
}

TEST(ResumeTests, KeepsTheTestsOfTheCompleteConditions) {
  CollectingSink sink;
  ExecuteStudy(Study6(), {}, {RowFormat::Csv, true, 1}, sink);
  const std::string tests = std::string(TestsHeader()) + "\n" + sink.tests;
  const std::string twoConditions = LinesOf(tests, 0, 1 + 2 * 50);
  const auto scan = [](const std::string& text, std::int64_t complete) {
    std::istringstream in(text);
    return ScanTestsForResume(in, "tests.csv", Study6(), {}, complete);
  };
  EXPECT_EQ(scan(tests, 2), twoConditions.size());  // the rest is dropped
  EXPECT_EQ(scan(twoConditions + LinesOf(tests, 101, 120).substr(0, 200), 2), twoConditions.size());
  EXPECT_EQ(scan("", 0), 0u);
  EXPECT_THAT([&] { scan(LinesOf(tests, 0, 80), 2); },
              ThrowsMessage<StudyInputError>("tests.csv: ends after 29 of condition 2's 50 replications, but the "
                                             "study output holds 2 complete conditions"));
  EXPECT_THAT([&] { scan(LinesOf(tests, 0, 1) + LinesOf(tests, 51, 60), 1); },
              ThrowsMessage<StudyInputError>(
                  "tests.csv, line 2: condition 2, replication 1 where condition 1, replication 1 belongs"));
}

// An output of the same study with fewer replications is one to extend (its replication
// count is returned); the same study's own output is resumed as usual; anything else is
// refused.
TEST(Extension, FindsTheStudyToExtend) {
  StudyDefinition larger = Study6Philox();
  larger.replications = 80;
  const auto scan = [](const std::string& text, const StudyDefinition& s, Shard shard = {}) {
    std::istringstream in(text);
    return ScanForExtension(in, "out.csv", s, shard);
  };
  const std::string whole = Output(RowFormat::Csv, {}, Study6Philox());
  EXPECT_EQ(scan(whole, larger), 50);
  EXPECT_EQ(scan(Output(RowFormat::Json, {2, 3}, Study6Philox()), larger, {2, 3}), 50);
  EXPECT_EQ(scan(whole, Study6Philox()), std::nullopt);
  EXPECT_EQ(scan("", larger), std::nullopt);

  StudyDefinition smaller = Study6Philox();
  smaller.replications = 40;
  StudyDefinition otherSeed = larger;
  otherSeed.seed = 32;
  EXPECT_THAT([&] { scan(whole, smaller); },
              ThrowsMessage<StudyInputError>("out.csv, line 2: the study holds 50 replications of every condition, "
                                             "more than the 40 asked for"));
  EXPECT_THAT([&] { scan(whole, otherSeed); },
              ThrowsMessage<StudyInputError>("out.csv, line 2: a row of another study (study " +
                                             StudyFingerprint(Study6Philox()) + " of 6 conditions, seed 31), which "
                                             "these settings with 50 replications do not make: only the "
                                             "replications may change"));
  EXPECT_THAT([&] { scan(LinesOf(whole, 0, 8), larger); },
              ThrowsMessage<StudyInputError>("out.csv, line 8: the study of 50 replications is unfinished; finish it "
                                             "with resume and those replications before extending it"));
  EXPECT_THAT([&] { scan(LinesOf(whole, 0, 7), larger); },
              ThrowsMessage<StudyInputError>("out.csv: the study of 50 replications holds 2 of its 6 conditions; "
                                             "finish it with resume and those replications before extending it"));
}

TEST(Extension, KeptTestRowsMustHoldEveryKeptTestInOrder) {
  CollectingSink sink;
  ExecuteStudy(Study6Philox(), {}, {RowFormat::Csv, true, 1}, sink);
  const std::string tests = std::string(TestsHeader()) + "\n" + sink.tests;
  const auto take = [](const std::string& text, std::int64_t R1, std::int64_t index) {
    std::istringstream in(text);
    KeptTestRows kept(in, "tests.csv", R1);
    return kept.Take(index, nullptr).Summary().Replications();
  };
  EXPECT_EQ(take(tests, 50, 3), 50);  // conditions 1 and 2 passed over
  EXPECT_THAT([&] { take(LinesOf(tests, 0, 30), 50, 1); },
              ThrowsMessage<StudyInputError>("tests.csv: ends after 29 of condition 1's 50 kept replications"));
  EXPECT_THAT([&] { take(tests, 60, 1); },
              ThrowsMessage<StudyInputError>(
                  "tests.csv, line 52: condition 2, replication 1 where condition 1, replication 51 belongs"));
  EXPECT_THAT([&] { take("id,x\n", 60, 1); },
              ThrowsMessage<StudyInputError>("tests.csv, line 1: not a file of test rows (the header differs)"));
}

}  // namespace
}  // namespace veltrano

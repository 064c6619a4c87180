// `analyse --responses`: every examinee of an answer sheet tallied and analysed as
// `analyse` analyses a table. The reference for every estimate is `analyse` itself, run
// on tables tallied by hand from the sheet below; the reference for the counts and D Lord
// & Novick is the hand tally.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "BatchTestSupport.h"

namespace veltrano::batch::testing {
namespace {

using Json = nlohmann::json;

// Eight items, k = 4. ana answers all right; "Díaz, Bo" (a quoted id holding a comma)
// leaves two items out; dee answers nothing, with every form of omission; eve writes
// some marks in lower case and some as numbers.
const char* const kSheet =
    "id,q1,q2,q3,q4,q5,q6,q7,q8\n"
    "KEY,A,C,B,D,A,B,C,D\n"
    "ana,A,C,B,D,A,B,C,D\n"
    "\"Díaz, Bo\",A,B,B,*,C,B,,D\n"
    "carl,B,C,A,D,A,D,C,A\n"
    "dee,-,.,*,,\"\",-,.,*\n"
    "eve,a,c,2,4,2,b,1,d\n";

// The sheet tallied by hand (row = the key's position, column = the marked one), and the
// pooled table, the sum of the four.
const char* const kTallied =
    "# ana\n2 0 0 0\n0 2 0 0\n0 0 2 0\n0 0 0 2\n\n"
    "# Díaz, Bo\n1 0 1 0\n0 2 0 0\n0 1 0 0\n0 0 0 1\n\n"
    "# carl\n1 1 0 0\n1 0 0 1\n0 0 2 0\n1 0 0 1\n\n"
    "# dee (no item answered)\n\n"
    "# eve\n1 1 0 0\n0 2 0 0\n1 0 1 0\n0 0 0 2\n\n"
    "# ALL\n5 2 1 0\n1 6 0 1\n1 1 5 0\n1 0 0 6\n\n";

const char* const kHeader = "id,items,answered,omitted,right,dln,du,se_du,ci_lower,ci_upper,dc,se_dc,code,code2,error";

// The cells of a CSV row ("" inside quotes is one ").
std::vector<std::string> CsvCells(const std::string& line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
      cells.back().push_back('"');
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      cells.emplace_back();
    } else {
      cells.back().push_back(c);
    }
  }
  return cells;
}

std::vector<Json> JsonLines(const std::string& text) {
  std::vector<Json> objects;
  for (const std::string& line : Lines(text)) objects.push_back(Json::parse(line));
  return objects;
}

// A CSV cell against analyse's JSON value: empty for null, else the same double.
void ExpectCell(const std::string& cell, const Json& value, const std::string& what) {
  if (value.is_null()) {
    EXPECT_EQ(cell, "") << what;
    return;
  }
  ASSERT_FALSE(cell.empty()) << what;
  EXPECT_EQ(std::stod(cell), value.get<double>()) << what << ": " << cell;
}

TEST(Responses, TablesAreTheHandTally) {
  ScratchDir dir;
  const Outcome o = RunCommand({"analyse", "--responses", "-", "--tables", dir / "tables.txt"}, kSheet);
  ASSERT_EQ(o.status, kExitOk) << o.err;
  EXPECT_EQ(ReadFile(dir / "tables.txt"), kTallied);
}

TEST(Responses, EveryCellMatchesAnalyseOnTheHandTally) {
  const Outcome sheet = RunCommand({"analyse", "--responses", "-", "--ci"}, kSheet);
  ASSERT_EQ(sheet.status, kExitOk) << sheet.err;
  EXPECT_EQ(sheet.err, "");
  const Outcome tables = RunCommand({"analyse", "--json", "--ci"}, kTallied);
  ASSERT_EQ(tables.status, kExitOk) << tables.err;
  const std::vector<Json> reference = JsonLines(tables.out);  // ana, Díaz, carl, eve, ALL
  ASSERT_EQ(reference.size(), 5u);

  const std::vector<std::string> lines = Lines(sheet.out);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], kHeader);
  // id and the counts items, answered, omitted, right, from the hand tally.
  const std::vector<std::vector<std::string>> counts = {
      {"ana", "8", "8", "0", "8"},  {"Díaz, Bo", "8", "6", "2", "4"}, {"carl", "8", "8", "0", "4"},
      {"dee", "8", "0", "8", "0"},  {"eve", "8", "8", "0", "6"},      {"ALL", "40", "30", "10", "22"}};
  std::size_t t = 0;
  for (std::size_t row = 0; row < counts.size(); ++row) {
    const std::vector<std::string> cells = CsvCells(lines[row + 1]);
    ASSERT_EQ(cells.size(), 15u) << lines[row + 1];
    EXPECT_EQ(std::vector<std::string>(cells.begin(), cells.begin() + 5), counts[row]);
    if (cells[0] == "dee") {
      EXPECT_EQ(lines[row + 1], "dee,8,0,8,0,,,,,,,,,,no item answered");
      continue;
    }
    const Json& j = reference[t++];
    ASSERT_TRUE(j["model_ok"].get<bool>()) << cells[0];  // so the SE of Du is given
    ExpectCell(cells[5], j["DLN"], cells[0] + " dln");
    ExpectCell(cells[6], j["Delta_MV"], cells[0] + " du");
    ExpectCell(cells[7], j["Delta_MV_SE"], cells[0] + " se_du");
    ExpectCell(cells[8], j["CI"][0], cells[0] + " ci_lower");
    ExpectCell(cells[9], j["CI"][1], cells[0] + " ci_upper");
    ExpectCell(cells[10], j["Delta_KA"], cells[0] + " dc");
    ExpectCell(cells[11], j["Delta_KA_SE"], cells[0] + " se_dc");
    EXPECT_EQ(cells[12], std::to_string(j["code"].get<int>())) << cells[0];
    EXPECT_EQ(cells[13], std::to_string(j["code2"].get<int>())) << cells[0];
    EXPECT_EQ(cells[14], "") << cells[0];
  }
  // D Lord & Novick by hand, (k·R − n)/((k − 1)·n), and written with 17 significant digits:
  // Díaz 10/18, ALL 58/90.
  EXPECT_EQ(CsvCells(lines[2])[5], "0.55555555555555558");
  EXPECT_EQ(CsvCells(lines[6])[5], "0.64444444444444449");
  EXPECT_EQ(CsvCells(lines[1])[5], "1");
}

// Without --ci and with --no-alternative those cells are null; every object starts with the
// CSV's keys and goes on with analyse's fields; the pooled object carries the pi's.
TEST(Responses, JsonHasTheCsvKeysThenAnalyseFields) {
  const Outcome o = RunCommand({"analyse", "--responses", "-", "--json", "--no-alternative"}, kSheet);
  ASSERT_EQ(o.status, kExitOk) << o.err;
  std::vector<nlohmann::ordered_json> objects;  // keys in the order written
  for (const std::string& line : Lines(o.out)) objects.push_back(nlohmann::ordered_json::parse(line));
  ASSERT_EQ(objects.size(), 6u);
  const std::vector<std::string> csvKeys = CsvCells(kHeader);

  const auto& diaz = objects[1];
  std::vector<std::string> keys;
  for (const auto& item : diaz.items()) keys.push_back(item.key());
  ASSERT_GT(keys.size(), csvKeys.size());
  EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 15), csvKeys);
  EXPECT_EQ(diaz["id"], "Díaz, Bo");
  EXPECT_EQ(diaz["du"], diaz["Delta_MV"]);
  EXPECT_EQ(diaz["dln"], diaz["DLN"]);
  for (const char* key : {"ci_lower", "ci_upper", "dc", "se_dc", "error"}) EXPECT_TRUE(diaz[key].is_null()) << key;

  const auto& dee = objects[3];
  EXPECT_EQ(dee["error"], "no item answered");
  EXPECT_EQ(dee.size(), csvKeys.size());  // nothing was analysed: no fields of analyse
  for (const char* key : {"dln", "du", "se_du", "code", "code2"}) EXPECT_TRUE(dee[key].is_null()) << key;

  const auto& all = objects[5];
  EXPECT_EQ(all["id"], "ALL");
  const auto pi = all["Pi"].get<std::vector<double>>();
  ASSERT_EQ(pi.size(), 4u);
  EXPECT_NEAR(pi[0] + pi[1] + pi[2] + pi[3], 1.0, 1e-12);
}

// Layouts of the same sheet that must give the same results, byte for byte.
struct SheetForm {
  const char* name;
  const char* sheet;
  std::vector<std::string> args;  // "KEYFILE" stands for a file holding keyFile
  const char* keyFile = nullptr;
};

void PrintTo(const SheetForm& f, std::ostream* os) { *os << f.name; }

const SheetForm kSheetForms[] = {
    {"TabsCrLfAndByteOrderMark",
     "\xef\xbb\xbfID\tq1\tq2\tq3\tq4\tq5\tq6\tq7\tq8\r\n"
     "key\tA\tC\tB\tD\tA\tB\tC\tD\r\n"
     "ana\tA\tC\tB\tD\tA\tB\tC\tD\r\n"
     "Díaz, Bo\tA\tB\tB\t*\tC\tB\t\tD\r\n"
     "carl\tB\tC\tA\tD\tA\tD\tC\tA\r\n"
     "dee\t-\t.\t*\t\t\t-\t.\t*\r\n"
     "eve\ta\tc\t2\t4\t2\tb\t1\td",  // no line end at the end
     {}},
    {"SemicolonsEveryCellQuotedBlanksAround",
     "\"id\";\"q1\";\"q2\";\"q3\";\"q4\";\"q5\";\"q6\";\"q7\";\"q8\"\n"
     "\"KEY\";\"A\";\"C\";\"B\";\"D\";\"A\";\"B\";\"C\";\"D\"\n"
     "\"ana\" ; A ; C ; B ; D ; A ; B ; C ; D\n"
     "\"Díaz, Bo\";\"A\";\"B\";\"B\";\"*\";\"C\";\"B\";\"\";\"D\"\n"
     "\"carl\";\"B\";\"C\";\"A\";\"D\";\"A\";\"D\";\"C\";\"A\"\n"
     "\"dee\";\"-\";\".\";\"*\";\"\";\"\";\"-\";\".\";\"*\"\n"
     "\"eve\";\"a\";\"c\";\"2\";\"4\";\"2\";\"b\";\"1\";\"d\"\n",
     {}},
    {"NoHeaderBlankLinesAndEmptyRows",
     "\nKEY,A,C,B,D,A,B,C,D\n,,,,,,,,\nana,A,C,B,D,A,B,C,D\n\n\"Díaz, Bo\",A,B,B,*,C,B,,D\n"
     "carl,B,C,A,D,A,D,C,A\n   \ndee,-,.,*,,\"\",-,.,*\neve,a,c,2,4,2,b,1,d\n\n",
     {}},
    {"KeyAsLetters",
     "id,q1,q2,q3,q4,q5,q6,q7,q8\nana,A,C,B,D,A,B,C,D\n\"Díaz, Bo\",A,B,B,*,C,B,,D\n"
     "carl,B,C,A,D,A,D,C,A\ndee,-,.,*,,\"\",-,.,*\neve,a,c,2,4,2,b,1,d\n",
     {"--key", "ACBDABCD"}},
    {"KeyAsNumbersWithCommas",
     "ana,A,C,B,D,A,B,C,D\n\"Díaz, Bo\",A,B,B,*,C,B,,D\n"
     "carl,B,C,A,D,A,D,C,A\ndee,-,.,*,,\"\",-,.,*\neve,a,c,2,4,2,b,1,d\n",
     {"--key", "1,3,2,4,1,2,3,4"}},
    {"KeyFileWithHeaderAndKeyRow",
     "ana,A,C,B,D,A,B,C,D\n\"Díaz, Bo\",A,B,B,*,C,B,,D\n"
     "carl,B,C,A,D,A,D,C,A\ndee,-,.,*,,\"\",-,.,*\neve,a,c,2,4,2,b,1,d\n",
     {"--key-file", "KEYFILE"},
     "\xef\xbb\xbfid,q1,q2,q3,q4,q5,q6,q7,q8\r\nKEY,a,c,b,d,a,b,c,d\r\n\r\n"},
    {"KGivenReadsOnce", kSheet, {"--k", "4"}},
    {"ThreeThreads", kSheet, {"--jobs", "3"}},
};

class SheetForms : public ::testing::TestWithParam<SheetForm> {};

TEST_P(SheetForms, GiveTheSameResults) {
  const SheetForm& f = GetParam();
  ScratchDir dir;
  std::vector<std::string> args{"analyse", "--responses", "-", "--ci"};
  for (const std::string& a : f.args) args.push_back(a == "KEYFILE" ? dir / "key.txt" : a);
  if (f.keyFile != nullptr) WriteFile(dir / "key.txt", f.keyFile);
  const Outcome expected = RunCommand({"analyse", "--responses", "-", "--ci"}, kSheet);
  const Outcome o = RunCommand(args, f.sheet);
  EXPECT_EQ(o.status, kExitOk) << o.err;
  EXPECT_EQ(o.out, expected.out);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SheetForms, ::testing::ValuesIn(kSheetForms),
                         [](const auto& info) { return std::string(info.param.name); });

// Bad input: status 2, one line naming the line and column, nothing written: the output
// file given keeps what it held and no partial file is left beside it.
struct BadSheet {
  const char* name;
  std::string sheet;
  std::vector<std::string> args;
  const char* message;  // standard error without the program prefix
};

void PrintTo(const BadSheet& b, std::ostream* os) { *os << b.name; }

const char* const kKey = "KEY,A,B,C\n";

const BadSheet kBadSheets[] = {
    {"Empty", "", {}, "standard input: the sheet is empty"},
    {"OnlyEmptyRows", "\n,,,\n \r\n", {}, "standard input: the sheet is empty"},
    {"NoExaminee", "id,q1,q2,q3\nKEY,A,B,C\n", {}, "standard input: the sheet holds no examinee"},
    {"NoKey", "id,q1,q2,q3\nS1,A,B,C\nKEY,A,B,C\n", {},
     "standard input: line 2: no key before the first examinee; put a KEY row before it or give --key"},
    {"HeaderNotNamedIdBeforeTheKey", "Name,q1,q2,q3\nKEY,A,B,C\nS1,A,B,C\n", {},
     "standard input: line 1: no key before the first examinee; put a KEY row before it or give --key (if this "
     "row is a header, its first cell must be id)"},
    {"HeaderNotNamedIdWithKeyApart", "Name,q1,q2,q3\nS1,A,B,C\n", {"--key", "ABC"},
     "standard input: line 1, column 2: \"q1\" is not an alternative (A to J or 1 to 10; empty, *, - or . for "
     "an omission) (if this row is a header, its first cell must be id)"},
    {"SecondKeyRow", std::string(kKey) + "S1,A,B,C\nkey,A,B,C\n", {},
     "standard input: line 3: a second KEY row (the first is line 1)"},
    {"KeyRowAndKeyOption", std::string("S1,A,B,C\n") + kKey, {"--key", "ABC"},
     "standard input: line 2: a KEY row in a sheet whose key is given apart; give the key once"},
    {"KeyWithoutItems", "KEY\nS1\n", {}, "standard input: line 1: the KEY row holds no item"},
    {"KeyWithAnOmission", "KEY,A,*,C\nS1,A,B,C\n", {},
     "standard input: line 1, column 3: the key has no alternative for item 2"},
    {"KeyWithAnUnknownLetter", "KEY,A,K,C\nS1,A,B,C\n", {},
     "standard input: line 1, column 3: \"K\" is not an alternative (A to J or 1 to 10)"},
    {"ShortRow", std::string(kKey) + "S1,A,B,C\nS2,A,B\n", {"--k", "4"},
     "standard input: line 3: 2 items where the key has 3 items"},
    {"LongRowWithABadExtraCell", std::string(kKey) + "S1,A,B,C,total 3\n", {},
     "standard input: line 2: 4 items where the key has 3 items"},
    {"HeaderOfAnotherLength", "id,q1,q2\nKEY,A,B,C\nS1,A,B,C\n", {},
     "standard input: line 2: the KEY row has 3 items where the header (line 1) has 2 items"},
    {"UnknownLetter", std::string(kKey) + "S1,A,B,C\nS2,A,x,C\n", {"--k", "4"},
     "standard input: line 3, column 3: \"x\" is not an alternative (A to J or 1 to 10; empty, *, - or . for an "
     "omission)"},
    {"NumberZero", std::string(kKey) + "S1,0,B,C\n", {},
     "standard input: line 2, column 2: \"0\" is not an alternative (A to J or 1 to 10; empty, *, - or . for an "
     "omission)"},
    {"NumberEleven", std::string(kKey) + "S1,A,11,C\n", {},
     "standard input: line 2, column 3: \"11\" is not an alternative (A to J or 1 to 10; empty, *, - or . for an "
     "omission)"},
    {"MarkBeyondK", std::string(kKey) + "S1,A,B,C\nS2,D,B,C\n", {"--k", "3"},
     "standard input: line 3, column 2: \"D\" is alternative 4, beyond the k = 3 alternatives of an item"},
    {"KeyRowBeyondK", "KEY,A,B,E\nS1,A,B,C\n", {"--k", "4"},
     "standard input: line 1, column 4: \"E\" is alternative 5, beyond the k = 4 alternatives of an item"},
    {"KeyOptionBeyondK", "S1,A,B,C\n", {"--key", "ABE", "--k", "4"},
     "--key: item 3: \"E\" is alternative 5, beyond the k = 4 alternatives of an item"},
    {"KeyOptionUnknown", "S1,A,B,C\n", {"--key", "AB?"},
     "--key: item 3: \"?\" is not an alternative (A to J or 1 to 10)"},
    {"PooledRowName", std::string(kKey) + "S1,A,B,C\nAll,A,B,C\n", {},
     "standard input: line 3, column 1: the id \"All\" is the name of the pooled row; rename this examinee"},
    {"UnclosedQuote", std::string(kKey) + "\"S1,A,B,C\n", {},
     "standard input: line 2, column 1: a quoted cell without its closing quote on its line (a cell cannot hold a "
     "line end)"},
    {"TextAfterQuote", std::string(kKey) + "\"S1\"x,A,B,C\n", {},
     "standard input: line 2, column 1: text after the closing quote of a quoted cell"},
    {"Latin1Id", std::string(kKey) + "Mu\xf1oz,A,B,C\n", {},
     "standard input: line 2, column 1: the id \"Mu\\xf1oz\" is not UTF-8 text; save the sheet as UTF-8"},
    {"Binary", std::string("\x7f" "ELF\x02\x01\x01\x00\x00\x00,\x03\n", 13), {},
     "standard input: line 1, column 1: the id \"\\x7fELF\\x02\\x01\\x01\\x00\\x00\\x00\" holds a control "
     "character; this is not a text sheet"},
    {"Utf16", std::string("\xff\xfeK\0E\0Y\0", 8), {},
     "standard input: line 1: the sheet is UTF-16 text; save it as UTF-8"},
    {"LineWithoutEnd", std::string(kKey) + std::string((1 << 20) + 1, 'A'), {},
     "standard input: line 2: more than 1048576 bytes on one line; this is not a sheet"},
    {"TablesAndOutBothStandardOutput", kKey, {"--out", "-", "--tables", "-"},
     "--tables: standard output is already the output of --out"},
    {"KOutOfRange", kKey, {"--k", "11"}, "--k: 11 is out of range; the value must be from 2 to 10"},
    {"NoThreads", kKey, {"--jobs", "0"}, "--jobs: 0 is out of range; the value must be from 1 to 256"},
};

class BadSheets : public ::testing::TestWithParam<BadSheet> {};

TEST_P(BadSheets, AreRefusedAndNothingIsWritten) {
  const BadSheet& b = GetParam();
  ScratchDir dir;
  const std::string results = dir / "results.csv";
  WriteFile(results, "earlier results\n");
  std::vector<std::string> args{"analyse", "--responses", "-"};
  args.insert(args.end(), b.args.begin(), b.args.end());
  if (std::find(b.args.begin(), b.args.end(), "--out") == b.args.end())
    args.insert(args.end(), {"--out", results, "--tables", dir / "tables.txt"});
  const Outcome o = RunCommand(args, b.sheet);
  EXPECT_EQ(o.status, kExitUsage);
  EXPECT_EQ(o.err, std::string("veltrano-batch: ") + b.message + "\n");
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(ReadFile(results), "earlier results\n");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir / ""))
    left.push_back(entry.path().filename().string());
  EXPECT_THAT(left, ::testing::ElementsAre("results.csv"));
}

INSTANTIATE_TEST_SUITE_P(Inputs, BadSheets, ::testing::ValuesIn(kBadSheets),
                         [](const auto& info) { return std::string(info.param.name); });

// Standard output cannot be taken back: read in one pass (--k given), the rows before a
// bad one are out already; without --k the sheet is checked whole before anything is
// written.
TEST(Responses, StandardOutputStopsAtABadRowOnlyWhenReadInOnePass) {
  const std::string sheet = std::string(kKey) + "S1,A,B,C\nS2,C,B,A\nS3,A,Q,C\n";
  const Outcome once = RunCommand({"analyse", "--responses", "-", "--k", "3", "--jobs", "1"}, sheet);
  EXPECT_EQ(once.status, kExitUsage);
  const std::vector<std::string> lines = Lines(once.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], kHeader);
  EXPECT_THAT(lines[2], ::testing::StartsWith("S2,3,3,0,1,"));

  const Outcome twice = RunCommand({"analyse", "--responses", "-"}, sheet);
  EXPECT_EQ(twice.status, kExitUsage);
  EXPECT_EQ(twice.out, "");
  EXPECT_EQ(twice.err, once.err);
}

// A sheet named by a file that gives its bytes once (a pipe, as a shell's <(...) names it)
// is copied while it is checked, as standard input is: a good sheet gives what standard
// input gives, and a bad one is refused for its bad row with nothing written.
TEST(Responses, APipeNamedAsAFileIsReadOnce) {
  const struct {
    std::string sheet;
    int status;
    std::string err;  // %s stands for the pipe's name
  } kCases[] = {
      {kSheet, kExitOk, ""},
      {std::string(kKey) + "S1,A,B,C\nS2,A,Q,C\n", kExitUsage,
       "veltrano-batch: %s: line 3, column 3: \"Q\" is not an alternative (A to J or 1 to 10; empty, *, - or . for "
       "an omission)\n"},
  };
  for (const auto& c : kCases) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_LT(c.sheet.size(), 4096u);  // the pipe holds it whole: no writer needs to wait
    ASSERT_EQ(::write(ends[1], c.sheet.data(), c.sheet.size()), static_cast<ssize_t>(c.sheet.size()));
    ::close(ends[1]);
    const std::string name = "/dev/fd/" + std::to_string(ends[0]);
    const Outcome o = RunCommand({"analyse", "--responses", name});
    ::close(ends[0]);
    EXPECT_EQ(o.status, c.status) << o.err;
    std::string err = c.err;
    if (const std::size_t at = err.find("%s"); at != std::string::npos) err.replace(at, 2, name);
    EXPECT_EQ(o.err, err);
    EXPECT_EQ(o.out, c.status == kExitOk ? RunCommand({"analyse", "--responses", "-"}, c.sheet).out : "");
  }
}

TEST(Responses, OutputMustNotReplaceTheSheetOrTheKey) {
  ScratchDir dir;
  const std::string sheet = dir / "sheet.csv", key = dir / "key.txt";
  WriteFile(sheet, "S1,A,B,C\n");
  WriteFile(key, "ABC\n");
  const Outcome o = RunCommand({"analyse", "--responses", sheet, "--key-file", key, "--out", sheet});
  EXPECT_EQ(o.status, kExitUsage);
  EXPECT_EQ(o.err, "veltrano-batch: --out: " + sheet + " is the sheet being read\n");
  const Outcome t = RunCommand({"analyse", "--responses", sheet, "--key-file", key, "--tables", key});
  EXPECT_EQ(t.status, kExitUsage);
  EXPECT_EQ(t.err, "veltrano-batch: --tables: " + key + " is the key file\n");
  EXPECT_EQ(ReadFile(sheet), "S1,A,B,C\n");
  EXPECT_EQ(ReadFile(key), "ABC\n");
}

TEST(Responses, HelpNamesTheOptionsAndEmptyCells) {
  const Outcome o = RunCommand({"analyse", "--help"});
  EXPECT_EQ(o.status, kExitOk);
  for (const char* text : {"--responses FILE", "--key KEY", "--key-file FILE", "--k INT", "--out FILE", "--tables FILE", "--jobs N",
                           kHeader, "undefined values as empty cells", "standard output may stop early"})
    EXPECT_THAT(o.out, ::testing::HasSubstr(text));
}

// An output reached through a symbolic link replaces the file linked to; the link stays.
TEST(Responses, AnOutputThroughALinkReplacesTheFileLinkedTo) {
  ScratchDir dir;
  WriteFile(dir / "results.csv", "earlier results\n");
  std::filesystem::create_symlink(dir / "results.csv", dir / "link.csv");
  const Outcome o = RunCommand({"analyse", "--responses", "-", "--out", dir / "link.csv"}, kSheet);
  ASSERT_EQ(o.status, kExitOk) << o.err;
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.csv"));
  EXPECT_THAT(ReadFile(dir / "results.csv"), ::testing::StartsWith(std::string(kHeader) + "\nana,"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / ""), std::filesystem::directory_iterator()), 2);
}

// A results file replaced keeps its permissions, tighter or looser than the usual umask
// 022 would make a new file (0644), read-only included, and, where the process may give
// them (as root), its owner and group.
TEST(Responses, AReplacedOutputKeepsItsModeAndOwner) {
  ScratchDir dir;
  const std::string results = dir / "results.csv";
  const bool root = ::geteuid() == 0;
  const struct UsualUmask {
    mode_t before = ::umask(022);
    ~UsualUmask() { ::umask(before); }
  } usual;
  for (const mode_t mode : {0600, 0640, 0664, 0444}) {
    WriteFile(results, "earlier results\n");
    ASSERT_EQ(::chmod(results.c_str(), mode), 0);
    if (root) {
      ASSERT_EQ(::chown(results.c_str(), 1, 1), 0);
    }
    const Outcome o = RunCommand({"analyse", "--responses", "-", "--out", results}, kSheet);
    EXPECT_EQ(o.status, kExitOk) << o.err;
    EXPECT_THAT(ReadFile(results), ::testing::StartsWith(std::string(kHeader) + "\n"));
    struct stat st {};
    ASSERT_EQ(::stat(results.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
    if (root) {
      EXPECT_EQ(std::make_pair(st.st_uid, st.st_gid), std::make_pair(uid_t{1}, gid_t{1}));
    }
  }
}

// The example sheet of docs/guide/answer-sheets.md: its tables read back by plain `analyse`
// give the same estimates, every examinee's; its output does not depend on the threads; and
// the pooled table shows the guessing it was made with, favouring position C.
TEST(Responses, ExampleSheetRoundTripsThroughAnalyse) {
  ScratchDir dir;
  const std::string sheet = std::string(VELTRANO_EXAMPLES_DIR) + "/exam-sheet.csv";
  const Outcome o = RunCommand({"analyse", "--responses", sheet, "--json", "--ci", "--tables", dir / "tables.txt",
                                "--out", dir / "results.json", "--jobs", "1"});
  ASSERT_EQ(o.status, kExitOk) << o.err;
  EXPECT_EQ(o.err,
            "veltrano-batch: guessing favours position 3 (C): pi_3 = 0.3252 against 1/k = 0.2500 on the pooled "
            "table; 771 wrong answers fell there where even guessing gives 616.3 (z = 7.63)\n");
  const std::vector<Json> results = JsonLines(ReadFile(dir / "results.json"));
  ASSERT_EQ(results.size(), 201u);

  const Outcome again = RunCommand({"analyse", "--json", "--ci", dir / "tables.txt"});
  ASSERT_EQ(again.status, kExitOk) << again.err;
  const std::vector<Json> tables = JsonLines(again.out);
  std::size_t t = 0;
  for (const Json& r : results) {
    if (r["answered"] == 0) continue;  // no table to read back
    ASSERT_LT(t, tables.size());
    Json table = tables[t++];
    table.erase("table");
    for (const auto& item : table.items()) EXPECT_EQ(r[item.key()], item.value()) << r["id"] << " " << item.key();
  }
  EXPECT_EQ(t, tables.size());
  EXPECT_EQ(results.back()["id"], "ALL");

  const Outcome parallel = RunCommand({"analyse", "--responses", sheet, "--json", "--ci", "--jobs", "4"});
  EXPECT_EQ(parallel.out, ReadFile(dir / "results.json"));
}

}  // namespace
}  // namespace veltrano::batch::testing

// Nothing lost, nothing silently wrong: veltrano-batch run as a process of its own, with
// real redirections, signals and a second writer, one case per way a file could be lost or
// a result silently changed. Each case is a bash script run in a fresh folder ($B is the
// program), its exit status, what its standard error says, and what the folder then holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "BatchTestSupport.h"

namespace veltrano::batch::testing {
namespace {

struct FileCase {
  const char* name;
  const char* script;
  int status;
  const char* err;  // a regular expression the whole of standard error matches
  // Files and what they hold afterwards ("<none>": no such file; "<any>": it exists).
  std::vector<std::pair<const char*, const char*>> files;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

// A sheet of 3 items and k = 4, one whose second examinee marks E (a slip), and an old result.
constexpr const char* kSheets =
    "printf 'KEY,A,B,D\\nana,A,B,C\\nbob,B,B,D\\n' > sheet.csv;"
    "printf 'KEY,A,B,D\\nana,A,B,C\\nbob,B,B,E\\n' > slip.csv;"
    "printf 'old results\\n' > res.csv;";

const FileCase kFileCases[] = {
    // Two writers of one file: the second is refused while the first works.
    {"SecondWriterIsRefused",
     "$B study --n 100 --k 4 --do 0:100:10 --replications 1000000 --seed 1 --quiet --out out.csv 2> /dev/null &"
     "p=$!;"
     "while [ ! -s out.csv.lock ]; do sleep 0.01; done;"
     "$B study --n 10 --k 2 --replications 5 --seed 1 --resume --out out.csv; s=$?;"
     "kill -TERM $p; wait $p; exit $s",
     2, "veltrano-batch: out.csv is being written by another veltrano-batch \\(pid [0-9]+\\)\n",
     {{"out.csv.lock", "<none>"}}},
    // An output that is the file standard output goes to, while standard output carries
    // another output.
    {"DataIsStandardOutput", "$B simulate --seed 1 --tests 5 --data same.txt --summary - > same.txt", 2,
     "veltrano-batch: --data: same.txt is where standard output goes, and --summary - writes there too\n",
     {{"same.txt", ""}}},
    {"TestRowsAreStandardOutput",
     "$B study --n 10 --k 2 --replications 5 --seed 1 --tests-out st.csv > st.csv", 2,
     "veltrano-batch: --tests-out: st.csv is where standard output goes, and --out - writes there too\n",
     {{"st.csv", ""}}},
    {"TablesAreStandardOutput", "$B analyse --responses sheet.csv --tables /dev/stdout > an.csv", 2,
     "veltrano-batch: --tables: /dev/stdout is where standard output goes, and --out - writes there too\n",
     {{"an.csv", ""}}},
    // A plot or the design named as an output.
    {"OutputIsAPlot", "$B study --n 10 --k 4 --replications 5 --seed 1 --out s-bias-k4.png --plot s", 2,
     "veltrano-batch: --plot: s-bias-k4.png is already the output of --out\n", {{"s-bias-k4.png", "<none>"}}},
    {"OutputIsTheDesign",
     "printf 'n,k,do\\n10,2,50\\n' > design.csv; $B study --design design.csv --replications 5 --out design.csv", 2,
     "veltrano-batch: --out: design.csv is the design file\n", {{"design.csv", "n,k,do\n10,2,50\n"}}},
    // A stopped analysis keeps the old results; what it did is kept apart. A killed run's
    // leftover goes with the next run on that output.
    {"StoppedAnalysisKeepsTheOldResults",
     "awk 'BEGIN { print \"KEY,A,B,C,D\"; for (i = 0; i < 2000000; i++) print \"s\" i \",A,B,C,D\" }' > big.csv;"
     "$B analyse --responses big.csv --k 4 --jobs 1 --out res.csv & p=$!;"
     "while ! ls res.csv.*.partial > /dev/null 2>&1; do sleep 0.01; done; sleep 0.2; kill -TERM $p; wait $p",
     143,
     "veltrano-batch: terminated; the examinees analysed so far are in res.csv.partial \\(res.csv is unchanged\\)\n",
     {{"res.csv", "old results\n"}, {"res.csv.partial", "<any>"}}},
    {"LeftoversOfAKilledRunGo",
     "printf 'half\\n' > res.csv.4242.partial; $B analyse --responses sheet.csv --out res.csv", 0, "",
     {{"res.csv.4242.partial", "<none>"}}},
    // The reader of one output goes away in the middle of a test's lines: every file ends
    // at the same test (residual rows, points of each series, the summary's tests).
    {"EveryFileEndsAtTheSameTest",
     "$B simulate --seed 1 --n 50 --k 4 --tests 10000 --iterate --do 0 --dmax 90 --data - --residuals r.txt "
     "--points p.csv --summary s.csv | head -n 3 > /dev/null;"
     "a=$(($(wc -l < r.txt) - 1)); b=$(grep -c ^sDLN, p.csv);"
     "c=$(awk -F, '$7 == \"Du\" { s += $8 } END { print s }' s.csv);"
     "[ $a -gt 0 ] && [ $a = $b ] && [ $b = $c ] && echo same > verdict",
     0, "", {{"verdict", "same\n"}}},
    // An undefined estimate is an empty cell of the points.
    {"UndefinedPointIsAnEmptyCell",
     "$B simulate --seed 4177934770 --n 10 --k 4 --do 0 --tests 266 --points - | grep -c -- -9999 > count; exit 0",
     0, "", {{"count", "0\n"}}},
    // Without --k, a mark beyond the key's alternatives is refused, not taken as a larger k.
    {"MarkBeyondTheKey", "$B analyse --responses slip.csv --out res.csv", 2,
     "veltrano-batch: slip.csv: line 3, column 4: \"E\" is alternative 5, beyond the 4 alternatives of the key "
     "\\(A to D\\); give --k 5 if the items have 5 alternatives\n",
     {{"res.csv", "old results\n"}}},
    // Line ends of a carriage return alone are line ends.
    {"CarriageReturnLineEnds",
     "printf 'KEY,A,B,D\\rana,A,B,C\\rbob,B,B,D\\r' > cr.csv; $B analyse --responses cr.csv | cut -d, -f1 > ids",
     0, "", {{"ids", "id\nana\nbob\nALL\n"}}},
    // --key is the key's text; a file of that name is given with --key-file.
    {"KeyFileGivenAsKey", "printf 'ABC\\n' > key.txt; printf 'ana,A,B,C\\n' > nokey.csv;"
                          "$B analyse --responses nokey.csv --key key.txt",
     2,
     "veltrano-batch: --key: item 1: \"k\" is not an alternative \\(A to J or 1 to 10\\) \\(key\\.txt is a "
     "file: give it with --key-file\\)\n",
     {}},
    // A file the user may not write is not replaced, by any command; a new file in a folder
    // the user may not write says that the folder is the cause. ($U runs the command as a
    // user other than root, whom no permission stops.)
    {"ReadOnlyResultsAreNotReplaced",
     "chmod 777 .; printf 'kept\\n' > ro.csv; chmod 444 ro.csv; chown 65534 ro.csv 2> /dev/null;"
     "$U $B analyse --responses sheet.csv --out ro.csv", 1,
     "veltrano-batch: cannot open ro.csv: Permission denied\n", {{"ro.csv", "kept\n"}}},
    {"ReadOnlyStudyOutputIsNotReplaced",
     "chmod 777 .; printf 'kept\\n' > ro.csv; chmod 444 ro.csv; chown 65534 ro.csv 2> /dev/null;"
     "$U $B study --n 10 --k 2 --replications 3 --seed 1 --out ro.csv", 1,
     "veltrano-batch: cannot open ro.csv: Permission denied\n", {{"ro.csv", "kept\n"}}},
    {"ReadOnlyFolderIsNamed", "chmod 777 .; mkdir ro; chmod 555 ro; $U $B simulate --seed 1 --tests 2 --data ro/d.txt",
     1, "veltrano-batch: cannot open ro/d.txt: Permission denied \\(the folder ro cannot be written\\)\n",
     {{"ro/d.txt", "<none>"}}},
    // No output asked for: the data lines go to standard output.
    {"NoOutputWritesTheDataLines", "$B simulate --seed 1 --tests 2 > d.txt", 0, "", {{"d.txt", "<any>"}}},
};

class FileCases : public ::testing::TestWithParam<FileCase> {};

TEST_P(FileCases, KeepEveryFileWhole) {
  const FileCase& c = GetParam();
  ScratchDir dir;
  const std::string asUser = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
  const std::string script = std::string("cd '") + dir / "" + "' && B='" + VELTRANO_BATCH_PROGRAM + "' && U='" +
                             asUser + "' && " + kSheets + "{ " + c.script + "; } 2> err";
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/bash", "bash", "-c", script.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int raw = 0;
  waitpid(pid, &raw, 0);
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), c.status);
  const std::string err = ReadFile(dir / "err");
  EXPECT_TRUE(std::regex_match(err, std::regex(c.err))) << err;
  for (const auto& [file, content] : c.files) {
    const std::string held = ReadFile(dir / file);
    if (std::string(content) == "<none>")
      EXPECT_EQ(held, "<missing>") << file;
    else if (std::string(content) == "<any>")
      EXPECT_NE(held, "<missing>") << file;
    else
      EXPECT_EQ(held, content) << file;
  }
}

INSTANTIATE_TEST_SUITE_P(Batch, FileCases, ::testing::ValuesIn(kFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veltrano::batch::testing

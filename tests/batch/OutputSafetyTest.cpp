// Nothing is lost: outputs are compared as files, not names; a run that cannot start
// leaves every existing file as it was; a run ended by a signal, or by the reader of a
// pipe going away, leaves every output complete up to the last finished test.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "BatchTestSupport.h"

namespace veltrano::batch::testing {
namespace {

// Outputs that name one file in two ways, or an output that cannot be opened: refused
// before anything is written, and every file there before is left as it was.
TEST(Outputs, AreCheckedBeforeAnyIsTouched) {
  ScratchDir dir;
  std::filesystem::create_symlink(dir / "same.txt", dir / "link.txt");
  struct Case {
    std::vector<std::string> outputs;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{"--data", dir / "same.txt", "--residuals", dir / "./same.txt"},
       2, "--residuals: " + (dir / "./same.txt") + " is already the output of --data (" + (dir / "same.txt") + ")"},
      {{"--data", dir / "same.txt", "--points", dir / "link.txt"},
       2, "--points: " + (dir / "link.txt") + " is already the output of --data (" + (dir / "same.txt") + ")"},
      {{"--data", dir / "same.txt", "--points", dir / "no-such-dir/p.csv"},
       1, "cannot open " + (dir / "no-such-dir/p.csv") + ": No such file or directory"},
      {{"--data", dir / "same.txt", "--residuals", dir / "new.txt", "--points", dir / ""},
       1, "cannot open " + (dir / "") + ": Is a directory"},
  };
  for (const Case& c : cases) {
    WriteFile(dir / "same.txt", "precious\n");
    std::vector<std::string> args{"simulate", "--seed", "3", "--tests", "20"};
    args.insert(args.end(), c.outputs.begin(), c.outputs.end());
    const Outcome o = RunCommand(args);
    EXPECT_EQ(o.status, c.status) << c.message;
    EXPECT_EQ(o.err, "veltrano-batch: " + c.message + "\n");
    EXPECT_EQ(ReadFile(dir / "same.txt"), "precious\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "new.txt"));  // made, then removed again
  }
}

// Names of files not made yet, relative to the working folder, are compared as places:
// "same.txt" and "./same.txt" are one file, for every command that writes two outputs.
TEST(Outputs, NewFilesNamedTwoWaysAreOneFile) {
  ScratchDir dir;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir / "");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"simulate", "--seed", "3", "--tests", "20", "--data", "same.txt", "--residuals", "./same.txt"},
       "--residuals: ./same.txt is already the output of --data (same.txt)"},
      {{"study", "--n", "10", "--k", "2", "--do", "50", "--replications", "5", "--seed", "1", "--out", "o.csv",
        "--tests-out", "./o.csv"},
       "--tests-out: ./o.csv is already the output of --out (o.csv)"},
  };
  for (const Case& c : cases) {
    const Outcome o = RunCommand(c.args);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, "veltrano-batch: " + c.message + "\n");
    EXPECT_FALSE(std::filesystem::exists("same.txt"));
    EXPECT_FALSE(std::filesystem::exists("o.csv"));
  }
  std::filesystem::current_path(before);
}

// A study whose test rows cannot be written leaves an existing summary as it was.
TEST(Outputs, OfAStudyAreCheckedBeforeAnyIsTouched) {
  ScratchDir dir;
  WriteFile(dir / "p.csv", "precious\n");
  const Outcome o = RunCommand({"study", "--n", "10", "--k", "2", "--do", "50", "--replications", "5", "--seed", "1",
                                "--out", dir / "p.csv", "--tests-out", dir / "no-such-dir/t.csv", "--quiet"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "veltrano-batch: cannot open " + (dir / "no-such-dir/t.csv") + ": No such file or directory\n");
  EXPECT_EQ(ReadFile(dir / "p.csv"), "precious\n");
}

// veltrano-batch as a process of its own, its standard streams to files.
struct Process {
  pid_t pid = -1;
  int status = -1;

  explicit Process(const std::string& command) {
    pid = fork();
    if (pid == 0) {
      execl("/bin/bash", "bash", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  int Wait() {
    int raw = 0;
    waitpid(pid, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return status;
  }
};

std::string Batch() { return VELTRANO_BATCH_PROGRAM; }

// Waits until the file holds at least `bytes` bytes: up to a minute, as a sanitizer's
// build on a machine busy with other tests may take many seconds to fill its first block.
void WaitForGrowth(const std::string& path, std::uintmax_t bytes) {
  for (int i = 0; i < 12000; ++i) {
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) >= bytes && !ec) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  FAIL() << path << " did not grow";
}

// Every output holds the same whole tests: one residual row, one results line and one
// point per estimate series for each, the data ending with a complete results line.
void ExpectWholeTests(ScratchDir& dir, int tests) {
  const std::vector<std::string> residuals = Lines(ReadFile(dir / "r"));
  const std::vector<std::string> data = Lines(ReadFile(dir / "d"));
  const std::string points = ReadFile(dir / "p");
  ASSERT_GT(tests, 0);
  EXPECT_EQ(residuals.size(), 1u + tests);
  EXPECT_EQ(data.back().substr(0, data.back().find('\t')), std::to_string(tests));
  EXPECT_EQ(ReadFile(dir / "d").back(), '\n');
  for (const char* series : {"\nsDLN,", "\nsPoint_DSEM,", "\nsPoint_Dcond,"}) {
    std::size_t count = 0;
    for (std::size_t at = points.find(series); at != std::string::npos; at = points.find(series, at + 1)) ++count;
    EXPECT_EQ(count, static_cast<std::size_t>(tests)) << series;
  }
  EXPECT_EQ(points.back(), '\n');
}

class Signals : public ::testing::TestWithParam<int> {};

TEST_P(Signals, EndTheRunWithWholeTestsInEveryOutput) {
  const int signal = GetParam();
  ScratchDir dir;
  Process p("exec " + Batch() + " simulate --seed 7 --n 2000 --do 0 --iterate --step 1 --tests 2000" +
            " --jobs 2 --data " + dir / "d" + " --residuals " + dir / "r" + " --points " + dir / "p" + " 2> " +
            dir / "err");
  WaitForGrowth(dir / "p", 1);  // the first block of points is out: the run is under way
  kill(p.pid, signal);
  EXPECT_EQ(p.Wait(), 128 + signal);
  const std::string how = signal == SIGTERM ? "terminated" : signal == SIGHUP ? "hung up" : "interrupted";
  EXPECT_EQ(ReadFile(dir / "err"), "veltrano-batch: " + how + "; the outputs hold the tests finished so far\n");
  ExpectWholeTests(dir, static_cast<int>(Lines(ReadFile(dir / "r")).size()) - 1);
}

INSTANTIATE_TEST_SUITE_P(Batch, Signals, ::testing::Values(SIGINT, SIGTERM, SIGHUP), [](const auto& info) {
  return info.param == SIGINT ? "Interrupt" : info.param == SIGTERM ? "Terminate" : "HangUp";
});

// An input that cannot be read twice (a pipe named as a file) is kept aside for the
// check and the analysis; a signal while the input is still being read ends the
// program at once, as it ends any program.
TEST(Analyse, ReadsPipesAndEndsAtOnceOnASignalWhileReading) {
  ScratchDir dir;
  Process piped("exec " + Batch() + " analyse <(printf '8 1 1\\n2 7 1\\n1 1 8\\n') > " + dir / "out");
  EXPECT_EQ(piped.Wait(), 0);
  EXPECT_EQ(ReadFile(dir / "out"), "D\tSE(D)\tDk&a\tSE(Dk&a)\n 0.650\t 0.116\t 0.650\t 0.116\n");

  Process waiting("exec " + Batch() + " analyse - < <(sleep 20) > " + dir / "none");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto start = std::chrono::steady_clock::now();
  kill(waiting.pid, SIGTERM);
  EXPECT_EQ(waiting.Wait(), 128 + SIGTERM);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(ReadFile(dir / "none"), "");
}

// | head -1 takes one residual line and goes: the data file keeps everything written
// until then, whole, and the program ends quietly.
TEST(BrokenPipe, KeepsTheOtherOutputsAndEndsQuietly) {
  ScratchDir dir;
  Process p(Batch() + " simulate --seed 7 --do 0 --iterate --step 1 --tests 10000 --data " + dir / "d" +
            " --points " + dir / "p" + " --residuals - 2> " + dir / "err" + " | head -1 > " + dir / "first" +
            "; exit ${PIPESTATUS[0]}");
  EXPECT_EQ(p.Wait(), 141);
  EXPECT_EQ(ReadFile(dir / "err"), "");
  EXPECT_EQ(ReadFile(dir / "first"), "Do\trDu\trDc\trDLN\n");
  const std::vector<std::string> data = Lines(ReadFile(dir / "d"));
  ASSERT_GT(data.size(), 1u);
  EXPECT_EQ(ReadFile(dir / "d").back(), '\n');
  EXPECT_EQ(data.back().substr(0, data.back().find('\t')), std::to_string(data.size() - 1));
}

}  // namespace
}  // namespace veltrano::batch::testing

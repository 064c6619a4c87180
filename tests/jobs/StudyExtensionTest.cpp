// A study being extended and stopped part of the way: its files stay those of the smaller
// study, byte for byte, and nothing the extension staged is left beside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "jobs/StudyFileJob.h"

namespace veltrano::jobs {
namespace {

namespace fs = std::filesystem;

struct Recorded final : JobReport {
  std::vector<std::string> notes;
  std::vector<JobProblem> problems;
  void Note(const std::string& line) override { notes.push_back(line); }
  void Problem(const JobProblem& problem) override { problems.push_back(problem); }
};

// Asks the job to stop at the first progress it hears of.
struct StopAtOnce final : ProgressSink {
  StopToken* token = nullptr;
  void Study(const StudyProgress&) override { token->Request(SIGINT); }
};

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(StudyExtension, StoppedLeavesTheSmallerStudyAsItWas) {
  const fs::path dir = fs::temp_directory_path() / ("veltrano-extension-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  StudyRequest request;
  request.settings = {{"n", {"20"}}, {"k", {"3,4"}}, {"do", {"0:90:30"}},  // 8 conditions
                      {"seed", {"5"}}, {"jobs", {"1"}}};
  request.out = (dir / "study.csv").string();
  request.testsOut = (dir / "tests.csv").string();
  request.settings["replications"] = {"20"};
  std::istringstream in;
  std::ostringstream out;
  {
    Recorded report;
    FileJob job{in, out, report, {}, {}};
    StudyToFiles(request, job);
    ASSERT_TRUE(report.problems.empty());
  }
  const std::string study = Read(request.out), tests = Read(request.testsOut);

  request.settings["replications"] = {"2000"};
  request.resume = true;
  Recorded report;
  StopToken token;
  StopAtOnce stop;
  stop.token = &token;
  FileJob job{in, out, report, {&token, &stop}, {}};
  StudyToFiles(request, job);
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_EQ(report.problems[0].kind, ErrorKind::Stopped);
  EXPECT_NE(report.problems[0].message.find("still hold the study of 20 replications"), std::string::npos)
      << report.problems[0].message;
  EXPECT_EQ(Read(request.out), study);
  EXPECT_EQ(Read(request.testsOut), tests);
  std::vector<std::string> left;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"study.csv", "tests.csv"}));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace veltrano::jobs

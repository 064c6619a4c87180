// simulate --summary: the measures of every degree of a run, in the study's layout, the
// same cell for cell as a study of that one condition seeded with the degree's seed.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

#include "BatchTestSupport.h"
#include "batch/Simulate.h"
#include "batch/BatchJob.h"

namespace veltrano::batch::testing {
namespace {

// Every condition of a study, repeated by simulate with the condition's seed: the rows
// agree in every cell but the condition's number and the study's own columns.
TEST(Summary, EqualsTheStudyOfEachDegree) {
  const Outcome study = RunCommand({"study", "--n", "30", "--k", "4", "--do", "40:60:10", "--replications", "300",
                                    "--ci", "--seed", "9", "--generator", "lcg", "--jobs", "2", "--out", "-",
                                    "--quiet"});
  ASSERT_EQ(study.status, kExitOk) << study.err;
  const std::vector<std::string> studyRows = Lines(study.out);
  ASSERT_EQ(studyRows.size(), 1u + 3 * 3);
  for (int c = 0; c < 3; ++c) {
    const std::vector<std::string> first = Cells(studyRows[1 + 3 * c]);
    const Outcome run = RunCommand({"simulate", "--seed", first[5], "--n", "30", "--k", "4", "--do", first[3], "--tests",
                                    "300", "--ci", "--summary", "-", "--no-text", "--jobs", "2"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    const std::vector<std::string> runRows = Lines(run.out);
    ASSERT_EQ(runRows.size(), 1u + 3);
    EXPECT_EQ(runRows[0], studyRows[0]);
    for (int e = 0; e < 3; ++e) {
      std::vector<std::string> expected = Cells(studyRows[1 + 3 * c + e]);
      std::vector<std::string> got = Cells(runRows[1 + e]);
      ASSERT_EQ(got.size(), expected.size());
      EXPECT_EQ(got[0], "1");
      EXPECT_EQ(got[34], "");  // no study: its columns are empty
      for (std::size_t i = 1; i < 32; ++i) EXPECT_EQ(got[i], expected[i]) << "column " << i << ", row " << e;
    }
  }
}

// A run ended after its second test summarises exactly the tests it finished.
TEST(Summary, OfAnInterruptedRunCoversTheFinishedTests) {
  class StopAfterTwo final : public RunHost {
  public:
    explicit StopAfterTwo(RunHost& inner) : inner_(inner) {}
    void SelectGraphPage() override { inner_.SelectGraphPage(); }
    void SetDoStarText(std::string_view t) override { inner_.SetDoStarText(t); }
    void AppendDataLine(std::string_view l) override { inner_.AppendDataLine(l); }
    void AppendResidualsLine(std::string_view l) override { inner_.AppendResidualsLine(l); }
    void AddXY(SeriesId s, double x, double y) override { inner_.AddXY(s, x, y); }
    void SetSeriesActive(SeriesId s, bool a) override { inner_.SetSeriesActive(s, a); }
    void RefreshChart1() override {}
    bool ContinueRun(const RunProgress& p) override {
      if (p.testsDone == 2) RequestStop(SIGINT);
      return inner_.ContinueRun(p);
    }

  private:
    RunHost& inner_;
  };
  ScratchDir dir;
  SimulateOptions o;
  o.seed = 4;
  o.summary = dir / "summary.csv";
  o.settings.SpinEdit_Test = 40;
  o.jobs = 2;
  std::istringstream in;
  std::ostringstream out, err;
  Console console{in, out, err, false};
  const int status =
      Simulate(o, console, {}, [](RunHost& inner) { return std::make_unique<StopAfterTwo>(inner); });
  EXPECT_EQ(status, kExitInterrupted);
  const std::vector<std::string> rows = Lines(ReadFile(o.summary));
  ASSERT_EQ(rows.size(), 1u + 3);
  for (int e = 1; e <= 3; ++e) EXPECT_EQ(Cells(rows[e])[7], "2");  // replications
}

}  // namespace
}  // namespace veltrano::batch::testing

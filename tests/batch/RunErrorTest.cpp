// An error that ends a run leaves every line and point produced before it in the
// outputs, as the window keeps them; the status is 1 and the message on standard error.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

#include "BatchTestSupport.h"
#include "batch/Simulate.h"
#include "batch/BatchJob.h"
#include "numeric/FloatFaults.h"

namespace veltrano::batch::testing {
namespace {

// Passes everything on to the batch host and, at the chosen point, either throws the
// analysis's overflow error or asks for the run to stop as an interrupt would.
class FaultyHost final : public RunHost {
public:
  enum class Fault { Overflow, Interrupt };
  FaultyHost(RunHost& inner, int failAtEstimate, Fault fault)
      : inner_(inner), failAt_(failAtEstimate), fault_(fault) {}

  void SelectGraphPage() override { inner_.SelectGraphPage(); }
  int WriteDmax(int value) override { return inner_.WriteDmax(value); }
  void SetDoStarText(std::string_view t) override { inner_.SetDoStarText(t); }
  void AppendDataLine(std::string_view l) override { inner_.AppendDataLine(l); }
  void AppendResidualsLine(std::string_view l) override { inner_.AppendResidualsLine(l); }
  void AddXY(SeriesId s, double x, double y) override {
    if (s == SeriesId::sPoint_DSEM && ++estimates_ == failAt_) {
      if (fault_ == Fault::Overflow) throw FloatOverflow();
      RequestStop(SIGINT);
    }
    inner_.AddXY(s, x, y);
  }
  void SetSeriesActive(SeriesId s, bool a) override { inner_.SetSeriesActive(s, a); }
  void ProcessMessages() override { inner_.ProcessMessages(); }
  void RefreshChart1() override { inner_.RefreshChart1(); }
  bool ContinueRun(const RunProgress& p) override { return inner_.ContinueRun(p); }

private:
  RunHost& inner_;
  int estimates_ = 0;
  int failAt_;
  Fault fault_;
};

std::vector<std::string> Prefix(const std::vector<std::string>& lines, std::size_t n) {
  return {lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(n, lines.size()))};
}

struct RunOutputs {
  int status;
  std::string err;
  std::vector<std::string> data, residuals, points;
};

RunOutputs Simulation(const HostDecorator& decorate) {
  ScratchDir dir;
  SimulateOptions o;
  o.settings.SpinEdit_n = 30;
  o.settings.SpinEdit_Test = 5;
  o.seed = 99;
  o.data = dir / "data";
  o.residuals = dir / "residuals";
  o.points = dir / "points";
  std::istringstream in;
  std::ostringstream out, err;
  Console console{in, out, err, false};
  RunOutputs r;
  r.status = Simulate(o, console, {}, decorate);
  r.err = err.str();
  r.data = Lines(ReadFile(o.data));
  r.residuals = Lines(ReadFile(o.residuals));
  r.points = Lines(ReadFile(o.points));
  return r;
}

HostDecorator FailingAt(int estimate, FaultyHost::Fault fault) {
  return [=](RunHost& inner) { return std::make_unique<FaultyHost>(inner, estimate, fault); };
}

// The third test fails when it adds its estimate: its residual and data lines are out,
// and of its points only the Lord & Novick one, which comes first.
TEST(RunError, OutputsKeepEverythingBeforeTheError) {
  const RunOutputs complete = Simulation({});
  ASSERT_EQ(complete.status, kExitOk);
  ASSERT_EQ(complete.residuals.size(), 1u + 5);
  ASSERT_EQ(complete.data.size(), 1u + 5);
  ASSERT_EQ(complete.points.size(), 1u + 4 + 5 * 4);

  const RunOutputs failed = Simulation(FailingAt(3, FaultyHost::Fault::Overflow));
  EXPECT_EQ(failed.status, kExitFailure);
  EXPECT_EQ(failed.err, "veltrano-batch: Floating point overflow\n");
  EXPECT_EQ(failed.residuals, Prefix(complete.residuals, 1 + 3));
  EXPECT_EQ(failed.data, Prefix(complete.data, 1 + 3));
  EXPECT_EQ(failed.points, Prefix(complete.points, 1 + 4 + 2 * 4 + 1));
}

// An interrupt ends the run after the test under way, which is complete in the outputs.
TEST(RunError, InterruptEndsTheRunAfterTheCurrentTest) {
  const RunOutputs complete = Simulation({});
  const RunOutputs interrupted = Simulation(FailingAt(2, FaultyHost::Fault::Interrupt));
  EXPECT_EQ(interrupted.status, kExitInterrupted);
  EXPECT_EQ(interrupted.err, "veltrano-batch: interrupted; the outputs hold the tests finished so far\n");
  EXPECT_EQ(interrupted.residuals, Prefix(complete.residuals, 1 + 2));
  EXPECT_EQ(interrupted.data, Prefix(complete.data, 1 + 2));
  EXPECT_EQ(interrupted.points, Prefix(complete.points, 1 + 4 + 2 * 4));
}

// A file that fails while being written (a full device) ends the run with its name and
// the reason; the other outputs keep what was produced.
TEST(RunError, WriteFailureNamesTheFile) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  ScratchDir dir;
  const Outcome o = RunCommand({"simulate", "--seed", "3", "--tests", "20", "--data", "/dev/full", "--residuals",
                                dir / "residuals"});
  EXPECT_EQ(o.status, kExitFailure);
  EXPECT_EQ(o.err, "veltrano-batch: cannot write /dev/full: No space left on device\n");
  EXPECT_EQ(Lines(ReadFile(dir / "residuals")).size(), 21u);
}

}  // namespace
}  // namespace veltrano::batch::testing

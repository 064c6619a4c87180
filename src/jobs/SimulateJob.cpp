#include "jobs/SimulateJob.h"

namespace veltrano::jobs {
namespace {

// The host the run writes to, with the job's progress and stop request added after every
// test.
class ControlledHost final : public RunHost {
public:
  ControlledHost(RunHost& host, const JobContext& job) : host_(host), job_(job) {}

  void SelectGraphPage() override { host_.SelectGraphPage(); }
  int WriteDmax(int value) override { return host_.WriteDmax(value); }
  void SetDoStarText(std::string_view text) override { host_.SetDoStarText(text); }
  void AppendDataLine(std::string_view line) override { host_.AppendDataLine(line); }
  void AppendResidualsLine(std::string_view line) override { host_.AppendResidualsLine(line); }
  void AddXY(SeriesId series, double x, double y) override { host_.AddXY(series, x, y); }
  void SetSeriesActive(SeriesId series, bool active) override { host_.SetSeriesActive(series, active); }
  void ProcessMessages() override { host_.ProcessMessages(); }
  void RefreshChart1() override { host_.RefreshChart1(); }
  bool ContinueRun(const RunProgress& progress) override {
    const bool go = host_.ContinueRun(progress);
    if (job_.progress != nullptr) job_.progress->Run(progress);
    return go && !job_.StopRequested();
  }

private:
  RunHost& host_;
  const JobContext& job_;
};

}  // namespace

RunEnd RunSimulation(SimulationRun& run, const RunSettings& settings, RunHost& host, const JobContext& job) {
  const StopToken::Listen listening(job.stop);
  ControlledHost controlled(host, job);
  return run.Execute(settings, controlled);
}

}  // namespace veltrano::jobs

#include "jobs/SimulateJob.h"

#include "numeric/UniformGenerator.h"

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

// Tells two observers of every test, in order.
class BothObservers final : public TestObserver {
public:
  BothObservers(TestObserver& first, TestObserver& second) : first_(first), second_(second) {}
  void RunStarted(std::int32_t n, std::int32_t k, bool interval, std::uint32_t seed) override {
    first_.RunStarted(n, k, interval, seed);
    second_.RunStarted(n, k, interval, seed);
  }
  void TestDone(int degree, const TestEstimates& estimates, std::uint32_t stateAfter) override {
    first_.TestDone(degree, estimates, stateAfter);
    second_.TestDone(degree, estimates, stateAfter);
  }
  void TestTable(const tBfMatriz& table) override {
    first_.TestTable(table);
    second_.TestTable(table);
  }

private:
  TestObserver& first_;
  TestObserver& second_;
};

// The settings a run takes besides the table's.
constexpr std::string_view kSeed = setting::runSeed.name;
constexpr std::string_view kJobs = setting::jobCount.name;

}  // namespace

RunOrder OrderRun(const GivenSettings& given) {
  std::vector<std::string_view> known{kSeed, kJobs};
  for (const SettingField& f : kRunSettingFields) known.push_back(SettingName(*f.entry));
  known.push_back(SettingName(setting::Dtrue));  // the charts' own, which the run does not read
  CheckKnown(given, known);
  RunOrder order;
  for (const SettingField& f : kRunSettingFields) {
    const Given* value = Find(given, SettingName(*f.entry));
    if (value == nullptr) continue;
    const int checked = Checked(*f.entry, *value);
    if (f.whole != nullptr) order.settings.*f.whole = checked;
    if (f.on != nullptr) order.settings.*f.on = checked != 0;
  }
  if (const Given* seed = Find(given, kSeed)) {
    // A seed the lcg generator cannot take is worded as a study's is; one no generator
    // takes (a sign, not a number) in the run's own range.
    const bool negative = !seed->text.empty() && seed->text.front() == '-';
    const std::uint64_t value = Checked(negative ? setting::runSeed : setting::studySeed, *seed);
    CheckStudySeed(value, StudyGenerator::Lcg);
    order.seed = static_cast<std::uint32_t>(value);
  }
  order.jobs = static_cast<int>(ValueOf(given, setting::jobCount, 0));
  return order;
}

std::uint32_t RunSeed(const std::optional<std::uint32_t>& seed, const NoteSink& note) {
  if (seed) return *seed;
  const std::uint32_t drawn = ClockSeed();
  const std::string text = std::to_string(drawn);
  if (note) note("seed " + text + " (repeat this run with " + Assigned("seed", text) + ")");
  return drawn;
}

RunOutcome Simulate(SimulationRun& run, const RunSettings& settings, const RunParts& parts, RunHost& host,
                    const NoteSink& note, const JobContext& job) {
  const RunSettings& S = settings;
  if (note && S.CheckBox_Iterate && S.SpinEdit_D0 > S.SpinEdit_Dmax)
    note(Named("iterate") + ": Do " + std::to_string(S.SpinEdit_D0) + " is above Dmax " +
         std::to_string(S.SpinEdit_Dmax) + ", so the one degree " + std::to_string(S.SpinEdit_D0) + " runs");
  if (parts.reseed) run.Generator().Seed(RunSeed(parts.seed, note));
  RunOutcome outcome;
  outcome.seed = run.Generator().State();
  run.SetJobs(Threads(parts.jobs));
  std::optional<BothObservers> both;
  if (parts.summary != nullptr && parts.observer != nullptr) both.emplace(*parts.summary, *parts.observer);
  // The run is told of its observers for this run only, whatever way it ends.
  struct Observed {
    SimulationRun& run;
    ~Observed() { run.SetObserver(nullptr); }
  } observed{run};
  run.SetObserver(both ? static_cast<TestObserver*>(&*both)
                       : parts.summary != nullptr ? static_cast<TestObserver*>(parts.summary) : parts.observer);
  outcome.end = RunSimulation(run, settings, host, job);
  return outcome;
}

Ending RunSimulation(SimulationRun& run, const RunSettings& settings, RunHost& host, const JobContext& job) {
  const StopToken::Listen listening(job.stop);
  ControlledHost controlled(host, job);
  return run.Execute(settings, controlled);
}

}  // namespace veltrano::jobs

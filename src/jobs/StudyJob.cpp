#include "jobs/StudyJob.h"

#include <fstream>
#include <sstream>

#include "jobs/InputFile.h"
#include "jobs/JobError.h"
#include "numeric/UniformGenerator.h"

namespace veltrano::jobs {
namespace {

std::optional<std::string> Text(const GivenSettings& given, std::string_view name) {
  const Given* value = Find(given, name);
  return value != nullptr ? std::optional<std::string>(value->text) : std::nullopt;
}

StudyConditions Conditions(const GivenSettings& given, const StudyDesign& design) {
  const std::optional<std::string> n = Text(given, "n"), k = Text(given, "k"), D = Text(given, "do");
  if (design.Given() && (n || k || D))
    throw UsageError(std::string(n ? "n" : k ? "k" : "do"), "give either the design or the lists of n, k and do");
  if (!design.path.empty()) {
    std::ifstream in = OpenInput(design.path);
    return StudyConditionsOf(n, k, D, &in, design.path);
  }
  if (design.text) {
    std::istringstream in(*design.text);
    return StudyConditionsOf(n, k, D, &in, design.name);
  }
  return StudyConditionsOf(n, k, D, nullptr, "");
}

// The sink the study writes to, with the job's progress and stop request added after every
// block of tests.
class ControlledSink final : public StudySink {
public:
  ControlledSink(StudySink& sink, const JobContext& job) : sink_(sink), job_(job) {}
  void TestRows(std::string_view rows) override { sink_.TestRows(rows); }
  void ConditionRows(std::string_view rows) override { sink_.ConditionRows(rows); }
  bool Continue(const StudyProgress& progress) override {
    const bool go = sink_.Continue(progress);
    if (job_.progress != nullptr) job_.progress->Study(progress);
    return go && !job_.StopRequested();
  }

private:
  StudySink& sink_;
  const JobContext& job_;
};

}  // namespace

StudyConditions StudyConditionsOf(const std::optional<std::string>& n, const std::optional<std::string>& k,
                                  const std::optional<std::string>& D, std::istream* design,
                                  const std::string& designName) {
  if (design != nullptr) return StudyConditions::Listed(ReadDesign(*design, designName));
  const auto list = [](const std::optional<std::string>& text, const SettingEntry& setting) {
    return text ? ParseValueList(*text, setting) : std::vector<std::int32_t>{setting.byDefault};
  };
  return StudyConditions::Grid(list(n, setting::n), list(k, setting::k), list(D, setting::D0));
}

StudyOrder OrderStudy(const GivenSettings& given, const StudyDesign& design,
                      const std::optional<StudyOrigin>& resumed) {
  CheckKnown(given, {std::begin(kStudySettings), std::end(kStudySettings)});
  StudyOrder order;
  StudyDefinition& study = order.study;
  study.conditions = Conditions(given, design);
  study.replications = static_cast<std::int64_t>(ValueOf(given, setting::replications, setting::replications.byDefault));
  if (const Given* generator = Find(given, setting::studyGenerator.name))
    study.generator = ParseGenerator(Checked(setting::studyGenerator, *generator));
  else
    study.generator = resumed ? resumed->generator : ParseGenerator(setting::studyGenerator.byDefault);
  if (const Given* seed = Find(given, setting::studySeed.name)) {
    study.seed = Checked(setting::studySeed, *seed);
  } else if (resumed) {
    study.seed = resumed->seed;
  } else {
    study.seed = study.generator == StudyGenerator::Philox ? ClockSeed64() : ClockSeed();
    order.clockSeed = true;
  }
  CheckStudySeed(study.seed, study.generator);
  study.tolerance = ValueOf(given, setting::Tol);
  study.maxIterations = ValueOf(given, setting::MaxIts);
  study.ci = ValueOf(given, setting::CI) != 0;
  if (const Given* shard = Find(given, setting::shard)) order.shard = ParseShard(shard->text);
  order.jobs = static_cast<int>(ValueOf(given, setting::jobCount, 0));
  return order;
}

std::string ClockSeedNote(const StudyDefinition& study) {
  const std::string seed = std::to_string(study.seed);
  return "seed " + seed + " (repeat this study with " + Assigned("seed", seed) +
         (study.generator == StudyGenerator::Lcg ? " " + Assigned("generator", "lcg") : std::string()) + ")";
}

Ending RunStudy(const StudyDefinition& study, const StudyPlan& plan, const StudyRunOptions& options,
                  StudySink& sink, const JobContext& job) {
  const StopToken::Listen listening(job.stop);
  ControlledSink controlled(sink, job);
  return ExecuteStudy(study, plan, options, controlled);
}

}  // namespace veltrano::jobs

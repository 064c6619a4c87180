#include "jobs/StudyJob.h"

namespace veltrano::jobs {
namespace {

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

StudyEnd RunStudy(const StudyDefinition& study, const StudyPlan& plan, const StudyRunOptions& options,
                  StudySink& sink, const JobContext& job) {
  const StopToken::Listen listening(job.stop);
  ControlledSink controlled(sink, job);
  return ExecuteStudy(study, plan, options, controlled);
}

}  // namespace veltrano::jobs

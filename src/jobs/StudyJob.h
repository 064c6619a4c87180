#pragma once
// A simulation study, in memory: a definition in, rows out through a sink (study/Study.h).
// The study ends after its last complete condition when the job's stop token asks, and
// tells the job's progress sink where it stands after every block of tests.
#include <iosfwd>
#include <optional>
#include <string>

#include "jobs/JobControl.h"
#include "study/Study.h"

namespace veltrano::jobs {

/// The conditions of a study: the rows of a design (read from `design`, named designName in
/// messages) when one is given, otherwise every combination of the three lists (values and
/// ranges as "10,20,50", "2:5", "0:100:10"; none: the setting's default value). Raises
/// StudyInputError naming the option, or the design's line and column.
StudyConditions StudyConditionsOf(const std::optional<std::string>& n, const std::optional<std::string>& k,
                                  const std::optional<std::string>& D, std::istream* design,
                                  const std::string& designName);

/// Runs the plan's conditions of the study and hands their rows to sink (ExecuteStudy).
StudyEnd RunStudy(const StudyDefinition& study, const StudyPlan& plan, const StudyRunOptions& options,
                  StudySink& sink, const JobContext& job);

}  // namespace veltrano::jobs

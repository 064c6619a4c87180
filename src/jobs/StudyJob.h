#pragma once
// A simulation study, in memory: a definition in, rows out through a sink (study/Study.h).
// The study ends after its last complete condition when the job's stop token asks, and
// tells the job's progress sink where it stands after every block of tests.
#include "jobs/JobControl.h"
#include "study/Study.h"

namespace veltrano::jobs {

/// Runs the plan's conditions of the study and hands their rows to sink (ExecuteStudy).
StudyEnd RunStudy(const StudyDefinition& study, const StudyPlan& plan, const StudyRunOptions& options,
                  StudySink& sink, const JobContext& job);

}  // namespace veltrano::jobs

#pragma once
// A simulation study, in memory: a definition in, rows out through a sink (study/Study.h).
// The study ends after its last complete condition when the job's stop token asks, and
// tells the job's progress sink where it stands after every block of tests.
#include <iosfwd>
#include <optional>
#include <string>

#include "jobs/JobControl.h"
#include "jobs/Settings.h"
#include "study/Study.h"
#include "study/StudyFiles.h"

namespace veltrano::jobs {

/// The settings a study takes (Settings.h, simulation/RunSettings.h): the lists of n, k
/// and Do; replications, seed, generator; the analysis' tolerance, max-iterations and ci;
/// the shard to run and the threads.
inline constexpr std::string_view kStudySettings[] = {"n",         "k",         "do",   "replications",
                                                      "seed",      "generator", "tolerance",
                                                      "max-iterations", "ci",   "shard", "jobs"};

/// A study's conditions given as a design instead of the lists: a file, or a design's text
/// (a front end's table of conditions), named in messages.
struct StudyDesign {
  std::string path;                 // a design file; "" none
  std::optional<std::string> text;  // a design's text; none when not given
  std::string name = "the design";  // the text's name in messages
  bool Given() const noexcept { return !path.empty() || text.has_value(); }
};

/// A study as a user asked for it, checked: what decides its numbers, the part of it to run
/// and the threads to run it on.
struct StudyOrder {
  StudyDefinition study;
  Shard shard;
  int jobs = 0;            // threads; 0 every core
  bool clockSeed = false;  // the seed was taken from the clock (ClockSeedNote says which)
};

/// The study the settings and the design ask for. What they leave open comes from the
/// study a resumed output holds, when there is one (its seed and generator), and else from
/// the settings' defaults: philox, and a seed from the clock. Raises UsageError naming the
/// setting whose value breaks its rule (or a setting no study takes), StudyInputError for a
/// design's line, ReadError for a design file that cannot be read.
StudyOrder OrderStudy(const GivenSettings& given, const StudyDesign& design = {},
                      const std::optional<StudyOrigin>& resumed = {});

/// The note on a seed taken from the clock, with the settings that repeat the study
/// (marked): "seed 42 (repeat this study with --seed 42 --generator lcg)".
std::string ClockSeedNote(const StudyDefinition& study);

/// The conditions of a study: the rows of a design (read from `design`, named designName in
/// messages) when one is given, otherwise every combination of the three lists (values and
/// ranges as "10,20,50", "2:5", "0:100:10"; none: the setting's default value). Raises
/// StudyInputError naming the option, or the design's line and column.
StudyConditions StudyConditionsOf(const std::optional<std::string>& n, const std::optional<std::string>& k,
                                  const std::optional<std::string>& D, std::istream* design,
                                  const std::string& designName);

/// Runs the plan's conditions of the study and hands their rows to sink (ExecuteStudy).
Ending RunStudy(const StudyDefinition& study, const StudyPlan& plan, const StudyRunOptions& options,
                  StudySink& sink, const JobContext& job);

}  // namespace veltrano::jobs

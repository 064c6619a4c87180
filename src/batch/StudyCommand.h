#pragma once
// veltrano-batch study: a simulation study over a grid of conditions, and
// veltrano-batch study merge: the outputs of its shards joined into one.
//
//   veltrano-batch study --n 10,20,50,100 --k 2:5 --do 0:100:10 --replications 1000 --out study.csv
//   veltrano-batch study --design design.csv --shard 3/8 --out part3.csv
//   veltrano-batch study merge part*.csv --out study.csv --plot plots/
//   veltrano-batch study plan pilot.csv --target coverage=0.005
//
// The work is jobs/StudyFileJob.h's: an interrupted study (exit 130) keeps each completed
// condition, and --resume goes on from there; --plot draws, once the study is complete,
// the plots of study/StudyPlots.h from its summary rows; merge --plot draws them from the
// merged rows.
#include "batch/BatchJob.h"
#include "jobs/StudyFileJob.h"

namespace CLI {
class App;
}

namespace veltrano::batch {

using StudyPlotOptions = jobs::StudyPlotOptions;
using StudyMergeOptions = jobs::MergeRequest;

struct StudyOptions : jobs::StudyRequest {
  bool quiet = false;        // no progress line
  StudyMergeOptions merge;   // filled by the merge subcommand
  jobs::PlanRequest plan;    // filled by the plan subcommand
};

/// Adds the `study` subcommand, with its `merge` subcommand, to parent.
CLI::App* AddStudyCommand(CLI::App& parent, StudyOptions& o);

/// The subcommand of study the command line named ("merge" or "plan"), "" for the study.
std::string StudySubcommand(const CLI::App& study);

/// Runs the study. Exit status as for every command (BatchJob.h); bad input (lists,
/// ranges, design lines, shard, a resumed output of other settings, --plot in a build
/// that draws none) gives 2 before anything is written.
int RunStudy(const StudyOptions& options, Console& console, const BatchServices& services = {});

/// Merges the outputs of a study's shards into the output of the whole study, byte
/// for byte; files of different studies or formats, missing, repeated or unfinished
/// conditions give 2 and nothing written.
int RunStudyMerge(const StudyMergeOptions& options, Console& console, const BatchServices& services = {});

/// Writes the replications each condition of a pilot study needs for the Monte Carlo SEs
/// of --target.
int RunStudyPlan(const jobs::PlanRequest& options, Console& console, const BatchServices& services = {});

}  // namespace veltrano::batch

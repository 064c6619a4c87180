#pragma once
// A simulation study to files, and the merge of its shards' files.
//
// Rows and measures are those of src/study. Every condition's rows are written and flushed
// as soon as it and the conditions before it are complete, so a stopped study keeps each
// completed condition, and resuming goes on from there. The plots (study/StudyPlots.h) are
// drawn once the study is complete, from its summary rows (a resumed study's kept rows
// included); a merge draws them from the merged rows.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jobs/Drawing.h"
#include "jobs/FileJob.h"
#include "jobs/Settings.h"
#include "simulation/RunSettings.h"

namespace veltrano::jobs {

struct StudyPlotOptions {
  std::string prefix;            // the start of the plots' file names; "" no plots
  std::string format = "png";    // "png" or "svg"
  int width = kStudyPlotWidth;
  int height = kStudyPlotHeight;
};

struct StudyRequest {
  // The study's settings as given (jobs/StudyJob.h: OrderStudy): the lists, replications,
  // seed, generator, analysis, shard and threads. A seed or generator not given is the
  // resumed output's, and else philox with a seed from the clock (reported).
  GivenSettings settings;
  std::string design;                     // a design file instead of the lists; "" none
  std::string out = "-";                  // summary rows; "-" standard output
  bool json = false;                      // summary rows as JSON objects, one per line
  std::string testsOut;                   // one row per test; "" none
  bool resume = false;                    // continue the study in `out`
  StudyPlotOptions plot;
};

struct PlanRequest {
  std::vector<std::string> files;  // a pilot study's outputs (or its shards')
  std::string target;              // "coverage=0.005,bias=0.001"
  std::string out = "-";           // the plan as CSV; "-" standard output
};

struct MergeRequest {
  std::vector<std::string> files;  // the shards' outputs
  std::string out = "-";           // the merged output; "-" standard output
  StudyPlotOptions plot;
};

/// Runs the study into its files. With --resume, an output of the same study but fewer
/// replications R1 is extended to the replications asked for: every condition's R1
/// replications are read back from its test rows and the others made, and both files are
/// replaced, once complete, by those of the study made afresh (a stop leaves them as they
/// were). Bad input (lists, ranges, design lines, shard, a resumed
/// output of other settings, plots in a build that draws none) raises an error before
/// anything is written; a stop or an error once the study runs is reported, the files
/// holding every complete condition.
void StudyToFiles(const StudyRequest& request, FileJob& job);

/// Writes how many replications each condition of a pilot study needs for the Monte Carlo
/// SEs asked for (study/StudyPlanning.h), one CSV row per condition, estimator and measure.
void PlanStudyFiles(const PlanRequest& request, FileJob& job);

/// Merges the outputs of a study's shards into the output of the whole study, byte for
/// byte; files of different studies or formats, missing, repeated or unfinished conditions
/// raise an error and nothing is written.
void MergeStudyFiles(const MergeRequest& request, FileJob& job);

}  // namespace veltrano::jobs

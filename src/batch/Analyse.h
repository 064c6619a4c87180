#pragma once
// veltrano-batch analyse: the delta model fitted to observed tables
// (jobs/AnalyseFileJob.h), or to every examinee of an answer sheet (AnalyseResponses.h).
#include "batch/AnalyseResponses.h"
#include "batch/BatchJob.h"
#include "jobs/AnalyseFileJob.h"

namespace CLI {
class App;
}

namespace veltrano::batch {

struct AnalyseOptions : jobs::AnalyseRequest {
  bool responses = false;     // --responses: an answer sheet instead of tables
  ResponsesOptions sheet;     // its options; analysis, json and jobs are taken from above
};

/// Adds the `analyse` subcommand with its options.
CLI::App* AddAnalyseCommand(CLI::App& parent, AnalyseOptions& o);

/// Analyses the tables of the input, or with responses the answer sheet; returns the exit
/// status.
int Analyse(const AnalyseOptions& options, Console& console);

}  // namespace veltrano::batch
